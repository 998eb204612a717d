// Allocation failure on demand, for the tests of what the program does when
// memory runs out. A test program that wants it adds FailingAllocator.cpp to
// its sources: that file replaces the global operator new and delete of the
// whole program (every thread), so nothing else may replace them.
#pragma once
#include <cstddef>
#include <vector>

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
    // Allocations on that thread (a test's own driver or UI thread) are
    // never refused and do not count towards `after`; up to four threads.
    void SpareThread(unsigned long threadId);
};

// Allocations made since the program started (on every thread): a test
// counts a run with it first, then fails the same run at chosen points.
long AllocationCount();

// The largest single block asked for since the last reset.
std::size_t LargestAllocation();
void ResetLargestAllocation();

// The bytes of the blocks allocated and not yet freed (on every thread).
long long BytesInUse();

// From now on the sizes of the blocks of at least minSize bytes asked for
// are kept, in asking order (the first sixteen); a minSize of 0 stops the
// watch and keeps what it saw for WatchedBlocks.
void WatchBlocks(std::size_t minSize);
std::vector<std::size_t> WatchedBlocks();

} // namespace testing_support
