// Per-thread counters of the real-time checks and the test that tells whether the interposer is reached.
#include "host/rtcheck/RtCheck.h"

#include <atomic>

#if defined(__has_include)
#if __has_include(<dlfcn.h>)
#include <dlfcn.h>
#define QL_RTCHECK_HAS_DLSYM 1
#endif
#endif

namespace ql::host::rtcheck {
namespace {

// Plain thread-locals of the executable: reading them needs no allocation, so the interposer may use them.
thread_local bool tInside = false;
thread_local Counts tCounts;
std::atomic<void*> gInterposerMalloc{nullptr};

} // namespace

void MarkInterposerPresent(void* ownMalloc) noexcept {
    gInterposerMalloc.store(ownMalloc, std::memory_order_relaxed);
}

bool CountingAvailable() noexcept { return CountingUnavailableReason().empty(); }

std::string CountingUnavailableReason() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return "the sanitizer owns the allocator and the lock functions, so they are not counted in this build";
#else
    void* own = gInterposerMalloc.load(std::memory_order_relaxed);
    if (!own) return "this executable does not carry the heap and lock interposer";
#if defined(QL_RTCHECK_HAS_DLSYM)
    // What a plug-in's own lookups find: the executable's functions, or someone else's (a tool that replaces
    // the allocator, such as a memory checker, wins over the executable).
    if (dlsym(RTLD_DEFAULT, "malloc") != own)
        return "the heap functions a plug-in finds are not the interposer's";
#endif
    return {};
#endif
}

void EnterAudioCall() noexcept { tInside = true; }
void LeaveAudioCall() noexcept { tInside = false; }
Counts ThreadCounts() noexcept { return tCounts; }
void ResetThreadCounts() noexcept { tCounts = Counts{}; }

void CountAllocation() noexcept {
    if (tInside) ++tCounts.allocations;
}
void CountFree() noexcept {
    if (tInside) ++tCounts.frees;
}
void CountLock() noexcept {
    if (tInside) ++tCounts.locks;
}

} // namespace ql::host::rtcheck
