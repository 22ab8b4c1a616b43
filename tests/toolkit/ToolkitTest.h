// Shared set-up of the toolkit tests: a headless host window, a virtual clock and helpers.
#pragma once

#include <gtest/gtest.h>

#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/MessageLoop.h"
#include "toolkit/PngFiles.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/backends/Headless.h"

namespace ql::test {

/// Whether fonts come from files (builds without a rasteriser draw built-in blocks).
inline bool HaveFontFiles() {
    return !DefaultTextEngine().OpenFace({"Arial", -12, false, false})->FileName().empty();
}
#define QL_REQUIRE_FONT_FILES()                                                                              \
    if (!::ql::test::HaveFontFiles()) GTEST_SKIP() << "this build has no font rasteriser"

/// A host window at screen (100, 50) and a headless system with its clock stopped at 0.
class HeadlessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sys().Reset();
        sys().UseVirtualClock(true);
        host = sys().CreateHostWindow(TRect::Bounds(100, 50, 800, 600));
    }
    void TearDown() override {
        ProcessMessages();
        sys().Reset();
        sys().UseVirtualClock(false);
    }
    static THeadlessWindowSystem& sys() { return HeadlessSystem(); }
    /// Screen position of a point in a form's client area.
    TPoint Screen(const TControl& c, TPoint p) const { return c.ClientToScreen(p); }
    void Pump(int passes = 1) {
        for (int i = 0; i < passes; ++i)
            ProcessMessages();
    }
    TNativeHandle host = 0;
};

/// The editor's read-out and frame on a white form, as the plug-in lays them out.
inline TForm* MakeReadoutForm() {
    auto* form = new TForm(nullptr);
    form->SetBorderStyle(TFormBorderStyle::bsNone);
    form->SetColor(clWhite);
    form->SetClientSize(611, 226);
    auto* shape = new TShape(form);
    shape->SetParent(form);
    shape->SetBounds(248, 56, 121, 121);
    shape->Pen().SetWidth(2);
    auto* label = new TLabel(form);
    label->SetName("LbQ");
    label->SetParent(form);
    label->SetAutoSize(false);
    label->SetBounds(252, 90, 114, 51);
    label->SetAlignment(TAlignment::taCenter);
    label->Font().SetName("Arial");
    label->Font().SetHeight(-43);
    label->Font().SetStyle(fsBold);
    label->SetColor(clWhite);
    label->SetCaption("3Bit");
    return form;
}

/// Frees a component when it goes out of scope.
template <class T>
struct Owned {
    T* p;
    explicit Owned(T* x) : p(x) {}
    ~Owned() {
        if (p) TComponent::Free(p);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    T* operator->() const { return p; }
    T& operator*() const { return *p; }
    T* get() const { return p; }
};

} // namespace ql::test
