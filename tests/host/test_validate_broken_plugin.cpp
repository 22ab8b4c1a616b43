// A VST 2 effect with one deliberate fault per check, to prove that the validator's checks can fail: a
// parameter name longer than any host buffer, a replacing entry that writes one frame too many, allocates,
// locks and makes a system call, an accumulating entry that leaves the divide-by-zero flag raised, a parameter
// read that leaves the rounding mode changed, an opcode that crashes, and an instance that leaks on effOpen.
#include "host/VstHostAbi.h"

#include <cfenv>
#include <csignal>
#include <cstring>
#include <mutex>
#include <unistd.h>
#include <vector>
#include <sys/syscall.h>

using namespace ql::host::vst;

namespace {

struct Broken {
    AEffect effect{};
    HostCallback host = nullptr;
    float value = 0.5f;
    std::mutex mutex;
};

Broken* Self(AEffect* e) { return static_cast<Broken*>(e->object); }

IntPtr QL_VSTCALL Dispatcher(AEffect* e, Int32 opcode, Int32 index, IntPtr, void* ptr, float) {
    switch (opcode) {
    case effOpen:
        // Never freed: a leak checker must see it.
        (void)new std::vector<int>(16, 1);
        return 0;
    case effClose:
        delete Self(e);
        return 1;
    case effGetParamName:
        if (ptr) {
            std::memset(ptr, 'n', 100);
            static_cast<char*>(ptr)[100] = '\0';
        }
        return 0;
    case effGetParamLabel:
    case effGetParamDisplay:
        if (ptr) std::strcpy(static_cast<char*>(ptr), index == 0 ? "x" : "");
        return 0;
    case effGetVu:
        __builtin_trap();
    case effGetEffectName:
    case effGetProductString:
    case effGetVendorString:
        if (ptr) std::strcpy(static_cast<char*>(ptr), "Broken");
        return 1;
    default:
        return 0;
    }
}

void QL_VSTCALL ProcessReplacing(AEffect* e, float** in, float** out, Int32 frames) {
    Broken* b = Self(e);
    std::lock_guard<std::mutex> lock(b->mutex);
    std::vector<float> scratch(static_cast<std::size_t>(frames) + 1);
    (void)syscall(SYS_getppid);
    // One frame too many, as an off-by-one loop bound would write.
    for (Int32 c = 0; c < 2; ++c)
        for (Int32 i = 0; i <= frames; ++i) out[c][i] = i < frames ? in[c][i] * b->value : 0.0f;
}

void QL_VSTCALL Process(AEffect* e, float** in, float** out, Int32 frames) {
    for (Int32 c = 0; c < 2; ++c)
        for (Int32 i = 0; i < frames; ++i) out[c][i] += in[c][i] * Self(e)->value;
    std::feraiseexcept(FE_DIVBYZERO);
}

void QL_VSTCALL SetParameter(AEffect* e, Int32 index, float value) {
    if (index == 0) Self(e)->value = value < 0 ? 0 : value > 1 ? 1 : value == value ? value : 0;
}

float QL_VSTCALL GetParameter(AEffect* e, Int32 index) {
    std::fesetround(FE_TOWARDZERO);
    return index == 0 ? Self(e)->value : 0.0f;
}

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback host) {
    if (!host) return nullptr;
    auto* b = new Broken;
    b->host = host;
    AEffect& e = b->effect;
    e.magic = kEffectMagic;
    e.dispatcher = &Dispatcher;
    e.process = &Process;
    e.processReplacing = &ProcessReplacing;
    e.setParameter = &SetParameter;
    e.getParameter = &GetParameter;
    e.numParams = 1;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing;
    e.object = b;
    e.uniqueID = FourCC('Q', 'l', 'B', 'k');
    e.version = 1;
    return &e;
}
