// The framed shape, the panel and the registration of the toolkit's classes.
#include "toolkit/ExtCtrls.h"

#include <algorithm>

#include "toolkit/Forms.h"
#include "toolkit/Menus.h"

namespace ql {

const TEnumType& ShapeTypeType() {
    static const TEnumType t{
        "TShapeType", {"stRectangle", "stSquare", "stRoundRect", "stRoundSquare", "stEllipse", "stCircle"}};
    return t;
}
const TEnumType& BevelCutType() {
    static const TEnumType t{"TBevelCut", {"bvNone", "bvLowered", "bvRaised", "bvSpace"}};
    return t;
}
const TEnumType& BorderStyleType() {
    static const TEnumType t{"TBorderStyle", {"bsNone", "bsSingle"}};
    return t;
}

// ---- TShape ------------------------------------------------------------------------------------

const TClassInfo& TShape::StaticClass() {
    static TClassInfo info("TShape", &TGraphicControl::StaticClass, ComponentFactory<TShape>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TShape> b(i);
        b.Object(
            "Brush", TBrush::StaticClass(),
            [](const TShape& s) -> TObject* { return const_cast<TShape&>(s).fBrush.get(); }, nullptr);
        b.Object(
            "Pen", TPen::StaticClass(),
            [](const TShape& s) -> TObject* { return const_cast<TShape&>(s).fPen.get(); }, nullptr);
        b.Enum(
            "Shape", ShapeTypeType(), [](const TShape& s) { return static_cast<int>(s.Shape()); },
            [](TShape& s, int64_t v) { s.SetShape(static_cast<TShapeType>(v)); });
    });
}

TShape::TShape(TComponent* AOwner)
    : TGraphicControl(AOwner), fPen(std::make_unique<TPen>()), fBrush(std::make_unique<TBrush>()) {
    SetControlStyle(ControlStyle() | csReplicatable);
    SetBounds(0, 0, 65, 65);
    fPen->OnChange = TNotifyEvent::Of<&TShape::StyleChanged>(this);
    fBrush->OnChange = TNotifyEvent::Of<&TShape::StyleChanged>(this);
}

TShape::~TShape() = default;

void TShape::SetShape(TShapeType v) {
    if (v == fShape) return;
    fShape = v;
    Invalidate();
}

void TShape::Paint() {
    TCanvas& c = Canvas();
    c.Pen().Assign(fPen.get());
    c.Brush().Assign(fBrush.get());
    // The pen is centred on the outline, so the outline runs half a pen inside the bounds and
    // the whole frame, pen included, fills the control exactly.
    const std::int32_t pw = fPen->Width();
    std::int32_t x = pw / 2, y = x;
    std::int32_t w = Width() - pw + 1, h = Height() - pw + 1;
    if (fShape == TShapeType::stSquare || fShape == TShapeType::stRoundSquare ||
        fShape == TShapeType::stCircle) {
        const std::int32_t s = std::min(w, h);
        x += (w - s) / 2;
        y += (h - s) / 2;
        w = h = s;
    }
    // Rounded and elliptic outlines are drawn as their bounding rectangle.
    c.Rectangle(x, y, x + w, y + h);
}

// ---- TCustomPanel ------------------------------------------------------------------------------

const TClassInfo& TCustomPanel::StaticClass() {
    static TClassInfo info("TCustomPanel", &TCustomControl::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TCustomPanel> b(i);
        b.Enum(
            "Alignment", AlignmentType(),
            [](const TCustomPanel& p) { return static_cast<int>(p.Alignment()); },
            [](TCustomPanel& p, int64_t v) { p.SetAlignment(static_cast<TAlignment>(v)); }, 2);
        b.Enum(
            "BevelInner", BevelCutType(),
            [](const TCustomPanel& p) { return static_cast<int>(p.BevelInner()); },
            [](TCustomPanel& p, int64_t v) { p.SetBevelInner(static_cast<TBevelCut>(v)); });
        b.Enum(
            "BevelOuter", BevelCutType(),
            [](const TCustomPanel& p) { return static_cast<int>(p.BevelOuter()); },
            [](TCustomPanel& p, int64_t v) { p.SetBevelOuter(static_cast<TBevelCut>(v)); }, 2);
        b.Integer("BevelWidth", &TCustomPanel::BevelWidth, &TCustomPanel::SetBevelWidth, 1);
        b.Integer("BorderWidth", &TCustomPanel::BorderWidth, &TCustomPanel::SetBorderWidth);
        b.Enum(
            "BorderStyle", BorderStyleType(),
            [](const TCustomPanel& p) { return static_cast<int>(p.BorderStyle()); },
            [](TCustomPanel& p, int64_t v) { p.SetBorderStyle(static_cast<TBorderStyle>(v)); });
        b.Boolean("FullRepaint", &TCustomPanel::FullRepaint, &TCustomPanel::SetFullRepaint, true);
    });
}

const TClassInfo& TPanel::StaticClass() {
    static TClassInfo info("TPanel", &TCustomPanel::StaticClass, ComponentFactory<TPanel>);
    return info;
}

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque |
                    csDoubleClicks | csReplicatable);
    SetBounds(0, 0, 185, 41);
    SetColor(clBtnFace);
}

void TCustomPanel::Rebevel() {
    Realign();
    Invalidate();
}
void TCustomPanel::SetBevelInner(TBevelCut v) {
    if (v != fBevelInner) {
        fBevelInner = v;
        Rebevel();
    }
}
void TCustomPanel::SetBevelOuter(TBevelCut v) {
    if (v != fBevelOuter) {
        fBevelOuter = v;
        Rebevel();
    }
}
void TCustomPanel::SetBevelWidth(std::int32_t v) {
    v = std::clamp(v, 1, 1000);
    if (v != fBevelWidth) {
        fBevelWidth = v;
        Rebevel();
    }
}
void TCustomPanel::SetBorderWidth(std::int32_t v) {
    v = std::clamp(v, 0, 1000);
    if (v != fBorderWidth) {
        fBorderWidth = v;
        Rebevel();
    }
}
void TCustomPanel::SetBorderStyle(TBorderStyle v) {
    if (v != fBorderStyle) {
        fBorderStyle = v;
        Rebevel();
    }
}

TRect TCustomPanel::AlignRect() const {
    std::int32_t inset = fBorderWidth;
    if (fBevelOuter != TBevelCut::bvNone) inset += fBevelWidth;
    if (fBevelInner != TBevelCut::bvNone) inset += fBevelWidth;
    if (fBorderStyle == TBorderStyle::bsSingle) inset += 1;
    const TRect r = ClientRect().Inflated(-inset, -inset);
    return r.IsEmpty() ? TRect{r.Left, r.Top, r.Left, r.Top} : r;
}

namespace {
void Frame3D(TCanvas& c, TRect& r, TColor topLeft, TColor bottomRight, std::int32_t width) {
    for (std::int32_t i = 0; i < width && !r.IsEmpty(); ++i) {
        c.Brush().SetColor(topLeft);
        c.FillRect({r.Left, r.Top, r.Right - 1, r.Top + 1});
        c.FillRect({r.Left, r.Top, r.Left + 1, r.Bottom - 1});
        c.Brush().SetColor(bottomRight);
        c.FillRect({r.Right - 1, r.Top, r.Right, r.Bottom});
        c.FillRect({r.Left, r.Bottom - 1, r.Right, r.Bottom});
        r = r.Inflated(-1, -1);
    }
}
} // namespace

void TCustomPanel::Paint() {
    TCanvas& c = Canvas();
    TRect r = ClientRect();
    if (fBorderStyle == TBorderStyle::bsSingle) Frame3D(c, r, clWindowFrame, clWindowFrame, 1);
    auto bevel = [&](TBevelCut cut) {
        if (cut == TBevelCut::bvNone) return;
        const TColor tl = cut == TBevelCut::bvLowered  ? clBtnShadow
                          : cut == TBevelCut::bvRaised ? clBtnHighlight
                                                       : Color();
        const TColor br = cut == TBevelCut::bvLowered  ? clBtnHighlight
                          : cut == TBevelCut::bvRaised ? clBtnShadow
                                                       : Color();
        Frame3D(c, r, tl, br, fBevelWidth);
    };
    bevel(fBevelOuter);
    Frame3D(c, r, Color(), Color(), fBorderWidth);
    bevel(fBevelInner);
    c.Brush().SetColor(Color());
    c.FillRect(r);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    c.Font().Assign(&Font());
    std::uint32_t flags = DT_EXPANDTABS | DT_VCENTER | DT_SINGLELINE;
    if (fAlignment == TAlignment::taCenter)
        flags |= DT_CENTER;
    else if (fAlignment == TAlignment::taRightJustify)
        flags |= DT_RIGHT;
    c.DrawText(Caption(), r, flags);
}

void RegisterToolkitClasses() {
    RegisterClass(TLabel::StaticClass());
    RegisterClass(TShape::StaticClass());
    RegisterClass(TPanel::StaticClass());
    RegisterClass(TForm::StaticClass());
    RegisterClass(TPopupMenu::StaticClass());
    RegisterClass(TMenuItem::StaticClass());
    RegisterClass(TFont::StaticClass());
    RegisterClass(TPen::StaticClass());
    RegisterClass(TBrush::StaticClass());
    // Stored descriptions name colours and character sets rather than giving their numbers.
    RegisterIntegerIdents("TColor", [](std::string_view ident, int64_t& value) {
        TColor c{};
        if (!IdentToColor(ident, c)) return false;
        value = static_cast<int64_t>(c);
        return true;
    });
    RegisterIntegerIdents("TFontCharset", [](std::string_view ident, int64_t& value) {
        static const std::pair<const char*, int> kCharsets[] = {
            {"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"SYMBOL_CHARSET", 2}, {"OEM_CHARSET", 255}};
        for (auto [name, code] : kCharsets)
            if (ident == name) {
                value = code;
                return true;
            }
        return false;
    });
}

} // namespace ql
