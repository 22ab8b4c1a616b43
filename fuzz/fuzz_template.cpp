// Fuzz target: any bytes loaded as a control template into an image control with an image list, and into
// one without. A load that fails changes nothing; one that succeeds writes a template that loads again.
#include "dibcontrols/cDIBAnimContainer.h"
#include "dibcontrols/cDIBImage.h"
#include "dibcontrols/cDIBSettings.h"
#include "dibcontrols/cDIBStandardCompressors.h"
#include "runtime/StreamWriter.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace {

/// Everything a load may change: the controls' values, the list's pictures and names, the links.
std::string State(ql::TComponent& root) { return ql::PrintDescription(root.WriteDescription()); }

std::uint64_t PixelBytes(ql::TDIBImageList& list) {
    std::uint64_t n = 0;
    for (int i = 0; i < list.DIBImages().Count(); ++i) {
        const ql::TMemoryDIB* dib = list.DIBImages().Items(i)->RawDIB();
        n += std::uint64_t{dib->Width()} * dib->Height() * 4;
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = (ql::RegisterStandardCompressors(), ql::RegisterDIBClasses(), true);
    (void)registered;
    const std::span<const std::uint8_t> input(data, size);
    auto* container = new ql::TDIBImageAnimContainer(nullptr);
    container->SetName("Box");
    auto* list = new ql::TDIBImageList(container);
    list->SetName("Pictures");
    auto* image = new ql::TDIBImage(container);
    image->SetName("Image");
    image->SetDIBImageList(list);
    auto* bare = new ql::TDIBImage(container);
    bare->SetName("Bare");
    for (ql::TDIBImage* target : {image, bare}) {
        const std::string before = State(*container);
        std::size_t used = 0;
        try {
            used = target->LoadTemplate(input);
        } catch (const ql::Exception&) {
            if (State(*container) != before) __builtin_trap();
            continue;
        }
        if (used == 0 || used > size) __builtin_trap();
        // What was loaded is written again and read back by another control, which must not fail.
        // Large pictures are left to the unit tests: copying them again is all such a run would do.
        if (PixelBytes(*list) > (std::uint64_t{16} << 20)) continue;
        std::vector<std::uint8_t> again;
        target->SaveTemplate(again);
        auto* copy = new ql::TDIBImage(container);
        copy->SetDIBImageList(target->DIBImageList());
        if (copy->LoadTemplate(again) != again.size()) __builtin_trap();
        std::vector<std::uint8_t> third;
        copy->SaveTemplate(third);
        if (third.size() != again.size() || !std::equal(third.begin() + 16, third.end(), again.begin() + 16))
            __builtin_trap();
    }
    ql::TComponent::Free(container);
    return 0;
}
