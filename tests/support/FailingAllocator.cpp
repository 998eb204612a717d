#include "FailingAllocator.h"
#include <windows.h>
#include <malloc.h>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> g_armed{false};
std::atomic<bool> g_every{false};
std::atomic<long> g_left{0};
std::atomic<long> g_refused{0};
std::atomic<long> g_count{0};
std::atomic<std::size_t> g_minSize{0};
std::atomic<std::size_t> g_maxSize{0};
std::atomic<std::size_t> g_largest{0};
std::atomic<long long> g_inUse{0};
std::atomic<std::size_t> g_watchMin{0};
std::atomic<long> g_watchCount{0};
const long kWatched = 16;
std::atomic<std::size_t> g_watched[kWatched];
const int kSpared = 4;
std::atomic<DWORD> g_spared[kSpared];

bool IsSpared()
{
    const DWORD self = GetCurrentThreadId();
    for (const auto& spared : g_spared)
        if (spared.load() == self)
            return true;
    return false;
}

void* Allocate(std::size_t size)
{
    g_count.fetch_add(1, std::memory_order_relaxed);
    std::size_t largest = g_largest.load(std::memory_order_relaxed);
    while (size > largest && !g_largest.compare_exchange_weak(largest, size, std::memory_order_relaxed)) {
    }
    const std::size_t watchMin = g_watchMin.load(std::memory_order_relaxed);
    if (watchMin && size >= watchMin) {
        const long at = g_watchCount.fetch_add(1);
        if (at < kWatched)
            g_watched[at] = size;
    }
    if (g_armed.load() && size >= g_minSize.load() && size <= g_maxSize.load() && !IsSpared()) {
        const long left = g_left.fetch_sub(1);
        if (left == 0 || (left < 0 && g_every.load())) {
            g_refused.fetch_add(1);
            throw std::bad_alloc();
        }
    }
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    g_inUse.fetch_add((long long)_msize(p), std::memory_order_relaxed);
    return p;
}

void Free(void* p)
{
    if (!p)
        return;
    g_inUse.fetch_sub((long long)_msize(p), std::memory_order_relaxed);
    std::free(p);
}
} // namespace

namespace testing_support {

CAllocationFailure::CAllocationFailure(long after, std::size_t minSize, bool every, std::size_t maxSize)
{
    for (auto& spared : g_spared)
        spared = 0;
    g_refused = 0;
    g_left = after;
    g_minSize = minSize;
    g_maxSize = maxSize;
    g_every = every;
    g_armed = true;
}

CAllocationFailure::~CAllocationFailure()
{
    g_armed = false;
    for (auto& spared : g_spared)
        spared = 0;
}

long CAllocationFailure::Refused() const
{
    return g_refused.load();
}

void CAllocationFailure::SpareThread(unsigned long threadId)
{
    for (auto& spared : g_spared) {
        DWORD free = 0;
        if (spared.load() == threadId || spared.compare_exchange_strong(free, threadId))
            return;
    }
}

long AllocationCount()
{
    return g_count.load();
}

std::size_t LargestAllocation()
{
    return g_largest.load();
}

void ResetLargestAllocation()
{
    g_largest = 0;
}

long long BytesInUse()
{
    return g_inUse.load();
}

void WatchBlocks(std::size_t minSize)
{
    g_watchMin = 0;
    if (minSize) {
        g_watchCount = 0;
        g_watchMin = minSize;
    }
}

std::vector<std::size_t> WatchedBlocks()
{
    long n = g_watchCount.load();
    std::vector<std::size_t> sizes;
    for (long i = 0; i < n && i < kWatched; ++i)
        sizes.push_back(g_watched[i].load());
    return sizes;
}

} // namespace testing_support

// GCC takes malloc and free for a pair apart from new and delete; here
// they are the pair that new and delete are made of.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    return Allocate(size);
}
void* operator new[](std::size_t size)
{
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept
{
    Free(p);
}
void operator delete[](void* p) noexcept
{
    Free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    Free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    Free(p);
}
