// A VST 2 effect with deliberate faults, to prove that each of the validator's checks can fail. Without
// QL_BROKEN_FAULT it has its usual set: a parameter name longer than any host buffer, a replacing entry that
// writes one frame too many, allocates, locks and makes a system call, an accumulating entry that leaves the
// divide-by-zero flag raised, a parameter read that leaves the rounding mode changed, an opcode that crashes
// and an instance that leaks on effOpen. With QL_BROKEN_FAULT=NAME it is a correct effect but for that one
// fault (names in kFaultNames; "none" for none at all). The editor faults (X11 builds) give it an editor that
// is correct but for that fault.
#include "host/VstHostAbi.h"

#ifdef QL_BROKEN_X11
#include <X11/Xlib.h>
#endif

#include <atomic>
#include <cfenv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

using namespace ql::host::vst;

namespace {

enum Fault : unsigned {
    kLongName = 1u << 0,               ///< effGetParamName writes 100 characters
    kPastFrames = 1u << 1,             ///< processReplacing writes sampleFrames + 1 samples
    kAllocates = 1u << 2,              ///< processReplacing allocates, locks and makes a system call
    kFlagLeft = 1u << 3,               ///< process leaves the divide-by-zero flag raised
    kRounding = 1u << 4,               ///< getParameter leaves the rounding mode toward zero
    kCrash = 1u << 5,                  ///< effGetVu traps
    kLeak = 1u << 6,                   ///< effOpen allocates and never frees
    kModifiesInput = 1u << 7,          ///< processReplacing scales its inputs
    kSubnormal = 1u << 8,              ///< processReplacing outputs subnormals
    kNaN = 1u << 9,                    ///< processReplacing outputs NaN
    kProgramRange = 1u << 10,          ///< effGetProgram replies a program that does not exist
    kParamRange = 1u << 11,            ///< getParameter reads outside 0..1
    kUnstable = 1u << 12,              ///< setting the value read reads back something else
    kUnterminated = 1u << 13,          ///< effGetEffectName fills its 32 bytes without a zero
    kWritesBefore = 1u << 14,          ///< effGetVendorString writes before its buffer
    kPinLabel = 1u << 15,              ///< effGetInputProperties fills the label without a zero
    kX87Stack = 1u << 16,              ///< processReplacing leaves a value on the x87 register stack
    kUnrestorable = 1u << 17,          ///< parameter 1 reads a per-instance value that no set changes
    kEditorLeavesWindow = 1u << 18,    ///< effEditClose leaves the editor's window in the host's
    kEditorLeaksConnection = 1u << 19, ///< each effEditOpen opens a display connection never closed
    kEditorNoRect = 1u << 20,          ///< effEditGetRect points to an empty rectangle while open
};
constexpr unsigned kEditorFaults = kEditorLeavesWindow | kEditorLeaksConnection | kEditorNoRect;

constexpr unsigned kUsualFaults =
    kLongName | kPastFrames | kAllocates | kFlagLeft | kRounding | kCrash | kLeak;

constexpr struct {
    const char* name;
    unsigned fault;
} kFaultNames[] = {{"none", 0u},
                   {"modifies-input", kModifiesInput},
                   {"subnormal", kSubnormal},
                   {"nan", kNaN},
                   {"program-range", kProgramRange},
                   {"param-range", kParamRange},
                   {"unstable", kUnstable},
                   {"unterminated", kUnterminated},
                   {"writes-before", kWritesBefore},
                   {"pin-label", kPinLabel},
                   {"x87-stack", kX87Stack},
                   {"unrestorable", kUnrestorable},
                   {"editor-leaves-window", kEditorLeavesWindow},
                   {"editor-leaks-connection", kEditorLeaksConnection},
                   {"editor-no-rect", kEditorNoRect}};

unsigned ChosenFaults() {
    const char* chosen = std::getenv("QL_BROKEN_FAULT");
    if (!chosen || !*chosen) return kUsualFaults;
    for (const auto& f : kFaultNames)
        if (std::strcmp(f.name, chosen) == 0) return f.fault;
    return kUsualFaults;
}

int gInstances = 0;

struct Broken {
    AEffect effect{};
    unsigned faults = 0;
    std::atomic<float> value[2] = {0.5f, 0.5f}; ///< set from either thread while audio plays
    float fixed = 0.0f;                         ///< parameter 1's reading when it cannot be restored
    std::mutex mutex;
    ERect rect{0, 0, 80, 160};
    ERect empty{};
#ifdef QL_BROKEN_X11
    Display* display = nullptr;
    Window window = 0;
    bool EditorOpen() const { return window != 0; }
#else
    bool EditorOpen() const { return false; }
#endif

    bool Has(unsigned f) const { return (faults & f) != 0; }
};

#ifdef QL_BROKEN_X11
/// A plain white 120 x 60 child window at (20, 10) in the host's 160 x 80, on a connection of its own.
IntPtr EditOpen(Broken* b, void* parent) {
    if (!parent) return 0;
    if (!b->display) b->display = XOpenDisplay(nullptr);
    if (!b->display) return 0;
    const auto host = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent));
    b->window = XCreateSimpleWindow(b->display, host, 20, 10, 120, 60, 0, 0, 0xFFFFFF);
    XMapWindow(b->display, b->window);
    XSync(b->display, False);
    return 1;
}

void EditClose(Broken* b) {
    if (!b->display || !b->window) return;
    if (b->Has(kEditorLeavesWindow)) { // forgets its window, which stays in the host's
        b->window = 0;
        return;
    }
    XDestroyWindow(b->display, b->window);
    XSync(b->display, False);
    b->window = 0;
    if (!b->Has(kEditorLeaksConnection)) XCloseDisplay(b->display); // the leaky one forgets it instead
    b->display = nullptr;
}
#else
IntPtr EditOpen(Broken*, void*) { return 0; }
void EditClose(Broken*) {}
#endif

Broken* Self(AEffect* e) { return static_cast<Broken*>(e->object); }

void Copy(void* ptr, const char* text) {
    if (ptr) std::strcpy(static_cast<char*>(ptr), text);
}

IntPtr QL_VSTCALL Dispatcher(AEffect* e, Int32 opcode, Int32 index, IntPtr, void* ptr, float) {
    Broken* b = Self(e);
    switch (opcode) {
    case effOpen:
        if (b->Has(kLeak)) (void)new std::vector<int>(16, 1);
        return 0;
    case effClose:
#ifdef QL_BROKEN_X11
        if (b->display) XCloseDisplay(b->display);
#endif
        delete b;
        return 1;
    case effEditGetRect:
        if (!ptr || !b->Has(kEditorFaults)) return 0;
        *static_cast<ERect**>(ptr) = b->Has(kEditorNoRect) && b->EditorOpen() ? &b->empty : &b->rect;
        return 1;
    case effEditOpen:
        return b->Has(kEditorFaults) ? EditOpen(b, ptr) : 0;
    case effEditClose:
        EditClose(b);
        return 0;
    case effGetProgram:
        return b->Has(kProgramRange) ? 5 : 0;
    case effGetParamName:
        if (ptr && b->Has(kLongName)) {
            std::memset(ptr, 'n', 100);
            static_cast<char*>(ptr)[100] = '\0';
        } else {
            Copy(ptr, index == 0 ? "Gain" : "Other");
        }
        return 0;
    case effGetParamLabel:
    case effGetParamDisplay:
        Copy(ptr, index == 0 ? "x" : "");
        return 0;
    case effGetVu:
        if (b->Has(kCrash)) __builtin_trap();
        return 0;
    case effGetEffectName:
        if (ptr && b->Has(kUnterminated))
            std::memset(ptr, 'e', 32);
        else
            Copy(ptr, "Broken");
        return 1;
    case effGetVendorString:
        if (ptr && b->Has(kWritesBefore)) static_cast<char*>(ptr)[-1] = 'v';
        Copy(ptr, "Broken");
        return 1;
    case effGetProductString:
        Copy(ptr, "Broken");
        return 1;
    case effGetInputProperties:
    case effGetOutputProperties:
        if (!ptr || index < 0 || index >= 2) return 0;
        if (b->Has(kPinLabel) && opcode == effGetInputProperties)
            std::memset(ptr, 'p', 64);
        else
            Copy(ptr, "Pin");
        return 1;
    default:
        return 0;
    }
}

void QL_VSTCALL ProcessReplacing(AEffect* e, float** in, float** out, Int32 frames) {
    Broken* b = Self(e);
    if (b->Has(kAllocates)) {
        std::lock_guard<std::mutex> lock(b->mutex);
        std::vector<float> scratch(static_cast<std::size_t>(frames) + 1);
        (void)syscall(SYS_getppid);
    }
    const Int32 end = b->Has(kPastFrames) ? frames + 1 : frames; // as an off-by-one loop bound would write
    for (Int32 c = 0; c < 2; ++c)
        for (Int32 i = 0; i < end; ++i) {
            float v = i < frames ? in[c][i] * b->value[0] : 0.0f;
            if (b->Has(kSubnormal)) v = 1e-40f;
            if (b->Has(kNaN) && i == frames / 2) v = std::numeric_limits<float>::quiet_NaN();
            if (b->Has(kModifiesInput) && in[c] != out[c] && i < frames) in[c][i] *= 0.5f;
            out[c][i] = v;
        }
#if defined(__x86_64__) || defined(__i386__)
    if (b->Has(kX87Stack)) asm volatile("fld1");
#endif
}

void QL_VSTCALL Process(AEffect* e, float** in, float** out, Int32 frames) {
    for (Int32 c = 0; c < 2; ++c)
        for (Int32 i = 0; i < frames; ++i)
            out[c][i] += in[c][i] * Self(e)->value[0];
    if (Self(e)->Has(kFlagLeft)) std::feraiseexcept(FE_DIVBYZERO);
}

void QL_VSTCALL SetParameter(AEffect* e, Int32 index, float value) {
    if (index < 0 || index > 1) return;
    Self(e)->value[index] = value < 0 ? 0 : value > 1 ? 1 : value == value ? value : 0;
}

float QL_VSTCALL GetParameter(AEffect* e, Int32 index) {
    Broken* b = Self(e);
    if (b->Has(kRounding)) std::fesetround(FE_TOWARDZERO);
    if (index < 0 || index > 1) return 0.0f;
    if (index == 1 && b->Has(kUnrestorable)) return b->fixed;
    float v = b->value[index];
    if (b->Has(kParamRange)) return v + 1.5f;
    if (b->Has(kUnstable)) return v > 0.5f ? v - 0.125f : v + 0.125f;
    return v;
}

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback host) {
    if (!host) return nullptr;
    auto* b = new Broken;
    b->faults = ChosenFaults();
    b->fixed = static_cast<float>(++gInstances % 7) / 8.0f;
    AEffect& e = b->effect;
    e.magic = kEffectMagic;
    e.dispatcher = &Dispatcher;
    e.process = &Process;
    e.processReplacing = &ProcessReplacing;
    e.setParameter = &SetParameter;
    e.getParameter = &GetParameter;
    e.numParams = 2;
    e.numPrograms = 1;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | (b->Has(kEditorFaults) ? effFlagsHasEditor : 0);
    e.object = b;
    e.uniqueID = FourCC('Q', 'l', 'B', 'k');
    e.version = 1;
    return &e;
}
