// Counts the process's heap allocations (every form of operator new), telling
// apart those the GL driver makes while the device calls into it: a software
// driver compiles its shader variants on first use, and those allocations are
// the driver's business, not the demo's.
#pragma once

#include <cstdint>

struct HeapCounts {
    uint64_t all = 0;
    uint64_t driver = 0;  // made while the calling thread was inside a DriverCall
};

HeapCounts CountHeapAllocations();

// Marks the calling thread as inside the GL driver for the scope's lifetime.
class DriverCall {
public:
    DriverCall();
    ~DriverCall();
    DriverCall(const DriverCall&) = delete;
    DriverCall& operator=(const DriverCall&) = delete;
};
