// A live run on a machine with no sound card: the sound library's own
// complaints stay off the terminal and the demo says so in one line.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace {

TEST(QuietRun, NoSoundDeviceIsOneLine) {
    TempDir dir;
    const std::string errors = (dir.path() / "stderr.txt").string();
    // ALSA asked for a card that no machine has; the run is stopped once the
    // window is up and the loading has begun.
    const CommandResult run =
        RunProgram("--windowed --data " + ShellQuote(VELMORA_CONTENT_DIR) + " 2>" + ShellQuote(errors),
                   "SDL_AUDIODRIVER=alsa ALSA_CARD=velmora-no-such-card timeout -s TERM 5");
    const std::string printed = ReadFile(errors);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(printed.find('\n'), printed.size() - 1) << printed;
    EXPECT_EQ(printed.rfind("velmora: no sound device", 0), 0u) << printed;
    EXPECT_NE(printed.find("the music is off"), std::string::npos) << printed;
}

}  // namespace
