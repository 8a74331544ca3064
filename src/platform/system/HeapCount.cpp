#include "platform/system/HeapCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// The counters behind the replaced global allocation functions: replacing
// them is process-wide by nature, so they cannot belong to an object.
std::atomic<uint64_t> allAllocations{0};
std::atomic<uint64_t> driverAllocations{0};
thread_local int driverCallDepth = 0;

void* CountedMalloc(std::size_t size) noexcept {
    allAllocations.fetch_add(1, std::memory_order_relaxed);
    if (driverCallDepth > 0) driverAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

HeapCounts CountHeapAllocations() {
    return HeapCounts{allAllocations.load(std::memory_order_relaxed), driverAllocations.load(std::memory_order_relaxed)};
}

DriverCall::DriverCall() { ++driverCallDepth; }
DriverCall::~DriverCall() { --driverCallDepth; }

void* operator new(std::size_t size) {
    if (void* p = CountedMalloc(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The nothrow forms too (std::stable_sort's buffer uses them): left to the
// runtime they may come from another allocator than the free() above.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedMalloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedMalloc(size); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
