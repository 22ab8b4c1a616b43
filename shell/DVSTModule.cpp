// The published module: property registration and loading of stored descriptions.
#include "shell/DVSTModule.h"

#include "runtime/Streaming.h"
#include "shell/CPU.h"

#include <vector>

namespace ql::vst {

namespace {

template <class T>
void RegisterModuleProperties(TClassBuilder<T>& b) {
    using M = T;
    b.SetOf("Flags", "TVst2PluginFlags", Vst2PluginFlagType(), &M::Flags, &M::SetFlags);
    b.String("About", &M::About, nullptr).Stored = false;
    b.Object("CPU", TCPU::StaticClass(), &M::CPU, nullptr).Stored = false;
    b.String("Version", &M::Version, &M::SetVersion);
    b.String("EffectName", &M::EffectName, &M::SetEffectName);
    b.String("ProductName", &M::ProductName, &M::SetProductName);
    b.String("VendorName", &M::VendorName, &M::SetVendorName);
    b.Integer("VendorVersion", &M::VendorVersion, &M::SetVendorVersion);
    b.Enum("PlugCategory", VstPluginCategoryType(), &M::PlugCategory, &M::SetPlugCategory);
    b.Float("Tempo", &M::Tempo, nullptr).Stored = false;
    b.Integer("TailSize", &M::TailSize, &M::SetTailSize);
    b.SetOf("CanDos", "TVstCanDos", VstCanDoType(), &M::CanDos, &M::SetCanDos);
    b.Boolean("OverwritePrograms", &M::OverwritePrograms, &M::SetOverwritePrograms);
    b.Float("SampleRate", &M::SampleRate, &M::SetSampleRate);
    b.Integer("BlockSize", &M::BlockSize, &M::SetBlockSize, 1024);
    b.Integer("numInputs", &M::numInputs, &M::SetNumInputs, 2);
    b.Integer("numOutputs", &M::numOutputs, &M::SetNumOutputs, 2);
    b.Integer("numParams", &M::numParams, &M::SetNumParams).Stored = false;
    b.Integer("numPrograms", &M::numPrograms, &M::SetNumPrograms).Stored = false;
    b.Integer("CurrentProgram", &M::CurrentProgram, &M::SetCurrentProgram);
    b.String("CurrentProgramName", &M::CurrentProgramName, &M::SetCurrentProgramName);
    b.Enum("ProcessingMode", ProcessingModeType(), &M::ProcessingMode, &M::SetProcessingMode);
    b.Integer("BlockModeSize", &M::BlockModeSize, &M::SetBlockModeSize, 1024);
    b.Integer("BlockModeOverlap", &M::BlockModeOverlap, &M::SetBlockModeOverlap);
    b.Integer("InitialDelay", &M::InitialDelay, &M::SetInitialDelay);
    b.Integer("RealQualities", &M::RealQualities, &M::SetRealQualities);
    b.Integer("OffQualities", &M::OffQualities, &M::SetOffQualities);
    b.Integer("IORatio", &M::IORatio, &M::SetIORatio, 1);
    b.String("UniqueID", &M::UniqueID, &M::SetUniqueID);
    b.Object(
        "Programs", TCustomVstPrograms::StaticClass(), [](const M& m) -> TObject* { return m.Programs(); },
        [](M& m, TObject* v) { m.Programs()->Assign(dynamic_cast<TPersistent*>(v)); });
    b.Object(
        "ParameterProperties", TCustomVstParameterProperties::StaticClass(),
        [](const M& m) -> TObject* { return m.ParameterProperties(); },
        [](M& m, TObject* v) { m.ParameterProperties()->Assign(dynamic_cast<TPersistent*>(v)); });

#define QL_MODULE_EVENT(Name, Type)                                                                          \
    b.Event(                                                                                                 \
        #Name, #Type, [](const M& m) { return m.Name; }, [](M& m, const TMethod& x) { m.Name = Type(x); })
    QL_MODULE_EVENT(OnOpen, TNotifyEvent);
    QL_MODULE_EVENT(OnClose, TNotifyEvent);
    QL_MODULE_EVENT(OnEditOpen, TGetEditorEvent);
    QL_MODULE_EVENT(OnEditClose, TNotifyEvent);
    QL_MODULE_EVENT(OnEditIdle, TNotifyEvent);
    QL_MODULE_EVENT(OnEditorKeyUp, TVSTKeyEvent);
    QL_MODULE_EVENT(OnEditorKeyDown, TVSTKeyEvent);
    QL_MODULE_EVENT(OnEditorKnobMode, TSetKnobModeEvent);
    QL_MODULE_EVENT(OnParameterChange, TParameterChangeEvent);
    QL_MODULE_EVENT(OnResume, TNotifyEvent);
    QL_MODULE_EVENT(OnSuspend, TNotifyEvent);
    QL_MODULE_EVENT(OnBlockSizeChange, TBlockSizeChangeEvent);
    QL_MODULE_EVENT(OnSampleRateChange, TSampleRateChangeEvent);
    QL_MODULE_EVENT(OnGetVU, TGetVUEvent);
    b.Event(
        "OnProcess", "TProcessAudioEvent", [](const M& m) { return m.OnProcess(); },
        [](M& m, const TMethod& x) { m.SetOnProcess(TProcessAudioEvent(x)); });
    b.Event(
        "OnProcessReplacing", "TProcessAudioEvent", [](const M& m) { return m.OnProcessReplacing(); },
        [](M& m, const TMethod& x) { m.SetOnProcessReplacing(TProcessAudioEvent(x)); });
    QL_MODULE_EVENT(OnSoftBypass, TSoftBypassEvent);
    QL_MODULE_EVENT(OnProcessMidi, TProcessMidiEvent);
    QL_MODULE_EVENT(OnInConnected, TInOutConnectedEvent);
    QL_MODULE_EVENT(OnOutConnected, TInOutConnectedEvent);
    QL_MODULE_EVENT(OnStartProcess, TNotifyEvent);
    QL_MODULE_EVENT(OnStopProcess, TNotifyEvent);
    QL_MODULE_EVENT(OnOfflineNotify, TOfflineNotifyEvent);
    QL_MODULE_EVENT(OnOfflinePrepare, TOfflinePrepareEvent);
    QL_MODULE_EVENT(OnOfflineRun, TOfflineRunEvent);
    QL_MODULE_EVENT(OnProcessVarIO, TProcessVarIOEvent);
    QL_MODULE_EVENT(OnSetPanLaw, TOnSetPanLawEvent);
    QL_MODULE_EVENT(OnBeginSetProgram, TNotifyEvent);
    QL_MODULE_EVENT(OnEndSetProgram, TNotifyEvent);
    QL_MODULE_EVENT(OnInitialize, TNotifyEvent);
    QL_MODULE_EVENT(OnProgramChange, TNotifyEvent);
    QL_MODULE_EVENT(OnDispatcher, TOnDispatcherEvent);
    QL_MODULE_EVENT(OnVendorSpecific, TOnVendorSpecificEvent);
    QL_MODULE_EVENT(OnCanDo, TOnCanDoEvent);
    QL_MODULE_EVENT(OnInputProperties, TOnGetChannelPropertiesEvent);
    QL_MODULE_EVENT(OnOutputProperties, TOnGetChannelPropertiesEvent);
#undef QL_MODULE_EVENT

    b.Integer("Left", &M::Left, &M::SetLeft);
    b.Integer("Top", &M::Top, &M::SetTop);
    b.Integer("Width", &M::Width, &M::SetWidth);
    b.Integer("Height", &M::Height, &M::SetHeight);
}

} // namespace

const TClassInfo& TVST2Module::StaticClass() {
    static TClassInfo info("TVST2Module", &TCustomVST2Module::StaticClass, ComponentFactory<TVST2Module>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TVST2Module> b(i);
        RegisterModuleProperties(b);
    });
}

TVST2Module::TVST2Module(TComponent* AOwner) : TCustomVST2Module(AOwner) {}

void TVST2Module::AfterConstruction() {
    if (&ClassType() != &TVST2Module::StaticClass() && !(ComponentState() & csDesigning)) {
        if (!ReadClassDescriptions(TCustomVST2Module::StaticClass()))
            throw EResNotFound(Format("Resource %s not found", {ClassName()}));
        if (OldCreateOrder() && OnCreate) DoCreate();
    }
    TCustomVST2Module::AfterConstruction();
}

void RegisterShellClasses() { RegisterClass(TVST2Module::StaticClass()); }

} // namespace ql::vst
