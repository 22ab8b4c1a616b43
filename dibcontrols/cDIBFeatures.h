// Behaviours attached to skinned controls (features) and the controls that ride along with one.
//
// Index
//   EFeatureError
//   TControlItem, TControlList          - the controls a skinned control moves with itself
//   TDIBFeature                         - a behaviour that sees a control's messages first
//   TDIBFeatureItem, TDIBFeatures       - a control's owned list of behaviours, and their dispatch
//
// Everything here runs on the user-interface thread.
#pragma once

#include "toolkit/Controls.h"

#include <string>

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
    /// The feature's name, or "DIB feature" without one.
    std::string DisplayName() const override;
    /// Called by the control once its stored description has been read. Base: nothing.
    virtual void AfterLoad();

  private:
    bool fEnabled = true;
    TDIBFeature* fFeature = nullptr;
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
};

} // namespace ql
