// Frame capture: writes every presented frame as DIR/frame_NNNNNN.png (top row
// first, opaque RGB), numbered from 0 or from the frame a part of a run starts at.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/device/Device.h"

// Writes `rgba` (width * height * 4 bytes, top row first) to `file` as an
// opaque RGB PNG; throws DemoError naming the file when it cannot.
void WritePng(const std::filesystem::path& file, const uint8_t* rgba, uint32_t width, uint32_t height);

class PngFrameWriter final : public PresentListener {
public:
    // Creates `directory` if needed; throws DemoError when it cannot.
    explicit PngFrameWriter(std::filesystem::path directory);

    // Throws DemoError naming the file and the reason when a frame cannot be
    // written whole; the part written is removed, the frames before are kept.
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override;
    bool WantsPixels() const override { return true; }
    bool TakesPixelsLate() const override { return true; }
    void OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) override;

    uint64_t FramesWritten() const { return frames_; }
    // Numbers the frames from `index` on: a part of a run keeps the numbers
    // its frames have in the whole run.
    void NumberFrom(uint64_t index) { first_ = index; }
    // The file name of frame `index`: frame_000042.png.
    static std::string FrameFileName(uint64_t index);

private:
    std::filesystem::path directory_;
    uint64_t frames_ = 0;
    uint64_t first_ = 0;
};
