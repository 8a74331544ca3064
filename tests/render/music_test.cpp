// The real music player on SDL's dummy sound driver, as a run started part
// way uses it: the pack's music from the position set, then halted.
#include <gtest/gtest.h>

#include <string>

#include "platform/music/MusicPlayer.h"

namespace {

TEST(MusicPlayer, PlaysThePacksMusicFromThePositionSetUntilHalted) {
    const std::unique_ptr<MusicPlayer> player = CreateMusicPlayer(true);
    player->SetFileName(std::string(VELMORA_CONTENT_DIR) + "/velmora5.mp3");
    player->SetCurrentPosition(83.25);
    player->Play();
    EXPECT_NEAR(player->Position(), 83.25, 0.1);
    player->Stop();
    EXPECT_LT(player->Position(), 0);
}

}  // namespace
