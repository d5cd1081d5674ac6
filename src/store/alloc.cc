#include "store/alloc.h"

#include <atomic>
#include <cstdlib>

#include "store/alloc_internal.h"

namespace kvs {
namespace {

std::atomic<bool> g_armed{false};
std::atomic<std::uint64_t> g_seen{0};
std::atomic<std::uint64_t> g_fail_at{0};
std::atomic<bool> g_persistent{false};
// Blocks obtained and not yet released, counted only while a test asks.
std::atomic<bool> g_counting{false};
std::atomic<std::int64_t> g_live{0};

inline void counted(std::int64_t delta)
{
    if (g_counting.load(std::memory_order_relaxed)) g_live.fetch_add(delta, std::memory_order_relaxed);
}

// True when this allocation is to fail. Costs one relaxed load when disarmed.
bool should_fail()
{
    if (!g_armed.load(std::memory_order_relaxed)) return false;
    std::uint64_t n = g_seen.fetch_add(1, std::memory_order_relaxed) + 1;
    std::uint64_t at = g_fail_at.load(std::memory_order_relaxed);
    if (at == 0) return false;
    return n == at || (n > at && g_persistent.load(std::memory_order_relaxed));
}

}  // namespace

void *mem_malloc(std::size_t size)
{
    void *p = should_fail() ? nullptr : std::malloc(size);
    if (p != nullptr) counted(1);
    return p;
}

void *mem_calloc(std::size_t count, std::size_t size)
{
    void *p = should_fail() ? nullptr : std::calloc(count, size);
    if (p != nullptr) counted(1);
    return p;
}

void *mem_realloc(void *block, std::size_t size)
{
    void *p = should_fail() ? nullptr : std::realloc(block, size);
    if (block == nullptr && p != nullptr) counted(1);
    return p;
}

void mem_free(void *block)
{
    if (block != nullptr) counted(-1);
    std::free(block);
}

namespace test {

void fail_allocation(std::uint64_t nth, FailMode mode)
{
    g_armed.store(false);
    g_seen.store(0);
    g_fail_at.store(nth);
    g_persistent.store(mode == FailMode::FromThenOn);
    g_armed.store(true);
}

std::uint64_t disarm_allocation_failures()
{
    g_armed.store(false);
    g_fail_at.store(0);
    return g_seen.load();
}

std::uint64_t allocations_seen() { return g_seen.load(); }

void count_live_blocks(bool on)
{
    g_live.store(0);
    g_counting.store(on);
}

std::int64_t live_blocks() { return g_live.load(); }

}  // namespace test
}  // namespace kvs
