// The Quantilaw plug-in module: its per-instance quantiser state and the handlers its stored description
// binds.
#pragma once

#include "plugin/Quantiser.h"
#include "shell/DVSTModule.h"

namespace ql::quantilaw {

/// Registers the stored descriptions compiled into the library (generated at build time). Safe to repeat.
void RegisterResources();

class TVST2Module1 : public vst::TVST2Module {
    QL_CLASS(TVST2Module1)
  public:
    explicit TVST2Module1(TComponent* AOwner);

    /// Editor request (user-interface thread): a new editor window showing this module's state.
    void VST_EditOpen(TObject* Sender, vst::IEditorForm*& GUI);
    /// Idle time from the host (user-interface thread): after a change from elsewhere the editor's read-out
    /// follows the parameter before it is repainted.
    void EditIdle() override;
    /// Whether the installed handler is the companded one.
    bool Companding() const;
    /// Companded quantiser over numInputs channels (audio thread).
    void VST2ModuleProcessQuantilaw(float* const* inputs, float* const* outputs, int32_t sampleframes);
    /// Linear quantiser over numInputs channels (audio thread).
    void VST2ModuleProcess(float* const* inputs, float* const* outputs, int32_t sampleframes);
    /// Bit depth in the parameter's own range; recomputes this instance's step count (any thread).
    void VST2Module1ParameterProperties0ParameterChange(TObject* Sender, int32_t Index, float Value);
    /// Gives program 0 its bit depth of 3 (loading thread).
    void VST2Module1Programs0Initialize(TObject* Sender);

    const TQuantiserState& QuantiserState() const { return fState; }

  private:
    TQuantiserState fState;
};

/// Makes the module class findable by name, with its stored descriptions (library start-up). Safe to repeat.
void RegisterQuantilawClasses();

/// Creates a fully constructed module for the entry point.
vst::TCustomVST1Module* CreateQuantilawModule(TComponent* owner);

} // namespace ql::quantilaw
