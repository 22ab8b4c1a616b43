// A small VST 2 effect for the host's tests: gain on two channels, two parameters, two programs, and a few
// deliberate oddities (a text that overruns its buffer, an entry point that returns a bad record, and a
// delay of QL_FIXTURE_DELAY frames when that variable is set, to test a host's delay compensation).
#include "host/VstHostAbi.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace ql::host::vst;

#if defined(_WIN32)
#define FIXTURE_EXPORT extern "C" __declspec(dllexport)
#else
#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr Int32 kParams = 2;
constexpr Int32 kPrograms = 2;
/// effGetParamName for this index writes a name longer than any host buffer's usual size.
constexpr Int32 kLongNameIndex = 9;
constexpr std::size_t kLongNameLength = 300;

struct Fixture {
    AEffect effect{};
    HostCallback host = nullptr;
    float params[kParams] = {0.5f, 1.0f};
    Int32 program = 0;
    char programNames[kPrograms][32] = {"First", "Second"};
    float sampleRate = 44100.0f;
    Int32 blockSize = 1024;
    std::vector<float> delayLine[2]; ///< empty without a delay
    std::size_t delayPos = 0;
    ERect editorRect{};
    bool editorOpen = false;

    IntPtr Ask(Int32 opcode, Int32 index = 0, IntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return host ? host(&effect, opcode, index, value, ptr, opt) : 0;
    }
    float Gain() const { return params[0] * 2.0f; }
};

Fixture* Self(AEffect* e) { return static_cast<Fixture*>(e->object); }

void Copy(void* ptr, const char* text) {
    if (ptr) std::strcpy(static_cast<char*>(ptr), text);
}

IntPtr QL_VSTCALL Dispatcher(AEffect* e, Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt) {
    Fixture* f = Self(e);
    switch (opcode) {
    case effClose:
        delete f;
        return 1;
    case effSetProgram:
        if (value >= 0 && value < kPrograms) f->program = static_cast<Int32>(value);
        return 0;
    case effGetProgram:
        return f->program;
    case effSetProgramName:
        if (ptr) std::snprintf(f->programNames[f->program], 32, "%s", static_cast<const char*>(ptr));
        return 0;
    case effGetProgramName:
        Copy(ptr, f->programNames[f->program]);
        return 0;
    case effGetProgramNameIndexed:
        if (index < 0 || index >= kPrograms) return 0;
        Copy(ptr, f->programNames[index]);
        return 1;
    case effGetParamName:
        if (index == kLongNameIndex && ptr) {
            std::memset(ptr, 'x', kLongNameLength);
            static_cast<char*>(ptr)[kLongNameLength] = '\0';
            return 0;
        }
        Copy(ptr, index == 0 ? "Gain" : index == 1 ? "Mix" : "undefined");
        return 0;
    case effGetParamLabel:
        Copy(ptr, index == 0 ? "x" : index == 1 ? "%" : "undefined");
        return 0;
    case effGetParamDisplay:
        if (ptr && index >= 0 && index < kParams)
            std::snprintf(static_cast<char*>(ptr), 16, "%g", static_cast<double>(f->params[index]));
        return 0;
    case effString2Parameter:
        if (!ptr || index < 0 || index >= kParams) return 0;
        {
            char* end = nullptr;
            float v = std::strtof(static_cast<const char*>(ptr), &end);
            if (end == ptr) return 0;
            f->params[index] = v;
            f->Ask(audioMasterAutomate, index, 0, nullptr, v);
        }
        return 1;
    case effCanBeAutomated:
        return index >= 0 && index < kParams ? 1 : 0;
    case effSetSampleRate:
        f->sampleRate = opt;
        return 0;
    case effSetBlockSize:
        f->blockSize = static_cast<Int32>(value);
        return 0;
    case effMainsChanged:
        if (value) f->Ask(audioMasterWantMidi, 0, 1);
        return 0;
    case effGetInputProperties:
    case effGetOutputProperties: {
        if (!ptr || index < 0 || index >= 2) return 0;
        auto* pin = static_cast<VstPinProperties*>(ptr);
        bool input = opcode == effGetInputProperties;
        std::snprintf(pin->label, sizeof pin->label, "%s %d", input ? "In" : "Out", index + 1);
        std::snprintf(pin->shortLabel, sizeof pin->shortLabel, "%c%d", input ? 'I' : 'O', index + 1);
        pin->flags = kVstPinIsActive | kVstPinIsStereo;
        return 1;
    }
    case effGetPlugCategory:
        return kPlugCategEffect;
    case effGetEffectName:
        Copy(ptr, "Fixture Gain");
        return 1;
    case effGetVendorString:
        Copy(ptr, "Quantilaw Tests");
        return 1;
    case effGetProductString:
        Copy(ptr, "Fixture");
        return 1;
    case effGetVendorVersion:
        return 7;
    case effCanDo:
        if (ptr && std::strcmp(static_cast<const char*>(ptr), "receiveVstTimeInfo") == 0) return 1;
        if (ptr && std::strcmp(static_cast<const char*>(ptr), "2in2out") == 0) return 1;
        return 0;
    case effGetVstVersion:
        return 2400;
    case effEditGetRect:
        // Like most plug-ins it points to its rectangle whether or not the editor is open.
        if (ptr) *static_cast<ERect**>(ptr) = &f->editorRect;
        return f->editorOpen ? 1 : 0;
    case effEditOpen:
        f->editorOpen = ptr != nullptr;
        if (f->editorOpen) f->editorRect = ERect{0, 0, 120, 300};
        return f->editorOpen ? 1 : 0;
    case effEditClose:
        f->editorOpen = false;
        return 0;
    case effStartProcess:
    case effStopProcess:
        return 1;
    default:
        return 0;
    }
}

void Block(AEffect* e, float** in, float** out, Int32 frames, bool accumulate) {
    Fixture* f = Self(e);
    // A tempo-synced effect asks for the tempo and the time on every block, from the audio thread.
    f->Ask(audioMasterTempoAt);
    const auto* time = reinterpret_cast<const VstTimeInfo*>(f->Ask(audioMasterGetTime, 0, kVstTempoValid));
    float gain = f->Gain();
    if (time && time->tempo <= 0.0) gain = 0.0f;
    const std::size_t delay = f->delayLine[0].size();
    for (Int32 i = 0; i < frames; ++i) {
        for (Int32 c = 0; c < 2; ++c) {
            float v = in[c][i] * gain;
            if (delay) std::swap(v, f->delayLine[c][f->delayPos]);
            out[c][i] = accumulate ? out[c][i] + v : v;
        }
        if (delay) f->delayPos = (f->delayPos + 1) % delay;
    }
}

void QL_VSTCALL ProcessReplacing(AEffect* e, float** in, float** out, Int32 frames) {
    Block(e, in, out, frames, false);
}
void QL_VSTCALL ProcessAccumulating(AEffect* e, float** in, float** out, Int32 frames) {
    Block(e, in, out, frames, true);
}

void QL_VSTCALL SetParameter(AEffect* e, Int32 index, float value) {
    if (index < 0 || index >= kParams) return;
    Self(e)->params[index] = value;
    Self(e)->Ask(audioMasterAutomate, index, 0, nullptr, value);
}

float QL_VSTCALL GetParameter(AEffect* e, Int32 index) {
    return index >= 0 && index < kParams ? Self(e)->params[index] : 0.0f;
}

[[maybe_unused]] AEffect* Create(HostCallback host) {
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* f = new Fixture;
    f->host = host;
    AEffect& e = f->effect;
    e.magic = kEffectMagic;
    e.dispatcher = &Dispatcher;
    e.process = &ProcessAccumulating;
    e.processReplacing = &ProcessReplacing;
    e.setParameter = &SetParameter;
    e.getParameter = &GetParameter;
    e.numPrograms = kPrograms;
    e.numParams = kParams;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | effFlagsCanMono | effFlagsHasEditor;
    e.ioRatio = 1.0f;
    e.object = f;
    e.user = f;
    e.uniqueID = FourCC('Q', 'l', 'F', 'x');
    if (const char* delay = std::getenv("QL_FIXTURE_DELAY")) {
        e.initialDelay = std::atoi(delay);
        if (e.initialDelay > 0)
            for (auto& line : f->delayLine)
                line.assign(static_cast<std::size_t>(e.initialDelay), 0.0f);
    }
    e.version = 3;
    return &e;
}

} // namespace

#if defined(FIXTURE_ENTRY_MAIN)
// Older plug-ins export their entry point as `main`, which C++ reserves for programs, so name it by symbol.
FIXTURE_EXPORT AEffect* FixtureMain(HostCallback host) __asm__("main");
FIXTURE_EXPORT AEffect* FixtureMain(HostCallback host) { return Create(host); }
#elif defined(FIXTURE_ENTRY_NONE)
FIXTURE_EXPORT int FixtureNotAnEntry() { return 0; }
#else
FIXTURE_EXPORT AEffect* VSTPluginMain(HostCallback host) { return Create(host); }
/// Returns a record that is not a plug-in's, as a broken library might; the host must leave it alone.
FIXTURE_EXPORT AEffect* BadMagicMain(HostCallback) {
    static AEffect notAPlugin{};
    notAPlugin.magic = FourCC('N', 'o', 'p', 'e');
    return &notAPlugin;
}
#endif
