// TDIBSettings and the registration of the image layer's classes.
#include "dibcontrols/cDIBSettings.h"

#include "dibcontrols/cDIB.h"
#include "dibcontrols/cDIBAnimContainer.h"
#include "dibcontrols/cDIBBorder.h"
#include "dibcontrols/cDIBCompressor.h"
#include "dibcontrols/cDIBFadeLabel.h"
#include "dibcontrols/cDIBFeatures.h"
#include "dibcontrols/cDIBImage.h"

namespace ql {

const TClassInfo& TDIBSettings::StaticClass() {
    static TClassInfo info("TDIBSettings", &TComponent::StaticClass, ComponentFactory<TDIBSettings>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TDIBSettings> b(i);
        b.String("DIBCompressor", &TDIBSettings::DIBCompressor, &TDIBSettings::SetDIBCompressor);
    });
}

TDIBSettings::TDIBSettings(TComponent* AOwner) : TComponent(AOwner) {}

TDIBSettings::~TDIBSettings() { SetCurrentDIBCompressor(nullptr); }

std::string TDIBSettings::DIBCompressor() const {
    TAbstractDIBCompressor* c = CurrentDIBCompressor();
    return c ? GUIDToString(c->GetGUID()) : std::string();
}

void TDIBSettings::SetDIBCompressor(const std::string& Value) {
    SetCurrentDIBCompressor(FindDIBCompressor(Value));
}

void RegisterDIBClasses() {
    RegisterClass(TDIBSettings::StaticClass());
    RegisterClass(TMemoryDIB::StaticClass());
    RegisterClass(TWinDIB::StaticClass());
    RegisterClass(TDIBImageList::StaticClass());
    RegisterClass(TDIBTimer::StaticClass());
    RegisterClass(TDIBImageAnimContainer::StaticClass());
    RegisterClass(TDIBImage::StaticClass());
    RegisterClass(TDIBFadeLabel::StaticClass());
    RegisterClass(TDIBBorder::StaticClass());
    DIBFeatureClasses(); // the standard features, registered with the feature registry
}

} // namespace ql
