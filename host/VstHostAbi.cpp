// Texts for the contract's codes: four-character codes, flag names, category names.
#include "host/VstHostAbi.h"

#include <cstdio>
#include <iterator>

namespace ql::host::vst {

std::string FourCCText(Int32 code) {
    std::string out(4, '.');
    auto u = static_cast<std::uint32_t>(code);
    for (int i = 0; i < 4; ++i) {
        auto c = static_cast<unsigned char>(u >> (24 - 8 * i));
        if (c >= 0x20 && c < 0x7F) out[static_cast<std::size_t>(i)] = static_cast<char>(c);
    }
    return out;
}

std::string FlagNames(Int32 flags) {
    static constexpr struct {
        Int32 bit;
        const char* name;
    } kNames[] = {{effFlagsHasEditor, "HasEditor"},
                  {effFlagsHasClip, "HasClip"},
                  {effFlagsHasVu, "HasVu"},
                  {effFlagsCanMono, "CanMono"},
                  {effFlagsCanReplacing, "CanReplacing"},
                  {effFlagsProgramChunks, "ProgramChunks"},
                  {effFlagsIsSynth, "IsSynth"},
                  {effFlagsNoSoundInStop, "NoSoundInStop"},
                  {effFlagsExtIsAsync, "ExtIsAsync"},
                  {effFlagsExtHasBuffer, "ExtHasBuffer"},
                  {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};
    std::string out;
    Int32 known = 0;
    for (const auto& n : kNames) {
        known |= n.bit;
        if (flags & n.bit) {
            if (!out.empty()) out += ' ';
            out += n.name;
        }
    }
    if (Int32 unknown = flags & ~known) {
        char hex[24];
        std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(unknown));
        if (!out.empty()) out += ' ';
        out += hex;
    }
    return out;
}

const char* CategoryName(IntPtr category) {
    static constexpr const char* kNames[] = {"Unknown",     "Effect",         "Synth",  "Analysis",
                                             "Mastering",   "Spacializer",    "RoomFx", "SurroundFx",
                                             "Restoration", "OfflineProcess", "Shell",  "Generator"};
    if (category < 0 || category >= static_cast<IntPtr>(std::size(kNames))) return "?";
    return kNames[category];
}

} // namespace ql::host::vst
