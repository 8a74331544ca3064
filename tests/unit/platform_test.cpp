// Content paths written for another file system, the command line's refusals, and
// the MP3 frame walk of the content check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Errors.h"
#include "platform/files/Files.h"
#include "platform/music/Mp3Frames.h"
#include "platform/userdirs/UserFolders.h"
#include "shell/CommandLine.h"
#include "support/TestSupport.h"

namespace {

TEST(Files, BackslashPathsMapToHostPathsWithCaseFallback) {
    TempDir dir;
    dir.Write("data/House/House_01/Tex.JPG", "x");
    const std::string root = dir.path().string();
    EXPECT_EQ(ResolvePath(root + "\\data\\house\\house_01\\tex.jpg"), root + "/data/House/House_01/Tex.JPG");
    EXPECT_EQ(ResolvePath(root + "\\\\data//House\\House_01\\Tex.JPG"), root + "/data/House/House_01/Tex.JPG");
    EXPECT_EQ(ResolvePath(root + "\\data\\missing\\a.x"), root + "/data/missing/a.x");
}

// Stills go where the desktop's settings put pictures, else to ~/Pictures.
TEST(UserFolders, PicturesFolderFollowsTheUserDirsFile) {
    TempDir dir;
    const std::string home = (dir.path() / "home").string();
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string keptConfig = oldConfig ? oldConfig : "";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
    EXPECT_EQ(PicturesFolder(), home + "/Pictures");
    dir.Write("config/user-dirs.dirs", "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                       "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(PicturesFolder(), home + "/Bilder");
    dir.Write("config/user-dirs.dirs", "XDG_PICTURES_DIR=\"/srv/shots\"\n");
    EXPECT_EQ(PicturesFolder(), "/srv/shots");
    if (oldConfig) {
        setenv("XDG_CONFIG_HOME", keptConfig.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    setenv("HOME", oldHome.c_str(), 1);
}

TEST(CommandLineParsing, AcceptsTheOptionsAndRejectsMalformedOnes) {
    const auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "velmora");
        return ParseCommandLine(static_cast<int>(args.size()), args.data());
    };
    const CommandLine line = parse({"--windowed", "--seed", "7", "--capture", "out/", "--fps", "10", "--seconds", "2.5",
                                    "--size", "1920x1080", "--msaa", "8"});
    EXPECT_TRUE(line.windowed);
    EXPECT_EQ(line.width, 1920u);
    EXPECT_EQ(line.height, 1080u);
    EXPECT_EQ(*line.msaa, 8);
    EXPECT_FALSE(parse({}).msaa);
    EXPECT_EQ(*line.seed, 7u);
    EXPECT_EQ(line.fps, 10u);
    EXPECT_DOUBLE_EQ(*line.seconds, 2.5);
    const CommandLine join = parse({"--join", "o.mp4", "a.mkv", "b.mkv", "--data", "d"});
    EXPECT_EQ(join.joinSegments, (std::vector<std::string>{"a.mkv", "b.mkv"}));
    EXPECT_EQ(*join.dataDir, "d");
    const std::vector<std::vector<const char*>> bad = {
        {"--bogus"}, {"--seed"}, {"--seed", "x7"}, {"--seed", "-1"}, {"--capture", "o/", "--fps", "0"},
        {"--capture", "o/", "--seconds", "-2"}, {"--capture", "o/", "--seconds", "nan"}, {"--fps", "30"},
        {"--capture", "o/", "--benchmark"}, {"--windowed", "--size", "1920"}, {"--windowed", "--size", "8x8"},
        {"--windowed", "--size", "1920x16385"}, {"--msaa", "3"}, {"--size", "800x600"},
        {"--start", "-1"}, {"--jobs", "2"}, {"--capture", "o/", "--lossless"},
        {"--join", "o.mp4"}, {"--capture", "o.mp4", "--jobs", "0"}};
    for (const auto& args : bad) EXPECT_THROW(parse(args), UsageError) << args[0] << " " << args.size();
}

// Refusals that depend on what else is asked: odd sides only for a video, a
// start only at or past the timeline's end (150.2 s), at the rate it is reached.
TEST(CommandLineParsing, RefusesOddVideoSidesAndAStartPastTheTimeline) {
    const auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "velmora");
        return ParseCommandLine(static_cast<int>(args.size()), args.data());
    };
    const auto message = [&](std::vector<const char*> args) {
        try {
            parse(std::move(args));
        } catch (const UsageError& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_NE(message({"--capture", "o.mp4", "--size", "1001x768"}).find("even sides"), std::string::npos);
    EXPECT_NE(message({"--capture", "o.mkv", "--size", "1024x767", "--jobs", "2"}).find("even sides"), std::string::npos);
    EXPECT_EQ(parse({"--capture", "o/", "--size", "1001x767"}).width, 1001u);
    EXPECT_EQ(parse({"--capture", "o.mp4", "--size", "1000x750"}).height, 750u);

    for (std::vector<const char*> args : {std::vector<const char*>{"--start", "150.2"},
                                          {"--capture", "o/", "--fps", "10", "--start", "150.15"},
                                          {"--benchmark", "--start", "86400"}}) {
        const std::string refusal = message(args);
        EXPECT_NE(refusal.find("lasts 150.2 s"), std::string::npos) << args.back() << ": " << refusal;
    }
    EXPECT_DOUBLE_EQ(*parse({"--start", "150.18"}).start, 150.18);
    EXPECT_DOUBLE_EQ(*parse({"--capture", "o/", "--fps", "10", "--start", "150.1"}).start, 150.1);
}

TEST(CommandLineParsing, CheckTakesAFolderOnlyWhenOneFollows) {
    const auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "velmora");
        return ParseCommandLine(static_cast<int>(args.size()), args.data());
    };
    EXPECT_EQ(parse({"--check", "mine"}).checkDir, "mine");
    const CommandLine bare = parse({"--check", "--data", "d"});
    EXPECT_TRUE(bare.check);
    EXPECT_FALSE(bare.checkDir);
    EXPECT_EQ(bare.dataDir, "d");
    EXPECT_THROW(parse({"--check", "mine", "--data", "d"}), UsageError);
    EXPECT_THROW(parse({"--check", "--capture", "o/"}), UsageError);
    // The map and the live reload: the map alone (with its content), the watch live only.
    EXPECT_EQ(parse({"--map", "m.png", "--data", "d"}).map, "m.png");
    EXPECT_TRUE(parse({"--watch", "--windowed"}).watch);
    EXPECT_THROW(parse({"--map", "m.png", "--capture", "o/"}), UsageError);
    EXPECT_THROW(parse({"--watch", "--benchmark"}), UsageError);
    EXPECT_THROW(parse({"--watch", "--map", "m.png"}), UsageError);
}

// MPEG-1 Layer III frames at 128 kbit/s and 44.1 kHz are 417 bytes (418 when
// padded) of 1152 samples each; a tag before them and stray bytes between
// them are passed over, as decoders do.
TEST(Mp3Frames, CountsFramesAfterATagAndAcrossStrayBytes) {
    const auto frame = [](bool padded) {
        std::string bytes(padded ? 418 : 417, '\0');
        bytes[0] = '\xFF', bytes[1] = '\xFB', bytes[2] = char(0x90 | (padded ? 2 : 0)), bytes[3] = '\x44';
        return bytes;
    };
    // A tag of 417 bytes (a size in 7-bit bytes) that holds what looks like a frame.
    const std::string tag = std::string("ID3\x03\0\0\0\0\x03\x21", 10) + frame(false);
    const Mp3Stream stream =
        ReadMp3Frames(tag + frame(false) + frame(true) + "junk\xFF" + frame(false) + frame(false), "m.mp3");
    EXPECT_EQ(stream.frames, 4u);
    EXPECT_EQ(stream.sampleRate, 44100u);
    EXPECT_EQ(stream.format, "MPEG-1 Layer III");
    EXPECT_NEAR(stream.Seconds(), 4 * 1152 / 44100.0, 1e-9);
    EXPECT_THROW(ReadMp3Frames(std::string(5000, '\xFF'), "m.mp3"), ContentError);
}

}  // namespace
