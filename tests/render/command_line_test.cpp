// The program's own command line: usage errors, --help and --version, and
// joining parts of a capture made by separate runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/capture/VideoCapture.h"
#include "support/TestSupport.h"

namespace {

TEST(CommandLine, UsageErrorsExitWithStatusTwoAndTheUsage) {
    for (const char* arguments : {"--bogus", "--fps", "--fps 0", "--size 10", "--start -1", "--join"}) {
        const CommandResult run = RunProgram(std::string(arguments) + " 2>&1");
        EXPECT_EQ(run.status, 2) << arguments << ": " << run.output;
        EXPECT_EQ(run.output.rfind("velmora: ", 0), 0u) << arguments << ": " << run.output;
        EXPECT_NE(run.output.find("\nusage: velmora [options]"), std::string::npos) << arguments;
    }
    const CommandResult help = RunProgram("--help 2>/dev/null");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("usage: velmora [options]\n", 0), 0u) << help.output;
    EXPECT_NE(help.output.find("--join OUT SEG..."), std::string::npos) << help.output;
    const CommandResult version = RunProgram("--version 2>/dev/null");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "velmora " VELMORA_VERSION "\n");
}

// Parts made by runs started at 0 (the loading included) and 1 s join into one
// video of both parts' frames with the music once; a video made elsewhere is
// refused by name.
TEST(CommandLine, JoinsPartsAndRefusesAFileThatIsNoPart) {
    if (!FfmpegAvailable()) GTEST_SKIP() << "no ffmpeg";
    TempDir dir;
    const auto file = [&](const std::string& name) { return ShellQuote((dir.path() / name).string()); };
    // "video,N" then "audio,M" for each stream of `name`.
    const auto streams = [&](const std::string& name) {
        return RunCommand("ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames -of csv=p=0 " +
                          file(name)).output;
    };
    int frames = 0;
    for (int start : {0, 1}) {
        const std::string name = std::to_string(start) + ".mkv";
        const CommandResult part = RunProgram("--data " + ShellQuote(VELMORA_CONTENT_DIR) + " --capture " +
                                              file(name) + " --start " + std::to_string(start) +
                                              " --seconds 1 --fps 5 --lossless --seed 1 2>&1");
        ASSERT_EQ(part.status, 0) << part.output;
        frames += std::stoi(streams(name).substr(6));
    }
    const CommandResult join = RunProgram("--data " + ShellQuote(VELMORA_CONTENT_DIR) + " --join " + file("j.mkv") +
                                          " " + file("0.mkv") + " " + file("1.mkv") + " 2>&1");
    ASSERT_EQ(join.status, 0) << join.output;
    EXPECT_NE(join.output.find("joined 2 parts, " + std::to_string(frames) + " frames"), std::string::npos)
        << join.output;
    const std::string joined = streams("j.mkv");
    EXPECT_EQ(joined.rfind("video," + std::to_string(frames) + "\naudio,", 0), 0u) << joined;
    EXPECT_EQ(std::count(joined.begin(), joined.end(), '\n'), 2) << joined;

    ASSERT_EQ(RunCommand("ffmpeg -loglevel error -f lavfi -i color=c=red:s=64x48:r=5:d=1 " + file("plain.mkv")).status, 0);
    const CommandResult refused =
        RunProgram("--join " + file("out.mkv") + " " + file("0.mkv") + " " + file("plain.mkv") + " 2>&1");
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_NE(refused.output.find("plain.mkv is not a part of a run"), std::string::npos) << refused.output;
}

}  // namespace
