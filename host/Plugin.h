// A VST 2 plug-in loaded and driven as a host drives it: its library, one instance, and typed requests.
#pragma once

#include "host/Host.h"
#include "host/VstHostAbi.h"
#include "host/platform/DynamicLibrary.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ql::host {

/// What goes wrong on the host's side: a library that does not load, has no entry point, or gives no record.
class HostError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// A plug-in library with its entry point. Instances keep it loaded.
class PluginLibrary {
  public:
    /// The entry points tried, in order, when none is named.
    static constexpr const char* kEntryNames[] = {"VSTPluginMain", "main"};

    /// Loads the library at path and finds its entry point (entry, or the usual names); throws HostError.
    static std::shared_ptr<PluginLibrary> Load(const std::string& path, const std::string& entry = {});

    const std::string& Path() const noexcept { return fPath; }
    const std::string& EntryName() const noexcept { return fEntryName; }
    vst::EntryProc Entry() const noexcept { return fEntry; }

  private:
    PluginLibrary() = default;
    std::unique_ptr<platform::DynamicLibrary> fLibrary;
    std::string fPath;
    std::string fEntryName;
    vst::EntryProc fEntry = nullptr;
};

/// One input or output pin as the plug-in describes it.
struct PinProperties {
    std::string label;
    std::string shortLabel;
    vst::Int32 flags = 0;
};

/// A text the plug-in wrote into a host buffer, with what the host noticed about the write.
struct TextReply {
    std::string text;
    vst::IntPtr reply = 0;
    bool terminated = true; ///< a zero ended the text within the buffer
    bool overran = false;   ///< the plug-in wrote past the buffer's usual size (into the guard area)
};

/// One plug-in instance. Creating it calls the entry point; destroying it sends effClose unless Close did.
/// Calls go straight to the plug-in on the calling thread; like a real host, call the audio entries from one
/// thread at a time.
class Plugin {
  public:
    /// Calls the library's entry point with the host's callback; throws HostError when it gives no record or
    /// the record is not a VST 2 plug-in's. Does not send effOpen.
    static std::unique_ptr<Plugin> Create(std::shared_ptr<PluginLibrary> library,
                                          std::shared_ptr<Host> host = {});
    /// Loads the library and creates an instance.
    static std::unique_ptr<Plugin> Load(const std::string& path, std::shared_ptr<Host> host = {});

    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    vst::AEffect& Effect() const;
    Host& GetHost() const noexcept { return *fHost; }
    const std::shared_ptr<Host>& SharedHost() const noexcept { return fHost; }
    const PluginLibrary& Library() const noexcept { return *fLibrary; }
    bool IsClosed() const noexcept { return fEffect == nullptr; }

    // ---- dispatcher
    vst::IntPtr Dispatch(vst::Int32 opcode, vst::Int32 index = 0, vst::IntPtr value = 0, void* ptr = nullptr,
                         float opt = 0.0f) const;
    /// A request that writes a text into ptr, given a guarded buffer of kTextCapacity bytes.
    TextReply DispatchText(vst::Int32 opcode, vst::Int32 index = 0, vst::IntPtr value = 0,
                           float opt = 0.0f) const;
    static constexpr std::size_t kTextCapacity = 256;

    void Open() const { Dispatch(vst::effOpen); }
    /// effClose; the record is gone afterwards. Returns the plug-in's reply.
    vst::IntPtr Close();

    // ---- identity
    std::string EffectName() const { return DispatchText(vst::effGetEffectName).text; }
    std::string VendorString() const { return DispatchText(vst::effGetVendorString).text; }
    std::string ProductString() const { return DispatchText(vst::effGetProductString).text; }
    vst::IntPtr VendorVersion() const { return Dispatch(vst::effGetVendorVersion); }
    vst::IntPtr VstVersion() const { return Dispatch(vst::effGetVstVersion); }
    vst::IntPtr Category() const { return Dispatch(vst::effGetPlugCategory); }
    vst::IntPtr CanDo(const std::string& text) const;
    vst::Int32 UniqueId() const { return Effect().uniqueID; }
    vst::Int32 Flags() const { return Effect().flags; }
    vst::Int32 NumInputs() const { return Effect().numInputs; }
    vst::Int32 NumOutputs() const { return Effect().numOutputs; }
    vst::Int32 NumParams() const { return Effect().numParams; }
    vst::Int32 NumPrograms() const { return Effect().numPrograms; }
    vst::Int32 InitialDelay() const { return Effect().initialDelay; }
    std::optional<PinProperties> InputProperties(vst::Int32 index) const;
    std::optional<PinProperties> OutputProperties(vst::Int32 index) const;

    // ---- parameters (host values 0..1)
    float GetParameter(vst::Int32 index) const;
    void SetParameter(vst::Int32 index, float value) const;
    std::string ParamName(vst::Int32 index) const { return DispatchText(vst::effGetParamName, index).text; }
    std::string ParamLabel(vst::Int32 index) const { return DispatchText(vst::effGetParamLabel, index).text; }
    std::string ParamDisplay(vst::Int32 index) const {
        return DispatchText(vst::effGetParamDisplay, index).text;
    }
    bool CanBeAutomated(vst::Int32 index) const { return Dispatch(vst::effCanBeAutomated, index) != 0; }
    /// effString2Parameter; true when the plug-in took the text.
    bool StringToParameter(vst::Int32 index, const std::string& text) const;

    // ---- programs
    vst::IntPtr Program() const { return Dispatch(vst::effGetProgram); }
    void SetProgram(vst::Int32 number) const { Dispatch(vst::effSetProgram, 0, number); }
    std::string ProgramName() const { return DispatchText(vst::effGetProgramName).text; }
    void SetProgramName(const std::string& name) const;
    /// The name of program number, or nothing when the plug-in says there is no such program.
    std::optional<std::string> ProgramNameIndexed(vst::Int32 number) const;

    // ---- audio settings and processing
    void SetSampleRate(float rate) const;
    void SetBlockSize(vst::Int32 frames) const;
    void Resume() const { Dispatch(vst::effMainsChanged, 0, 1); }
    void Suspend() const { Dispatch(vst::effMainsChanged, 0, 0); }
    void StartProcess() const;
    void StopProcess() const;
    /// processReplacing (outputs overwritten) and process (added to); the host's time moves on by frames.
    void ProcessReplacing(float* const* inputs, float* const* outputs, vst::Int32 frames) const;
    void Process(float* const* inputs, float* const* outputs, vst::Int32 frames) const;

    // ---- editor
    bool HasEditor() const { return (Flags() & vst::effFlagsHasEditor) != 0; }
    /// effEditOpen with the host's native parent window; true when the plug-in opened its editor.
    bool EditOpen(void* parentWindow) const { return Dispatch(vst::effEditOpen, 0, 0, parentWindow) != 0; }
    void EditIdle() const { Dispatch(vst::effEditIdle); }
    void EditClose() const { Dispatch(vst::effEditClose); }
    /// effEditGetRect: the rectangle the plug-in points to, or nothing when it points nowhere. The reply
    /// (1 while an editor is open) is in reply.
    std::optional<vst::ERect> EditorRect(vst::IntPtr* reply = nullptr) const;

  private:
    Plugin(std::shared_ptr<PluginLibrary> library, std::shared_ptr<Host> host, vst::AEffect* effect);
    std::optional<PinProperties> Pin(vst::Int32 opcode, vst::Int32 index) const;

    std::shared_ptr<PluginLibrary> fLibrary;
    std::shared_ptr<Host> fHost;
    vst::AEffect* fEffect;
};

} // namespace ql::host
