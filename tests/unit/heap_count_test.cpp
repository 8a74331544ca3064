// The process counts its heap allocations, telling the GL driver's apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "platform/system/HeapCount.h"

namespace {

// The nothrow forms were once left to the runtime, so a stable_sort's buffer
// (nothrow new, then plain delete) was a mismatched pair and the sanitizer
// build of the program stopped at its first font.
TEST(HeapCount, EveryFormOfOperatorNewIsCountedAndPairsWithDelete) {
    const uint64_t before = CountHeapAllocations().all;
    void* p = ::operator new(24, std::nothrow);
    ASSERT_NE(p, nullptr);
    ::operator delete(p);
    void* q = ::operator new[](24, std::nothrow);
    ::operator delete[](q, std::nothrow);
    EXPECT_GE(CountHeapAllocations().all, before + 2);
    std::vector<std::vector<int>> rows(300);
    for (size_t i = 0; i < rows.size(); ++i) rows[i].assign(i % 7, int(i));
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); });
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); }));
}

TEST(HeapCount, OnlyAllocationsInsideADriverCallOnItsThreadAreTheDriverS) {
    const HeapCounts start = CountHeapAllocations();
    auto outside = std::make_unique<int>(1);
    const HeapCounts afterOutside = CountHeapAllocations();
    EXPECT_EQ(afterOutside.driver, start.driver);
    EXPECT_GT(afterOutside.all, start.all);

    std::unique_ptr<int> inside, nested;
    {
        const DriverCall call;
        inside = std::make_unique<int>(2);
        {
            const DriverCall again;
            nested = std::make_unique<int>(3);
        }
    }
    const HeapCounts afterInside = CountHeapAllocations();
    EXPECT_EQ(afterInside.driver, afterOutside.driver + 2);

    // The scope ended: later allocations are the demo's again, and another
    // thread's never belong to this thread's driver call.
    auto later = std::make_unique<int>(4);
    std::atomic<int> step{0};
    std::thread other([&step] {
        while (step.load() != 1) std::this_thread::yield();
        auto theirs = std::make_unique<int>(5);
        step.store(2);
    });
    {
        const DriverCall call;
        step.store(1);
        while (step.load() != 2) std::this_thread::yield();
    }
    other.join();
    EXPECT_EQ(CountHeapAllocations().driver, afterInside.driver);
}

}  // namespace
