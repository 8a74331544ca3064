#include "loading/m_initObjects.h"

#include "common/Variables.h"
#include "loading/Loading.h"

void m_initObjects() {
    Objects.Redim(0, 60);
    for (const ObjectRow& row : ObjectTable) {
        const int32_t slot = row.Slot < 0 ? FlowerIndex[1] : row.Slot;
        Objects[slot] = MakeObject(row.MeshIndex, row.PosX, row.PosY, row.PosZ, row.RotX, row.RotY, row.RotZ,
                                   row.ScaleX, row.ScaleY, row.ScaleZ, row.Name);
    }
}
