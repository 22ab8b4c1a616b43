// Real-time checks for the audio entries: counts of heap and lock calls a thread makes while it is inside
// one, and a run of audio calls in a child process that may make no system call but read, write and exit.
#pragma once

#include <cstdint>
#include <string>

namespace ql::host::rtcheck {

/// What one thread did while it was marked as being inside an audio entry.
struct Counts {
    std::uint64_t allocations = 0; ///< malloc, calloc, realloc, aligned allocation, operator new
    std::uint64_t frees = 0;       ///< free and operator delete of a non-null pointer
    std::uint64_t locks = 0; ///< mutex, read-write lock, spin lock and semaphore waits (also the try forms)

    bool Clean() const noexcept { return allocations == 0 && frees == 0 && locks == 0; }
};

/// Whether this process counts heap and lock calls: true only when the executable carries the interposer and
/// the names a plug-in looks up really reach it (not under sanitizers, which own the allocator).
bool CountingAvailable() noexcept;
/// Why counting is not available (empty when it is).
std::string CountingUnavailableReason();

/// Marks the calling thread as inside an audio entry (counting starts) or outside it (counting stops).
/// Nesting is not supported: the audio entries are called one at a time.
void EnterAudioCall() noexcept;
void LeaveAudioCall() noexcept;
/// What the calling thread did inside audio entries since the last Reset.
Counts ThreadCounts() noexcept;
void ResetThreadCounts() noexcept;

/// Counts one call of the interposer for the calling thread, when it is inside an audio entry. Used by the
/// interposer only; cheap and allocation-free.
void CountAllocation() noexcept;
void CountFree() noexcept;
void CountLock() noexcept;
/// Called by the interposer when it is linked into the executable, with the address of its own malloc.
void MarkInterposerPresent(void* ownMalloc) noexcept;

// ---------------------------------------------------------------------------------------------------------
// Runs without system calls

/// How a run in a child process without system calls ended.
struct GuardedRun {
    bool available = false; ///< false: this system cannot forbid system calls (detail says why)
    bool completed = false; ///< the work ran to its end
    int signal = 0;         ///< the signal that ended the child, 0 when none
    std::string output;     ///< the bytes the work wrote to its descriptor
    std::string detail;     ///< a short explanation when not completed
};

/// Forks a child whose only thread forbids itself every system call but read, write and exit, then calls
/// work(context, fd): the work may write progress bytes to fd with a raw write(). A forbidden call kills the
/// child with SIGKILL; the caller sees it in signal. The work must not allocate, print or return through
/// anything that could make a system call; the child leaves through the exit call itself.
GuardedRun RunWithoutSystemCalls(void (*work)(void* context, int fd), void* context);

/// Writes bytes to fd with the raw system call, for use inside such work.
void RawWrite(int fd, const void* data, std::size_t size) noexcept;

} // namespace ql::host::rtcheck
