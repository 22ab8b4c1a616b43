// Member names of the module enumerations, flag mapping, four-character codes and texts from the host.
#include "shell/VstTypes.h"

#include <cstring>

namespace ql::vst {

const TEnumType& VstPluginCategoryType() {
    static const TEnumType t{"TVstPluginCategory",
                             {"cgUnknown", "cgEffect", "cgSynth", "cgAnalysis", "cgMastering",
                              "cgSpacializer", "cgRoomFx", "cgSurroundFx", "cgRestoration",
                              "cgOfflineProcess", "cgShell", "cgGenerator"}};
    return t;
}

const TEnumType& Vst2PluginFlagType() {
    static const TEnumType t{"TVst2PluginFlag",
                             {"pfHasEditor", "pfFlagsHasClip", "pfFlagsHasVu", "pfFlagsCanMono",
                              "pfFlagsCanReplacing", "pfFlagsProgramChunks", "pfFlagsIsSynth",
                              "pfFlagsNoSoundInStop", "pfFlagsExtIsAsync", "pfFlagsExtHasBuffer"}};
    return t;
}

const TEnumType& VstCanDoType() {
    static const TEnumType t{"TVstCanDo",
                             {"sendVstEvents",
                              "sendVstMidiEvent",
                              "sendVstTimeInfo",
                              "receiveVstEvents",
                              "receiveVstMidiEvent",
                              "receiveVstTimeInfo",
                              "offline",
                              "plugAsChannelInsert",
                              "plugAsSend",
                              "mixDryWet",
                              "noRealTime",
                              "multipass",
                              "metapass",
                              "_1in1out",
                              "_1in2out",
                              "_2in1out",
                              "_2in2out",
                              "_2in4out",
                              "_4in2out",
                              "_4in4out",
                              "_4in8out",
                              "_8in4out",
                              "_8in8out",
                              "midiProgramNames",
                              "LiveWithoutToolbar",
                              "conformsToWindowRules",
                              "bypass"}};
    return t;
}

const TEnumType& ProcessingModeType() {
    static const TEnumType t{"TProcessingMode", {"pmNormal", "pmBlockSave", "pmCopy", "pmMute"}};
    return t;
}

const TEnumType& CurveTypeType() {
    static const TEnumType t{"TCurveType",
                             {"ctLinear", "ctLogarithmic", "ctExponential", "ctFrequencyScale"}};
    return t;
}

int32_t FlagsToRecord(TVst2PluginFlags flags) {
    uint32_t low = flags & 0x3Fu;
    uint32_t high = (flags >> 6) & 0x0Fu;
    return static_cast<int32_t>(low | (high << 8));
}

TVst2PluginFlags RecordToFlags(int32_t bits) {
    auto b = static_cast<uint32_t>(bits);
    return (b & 0x3Fu) | (((b >> 8) & 0x0Fu) << 6);
}

std::string FourCharText(int32_t code) {
    auto c = static_cast<uint32_t>(code);
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8)
        s += static_cast<char>((c >> shift) & 0xFFu);
    return s;
}

int32_t PackFourChars(const std::string& text) {
    char c[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < 4 && i < text.size(); ++i)
        c[i] = text[i];
    return FourCharCode(c[0], c[1], c[2], c[3]);
}

std::string HostText(const void* ptr, size_t limit) {
    if (!ptr) return {};
    const char* s = static_cast<const char*>(ptr);
    return std::string(s, strnlen(s, limit));
}

int32_t ClampToInt32(intptr_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

} // namespace ql::vst
