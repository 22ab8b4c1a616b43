// The text label: caption layout, automatic size and painting.
#include "toolkit/StdCtrls.h"

namespace ql {

const TEnumType& AlignmentType() {
    static const TEnumType t{"TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"}};
    return t;
}
const TEnumType& TextLayoutType() {
    static const TEnumType t{"TTextLayout", {"tlTop", "tlCenter", "tlBottom"}};
    return t;
}

const TClassInfo& TCustomLabel::StaticClass() {
    static TClassInfo info("TCustomLabel", &TGraphicControl::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TCustomLabel> b(i);
        b.Enum(
            "Alignment", AlignmentType(),
            [](const TCustomLabel& l) { return static_cast<int>(l.Alignment()); },
            [](TCustomLabel& l, int64_t v) { l.SetAlignment(static_cast<TAlignment>(v)); });
        b.Enum(
            "Layout", TextLayoutType(), [](const TCustomLabel& l) { return static_cast<int>(l.Layout()); },
            [](TCustomLabel& l, int64_t v) { l.SetLayout(static_cast<TTextLayout>(v)); });
        b.Boolean("ShowAccelChar", &TCustomLabel::ShowAccelChar, &TCustomLabel::SetShowAccelChar, true);
        b.Boolean("Transparent", &TCustomLabel::Transparent, &TCustomLabel::SetTransparent);
        b.Boolean("WordWrap", &TCustomLabel::WordWrap, &TCustomLabel::SetWordWrap);
    });
}

const TClassInfo& TLabel::StaticClass() {
    static TClassInfo info("TLabel", &TCustomLabel::StaticClass, ComponentFactory<TLabel>);
    return info;
}

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    SetControlStyle(ControlStyle() | csOpaque | csReplicatable);
    TControl::SetAutoSize(true);
    SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetAlignment(TAlignment v) {
    if (v != fAlignment) {
        fAlignment = v;
        Invalidate();
    }
}
void TCustomLabel::SetLayout(TTextLayout v) {
    if (v != fLayout) {
        fLayout = v;
        Invalidate();
    }
}
void TCustomLabel::SetWordWrap(bool v) {
    if (v != fWordWrap) {
        fWordWrap = v;
        AdjustSize();
        Invalidate();
    }
}
void TCustomLabel::SetShowAccelChar(bool v) {
    if (v != fShowAccelChar) {
        fShowAccelChar = v;
        AdjustSize();
        Invalidate();
    }
}
void TCustomLabel::SetAutoSize(bool v) { TControl::SetAutoSize(v); }

void TCustomLabel::SetTransparent(bool v) {
    if (v == fTransparent) return;
    fTransparent = v;
    // A transparent label lets what is underneath show, so its parent must repaint it.
    SetControlStyle(v ? ControlStyle() & ~csOpaque : ControlStyle() | csOpaque);
    Invalidate();
}

std::uint32_t TCustomLabel::TextFlags() const {
    std::uint32_t flags = DT_EXPANDTABS;
    if (fWordWrap) flags |= DT_WORDBREAK;
    if (fAlignment == TAlignment::taCenter)
        flags |= DT_CENTER;
    else if (fAlignment == TAlignment::taRightJustify)
        flags |= DT_RIGHT;
    return flags;
}

void TCustomLabel::DoDrawText(TRect& r, std::uint32_t flags) {
    std::string text = Caption();
    // An empty caption (or a lone accelerator mark) still measures one line high.
    if ((flags & DT_CALCRECT) && (text.empty() || (fShowAccelChar && text == "&"))) text += " ";
    if (!fShowAccelChar) flags |= DT_NOPREFIX;
    TCanvas& c = Canvas();
    c.Font().Assign(&Font());
    if (!Enabled() && !(flags & DT_CALCRECT)) {
        // Disabled text: an embossed highlight under grey text.
        TRect shifted = r.Offset(1, 1);
        c.Font().SetColor(clBtnHighlight);
        c.DrawText(text, shifted, flags);
        c.Font().SetColor(clBtnShadow);
        c.DrawText(text, r, flags);
        return;
    }
    c.DrawText(text, r, flags);
}

void TCustomLabel::Paint() {
    TCanvas& c = Canvas();
    if (!fTransparent) {
        c.Brush().SetColor(Color());
        c.Brush().SetStyle(TBrushStyle::bsSolid);
        c.FillRect(ClientRect());
    }
    c.Brush().SetStyle(TBrushStyle::bsClear);
    TRect r = ClientRect();
    const std::uint32_t flags = TextFlags();
    if (fLayout != TTextLayout::tlTop) {
        TRect calc = r;
        DoDrawText(calc, flags | DT_CALCRECT);
        const std::int32_t dy =
            fLayout == TTextLayout::tlBottom ? Height() - calc.Bottom : (Height() - calc.Bottom) / 2;
        r = r.Offset(0, dy);
    }
    DoDrawText(r, flags);
}

bool TCustomLabel::CanAutoSize(std::int32_t& w, std::int32_t& h) {
    TRect r = ClientRect();
    // Measuring needs no surface: the canvas measures with the font alone.
    DoDrawText(r, (TextFlags() & ~(DT_CENTER | DT_RIGHT)) | DT_CALCRECT);
    w = r.Width();
    h = r.Height();
    return true;
}

void TCustomLabel::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED: {
        TGraphicControl::Dispatch(m);
        if (AutoSize() && !IsLoading()) {
            // A right-aligned label grows to the left, a centred one both ways.
            const std::int32_t oldW = Width();
            std::int32_t w = Width(), h = Height();
            if (CanAutoSize(w, h)) {
                std::int32_t x = Left();
                if (fAlignment == TAlignment::taRightJustify) x += oldW - w;
                SetBounds(x, Top(), w, h);
            }
        }
        return;
    }
    default:
        TGraphicControl::Dispatch(m);
        return;
    }
}

} // namespace ql
