// The framed shape and the panel.
#pragma once

#include <memory>

#include "toolkit/Controls.h"
#include "toolkit/StdCtrls.h"

namespace ql {

enum class TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };
const TEnumType& ShapeTypeType();

/// A non-windowed control that draws a shape with its pen and brush.
class TShape : public TGraphicControl {
    QL_CLASS(TShape)
  public:
    explicit TShape(TComponent* AOwner);
    ~TShape() override;

    TShapeType Shape() const { return fShape; }
    void SetShape(TShapeType v);
    TPen& Pen() { return *fPen; }
    TBrush& Brush() { return *fBrush; }
    void SetPen(const TPen* v) { fPen->Assign(v); }
    void SetBrush(const TBrush* v) { fBrush->Assign(v); }

  protected:
    void Paint() override;

  private:
    void StyleChanged(TObject*) { Invalidate(); }
    TShapeType fShape = TShapeType::stRectangle;
    std::unique_ptr<TPen> fPen;
    std::unique_ptr<TBrush> fBrush;
};

enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum class TBorderStyle { bsNone, bsSingle };
const TEnumType& BevelCutType();
const TEnumType& BorderStyleType();

/// A windowed control with a bevelled frame and a centred caption that holds other controls.
class TCustomPanel : public TCustomControl {
    QL_CLASS(TCustomPanel)
  public:
    explicit TCustomPanel(TComponent* AOwner);

    TAlignment Alignment() const { return fAlignment; }
    void SetAlignment(TAlignment v) {
        fAlignment = v;
        Invalidate();
    }
    TBevelCut BevelInner() const { return fBevelInner; }
    void SetBevelInner(TBevelCut v);
    TBevelCut BevelOuter() const { return fBevelOuter; }
    void SetBevelOuter(TBevelCut v);
    std::int32_t BevelWidth() const { return fBevelWidth; }
    void SetBevelWidth(std::int32_t v);
    std::int32_t BorderWidth() const { return fBorderWidth; }
    void SetBorderWidth(std::int32_t v);
    TBorderStyle BorderStyle() const { return fBorderStyle; }
    void SetBorderStyle(TBorderStyle v);
    bool FullRepaint() const { return fFullRepaint; }
    void SetFullRepaint(bool v) { fFullRepaint = v; }
    /// The area inside border and bevels, where aligned children go.
    TRect AlignRect() const override;

  protected:
    void Paint() override;

  private:
    void Rebevel();
    TAlignment fAlignment = TAlignment::taCenter;
    TBevelCut fBevelInner = TBevelCut::bvNone;
    TBevelCut fBevelOuter = TBevelCut::bvRaised;
    std::int32_t fBevelWidth = 1;
    std::int32_t fBorderWidth = 0;
    TBorderStyle fBorderStyle = TBorderStyle::bsNone;
    bool fFullRepaint = true;
};

class TPanel : public TCustomPanel {
    QL_CLASS(TPanel)
  public:
    explicit TPanel(TComponent* AOwner) : TCustomPanel(AOwner) {}
};

/// Registers the toolkit's control classes so that stored descriptions can create them by name.
void RegisterToolkitClasses();

} // namespace ql
