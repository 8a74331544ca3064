// The player for a run without music (--no-audio, no sound device): every
// call does nothing. Shared by the desktop's and the browser's music services.
#pragma once

#include <string>

#include "platform/music/MusicPlayer.h"

class SilentMusicPlayer final : public MusicPlayer {
public:
    void SetFileName(const std::string&) override {}
    void SetCurrentPosition(double) override {}
    void Play() override {}
    void Stop() override {}
    void Pause() override {}
};
