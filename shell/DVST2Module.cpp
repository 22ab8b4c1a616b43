// The VST 2 module layer: dispatcher 25..76, can-do, pins, speaker arrangements, MIDI out and host requests.
//
// Index: construction · dispatcher · answers to the host · speaker arrangements · host requests
#include "shell/DVST2Module.h"

#include "runtime/Format.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ql::vst {

namespace {

const char* const kCanDoTexts[kCanDoCount] = {"sendVstEvents",
                                              "sendVstMidiEvent",
                                              "sendVstTimeInfo",
                                              "receiveVstEvents",
                                              "receiveVstMidiEvent",
                                              "receiveVstTimeInfo",
                                              "offline",
                                              "plugAsChannelInsert",
                                              "plugAsSend",
                                              "mixDryWet",
                                              "noRealTime",
                                              "multipass",
                                              "metapass",
                                              "1in1out",
                                              "1in2out",
                                              "2in1out",
                                              "2in2out",
                                              "2in4out",
                                              "4in2out",
                                              "4in4out",
                                              "4in8out",
                                              "8in4out",
                                              "8in8out",
                                              "midiProgramNames",
                                              "LiveWithoutToolbar",
                                              "conformsToWindowRules",
                                              "bypass"};

constexpr size_t kSpeakerHeader = offsetof(VstSpeakerArrangement, speakers);
constexpr int32_t kMaxSpeakerChannels = 1024;

} // namespace

// ---- construction
// -------------------------------------------------------------------------------------------

const TClassInfo& TCustomVST2Module::StaticClass() {
    static TClassInfo info("TCustomVST2Module", &TCustomVST1Module::StaticClass);
    return info;
}

TCustomVST2Module::TCustomVST2Module(TComponent* AOwner)
    : TCustomVST1Module(AOwner), fMidiOutEvents(std::make_unique<TMidiOutEvents>()),
      fMidiRecords(std::make_unique<VstMidiEvent[]>(TMidiOutEvents::kPrepared)) {
    for (int i = 0; i < TMidiOutEvents::kPrepared; ++i) {
        VstMidiEvent& e = fMidiRecords[static_cast<size_t>(i)];
        std::memset(&e, 0, sizeof e);
        e.type = kVstMidiType;
        e.byteSize = 24;
        fMidiOutEvents->events[i] = reinterpret_cast<VstEvent*>(&e);
    }
}

TCustomVST2Module::~TCustomVST2Module() {
    fMidiOutEvents.reset();
    fMidiRecords.reset();
}

// ---- dispatcher
// ---------------------------------------------------------------------------------------------

intptr_t TCustomVST2Module::Dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    intptr_t reply = TCustomVST1Module::Dispatcher(opcode, index, value, ptr, opt);
    switch (opcode) {
    case effProcessEvents:
        ProcessEvents(static_cast<VstEvents*>(ptr));
        return 1;
    case effCanBeAutomated:
        return CanParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
        return StringToParameter(index, static_cast<const char*>(ptr)) ? 1 : 0;
    case effGetNumProgramCategories:
        return GetNumProgramCategories();
    case effGetProgramNameIndexed:
        return GetProgramNameIndexed(ClampToInt32(value), index, static_cast<char*>(ptr), kProgramNameBytes)
                   ? 1
                   : 0;
    case effCopyProgram:
        return CopyProgram(index) ? 1 : 0;
    case effConnectInput:
        if (OnInConnected) OnInConnected(this, index, value != 0);
        return 1;
    case effConnectOutput:
        if (OnOutConnected) OnOutConnected(this, index, value != 0);
        return 1;
    case effGetInputProperties:
        return GetInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetOutputProperties:
        return GetOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetPlugCategory:
        return fPlugCategory;
    case effGetCurrentPosition:
        return GetCurrentPosition();
    case effGetDestinationBuffer:
        return GetDestinationBuffer();
    case effOfflineNotify:
        if (!OnOfflineNotify) return 0;
        OnOfflineNotify(this, static_cast<VstAudioFile*>(ptr), ClampToInt32(value), index != 0);
        return 1;
    case effOfflinePrepare:
        if (!OnOfflinePrepare) return 0;
        OnOfflinePrepare(this, static_cast<VstOfflineTask*>(ptr), ClampToInt32(value));
        return 1;
    case effOfflineRun:
        if (!OnOfflineRun) return 0;
        OnOfflineRun(this, static_cast<VstOfflineTask*>(ptr), ClampToInt32(value));
        return 1;
    case effProcessVarIo:
        if (!OnProcessVarIO) return 0;
        OnProcessVarIO(this, static_cast<VstVariableIo*>(ptr));
        return 1;
    case effSetSpeakerArrangement:
        return SetSpeakerArrangement(value, static_cast<VstSpeakerArrangement*>(ptr)) ? 1 : 0;
    case effSetBlockSizeAndSampleRate:
        SetBlockSizeAndSampleRate(ClampToInt32(value), opt);
        return 1;
    case effSetBypass:
        return SetBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
        return GetEffectName(static_cast<char*>(ptr), kEffectNameBytes) ? 1 : 0;
    case effGetErrorText:
        return GetErrorText(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString:
        return GetVendorString(static_cast<char*>(ptr), kVendorTextBytes) ? 1 : 0;
    case effGetProductString:
        return GetProductString(static_cast<char*>(ptr), kVendorTextBytes) ? 1 : 0;
    case effGetVendorVersion:
        return GetVendorVersion();
    case effVendorSpecific:
        return OnVendorSpecific ? OnVendorSpecific(this, index, value, ptr, opt) : 0;
    case effCanDo:
        return CanDo(HostText(ptr));
    case effGetTailSize:
        return fTailSize;
    case effIdle:
        return Idle();
    case effGetIcon:
        return GetIcon();
    case effSetViewPosition:
        return SetViewPosition(index, ClampToInt32(value)) ? 1 : 0;
    case effGetParameterProperties:
        return GetParameterProperties(index, ptr) ? 1 : 0;
    case effKeysRequired:
        return fKeysRequired ? 0 : 1;
    case effGetVstVersion:
        return 2300;
    case effEditKeyDown:
    case effEditKeyUp: {
        const TVSTKeyEvent& event = opcode == effEditKeyDown ? OnEditorKeyDown : OnEditorKeyUp;
        if (!event) return 0;
        VstKeyCode key{};
        key.character = index;
        key.virt = static_cast<uint8_t>(value & 0xFF);
        const float rounded = std::nearbyint(opt);
        key.modifier = (rounded == rounded && std::fabs(rounded) < 2147483648.0f)
                           ? static_cast<uint8_t>(static_cast<int32_t>(rounded) & 0xFF)
                           : 0;
        event(this, key);
        return 1;
    }
    case effSetEditKnobMode:
        if (!OnEditorKnobMode) return 0;
        OnEditorKnobMode(this, ClampToInt32(value));
        return 1;
    case effGetMidiProgramName:
        return GetMidiProgramName(ptr);
    case effGetCurrentMidiProgram:
        return GetCurrentMidiProgram(ptr);
    case effGetMidiProgramCategory:
        return GetMidiProgramCategory(ptr);
    case effHasMidiProgramsChanged:
        return HasMidiProgramsChanged() ? 1 : 0;
    case effGetMidiKeyName:
        return GetMidiKeyName(ptr) ? 1 : 0;
    case effBeginSetProgram:
        if (!OnBeginSetProgram) return 0;
        OnBeginSetProgram(this);
        return 1;
    case effEndSetProgram:
        if (!OnEndSetProgram) return 0;
        OnEndSetProgram(this);
        return 1;
    case effGetSpeakerArrangement:
        return GetSpeakerArrangement(value, static_cast<VstSpeakerArrangement*>(ptr)) ? 1 : 0;
    case effShellGetNextPlugin:
        return ShellGetNextPlugin(static_cast<char*>(ptr));
    case effStartProcess:
        return StartProcess();
    case effStopProcess:
        return StopProcess();
    case effSetTotalSampleToProcess:
        return SetTotalSampleToProcess(value);
    case effSetPanLaw:
        return SetPanLaw(ClampToInt32(value), opt) ? 1 : 0;
    case effBeginLoadBank:
        return BeginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
    case effBeginLoadProgram:
        return BeginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
    default:
        return reply;
    }
}

// ---- answers to the host
// ------------------------------------------------------------------------------------

void TCustomVST2Module::ProcessEvents(VstEvents* events) {
    if (!events || !OnProcessMidi) return;
    for (int32_t i = 0; i < events->numEvents; ++i) {
        VstEvent* e = events->events[i];
        if (e && e->type == kVstMidiType) OnProcessMidi(this, *reinterpret_cast<VstMidiEvent*>(e));
    }
}

bool TCustomVST2Module::CanParameterBeAutomated(int32_t Index) {
    TCustomVstParameterProperties* params = ParameterProperties();
    if (Index >= 0 && Index < params->Count()) return params->Items(Index)->CanBeAutomated();
    return true;
}

bool TCustomVST2Module::StringToParameter(int32_t Index, const char* text) {
    if (!text || Index < 0 || Index >= numParams()) return false;
    try {
        auto number = TryStrToFloat(HostText(text));
        if (!number) return false;
        SetParameter(Index, static_cast<float>(*number));
        return true;
    } catch (...) {
        return false;
    }
}

int32_t TCustomVST2Module::GetNumProgramCategories() { return 1; }

bool TCustomVST2Module::GetProgramNameIndexed(int32_t, int32_t Number, char* text, size_t size) {
    if (Number < 0 || Number >= numPrograms() || Number >= Programs()->Count()) return false;
    if (text) CopyText(text, size, Programs()->Items(Number)->DisplayName());
    return true;
}

bool TCustomVST2Module::CopyProgram(int32_t) { return false; }

bool TCustomVST2Module::PinProperties(int32_t Index, VstPinProperties* properties, bool input) {
    const int32_t count = input ? numInputs() : numOutputs();
    if (Index < 0 || Index >= count || !properties) return false;
    std::string label = (input ? "Input #" : "Output #") + std::to_string(Index + 1);
    std::string shortLabel = (input ? "In" : "Out") + std::to_string(Index + 1);
    TSpeakerArrangementType arrangement = satStereo;
    TChannelPropertyFlags flags = SetOf({cpfIsActive, cpfIsStereo});
    const TOnGetChannelPropertiesEvent& event = input ? OnInputProperties : OnOutputProperties;
    if (event) event(this, label, shortLabel, arrangement, flags);
    CopyText(properties->label, sizeof properties->label, label.substr(0, 63));
    properties->flags = static_cast<int32_t>(flags & 7u);
    CopyText(properties->shortLabel, sizeof properties->shortLabel, shortLabel.substr(0, 7));
    return true;
}

bool TCustomVST2Module::GetInputProperties(int32_t Index, VstPinProperties* properties) {
    return PinProperties(Index, properties, true);
}

bool TCustomVST2Module::GetOutputProperties(int32_t Index, VstPinProperties* properties) {
    return PinProperties(Index, properties, false);
}

intptr_t TCustomVST2Module::GetCurrentPosition() { return 0; }
intptr_t TCustomVST2Module::GetDestinationBuffer() { return 0; }
bool TCustomVST2Module::SetSpeakerArrangement(intptr_t, VstSpeakerArrangement*) { return false; }
bool TCustomVST2Module::GetSpeakerArrangement(intptr_t, VstSpeakerArrangement*) { return false; }

void TCustomVST2Module::SetBlockSizeAndSampleRate(int32_t blockSize, float sampleRate) {
    // Both are stored as given and both events fire, even when nothing changed.
    StoreBlockSize(blockSize);
    StoreSampleRate(sampleRate);
    if (OnSampleRateChange) OnSampleRateChange(this, sampleRate);
    if (OnBlockSizeChange) OnBlockSizeChange(this, blockSize);
}

bool TCustomVST2Module::SetBypass(bool onOff) {
    if (!OnSoftBypass) return false;
    OnSoftBypass(this, onOff);
    return true;
}

bool TCustomVST2Module::GetEffectName(char* text, size_t size) {
    CopyText(text, size, fEffectName);
    return true;
}

bool TCustomVST2Module::GetErrorText(char*) { return false; }

bool TCustomVST2Module::GetVendorString(char* text, size_t size) {
    CopyText(text, size, fVendorName);
    return true;
}

bool TCustomVST2Module::GetProductString(char* text, size_t size) {
    CopyText(text, size, fProductName);
    return true;
}

int32_t TCustomVST2Module::GetVendorVersion() { return fVendorVersion; }

int32_t TCustomVST2Module::CanDo(const std::string& text) {
    int32_t reply = 0;
    for (int i = 0; i < kCanDoCount; ++i)
        if (text == kCanDoTexts[i]) {
            reply = (fCanDos >> i) & 1u ? 1 : -1;
            break;
        }
    if (OnCanDo) OnCanDo(this, text);
    return reply;
}

intptr_t TCustomVST2Module::GetIcon() { return 0; }
bool TCustomVST2Module::SetViewPosition(int32_t, int32_t) { return false; }
int32_t TCustomVST2Module::Idle() { return 0; }
bool TCustomVST2Module::GetParameterProperties(int32_t, void*) { return false; }
int32_t TCustomVST2Module::GetMidiProgramName(void*) { return 0; }
int32_t TCustomVST2Module::GetCurrentMidiProgram(void*) { return -1; }
int32_t TCustomVST2Module::GetMidiProgramCategory(void*) { return 0; }
bool TCustomVST2Module::HasMidiProgramsChanged() { return false; }
bool TCustomVST2Module::GetMidiKeyName(void*) { return false; }
intptr_t TCustomVST2Module::SetTotalSampleToProcess(intptr_t value) { return value; }
int32_t TCustomVST2Module::ShellGetNextPlugin(char*) { return 0; }

int32_t TCustomVST2Module::StartProcess() {
    if (!OnStartProcess) return 0;
    OnStartProcess(this);
    return 1;
}

int32_t TCustomVST2Module::StopProcess() {
    if (!OnStopProcess) return 0;
    OnStopProcess(this);
    return 1;
}

bool TCustomVST2Module::SetPanLaw(int32_t vType, float val) {
    if (!OnSetPanLaw) return false;
    OnSetPanLaw(this, vType, val);
    return true;
}

int32_t TCustomVST2Module::BeginLoadBank(VstPatchChunkInfo* info) {
    if (!info) return 0;
    if (info->pluginUniqueID != fEffect.uniqueID) return -1;
    if (OnBeginLoadBank) OnBeginLoadBank(this, info);
    return 0;
}

int32_t TCustomVST2Module::BeginLoadProgram(VstPatchChunkInfo* info) {
    if (!info) return 0;
    if (info->pluginUniqueID != fEffect.uniqueID) return -1;
    if (OnBeginLoadProgram) OnBeginLoadProgram(this, info);
    return 0;
}

void TCustomVST2Module::FlushMidiOut() noexcept {
    if (fMidiOutEvents && fMidiOutEvents->numEvents > 0) {
        HostProcessEvents(fMidiOutEvents->AsVstEvents());
        fMidiOutEvents->numEvents = 0;
    }
}

// ---- speaker arrangements
// -----------------------------------------------------------------------------------

bool TCustomVST2Module::NewSpeakerArrangement(VstSpeakerArrangement*& arrangement, int32_t channels) {
    FreeSpeakerArrangement(arrangement);
    if (channels < 0 || channels > kMaxSpeakerChannels) return false;
    const size_t bytes = kSpeakerHeader + sizeof(VstSpeakerProperties) * static_cast<size_t>(channels);
    void* memory = std::calloc(1, std::max(bytes, sizeof(VstSpeakerArrangement)));
    if (!memory) return false;
    arrangement = static_cast<VstSpeakerArrangement*>(memory);
    arrangement->numChannels = channels;
    return true;
}

bool TCustomVST2Module::FreeSpeakerArrangement(VstSpeakerArrangement*& arrangement) {
    std::free(arrangement);
    arrangement = nullptr;
    return true;
}

bool TCustomVST2Module::CopySpeakerProperties(VstSpeakerProperties* destination,
                                              const VstSpeakerProperties* source) {
    if (!destination || !source) return false;
    CopyText(destination->name, sizeof destination->name,
             std::string(source->name, strnlen(source->name, sizeof source->name)));
    destination->type = source->type;
    destination->azimuth = source->azimuth;
    destination->elevation = source->elevation;
    destination->radius = source->radius;
    destination->reserved = source->reserved;
    std::memcpy(destination->future, source->future, sizeof destination->future);
    return true;
}

bool TCustomVST2Module::CopySpeakerArrangement(VstSpeakerArrangement*& destination,
                                               const VstSpeakerArrangement* source) {
    if (!source) return false;
    if (!NewSpeakerArrangement(destination, source->numChannels)) return false;
    destination->type = source->type;
    for (int32_t c = 0; c < source->numChannels; ++c)
        if (!CopySpeakerProperties(&destination->speakers[c], &source->speakers[c])) return false;
    return true;
}

// ---- host requests
// ------------------------------------------------------------------------------------------

void* TCustomVST2Module::HostGetTime(intptr_t filter) {
    return reinterpret_cast<void*>(CallHost(audioMasterGetTime, 0, filter));
}
void TCustomVST2Module::HostSetTime(intptr_t filter, void* timeInfo) {
    CallHost(audioMasterSetTime, 0, filter, timeInfo);
}
intptr_t TCustomVST2Module::HostTempoAt(intptr_t position) {
    return CallHost(audioMasterTempoAt, 0, position);
}
intptr_t TCustomVST2Module::HostWillReplaceOrAccumulate() {
    return CallHost(audioMasterWillReplaceOrAccumulate);
}
intptr_t TCustomVST2Module::HostGetCurrentProcessLevel() {
    return CallHost(audioMasterGetCurrentProcessLevel);
}
intptr_t TCustomVST2Module::HostGetAutomationState() { return CallHost(audioMasterGetAutomationState); }
bool TCustomVST2Module::HostOfflineRead(void* offline, intptr_t option, bool readSource) {
    return CallHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}
bool TCustomVST2Module::HostOfflineWrite(void* offline, intptr_t option) {
    return CallHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}
bool TCustomVST2Module::HostOfflineStart(void* audioFiles, intptr_t numAudioFiles, int32_t numNewAudioFiles) {
    return CallHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles) != 0;
}
bool TCustomVST2Module::HostOfflineGetCurrentPass() {
    return CallHost(audioMasterOfflineGetCurrentPass) != 0;
}
bool TCustomVST2Module::HostOfflineGetCurrentMetaPass() {
    return CallHost(audioMasterOfflineGetCurrentMetaPass) != 0;
}
void TCustomVST2Module::HostSetOutputSampleRate(float sampleRate) {
    CallHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, sampleRate);
}
intptr_t TCustomVST2Module::HostGetInputSpeakerArrangement() {
    return CallHost(audioMasterGetInputSpeakerArrangement);
}
intptr_t TCustomVST2Module::HostGetOutputSpeakerArrangement() {
    return CallHost(audioMasterGetOutputSpeakerArrangement);
}
bool TCustomVST2Module::HostGetVendorString(char* text) {
    return CallHost(audioMasterGetVendorString, 0, 0, text) != 0;
}
bool TCustomVST2Module::HostGetProductString(char* text) {
    return CallHost(audioMasterGetProductString, 0, 0, text) != 0;
}
intptr_t TCustomVST2Module::HostGetVendorVersion() { return CallHost(audioMasterGetVendorVersion); }
intptr_t TCustomVST2Module::HostVendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) {
    return CallHost(audioMasterVendorSpecific, index, value, ptr, opt);
}
intptr_t TCustomVST2Module::HostCanDo(const char* text) {
    return CallHost(audioMasterCanDo, 0, 0, const_cast<char*>(text));
}
intptr_t TCustomVST2Module::HostGetLanguage() { return CallHost(audioMasterGetLanguage); }
intptr_t TCustomVST2Module::HostOpenWindow(void* window) {
    return CallHost(audioMasterOpenWindow, 0, 0, window);
}
bool TCustomVST2Module::HostCloseWindow(void* window) {
    return CallHost(audioMasterCloseWindow, 0, 0, window) != 0;
}
intptr_t TCustomVST2Module::HostGetDirectory() { return CallHost(audioMasterGetDirectory); }
bool TCustomVST2Module::HostUpdateDisplay() { return CallHost(audioMasterUpdateDisplay) != 0; }
bool TCustomVST2Module::HostBeginEdit(int32_t index) { return CallHost(audioMasterBeginEdit, index) != 0; }
bool TCustomVST2Module::HostEndEdit(int32_t index) { return CallHost(audioMasterEndEdit, index) != 0; }
bool TCustomVST2Module::HostOpenFileSelector(void* fileSelector) {
    if (!fileSelector) return false;
    return CallHost(audioMasterOpenFileSelector, 0, 0, fileSelector) != 0;
}
intptr_t TCustomVST2Module::HostGetNumAutomatableParameters() {
    return CallHost(audioMasterGetNumAutomatableParameters);
}
intptr_t TCustomVST2Module::HostGetParameterQuantization() {
    return CallHost(audioMasterGetParameterQuantization);
}
bool TCustomVST2Module::HostIOChanged() { return CallHost(audioMasterIOChanged) != 0; }
bool TCustomVST2Module::HostNeedIdle() { return CallHost(audioMasterNeedIdle) != 0; }
bool TCustomVST2Module::HostSizeWindow(int32_t width, int32_t height) {
    return CallHost(audioMasterSizeWindow, width, height) != 0;
}

float TCustomVST2Module::HostGetSampleRate() {
    intptr_t reply = CallHost(audioMasterGetSampleRate);
    if (reply > 0) {
        const float rate = static_cast<float>(reply);
        StoreSampleRate(rate);
        if (OnSampleRateChange) OnSampleRateChange(this, rate);
    }
    return SampleRate();
}

int32_t TCustomVST2Module::HostGetBlockSize() {
    intptr_t reply = CallHost(audioMasterGetBlockSize);
    if (reply > 0) {
        const int32_t size = ClampToInt32(reply);
        StoreBlockSize(size);
        if (OnBlockSizeChange) OnBlockSizeChange(this, size);
    }
    return BlockSize();
}

intptr_t TCustomVST2Module::HostGetInputLatency() { return CallHost(audioMasterGetInputLatency); }
intptr_t TCustomVST2Module::HostGetOutputLatency() { return CallHost(audioMasterGetOutputLatency); }
intptr_t TCustomVST2Module::HostGetPreviousPlug() { return CallHost(audioMasterGetPreviousPlug); }
intptr_t TCustomVST2Module::HostGetNextPlug() { return CallHost(audioMasterGetNextPlug); }

bool TCustomVST2Module::HostProcessEvents(VstEvents* events) {
    return CallHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

} // namespace ql::vst
