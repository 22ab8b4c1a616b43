// CPUID, the FPU probe and the SSE probe on the executing x86 processor (32 and 64 bit).
#include "shell/CPU.h"

#include <cpuid.h>

namespace ql::vst {

namespace {
class TNativeCPUID final : public TCPUIDSource {
  public:
    bool HasCPUID() override {
        // Toggles the ID flag where that is needed (32-bit); always true on x86-64.
        return __get_cpuid_max(0, nullptr) != 0;
    }
    TCPUIDResult Query(uint32_t leaf) override {
        TCPUIDResult r;
        __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
        return r;
    }
    bool ProbeFPU() override {
        unsigned short status = 0x5A5A, control = 0;
        __asm__ volatile("fninit\n\tfnstsw %0\n\tfnstcw %1" : "=m"(status), "=m"(control));
        return status == 0 && (control & 0x103F) == 0x3F;
    }
    // 32-bit builds target processors without SSE, so the probe alone is compiled for it.
    __attribute__((target("sse"))) bool TrySSE() override {
        // Every operating system we run on saves SSE state; the instruction runs or the
        // process would not have got this far on an SSE-capable build.
        __asm__ volatile("andps %%xmm0, %%xmm0" ::: "xmm0");
        return true;
    }
};
} // namespace

TCPUIDSource& NativeCPUID() {
    static TNativeCPUID source;
    return source;
}

} // namespace ql::vst
