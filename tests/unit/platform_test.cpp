#include <gtest/gtest.h>

#include <filesystem>

#include "common/Errors.h"
#include "platform/files/Files.h"
#include "platform/system/Clock.h"
#include "platform/system/Random.h"
#include "shell/CommandLine.h"
#include "support/TestSupport.h"

namespace {

TEST(Clocks, FixedStepClockAdvancesExactlyOneFramePerPresent) {
    FixedStepClock clock(60, 4294967000u);  // starts just below the 32-bit wrap
    const int32_t first = clock.TickCount();
    for (int i = 0; i < 60; ++i) clock.OnFramePresented();
    EXPECT_EQ(TickDifference(clock.TickCount(), first), 1000);
    EXPECT_EQ(clock.PerformanceCounter(), clock.PerformanceFrequency());
    for (int i = 0; i < 30; ++i) clock.OnFramePresented();
    EXPECT_EQ(TickDifference(clock.TickCount(), first), 1500);
}

TEST(Clocks, TickDifferencesWrap) {
    EXPECT_EQ(TickDifference(INT32_MIN, INT32_MAX), 1);
    EXPECT_EQ(TickDifference(5, -5), 10);
    EXPECT_EQ(TickDifference(static_cast<int32_t>(0x80000010u), 0x7FFFFFF0), 0x20);
}

TEST(RandomNumbers, ValuesLieInTheUnitIntervalAndAFixedSeedRepeats) {
    Random a, b;
    a.FixSeed(42);
    b.FixSeed(42);
    b.Randomize(12345.0f);  // ignored once the seed is fixed
    double sum = 0;
    for (int i = 0; i < 10000; ++i) {
        const float x = a.Next();
        ASSERT_GE(x, 0.0f);
        ASSERT_LT(x, 1.0f);
        ASSERT_EQ(x, b.Next());
        sum += x;
    }
    EXPECT_NEAR(sum / 10000, 0.5, 0.02);
    Random c, d;
    c.Randomize(1.0f);
    d.Randomize(2.0f);
    EXPECT_NE(c.Next(), d.Next());
}

TEST(Files, BackslashPathsMapToHostPathsWithCaseFallback) {
    TempDir dir;
    dir.Write("data/House/House_01/Tex.JPG", "x");
    const std::string root = dir.path().string();
    EXPECT_EQ(ResolvePath(root + "\\data\\house\\house_01\\tex.jpg"), root + "/data/House/House_01/Tex.JPG");
    EXPECT_EQ(ResolvePath(root + "\\\\data//House\\House_01\\Tex.JPG"), root + "/data/House/House_01/Tex.JPG");
    // A name that does not exist in any case is kept as written.
    EXPECT_EQ(ResolvePath(root + "\\data\\missing\\a.x"), root + "/data/missing/a.x");
}

TEST(Files, ReadErrorsNameThePath) {
    TempDir dir;
    const std::string missing = (dir.path() / "cam.dat").string();
    try {
        ReadWholeFile(missing);
        FAIL();
    } catch (const ContentError& error) {
        EXPECT_NE(std::string(error.what()).find(missing), std::string::npos);
    }
    EXPECT_THROW(ReadWholeFile(dir.path().string()), ContentError);
    const auto file = dir.Write("bytes.bin", std::string("a\0b\r\n", 5));
    EXPECT_EQ(ReadWholeFile(file.string()), std::string("a\0b\r\n", 5));
}

CommandLine Parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"velmora"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLineParsing, AcceptsTheDocumentedOptions) {
    const CommandLine none = Parse({});
    EXPECT_FALSE(none.windowed);
    EXPECT_FALSE(none.capture.has_value());
    const CommandLine line =
        Parse({"--windowed", "--data", "/tmp/x", "--seed", "7", "--no-audio", "--capture", "out/", "--fps", "10",
               "--seconds", "2.5"});
    EXPECT_TRUE(line.windowed);
    EXPECT_TRUE(line.noAudio);
    EXPECT_EQ(*line.dataDir, "/tmp/x");
    EXPECT_EQ(*line.seed, 7u);
    EXPECT_EQ(*line.capture, "out/");
    EXPECT_EQ(line.fps, 10u);
    EXPECT_DOUBLE_EQ(*line.seconds, 2.5);
    EXPECT_TRUE(Parse({"--benchmark", "--seconds", "5"}).benchmark);
    EXPECT_TRUE(CaptureIsFolder("frames/"));
    EXPECT_FALSE(CaptureIsFolder("/nonexistent/demo.mp4"));
}

TEST(CommandLineParsing, RejectsMalformedArguments) {
    EXPECT_THROW(Parse({"--bogus"}), UsageError);
    EXPECT_THROW(Parse({"--seed"}), UsageError);
    EXPECT_THROW(Parse({"--seed", "x7"}), UsageError);
    EXPECT_THROW(Parse({"--seed", "-1"}), UsageError);
    EXPECT_THROW(Parse({"--capture", "o/", "--fps", "0"}), UsageError);
    EXPECT_THROW(Parse({"--capture", "o/", "--seconds", "-2"}), UsageError);
    EXPECT_THROW(Parse({"--capture", "o/", "--seconds", "nan"}), UsageError);
    EXPECT_THROW(Parse({"--fps", "30"}), UsageError) << "--fps without --capture or --benchmark";
    EXPECT_THROW(Parse({"--capture", "o/", "--benchmark"}), UsageError);
}

}  // namespace
