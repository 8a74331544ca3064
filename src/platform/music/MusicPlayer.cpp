#include "platform/music/MusicPlayer.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <alsa/asoundlib.h>

#include <iostream>

#include "base/Errors.h"
#include "platform/files/Files.h"
#include "platform/music/SilentMusicPlayer.h"

namespace {

// ALSA writes every step of a failed device lookup to stderr (eight lines when
// the machine has no sound card); the one line CreateMusicPlayer prints says
// what they amount to, so they are dropped.
void DropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

class MixerMusicPlayer final : public MusicPlayer {
public:
    ~MixerMusicPlayer() override {
        if (music_ != nullptr) Mix_FreeMusic(music_);
        Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    void SetFileName(const std::string& path) override { fileName_ = path; }
    void SetCurrentPosition(double seconds) override { position_ = seconds; }

    void Play() override {
        if (music_ == nullptr) {
            const std::string path = ResolvePath(fileName_);
            music_ = Mix_LoadMUS(path.c_str());
            if (music_ == nullptr) throw ContentError(path + ": cannot open music (" + Mix_GetError() + ")");
        }
        if (Mix_PlayMusic(music_, 0) != 0) throw DemoError(std::string("cannot play music: ") + Mix_GetError());
        if (position_ > 0) Mix_SetMusicPosition(position_);
        // A paused stream stays paused through a new start.
        Mix_ResumeMusic();
    }

    void Stop() override { Mix_HaltMusic(); }
    void Pause() override { Mix_PauseMusic(); }
    double Position() const override {
        return music_ != nullptr && Mix_PlayingMusic() ? Mix_GetMusicPosition(music_) : -1;
    }

private:
    std::string fileName_;
    double position_ = 0;
    Mix_Music* music_ = nullptr;
};

}  // namespace

std::unique_ptr<MusicPlayer> CreateMusicPlayer(bool enabled) {
    if (!enabled) {
        std::cerr << "velmora: the music is off" << std::endl;
        return std::make_unique<SilentMusicPlayer>();
    }
    snd_lib_error_set_handler(DropAlsaMessage);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
        std::cerr << "velmora: no sound device (" << SDL_GetError() << "); the music is off" << std::endl;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return std::make_unique<SilentMusicPlayer>();
    }
    Mix_Init(MIX_INIT_MP3);
    return std::make_unique<MixerMusicPlayer>();
}
