// The Quantilaw editor window: read-out clicks and drags, the companding switch, the module's state.
#include "plugin/QuantilawGUI.h"

#include "dibcontrols/cDIBStandardCompressors.h"
#include "plugin/QuantilawModule.h"

#include <cmath>
#include <string>

namespace ql::quantilaw {

using namespace vst;

namespace {
constexpr int kMinBits = 1, kMaxBits = 24;
constexpr std::uint8_t kOpaque = 255, kFaint = 25;
} // namespace

const TClassInfo& TFmQuantilaw::StaticClass() {
    static TClassInfo info("TFmQuantilaw", &TForm::StaticClass, ComponentFactory<TFmQuantilaw>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TFmQuantilaw> b(i);
        b.Method<&TFmQuantilaw::QuantilawClick, TNotifyEvent>("QuantilawClick", "TNotifyEvent");
        b.Method<&TFmQuantilaw::LbQMouseDown, TMouseEvent>("LbQMouseDown", "TMouseEvent");
        b.Method<&TFmQuantilaw::LbQMouseMove, TMouseMoveEvent>("LbQMouseMove", "TMouseMoveEvent");
    });
}

TFmQuantilaw::TFmQuantilaw(TComponent* AOwner) : TForm(AOwner) {
    // The stored description is read after construction: its classes, its pictures' decompressor and the
    // description itself must be known by then.
    RegisterStandardCompressors();
    RegisterToolkitClasses();
    RegisterDIBClasses();
    RegisterClass(TFmQuantilaw::StaticClass());
    RegisterResources();
}

TFmQuantilaw::~TFmQuantilaw() = default;

void TFmQuantilaw::AfterConstruction() {
    TForm::AfterConstruction();
    FindComponents();
}

void TFmQuantilaw::Loaded() {
    TForm::Loaded();
    FindComponents();
}

void TFmQuantilaw::FindComponents() {
    auto find = [this]<class T>(T*& field, const char* name) {
        field = dynamic_cast<T*>(FindComponent(name));
    };
    find(Container, "Container");
    find(DIBImages, "DIBImages");
    find(Kompressor, "Kompressor");
    find(Expander, "Expander");
    find(sQ, "sQ");
    find(LbQ, "LbQ");
    find(DIBSettings, "DIBSettings");
    find(L1, "L1");
    find(DIBFadeLabel1, "DIBFadeLabel1");
}

// ---- the read-out -------------------------------------------------------------------------------------

int TFmQuantilaw::Bits() const { return LbQ ? static_cast<int>(LbQ->Tag()) : 3; }

void TFmQuantilaw::StoreBits(std::int64_t bits) {
    if (!LbQ) return;
    if (bits > kMaxBits)
        bits = kMaxBits;
    else if (bits < kMinBits)
        bits = kMinBits;
    LbQ->SetTag(static_cast<std::intptr_t>(bits));
    LbQ->SetCaption(std::to_string(bits) + "Bit");
    if (Module && static_cast<float>(bits) != Module->GetParameter(0))
        Module->SetParameter(0, static_cast<float>(bits));
}

void TFmQuantilaw::LbQMouseDown(TObject*, TMouseButton, TShiftState, int, int Y) {
    if (!LbQ) return;
    const int half = LbQ->Height() / 2;
    const std::int64_t bits = static_cast<std::int64_t>(LbQ->Tag()) + (Y < half ? 1 : -1);
    LastMouseY = Y;
    StoreBits(bits);
}

void TFmQuantilaw::LbQMouseMove(TObject*, TShiftState Shift, int, int Y) {
    if (!LbQ || !(Shift & ssLeft)) return;
    const std::int64_t d = static_cast<std::int64_t>(LastMouseY) - Y;
    if (d >= -2 && d <= 2) return; // small movements add up
    LastMouseY = Y;
    StoreBits(static_cast<std::int64_t>(LbQ->Tag()) + (d > 2 ? 1 : -1));
}

// ---- companding ---------------------------------------------------------------------------------------

void TFmQuantilaw::SetPlotsOpacity(std::uint8_t opacity) {
    if (Kompressor) Kompressor->SetOpacity(opacity);
    if (Expander) Expander->SetOpacity(opacity);
}

void TFmQuantilaw::QuantilawClick(TObject* Sender) {
    auto* plot = dynamic_cast<TCustomDIBControl*>(Sender);
    if (!plot) return;
    const bool companding = plot->Opacity() == kOpaque;
    SetPlotsOpacity(companding ? kFaint : kOpaque);
    if (!Module) return;
    // Through the properties' writers, so the processing mode in use is kept.
    const TProcessAudioEvent handler =
        companding ? TProcessAudioEvent::Of<&TVST2Module1::VST2ModuleProcess>(Module)
                   : TProcessAudioEvent::Of<&TVST2Module1::VST2ModuleProcessQuantilaw>(Module);
    Module->SetOnProcess(handler);
    Module->SetOnProcessReplacing(handler);
}

void TFmQuantilaw::ShowModuleState() {
    if (!Module || !LbQ) return;
    const float value = Module->GetParameter(0);
    const long double rounded = std::isfinite(value) ? std::round(static_cast<long double>(value)) : kMinBits;
    const std::int64_t bits = rounded > kMaxBits   ? kMaxBits
                              : rounded < kMinBits ? kMinBits
                                                   : static_cast<std::int64_t>(rounded);
    if (LbQ->Tag() != bits) {
        LbQ->SetTag(static_cast<std::intptr_t>(bits));
        LbQ->SetCaption(std::to_string(bits) + "Bit");
    }
    SetPlotsOpacity(Module->Companding() ? kOpaque : kFaint);
}

// ---- hosting ------------------------------------------------------------------------------------------

void TFmQuantilaw::SetParentWindow(void* parent) {
    TForm::SetParentWindow(reinterpret_cast<TNativeHandle>(parent));
}

void TFmQuantilaw::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
    TForm::SetBounds(left, top, width, height);
}

void TFmQuantilaw::Destroy() { TComponent::Free(this); }

} // namespace ql::quantilaw
