// Content paths written for another file system, and the command line's refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Errors.h"
#include "platform/files/Files.h"
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

TEST(CommandLineParsing, AcceptsTheOptionsAndRejectsMalformedOnes) {
    const auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "velmora");
        return ParseCommandLine(static_cast<int>(args.size()), args.data());
    };
    const CommandLine line = parse({"--windowed", "--seed", "7", "--capture", "out/", "--fps", "10", "--seconds", "2.5"});
    EXPECT_TRUE(line.windowed);
    EXPECT_EQ(*line.seed, 7u);
    EXPECT_EQ(line.fps, 10u);
    EXPECT_DOUBLE_EQ(*line.seconds, 2.5);
    const CommandLine join = parse({"--join", "o.mp4", "a.mkv", "b.mkv", "--data", "d"});
    EXPECT_EQ(join.joinSegments, (std::vector<std::string>{"a.mkv", "b.mkv"}));
    EXPECT_EQ(*join.dataDir, "d");
    const std::vector<std::vector<const char*>> bad = {
        {"--bogus"}, {"--seed"}, {"--seed", "x7"}, {"--seed", "-1"}, {"--capture", "o/", "--fps", "0"},
        {"--capture", "o/", "--seconds", "-2"}, {"--capture", "o/", "--seconds", "nan"}, {"--fps", "30"},
        {"--capture", "o/", "--benchmark"}, {"--start", "-1"}, {"--jobs", "2"}, {"--capture", "o/", "--lossless"},
        {"--join", "o.mp4"}, {"--capture", "o.mp4", "--jobs", "0"}};
    for (const auto& args : bad) EXPECT_THROW(parse(args), UsageError) << args[0] << " " << args.size();
}

}  // namespace
