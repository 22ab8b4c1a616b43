// Loading a plug-in library, creating an instance through its entry point, and the typed requests.
#include "host/Plugin.h"

#include <cstdio>
#include <cstring>

namespace ql::host {
namespace {

/// A text argument for the plug-in: a writable, zero-terminated copy, since the contract passes void*.
std::vector<char> TextArgument(const std::string& text) {
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    return copy;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// PluginLibrary

std::shared_ptr<PluginLibrary> PluginLibrary::Load(const std::string& path, const std::string& entry) {
    std::string error;
    auto library = platform::DynamicLibrary::Open(path, error);
    if (!library) throw HostError("cannot load " + path + ": " + error);

    std::shared_ptr<PluginLibrary> result(new PluginLibrary);
    if (!entry.empty()) {
        result->fEntry = reinterpret_cast<vst::EntryProc>(library->Symbol(entry.c_str()));
        result->fEntryName = entry;
    } else {
        for (const char* name : kEntryNames) {
            if (void* address = library->Symbol(name)) {
                result->fEntry = reinterpret_cast<vst::EntryProc>(address);
                result->fEntryName = name;
                break;
            }
        }
    }
    if (!result->fEntry) {
        std::string names = entry.empty() ? std::string(kEntryNames[0]) + " or " + kEntryNames[1] : entry;
        throw HostError(path + " is not a VST 2 plug-in: it exports no entry point " + names);
    }
    result->fLibrary = std::move(library);
    result->fPath = path;
    return result;
}

// ---------------------------------------------------------------------------------------------------------
// Creation and closing

Plugin::Plugin(std::shared_ptr<PluginLibrary> library, std::shared_ptr<Host> host, vst::AEffect* effect)
    : fLibrary(std::move(library)), fHost(std::move(host)), fEffect(effect) {}

std::unique_ptr<Plugin> Plugin::Create(std::shared_ptr<PluginLibrary> library, std::shared_ptr<Host> host) {
    if (!library) throw HostError("no plug-in library");
    if (!host) host = std::make_shared<Host>();
    vst::AEffect* effect = nullptr;
    {
        // Requests made inside the entry point carry no record yet; this tells the callback whose they are.
        struct Loading {
            explicit Loading(Host* h) { Host::SetLoading(h); }
            ~Loading() { Host::SetLoading(nullptr); }
        } loading(host.get());
        effect = library->Entry()(&Host::Callback);
    }
    if (!effect)
        throw HostError(library->Path() + ": the entry point " + library->EntryName() +
                        " returned no plug-in");
    if (effect->magic != vst::kEffectMagic) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(effect->magic));
        // A record without the magic may be anything; sending it effClose could do harm, so it is left alone.
        throw HostError(library->Path() + ": the entry point returned a record without the VST 2 magic (" +
                        hex + ")");
    }
    if (!effect->dispatcher) throw HostError(library->Path() + ": the plug-in record has no dispatcher");
    Host::Register(effect, host.get());
    return std::unique_ptr<Plugin>(new Plugin(std::move(library), std::move(host), effect));
}

std::unique_ptr<Plugin> Plugin::Load(const std::string& path, std::shared_ptr<Host> host) {
    return Create(PluginLibrary::Load(path), std::move(host));
}

Plugin::~Plugin() {
    if (fEffect) Close();
}

vst::IntPtr Plugin::Close() {
    if (!fEffect) return 0;
    vst::AEffect* effect = fEffect;
    vst::IntPtr reply = effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    fEffect = nullptr;
    Host::Unregister(effect);
    return reply;
}

vst::AEffect& Plugin::Effect() const {
    if (!fEffect) throw HostError("the plug-in is closed");
    return *fEffect;
}

// ---------------------------------------------------------------------------------------------------------
// Dispatcher

vst::IntPtr Plugin::Dispatch(vst::Int32 opcode, vst::Int32 index, vst::IntPtr value, void* ptr,
                             float opt) const {
    vst::AEffect& effect = Effect();
    return effect.dispatcher(&effect, opcode, index, value, ptr, opt);
}

TextReply Plugin::DispatchText(vst::Int32 opcode, vst::Int32 index, vst::IntPtr value, float opt) const {
    // Plug-ins write texts without knowing the buffer's size; a guard area after it shows an overrun
    // instead of letting it reach the host's own memory.
    constexpr std::size_t kGuard = 256;
    constexpr char kGuardByte = static_cast<char>(0xA5);
    std::vector<char> buffer(kTextCapacity + kGuard, kGuardByte);
    std::memset(buffer.data(), 0, kTextCapacity);

    TextReply result;
    result.reply = Dispatch(opcode, index, value, buffer.data(), opt);
    std::size_t n = strnlen(buffer.data(), kTextCapacity);
    result.text.assign(buffer.data(), n);
    result.terminated = n < kTextCapacity;
    for (std::size_t i = kTextCapacity; i < buffer.size(); ++i)
        if (buffer[i] != kGuardByte) {
            result.overran = true;
            break;
        }
    return result;
}

vst::IntPtr Plugin::CanDo(const std::string& text) const {
    auto argument = TextArgument(text);
    return Dispatch(vst::effCanDo, 0, 0, argument.data());
}

std::optional<PinProperties> Plugin::Pin(vst::Int32 opcode, vst::Int32 index) const {
    vst::VstPinProperties pin{};
    if (Dispatch(opcode, index, 0, &pin) == 0) return std::nullopt;
    PinProperties out;
    out.label.assign(pin.label, strnlen(pin.label, sizeof pin.label));
    out.shortLabel.assign(pin.shortLabel, strnlen(pin.shortLabel, sizeof pin.shortLabel));
    out.flags = pin.flags;
    return out;
}

std::optional<PinProperties> Plugin::InputProperties(vst::Int32 index) const {
    return Pin(vst::effGetInputProperties, index);
}

std::optional<PinProperties> Plugin::OutputProperties(vst::Int32 index) const {
    return Pin(vst::effGetOutputProperties, index);
}

// ---------------------------------------------------------------------------------------------------------
// Parameters and programs

float Plugin::GetParameter(vst::Int32 index) const {
    vst::AEffect& effect = Effect();
    return effect.getParameter ? effect.getParameter(&effect, index) : 0.0f;
}

void Plugin::SetParameter(vst::Int32 index, float value) const {
    vst::AEffect& effect = Effect();
    if (effect.setParameter) effect.setParameter(&effect, index, value);
}

bool Plugin::StringToParameter(vst::Int32 index, const std::string& text) const {
    auto argument = TextArgument(text);
    return Dispatch(vst::effString2Parameter, index, 0, argument.data()) != 0;
}

void Plugin::SetProgramName(const std::string& name) const {
    auto argument = TextArgument(name);
    Dispatch(vst::effSetProgramName, 0, 0, argument.data());
}

std::optional<std::string> Plugin::ProgramNameIndexed(vst::Int32 number) const {
    TextReply reply = DispatchText(vst::effGetProgramNameIndexed, number);
    if (reply.reply == 0) return std::nullopt;
    return reply.text;
}

std::optional<vst::ERect> Plugin::EditorRect(vst::IntPtr* reply) const {
    vst::ERect* rect = nullptr;
    vst::IntPtr r = Dispatch(vst::effEditGetRect, 0, 0, &rect);
    if (reply) *reply = r;
    if (!rect) return std::nullopt;
    return *rect;
}

// ---------------------------------------------------------------------------------------------------------
// Audio

void Plugin::SetSampleRate(float rate) const {
    fHost->SetSampleRate(rate);
    Dispatch(vst::effSetSampleRate, 0, 0, nullptr, rate);
}

void Plugin::SetBlockSize(vst::Int32 frames) const {
    fHost->SetBlockSize(frames);
    Dispatch(vst::effSetBlockSize, 0, frames);
}

void Plugin::StartProcess() const {
    fHost->SetPlaying(true);
    Dispatch(vst::effStartProcess);
}

void Plugin::StopProcess() const {
    Dispatch(vst::effStopProcess);
    fHost->SetPlaying(false);
}

void Plugin::ProcessReplacing(float* const* inputs, float* const* outputs, vst::Int32 frames) const {
    vst::AEffect& effect = Effect();
    if (!effect.processReplacing) throw HostError("the plug-in has no processReplacing entry");
    effect.processReplacing(&effect, const_cast<float**>(inputs), const_cast<float**>(outputs), frames);
    fHost->AdvanceTime(frames);
}

void Plugin::Process(float* const* inputs, float* const* outputs, vst::Int32 frames) const {
    vst::AEffect& effect = Effect();
    if (!effect.process) throw HostError("the plug-in has no process entry");
    effect.process(&effect, const_cast<float**>(inputs), const_cast<float**>(outputs), frames);
    fHost->AdvanceTime(frames);
}

} // namespace ql::host
