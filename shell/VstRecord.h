// The VST 2 wire contract as the plug-in sees it: the plug-in record, opcodes, host requests and shared
// structures.
//
// Index: calling convention and entry types · the plug-in record · dispatcher opcodes · host requests ·
//        record flags and pin flags · shared structures · text buffer bounds.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define QL_VSTCALL __cdecl
#else
#define QL_VSTCALL
#endif

namespace ql::vst {

// ---- calling convention and entry types -------------------------------------------------------------------

struct AEffect;

/// The host's callback: effect, opcode, index, value, ptr, opt; the reply is pointer-sized.
using audioMasterCallback = intptr_t(QL_VSTCALL*)(AEffect* effect, int32_t opcode, int32_t index,
                                                  intptr_t value, void* ptr, float opt);
using AEffectDispatcherProc = intptr_t(QL_VSTCALL*)(AEffect* effect, int32_t opcode, int32_t index,
                                                    intptr_t value, void* ptr, float opt);
using AEffectProcessProc = void(QL_VSTCALL*)(AEffect* effect, float** inputs, float** outputs,
                                             int32_t sampleFrames);
using AEffectSetParameterProc = void(QL_VSTCALL*)(AEffect* effect, int32_t index, float parameter);
using AEffectGetParameterProc = float(QL_VSTCALL*)(AEffect* effect, int32_t index);

/// Packs four characters with the first one in the most significant byte.
constexpr int32_t FourCharCode(char c1, char c2, char c3, char c4) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(c1)) << 24) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(c2)) << 16) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(c3)) << 8) |
                                static_cast<uint32_t>(static_cast<uint8_t>(c4)));
}

inline constexpr int32_t kEffectMagic = FourCharCode('V', 's', 't', 'P');

// ---- the plug-in record -----------------------------------------------------------------------------------

/// The record the host holds. Code addresses, reserved words and the two back pointers are pointer-sized;
/// every other field is 4 bytes. 144 bytes in a 32-bit process, 192 in a 64-bit one.
struct AEffect {
    int32_t magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;
    int32_t numOutputs;
    int32_t flags;
    intptr_t resvd1;
    intptr_t resvd2;
    int32_t initialDelay;
    int32_t realQualities;
    int32_t offQualities;
    float ioRatio;
    void* object;
    void* user;
    int32_t uniqueID;
    int32_t version;
    AEffectProcessProc processReplacing;
    char future[60];
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AEffect) == 144);
static_assert(offsetof(AEffect, dispatcher) == 4 && offsetof(AEffect, process) == 8);
static_assert(offsetof(AEffect, setParameter) == 12 && offsetof(AEffect, getParameter) == 16);
static_assert(offsetof(AEffect, numPrograms) == 20 && offsetof(AEffect, flags) == 36);
static_assert(offsetof(AEffect, resvd1) == 40 && offsetof(AEffect, initialDelay) == 48);
static_assert(offsetof(AEffect, ioRatio) == 60 && offsetof(AEffect, object) == 64);
static_assert(offsetof(AEffect, user) == 68 && offsetof(AEffect, uniqueID) == 72);
static_assert(offsetof(AEffect, version) == 76 && offsetof(AEffect, processReplacing) == 80);
static_assert(offsetof(AEffect, future) == 84);
#else
static_assert(sizeof(AEffect) == 192);
static_assert(offsetof(AEffect, dispatcher) == 8 && offsetof(AEffect, process) == 16);
static_assert(offsetof(AEffect, setParameter) == 24 && offsetof(AEffect, getParameter) == 32);
static_assert(offsetof(AEffect, numPrograms) == 40 && offsetof(AEffect, numParams) == 44);
static_assert(offsetof(AEffect, numInputs) == 48 && offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56 && offsetof(AEffect, resvd1) == 64);
static_assert(offsetof(AEffect, resvd2) == 72 && offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, realQualities) == 84 && offsetof(AEffect, offQualities) == 88);
static_assert(offsetof(AEffect, ioRatio) == 92 && offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, user) == 104 && offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, version) == 116 && offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, future) == 128);
#endif

// ---- dispatcher opcodes -----------------------------------------------------------------------------------

enum : int32_t {
    effOpen = 0,
    effClose,
    effSetProgram,
    effGetProgram,
    effSetProgramName,
    effGetProgramName,
    effGetParamLabel,
    effGetParamDisplay,
    effGetParamName,
    effGetVu,
    effSetSampleRate,
    effSetBlockSize,
    effMainsChanged,
    effEditGetRect,
    effEditOpen,
    effEditClose,
    effEditDraw,
    effEditMouse,
    effEditKey,
    effEditIdle,
    effEditTop,
    effEditSleep,
    effIdentify,
    effGetChunk,
    effSetChunk,
    effProcessEvents,
    effCanBeAutomated,
    effString2Parameter,
    effGetNumProgramCategories,
    effGetProgramNameIndexed,
    effCopyProgram,
    effConnectInput,
    effConnectOutput,
    effGetInputProperties,
    effGetOutputProperties,
    effGetPlugCategory,
    effGetCurrentPosition,
    effGetDestinationBuffer,
    effOfflineNotify,
    effOfflinePrepare,
    effOfflineRun,
    effProcessVarIo,
    effSetSpeakerArrangement,
    effSetBlockSizeAndSampleRate,
    effSetBypass,
    effGetEffectName,
    effGetErrorText,
    effGetVendorString,
    effGetProductString,
    effGetVendorVersion,
    effVendorSpecific,
    effCanDo,
    effGetTailSize,
    effIdle,
    effGetIcon,
    effSetViewPosition,
    effGetParameterProperties,
    effKeysRequired,
    effGetVstVersion,
    effEditKeyDown,
    effEditKeyUp,
    effSetEditKnobMode,
    effGetMidiProgramName,
    effGetCurrentMidiProgram,
    effGetMidiProgramCategory,
    effHasMidiProgramsChanged,
    effGetMidiKeyName,
    effBeginSetProgram,
    effEndSetProgram,
    effGetSpeakerArrangement,
    effShellGetNextPlugin,
    effStartProcess,
    effStopProcess,
    effSetTotalSampleToProcess,
    effSetPanLaw,
    effBeginLoadBank,
    effBeginLoadProgram,
};
static_assert(effGetChunk == 23 && effProcessEvents == 25 && effGetVstVersion == 58 &&
              effBeginLoadProgram == 76);

// ---- host requests ----------------------------------------------------------------------------------------

enum : int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion,
    audioMasterCurrentId,
    audioMasterIdle,
    audioMasterPinConnected,
    audioMasterWantMidi = 6,
    audioMasterGetTime,
    audioMasterProcessEvents,
    audioMasterSetTime,
    audioMasterTempoAt,
    audioMasterGetNumAutomatableParameters,
    audioMasterGetParameterQuantization,
    audioMasterIOChanged,
    audioMasterNeedIdle,
    audioMasterSizeWindow,
    audioMasterGetSampleRate,
    audioMasterGetBlockSize,
    audioMasterGetInputLatency,
    audioMasterGetOutputLatency,
    audioMasterGetPreviousPlug,
    audioMasterGetNextPlug,
    audioMasterWillReplaceOrAccumulate,
    audioMasterGetCurrentProcessLevel,
    audioMasterGetAutomationState,
    audioMasterOfflineStart,
    audioMasterOfflineRead,
    audioMasterOfflineWrite,
    audioMasterOfflineGetCurrentPass,
    audioMasterOfflineGetCurrentMetaPass,
    audioMasterSetOutputSampleRate,
    audioMasterGetOutputSpeakerArrangement,
    audioMasterGetVendorString,
    audioMasterGetProductString,
    audioMasterGetVendorVersion,
    audioMasterVendorSpecific,
    audioMasterCanDo = 37,
    audioMasterGetLanguage,
    audioMasterOpenWindow,
    audioMasterCloseWindow,
    audioMasterGetDirectory,
    audioMasterUpdateDisplay,
    audioMasterBeginEdit,
    audioMasterEndEdit,
    audioMasterOpenFileSelector,
    audioMasterGetInputSpeakerArrangement = 49,
};
static_assert(audioMasterTempoAt == 10 && audioMasterIOChanged == 13 && audioMasterVendorSpecific == 35 &&
              audioMasterOpenFileSelector == 45);

// ---- record flags and pin flags ---------------------------------------------------------------------------

enum : int32_t {
    effFlagsHasEditor = 1,
    effFlagsHasClip = 2,
    effFlagsHasVu = 4,
    effFlagsCanMono = 8,
    effFlagsCanReplacing = 16,
    effFlagsProgramChunks = 32,
    effFlagsIsSynth = 256,
    effFlagsNoSoundInStop = 512,
    effFlagsExtIsAsync = 1024,
    effFlagsExtHasBuffer = 2048,
};

enum : int32_t { kVstPinIsActive = 1, kVstPinIsStereo = 2, kVstPinUseSpeaker = 4 };
enum : int32_t { kVstMidiType = 1 };

// ---- shared structures ------------------------------------------------------------------------------------

/// An incoming or outgoing event list: a count, a reserved word, then the event pointers.
struct VstEvent {
    int32_t type;
    int32_t byteSize;
    int32_t deltaFrames;
    int32_t flags;
    char data[16];
};

struct VstEvents {
    int32_t numEvents;
    intptr_t reserved;
    VstEvent* events[2]; ///< really numEvents entries
};

struct VstMidiEvent {
    int32_t type;
    int32_t byteSize;
    int32_t deltaFrames;
    int32_t flags;
    int32_t noteLength;
    int32_t noteOffset;
    char midiData[4];
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};
static_assert(sizeof(VstMidiEvent) == 32 && sizeof(VstEvent) == 32);

struct VstPinProperties {
    char label[64];
    int32_t flags;
    int32_t arrangementType;
    char shortLabel[8];
    char future[48];
};
static_assert(offsetof(VstPinProperties, flags) == 64 && offsetof(VstPinProperties, arrangementType) == 68 &&
              offsetof(VstPinProperties, shortLabel) == 72 && sizeof(VstPinProperties) == 128);

struct VstKeyCode {
    int32_t character;
    uint8_t virt;
    uint8_t modifier;
};

struct VstSpeakerProperties {
    float azimuth;
    float elevation;
    float radius;
    float reserved;
    char name[64];
    int32_t type;
    char future[28];
};
static_assert(sizeof(VstSpeakerProperties) == 112);

struct VstSpeakerArrangement {
    int32_t type;
    int32_t numChannels;
    VstSpeakerProperties speakers[8]; ///< really numChannels entries
};
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8);

struct VstPatchChunkInfo {
    int32_t version;
    int32_t pluginUniqueID;
    int32_t pluginVersion;
    int32_t numElements;
    char future[48];
};
static_assert(offsetof(VstPatchChunkInfo, pluginUniqueID) == 4);

struct ERect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

/// Records that only travel through to handlers; the module never looks inside them.
struct VstAudioFile;
struct VstOfflineTask;
struct VstVariableIo;

// ---- text buffer bounds -----------------------------------------------------------------------------------
// Hosts hand over text buffers without a size. These are the sizes hosts allocate for each request; a reply
// is cut to fit, terminator included.

inline constexpr size_t kEffectNameBytes = 32;  ///< effGetEffectName
inline constexpr size_t kVendorTextBytes = 64;  ///< effGetVendorString, effGetProductString
inline constexpr size_t kParamTextBytes = 64;   ///< effGetParamName, effGetParamLabel, effGetParamDisplay
inline constexpr size_t kProgramNameBytes = 24; ///< effGetProgramName, effGetProgramNameIndexed
/// The longest incoming text read (can-do texts, text entry, program names); longer ones are cut.
inline constexpr size_t kMaxIncomingText = 256;

} // namespace ql::vst
