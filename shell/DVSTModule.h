// The published module: every setting as a published property, and loading of the class's stored description.
#pragma once

#include "shell/DVST2Module.h"

namespace ql::vst {

class TVST2Module : public TCustomVST2Module {
    QL_CLASS(TVST2Module)
  public:
    explicit TVST2Module(TComponent* AOwner);

    /// Loads the stored descriptions of the concrete class and its ancestors below TCustomVST2Module, then
    /// fires OnCreate (loading thread). Raises "Resource %s not found" when a descendant class has none.
    void AfterConstruction() override;

    /// Design-time placement carried by stored descriptions; no effect at run time.
    int32_t Left() const { return fLeft; }
    void SetLeft(int32_t v) { fLeft = v; }
    int32_t Top() const { return fTop; }
    void SetTop(int32_t v) { fTop = v; }
    int32_t Width() const { return fWidth; }
    void SetWidth(int32_t v) { fWidth = v; }
    int32_t Height() const { return fHeight; }
    void SetHeight(int32_t v) { fHeight = v; }

  private:
    int32_t fLeft = 0, fTop = 0, fWidth = 0, fHeight = 0;
};

/// Makes the shell's creatable classes findable by name (library start-up).
void RegisterShellClasses();

} // namespace ql::vst
