// Behaviours attached to skinned controls (features) and the controls that ride along with one.
//
// Index
//   EFeatureError
//   TControlItem, TControlList          - the controls a skinned control moves with itself
//   TDIBFeature                         - a behaviour that sees a control's messages first
//   TDIBFeatureItem, TDIBFeatures       - a control's owned list of behaviours, their stored bytes, dispatch
//   feature registry                    - the classes a FeatureClassName may name
//   TMoveableDIB                        - dragging with the mouse, moving with the arrow keys
//   THighlightDIB                       - another opacity while the control is hot or focused
//   TShapeableDIB                       - hit-testing by the shape of the control's face
//
// Everything here runs on the user-interface thread.
#pragma once

#include "dibcontrols/cDIB.h"
#include "toolkit/Controls.h"
#include "toolkit/Region.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

QL_DECLARE_EXCEPTION(EFeatureError, Exception);

/// One control that rides along: published `Control`, a reference the owner watches.
class TControlItem : public TCollectionItem {
    QL_CLASS(TControlItem)
  public:
    explicit TControlItem(TCollection* Collection);

    TControl* Control() const { return fControl; }
    /// Raises EFeatureError for nil and for a control the list already holds.
    void SetControl(TControl* Value);
    /// The control's name, else its class name.
    std::string DisplayName() const override;
    void Assign(const TPersistent* Source) override;

  private:
    friend class TControlList;
    TControl* fControl = nullptr;
};

/// The controls a skinned control moves by the same offset when it moves (`Children`).
class TControlList : public TOwnedCollection {
    QL_CLASS(TControlList)
  public:
    explicit TControlList(TPersistent* Owner);

    TControlItem* Add() { return static_cast<TControlItem*>(TCollection::Add()); }
    TControlItem* Items(int Index) const { return static_cast<TControlItem*>(TCollection::Items(Index)); }
    /// Index of the item holding Control, or -1.
    int IndexOf(const TComponent* Control) const;
    /// Deletes every item that refers to Component (it is going away).
    void ComponentRemoved(const TComponent* Component);
};

/// A behaviour attached to a control through its DIBFeatures; the control is its owner.
class TDIBFeature : public TComponent {
    QL_CLASS(TDIBFeature)
  public:
    explicit TDIBFeature(TComponent* AOwner);

    /// The control the feature works on (its owner when that is a control).
    TControl* Control() const { return fControl; }
    void SetControl(TControl* Value) { fControl = Value; }

    /// Whether the feature can work on Control. Base: yes.
    virtual bool AppliesTo(TControl* Control);
    /// The name shown for the feature. Base: "Unknown feature".
    virtual void GetFeatureName(std::string& Name);
    /// Sees every message of the control before the control does; setting Handled stops it there.
    /// Called on the user-interface thread. Base: nothing.
    virtual void FeatureMessage(TMessage& Message, bool& Handled);

  private:
    TControl* fControl = nullptr;
};

/// One entry of a control's DIBFeatures: a feature object (owned) and whether it is enabled.
///
/// Stored form: Enabled, FeatureClassName, FeatureParameters, and, when there is a feature, the byte
/// block DIBFeatureParameters: the class name as one binary string value, then the feature's published
/// properties as a binary description (runtime/BinaryStream.h). The block is kept as read until
/// AfterLoad applies it.
class TDIBFeatureItem : public TCollectionItem {
    QL_CLASS(TDIBFeatureItem)
  public:
    explicit TDIBFeatureItem(TCollection* Collection);
    /// Frees the feature.
    ~TDIBFeatureItem() override;

    bool Enabled() const { return fEnabled; }
    void SetEnabled(bool Value) { fEnabled = Value; }
    TDIBFeature* Feature() const { return fFeature; }
    /// Takes Value over (freeing the feature held before).
    void SetFeature(TDIBFeature* Value);
    const std::string& FeatureClassName() const { return fFeatureClassName; }
    /// A non-empty Value must name a registered feature class (any case), else EFeatureError
    /// "<Value> has not been registered" and nothing changes. Replaces the feature by a new one of
    /// that class, owned by and working on the control; an empty Value leaves no feature.
    void SetFeatureClassName(const std::string& Value);
    /// Kept for the feature's editors; nothing here reads it.
    const std::string& FeatureParameters() const { return fFeatureParameters; }
    void SetFeatureParameters(const std::string& Value) { fFeatureParameters = Value; }
    /// The stored block of the feature as it is now (empty without a feature).
    std::vector<std::uint8_t> FeatureBytes() const;
    /// Keeps a stored block for AfterLoad.
    void SetFeatureBytes(const std::vector<std::uint8_t>& Value);
    /// Applies stored feature bytes at once: the class and its properties are checked completely
    /// (EFeatureError, EReadError) before the feature is replaced, so bad bytes change nothing.
    void ApplyFeatureBytes(const std::vector<std::uint8_t>& Bytes);
    /// The feature's name, or "DIB feature" without one.
    std::string DisplayName() const override;
    /// Called by the control once its stored description has been read: applies the stored block.
    virtual void AfterLoad();
    void Assign(const TPersistent* Source) override;

  private:
    friend class TDIBFeatures;
    /// The control the features of this item's list work on, or null.
    TControl* Control() const;
    bool fEnabled = true;
    TDIBFeature* fFeature = nullptr;
    std::string fFeatureClassName;
    std::string fFeatureParameters;
    std::vector<std::uint8_t> fPendingBytes;
    bool fHasPendingBytes = false;
};

/// A control's features, in the order they see its messages.
class TDIBFeatures : public TOwnedCollection {
    QL_CLASS(TDIBFeatures)
  public:
    explicit TDIBFeatures(TPersistent* Owner);

    TDIBFeatureItem* Add() { return static_cast<TDIBFeatureItem*>(TCollection::Add()); }
    TDIBFeatureItem* Items(int Index) const {
        return static_cast<TDIBFeatureItem*>(TCollection::Items(Index));
    }
    /// Offers Message to every enabled feature in order; true when one marked it handled.
    bool DispatchMessage(TMessage& Message);
    /// Lets every item finish loading.
    void AfterLoad();
    /// A feature object is going away on its own: the item holding it forgets it.
    void FeatureRemoved(const TComponent* Feature);
};

// ---- feature registry ---------------------------------------------------------------------------

/// Appends a feature class to the registry (and makes it findable by name for stored descriptions).
/// The registry starts with TMoveableDIB, THighlightDIB and TShapeableDIB, in this order.
void RegisterDIBFeature(const TClassInfo& FeatureClass);
/// The registered feature class of that name, compared without regard to case, the last registered
/// first; null when there is none.
const TClassInfo* FindDIBFeature(std::string_view Name);
/// The registered feature classes in registration order.
std::vector<const TClassInfo*> DIBFeatureClasses();

// ---- standard features --------------------------------------------------------------------------

/// Drags the control with the mouse and moves it with the arrow keys, in steps of SnapSize.
///
/// BorderSize keeps a frame of that many pixels along the control's edges free of drag starts: a
/// press at (x, y) starts a drag only when BorderSize <= x < Width - BorderSize and
/// BorderSize <= y < Height - BorderSize, so the rim stays for clicks and whatever the face shows
/// there. With 0 every press may start a drag; a frame as wide as half the control leaves none.
class TMoveableDIB : public TDIBFeature {
    QL_CLASS(TMoveableDIB)
  public:
    explicit TMoveableDIB(TComponent* AOwner);

    bool AllowVertical() const { return fAllowVertical; }
    void SetAllowVertical(bool Value) { fAllowVertical = Value; }
    bool AllowHorizontal() const { return fAllowHorizontal; }
    void SetAllowHorizontal(bool Value) { fAllowHorizontal = Value; }
    std::uint8_t BorderSize() const { return fBorderSize; }
    void SetBorderSize(std::uint8_t Value) { fBorderSize = Value; }
    std::uint8_t SnapSize() const { return fSnapSize; }
    void SetSnapSize(std::uint8_t Value) { fSnapSize = Value; }
    /// Buttons that start a drag: bit n is TMouseButton n (left, right, middle).
    std::uint8_t MouseButtons() const { return fMouseButtons; }
    void SetMouseButtons(std::uint8_t Value) { fMouseButtons = Value & 7; }
    bool Dragging() const { return fDragging; }

    void GetFeatureName(std::string& Name) override;
    /// Never marks a message handled.
    void FeatureMessage(TMessage& Message, bool& Handled) override;

  private:
    bool fAllowVertical = true;
    bool fAllowHorizontal = true;
    std::uint8_t fBorderSize = 0;
    std::uint8_t fSnapSize = 1;
    std::uint8_t fMouseButtons = 1;
    TPoint fStartPosition;
    TPoint fGrab;
    bool fDragging = false;
    TMouseButton fButton = TMouseButton::mbLeft;
};

/// Gives a skinned control HighlightOpacity while it is hot or focused, and its own opacity back after.
class THighlightDIB : public TDIBFeature {
    QL_CLASS(THighlightDIB)
  public:
    explicit THighlightDIB(TComponent* AOwner);

    std::uint8_t HighlightOpacity() const { return fHighlightOpacity; }
    void SetHighlightOpacity(std::uint8_t Value) { fHighlightOpacity = Value; }

    /// Skinned controls only.
    bool AppliesTo(TControl* Control) override;
    void GetFeatureName(std::string& Name) override;
    /// Never marks a message handled.
    void FeatureMessage(TMessage& Message, bool& Handled) override;

  private:
    void Save();
    void Restore();
    std::uint8_t fHighlightOpacity = 255;
    std::uint8_t fSavedOpacity = 255;
    bool fSaved = false;
};

/// Makes a skinned control take the mouse only over the drawn parts of its face: the hit test asks
/// a region built from the face, rebuilt whenever the control was invalidated since.
class TShapeableDIB : public TDIBFeature {
    QL_CLASS(TShapeableDIB)
  public:
    explicit TShapeableDIB(TComponent* AOwner);
    ~TShapeableDIB() override;

    TColor TransparentColor() const { return fTransparentColor; }
    void SetTransparentColor(TColor Value) { fTransparentColor = Value; }
    /// tmAuto: the key colour is the face's bottom-left pixel; tmFixed: TransparentColor.
    TTransparentMode TransparentMode() const { return fTransparentMode; }
    void SetTransparentMode(TTransparentMode Value) { fTransparentMode = Value; }
    /// Non-zero: the face counts where its alpha exceeds this level, whatever its colour.
    std::uint8_t MaskLevel() const { return fMaskLevel; }
    void SetMaskLevel(std::uint8_t Value) { fMaskLevel = Value; }
    /// The region of the last build (control coordinates), null when none or when everything counts.
    const TRegion* HitRegion() const { return fRegion.get(); }

    bool AppliesTo(TControl* Control) override;
    void GetFeatureName(std::string& Name) override;
    /// Answers the hit-test query (and marks it handled); other messages pass.
    void FeatureMessage(TMessage& Message, bool& Handled) override;

  private:
    void Rebuild();
    TColor fTransparentColor = 0;
    TTransparentMode fTransparentMode = TTransparentMode::tmAuto;
    std::uint8_t fMaskLevel = 0;
    std::unique_ptr<TRegion> fRegion;
    std::uint32_t fStamp = 1234;
    bool fBuilt = false; ///< the first query builds, whatever the stamp
};

} // namespace ql
