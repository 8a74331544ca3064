#include "shell/ContentCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <iomanip>
#include <limits>
#include <optional>
#include <set>
#include <string>

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Constants.h"
#include "common/Variables.h"
#include "loading/Loading.h"
#include "loading/m_InitMesh.h"
#include "loading/m_InitTextures.h"
#include "platform/files/Files.h"
#include "platform/music/Mp3Frames.h"
#include "platform/texture/TextureLoader.h"
#include "platform/xfile/XFile.h"
#include "timeline/CameraFlight.h"
#include "timeline/m_InitSteps.h"

namespace {

std::string Count(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

class Checker {
public:
    explicit Checker(std::ostream& out) : out_(out) {}

    // Writes `kind`, `file` and what `describe` says of it, or the problem it threw.
    void File(const char* kind, const std::string& file, const std::function<std::string()>& describe) {
        ++files_;
        try {
            const std::string description = describe();
            out_ << std::left << std::setw(8) << kind << Relative(file) << ": " << description << '\n';
        } catch (const std::exception& error) {
            Problem(error);
        }
    }

    void Problem(const std::exception& error) {
        // One line per problem, whatever a quoted piece of the file holds.
        std::string problem = error.what();
        std::replace_if(problem.begin(), problem.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        out_ << "PROBLEM " << problem << '\n';
        ++problems_;
    }

    // An image once, however many meshes name it.
    void Image(const TextureRequest& request) {
        const std::string file = ResolvePath(request.path);
        if (!images_.insert(file).second) return;
        // Making the texture from the decoded image depends only on the sizes
        // the tables ask for, never on the file, so decoding is the whole check.
        File("image", file, [&] {
            const std::string bytes = ReadWholeFile(file);
            const DecodedImage image = DecodeImage(bytes, file);
            return std::to_string(image.width) + " x " + std::to_string(image.height) + " " + ImageFormat(bytes);
        });
    }

    void Mesh(const MeshListRow& row) {
        const std::string folder = AppPath + "\\" + row.Folder;
        const std::string file = ResolvePath(folder + "\\" + row.File);
        std::optional<XMesh> mesh;
        File("mesh", file, [&] {
            mesh = ParseXFile(ReadWholeFile(file), file);
            size_t textures = 0;
            for (const XMaterial& material : mesh->materials) textures += material.textureFilename.empty() ? 0 : 1;
            return Count(mesh->geometry.indices.size() / 3, "triangle", "triangles") + ", " +
                   Count(mesh->materials.size(), "material", "materials") + ", " +
                   Count(textures, "texture", "textures");
        });
        ++meshes_;
        if (mesh) {
            for (const XMaterial& material : mesh->materials) {
                if (material.textureFilename.empty()) continue;
                std::optional<TextureRequest> texture;
                try {
                    texture = MeshMaterialTexture(folder, material.textureFilename);
                } catch (const ContentError& error) {
                    Problem(error);
                }
                if (texture) Image(*texture);
            }
        }
        if (row.OwnTexture != nullptr) Image(OwnTexture(row));
    }

    void Camera() {
        File("camera", ResolvePath(AppPath + "\\cam.dat"), [] {
            InitSteps([](const std::string&) {});
            std::string text;
            for (int32_t s = 0; s <= Steps.UBound(); ++s) {
                text += (s == 0 ? "step " : "; step ") + std::to_string(s) + ": " + FlightSummary(Steps[s]);
            }
            return text;
        });
    }

    void Music() {
        const std::string file = ResolvePath(AppPath + MusicFileName);
        File("music", file, [&] {
            const Mp3Stream stream = ReadMp3Frames(ReadWholeFile(file), file);
            const double seconds = stream.Seconds();
            const int minutes = static_cast<int>(seconds / 60);
            char length[32];
            std::snprintf(length, sizeof length, "%d:%04.1f", minutes, seconds - 60.0 * minutes);
            return std::string(length) + ", " + stream.format + ", " + std::to_string(stream.sampleRate) + " Hz, " +
                   std::to_string(stream.frames) + " frames";
        });
    }

    size_t Summary() {
        out_ << "velmora: " << Count(files_, "file", "files") << " (" << Count(meshes_, "mesh", "meshes") << ", "
             << Count(images_.size(), "image", "images") << ", the camera file and the music): ";
        if (problems_ == 0) {
            out_ << "all would play\n";
        } else {
            out_ << Count(problems_, "problem", "problems") << ", the demo would not play\n";
        }
        return problems_;
    }

private:
    std::string Relative(const std::string& file) const {
        const std::string root = AppPath + "/";
        return file.rfind(root, 0) == 0 ? file.substr(root.size()) : file;
    }

    std::ostream& out_;
    std::set<std::string> images_;
    size_t files_ = 0, meshes_ = 0, problems_ = 0;
};

}  // namespace

size_t CheckContent(std::ostream& out) {
    out << "content folder: " << AppPath << '\n';
    Checker checker(out);
    for (const InitTextureRow& row : InitTextures) checker.Image(InitTexture(row));
    for (const MeshListRow& row : MeshList) checker.Mesh(row);
    checker.Camera();
    checker.Music();
    return checker.Summary();
}
