// The fade label: the fade table and its ticks, caption drawing and layout, size and accelerators.
#include "dibcontrols/cDIBFadeLabel.h"

#include <cctype>
#include <cmath>

namespace ql {

namespace {
TAngle NormalAngle(long long v) { return static_cast<TAngle>(((v % 360) + 360) % 360); }
} // namespace

const TClassInfo& TCustomDIBFadeLabel::StaticClass() {
    static TClassInfo info("TCustomDIBFadeLabel", &TCustomDIBControl::StaticClass);
    return info;
}

const TClassInfo& TDIBFadeLabel::StaticClass() {
    static TClassInfo info("TDIBFadeLabel", &TCustomDIBFadeLabel::StaticClass,
                           ComponentFactory<TDIBFadeLabel>);
    return info.Populate([](TClassInfo& i) {
        using T = TCustomDIBFadeLabel;
        TClassBuilder<T> b(i);
        b.Enum(
            "Alignment", AlignmentType(), [](const T& l) { return static_cast<int>(l.Alignment()); },
            [](T& l, int64_t v) { l.SetAlignment(static_cast<TAlignment>(v)); });
        // The label's own settings are always stored.
        b.Integer(
             "Angle", &T::Angle, [](T& l, int64_t v) { l.SetAngle(NormalAngle(v)); }, 0, "TAngle")
            .HasDefault = false;
        b.Integer("ColorHighlighted", &T::ColorHighlighted, &T::SetColorHighlighted, clWhite, "TColor")
            .HasDefault = false;
        b.Integer(
             "FrameCount", &T::FrameCount,
             [](T& l, int64_t v) {
                 l.SetFrameCount(static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v));
             },
             10, "Byte")
            .HasDefault = false;
        b.Integer(
             "FrameDelay", &T::FrameDelay,
             [](T& l, int64_t v) {
                 l.SetFrameDelay(static_cast<std::uint32_t>(v < 0 ? 0 : v > 0xFFFFFFFF ? 0xFFFFFFFF : v));
             },
             50, "Cardinal")
            .HasDefault = false;
        b.Enum(
             "Layout", TextLayoutType(), [](const T& l) { return static_cast<int>(l.Layout()); },
             [](T& l, int64_t v) { l.SetLayout(static_cast<TTextLayout>(v)); })
            .HasDefault = false;
        b.Float(
            "Scale", &T::Scale, [](T& l, double v) { l.SetScale(v); }, "Extended");
        b.Boolean("ShowAccelChar", &T::ShowAccelChar, &T::SetShowAccelChar, true).HasDefault = false;
        b.Boolean("Transparent", &T::Transparent, &T::SetTransparent, true).HasDefault = false;
        b.Boolean("WordWrap", &T::WordWrap, &T::SetWordWrap).HasDefault = false;
        TCustomDIBControl::PublishProperties(
            i, TCustomDIBControl::pubChildren | TCustomDIBControl::pubDIBFeatures |
                   TCustomDIBControl::pubOpacity | TCustomDIBControl::pubDIBTabOrder |
                   TCustomDIBControl::pubFocusEvents | TCustomDIBControl::pubKeyEvents |
                   TCustomDIBControl::pubMouseEnterEvents);
    });
}

TCustomDIBFadeLabel::TCustomDIBFadeLabel(TComponent* AOwner)
    : TCustomDIBControl(AOwner), fFadeTimer(new TDIBTimer(nullptr)) {
    fFadeTimer->SetOnTimer(TNotifyEvent::Of<&TCustomDIBFadeLabel::FadeTick>(this));
    SetControlStyle(ControlStyle() | csSetCaption);
    TControl::SetAutoSize(false);
    SetColorHighlighted(clWhite);
}

TCustomDIBFadeLabel::~TCustomDIBFadeLabel() { fFadeTimer.reset(); }

// ---- settings ---------------------------------------------------------------------------------

void TCustomDIBFadeLabel::SetColorHighlighted(TColor Value) {
    fColorHighlighted = Value;
    BuildFadeColors();
}

void TCustomDIBFadeLabel::SetFrameCount(std::uint8_t Value) {
    fFrameCount = Value;
    BuildFadeColors();
}

void TCustomDIBFadeLabel::SetAngle(TAngle Value) {
    fAngle = NormalAngle(Value);
    Invalidate();
}

void TCustomDIBFadeLabel::SetAlignment(TAlignment Value) {
    fAlignment = Value;
    Invalidate();
}

void TCustomDIBFadeLabel::SetLayout(TTextLayout Value) {
    fLayout = Value;
    Invalidate();
}

void TCustomDIBFadeLabel::SetScale(long double Value) {
    fScale = Value;
    Invalidate();
}

void TCustomDIBFadeLabel::SetShowAccelChar(bool Value) {
    fShowAccelChar = Value;
    AdjustSize();
    Invalidate();
}

void TCustomDIBFadeLabel::SetTransparent(bool Value) {
    fTransparent = Value;
    Invalidate();
}

void TCustomDIBFadeLabel::SetWordWrap(bool Value) {
    fWordWrap = Value;
    Invalidate();
}

void TCustomDIBFadeLabel::Loaded() {
    TCustomDIBControl::Loaded();
    AdjustSize();
}

// ---- the fade ---------------------------------------------------------------------------------

void TCustomDIBFadeLabel::BuildFadeColors() {
    fFadeColors.clear();
    if (fFrameCount < 2) return;
    const TColor from = ColorToRGB(Font().Color()), to = ColorToRGB(fColorHighlighted);
    const long double n = fFrameCount;
    const long double dR = (static_cast<long double>(GetRValue(to)) - GetRValue(from)) / n;
    const long double dG = (static_cast<long double>(GetGValue(to)) - GetGValue(from)) / n;
    const long double dB = (static_cast<long double>(GetBValue(to)) - GetBValue(from)) / n;
    long double r = GetRValue(from), g = GetGValue(from), b = GetBValue(from);
    auto byte = [](long double v) {
        return static_cast<std::uint32_t>(static_cast<long long>(std::trunc(v))) & 0xFF;
    };
    for (int i = 0; i < fFrameCount; ++i) {
        r += dR;
        g += dG;
        b += dB;
        fFadeColors.push_back(byte(r) | (byte(g) << 8) | (byte(b) << 16));
    }
}

void TCustomDIBFadeLabel::Highlight() {
    fFadeTimer->SetEnabled(false);
    fFadeColor = fColorHighlighted;
    Invalidate();
}

void TCustomDIBFadeLabel::Unhighlight() {
    if (fFrameCount > 1 && fFrameDelay != 0) {
        fFadeTimer->SetInterval(fFrameDelay);
        fFadeStep = fFrameCount - 1;
        fFadeTimer->SetEnabled(true);
        return;
    }
    fFadeColor = Font().Color();
    Invalidate();
}

void TCustomDIBFadeLabel::FadeTick(TObject*) {
    // A table rebuilt shorter (FrameCount changed) during the fade must not be read past its end.
    if (fFadeStep >= static_cast<std::int32_t>(fFadeColors.size()))
        fFadeStep = static_cast<std::int32_t>(fFadeColors.size()) - 1;
    if (fFadeStep > 0) {
        fFadeColor = static_cast<TColor>(fFadeColors[static_cast<std::size_t>(fFadeStep)]);
        --fFadeStep;
    } else {
        fFadeStep = 0;
        fFadeTimer->SetEnabled(false);
        fFadeColor = Font().Color();
    }
    Invalidate();
}

// ---- caption ----------------------------------------------------------------------------------

char CaptionAccelerator(const std::string& Caption) {
    for (std::size_t i = 0; i + 1 < Caption.size(); ++i) {
        if (Caption[i] != '&') continue;
        if (Caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::toupper(static_cast<unsigned char>(Caption[i + 1])));
    }
    return 0;
}

void TCustomDIBFadeLabel::DrawCaptionText(TRect& Rect, std::uint32_t Flags) {
    std::string text = Caption();
    // An empty label (or a lone accelerator mark) still measures one line.
    if ((Flags & DT_CALCRECT) && (text.empty() || (fShowAccelChar && text == "&"))) text += " ";
    if (!fShowAccelChar) Flags |= DT_NOPREFIX;
    TCanvas& c = PaintCanvas();
    c.Font().Assign(&Font());
    c.Font().SetColor(fFadeColor);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    if (Enabled() || (Flags & DT_CALCRECT)) {
        c.DrawText(text, Rect, Flags);
        return;
    }
    // Engraved: the highlight one pixel down and right, the font's own colour on top.
    Rect = Rect.Offset(1, 1);
    c.Font().SetColor(fColorHighlighted);
    c.DrawText(text, Rect, Flags);
    Rect = Rect.Offset(-1, -1);
    c.Font().SetColor(Font().Color());
    c.DrawText(text, Rect, Flags);
}

void TCustomDIBFadeLabel::Paint() {
    TAbstractSuperDIB* dib = PaintDIB();
    if (!dib) return;
    if (!fTransparent) dib->Fill(Color());
    TRect r{0, 0, Width(), Height()};
    std::uint32_t flags = fAlignment == TAlignment::taCenter         ? DT_CENTER
                          : fAlignment == TAlignment::taRightJustify ? DT_RIGHT
                                                                     : DT_LEFT;
    if (fWordWrap) flags |= DT_WORDBREAK;
    if (fLayout != TTextLayout::tlTop) {
        TRect calc = r;
        DrawCaptionText(calc, flags | DT_CALCRECT | DT_EXPANDTABS);
        const std::int32_t dy =
            fLayout == TTextLayout::tlBottom ? Height() - calc.Bottom : (Height() - calc.Bottom) / 2;
        r = r.Offset(0, dy);
    }
    DrawCaptionText(r, flags | DT_EXPANDTABS);
    dib->SetAngle(fAngle);
    dib->SetScale(fScale);
}

bool TCustomDIBFadeLabel::CanAutoSize(std::int32_t& NewWidth, std::int32_t& NewHeight) {
    TRect r = ClientRect();
    std::uint32_t flags = DT_CALCRECT | DT_EXPANDTABS;
    if (fWordWrap) flags |= DT_WORDBREAK;
    DrawCaptionText(r, flags);
    NewWidth = r.Right;
    NewHeight = r.Bottom;
    return true;
}

// ---- messages and keys ------------------------------------------------------------------------

void TCustomDIBFadeLabel::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CM_FONTCHANGED:
        TCustomDIBControl::Dispatch(m);
        if (!Hot()) fFadeColor = Font().Color();
        AdjustSize();
        BuildFadeColors();
        Invalidate();
        return;
    case CM_TEXTCHANGED:
        TCustomDIBControl::Dispatch(m);
        AdjustSize();
        Invalidate();
        return;
    case CM_DIALOGCHAR:
        DialogChar(m);
        return;
    default:
        TCustomDIBControl::Dispatch(m);
        return;
    }
}

void TCustomDIBFadeLabel::DialogChar(TMessage& m) {
    const char ch = static_cast<char>(std::toupper(static_cast<int>(static_cast<unsigned char>(m.WParam))));
    const char accel = CaptionAccelerator(Caption());
    if (Enabled() && fShowAccelChar && accel != 0 && ch == accel && Parent() && Parent()->CanFocus()) {
        Click();
        m.Result = 1;
    }
}

void TCustomDIBFadeLabel::KeyPress(char& Key) {
    TCustomDIBControl::KeyPress(Key);
    if (Key == ' ') Click();
}

} // namespace ql
