// Level 5: every parameter's texts and text entry, automation flags, exact round trips and extreme values.
#include "host/validate/Groups.h"

#include <cmath>
#include <limits>

namespace ql::host::validate {
namespace {

bool NeedParams(const Plugin& p, Outcome& o) {
    if (p.NumParams() > 0) return true;
    o.Skip("the plug-in has no parameters");
    return false;
}

void CheckValue(const Plugin& p, vst::Int32 i, const std::string& after, Outcome& o) {
    float v = p.GetParameter(i);
    if (!std::isfinite(v) || v < 0.0f || v > 1.0f)
        o.Fail("getParameter(" + std::to_string(i) + ") reads " + Describe(v) + " after " + after);
}

/// Name, label and display of each parameter, then its own display text typed back and junk texts typed in.
void TextsAndEntry(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    if (!NeedParams(*p, o)) return;
    std::string junk(1000, '9');
    for (vst::Int32 i = 0; i < WalkedParams(*p); ++i) {
        const std::string n = std::to_string(i);
        CheckedText(*p, vst::effGetParamName, i, 0, "effGetParamName(" + n + ")", o);
        CheckedText(*p, vst::effGetParamLabel, i, 0, "effGetParamLabel(" + n + ")", o);
        std::string display =
            CheckedText(*p, vst::effGetParamDisplay, i, 0, "effGetParamDisplay(" + n + ")", o);
        float before = p->GetParameter(i);
        if (p->StringToParameter(i, display)) {
            float after = p->GetParameter(i);
            if (std::fabs(after - before) > 1e-3f)
                o.Note("typing parameter " + n + "'s own display text \"" + display + "\" moved it from " +
                       Describe(before) + " to " + Describe(after));
        }
        for (const std::string& text :
             {std::string("abc"), std::string(""), std::string("nan"), std::string("inf"),
              std::string("-1e30"), std::string("1e30"), junk}) {
            p->StringToParameter(i, text);
            CheckValue(*p, i, "typing \"" + text.substr(0, 12) + "\"", o);
            CheckedText(*p, vst::effGetParamDisplay, i, 0, "effGetParamDisplay(" + n + ") after text entry",
                        o);
        }
    }
    p->Close();
}

void Automatable(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    if (!NeedParams(*p, o)) return;
    int automatable = 0;
    for (vst::Int32 i = 0; i < WalkedParams(*p); ++i) {
        vst::IntPtr r = p->Dispatch(vst::effCanBeAutomated, i);
        if (r != 0 && r != 1)
            o.Note("effCanBeAutomated(" + std::to_string(i) + ") replied " + std::to_string(r));
        if (r) ++automatable;
    }
    if (automatable == 0) o.Note("no parameter can be automated");
    p->Close();
}

/// A host that stores automation and plays it back sets what it read: that must read back the same.
void RoundTrip(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    if (!NeedParams(*p, o)) return;
    int inexact = 0;
    for (vst::Int32 i = 0; i < WalkedParams(*p); ++i) {
        for (float v : {0.0f, 1.0f, 0.5f, 0.25f, static_cast<float>(context.Uniform(0, 1)),
                        static_cast<float>(context.Uniform(0, 1))}) {
            p->SetParameter(i, v);
            float read = p->GetParameter(i);
            if (!std::isfinite(read) || read < 0.0f || read > 1.0f) {
                o.Fail("getParameter(" + std::to_string(i) + ") reads " + Describe(read) + " after setting " +
                       Describe(v));
                continue;
            }
            if (read != v) ++inexact;
            p->SetParameter(i, read);
            float again = p->GetParameter(i);
            if (again != read)
                o.Fail("parameter " + std::to_string(i) + ": setting the value it reported (" +
                       Describe(read) + ") reads back " + Describe(again));
        }
    }
    if (inexact)
        o.Note(std::to_string(inexact) + " set value(s) read back changed (stepped or quantised parameters)");
    p->Close();
}

/// 0, 1, values outside 0..1 and NaN: no crash, reads stay in 0..1, audio stays finite.
void ExtremeValues(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    if (!NeedParams(*p, o)) return;
    StartSession(*p, 44100.0f, 128);
    GuardedAudio audio(static_cast<std::size_t>(p->NumInputs()), static_cast<std::size_t>(p->NumOutputs()),
                       128, false);
    const float values[] = {0.0f,
                            1.0f,
                            -0.5f,
                            1.5f,
                            -1e30f,
                            1e30f,
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            static_cast<float>(context.Uniform(0, 1))};
    for (vst::Int32 i = 0; i < WalkedParams(*p); ++i) {
        for (float v : values) {
            p->SetParameter(i, v);
            CheckValue(*p, i, "setParameter(" + Describe(v) + ")", o);
            CheckedText(*p, vst::effGetParamDisplay, i, 0,
                        "effGetParamDisplay(" + std::to_string(i) + ") after " + Describe(v), o);
            FillSignal(audio, Signal::Noise, context.Rng(), 0);
            audio.SnapshotInputs();
            p->ProcessReplacing(audio.InPointers(), audio.OutPointers(), 128);
            std::string what =
                "processReplacing with parameter " + std::to_string(i) + " set to " + Describe(v);
            if (std::isfinite(v)) {
                CheckBlock(audio, true, false, what, o);
            } else {
                // No host means to send a non-finite value; what the audio does then is remarked on, not
                // failed.
                Outcome scratch;
                if (!CheckBlock(audio, true, false, what, scratch)) o.Note(scratch.reason);
            }
        }
        p->SetParameter(i, 0.5f);
    }
    StopSession(*p);
    p->Close();
}

} // namespace

void AddParameterTests(std::vector<TestCase>& t) {
    t.push_back({"parameters.texts-and-entry", 5, "name, label, display and text entry of each parameter",
                 TextsAndEntry});
    t.push_back({"parameters.automatable", 5, "effCanBeAutomated for each parameter", Automatable});
    t.push_back({"parameters.round-trip", 5, "set/get round trips are stable and in 0..1", RoundTrip});
    t.push_back({"parameters.extreme-values", 5, "0, 1, outside 0..1, NaN: reads in 0..1, audio finite",
                 ExtremeValues});
}

} // namespace ql::host::validate
