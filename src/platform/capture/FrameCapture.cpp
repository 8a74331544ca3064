#include "platform/capture/FrameCapture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "base/Errors.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

PngFrameWriter::PngFrameWriter(std::filesystem::path directory) : directory_(std::move(directory)) {
    std::error_code error;
    std::filesystem::create_directories(directory_, error);
    if (!std::filesystem::is_directory(directory_))
        throw DemoError("cannot create the capture folder " + directory_.string() +
                        (error ? ": " + error.message() : std::string()));
}

namespace {

// Writes `bytes` to `file`, replacing it; returns 0 or the errno of the first
// call that failed, the close included (some file systems report a full disk
// only there).
int WriteWholeFile(const std::filesystem::path& file, const std::string& bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    int error = 0;
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(written);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

}  // namespace

std::string PngFrameWriter::FrameFileName(uint64_t index) {
    char name[40];
    std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(index));
    return name;
}

void PngFrameWriter::OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) {
    // Without pixels the frame's come later, through OnFramePixels.
    if (rgba != nullptr) OnFramePixels(rgba, width, height);
}

void WritePng(const std::filesystem::path& file, const uint8_t* rgba, uint32_t width, uint32_t height) {
    if (!rgba || width == 0 || height == 0) throw DemoError("no pixels to write to " + file.string());
    // The back buffer has no alpha: keep RGB only so the file is opaque.
    const size_t pixels = static_cast<size_t>(width) * height;
    std::vector<uint8_t> rgb(pixels * 3);
    for (size_t i = 0; i < pixels; ++i) {
        rgb[i * 3 + 0] = rgba[i * 4 + 0];
        rgb[i * 3 + 1] = rgba[i * 4 + 1];
        rgb[i * 3 + 2] = rgba[i * 4 + 2];
    }
    std::string png;
    const auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
    };
    if (!stbi_write_png_to_func(append, &png, static_cast<int>(width), static_cast<int>(height), 3, rgb.data(),
                                static_cast<int>(width * 3)))
        throw DemoError("cannot encode the picture " + file.string());
    const int error = WriteWholeFile(file, png);
    if (error != 0) {
        // A cut picture would pass for a whole one: only complete files are kept.
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        throw DemoError("cannot write the picture " + file.string() + ": " + std::strerror(error));
    }
}

void PngFrameWriter::OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) {
    try {
        WritePng(directory_ / FrameFileName(first_ + frames_), rgba, width, height);
    } catch (const DemoError& e) {
        throw DemoError(std::string(e.what()) + " (the " + std::to_string(frames_) +
                        " frames before it are complete)");
    }
    ++frames_;
}
