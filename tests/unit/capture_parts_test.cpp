// A capture split into parts: how the timeline is cut, what each part's
// process is told, and which parts make one run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Errors.h"
#include "platform/capture/SegmentJoin.h"
#include "shell/ParallelCapture.h"
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

TEST(CaptureParts, APartGetsEveryOtherArgumentAndFrameExactTimes) {
    const std::vector<const char*> argv = {"velmora", "--data", "d", "--jobs", "2", "--size", "640x480", "--capture",
                                           "o.mp4", "--seconds", "3", "--start", "1", "--fps", "60"};
    const std::vector<std::string> args = PartArguments(int(argv.size()), argv.data(), {4979, 4980}, 60, "p.mkv");
    const std::vector<std::string> kept = {"--data", "d", "--size", "640x480", "--fps", "60", "--capture", "p.mkv"};
    ASSERT_EQ(args.size(), kept.size() + 4);
    EXPECT_EQ(std::vector<std::string>(args.begin(), args.begin() + long(kept.size())), kept);
    EXPECT_EQ(args[8], "--start");
    EXPECT_EQ(args[10], "--seconds");
    for (int64_t k = 0; k < 20000; k += 7) {
        for (uint32_t fps : {1u, 24u, 30u, 60u, 144u}) {
            const std::vector<std::string> part = PartArguments(1, argv.data(), {k, k + 1}, fps, "p");
            const double start = std::stod(part[3]);
            ASSERT_EQ(TimelineFrameAt(start, fps), k) << fps;
            ASSERT_EQ(TimelineFrameAt(start + std::stod(part[5]), fps), k + 1) << fps;
        }
    }
}

TEST(CaptureParts, JoinOnlyPartsThatFollowOneAnother) {
    const SegmentPlace a{"a", 60, 0, 500, 97}, b{"b", 60, 500, 300, 97}, c{"c", 60, 800, 10, 97};
    const std::vector<SegmentPlace> ordered = OrderSegments({c, a, b});
    ASSERT_EQ(ordered.size(), 3u);
    EXPECT_EQ(ordered[0].file + ordered[1].file + ordered[2].file, "abc");

    const auto refusal = [](std::vector<SegmentPlace> parts) {
        return ErrorMessage<DemoError>([&] { OrderSegments(std::move(parts)); });
    };
    EXPECT_NE(refusal({a, c}).find("c starts at frame 800"), std::string::npos) << "a gap";
    EXPECT_NE(refusal({a, SegmentPlace{"b", 60, 499, 300, 97}}).find("b starts"), std::string::npos) << "an overlap";
    EXPECT_NE(refusal({b, c}).find("b, starts at frame 500"), std::string::npos) << "no first part";
    EXPECT_NE(refusal({a, SegmentPlace{"b", 30, 500, 300, 97}}).find("another run"), std::string::npos);
    EXPECT_NE(refusal({a, SegmentPlace{"b", 60, 500, 300, 98}}).find("another run"), std::string::npos);
}

}  // namespace
