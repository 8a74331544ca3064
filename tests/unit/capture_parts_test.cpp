// A capture split into parts: how the timeline is cut, what each part's
// process is told, and which parts make one run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Errors.h"
#include "platform/capture/SegmentJoin.h"
#include "shell/CapturePlan.h"
#include "support/TestSupport.h"

namespace {

TEST(CaptureParts, CoverTheTimelineWithoutGapsAndOpenAtTheEnd) {
    for (uint32_t jobs : {1u, 2u, 3u, 7u, 16u}) {
        SCOPED_TRACE(jobs);
        const std::vector<CapturePart> open = PlanCaptureParts(0, std::nullopt, 9013, jobs);
        ASSERT_EQ(open.size(), jobs);
        EXPECT_EQ(open.front().first, 0);
        EXPECT_FALSE(open.back().end) << "the last part runs to the end screen";
        for (size_t i = 1; i < open.size(); ++i) {
            EXPECT_EQ(open[i].first, *open[i - 1].end);
            EXPECT_NEAR(double(*open[i - 1].end - open[i - 1].first), 9013.0 / jobs, 1.0);
        }
    }
    const std::vector<CapturePart> few = PlanCaptureParts(10, 13, 9013, 8);
    ASSERT_EQ(few.size(), 3u) << "no part without a frame";
    EXPECT_EQ(few[2].end, 13);
}

TEST(CaptureParts, APartGetsEveryOtherArgumentTheRunsSeedAndFrameExactTimes) {
    const std::vector<const char*> argv = {"velmora", "--data", "/d", "--jobs", "2", "--size", "640x480", "--capture",
                                           "o.mp4", "--seconds", "3", "--start", "1", "--seed", "5", "--fps", "60"};
    const std::vector<std::string> args = PartArguments(int(argv.size()), argv.data(), {4979, 4980}, 60, 9, "p.mkv");
    const std::vector<std::string> kept = {"--data", "/d", "--size", "640x480", "--fps", "60", "--seed", "9", "--capture",
                                           "p.mkv"};
    ASSERT_EQ(args.size(), kept.size() + 4);
    EXPECT_EQ(std::vector<std::string>(args.begin(), args.begin() + long(kept.size())), kept);
    EXPECT_EQ(args[10], "--start");
    EXPECT_EQ(args[12], "--seconds");
    for (int64_t k = 0; k < 20000; k += 7) {
        for (uint32_t fps : {1u, 24u, 30u, 60u, 144u}) {
            const std::vector<std::string> part = PartArguments(1, argv.data(), {k, k + 1}, fps, 1, "p");
            const double start = std::stod(part[5]);
            ASSERT_EQ(TimelineFrameAt(start, fps), k) << fps;
            ASSERT_EQ(TimelineFrameAt(start + std::stod(part[7]), fps), k + 1) << fps;
        }
    }
}

// The plan printed for a scheduler: one seed for every part, even when none
// was given, and the parts' videos joined into the output.
TEST(CaptureParts, APlanFixesOneSeedAndJoinsItsParts) {
    const std::vector<const char*> argv = {"velmora", "--plan", "3", "--fps", "30", "--lossless", "/v/demo.mp4"};
    const CommandLine line = ParseCommandLine(int(argv.size()), argv.data());
    const CapturePlan plan = PlanCapture(line, int(argv.size()), argv.data(), *line.plan, 77);
    ASSERT_EQ(plan.parts.size(), 3u);
    EXPECT_EQ(plan.seed, 77u);
    const std::vector<std::string> join = {"--join", "/v/demo.mp4", "/v/demo.part-000.mkv", "/v/demo.part-001.mkv",
                                           "/v/demo.part-002.mkv"};
    EXPECT_EQ(plan.join, join);
    for (const PartCommand& part : plan.parts) {
        const std::string line = ShellLine(part.arguments);
        EXPECT_NE(line.find("--seed 77 --capture " + part.output), std::string::npos) << line;
        EXPECT_EQ(line.find("/v/demo.mp4"), std::string::npos) << line;
        EXPECT_EQ(line.find("--plan"), std::string::npos) << line;
    }
    EXPECT_EQ(ShellLine({"a b", "it's", "--x=1"}), "'a b' 'it'\\''s' --x=1");
}

// Without --start a capture's seconds count from the program's start, the
// loading screen included: 25 s at 30 fps are 750 frames however many parts.
TEST(CaptureParts, SecondsWithoutAStartCountTheLoadingScreen) {
    const std::vector<const char*> argv = {"velmora", "--capture", "o.mp4", "--fps", "30", "--seconds", "25"};
    const CommandLine line = ParseCommandLine(int(argv.size()), argv.data());
    const CapturePlan plan = PlanCapture(line, int(argv.size()), argv.data(), 2, 1);
    EXPECT_EQ(*plan.parts.back().frames.end + LoadingScreenFrames(), 750);
    EXPECT_EQ(RunFramesIn(25, 30), 750);
    EXPECT_EQ(RunFramesIn(0.5, 7), 4) << "the first frame whose clock passes 500 ms";
}

TEST(CaptureParts, JoinOnlyPartsOfOneRunThatFollowOneAnother) {
    const SegmentPlace a{"a", 60, 0, 500, 97, 1, "64x48"}, b{"b", 60, 500, 300, 97, 1, "64x48"},
        c{"c", 60, 800, 10, 97, 1, "64x48"};
    const std::vector<SegmentPlace> ordered = OrderSegments({c, a, b});
    ASSERT_EQ(ordered.size(), 3u);
    EXPECT_EQ(ordered[0].file + ordered[1].file + ordered[2].file, "abc");

    const auto refusal = [](std::vector<SegmentPlace> parts) {
        return ErrorMessage<DemoError>([&] { OrderSegments(std::move(parts)); });
    };
    const auto with = [&b](auto change) {
        SegmentPlace part = b;
        change(part);
        return part;
    };
    EXPECT_EQ(refusal({a, c}), "frames 500 to 799 are missing: a ends before frame 500, c starts at frame 800");
    EXPECT_NE(refusal({a, with([](SegmentPlace& p) { p.firstFrame = 499; })}).find("b starts"), std::string::npos);
    EXPECT_NE(refusal({b, c}).find("b, starts at frame 500"), std::string::npos) << "no first part";
    EXPECT_EQ(refusal({a, b, with([](SegmentPlace& p) { p.file = "b2"; }), c}),
              "b2 and b are the same part (from frame 500): give it once");
    EXPECT_NE(refusal({a, with([](SegmentPlace& p) { p.fps = 30; })}).find("another run"), std::string::npos);
    EXPECT_NE(refusal({a, with([](SegmentPlace& p) { p.timelineFrame = 98; })}).find("another run"), std::string::npos);
    EXPECT_EQ(refusal({a, with([](SegmentPlace& p) { p.seed = 2; })}), "b is from another run than a: seed 2, not seed 1");
    EXPECT_EQ(refusal({a, with([](SegmentPlace& p) { p.size = "32x24"; })}),
              "b is from another run than a: 32x24 pixels, not 64x48");
    EXPECT_NE(refusal({a, with([](SegmentPlace& p) { p.seed.reset(); })}).find("b was made without --seed"),
              std::string::npos);
    EXPECT_EQ(refusal({with([](SegmentPlace& p) { p.seed.reset(); p.firstFrame = 0; })}), "(no error)") << "a run alone";
}

}  // namespace
