// Level 3: every dispatcher opcode with valid buffers and edge arguments, and every identity text within the
// buffer a host gives for it.
//
// Opcodes left out of the sweep, and why: effOpen and effClose (the lifecycle tests own them), the editor
// requests 13-21, 59 and 60 (they need an open editor, and some plug-ins measure their editor by building it,
// which needs a display; the editor test drives them), effGetChunk and effSetChunk
// (they hand over memory by pointer; the state test calls them with real chunks, and only for plug-ins that
// declare chunks), and the offline and variable-I/O requests 38-41 (they take task and buffer structures that
// a host fills from files it is rendering; junk there proves nothing but the junk).
#include "host/validate/Groups.h"

#include <climits>
#include <cstring>

namespace ql::host::validate {
namespace {

constexpr vst::Int32 kLastOpcode = 80;

/// Byte sizes of the structures some opcodes write into.
constexpr std::size_t kPinPropertiesSize = sizeof(vst::VstPinProperties);
constexpr std::size_t kParameterPropertiesSize =
    152; ///< three floats, label 64, five int32, short label 8, ...
constexpr std::size_t kMidiProgramNameSize = 80;
constexpr std::size_t kMidiProgramCategorySize = 76;
constexpr std::size_t kMidiKeyNameSize = 80;
constexpr std::size_t kSpeakerPropertiesSize = 112;
constexpr std::size_t kSpeakerArrangementSize = 8 + 8 * kSpeakerPropertiesSize;

bool Skipped(vst::Int32 op) {
    return op == vst::effOpen || op == vst::effClose ||
           (op >= vst::effEditGetRect && op <= vst::effEditSleep) || op == vst::effEditKeyDown ||
           op == vst::effEditKeyUp || op == vst::effGetChunk || op == vst::effSetChunk ||
           (op >= vst::effOfflineNotify && op <= vst::effProcessVarIo);
}

/// The index range an opcode takes, for its edge arguments.
vst::Int32 IndexCount(const Plugin& p, vst::Int32 op) {
    switch (op) {
    case vst::effGetParamLabel:
    case vst::effGetParamDisplay:
    case vst::effGetParamName:
    case vst::effCanBeAutomated:
    case vst::effString2Parameter:
    case vst::effGetParameterProperties:
        return p.NumParams();
    case vst::effGetProgramNameIndexed:
    case vst::effCopyProgram:
        return p.NumPrograms();
    case vst::effGetInputProperties:
        return p.NumInputs();
    case vst::effGetOutputProperties:
        return p.NumOutputs();
    default:
        return 1;
    }
}

std::vector<vst::Int32> Edges(vst::Int32 count) {
    std::vector<vst::Int32> v{-1, 0};
    if (count > 1) v.push_back(count - 1);
    v.push_back(count);
    if (count < INT_MAX) v.push_back(count + 1);
    v.push_back(INT_MAX);
    return v;
}

std::string Call(vst::Int32 op, vst::Int32 index) {
    return "opcode " + std::to_string(op) + " (index " + std::to_string(index) + ")";
}

void CheckField(const unsigned char* bytes, std::size_t offset, std::size_t size, const std::string& what,
                Outcome& o) {
    if (!std::memchr(bytes + offset, 0, size))
        o.Fail(what + " left no terminating zero inside its " + std::to_string(size) + "-byte field");
}

void CheckStructure(const GuardedBuffer& b, const std::string& what, Outcome& o) {
    if (std::size_t past = b.WrittenPastEnd())
        o.Fail(what + " wrote " + std::to_string(past) + " byte(s) past its " + std::to_string(b.Size()) +
               "-byte structure");
    else if (b.WroteBefore())
        o.Fail(what + " wrote before the start of its structure");
}

/// One request with valid arguments for its opcode; checks what it wrote and what it replied.
void Probe(const Plugin& p, vst::Int32 op, vst::Int32 index, Outcome& o) {
    const std::string what = Call(op, index);
    const bool inRange = index >= 0 && index < IndexCount(p, op);
    switch (op) {
    case vst::effGetProgramName:
    case vst::effGetParamLabel:
    case vst::effGetParamDisplay:
    case vst::effGetParamName:
    case vst::effGetProgramNameIndexed:
    case vst::effGetEffectName:
    case vst::effGetErrorText:
    case vst::effGetVendorString:
    case vst::effGetProductString:
    case vst::effShellGetNextPlugin: {
        vst::IntPtr reply = 0;
        CheckedText(p, op, index, 0, what, o, &reply);
        if (op == vst::effGetProgramNameIndexed && reply != 0 && !inRange)
            o.Note("effGetProgramNameIndexed replies " + std::to_string(reply) +
                   " for programs that do not exist");
        return;
    }
    case vst::effSetProgram: {
        vst::IntPtr before = p.Program();
        for (vst::IntPtr value :
             {vst::IntPtr{-1}, vst::IntPtr{p.NumPrograms()}, vst::IntPtr{p.NumPrograms()} + 1,
              vst::IntPtr{INT_MAX}, vst::IntPtr{0}, before}) {
            p.Dispatch(op, index, value);
            vst::IntPtr now = p.Program();
            if (now < 0 || now >= std::max(p.NumPrograms(), 1))
                o.Fail("after effSetProgram(" + std::to_string(value) + ") effGetProgram replies " +
                       std::to_string(now) + ", outside the " + std::to_string(p.NumPrograms()) +
                       " programs");
        }
        return;
    }
    case vst::effGetProgram: {
        vst::IntPtr r = p.Dispatch(op, index);
        if (r < 0 || r >= std::max(p.NumPrograms(), 1))
            o.Fail("effGetProgram replied " + std::to_string(r) + " with " + std::to_string(p.NumPrograms()) +
                   " programs");
        return;
    }
    case vst::effSetProgramName: {
        std::string old = p.ProgramName();
        char name[] = "Validator";
        p.Dispatch(op, index, 0, name);
        p.SetProgramName(old);
        return;
    }
    case vst::effSetSampleRate:
        p.Dispatch(op, index, 0, nullptr, 44100.0f);
        return;
    case vst::effSetBlockSize:
        p.Dispatch(op, index, 512);
        return;
    case vst::effSetBlockSizeAndSampleRate:
        p.Dispatch(op, index, 512, nullptr, 44100.0f);
        return;
    case vst::effMainsChanged:
    case vst::effSetBypass:
    case vst::effConnectInput:
    case vst::effConnectOutput:
        p.Dispatch(op, index, 1);
        p.Dispatch(op, index, 0);
        if (op == vst::effConnectInput || op == vst::effConnectOutput) p.Dispatch(op, index, 1);
        return;
    case vst::effStartProcess:
    case vst::effBeginSetProgram:
        p.Dispatch(op, index);
        p.Dispatch(op + 1, index);
        return;
    case vst::effStopProcess:
    case vst::effEndSetProgram:
        return; // sent in pairs above
    case vst::effProcessEvents: {
        vst::VstEvents none{};
        p.Dispatch(op, index, 0, &none);
        vst::VstMidiEvent on{}, off{};
        on.type = off.type = vst::kVstMidiType;
        on.byteSize = off.byteSize = static_cast<vst::Int32>(sizeof on);
        on.midiData[0] = static_cast<char>(0x90);
        on.midiData[1] = 60;
        on.midiData[2] = 100;
        off.midiData[0] = static_cast<char>(0x80);
        off.midiData[1] = 60;
        off.deltaFrames = 10;
        vst::VstEvents two{};
        two.numEvents = 2;
        two.events[0] = reinterpret_cast<vst::VstEvent*>(&on);
        two.events[1] = reinterpret_cast<vst::VstEvent*>(&off);
        p.Dispatch(op, index, 0, &two);
        return;
    }
    case vst::effCanBeAutomated: {
        vst::IntPtr r = p.Dispatch(op, index);
        if (r != 0 && r != 1) o.Note("effCanBeAutomated replied " + std::to_string(r));
        return;
    }
    case vst::effString2Parameter: {
        char text[] = "0.5";
        p.Dispatch(op, index, 0, text);
        return;
    }
    case vst::effGetInputProperties:
    case vst::effGetOutputProperties: {
        GuardedBuffer pin(kPinPropertiesSize);
        vst::IntPtr r = p.Dispatch(op, index, 0, pin.Data());
        CheckStructure(pin, what, o);
        if (r != 0) {
            CheckField(pin.Bytes(), 0, 64, what + " label", o);
            CheckField(pin.Bytes(), offsetof(vst::VstPinProperties, shortLabel), 8, what + " short label", o);
            if (!inRange) o.Note(what + " described a pin that does not exist");
        }
        return;
    }
    case vst::effSetSpeakerArrangement: {
        std::vector<unsigned char> in(kSpeakerArrangementSize, 0), out(kSpeakerArrangementSize, 0);
        for (auto* a : {&in, &out}) {
            vst::Int32 stereo[2] = {1, 2}; // the stereo arrangement type, two channels
            std::memcpy(a->data(), stereo, sizeof stereo);
            for (int c = 0; c < 2; ++c) {
                unsigned char* speaker = a->data() + 8 + static_cast<std::size_t>(c) * kSpeakerPropertiesSize;
                std::snprintf(reinterpret_cast<char*>(speaker + 16), 64, c == 0 ? "L" : "R");
                vst::Int32 type = c + 1;
                std::memcpy(speaker + 80, &type, sizeof type);
            }
        }
        p.Dispatch(op, index, reinterpret_cast<vst::IntPtr>(in.data()), out.data());
        return;
    }
    case vst::effGetSpeakerArrangement: {
        void* inArrangement = nullptr;
        void* outArrangement = nullptr;
        vst::IntPtr r = p.Dispatch(op, index, reinterpret_cast<vst::IntPtr>(&inArrangement), &outArrangement);
        for (void* a : {inArrangement, outArrangement}) {
            if (!r || !a) continue;
            vst::Int32 channels = 0;
            std::memcpy(&channels, static_cast<char*>(a) + 4, sizeof channels);
            if (channels < 0 || channels > 64)
                o.Fail("effGetSpeakerArrangement points to an arrangement of " + std::to_string(channels) +
                       " channels");
        }
        return;
    }
    case vst::effVendorSpecific:
        p.Dispatch(op, index, 0, nullptr, 0.0f);
        return;
    case vst::effCanDo: {
        std::string junk(300, 'q');
        for (std::string text :
             {"receiveVstEvents", "plugAsChannelInsert", "bypass", "", "PlugAsSend", junk.c_str()}) {
            std::vector<char> arg(text.begin(), text.end());
            arg.push_back('\0');
            vst::IntPtr r = p.Dispatch(op, index, 0, arg.data());
            if (r < -1 || r > 1)
                o.Fail("effCanDo(\"" + text.substr(0, 24) + "\") replied " + std::to_string(r) +
                       ", not -1, 0 or 1");
        }
        return;
    }
    case vst::effGetParameterProperties: {
        GuardedBuffer props(kParameterPropertiesSize);
        vst::IntPtr r = p.Dispatch(op, index, 0, props.Data());
        CheckStructure(props, what, o);
        if (r != 0) {
            CheckField(props.Bytes(), 12, 64, what + " label", o);
            CheckField(props.Bytes(), 96, 8, what + " short label", o);
            CheckField(props.Bytes(), 112, 24, what + " category label", o);
        }
        return;
    }
    case vst::effGetMidiProgramName:
    case vst::effGetMidiProgramCategory:
    case vst::effGetMidiKeyName: {
        std::size_t size = op == vst::effGetMidiProgramName       ? kMidiProgramNameSize
                           : op == vst::effGetMidiProgramCategory ? kMidiProgramCategorySize
                                                                  : kMidiKeyNameSize;
        GuardedBuffer s(size);
        vst::IntPtr r = p.Dispatch(op, index, 0, s.Data());
        CheckStructure(s, what, o);
        if (r != 0) CheckField(s.Bytes(), op == vst::effGetMidiKeyName ? 8 : 4, 64, what + " name", o);
        return;
    }
    case vst::effBeginLoadBank:
    case vst::effBeginLoadProgram: {
        for (vst::Int32 id : {p.UniqueId(), vst::FourCC('N', 'o', 'n', 'e')}) {
            vst::VstPatchChunkInfo info{};
            info.version = 1;
            info.pluginUniqueID = id;
            info.pluginVersion = p.Effect().version;
            info.numElements = std::max(p.NumPrograms(), 1);
            p.Dispatch(op, index, 0, &info);
        }
        return;
    }
    case vst::effGetPlugCategory: {
        vst::IntPtr r = p.Dispatch(op, index);
        if (r < vst::kPlugCategUnknown || r > vst::kPlugCategGenerator)
            o.Fail("effGetPlugCategory replied " + std::to_string(r) + ", not a category");
        return;
    }
    case vst::effSetTotalSampleToProcess:
        p.Dispatch(op, index, 44100);
        return;
    case vst::effSetPanLaw:
        p.Dispatch(op, index, 0, nullptr, 1.0f);
        return;
    case 77: // choosing the processing precision: only single precision is ever asked for here
        p.Dispatch(op, index, 0);
        return;
    default:
        p.Dispatch(op, index, 0, nullptr, 0.0f);
        return;
    }
}

void EveryOpcode(Context& context, Outcome& o) {
    auto plugin = context.NewInstance();
    const vst::AEffect before = plugin->Effect();
    for (vst::Int32 op = 0; op <= kLastOpcode; ++op) {
        if (Skipped(op)) continue;
        for (vst::Int32 index : Edges(IndexCount(*plugin, op)))
            Probe(*plugin, op, index, o);
    }
    const vst::AEffect& after = plugin->Effect();
    if (after.magic != before.magic || after.dispatcher != before.dispatcher)
        o.Fail("the record's magic or dispatcher changed during the sweep");
    if (after.numInputs != before.numInputs || after.numOutputs != before.numOutputs)
        o.Note("the sweep changed the number of inputs or outputs");

    // Still a working plug-in after all that.
    StartSession(*plugin, 44100.0f, 512);
    GuardedAudio audio(static_cast<std::size_t>(plugin->NumInputs()),
                       static_cast<std::size_t>(plugin->NumOutputs()), 512, false);
    FillSignal(audio, Signal::Noise, context.Rng(), 0);
    audio.SnapshotInputs();
    plugin->ProcessReplacing(audio.InPointers(), audio.OutPointers(), 512);
    CheckBlock(audio, true, false, "processReplacing after the sweep", o);
    StopSession(*plugin);
    plugin->Close();
}

/// Every text a host shows, for every index in range, within the buffer the host gives.
void IdentityTexts(Context& context, Outcome& o) {
    auto plugin = context.NewInstance();
    const vst::AEffect& e = plugin->Effect();
    if (e.magic != vst::kEffectMagic) o.Fail("the record lost its magic after effOpen");
    std::string name = CheckedText(*plugin, vst::effGetEffectName, 0, 0, "effGetEffectName", o);
    std::string product = CheckedText(*plugin, vst::effGetProductString, 0, 0, "effGetProductString", o);
    CheckedText(*plugin, vst::effGetVendorString, 0, 0, "effGetVendorString", o);
    if (name.empty() && product.empty())
        o.Note("the plug-in gives neither an effect name nor a product name");
    vst::IntPtr version = plugin->VstVersion();
    if (version != 0 && version < 1000) o.Note("effGetVstVersion replied " + std::to_string(version));

    for (vst::Int32 i = 0; i < WalkedParams(*plugin); ++i) {
        std::string n =
            CheckedText(*plugin, vst::effGetParamName, i, 0, "effGetParamName(" + std::to_string(i) + ")", o);
        CheckedText(*plugin, vst::effGetParamLabel, i, 0, "effGetParamLabel(" + std::to_string(i) + ")", o);
        CheckedText(*plugin, vst::effGetParamDisplay, i, 0, "effGetParamDisplay(" + std::to_string(i) + ")",
                    o);
        if (n.empty()) o.Note("parameter " + std::to_string(i) + " has no name");
    }
    CheckedText(*plugin, vst::effGetProgramName, 0, 0, "effGetProgramName", o);
    for (vst::Int32 i = 0; i < WalkedPrograms(*plugin); ++i)
        CheckedText(*plugin, vst::effGetProgramNameIndexed, i, 0,
                    "effGetProgramNameIndexed(" + std::to_string(i) + ")", o);
    for (bool input : {true, false}) {
        vst::Int32 count = std::min(input ? e.numInputs : e.numOutputs, kMaxWalked);
        for (vst::Int32 i = 0; i < count; ++i) {
            GuardedBuffer pin(kPinPropertiesSize);
            std::string what = std::string(input ? "effGetInputProperties(" : "effGetOutputProperties(") +
                               std::to_string(i) + ")";
            vst::IntPtr r = plugin->Dispatch(input ? vst::effGetInputProperties : vst::effGetOutputProperties,
                                             i, 0, pin.Data());
            CheckStructure(pin, what, o);
            if (r == 0) continue;
            CheckField(pin.Bytes(), 0, 64, what + " label", o);
            CheckField(pin.Bytes(), offsetof(vst::VstPinProperties, shortLabel), 8, what + " short label", o);
        }
    }
    plugin->Close();
}

} // namespace

void AddDispatcherTests(std::vector<TestCase>& t) {
    t.push_back(
        {"dispatcher.every-opcode", 3, "opcodes 0-80 with valid buffers and edge arguments", EveryOpcode});
    t.push_back({"identity.texts", 3, "names, vendor, parameter, program and pin texts inside their buffers",
                 IdentityTexts});
}

} // namespace ql::host::validate
