// The Quantilaw plug-in module: class registration, handlers and the per-instance quantiser state.
#include "plugin/QuantilawModule.h"

#include "plugin/QuantilawGUI.h"

namespace ql::quantilaw {

using namespace vst;

const TClassInfo& TVST2Module1::StaticClass() {
    static TClassInfo info("TVST2Module1", &TVST2Module::StaticClass, ComponentFactory<TVST2Module1>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TVST2Module1> b(i);
        b.Method<&TVST2Module1::VST_EditOpen, TGetEditorEvent>("VST_EditOpen", "TGetEditorEvent");
        b.Method<&TVST2Module1::VST2ModuleProcessQuantilaw, TProcessAudioEvent>("VST2ModuleProcessQuantilaw",
                                                                                "TProcessAudioEvent");
        b.Method<&TVST2Module1::VST2ModuleProcess, TProcessAudioEvent>("VST2ModuleProcess",
                                                                       "TProcessAudioEvent");
        b.Method<&TVST2Module1::VST2Module1ParameterProperties0ParameterChange, TParameterChangeEvent>(
            "VST2Module1ParameterProperties0ParameterChange", "TParameterChangeEvent");
        b.Method<&TVST2Module1::VST2Module1Programs0Initialize, TNotifyEvent>(
            "VST2Module1Programs0Initialize", "TNotifyEvent");
    });
}

TVST2Module1::TVST2Module1(TComponent* AOwner) : TVST2Module(AOwner) {
    // The description is read after construction (AfterConstruction); it must be known by then.
    RegisterResources();
}

void TVST2Module1::VST_EditOpen(TObject*, IEditorForm*& GUI) {
    TFmQuantilaw* form = CreateComponent<TFmQuantilaw>(nullptr);
    form->Module = this;
    form->ShowModuleState();
    GUI = form;
}

void TVST2Module1::EditIdle() {
    if (EditorNeedsUpdate())
        if (auto* form = dynamic_cast<TFmQuantilaw*>(EditorForm())) form->ShowModuleState();
    TVST2Module::EditIdle();
}

bool TVST2Module1::Companding() const {
    return OnProcessReplacing() ==
           TProcessAudioEvent::Of<&TVST2Module1::VST2ModuleProcessQuantilaw>(const_cast<TVST2Module1*>(this));
}

void TVST2Module1::VST2ModuleProcessQuantilaw(float* const* inputs, float* const* outputs,
                                              int32_t sampleframes) {
    ProcessCompanded(inputs, outputs, numInputs(), sampleframes, fState);
}

void TVST2Module1::VST2ModuleProcess(float* const* inputs, float* const* outputs, int32_t sampleframes) {
    ProcessLinear(inputs, outputs, numInputs(), sampleframes, fState);
}

void TVST2Module1::VST2Module1ParameterProperties0ParameterChange(TObject*, int32_t, float Value) {
    fState.SetBitDepth(Value);
}

void TVST2Module1::VST2Module1Programs0Initialize(TObject*) {
    Programs()->Items(0)->SetParameterValue(0, 3.0f);
}

void RegisterQuantilawClasses() {
    RegisterResources();
    RegisterToolkitClasses();
    RegisterDIBClasses();
    RegisterClass(TVST2Module1::StaticClass());
    RegisterClass(TFmQuantilaw::StaticClass());
}

TCustomVST1Module* CreateQuantilawModule(TComponent* owner) { return CreateComponent<TVST2Module1>(owner); }

} // namespace ql::quantilaw
