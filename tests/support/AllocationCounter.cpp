#include "AllocationCounter.h"

#include "platform/os/RealtimeThread.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELORAN_ALLOC_HOOKS 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELORAN_ALLOC_HOOKS 1
#endif
#endif

namespace {

std::atomic<bool> g_active{false};
std::atomic<std::uint64_t> g_count{0};
thread_local bool t_owner = false;
thread_local int t_paused = 0;

void noteAllocation()
{
    if (!g_active.load(std::memory_order_relaxed) || t_paused > 0)
        return;
    if (t_owner || os::RealtimeThreadScope::inRealtimeScope())
        g_count.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

#ifdef VELORAN_ALLOC_HOOKS
// The sanitizer owns malloc; its hooks see every allocation, C++ included.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                          void (*free_hook)(const volatile void*));
namespace {
void mallocHook(const volatile void*, std::size_t)
{
    noteAllocation();
}
void freeHook(const volatile void*) {}
[[maybe_unused]] const int g_hooksInstalled = __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
} // namespace
#else
// glibc's own entry points stay reachable under these names; operator new
// and C libraries reach the definitions below through the dynamic linker.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size)
{
    noteAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    noteAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* p, std::size_t size)
{
    noteAllocation();
    return __libc_realloc(p, size);
}

void free(void* p)
{
    __libc_free(p);
}
}
#endif

AllocationCounter::AllocationCounter()
{
    t_owner = true;
    g_count.store(0, std::memory_order_relaxed);
    g_active.store(true, std::memory_order_seq_cst);
}

AllocationCounter::~AllocationCounter()
{
    g_active.store(false, std::memory_order_seq_cst);
    t_owner = false;
}

std::uint64_t AllocationCounter::count() const
{
    return g_count.load(std::memory_order_relaxed);
}

AllocationCounter::Paused::Paused()
{
    ++t_paused;
}

AllocationCounter::Paused::~Paused()
{
    --t_paused;
}
