// The music player: a file name, a position in seconds, play and halt.
#pragma once

#include <memory>
#include <string>

class MusicPlayer {
public:
    virtual ~MusicPlayer() = default;
    virtual void SetFileName(const std::string& path) = 0;
    virtual void SetCurrentPosition(double seconds) = 0;
    virtual void Play() = 0;   // opens the file named last and starts it at the position set
    virtual void Stop() = 0;   // halts; fine with no file
    virtual void Pause() = 0;  // holds at the present place; Play starts again from the position set
    // Seconds into the music playing; negative when none plays.
    virtual double Position() const { return -1; }
};

// An SDL2_mixer player, or a silent one when `enabled` is false or the machine
// has no sound device (one line on stderr then says the music is off).
std::unique_ptr<MusicPlayer> CreateMusicPlayer(bool enabled);
