// qlhost info: everything a host can learn about a plug-in without playing it.
#include "host/CommandLine.h"
#include "host/Commands.h"
#include "host/Plugin.h"

#include <algorithm>
#include <cstdio>

namespace ql::host::cli {

const char* const kInfoUsage =
    "usage: qlhost info [PLUGIN]\n\n"
    "Loads the plug-in, opens it and prints its identity (names, vendor, versions, unique identifier,\n"
    "category, flags), its inputs and outputs, its answers to the standard can-do texts, its parameters\n"
    "(name, label, display text, host value) and its programs. Then closes it.\n";

namespace {

/// The can-do texts a host may ask a plug-in about.
constexpr const char* kPluginCanDos[] = {"receiveVstEvents",
                                         "receiveVstMidiEvent",
                                         "receiveVstTimeInfo",
                                         "sendVstEvents",
                                         "sendVstMidiEvent",
                                         "sendVstTimeInfo",
                                         "offline",
                                         "plugAsChannelInsert",
                                         "plugAsSend",
                                         "mixDryWet",
                                         "noRealTime",
                                         "multipass",
                                         "metapass",
                                         "1in1out",
                                         "1in2out",
                                         "2in1out",
                                         "2in2out",
                                         "2in4out",
                                         "4in2out",
                                         "4in4out",
                                         "4in8out",
                                         "8in4out",
                                         "8in8out",
                                         "midiProgramNames",
                                         "conformsToWindowRules",
                                         "LiveWithoutToolbar",
                                         "bypass"};

/// More pins, parameters or programs than this are not listed one by one (a broken record may claim any
/// count).
constexpr vst::Int32 kMaxListed = 1000;

void PrintOmitted(vst::Int32 count) {
    if (count > kMaxListed) std::printf("  ... and %d more\n", count - kMaxListed);
}

std::string PinFlagText(vst::Int32 flags) {
    std::string out;
    if (flags & vst::kVstPinIsActive) out += " active";
    if (flags & vst::kVstPinIsStereo) out += " stereo";
    if (flags & vst::kVstPinUseSpeaker) out += " speaker";
    return out;
}

void PrintPins(const Plugin& plugin, bool inputs) {
    vst::Int32 count = inputs ? plugin.NumInputs() : plugin.NumOutputs();
    std::printf("%s (%d)\n", inputs ? "Inputs" : "Outputs", count);
    for (vst::Int32 i = 0; i < std::min(count, kMaxListed); ++i) {
        auto pin = inputs ? plugin.InputProperties(i) : plugin.OutputProperties(i);
        if (!pin) {
            std::printf("  %-3d (no properties)\n", i);
            continue;
        }
        std::printf("  %-3d %-20s %-8s flags %d%s\n", i, pin->label.c_str(), pin->shortLabel.c_str(),
                    pin->flags, PinFlagText(pin->flags).c_str());
    }
    PrintOmitted(count);
}

/// A text reply, marked where the plug-in misbehaved writing it.
std::string Checked(const TextReply& reply) {
    std::string text = reply.text;
    if (reply.overran)
        text += " [wrote past the host's buffer]";
    else if (!reply.terminated)
        text += " [not terminated]";
    return text;
}

} // namespace

int RunInfo(const std::vector<std::string>& args) {
    ParsedArgs parsed = Parse(args, {});
    std::string path = TakePluginPath(parsed.positional);
    if (!parsed.positional.empty())
        throw UsageError("unexpected argument '" + parsed.positional.front() + "'");

    auto plugin = Plugin::Load(path);
    plugin->Open();
    const vst::AEffect& e = plugin->Effect();

    std::printf("Plug-in         %s (entry %s)\n", path.c_str(), plugin->Library().EntryName().c_str());
    std::printf("Effect name     %s\n", Checked(plugin->DispatchText(vst::effGetEffectName)).c_str());
    std::printf("Vendor          %s\n", Checked(plugin->DispatchText(vst::effGetVendorString)).c_str());
    std::printf("Product         %s\n", Checked(plugin->DispatchText(vst::effGetProductString)).c_str());
    std::printf("Vendor version  %ld\n", static_cast<long>(plugin->VendorVersion()));
    std::printf("Unique ID       %s (0x%08X)\n", vst::FourCCText(e.uniqueID).c_str(),
                static_cast<unsigned>(e.uniqueID));
    std::printf("Version         %d\n", e.version);
    vst::IntPtr category = plugin->Category();
    std::printf("Category        %ld (%s)\n", static_cast<long>(category), vst::CategoryName(category));
    std::printf("VST version     %ld\n", static_cast<long>(plugin->VstVersion()));
    std::printf("Flags           %d (%s)\n", e.flags, vst::FlagNames(e.flags).c_str());
    std::printf("I/O             %d in / %d out\n", e.numInputs, e.numOutputs);
    std::printf("Initial delay   %d\n", e.initialDelay);
    std::printf("Tail size       %ld\n", static_cast<long>(plugin->Dispatch(vst::effGetTailSize)));

    PrintPins(*plugin, true);
    PrintPins(*plugin, false);

    std::printf("Can do (1 yes, -1 no, 0 don't know)\n");
    for (const char* text : kPluginCanDos)
        std::printf("  %-22s %ld\n", text, static_cast<long>(plugin->CanDo(text)));

    std::printf("Parameters (%d)\n", e.numParams);
    for (vst::Int32 i = 0; i < std::min(e.numParams, kMaxListed); ++i) {
        std::string name = Checked(plugin->DispatchText(vst::effGetParamName, i));
        std::string display = Checked(plugin->DispatchText(vst::effGetParamDisplay, i));
        std::string label = Checked(plugin->DispatchText(vst::effGetParamLabel, i));
        std::printf("  %-3d %-20s display %-18s label %-8s value %.8g%s\n", i, name.c_str(),
                    ("\"" + display + "\"").c_str(), ("\"" + label + "\"").c_str(),
                    static_cast<double>(plugin->GetParameter(i)),
                    plugin->CanBeAutomated(i) ? "  automatable" : "");
    }
    PrintOmitted(e.numParams);

    vst::IntPtr current = plugin->Program();
    std::printf("Programs (%d)\n", e.numPrograms);
    for (vst::Int32 i = 0; i < std::min(e.numPrograms, kMaxListed); ++i) {
        auto name = plugin->ProgramNameIndexed(i);
        // A plug-in without indexed names still tells the current program's name.
        if (!name && i == current) name = plugin->ProgramName();
        std::printf("  %-3d %s%s\n", i, name ? name->c_str() : "(no name)",
                    i == current ? "  (current)" : "");
    }
    PrintOmitted(e.numPrograms);
    plugin->Close();
    return 0;
}

} // namespace ql::host::cli
