// The text label.
#pragma once

#include "toolkit/Controls.h"

namespace ql {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout { tlTop, tlCenter, tlBottom };
const TEnumType& AlignmentType();
const TEnumType& TextLayoutType();

/// A non-windowed control that shows its caption in its font.
class TCustomLabel : public TGraphicControl {
    QL_CLASS(TCustomLabel)
  public:
    explicit TCustomLabel(TComponent* AOwner);

    TAlignment Alignment() const { return fAlignment; }
    void SetAlignment(TAlignment v);
    TTextLayout Layout() const { return fLayout; }
    void SetLayout(TTextLayout v);
    bool WordWrap() const { return fWordWrap; }
    void SetWordWrap(bool v);
    bool ShowAccelChar() const { return fShowAccelChar; }
    void SetShowAccelChar(bool v);
    bool Transparent() const { return fTransparent; }
    void SetTransparent(bool v);
    void SetAutoSize(bool v) override;
    bool CanAutoSize(std::int32_t& NewWidth, std::int32_t& NewHeight) override;
    void Dispatch(TMessage& Message) override;

  protected:
    void Paint() override;
    /// Draws (or with DT_CALCRECT measures) the caption in r.
    virtual void DoDrawText(TRect& r, std::uint32_t flags);
    std::uint32_t TextFlags() const;

  private:
    TAlignment fAlignment = TAlignment::taLeftJustify;
    TTextLayout fLayout = TTextLayout::tlTop;
    bool fWordWrap = false;
    bool fShowAccelChar = true;
    bool fTransparent = false;
};

class TLabel : public TCustomLabel {
    QL_CLASS(TLabel)
  public:
    explicit TLabel(TComponent* AOwner) : TCustomLabel(AOwner) {}
};

} // namespace ql
