// Enumerations, sets and event types of the plug-in modules, and the editor form seam.
#pragma once

#include "runtime/Classes.h"
#include "shell/VstRecord.h"

#include <cstdint>
#include <string>

namespace ql::vst {

// ---- enumerations and sets (a set is a mask: bit n = member with ordinal n) ------------------------------

enum TVstPluginCategory : int32_t {
    cgUnknown,
    cgEffect,
    cgSynth,
    cgAnalysis,
    cgMastering,
    cgSpacializer,
    cgRoomFx,
    cgSurroundFx,
    cgRestoration,
    cgOfflineProcess,
    cgShell,
    cgGenerator
};

enum TVst2PluginFlag : int32_t {
    pfHasEditor,
    pfFlagsHasClip,
    pfFlagsHasVu,
    pfFlagsCanMono,
    pfFlagsCanReplacing,
    pfFlagsProgramChunks,
    pfFlagsIsSynth,
    pfFlagsNoSoundInStop,
    pfFlagsExtIsAsync,
    pfFlagsExtHasBuffer
};
using TVst2PluginFlags = uint32_t;

enum TVstCanDo : int32_t {
    sendVstEvents,
    sendVstMidiEvent,
    sendVstTimeInfo,
    receiveVstEvents,
    receiveVstMidiEvent,
    receiveVstTimeInfo,
    offline,
    plugAsChannelInsert,
    plugAsSend,
    mixDryWet,
    noRealTime,
    multipass,
    metapass,
    _1in1out,
    _1in2out,
    _2in1out,
    _2in2out,
    _2in4out,
    _4in2out,
    _4in4out,
    _4in8out,
    _8in4out,
    _8in8out,
    midiProgramNames,
    LiveWithoutToolbar,
    conformsToWindowRules,
    bypass
};
using TVstCanDos = uint32_t;
inline constexpr int kCanDoCount = 27;

enum TProcessingMode : int32_t { pmNormal, pmBlockSave, pmCopy, pmMute };

enum TSpeakerArrangementType : int32_t {
    satUserDefined,
    satEmpty,
    satMono,
    satStereo,
    satStereoSurround,
    satStereoCenter,
    satStereoSide,
    satStereoCLfe,
    sat30Cine,
    sat30Music,
    sat31Cine,
    sat31Music,
    sat40Cine,
    sat40Music,
    sat41Cine,
    sat41Music,
    sat50,
    sat51,
    sat60Cine,
    sat60Music,
    sat61Cine,
    sat61Music,
    sat70Cine,
    sat70Music,
    sat71Cine,
    sat71Music,
    sat80Cine,
    sat80Music,
    sat81Cine,
    sat81Music,
    sat102
};

enum TChannelPropertyFlag : int32_t { cpfIsActive, cpfIsStereo, cpfUseSpeaker };
using TChannelPropertyFlags = uint32_t;

enum TCurveType : int32_t { ctLinear, ctLogarithmic, ctExponential, ctFrequencyScale };

template <class E>
constexpr uint32_t SetOf(std::initializer_list<E> members) {
    uint32_t mask = 0;
    for (E m : members)
        mask |= 1u << static_cast<int>(m);
    return mask;
}

const TEnumType& VstPluginCategoryType();
const TEnumType& Vst2PluginFlagType();
const TEnumType& VstCanDoType();
const TEnumType& ProcessingModeType();
const TEnumType& CurveTypeType();

/// Record flag bits of a flag set: members 0..5 are bits 0..5, members 6..9 are bits 8..11.
int32_t FlagsToRecord(TVst2PluginFlags flags);
TVst2PluginFlags RecordToFlags(int32_t bits);

/// The four characters of a packed code, most significant byte first.
std::string FourCharText(int32_t code);
/// Packs the first four characters of a text; missing characters count as zero bytes.
int32_t PackFourChars(const std::string& text);

/// A zero-terminated text from the host, read no further than `limit` bytes; empty for null.
std::string HostText(const void* ptr, size_t limit = kMaxIncomingText);
/// A pointer-sized value from the host as an int32, saturated at the int32 limits.
int32_t ClampToInt32(intptr_t v);

// ---- the editor form seam ---------------------------------------------------------------------------------

/// What the module needs of an editor window. The editor's form implements it; the module owns the form
/// while it is open. All of it runs on the user-interface thread.
class IEditorForm {
  public:
    virtual ~IEditorForm() = default;
    /// Makes the form a child window of a native window supplied by the host; raises when it cannot (a
    /// handle that no window system knows), and the module then destroys the form and opens no editor.
    virtual void SetParentWindow(void* parent) = 0;
    virtual void Show() = 0;
    virtual void SetBorderStyleNone() = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetBounds(int left, int top, int width, int height) = 0;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    /// Asks for a repaint of the whole form.
    virtual void Invalidate() = 0;
    /// Destroys the form with its native window and controls; the object is gone afterwards.
    virtual void Destroy() = 0;
};

// ---- event types
// --------------------------------------------------------------------------------------------

using TGetEditorEvent = TEvent<void(TObject* Sender, IEditorForm*& GUI)>;
using TVSTKeyEvent = TEvent<void(TObject* Sender, VstKeyCode& keyCode)>;
using TSetKnobModeEvent = TEvent<void(TObject* Sender, int32_t val)>;
using TParameterChangeEvent = TEvent<void(TObject* Sender, int32_t Index, float Value)>;
using TBlockSizeChangeEvent = TEvent<void(TObject* Sender, int32_t BlockSize)>;
using TSampleRateChangeEvent = TEvent<void(TObject* Sender, float SampleRate)>;
using TGetVUEvent = TEvent<void(float& VU)>;
/// inputs and outputs hold the record's numInputs and numOutputs channel pointers.
using TProcessAudioEvent = TEvent<void(float* const* inputs, float* const* outputs, int32_t sampleframes)>;
using TSoftBypassEvent = TEvent<void(TObject* Sender, bool onOff)>;
using TProcessMidiEvent = TEvent<void(TObject* Sender, VstMidiEvent& MidiEvent)>;
using TInOutConnectedEvent = TEvent<void(TObject* Sender, int32_t Index, bool State)>;
using TOfflineNotifyEvent =
    TEvent<void(TObject* Sender, VstAudioFile* AudioFile, int32_t numAudioFiles, bool start)>;
using TOfflinePrepareEvent = TEvent<void(TObject* Sender, VstOfflineTask* OfflineTask, int32_t count)>;
using TOfflineRunEvent = TEvent<void(TObject* Sender, VstOfflineTask* OfflineTask, int32_t count)>;
using TProcessVarIOEvent = TEvent<void(TObject* Sender, VstVariableIo* varIo)>;
using TOnSetPanLawEvent = TEvent<void(TObject* Sender, int32_t& vType, float& val)>;
using TOnDispatcherEvent = TEvent<void(TObject* Sender, int32_t opCode)>;
using TOnVendorSpecificEvent =
    TEvent<intptr_t(TObject* Sender, int32_t lArg1, intptr_t lArg2, void* ptrArg, float floatArg)>;
using TOnCanDoEvent = TEvent<int32_t(TObject* Sender, const std::string& CanDoText)>;
using TOnGetChannelPropertiesEvent =
    TEvent<int32_t(TObject* Sender, std::string& vLabel, std::string& shortLabel,
                   TSpeakerArrangementType& SpeakerArrangement, TChannelPropertyFlags& Flags)>;
using TOnBeginLoadEvent = TEvent<void(TObject* Sender, VstPatchChunkInfo* PatchChunkInfo)>;
using TCustomParameterLabelEvent = TEvent<void(TObject* Sender, std::string& PreDefined)>;
using TCustomParameterDisplayEvent = TEvent<void(TObject* Sender, std::string& PreDefined)>;

} // namespace ql::vst
