// velmora-content OUTDIR: writes the default content pack into OUTDIR.
// velmora-content --preview DIR: writes every texture as PNG for inspection.
// velmora-content --icon FILE: writes the program's icon as PNG.
#include <cstdio>
#include <exception>
#include <string>

#include "Image.h"
#include "Pack.h"
#include "Screens.h"
#include "Textures.h"

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::string(argv[1]) == "--preview") {
            // Every texture at 128 x 128 on one contact sheet, eight to a row.
            const auto names = content::TextureNames();
            const int cell = 128, perRow = 8, rows = static_cast<int>((names.size() + perRow - 1) / perRow);
            content::Image sheet(cell * perRow, cell * rows, content::Rgba{40, 40, 40, 255});
            for (size_t i = 0; i < names.size(); ++i) {
                const content::Image img = content::RenderTexture(names[i]);
                const int ox = static_cast<int>(i % perRow) * cell, oy = static_cast<int>(i / perRow) * cell;
                for (int y = 0; y < cell - 2; ++y)
                    for (int x = 0; x < cell - 2; ++x)
                        sheet.at(ox + x, oy + y) = img.at(x * img.width() / cell, y * img.height() / cell);
                content::WriteFile(std::filesystem::path(argv[2]) / (names[i] + ".png"), content::EncodePng(img));
            }
            content::WriteFile(std::filesystem::path(argv[2]) / "sheet.png", content::EncodePng(sheet));
            return 0;
        }
        if (argc == 3 && std::string(argv[1]) == "--icon") {
            content::WriteFile(argv[2], content::EncodePng(content::Icon()));
            return 0;
        }
        if (argc != 2 || argv[1][0] == '-') {
            std::fprintf(stderr, "usage: velmora-content OUTDIR | --preview DIR | --icon FILE\n");
            return 2;
        }
        content::GeneratePack(argv[1]);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-content: %s\n", e.what());
        return 1;
    }
}
