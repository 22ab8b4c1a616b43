// Answers to a plug-in's requests, and the table that tells the callback which Host a plug-in belongs to.
#include "host/Host.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ql::host {
namespace {

/// The effects the callback knows. Looked up from the audio thread, so a fixed table of atomics.
struct Binding {
    std::atomic<const vst::AEffect*> effect{nullptr};
    std::atomic<Host*> host{nullptr};
};
constexpr std::size_t kBindings = 256;
std::array<Binding, kBindings> gBindings;
std::atomic<Host*> gLastHost{nullptr};
thread_local Host* tLoadingHost = nullptr;

Host* FindHost(const vst::AEffect* effect) noexcept {
    if (effect) {
        for (Binding& b : gBindings)
            if (b.effect.load(std::memory_order_acquire) == effect) {
                if (Host* host = b.host.load(std::memory_order_acquire)) return host;
            }
    }
    if (tLoadingHost) return tLoadingHost;
    return gLastHost.load(std::memory_order_acquire);
}

/// Copies text into a host-request buffer of the size the standard gives it.
void CopyText(void* ptr, const char* text, std::size_t capacity) noexcept {
    if (!ptr || capacity == 0) return;
    std::size_t n = std::min(std::strlen(text), capacity - 1);
    std::memcpy(ptr, text, n);
    static_cast<char*>(ptr)[n] = '\0';
}

} // namespace

Host::Host() {
    fTime.sampleRate = 44100.0;
    fTime.tempo = kTempo;
    fTime.timeSigNumerator = 4;
    fTime.timeSigDenominator = 4;
    fTime.flags = vst::kVstTempoValid | vst::kVstPpqPosValid | vst::kVstTimeSigValid | vst::kVstBarsValid;
}

Host::~Host() {
    for (Binding& b : gBindings)
        if (b.host.load(std::memory_order_acquire) == this) {
            b.host.store(nullptr, std::memory_order_release);
            b.effect.store(nullptr, std::memory_order_release);
        }
    Host* self = this;
    gLastHost.compare_exchange_strong(self, nullptr);
    if (tLoadingHost == this) tLoadingHost = nullptr;
}

vst::IntPtr QL_VSTCALL Host::Callback(vst::AEffect* effect, vst::Int32 opcode, vst::Int32 index,
                                      vst::IntPtr value, void* ptr, float opt) {
    Host* host = FindHost(effect);
    if (!host) return opcode == vst::audioMasterVersion ? kVersion : 0;
    return host->Handle(effect, opcode, index, value, ptr, opt);
}

vst::IntPtr Host::Handle(vst::AEffect* effect, vst::Int32 opcode, vst::Int32 index, vst::IntPtr value,
                         void* ptr, float opt) noexcept {
    Request r;
    r.effect = effect;
    r.opcode = opcode;
    r.index = index;
    r.value = value;
    r.opt = opt;
    r.hasPtr = ptr != nullptr;
    r.thread = std::this_thread::get_id();
    if (opcode == vst::audioMasterCanDo && ptr) {
        const char* text = static_cast<const char*>(ptr);
        std::size_t n = 0;
        while (n < sizeof r.text - 1 && text[n])
            ++n;
        std::memcpy(r.text, text, n);
    }
    if (opcode == vst::audioMasterProcessEvents && ptr)
        r.events = static_cast<const vst::VstEvents*>(ptr)->numEvents;
    fLog.Append(r);

    if (opcode >= 0 && opcode < vst::kHostOpcodeCount && fOverridden[opcode].load(std::memory_order_acquire))
        return fReplies[opcode].load(std::memory_order_relaxed);
    return Answer(effect, opcode, index, value, ptr, opt);
}

vst::IntPtr Host::Answer(vst::AEffect*, vst::Int32 opcode, vst::Int32, vst::IntPtr, void* ptr,
                         float) noexcept {
    using namespace vst;
    switch (opcode) {
    case audioMasterVersion:
        return kVersion;
    case audioMasterGetTime:
        return reinterpret_cast<IntPtr>(&fTime);
    case audioMasterProcessEvents:
        return 1;
    case audioMasterTempoAt:
        return static_cast<IntPtr>(fTime.tempo * 10000.0);
    case audioMasterGetSampleRate:
        return static_cast<IntPtr>(fTime.sampleRate);
    case audioMasterGetBlockSize:
        return fBlockSize;
    case audioMasterGetVendorString:
        CopyText(ptr, kVendor, kVstMaxVendorStrLen);
        return ptr ? 1 : 0;
    case audioMasterGetProductString:
        CopyText(ptr, kProduct, kVstMaxProductStrLen);
        return ptr ? 1 : 0;
    case audioMasterGetVendorVersion:
        return kVendorVersion;
    case audioMasterCanDo:
        return CanDo(static_cast<const char*>(ptr));
    default:
        return 0;
    }
}

vst::IntPtr Host::CanDo(const char* text) noexcept {
    if (!text) return 0;
    static constexpr const char* kYes[] = {"sendVstEvents",    "sendVstMidiEvent",    "sendVstTimeInfo",
                                           "receiveVstEvents", "receiveVstMidiEvent", "startStopProcess"};
    static constexpr const char* kNo[] = {"receiveVstTimeInfo",
                                          "reportConnectionChanges",
                                          "acceptIOChanges",
                                          "sizeWindow",
                                          "offline",
                                          "openFileSelector",
                                          "closeFileSelector",
                                          "supplyIdle",
                                          "supportShell",
                                          "shellCategory",
                                          "editFile",
                                          "asyncProcessing",
                                          "sendVstMidiEventFlagIsRealtime"};
    for (const char* t : kYes)
        if (std::strcmp(t, text) == 0) return 1;
    for (const char* t : kNo)
        if (std::strcmp(t, text) == 0) return -1;
    return 0;
}

void Host::SetReply(vst::Int32 opcode, vst::IntPtr reply) {
    if (opcode < 0 || opcode >= vst::kHostOpcodeCount) return;
    fReplies[opcode].store(reply, std::memory_order_relaxed);
    fOverridden[opcode].store(true, std::memory_order_release);
}

void Host::ClearReplies() {
    for (auto& o : fOverridden)
        o.store(false, std::memory_order_release);
}

void Host::SetSampleRate(double rate) noexcept { fTime.sampleRate = rate; }

void Host::AdvanceTime(vst::Int32 frames) noexcept {
    if (frames <= 0) return;
    fTime.samplePos += frames;
    double seconds = fTime.sampleRate > 0 ? fTime.samplePos / fTime.sampleRate : 0.0;
    fTime.ppqPos = seconds * fTime.tempo / 60.0;
    fTime.barStartPos = fTime.ppqPos - std::fmod(fTime.ppqPos, 4.0);
    fTime.nanoSeconds = seconds * 1e9;
}

void Host::SetPlaying(bool playing) noexcept {
    fTime.flags = (fTime.flags & ~vst::kVstTransportPlaying) | (playing ? vst::kVstTransportPlaying : 0);
}

void Host::Register(const vst::AEffect* effect, Host* host) noexcept {
    if (!effect || !host) return;
    gLastHost.store(host, std::memory_order_release);
    for (Binding& b : gBindings)
        if (b.effect.load(std::memory_order_acquire) == effect) {
            b.host.store(host, std::memory_order_release);
            return;
        }
    for (Binding& b : gBindings) {
        const vst::AEffect* expected = nullptr;
        if (b.effect.compare_exchange_strong(expected, effect, std::memory_order_acq_rel)) {
            b.host.store(host, std::memory_order_release);
            return;
        }
    }
    // The table is full: requests from this effect reach the most recently registered Host instead.
}

void Host::Unregister(const vst::AEffect* effect) noexcept {
    if (!effect) return;
    for (Binding& b : gBindings)
        if (b.effect.load(std::memory_order_acquire) == effect) {
            b.host.store(nullptr, std::memory_order_release);
            b.effect.store(nullptr, std::memory_order_release);
        }
}

void Host::SetLoading(Host* host) noexcept { tLoadingHost = host; }

} // namespace ql::host
