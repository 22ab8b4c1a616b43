// Systems that cannot forbid a thread its system calls: the check is reported as unavailable.
#include "host/rtcheck/RtCheck.h"

namespace ql::host::rtcheck {

void RawWrite(int, const void*, std::size_t) noexcept {}

GuardedRun RunWithoutSystemCalls(void (*)(void*, int), void*) {
    GuardedRun run;
    run.detail = "this system cannot forbid a thread its system calls";
    return run;
}

} // namespace ql::host::rtcheck
