// 32-bit images with opacity, mask, colour key, rotation and scale, and the routines that draw them.
//
// Index
//   TAbstractSuperDIB   - attributes, notification, the eight per-pixel routines, drawing, regions, import
//   TCustomWinDIB       - pixels owned by a toolkit drawing surface with a canvas on it
//   TCustomMemoryDIB    - pixels in plain memory; stored pictures
//   TWinDIB, TMemoryDIB - the published forms
#pragma once

#include "dibcontrols/cDIBCompressor.h"
#include "runtime/Classes.h"
#include "toolkit/Graphics.h"
#include "toolkit/Region.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ql {

class TCanvas;
class TDrawingSurface;

enum class TTransparentMode { tmAuto, tmFixed };
using TAngle = std::uint16_t;

const TEnumType& TransparentModeType();

/// Parameters of the 3 x 3 convolution of TAbstractSuperDIB::Filter.
struct TFilterParams {
    std::int32_t Reserved = 0; ///< not read
    std::int16_t RedOffset = 0, GreenOffset = 0, BlueOffset = 0;
    std::uint8_t Opacity = 255;
    std::int32_t Divisor = 0;                              ///< 0 or less: the sum of the weights
    std::int16_t Weights[9] = {0, 0, 0, 0, 1, 0, 0, 0, 0}; ///< row by row from the top
};

/// Angle tables (x 256), for i = 0..359 degrees.
struct TAngleTables {
    std::int32_t Sin[360], Cos[360], Sin90[360], Cos90[360];
};
const TAngleTables& AngleTables();

class TAbstractSuperDIB;

/// A per-pixel routine bound to the image whose opacity and key it reads.
struct TRenderMethod {
    using Routine = void (TAbstractSuperDIB::*)(const std::uint8_t* Src, std::uint8_t* Dst, int Rows,
                                                int Cols, std::ptrdiff_t SrcRowStep,
                                                std::ptrdiff_t DstRowStep) const;
    const TAbstractSuperDIB* Self = nullptr;
    Routine Code = nullptr;
    friend bool operator==(const TRenderMethod&, const TRenderMethod&) = default;
};

class TAbstractSuperDIB : public TPersistent {
    QL_CLASS(TAbstractSuperDIB)
  public:
    TAbstractSuperDIB();
    ~TAbstractSuperDIB() override;
    TAbstractSuperDIB(const TAbstractSuperDIB&) = delete;
    TAbstractSuperDIB& operator=(const TAbstractSuperDIB&) = delete;

    // ---- storage
    /// Replaces the pixels with Width x Height new, uncleared ones; a zero side becomes 1.
    /// Any 16-bit sides are accepted; more than kMaxDIBPixelBytes of pixels raises EDIBError before anything
    /// is allocated, and the image stays as it was.
    virtual void ResizeImage(std::uint16_t Width, std::uint16_t Height);
    /// Shows Source's pixels with Source's attributes, without a copy; Source must outlive this view.
    virtual void ShareBitsOf(TAbstractSuperDIB* Source);
    virtual bool IsAllocated() const { return fBits != nullptr || !fOwnsBits; }
    void CopyPixelsFrom(const TAbstractSuperDIB* Source);
    /// Copies the drawing attributes (and, into a view, the size) without notifying.
    virtual void AssignPropertiesTo(TPersistent* Dest) const;
    virtual void SetDefaults();

    // ---- attributes
    TAngle Angle() const { return fAngle; }
    virtual void SetAngle(std::uint16_t Value);
    bool AutoSize() const { return fAutoSize; }
    virtual void SetAutoSize(bool Value);
    /// Inclusive rectangle (Right and Bottom are the last pixels) where others may draw onto this image.
    const TRect& ClipRect() const { return fClipRect; }
    void SetClipRect(const TRect& Rect);
    std::uint16_t Width() const { return fWidth; }
    virtual void SetWidth(std::uint16_t Value);
    std::uint16_t Height() const { return fHeight; }
    virtual void SetHeight(std::uint16_t Value);
    bool Masked() const { return fMasked; }
    virtual void SetMasked(bool Value);
    std::uint8_t Opacity() const { return fOpacity; }
    virtual void SetOpacity(std::uint8_t Value);
    bool OwnsBits() const { return fOwnsBits; }
    long double Scale() const { return fScaleX; }
    virtual void SetScale(long double Value);
    long double ScaleX() const { return fScaleX; }
    virtual void SetScaleX(long double Value);
    long double ScaleY() const { return fScaleY; }
    virtual void SetScaleY(long double Value);
    bool Transparent() const { return fTransparent; }
    void SetTransparent(bool Value);
    /// In tmAuto the colour of the first pixel in memory (bottom-left); in tmFixed the stored key.
    TColor TransparentColor() const;
    void SetTransparentColor(TColor Color);
    /// The stored key in pixel form 0x00RRGGBB, which the routines compare with.
    std::uint32_t TransparentKey() const { return fTransparentColor; }
    TTransparentMode TransparentMode() const { return fTransparentMode; }
    void SetTransparentMode(TTransparentMode Value);
    std::int32_t UpdateCount() const { return fUpdateCount; }
    const TRenderMethod& RenderMethod() const { return fRenderMethod; }
    std::uint8_t* Bits() const { return fBits; }

    TNotifyEvent OnChange;

    // ---- notification
    void BeginUpdate() { ++fUpdateCount; }
    void EndUpdate();
    virtual void Changed();
    virtual void SelectRenderMethod();

    // ---- pixels
    /// First pixel of top-down row Y.
    std::uint8_t* ScanLine(int Y) const;
    std::uint32_t* PixelAt(int X, int Y) const { return reinterpret_cast<std::uint32_t*>(ScanLine(Y)) + X; }
    void SetAlpha(std::uint8_t Value);
    void Fill(TColor Color);
    void FillRect(TColor Color, int X, int Y, int Width, int Height);
    void StretchFrom(const TAbstractSuperDIB* Source);
    /// Pixels whose alpha exceeds Level; null when there are none.
    std::unique_ptr<TRegion> CreateMaskRegion(std::uint8_t Level) const;
    /// Pixels whose colour differs from Color; null when there are none.
    std::unique_ptr<TRegion> CreateColorRegion(TColor Color) const;
    virtual void Filter(const TFilterParams& Params);

    // ---- drawing
    virtual void Draw(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                      std::uint16_t SrcX, std::uint16_t SrcY);
    virtual void DrawRaw(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                         std::uint16_t SrcX, std::uint16_t SrcY);
    virtual void DrawAlphaOnly(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                               std::uint16_t SrcX, std::uint16_t SrcY);
    virtual void DrawMaskAsGrey(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                                std::uint16_t SrcX, std::uint16_t SrcY);
    /// Renders the whole image, rotated and scaled, centred into the whole of Dest.
    virtual void TransformTo(TAbstractSuperDIB* Dest);
    /// Size of the area a transformed draw of Width x Height covers (AutoSize), each side made even.
    void TransformedSize(int Width, int Height, int& NewWidth, int& NewHeight) const;
    // Render8Bit (8-bit palette displays through a colour lookup table) is not provided: no display
    // this system runs on has 8 bits per pixel, and nothing supplies the palette it needs.

    // ---- stored data and files
    /// The stored `Data` value: the plain payload through CompressDIBStream (empty without pixels).
    virtual std::vector<std::uint8_t> WritePixelData();
    /// Reads a stored `Data` value. Every size is checked before the image changes; on error it is left as it
    /// was. A picture with a zero side leaves the image with that size and no pixels.
    virtual void ReadPixelData(const std::vector<std::uint8_t>& Data);
    /// The plain payload of the current pixels.
    std::vector<std::uint8_t> PlainPayload() const;
    virtual void ImportImage(const std::string& FileName);
    virtual void ImportMask(const std::string& FileName);

    // ---- the per-pixel routines
    void RenderMaskAsGrey(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                          std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const;
    void RenderAlphaOnly(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                         std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const;
    void RenderCopy(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols, std::ptrdiff_t SrcRowStep,
                    std::ptrdiff_t DstRowStep) const;
    void RenderOpacity(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                       std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const;
    void RenderMasked(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                      std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const;
    void RenderMaskedOpacity(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                             std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const;
    void RenderTransparent(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                           std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const;
    void RenderTransparentOpacity(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                                  std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const;

    /// Gives this image another image's bound routine (until its next Changed).
    void SetRenderMethod(const TRenderMethod& Method) { fRenderMethod = Method; }

  protected:
    void AssignTo(TPersistent* Dest) const override;
    /// Gives the image a buffer of Width x Height pixels and points Bits at it. A buffer the image owned
    /// before is released only once the new one exists; on failure it raises and changes nothing.
    virtual void AllocateBits() = 0;
    virtual void FreeBits() = 0;
    /// Creates a section-backed temporary of the given size (transformed draws, masks).
    static std::unique_ptr<TAbstractSuperDIB> NewTemporary(int Width, int Height);
    void SetBits(std::uint8_t* Bits) { fBits = Bits; }
    void SetOwnsBits(bool Value) { fOwnsBits = Value; }
    void SetSizeFields(std::uint16_t Width, std::uint16_t Height) {
        fWidth = Width;
        fHeight = Height;
    }
    std::size_t ByteSize() const { return std::size_t{fWidth} * fHeight * 4; }

  private:
    void DrawWith(TRenderMethod::Routine Routine, int DestX, int DestY, int Width, int Height,
                  TAbstractSuperDIB* Dest, std::uint16_t SrcX, std::uint16_t SrcY);
    void DrawStraight(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                      std::uint16_t SrcX, std::uint16_t SrcY);
    void DrawTransformed(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest);
    template <class Pred>
    std::unique_ptr<TRegion> CreateRegion(Pred inside) const;

    TAngle fAngle = 0;
    bool fAutoSize = false;
    TRect fClipRect;
    std::uint16_t fHeight = 0;
    bool fMasked = false;
    std::uint8_t fOpacity = 255;
    bool fOwnsBits = true;
    long double fScaleX = 100, fScaleY = 100;
    bool fTransparent = false;
    std::uint32_t fTransparentColor = 0;
    TTransparentMode fTransparentMode = TTransparentMode::tmAuto;
    std::int32_t fUpdateCount = 0;
    std::uint16_t fWidth = 0;
    TRenderMethod fRenderMethod;
    std::uint8_t* fBits = nullptr;
};

/// Pixels in a toolkit drawing surface, so a canvas can draw on them and a window can show them.
class TCustomWinDIB : public TAbstractSuperDIB {
    QL_CLASS(TCustomWinDIB)
  public:
    TCustomWinDIB();
    TCustomWinDIB(int Width, int Height);
    explicit TCustomWinDIB(TAbstractSuperDIB* Source);
    ~TCustomWinDIB() override;

    /// The drawing surface (null before the first allocation and for views).
    TDrawingSurface* Handle() const { return fSurface.get(); }
    /// The canvas on the surface; null when there is no surface.
    TCanvas* Canvas() const;

  protected:
    void AllocateBits() override;
    void FreeBits() override;

  private:
    void CanvasChanged(TObject* Sender);
    std::unique_ptr<TDrawingSurface> fSurface;
};

/// Pixels in plain memory: stored pictures.
class TCustomMemoryDIB : public TAbstractSuperDIB {
    QL_CLASS(TCustomMemoryDIB)
  public:
    TCustomMemoryDIB();
    TCustomMemoryDIB(int Width, int Height);
    explicit TCustomMemoryDIB(TAbstractSuperDIB* Source);
    ~TCustomMemoryDIB() override;

    const std::string& ImageFilename() const { return fImageFilename; }
    void SetImageFilename(const std::string& v) { fImageFilename = v; }
    const std::string& MaskFilename() const { return fMaskFilename; }
    void SetMaskFilename(const std::string& v) { fMaskFilename = v; }
    bool StoreData() const { return fStoreData; }
    void SetStoreData(bool v) { fStoreData = v; }

    std::vector<std::uint8_t> WritePixelData() override;
    void ReadPixelData(const std::vector<std::uint8_t>& Data) override;
    void ImportImage(const std::string& FileName) override;
    void ImportMask(const std::string& FileName) override;

  protected:
    void AssignTo(TPersistent* Dest) const override;
    void AllocateBits() override;
    void FreeBits() override;

  private:
    std::unique_ptr<std::uint8_t[]> fMemory;
    std::string fImageFilename, fMaskFilename;
    bool fStoreData = true;
};

class TWinDIB : public TCustomWinDIB {
    QL_CLASS(TWinDIB)
  public:
    using TCustomWinDIB::TCustomWinDIB;
};

class TMemoryDIB : public TCustomMemoryDIB {
    QL_CLASS(TMemoryDIB)
  public:
    using TCustomMemoryDIB::TCustomMemoryDIB;
};

} // namespace ql
