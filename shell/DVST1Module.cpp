// The VST 1 module layer: record, static entries, dispatcher 0..24, audio path, parameters, programs, editor.
//
// Index: static entries · construction and loading · host requests · dispatcher · audio settings ·
//        active routines and audio entries · block buffering · parameters · programs · editor hosting
#include "shell/DVST1Module.h"

#include "runtime/Format.h"
#include "shell/CPU.h"
#include "shell/VstEntry.h"
#include "toolkit/MessageLoop.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace ql::vst {

namespace {

constexpr int32_t kMaxChannels = 1024;
/// The accumulating path works in chunks of at most this many frames, whatever block size a host announces.
constexpr int32_t kMinScratchFrames = 256;
constexpr int32_t kMaxScratchFrames = 16384;

// ---- static entries -------------------------------------------------------------------------------------

/// The host's channel array itself; a single missing channel is skipped by the routines, so the channels
/// that are there are still processed.
bool ChannelsPresent(float* const* channels, int32_t count) noexcept {
    return count <= 0 || channels != nullptr;
}

intptr_t QL_VSTCALL DispatcherEntry(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                    float opt) noexcept {
    TCustomVST1Module* module = TCustomVST1Module::FromEffect(effect);
    if (!module) return 0;
    intptr_t reply = 0;
    try {
        reply = module->Dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        reply = 0;
    }
    if (opcode == effClose) {
        DestroyModule(module);
        return 1;
    }
    return reply;
}

void QL_VSTCALL ProcessEntry(AEffect* effect, float** inputs, float** outputs,
                             int32_t sampleFrames) noexcept {
    TCustomVST1Module* module = TCustomVST1Module::FromEffect(effect);
    if (!module || sampleFrames < 0) return;
    if (!ChannelsPresent(inputs, module->numInputs()) || !ChannelsPresent(outputs, module->numOutputs()))
        return;
    module->Process(inputs, outputs, sampleFrames);
}

void QL_VSTCALL ProcessReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                      int32_t sampleFrames) noexcept {
    TCustomVST1Module* module = TCustomVST1Module::FromEffect(effect);
    if (!module || sampleFrames < 0) return;
    if (!ChannelsPresent(inputs, module->numInputs()) || !ChannelsPresent(outputs, module->numOutputs()))
        return;
    module->ProcessReplacing(inputs, outputs, sampleFrames);
}

void QL_VSTCALL SetParameterEntry(AEffect* effect, int32_t index, float value) noexcept {
    TCustomVST1Module* module = TCustomVST1Module::FromEffect(effect);
    if (!module || index < 0 || index >= module->numParams() || !module->ParameterValues().Contains(index))
        return;
    try {
        module->SetParameter(index, module->ParameterFromHost(index, value));
    } catch (...) {
    }
}

float QL_VSTCALL GetParameterEntry(AEffect* effect, int32_t index) noexcept {
    TCustomVST1Module* module = TCustomVST1Module::FromEffect(effect);
    if (!module || index < 0 || index >= module->numParams() || !module->ParameterValues().Contains(index))
        return 0.0f;
    try {
        return module->ParameterToHost(index, module->GetParameter(index));
    } catch (...) {
        return 0.0f;
    }
}

} // namespace

// ---- construction and loading ---------------------------------------------------------------------------

const TClassInfo& TCustomVST1Module::StaticClass() {
    static TClassInfo info("TCustomVST1Module", &TDataModule::StaticClass);
    return info;
}

TCustomVST1Module::TCustomVST1Module(TComponent* AOwner) : TDataModule(AOwner) {
    fAbout = "VST 2 plug-in module framework of Quantilaw";
    fEffect.magic = kEffectMagic;
    fEffect.dispatcher = &DispatcherEntry;
    fEffect.process = &ProcessEntry;
    fEffect.setParameter = &SetParameterEntry;
    fEffect.getParameter = &GetParameterEntry;
    fEffect.processReplacing = &ProcessReplacingEntry;
    fEffect.object = this;
    fEffect.user = nullptr;
    fEffect.uniqueID = FourCharCode('N', 'o', 'E', 'f');
    fEffect.version = 1;
    fEffect.ioRatio = 1.0f;
    fEffect.numInputs = 2;
    fEffect.numOutputs = 2;
    try {
        fParameterProperties = new TCustomVstParameterProperties(this);
        fPrograms = new TCustomVstPrograms(this);
        fCPU = new TCPU();
        PrepareScratch();
    } catch (...) {
        delete fPrograms;
        delete fParameterProperties;
        throw;
    }
}

TCustomVST1Module::~TCustomVST1Module() {
    delete fParameterProperties;
    fParameterProperties = nullptr;
    delete fPrograms;
    fPrograms = nullptr;
    if (IEditorForm* form = std::exchange(fEditorForm, nullptr)) form->Destroy();
    delete fCPU;
    fCPU = nullptr;
}

TCustomVST1Module* TCustomVST1Module::FromEffect(AEffect* effect) noexcept {
    if (!effect || effect->magic != kEffectMagic || !effect->object) return nullptr;
    auto* module = static_cast<TCustomVST1Module*>(effect->object);
    // A record that does not sit inside the object it names was not made here.
    if (&module->fEffect != effect) return nullptr;
    return module;
}

void TCustomVST1Module::SetAudioMaster(audioMasterCallback callback) {
    fAudioMaster = callback;
    if (!callback || callback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        throw Exception("AudioMaster Error");
}

void TCustomVST1Module::Loaded() {
    TDataModule::Loaded();
    if (OnInitialize) OnInitialize(this);
    for (int i = 0; i < fPrograms->Count(); ++i) {
        TCustomVstProgram* program = fPrograms->Items(i);
        if (program->OnInitialize) program->OnInitialize(program);
    }
    SetCurrentProgram(0);
}

// ---- host requests ----------------------------------------------------------------------------------------

intptr_t TCustomVST1Module::CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                     float opt) const {
    if (!fAudioMaster) return 0;
    return fAudioMaster(const_cast<AEffect*>(&fEffect), opcode, index, value, ptr, opt);
}

int32_t TCustomVST1Module::HostVersion() {
    intptr_t reply = CallHost(audioMasterVersion);
    return reply == 0 ? 1 : ClampToInt32(reply);
}

intptr_t TCustomVST1Module::HostCurrentId() { return CallHost(audioMasterCurrentId); }
void TCustomVST1Module::HostIdle() { CallHost(audioMasterIdle); }
bool TCustomVST1Module::HostInputConnected(int32_t index) {
    return CallHost(audioMasterPinConnected, index, 0) == 0;
}
bool TCustomVST1Module::HostOutputConnected(int32_t index) {
    return CallHost(audioMasterPinConnected, index, 1) == 0;
}

// ---- dispatcher -------------------------------------------------------------------------------------------

intptr_t TCustomVST1Module::Dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (OnDispatcher) OnDispatcher(this, opcode);
    const bool hasEditor = (fEffect.flags & effFlagsHasEditor) != 0;
    switch (opcode) {
    case effOpen:
        if (OnOpen) OnOpen(this);
        return 0;
    case effClose:
        if (OnClose) OnClose(this);
        return 0;
    case effSetProgram:
        if (value >= 0 && value < numPrograms() && value != CurrentProgram())
            SetCurrentProgram(static_cast<int32_t>(value));
        return 0;
    case effGetProgram:
        return CurrentProgram();
    case effSetProgramName:
        if (numPrograms() > 0 && ptr) SetCurrentProgramName(HostText(ptr));
        return 0;
    case effGetProgramName:
        CopyText(static_cast<char*>(ptr), kProgramNameBytes, numPrograms() > 0 ? CurrentProgramName() : "");
        return 0;
    case effGetParamLabel:
        GetParamLabel(index, static_cast<char*>(ptr), kParamTextBytes);
        return 0;
    case effGetParamDisplay:
        GetParamDisplay(index, static_cast<char*>(ptr), kParamTextBytes);
        return 0;
    case effGetParamName:
        GetParamName(index, static_cast<char*>(ptr), kParamTextBytes);
        return 0;
    case effGetVu: {
        if (!OnGetVU) return 0;
        float vu = 0.0f;
        OnGetVU(vu);
        double scaled = std::nearbyint(static_cast<double>(vu) * 32767.0);
        if (!(scaled == scaled)) return 0;
        return static_cast<intptr_t>(std::clamp(scaled, -2147483648.0, 2147483647.0));
    }
    case effSetSampleRate:
        SetSampleRate(opt);
        return 1;
    case effSetBlockSize:
        SetBlockSize(ClampToInt32(value));
        return 0;
    case effMainsChanged:
        if (value == 0)
            Suspend();
        else
            Resume();
        return 0;
    case effEditGetRect: {
        fEditorRect.top = 0;
        fEditorRect.left = 0;
        if (fEditorForm) {
            fEditorRect.bottom = static_cast<int16_t>(fEditorForm->ClientHeight());
            fEditorRect.right = static_cast<int16_t>(fEditorForm->ClientWidth());
        }
        if (!ptr) return 0;
        *static_cast<ERect**>(ptr) = &fEditorRect;
        return fEditorForm ? 1 : 0;
    }
    case effEditOpen:
        return hasEditor ? EditOpen(ptr) : 0;
    case effEditClose:
        if (hasEditor) EditClose();
        return 0;
    case effEditIdle:
        if (hasEditor) EditIdle();
        return 0;
    case effIdentify:
        return FourCharCode('N', 'v', 'E', 'f');
    case effGetChunk:
        return GetProgramChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        return SetProgramChunk(ptr, value, index != 0);
    default:
        return 0;
    }
}

// ---- identity and flags -----------------------------------------------------------------------------------

std::string TCustomVST1Module::UniqueID() const { return FourCharText(fEffect.uniqueID); }
void TCustomVST1Module::SetUniqueID(const std::string& v) { fEffect.uniqueID = PackFourChars(v); }

void TCustomVST1Module::SetVST1Flags(TVst2PluginFlags v) {
    fEffect.flags = static_cast<int32_t>((static_cast<uint32_t>(fEffect.flags) & ~0x3Fu) | (v & 0x3Fu));
}

TVst2PluginFlags TCustomVST1Module::VST1Flags() const { return static_cast<uint32_t>(fEffect.flags) & 0x3Fu; }

// ---- audio settings ---------------------------------------------------------------------------------------

void TCustomVST1Module::SetNumInputs(int32_t v) {
    if (v < 0 || v > kMaxChannels) return;
    fEffect.numInputs = v;
    PrepareBlockBuffers();
    PrepareScratch();
    CallHost(audioMasterIOChanged);
}

void TCustomVST1Module::SetNumOutputs(int32_t v) {
    if (v < 0 || v > kMaxChannels) return;
    fEffect.numOutputs = v;
    PrepareBlockBuffers();
    PrepareScratch();
    CallHost(audioMasterIOChanged);
}

void TCustomVST1Module::SetSampleRate(float v) {
    if (v == fSampleRate) return;
    fSampleRate = v;
    if (OnSampleRateChange) OnSampleRateChange(this, v);
}

void TCustomVST1Module::SetBlockSize(int32_t v) {
    if (v == fBlockSize) return;
    fBlockSize = v;
    PrepareScratch();
    if (OnBlockSizeChange) OnBlockSizeChange(this, v);
}

void TCustomVST1Module::Suspend() {
    if (OnSuspend) OnSuspend(this);
}

void TCustomVST1Module::Resume() {
    if (OnResume) OnResume(this);
    CallHost(audioMasterWantMidi, 0, 1);
}

void TCustomVST1Module::SetInitialDelay(int32_t v) {
    fRequestedInitialDelay = v;
    fEffect.initialDelay =
        fProcessingMode == pmBlockSave ? std::max(v, fBlockModeSize - fBlockModeOverlap) : v;
    CallHost(audioMasterIOChanged);
}

void TCustomVST1Module::SetProcessingMode(TProcessingMode v) {
    if (v == fProcessingMode || v < pmNormal || v > pmMute) return;
    fProcessingMode = v;
    // The buffers are ready before a routine that uses them can be seen by the audio thread.
    if (v == pmBlockSave) PrepareBlockBuffers();
    InstallActiveRoutines(true, true);
}

void TCustomVST1Module::SetBlockModeSize(int32_t v) {
    if (v > 0) {
        fBlockModeSize = v;
        // An overlap as large as the block would leave nothing new per block and stall the buffering loop.
        if (fBlockModeOverlap >= v) fBlockModeOverlap = v - 1;
    }
    fBlockPosition = fBlockModeOverlap;
    PrepareBlockBuffers();
}

void TCustomVST1Module::SetBlockModeOverlap(int32_t v) {
    if (v >= 0 && v < fBlockModeSize) fBlockModeOverlap = v;
    if (fProcessingMode == pmBlockSave && fBlockModeSize - fBlockModeOverlap > fEffect.initialDelay)
        SetInitialDelay(fRequestedInitialDelay);
}

void TCustomVST1Module::PrepareBlockBuffers() {
    if (fProcessingMode != pmBlockSave) {
        fBlockInBuffers.clear();
        fBlockOutBuffers.clear();
        fBlockInPtrs.clear();
        fBlockOutPtrs.clear();
        return;
    }
    auto size = static_cast<size_t>(fBlockModeSize);
    fBlockInBuffers.resize(static_cast<size_t>(numInputs()));
    fBlockOutBuffers.resize(static_cast<size_t>(numOutputs()));
    for (auto& b : fBlockInBuffers)
        b.resize(size, 0.0f);
    for (auto& b : fBlockOutBuffers)
        b.resize(size, 0.0f);
    fBlockInPtrs.clear();
    fBlockOutPtrs.clear();
    for (auto& b : fBlockInBuffers)
        fBlockInPtrs.push_back(b.data());
    for (auto& b : fBlockOutBuffers)
        fBlockOutPtrs.push_back(b.data());
    fBlockPosition = fBlockModeOverlap;
    if (fBlockModeSize - fBlockModeOverlap > fEffect.initialDelay) SetInitialDelay(fRequestedInitialDelay);
}

void TCustomVST1Module::PrepareScratch() {
    int32_t frames = std::clamp(fBlockSize, kMinScratchFrames, kMaxScratchFrames);
    auto outs = static_cast<size_t>(std::max(numOutputs(), 0));
    auto ins = static_cast<size_t>(std::max(numInputs(), 0));
    if (frames == fScratchFrames && fScratchPtrs.size() == outs && fChunkInPtrs.size() == ins) return;
    std::vector<float> scratch(outs * static_cast<size_t>(frames), 0.0f);
    std::vector<float*> ptrs(outs);
    for (size_t c = 0; c < outs; ++c)
        ptrs[c] = scratch.data() + c * static_cast<size_t>(frames);
    fScratch.swap(scratch);
    fScratchPtrs.swap(ptrs);
    fChunkInPtrs.assign(ins, nullptr);
    fScratchFrames = frames;
}

// ---- active routines and audio entries --------------------------------------------------------------------

void TCustomVST1Module::SetOnProcess(const TProcessAudioEvent& e) {
    fOnProcess = e;
    InstallActiveRoutines(true, false);
}

void TCustomVST1Module::SetOnProcessReplacing(const TProcessAudioEvent& e) {
    fOnProcessReplacing = e;
    InstallActiveRoutines(false, true);
}

TProcessAudioEvent TCustomVST1Module::RoutineFor(const TProcessAudioEvent& handler, bool replacing) {
    switch (fProcessingMode) {
    case pmBlockSave:
        if (!handler.Assigned()) return handler;
        return replacing ? TProcessAudioEvent::Of<&TCustomVST1Module::DoBlockSaveProcessReplacing>(this)
                         : TProcessAudioEvent::Of<&TCustomVST1Module::DoBlockSaveProcess>(this);
    case pmCopy:
        return TProcessAudioEvent::Of<&TCustomVST1Module::DoProcessCopy>(this);
    case pmMute:
        return TProcessAudioEvent::Of<&TCustomVST1Module::DoProcessMute>(this);
    case pmNormal:
    default:
        return handler;
    }
}

void TCustomVST1Module::InstallActiveRoutines(bool process, bool replacing) {
    if (process) fActiveProcess.Store(RoutineFor(fOnProcess, false));
    if (replacing) fActiveProcessReplacing.Store(RoutineFor(fOnProcessReplacing, true));
}

void TCustomVST1Module::UpdateTempo() noexcept {
    intptr_t reply = fAudioMaster ? CallHost(audioMasterTempoAt, 0, 0) : 0;
    fTempo.store(static_cast<float>(reply) * 0.0001f, std::memory_order_relaxed);
}

void TCustomVST1Module::RunProcess(const TProcessAudioEvent& routine, float* const* inputs,
                                   float* const* outputs, int32_t frames) noexcept {
    try {
        routine(inputs, outputs, frames);
    } catch (...) {
        // A handler's failure must not unwind into the host's audio thread.
    }
}

void TCustomVST1Module::ProcessReplacing(float* const* inputs, float* const* outputs,
                                         int32_t sampleFrames) noexcept {
    UpdateTempo();
    TProcessAudioEvent routine = fActiveProcessReplacing.Load();
    if (routine.Assigned()) RunProcess(routine, inputs, outputs, sampleFrames);
    FlushMidiOut();
}

void TCustomVST1Module::Process(float* const* inputs, float* const* outputs, int32_t sampleFrames) noexcept {
    UpdateTempo();
    TProcessAudioEvent routine = fActiveProcess.Load();
    const int32_t ins = numInputs(), outs = numOutputs();
    // The scratch channels are sized outside the audio path; blocks longer than announced go in chunks.
    if (routine.Assigned() && fScratchFrames > 0 && static_cast<int32_t>(fScratchPtrs.size()) == outs &&
        static_cast<int32_t>(fChunkInPtrs.size()) == ins) {
        for (int32_t done = 0; done < sampleFrames;) {
            const int32_t n = std::min(sampleFrames - done, fScratchFrames);
            for (int32_t c = 0; c < outs; ++c)
                std::fill_n(fScratchPtrs[static_cast<size_t>(c)], n, 0.0f);
            for (int32_t c = 0; c < ins; ++c)
                fChunkInPtrs[static_cast<size_t>(c)] = inputs[c] ? inputs[c] + done : nullptr;
            RunProcess(routine, fChunkInPtrs.data(), fScratchPtrs.data(), n);
            for (int32_t c = 0; c < outs; ++c) {
                if (!outputs[c]) continue;
                float* out = outputs[c] + done;
                const float* add = fScratchPtrs[static_cast<size_t>(c)];
                for (int32_t i = 0; i < n; ++i)
                    out[i] += add[i];
            }
            done += n;
        }
    }
    FlushMidiOut();
}

void TCustomVST1Module::DoProcessCopy(float* const* inputs, float* const* outputs, int32_t sampleFrames) {
    if (sampleFrames <= 0) return;
    const int32_t channels = std::min(numInputs(), numOutputs());
    for (int32_t c = 0; c < channels; ++c)
        if (inputs[c] && outputs[c] && inputs[c] != outputs[c])
            std::memmove(outputs[c], inputs[c], static_cast<size_t>(sampleFrames) * sizeof(float));
}

void TCustomVST1Module::DoProcessMute(float* const*, float* const* outputs, int32_t sampleFrames) {
    if (sampleFrames <= 0) return;
    for (int32_t c = 0; c < numOutputs(); ++c)
        if (outputs[c]) std::fill_n(outputs[c], sampleFrames, 0.0f);
}

// ---- block buffering
// ----------------------------------------------------------------------------------------

void TCustomVST1Module::DoBlockSaveProcess(float* const* inputs, float* const* outputs,
                                           int32_t sampleFrames) {
    BlockSave(fOnProcess, inputs, outputs, sampleFrames);
}

void TCustomVST1Module::DoBlockSaveProcessReplacing(float* const* inputs, float* const* outputs,
                                                    int32_t sampleFrames) {
    BlockSave(fOnProcessReplacing, inputs, outputs, sampleFrames);
}

bool TCustomVST1Module::BlockBuffersFit() const {
    const auto size = static_cast<size_t>(fBlockModeSize);
    if (fBlockInPtrs.size() != static_cast<size_t>(numInputs()) ||
        fBlockOutPtrs.size() != static_cast<size_t>(numOutputs()))
        return false;
    for (const auto& b : fBlockInBuffers)
        if (b.size() != size) return false;
    for (const auto& b : fBlockOutBuffers)
        if (b.size() != size) return false;
    return fBlockModeOverlap >= 0 && fBlockModeOverlap < fBlockModeSize;
}

void TCustomVST1Module::BlockSave(const TProcessAudioEvent& handler, float* const* inputs,
                                  float* const* outputs, int32_t sampleFrames) {
    if (!handler.Assigned() || !BlockBuffersFit()) return;
    const int32_t size = fBlockModeSize, overlap = fBlockModeOverlap;
    const int32_t ins = numInputs(), outs = numOutputs();
    int32_t pos = fBlockPosition;
    if (pos < 0 || pos >= size) pos = overlap;
    // A missing input channel counts as silence; a missing output channel receives nothing.
    auto copy = [](float* dst, const float* src, int32_t n) {
        if (n <= 0 || !dst) return;
        if (src)
            std::memmove(dst, src, static_cast<size_t>(n) * sizeof(float));
        else
            std::fill_n(dst, n, 0.0f);
    };
    int32_t done = 0;
    do {
        const int32_t remaining = sampleFrames - done;
        if (remaining + pos < size) {
            for (int32_t c = 0; c < ins; ++c)
                copy(fBlockInPtrs[static_cast<size_t>(c)] + pos, inputs[c] ? inputs[c] + done : nullptr,
                     remaining);
            for (int32_t c = 0; c < outs; ++c)
                copy(outputs[c] ? outputs[c] + done : nullptr, fBlockOutPtrs[static_cast<size_t>(c)] + pos,
                     remaining);
            pos += remaining;
            done = sampleFrames;
        } else {
            const int32_t n = size - pos;
            for (int32_t c = 0; c < ins; ++c)
                copy(fBlockInPtrs[static_cast<size_t>(c)] + pos, inputs[c] ? inputs[c] + done : nullptr, n);
            for (int32_t c = 0; c < outs; ++c)
                copy(outputs[c] ? outputs[c] + done : nullptr, fBlockOutPtrs[static_cast<size_t>(c)] + pos,
                     n);
            handler(fBlockInPtrs.data(), fBlockOutPtrs.data(), size);
            for (int32_t c = 0; c < ins; ++c) {
                float* b = fBlockInPtrs[static_cast<size_t>(c)];
                copy(b, b + (size - overlap), overlap);
            }
            done += n;
            pos = overlap;
        }
    } while (done < sampleFrames);
    fBlockPosition = pos;
}

// ---- parameters
// ---------------------------------------------------------------------------------------------

void TCustomVST1Module::ParametersChanged(int count) {
    fEffect.numParams = count;
    fParameterValues.Resize(count);
    for (int i = 0; i < fPrograms->Count(); ++i)
        fPrograms->Items(i)->ParameterValues().Resize(count);
}

void TCustomVST1Module::SetNumParams(int32_t) {
    ParametersChanged(fParameterProperties ? fParameterProperties->Count() : 0);
}

float TCustomVST1Module::ParameterFromHost(int32_t Index, float HostValue) {
    if (Index < 0 || Index >= fParameterProperties->Count()) return HostValue;
    TCustomVstParameterProperty& d = *fParameterProperties->Items(Index);
    const long double cf = d.CurveFactor();
    float shaped = HostValue;
    if (cf != 0.0L) {
        if (d.Curve() == ctLogarithmic)
            shaped = static_cast<float>((std::exp(HostValue * std::log(cf + 1.0L)) - 1.0L) / cf);
        else if (d.Curve() == ctExponential)
            shaped = static_cast<float>(std::log(cf * HostValue + 1.0L) / std::log(cf + 1.0L));
    }
    const float x = static_cast<float>(static_cast<long double>(d.Min()) +
                                       (static_cast<long double>(d.Max()) - d.Min()) * shaped);
    const long double sf = d.SmoothingFactor();
    const float in = d.SmoothedInput.load(std::memory_order_relaxed);
    const float smoothedIn = static_cast<float>(in + (static_cast<long double>(x) - in) * sf);
    d.SmoothedInput.store(smoothedIn, std::memory_order_relaxed);
    const float value = d.SmoothedValue.load(std::memory_order_relaxed);
    const float smoothed = static_cast<float>(value + (static_cast<long double>(smoothedIn) - value) * sf);
    d.SmoothedValue.store(smoothed, std::memory_order_relaxed);
    return smoothed;
}

float TCustomVST1Module::ParameterToHost(int32_t Index, float Value) const {
    if (Index < 0 || Index >= fParameterProperties->Count()) return 0.0f;
    const TCustomVstParameterProperty& d = *fParameterProperties->Items(Index);
    float f = static_cast<float>((static_cast<long double>(Value) - d.Min()) /
                                 (static_cast<long double>(d.Max()) - d.Min()));
    const long double cf = d.CurveFactor();
    // Each curve's way back is the inverse of its way in, so a value read back is the value the host wrote.
    if (cf != 0.0L) {
        if (d.Curve() == ctLogarithmic)
            f = static_cast<float>(std::log(cf * f + 1.0L) / std::log(cf + 1.0L));
        else if (d.Curve() == ctExponential)
            f = static_cast<float>((std::exp(f * std::log(cf + 1.0L)) - 1.0L) / cf);
    }
    if (!(f >= 0.0f)) return 0.0f;
    return f > 1.0f ? 1.0f : f;
}

static_assert(std::atomic<std::thread::id>::is_always_lock_free, "the audio thread must not take a lock");

namespace {
constexpr int kMaxSetterRounds = 64;
} // namespace

void TCustomVST1Module::SetParameter(int32_t Index, float Value) {
    const std::thread::id self = std::this_thread::get_id();
    for (const auto& slot : fSetterThreads)
        if (slot.load(std::memory_order_relaxed) == self) return;
    if (!fParameterValues.Contains(Index) || Index >= fParameterProperties->Count()) return;
    std::atomic<std::thread::id>* mine = nullptr;
    for (auto& slot : fSetterThreads) {
        std::thread::id none;
        if (slot.compare_exchange_strong(none, self)) {
            mine = &slot;
            break;
        }
    }
    // More threads storing into one module at once than there are slots: this store is dropped.
    if (!mine) return;
    struct TGuard {
        std::atomic<std::thread::id>* slot;
        std::atomic<int>& count;
        TGuard(std::atomic<std::thread::id>* s, std::atomic<int>& c) : slot(s), count(c) { ++count; }
        ~TGuard() {
            slot->store(std::thread::id());
            --count;
        }
    } guard(mine, fInSetParameter);

    const bool stores = (VST1Flags() & SetOf({pfFlagsProgramChunks})) == 0;
    if (stores) {
        fParameterValues.Set(Index, Value);
        const int32_t current = fCurrentProgram;
        if (fOverwritePrograms && current >= 0 && current < fPrograms->Count())
            fPrograms->Items(current)->SetParameterValue(Index, Value);
    }
    TCustomVstParameterProperty& d = *fParameterProperties->Items(Index);
    if (d.CanBeAutomated() && fAudioMaster)
        CallHost(audioMasterAutomate, Index, 0, nullptr, ParameterToHost(Index, Value));
    // Another thread may store a value while this one runs the handlers, and the two handler calls may
    // finish in either order. Each setter therefore repeats the handlers until the value it last gave them
    // is the one stored, so what they computed ends at the last stored value. The bound only matters while
    // other threads keep storing.
    float applied = Value;
    for (int round = 0; round < kMaxSetterRounds; ++round) {
        if (d.OnParameterChange) d.OnParameterChange(this, Index, applied);
        if (OnParameterChange) OnParameterChange(this, Index, applied);
        if (!stores) break;
        const float now = fParameterValues.Get(Index);
        if (std::bit_cast<std::uint32_t>(now) == std::bit_cast<std::uint32_t>(applied)) break;
        applied = now;
    }
    SetEditorNeedsUpdate();
}

float TCustomVST1Module::GetParameter(int32_t Index) const { return fParameterValues.Get(Index); }

void TCustomVST1Module::GetParamLabel(int32_t Index, char* text, size_t size) {
    if (!text) return;
    std::string s = "undefined";
    if (Index >= 0 && Index < numParams() && Index < fParameterProperties->Count()) {
        TCustomVstParameterProperty& d = *fParameterProperties->Items(Index);
        s = d.Units();
        if (d.OnCustomParameterLabel) d.OnCustomParameterLabel(this, s);
    }
    CopyText(text, size, s);
}

void TCustomVST1Module::GetParamDisplay(int32_t Index, char* text, size_t size) {
    if (!text) return;
    std::string s = "undefined";
    if (Index >= 0 && Index < numParams() && Index < fParameterProperties->Count()) {
        TCustomVstParameterProperty& d = *fParameterProperties->Items(Index);
        s = FloatToStrG(fParameterValues.Get(Index), 15);
        if (d.OnCustomParameterDisplay) d.OnCustomParameterDisplay(this, s);
    }
    CopyText(text, size, s);
}

void TCustomVST1Module::GetParamName(int32_t Index, char* text, size_t size) {
    if (!text) return;
    std::string s = "undefined";
    if (Index >= 0 && Index < numParams() && Index < fParameterProperties->Count())
        s = fParameterProperties->Items(Index)->DisplayName();
    CopyText(text, size, s);
}

// ---- programs
// -----------------------------------------------------------------------------------------------

void TCustomVST1Module::ProgramsChanged(int count) { fEffect.numPrograms = count; }

void TCustomVST1Module::SetNumPrograms(int32_t) { ProgramsChanged(fPrograms ? fPrograms->Count() : 0); }

void TCustomVST1Module::SetCurrentProgram(int32_t Number) {
    if (Number < 0 || Number >= numPrograms() || Number >= fPrograms->Count()) return;
    fCurrentProgram = Number;
    const int32_t count = numParams();
    if (count > 0) {
        const TCustomVstProgram& program = *fPrograms->Items(Number);
        for (int32_t i = 0; i < count; ++i)
            fParameterValues.Set(i, program.ParameterValues().Get(i));
        for (int32_t i = 0; i < count; ++i)
            SetParameter(i, GetParameter(i));
    }
    if (OnProgramChange) OnProgramChange(this);
    SetEditorNeedsUpdate();
}

std::string TCustomVST1Module::CurrentProgramName() const {
    const int32_t current = fCurrentProgram;
    if (current < 0 || current >= numPrograms() || current >= fPrograms->Count()) return {};
    return fPrograms->Items(current)->DisplayName();
}

void TCustomVST1Module::SetCurrentProgramName(const std::string& Name) {
    const int32_t current = fCurrentProgram;
    if (current >= 0 && current < numPrograms() && current < fPrograms->Count())
        fPrograms->Items(current)->SetDisplayName(Name);
    SetEditorNeedsUpdate();
}

intptr_t TCustomVST1Module::GetProgramChunk(void** data, bool isProgram) {
    // A whole bank is not offered; a plug-in must not block the host with a message here.
    if (!isProgram || !data) return 0;
    const int32_t current = fCurrentProgram;
    if (current < 0 || current >= fPrograms->Count()) return 0;
    std::vector<uint8_t>* chunk = fPrograms->Items(current)->ChunkData();
    if (!chunk) return 0;
    *data = chunk->data();
    return static_cast<intptr_t>(chunk->size());
}

intptr_t TCustomVST1Module::SetProgramChunk(const void* data, intptr_t byteSize, bool isProgram) {
    SetEditorNeedsUpdate();
    if (!isProgram || !data || byteSize < 0) return 0;
    const int32_t current = fCurrentProgram;
    if (current < 0 || current >= fPrograms->Count()) return 0;
    std::vector<uint8_t>* chunk = fPrograms->Items(current)->ChunkData();
    if (!chunk) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    chunk->assign(bytes, bytes + byteSize);
    return byteSize;
}

// ---- editor hosting
// -----------------------------------------------------------------------------------------

int32_t TCustomVST1Module::EditOpen(void* parent) {
    IEditorForm* form = nullptr;
    if (OnEditOpen) OnEditOpen(this, form);
    if (!form) return 0;
    // Into the host's window first: a handle that no window system knows, or a window that cannot be made,
    // leaves no editor behind (not one that nobody can see), and the host hears that there is none.
    try {
        form->SetParentWindow(parent);
    } catch (...) {
        if (form != fEditorForm) form->Destroy();
        return 0;
    }
    // An editor opened twice without a close in between would otherwise leave the first window behind.
    if (fEditorForm && fEditorForm != form) fEditorForm->Destroy();
    fEditorForm = form;
    form->Show();
    form->SetBorderStyleNone();
    form->SetBounds(0, 0, form->Width(), form->Height());
    fEditorRect.bottom = static_cast<int16_t>(form->ClientHeight());
    fEditorRect.right = static_cast<int16_t>(form->ClientWidth());
    if (OnParameterChange)
        for (int32_t i = 0; i < numParams(); ++i)
            OnParameterChange(this, i, GetParameter(i));
    return 1;
}

void TCustomVST1Module::EditClose() {
    if (OnEditClose) OnEditClose(this);
    if (IEditorForm* form = std::exchange(fEditorForm, nullptr)) form->Destroy();
}

void TCustomVST1Module::EditIdle() {
    if (!fEditorForm) return;
    // The host's idle calls are the editor's message loop: input, paints and timer ticks arrive here.
    ProcessMessages();
    if (!fEditorForm || !fEditorNeedsUpdate.load(std::memory_order_relaxed)) return;
    if (OnEditIdle) OnEditIdle(this);
    fEditorNeedsUpdate.store(false, std::memory_order_relaxed);
    if (fEditorForm) fEditorForm->Invalidate();
}

void TCustomVST1Module::EditorPostUpdate() { SetEditorNeedsUpdate(); }

} // namespace ql::vst
