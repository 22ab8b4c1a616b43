// The text engine of builds without a font rasteriser: every font is the built-in block face.
#include "toolkit/TextEngine.h"

#include <map>
#include <tuple>

namespace ql {

namespace {
class TBuiltInEngine final : public TTextEngine {
  public:
    std::shared_ptr<TFontFace> OpenFace(const TFontRequest& r) override {
        auto key = std::make_tuple(r.Height, r.Bold, r.Italic);
        auto& slot = fFaces[key];
        if (!slot) slot = CreateBuiltInFace(r);
        return slot;
    }

  private:
    std::map<std::tuple<std::int32_t, bool, bool>, std::shared_ptr<TFontFace>> fFaces;
};
} // namespace

TTextEngine& DefaultTextEngine() {
    static TBuiltInEngine engine;
    return engine;
}

} // namespace ql
