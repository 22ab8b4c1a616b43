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
    b.SetOf(
        "Flags", "TVst2PluginFlags", Vst2PluginFlagType(), [](const M& m) { return m.Flags(); },
        [](M& m, uint64_t v) { m.SetFlags(static_cast<TVst2PluginFlags>(v)); });
    b.String(
         "About", [](const M& m) { return m.About(); }, nullptr)
        .Stored = false;
    b.Object(
         "CPU", TCPU::StaticClass(), [](const M& m) -> TObject* { return m.CPU(); }, nullptr)
        .Stored = false;
    b.String(
        "Version", [](const M& m) { return m.Version(); },
        [](M& m, const std::string& v) { m.SetVersion(v); });
    b.String(
        "EffectName", [](const M& m) { return m.EffectName(); },
        [](M& m, const std::string& v) { m.SetEffectName(v); });
    b.String(
        "ProductName", [](const M& m) { return m.ProductName(); },
        [](M& m, const std::string& v) { m.SetProductName(v); });
    b.String(
        "VendorName", [](const M& m) { return m.VendorName(); },
        [](M& m, const std::string& v) { m.SetVendorName(v); });
    b.Integer(
        "VendorVersion", [](const M& m) { return m.VendorVersion(); },
        [](M& m, int64_t v) { m.SetVendorVersion(static_cast<int32_t>(v)); });
    b.Enum(
        "PlugCategory", VstPluginCategoryType(), [](const M& m) { return m.PlugCategory(); },
        [](M& m, int64_t v) { m.SetPlugCategory(static_cast<TVstPluginCategory>(v)); });
    b.Float(
         "Tempo", [](const M& m) { return m.Tempo(); }, nullptr)
        .Stored = false;
    b.Integer(
        "TailSize", [](const M& m) { return m.TailSize(); },
        [](M& m, int64_t v) { m.SetTailSize(static_cast<int32_t>(v)); });
    b.SetOf(
        "CanDos", "TVstCanDos", VstCanDoType(), [](const M& m) { return m.CanDos(); },
        [](M& m, uint64_t v) { m.SetCanDos(static_cast<TVstCanDos>(v)); });
    b.Boolean(
        "OverwritePrograms", [](const M& m) { return m.OverwritePrograms(); },
        [](M& m, bool v) { m.SetOverwritePrograms(v); });
    b.Float(
        "SampleRate", [](const M& m) { return m.SampleRate(); },
        [](M& m, double v) { m.SetSampleRate(static_cast<float>(v)); });
    b.Integer(
        "BlockSize", [](const M& m) { return m.BlockSize(); },
        [](M& m, int64_t v) { m.SetBlockSize(static_cast<int32_t>(v)); }, 1024);
    b.Integer(
        "numInputs", [](const M& m) { return m.numInputs(); },
        [](M& m, int64_t v) { m.SetNumInputs(static_cast<int32_t>(v)); }, 2);
    b.Integer(
        "numOutputs", [](const M& m) { return m.numOutputs(); },
        [](M& m, int64_t v) { m.SetNumOutputs(static_cast<int32_t>(v)); }, 2);
    b.Integer(
         "numParams", [](const M& m) { return m.numParams(); },
         [](M& m, int64_t v) { m.SetNumParams(static_cast<int32_t>(v)); })
        .Stored = false;
    b.Integer(
         "numPrograms", [](const M& m) { return m.numPrograms(); },
         [](M& m, int64_t v) { m.SetNumPrograms(static_cast<int32_t>(v)); })
        .Stored = false;
    b.Integer(
        "CurrentProgram", [](const M& m) { return m.CurrentProgram(); },
        [](M& m, int64_t v) { m.SetCurrentProgram(static_cast<int32_t>(v)); });
    b.String(
        "CurrentProgramName", [](const M& m) { return m.CurrentProgramName(); },
        [](M& m, const std::string& v) { m.SetCurrentProgramName(v); });
    b.Enum(
        "ProcessingMode", ProcessingModeType(), [](const M& m) { return m.ProcessingMode(); },
        [](M& m, int64_t v) { m.SetProcessingMode(static_cast<TProcessingMode>(v)); });
    b.Integer(
        "BlockModeSize", [](const M& m) { return m.BlockModeSize(); },
        [](M& m, int64_t v) { m.SetBlockModeSize(static_cast<int32_t>(v)); }, 1024);
    b.Integer(
        "BlockModeOverlap", [](const M& m) { return m.BlockModeOverlap(); },
        [](M& m, int64_t v) { m.SetBlockModeOverlap(static_cast<int32_t>(v)); });
    b.Integer(
        "InitialDelay", [](const M& m) { return m.InitialDelay(); },
        [](M& m, int64_t v) { m.SetInitialDelay(static_cast<int32_t>(v)); });
    b.Integer(
        "RealQualities", [](const M& m) { return m.RealQualities(); },
        [](M& m, int64_t v) { m.SetRealQualities(static_cast<int32_t>(v)); });
    b.Integer(
        "OffQualities", [](const M& m) { return m.OffQualities(); },
        [](M& m, int64_t v) { m.SetOffQualities(static_cast<int32_t>(v)); });
    b.Integer(
        "IORatio", [](const M& m) { return m.IORatio(); },
        [](M& m, int64_t v) { m.SetIORatio(static_cast<int32_t>(v)); }, 1);
    b.String(
        "UniqueID", [](const M& m) { return m.UniqueID(); },
        [](M& m, const std::string& v) { m.SetUniqueID(v); });
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

    b.Integer(
        "Left", [](const M& m) { return m.Left(); },
        [](M& m, int64_t v) { m.SetLeft(static_cast<int32_t>(v)); });
    b.Integer(
        "Top", [](const M& m) { return m.Top(); },
        [](M& m, int64_t v) { m.SetTop(static_cast<int32_t>(v)); });
    b.Integer(
        "Width", [](const M& m) { return m.Width(); },
        [](M& m, int64_t v) { m.SetWidth(static_cast<int32_t>(v)); });
    b.Integer(
        "Height", [](const M& m) { return m.Height(); },
        [](M& m, int64_t v) { m.SetHeight(static_cast<int32_t>(v)); });
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
