// The music in the browser: the page decodes the MP3 with the Web Audio API
// and plays it on the audio thread, so a slow frame never interrupts it.
#include "platform/music/MusicPlayer.h"

#include <emscripten.h>

#include <cstdlib>
#include <iostream>

#include "base/Errors.h"
#include "platform/files/Files.h"
#include "platform/music/SilentMusicPlayer.h"

namespace {

// Hands the file's bytes to the page, waits for the decoding, and starts the
// track at `position` seconds plus the time the decoding took. Returns an
// empty string, or what went wrong.
EM_ASYNC_JS(char*, PlayInPage, (const char* path, const uint8_t* bytes, size_t size, double position), {
    const error = await Module.velmoraMusic.play(UTF8ToString(path), HEAPU8.slice(bytes, bytes + size), position);
    return allocateUTF8(error);
});

EM_JS(void, StopInPage, (), { Module.velmoraMusic.stop(); });

class WebAudioMusicPlayer final : public MusicPlayer {
public:
    void SetFileName(const std::string& path) override { fileName_ = path; }
    void SetCurrentPosition(double seconds) override { position_ = seconds; }

    void Play() override {
        const std::string path = ResolvePath(fileName_);
        const std::string bytes = ReadWholeFile(path);
        char* error = PlayInPage(path.c_str(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), position_);
        const std::string message = error;
        std::free(error);
        if (!message.empty()) throw ContentError(path + ": cannot open music (" + message + ")");
    }

    void Stop() override { StopInPage(); }
    // The page keeps the decoded track, so stopping and playing again from
    // the position set is as good as a pause.
    void Pause() override { StopInPage(); }

private:
    std::string fileName_;
    double position_ = 0;
};

}  // namespace

std::unique_ptr<MusicPlayer> CreateMusicPlayer(bool enabled) {
    if (!enabled) {
        std::cerr << "velmora: the music is off" << std::endl;
        return std::make_unique<SilentMusicPlayer>();
    }
    return std::make_unique<WebAudioMusicPlayer>();
}
