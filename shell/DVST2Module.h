// The VST 2 module layer: names, category, can-do set, tail size, outgoing MIDI events, dispatcher opcodes
// 25..76, pin properties, speaker-arrangement helpers and one operation per VST 2 host request.
#pragma once

#include "shell/DVST1Module.h"

#include <memory>
#include <string>

namespace ql::vst {

/// The outgoing event list: the list header followed by room for 2048 event pointers.
struct TMidiOutEvents {
    static constexpr int kSlots = 2048;
    static constexpr int kPrepared = 256;
    int32_t numEvents = 0;
    intptr_t reserved = 0;
    VstEvent* events[kSlots] = {};
    VstEvents* AsVstEvents() { return reinterpret_cast<VstEvents*>(this); }
};

class TCustomVST2Module : public TCustomVST1Module {
    QL_CLASS(TCustomVST2Module)
  public:
    explicit TCustomVST2Module(TComponent* AOwner);
    ~TCustomVST2Module() override;

    /// VST 2 opcodes after the VST 1 layer has seen every request (user-interface thread mostly).
    intptr_t Dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;

    // ---- settings (user-interface thread) ----
    const std::string& EffectName() const { return fEffectName; }
    void SetEffectName(const std::string& v) { fEffectName = v; }
    const std::string& ProductName() const { return fProductName; }
    void SetProductName(const std::string& v) { fProductName = v; }
    const std::string& VendorName() const { return fVendorName; }
    void SetVendorName(const std::string& v) { fVendorName = v; }
    int32_t VendorVersion() const { return fVendorVersion; }
    void SetVendorVersion(int32_t v) { fVendorVersion = v; }
    TVstPluginCategory PlugCategory() const { return fPlugCategory; }
    void SetPlugCategory(TVstPluginCategory v) { fPlugCategory = v; }
    int32_t TailSize() const { return fTailSize; }
    void SetTailSize(int32_t v) { fTailSize = v; }
    TVstCanDos CanDos() const { return fCanDos; }
    void SetCanDos(TVstCanDos v) { fCanDos = v; }
    /// All ten flags of the record.
    TVst2PluginFlags Flags() const { return RecordToFlags(RecordFlags()); }
    void SetFlags(TVst2PluginFlags v) { SetRecordFlags(FlagsToRecord(v)); }
    TMidiOutEvents& MidiOutEvents() { return *fMidiOutEvents; }

    // ---- requests answered for the host (user-interface thread unless noted) ----
    /// Fires OnProcessMidi for each MIDI event of the list (may come on the audio thread).
    virtual void ProcessEvents(VstEvents* events);
    virtual bool CanParameterBeAutomated(int32_t Index);
    virtual bool StringToParameter(int32_t Index, const char* text);
    virtual int32_t GetNumProgramCategories();
    virtual bool GetProgramNameIndexed(int32_t Category, int32_t Number, char* text, size_t size);
    virtual bool CopyProgram(int32_t destination);
    virtual bool GetInputProperties(int32_t Index, VstPinProperties* properties);
    virtual bool GetOutputProperties(int32_t Index, VstPinProperties* properties);
    virtual intptr_t GetCurrentPosition();
    virtual intptr_t GetDestinationBuffer();
    virtual bool SetSpeakerArrangement(intptr_t input, VstSpeakerArrangement* output);
    virtual bool GetSpeakerArrangement(intptr_t input, VstSpeakerArrangement* output);
    virtual void SetBlockSizeAndSampleRate(int32_t blockSize, float sampleRate);
    virtual bool SetBypass(bool onOff);
    virtual bool GetEffectName(char* text, size_t size);
    virtual bool GetErrorText(char* text);
    virtual bool GetVendorString(char* text, size_t size);
    virtual bool GetProductString(char* text, size_t size);
    virtual int32_t GetVendorVersion();
    /// 1 when the text names a can-do in CanDos, -1 for one that is not, 0 for unknown texts.
    virtual int32_t CanDo(const std::string& text);
    virtual intptr_t GetIcon();
    virtual bool SetViewPosition(int32_t x, int32_t y);
    virtual int32_t Idle();
    virtual bool GetParameterProperties(int32_t Index, void* properties);
    virtual int32_t GetMidiProgramName(void* name);
    virtual int32_t GetCurrentMidiProgram(void* name);
    virtual int32_t GetMidiProgramCategory(void* category);
    virtual bool HasMidiProgramsChanged();
    virtual bool GetMidiKeyName(void* keyName);
    virtual intptr_t SetTotalSampleToProcess(intptr_t value);
    virtual int32_t ShellGetNextPlugin(char* name);
    virtual int32_t StartProcess();
    virtual int32_t StopProcess();
    virtual bool SetPanLaw(int32_t vType, float val);
    virtual int32_t BeginLoadBank(VstPatchChunkInfo* info);
    virtual int32_t BeginLoadProgram(VstPatchChunkInfo* info);

    // ---- speaker-arrangement helpers (any thread outside the audio path: they allocate) ----
    virtual bool NewSpeakerArrangement(VstSpeakerArrangement*& arrangement, int32_t channels);
    virtual bool FreeSpeakerArrangement(VstSpeakerArrangement*& arrangement);
    virtual bool CopySpeakerProperties(VstSpeakerProperties* destination, const VstSpeakerProperties* source);
    virtual bool CopySpeakerArrangement(VstSpeakerArrangement*& destination,
                                        const VstSpeakerArrangement* source);

    // ---- host requests of the VST 2 layer (any thread; nothing is sent while the callback is null) ----
    virtual void* HostGetTime(intptr_t filter);
    virtual void HostSetTime(intptr_t filter, void* timeInfo);
    virtual intptr_t HostTempoAt(intptr_t position);
    virtual intptr_t HostWillReplaceOrAccumulate();
    virtual intptr_t HostGetCurrentProcessLevel();
    virtual intptr_t HostGetAutomationState();
    virtual bool HostOfflineRead(void* offline, intptr_t option, bool readSource);
    virtual bool HostOfflineWrite(void* offline, intptr_t option);
    virtual bool HostOfflineStart(void* audioFiles, intptr_t numAudioFiles, int32_t numNewAudioFiles);
    virtual bool HostOfflineGetCurrentPass();
    virtual bool HostOfflineGetCurrentMetaPass();
    virtual void HostSetOutputSampleRate(float sampleRate);
    virtual intptr_t HostGetInputSpeakerArrangement();
    virtual intptr_t HostGetOutputSpeakerArrangement();
    virtual bool HostGetVendorString(char* text);
    virtual bool HostGetProductString(char* text);
    virtual intptr_t HostGetVendorVersion();
    virtual intptr_t HostVendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
    virtual intptr_t HostCanDo(const char* text);
    virtual intptr_t HostGetLanguage();
    virtual intptr_t HostOpenWindow(void* window);
    virtual bool HostCloseWindow(void* window);
    virtual intptr_t HostGetDirectory();
    virtual bool HostUpdateDisplay();
    virtual bool HostBeginEdit(int32_t index);
    virtual bool HostEndEdit(int32_t index);
    virtual bool HostOpenFileSelector(void* fileSelector);
    virtual intptr_t HostGetNumAutomatableParameters();
    virtual intptr_t HostGetParameterQuantization();
    virtual bool HostIOChanged();
    virtual bool HostNeedIdle();
    virtual bool HostSizeWindow(int32_t width, int32_t height);
    virtual float HostGetSampleRate();
    virtual int32_t HostGetBlockSize();
    virtual intptr_t HostGetInputLatency();
    virtual intptr_t HostGetOutputLatency();
    virtual intptr_t HostGetPreviousPlug();
    virtual intptr_t HostGetNextPlug();
    /// Hands the outgoing list to the host (audio thread); true when the host took it.
    bool HostProcessEvents(VstEvents* events);

    // ---- events ----
    TSoftBypassEvent OnSoftBypass;
    TProcessMidiEvent OnProcessMidi;
    TInOutConnectedEvent OnInConnected, OnOutConnected;
    TNotifyEvent OnStartProcess, OnStopProcess, OnBeginSetProgram, OnEndSetProgram;
    TOfflineNotifyEvent OnOfflineNotify;
    TOfflinePrepareEvent OnOfflinePrepare;
    TOfflineRunEvent OnOfflineRun;
    TProcessVarIOEvent OnProcessVarIO;
    TOnSetPanLawEvent OnSetPanLaw;
    TOnVendorSpecificEvent OnVendorSpecific;
    TOnCanDoEvent OnCanDo;
    TOnGetChannelPropertiesEvent OnInputProperties, OnOutputProperties;
    TOnBeginLoadEvent OnBeginLoadBank, OnBeginLoadProgram;

  private:
    bool PinProperties(int32_t Index, VstPinProperties* properties, bool input);
    void FlushMidiOut() noexcept override;

    std::string fEffectName, fProductName, fVendorName;
    int32_t fVendorVersion = 0;
    TVstPluginCategory fPlugCategory = cgUnknown;
    int32_t fTailSize = 0;
    TVstCanDos fCanDos = 0;
    std::unique_ptr<TMidiOutEvents> fMidiOutEvents;
    std::unique_ptr<VstMidiEvent[]> fMidiRecords;
};

} // namespace ql::vst
