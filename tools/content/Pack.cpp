#include "Pack.h"

#include <future>
#include <set>

#include "Camera.h"
#include "Image.h"
#include "Models.h"
#include "Music.h"
#include "Screens.h"
#include "Textures.h"

namespace content {

void GeneratePack(const std::filesystem::path& outDir) {
    // The music takes longest; it is made on a second thread meanwhile.
    auto music = std::async(std::launch::async, [] { return EncodeMp3(SynthesizeMusic(), kMusicRate, 160); });

    TextureLibrary textures;
    for (const MeshFile& file : BuildModels()) {
        const std::filesystem::path path = outDir / file.path;
        WriteFile(path, WriteX(file.mesh, path.stem().string()));
        std::set<std::string> names;
        for (const Material& m : file.mesh.materials())
            if (!m.texture.empty()) names.insert(m.texture);
        for (const std::string& name : names) WriteFile(path.parent_path() / name, textures.Get(name));
    }
    WriteFile(outDir / "data/house/house_03/tex.jpg", textures.Get("tex.jpg"));

    WriteFile(outDir / "white.tga", EncodeTga(WhiteTexel(), false));
    WriteFile(outDir / "logo.jpg", EncodeJpg(LoadingLogo(), 95));
    WriteFile(outDir / "text_efter.jpg", EncodeJpg(EndImage(), 95));
    WriteFile(outDir / "data/screens/logo.dds", EncodeDds(TitleLogo(), DdsFormat::Dxt5));
    WriteFile(outDir / "data/misc/fountain/dot.dds", EncodeDds(Drop(), DdsFormat::Argb8));
    WriteFile(outDir / "data/bajs.dds", EncodeDds(Overlay(), DdsFormat::Argb8));
    WriteFile(outDir / "cam.dat", WriteCamDat());
    WriteFile(outDir / "velmora5.mp3", music.get());
}

}  // namespace content
