// The VST 1 module layer: the embedded plug-in record, its static entries, dispatcher opcodes 0..24, the
// audio path with its processing modes, parameters, programs, editor hosting and the VST 1 host requests.
//
// Index: active routines · TCustomVST1Module (lifecycle, dispatcher, host requests, audio, parameters,
//        programs, editor, events, state)
#pragma once

#include "shell/AtomicValues.h"
#include "shell/VstParameters.h"
#include "shell/VstPrograms.h"
#include "shell/VstTypes.h"
#include "toolkit/Component.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace ql::vst {

class TCPU;

/// One active processing routine. The audio thread reads it while the user-interface thread may replace it;
/// the code part is one atomic store, and the object part stays the module.
class TActiveRoutine {
  public:
    void Store(const TProcessAudioEvent& e) noexcept {
        fData.store(e.data(), std::memory_order_relaxed);
        fCode.store(e.code(), std::memory_order_release);
    }
    TProcessAudioEvent Load() const noexcept {
        auto code = fCode.load(std::memory_order_acquire);
        return TProcessAudioEvent(code, fData.load(std::memory_order_relaxed));
    }

  private:
    std::atomic<TProcessAudioEvent::Code> fCode{nullptr};
    std::atomic<void*> fData{nullptr};
};

class TCustomVST1Module : public TDataModule {
    QL_CLASS(TCustomVST1Module)
  public:
    // ---- lifecycle (loading thread, or the thread that sends effClose) ----
    explicit TCustomVST1Module(TComponent* AOwner);
    ~TCustomVST1Module() override;

    /// The embedded record; its address is fixed for the module's lifetime.
    AEffect* GetEffect() { return &fEffect; }
    /// The module behind a record handed out by this framework, or null for anything else.
    static TCustomVST1Module* FromEffect(AEffect* effect) noexcept;
    /// Stores the host callback and asks the host for its version; raises "AudioMaster Error" on 0.
    void SetAudioMaster(audioMasterCallback callback);
    audioMasterCallback AudioMaster() const { return fAudioMaster; }

    // ---- dispatcher ----
    /// Answers one host request (user-interface thread, or the audio thread for a few opcodes).
    virtual intptr_t Dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    // ---- host requests of the VST 1 layer (any thread; nothing is sent while the callback is null) ----
    virtual int32_t HostVersion();
    virtual intptr_t HostCurrentId();
    virtual void HostIdle();
    virtual bool HostInputConnected(int32_t index);
    virtual bool HostOutputConnected(int32_t index);
    /// Sends one request with the record as effect; 0 while there is no callback.
    intptr_t CallHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) const;

    // ---- identity and record settings (user-interface thread) ----
    const std::string& Version() const { return fVersion; }
    void SetVersion(const std::string& v) { fVersion = v; }
    const std::string& About() const { return fAbout; }
    virtual std::string UniqueID() const;
    virtual void SetUniqueID(const std::string& v);
    /// The six flags the VST 1 record knows (bits 0..5 of the record).
    virtual void SetVST1Flags(TVst2PluginFlags v);
    virtual TVst2PluginFlags VST1Flags() const;
    int32_t RealQualities() const { return fEffect.realQualities; }
    void SetRealQualities(int32_t v) { fEffect.realQualities = v; }
    int32_t OffQualities() const { return fEffect.offQualities; }
    void SetOffQualities(int32_t v) { fEffect.offQualities = v; }
    int32_t IORatio() const { return static_cast<int32_t>(fEffect.ioRatio); }
    void SetIORatio(int32_t v) { fEffect.ioRatio = static_cast<float>(v); }
    TCPU* CPU() const { return fCPU; }

    // ---- audio settings (user-interface thread, while processing is suspended) ----
    int32_t numInputs() const { return fEffect.numInputs; }
    virtual void SetNumInputs(int32_t v);
    int32_t numOutputs() const { return fEffect.numOutputs; }
    virtual void SetNumOutputs(int32_t v);
    float SampleRate() const { return fSampleRate; }
    virtual void SetSampleRate(float v);
    int32_t BlockSize() const { return fBlockSize; }
    virtual void SetBlockSize(int32_t v);
    virtual void Suspend();
    virtual void Resume();
    int32_t InitialDelay() const { return fEffect.initialDelay; }
    virtual void SetInitialDelay(int32_t v);
    TProcessingMode ProcessingMode() const { return fProcessingMode; }
    void SetProcessingMode(TProcessingMode v);
    int32_t BlockModeSize() const { return fBlockModeSize; }
    virtual void SetBlockModeSize(int32_t v);
    int32_t BlockModeOverlap() const { return fBlockModeOverlap; }
    virtual void SetBlockModeOverlap(int32_t v);
    /// Sizes or releases the block buffers for the current mode.
    virtual void PrepareBlockBuffers();
    float Tempo() const { return fTempo.load(std::memory_order_relaxed); }

    // ---- processing handlers (user-interface thread; may change while audio runs) ----
    const TProcessAudioEvent& OnProcess() const { return fOnProcess; }
    void SetOnProcess(const TProcessAudioEvent& e);
    const TProcessAudioEvent& OnProcessReplacing() const { return fOnProcessReplacing; }
    void SetOnProcessReplacing(const TProcessAudioEvent& e);
    TProcessAudioEvent ActiveProcess() const { return fActiveProcess.Load(); }
    TProcessAudioEvent ActiveProcessReplacing() const { return fActiveProcessReplacing.Load(); }

    // ---- audio entries (audio thread; never throw, never allocate) ----
    /// Accumulating: the routine's output is added to the host's outputs.
    virtual void Process(float* const* inputs, float* const* outputs, int32_t sampleFrames) noexcept;
    /// Replacing: the routine writes the host's outputs.
    virtual void ProcessReplacing(float* const* inputs, float* const* outputs, int32_t sampleFrames) noexcept;
    void DoProcessCopy(float* const* inputs, float* const* outputs, int32_t sampleFrames);
    void DoProcessMute(float* const* inputs, float* const* outputs, int32_t sampleFrames);
    void DoBlockSaveProcess(float* const* inputs, float* const* outputs, int32_t sampleFrames);
    void DoBlockSaveProcessReplacing(float* const* inputs, float* const* outputs, int32_t sampleFrames);

    // ---- parameters (any thread: host automation may arrive on the audio thread) ----
    TCustomVstParameterProperties* ParameterProperties() const { return fParameterProperties; }
    int32_t numParams() const { return fEffect.numParams; }
    /// Recounts the parameter descriptions (user-interface thread).
    virtual void SetNumParams(int32_t ignored);
    TAtomicFloats& ParameterValues() { return fParameterValues; }
    /// Stores a value in the parameter's own range and notifies host, handlers and editor.
    virtual void SetParameter(int32_t Index, float Value);
    virtual float GetParameter(int32_t Index) const;
    float ParameterToHost(int32_t Index, float Value) const;
    float ParameterFromHost(int32_t Index, float HostValue);
    /// Text replies (user-interface thread); `size` bounds the copy into the host's buffer.
    virtual void GetParamLabel(int32_t Index, char* text, size_t size);
    virtual void GetParamDisplay(int32_t Index, char* text, size_t size);
    virtual void GetParamName(int32_t Index, char* text, size_t size);
    bool OverwritePrograms() const { return fOverwritePrograms; }
    void SetOverwritePrograms(bool v) { fOverwritePrograms = v; }
    /// True while some thread is inside SetParameter.
    bool InSetParameter() const { return fInSetParameter.load() > 0; }

    // ---- programs (user-interface thread) ----
    TCustomVstPrograms* Programs() const { return fPrograms; }
    int32_t numPrograms() const { return fEffect.numPrograms; }
    virtual void SetNumPrograms(int32_t ignored);
    int32_t CurrentProgram() const { return fCurrentProgram.load(); }
    /// Selects a program: copies its values and applies each through SetParameter.
    virtual void SetCurrentProgram(int32_t Number);
    virtual std::string CurrentProgramName() const;
    virtual void SetCurrentProgramName(const std::string& Name);
    /// Stores the address of the chunk at *data; returns its size or 0.
    virtual intptr_t GetProgramChunk(void** data, bool isProgram);
    virtual intptr_t SetProgramChunk(const void* data, intptr_t byteSize, bool isProgram);

    // ---- editor hosting (user-interface thread; EditorPostUpdate from any thread) ----
    /// 1 when the form from OnEditOpen now lives in `parent`; 0, with that form destroyed, when it cannot
    /// be embedded there (SetParentWindow raised: no window system knows the handle).
    virtual int32_t EditOpen(void* parent);
    virtual void EditClose();
    virtual void EditIdle();
    virtual void EditorPostUpdate();
    IEditorForm* EditorForm() const { return fEditorForm; }
    const ERect& EditorRect() const { return fEditorRect; }
    bool EditorNeedsUpdate() const { return fEditorNeedsUpdate.load(std::memory_order_relaxed); }
    bool KeysRequired() const { return fKeysRequired; }

    // ---- events ----
    TNotifyEvent OnOpen, OnClose, OnEditClose, OnEditIdle, OnResume, OnSuspend, OnInitialize, OnProgramChange;
    TGetEditorEvent OnEditOpen;
    TVSTKeyEvent OnEditorKeyUp, OnEditorKeyDown;
    TSetKnobModeEvent OnEditorKnobMode;
    TParameterChangeEvent OnParameterChange;
    TBlockSizeChangeEvent OnBlockSizeChange;
    TSampleRateChangeEvent OnSampleRateChange;
    TGetVUEvent OnGetVU;
    TOnDispatcherEvent OnDispatcher;

  protected:
    /// End of loading: OnInitialize, the program initialisers, then program 0.
    void Loaded() override;
    /// Called by the collections when a description or a program comes or goes.
    friend class TCustomVstParameterProperties;
    friend class TCustomVstPrograms;
    void ParametersChanged(int count);
    void ProgramsChanged(int count);

    void SetRecordFlags(int32_t bits) { fEffect.flags = bits; }
    int32_t RecordFlags() const { return fEffect.flags; }
    void SetEditorNeedsUpdate() { fEditorNeedsUpdate.store(true, std::memory_order_relaxed); }
    /// Resizes the accumulating path's scratch channels for the current block size and outputs.
    void PrepareScratch();
    /// Store without comparing and without events (the callers fire them themselves).
    void StoreSampleRate(float v) { fSampleRate = v; }
    void StoreBlockSize(int32_t v) {
        fBlockSize = v;
        PrepareScratch();
    }

    AEffect fEffect{};
    audioMasterCallback fAudioMaster = nullptr;
    bool fKeysRequired = false;

  private:
    void InstallActiveRoutines(bool process, bool replacing);
    TProcessAudioEvent RoutineFor(const TProcessAudioEvent& handler, bool replacing);
    void BlockSave(const TProcessAudioEvent& handler, float* const* inputs, float* const* outputs,
                   int32_t sampleFrames);
    bool BlockBuffersFit() const;
    void RunProcess(const TProcessAudioEvent& routine, float* const* inputs, float* const* outputs,
                    int32_t frames) noexcept;
    void UpdateTempo() noexcept;
    virtual void FlushMidiOut() noexcept {}

    std::string fVersion = "0.0";
    std::string fAbout;
    TCPU* fCPU = nullptr;
    std::atomic<int32_t> fCurrentProgram{0};
    TCustomVstParameterProperties* fParameterProperties = nullptr;
    TCustomVstPrograms* fPrograms = nullptr;
    TAtomicFloats fParameterValues;
    std::atomic<int> fInSetParameter{0};
    /// Threads currently inside SetParameter: a store begun again on one of them (from inside the
    /// notifications) is dropped, while other threads store independently. No thread-local storage, so the
    /// guard costs the audio thread nothing on its first use and survives the library being unloaded.
    static constexpr int kSetterSlots = 16;
    std::atomic<std::thread::id> fSetterThreads[kSetterSlots];
    bool fOverwritePrograms = false;

    float fSampleRate = 44100.0f;
    int32_t fBlockSize = 1024;
    std::atomic<float> fTempo{0.0f};
    TProcessingMode fProcessingMode = pmNormal;
    int32_t fBlockModeSize = 1024;
    int32_t fBlockModeOverlap = 0;
    int32_t fBlockPosition = 0;
    int32_t fRequestedInitialDelay = 0;
    std::vector<std::vector<float>> fBlockInBuffers, fBlockOutBuffers;
    std::vector<float*> fBlockInPtrs, fBlockOutPtrs;
    std::vector<float> fScratch;
    std::vector<float*> fScratchPtrs;
    std::vector<float*> fChunkInPtrs;
    int32_t fScratchFrames = 0;

    TProcessAudioEvent fOnProcess, fOnProcessReplacing;
    TActiveRoutine fActiveProcess, fActiveProcessReplacing;

    IEditorForm* fEditorForm = nullptr;
    ERect fEditorRect{};
    std::atomic<bool> fEditorNeedsUpdate{false};
};

} // namespace ql::vst
