// Picture borders: four edges of images from an image list, drawn around a container's client area.
//
// Index
//   TDIBBorderEdge                           - one edge: start, middle and end images, tiled or stretched
//   TDIBHorzBorderEdge, TDIBVertBorderEdge   - the top/bottom and left/right edges as they are published
//   TDIBBorder                               - the component: four edges and their image list
//
// Everything here runs on the user-interface thread.
#pragma once

#include "dibcontrols/cDIBImageList.h"
#include "toolkit/Component.h"
#include "toolkit/Graphics.h"

#include <cstdint>
#include <memory>

namespace ql {

class TDIBBorder;

enum class TDIBBorderDrawStyle { dsTile, dsStretch };
const TEnumType& DIBBorderDrawStyleType();

/// Which side of the client area an edge runs along; fixed when the edge is made.
enum class TDIBBorderSide { bsLeft, bsRight, bsTop, bsBottom };

/// One edge: a start image (top or left end), an end image (bottom or right end) and a middle image
/// that fills the span between them, tiled or stretched. The links tell nobody of changes: the
/// container repaints the border whenever it paints.
class TDIBBorderEdge : public TPersistent {
    QL_CLASS(TDIBBorderEdge)
  public:
    TDIBBorderEdge(TDIBBorder* Border, TDIBBorderSide Side);
    ~TDIBBorderEdge() override;
    TDIBBorderEdge(const TDIBBorderEdge&) = delete;
    TDIBBorderEdge& operator=(const TDIBBorderEdge&) = delete;

    TDIBBorderSide Side() const { return fSide; }
    bool Vertical() const { return fSide == TDIBBorderSide::bsLeft || fSide == TDIBBorderSide::bsRight; }
    bool AutoCalcSize() const { return fAutoCalcSize; }
    void SetAutoCalcSize(bool Value) { fAutoCalcSize = Value; }
    TDIBBorderDrawStyle DrawStyle() const { return fDrawStyle; }
    void SetDrawStyle(TDIBBorderDrawStyle Value) { fDrawStyle = Value; }
    /// The computed size when AutoCalcSize, else the stored one.
    std::int32_t Size() const;
    void SetSize(std::int32_t Value) { fSize = Value; }
    /// The widest (left, right) or tallest (top, bottom) of the edge's images whose link is valid;
    /// 0 without any.
    std::int32_t ComputedSize() const;
    TDIBImageLink& StartImage() const { return *fStart; }
    TDIBImageLink& EndImage() const { return *fEnd; }
    TDIBImageLink& MiddleImage() const { return *fMiddle; }

    /// Draws the edge along its side of Rect: the middle over the span the end images leave, tiled
    /// (the last tile cut at the span) or stretched, then the two end images.
    void Draw(TAbstractSuperDIB* Image, const TRect& Rect) const;
    void Assign(const TPersistent* Source) override;

  private:
    TDIBBorderSide fSide;
    bool fAutoCalcSize = true;
    TDIBBorderDrawStyle fDrawStyle = TDIBBorderDrawStyle::dsTile;
    std::unique_ptr<TDIBImageLink> fStart;
    std::unique_ptr<TDIBImageLink> fEnd;
    std::unique_ptr<TDIBImageLink> fMiddle;
    std::int32_t fSize = 32;
};

/// The top and bottom edges: ImageLeft, ImageRight, ImageMiddle.
class TDIBHorzBorderEdge : public TDIBBorderEdge {
    QL_CLASS(TDIBHorzBorderEdge)
  public:
    using TDIBBorderEdge::TDIBBorderEdge;
};

/// The left and right edges: ImageTop, ImageBottom, ImageMiddle.
class TDIBVertBorderEdge : public TDIBBorderEdge {
    QL_CLASS(TDIBVertBorderEdge)
  public:
    using TDIBBorderEdge::TDIBBorderEdge;
};

/// A frame of images around a container's client area (the container's DIBBorder).
class TDIBBorder : public TComponent {
    QL_CLASS(TDIBBorder)
  public:
    explicit TDIBBorder(TComponent* AOwner);
    ~TDIBBorder() override;

    TDIBHorzBorderEdge& BorderTop() const { return *fTop; }
    TDIBHorzBorderEdge& BorderBottom() const { return *fBottom; }
    TDIBVertBorderEdge& BorderLeft() const { return *fLeft; }
    TDIBVertBorderEdge& BorderRight() const { return *fRight; }
    TCustomDIBImageList* DIBImageList() const { return fDIBImageList; }
    /// Also becomes the list of every edge image link.
    void SetDIBImageList(TCustomDIBImageList* Value);

    /// The left and right edges within Rect, then the top and bottom ones between them (Rect narrowed
    /// by the left and right edges' computed sizes).
    void Draw(TAbstractSuperDIB* Image, const TRect& Rect) const;

  protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

  private:
    std::unique_ptr<TDIBHorzBorderEdge> fBottom;
    std::unique_ptr<TDIBHorzBorderEdge> fTop;
    std::unique_ptr<TDIBVertBorderEdge> fLeft;
    std::unique_ptr<TDIBVertBorderEdge> fRight;
    TCustomDIBImageList* fDIBImageList = nullptr;
};

} // namespace ql
