// TDIBSettings: the form component that chooses the compressor stored images are written with.
#pragma once

#include "toolkit/Component.h"

#include <string>

namespace ql {

class TDIBSettings : public TComponent {
    QL_CLASS(TDIBSettings)
  public:
    explicit TDIBSettings(TComponent* AOwner);
    /// The choice is process-wide; any settings component going away switches compression off.
    ~TDIBSettings() override;

    /// The current compressor's identifier in registry text form, or "" when there is none.
    std::string DIBCompressor() const;
    /// Selects the registered compressor with exactly this identifier text; anything else selects none.
    void SetDIBCompressor(const std::string& Value);
};

/// Makes the image layer's classes findable by name for stored descriptions.
void RegisterDIBClasses();

} // namespace ql
