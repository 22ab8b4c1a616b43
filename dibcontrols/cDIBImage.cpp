// The image control: bounding sizes, stretching and centring, and drawing the linked picture.
#include "dibcontrols/cDIBImage.h"

#include <cmath>

namespace ql {

namespace {
TAngle NormalAngle(long long v) { return static_cast<TAngle>(((v % 360) + 360) % 360); }
} // namespace

// The custom class already carries the properties its constructor names as template properties: a
// constructor sees its own class's information, not that of the class being made.
const TClassInfo& TCustomDIBImage::StaticClass() {
    static TClassInfo info("TCustomDIBImage", &TCustomDIBControl::StaticClass);
    return info.Populate([](TClassInfo& i) {
        using T = TCustomDIBImage;
        TClassBuilder<T> b(i);
        b.Integer(
             "Angle", &T::Angle, [](T& c, int64_t v) { c.SetAngle(NormalAngle(v)); }, 0, "TAngle")
            .HasDefault = false;
        b.Boolean("Center", &T::Center, &T::SetCenter).HasDefault = false;
        b.Object(
            "IndexMain", TDIBImageLink::StaticClass(),
            [](const T& c) -> TObject* { return const_cast<T&>(c).fIndexMain; }, nullptr);
        b.Float(
            "Scale", &T::Scale, [](T& c, double v) { c.SetScale(v); }, "Extended");
        b.Boolean("Stretch", &T::Stretch, &T::SetStretch).HasDefault = false;
        TCustomDIBControl::PublishProperties(i, TCustomDIBControl::pubOpacity);
    });
}

const TClassInfo& TDIBImage::StaticClass() {
    static TClassInfo info("TDIBImage", &TCustomDIBImage::StaticClass, ComponentFactory<TDIBImage>);
    return info.Populate([](TClassInfo& i) {
        TCustomDIBControl::PublishProperties(i, TCustomDIBControl::pubAll & ~TCustomDIBControl::pubOpacity);
    });
}

TCustomDIBImage::TCustomDIBImage(TComponent* AOwner) : TCustomDIBControl(AOwner) {
    TControl::SetAutoSize(false);
    CreateImageLink(fIndexMain);
    for (const char* name : {"Angle", "AutoSize", "Center", "Opacity", "Scale", "Stretch"})
        AddTemplateProperty(name);
}

TCustomDIBImage::~TCustomDIBImage() = default;

void TCustomDIBImage::SetAngle(TAngle Value) {
    fAngle = NormalAngle(Value);
    AdjustSize();
    Invalidate();
}

void TCustomDIBImage::SetScale(long double Value) {
    fScale = Value;
    SetStretch(false);
    AdjustSize();
    Invalidate();
}

void TCustomDIBImage::SetCenter(bool Value) {
    if (Value == fCenter) return;
    fCenter = Value;
    AdjustSize();
    Invalidate();
}

void TCustomDIBImage::SetStretch(bool Value) {
    fStretch = Value;
    if (Value) SetAutoSize(false);
    Invalidate();
}

bool TCustomDIBImage::CanAutoSize(std::int32_t& NewWidth, std::int32_t& NewHeight) {
    TAbstractSuperDIB* image = nullptr;
    if (!fIndexMain->IsValid() || !fIndexMain->GetImage(image) || !image) return false;
    image->SetAngle(fAngle);
    image->SetScale(fScale);
    int w = 0, h = 0;
    image->TransformedSize(image->Width(), image->Height(), w, h);
    NewWidth = w;
    NewHeight = h;
    return true;
}

void TCustomDIBImage::ImageChanged(int, int) {
    AdjustSize();
    // A picture that changed without changing size must still be shown anew.
    Invalidate();
}

void TCustomDIBImage::Loaded() {
    TCustomDIBControl::Loaded();
    AdjustSize();
}

void TCustomDIBImage::Paint() {
    TCustomDIBControl::Paint();
    TAbstractSuperDIB* image = nullptr;
    if (!fIndexMain->GetImage(image) || !image) return;
    TAbstractSuperDIB* target = PaintDIB();
    if (!target) return;
    image->SetAutoSize(true);
    image->SetAngle(fAngle);
    image->SetScale(fScale);
    if (fStretch && image->Width() > 0 && image->Height() > 0) {
        // Whole percentages: the scale is truncated before it is used.
        const std::int32_t percentX = Width() * 100 / image->Width();
        const std::int32_t percentY = Height() * 100 / image->Height();
        image->SetScaleX(percentX);
        image->SetScaleY(percentY);
    }
    int w = 0, h = 0;
    image->TransformedSize(image->Width(), image->Height(), w, h);
    int x = 0, y = 0;
    if (fCenter && !AutoSize()) {
        x = Width() / 2 - w / 2;
        y = Height() / 2 - h / 2;
    }
    image->Draw(x, y, image->Width(), image->Height(), target, 0, 0);
}

} // namespace ql
