#include "shell/m_Terminate.h"

#include "common/Variables.h"
#include "platform/music/MusicPlayer.h"
#include "platform/window/Window.h"

void m_Terminate() {
    if (frmMain != nullptr) frmMain->SetCursorVisible(true);
    // A capture gets its last frame before the device goes.
    if (D3DDevice) D3DDevice->FlushFrames();
    // From here on a failing step is skipped and the next one runs.
    try {
        if (mp3 != nullptr) mp3->Stop();
    } catch (...) {
    }
    DX.reset();
    D3D.reset();
    D3DX.reset();
    D3DDevice.reset();
    throw ProcessExit{0};
}
