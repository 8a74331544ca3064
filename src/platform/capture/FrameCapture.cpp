#include "platform/capture/FrameCapture.h"

#include <cstdio>
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
    if (!stbi_write_png(file.string().c_str(), static_cast<int>(width), static_cast<int>(height), 3, rgb.data(),
                        static_cast<int>(width * 3)))
        throw DemoError("cannot write the picture " + file.string());
}

void PngFrameWriter::OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) {
    WritePng(directory_ / FrameFileName(first_ + frames_), rgba, width, height);
    ++frames_;
}
