// Parameter descriptions: range, curve, smoothing, names and change events, and their collection.
#pragma once

#include "shell/VstTypes.h"

#include <atomic>
#include <string>

namespace ql::vst {

class TCustomVST1Module;

/// One parameter's description; its index in the collection is the parameter number.
class TCustomVstParameterProperty : public TCollectionItem {
    QL_CLASS(TCustomVstParameterProperty)
  public:
    explicit TCustomVstParameterProperty(TCollection* Collection);

    float Min() const { return fMin; }
    void SetMin(float v) { fMin = v; }
    float Max() const { return fMax; }
    void SetMax(float v) { fMax = v; }
    TCurveType Curve() const { return fCurve; }
    void SetCurve(TCurveType v) { fCurve = v; }
    float CurveFactor() const { return fCurveFactor; }
    void SetCurveFactor(float v) { fCurveFactor = v; }
    float SmoothingFactor() const { return fSmoothingFactor; }
    void SetSmoothingFactor(float v) { fSmoothingFactor = v; }
    bool CanBeAutomated() const { return fCanBeAutomated; }
    void SetCanBeAutomated(bool v) { fCanBeAutomated = v; }
    const std::string& Units() const { return fUnits; }
    /// Keeps the first 8 characters.
    void SetUnits(const std::string& v);
    /// Keeps the first 30 characters.
    std::string DisplayName() const override { return fDisplayName; }
    void SetDisplayName(const std::string& v) override;
    TCustomVST1Module* VSTModule() const { return fVSTModule; }
    void SetVSTModule(TCustomVST1Module* v) { fVSTModule = v; }

    /// The two smoothing stages; they advance once per host store, on whichever thread stores.
    std::atomic<float> SmoothedInput{0.0f};
    std::atomic<float> SmoothedValue{0.0f};

    TParameterChangeEvent OnParameterChange;
    TCustomParameterLabelEvent OnCustomParameterLabel;
    TCustomParameterDisplayEvent OnCustomParameterDisplay;

    /// Copies the display name into another description; anything else is an assignment error.
    void AssignTo(TPersistent* Dest) const override;

  private:
    float fMin = 0.0f;
    float fMax = 1.0f;
    TCurveType fCurve = ctLinear;
    float fCurveFactor = 1.0f;
    std::string fDisplayName;
    std::string fUnits;
    float fSmoothingFactor = 1.0f;
    bool fCanBeAutomated = true;
    TCustomVST1Module* fVSTModule = nullptr;
};

/// The module's parameter descriptions. Adding or removing one resizes the module's value arrays.
class TCustomVstParameterProperties : public TOwnedCollection {
    QL_CLASS(TCustomVstParameterProperties)
  public:
    explicit TCustomVstParameterProperties(TCustomVST1Module* module);
    TCustomVstParameterProperty* Items(int index) const;
    TCustomVST1Module* VSTModule() const { return fModule; }

  protected:
    void Notify(TCollectionItem* item, TCollectionNotification action) override;

  private:
    TCustomVST1Module* fModule;
};

} // namespace ql::vst
