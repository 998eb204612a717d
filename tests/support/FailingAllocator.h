// Allocation failure on demand, for the tests of what the program does when
// memory runs out. A test program that wants it adds FailingAllocator.cpp to
// its sources: that file replaces the global operator new and delete of the
// whole program (every thread), so nothing else may replace them.
#pragma once
#include <cstddef>

namespace testing_support {

// While alive, the allocation after the first `after` ones (counted from
// construction, on every thread, of at least `minSize` bytes) throws
// std::bad_alloc, as the one that finds the 32-bit address space full
// would; the ones after it find the memory the unwinding freed. With
// `every` set, each allocation of at least `minSize` bytes after the first
// `after` fails, as in an address space with no block of that size left.
// Only allocations of at most `maxSize` bytes count (and fail): a test aims
// at blocks of one size, such as the nodes of one map.
class CAllocationFailure
{
public:
    explicit CAllocationFailure(long after, std::size_t minSize = 0, bool every = false,
                                std::size_t maxSize = static_cast<std::size_t>(-1));
    ~CAllocationFailure();
    CAllocationFailure(const CAllocationFailure&) = delete;
    CAllocationFailure& operator=(const CAllocationFailure&) = delete;

    // How many allocations were refused so far.
    long Refused() const;
};

// Allocations made since the program started (on every thread): a test
// counts a run with it first, then fails the same run at chosen points.
long AllocationCount();

// The largest single block asked for since the last reset.
std::size_t LargestAllocation();
void ResetLargestAllocation();

} // namespace testing_support
