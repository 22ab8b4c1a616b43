// Level 4: program names, switching at random, renaming with over-long names, indexed names out of range.
#include "host/validate/Groups.h"

#include <climits>

namespace ql::host::validate {
namespace {

bool NeedPrograms(const Plugin& p, Outcome& o) {
    if (p.NumPrograms() > 0) return true;
    o.Skip("the plug-in has no programs");
    return false;
}

/// Each program's indexed name matches the name it reports once selected.
void Names(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    if (!NeedPrograms(*p, o)) return;
    for (vst::Int32 i = 0; i < WalkedPrograms(*p); ++i) {
        vst::IntPtr reply = 0;
        std::string indexed = CheckedText(*p, vst::effGetProgramNameIndexed, i, 0,
                                          "effGetProgramNameIndexed(" + std::to_string(i) + ")", o, &reply);
        p->SetProgram(i);
        if (p->Program() != i) {
            o.Fail("after effSetProgram(" + std::to_string(i) + ") effGetProgram replies " +
                   std::to_string(p->Program()));
            continue;
        }
        std::string current = CheckedText(*p, vst::effGetProgramName, 0, 0, "effGetProgramName", o);
        if (reply != 0 && indexed != current)
            o.Fail("program " + std::to_string(i) + " is \"" + indexed + "\" by index but \"" + current +
                   "\" when selected");
    }
    p->Close();
}

/// A host's program list clicked through at random, with numbers no program has among them.
void RandomSwitching(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    if (!NeedPrograms(*p, o)) return;
    const vst::Int32 count = p->NumPrograms();
    StartSession(*p, 44100.0f, 256);
    GuardedAudio audio(static_cast<std::size_t>(p->NumInputs()), static_cast<std::size_t>(p->NumOutputs()),
                       256, false);
    vst::IntPtr expected = p->Program();
    for (int step = 0; step < 200; ++step) {
        vst::Int32 number;
        int pick = context.Below(10);
        if (pick == 0)
            number = -1;
        else if (pick == 1)
            number = count + context.Below(3);
        else if (pick == 2)
            number = INT_MAX;
        else
            number = context.Below(count);
        p->SetProgram(number);
        if (number >= 0 && number < count) expected = number;
        vst::IntPtr now = p->Program();
        if (now < 0 || now >= count) {
            o.Fail("after effSetProgram(" + std::to_string(number) + ") effGetProgram replies " +
                   std::to_string(now));
            break;
        }
        if (now != expected && number >= 0 && number < count) {
            o.Fail("effSetProgram(" + std::to_string(number) + ") left program " + std::to_string(now) +
                   " selected");
            break;
        }
        if (now != expected)
            o.Note("a program number outside 0.." + std::to_string(count - 1) + " changed the program");
        expected = now;
        if (step % 10 == 0) {
            FillSignal(audio, Signal::Noise, context.Rng(), static_cast<std::uint64_t>(step) * 256);
            audio.SnapshotInputs();
            p->ProcessReplacing(audio.InPointers(), audio.OutPointers(), 256);
            if (!CheckBlock(audio, true, false, "processReplacing after switching programs", o)) break;
        }
    }
    StopSession(*p);
    p->Close();
}

/// Names longer than any buffer: the plug-in may cut them or keep them, but reads must still fit.
void RenameOverlong(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    if (!NeedPrograms(*p, o)) return;
    for (std::size_t length : {23, 24, 25, 50, 63, 64, 300, 5000}) {
        std::string name;
        for (std::size_t i = 0; i < length; ++i)
            name.push_back(static_cast<char>('A' + (i % 26)));
        vst::Int32 program = context.Below(p->NumPrograms());
        p->SetProgram(program);
        p->SetProgramName(name);
        std::string what = "effGetProgramName after a rename to " + std::to_string(length) + " characters";
        std::string back = CheckedText(*p, vst::effGetProgramName, 0, 0, what, o);
        CheckedText(*p, vst::effGetProgramNameIndexed, program, 0,
                    "effGetProgramNameIndexed after a rename to " + std::to_string(length) + " characters",
                    o);
        if (!back.empty() && name.compare(0, back.size(), back) != 0)
            o.Note("a renamed program reads back as \"" + back.substr(0, 30) +
                   "\", not a prefix of the new name");
    }
    p->Close();
}

void IndexedOutOfRange(Context& context, Outcome& o) {
    auto p = context.NewInstance();
    const vst::Int32 count = p->NumPrograms();
    for (vst::Int32 index : {-1, count, count + 1, count + 100, INT_MAX, INT_MIN}) {
        vst::IntPtr reply = 0;
        GuardedBuffer buffer(TextSizeFor(vst::effGetProgramNameIndexed).host);
        reply = p->Dispatch(vst::effGetProgramNameIndexed, index, 0, buffer.Data());
        std::string what = "effGetProgramNameIndexed(" + std::to_string(index) + ")";
        CheckTextBuffer(buffer, 24, what, o);
        // Hosts ask only inside numPrograms and act on the reply only there, so a yes outside it is remarked
        // on.
        if (reply != 0)
            o.Note("effGetProgramNameIndexed replies " + std::to_string(reply) +
                   " for programs that do not exist (e.g. " + std::to_string(index) + " of " +
                   std::to_string(count) + ")");
    }
    p->Close();
}

} // namespace

void AddProgramTests(std::vector<TestCase>& t) {
    t.push_back({"programs.names", 4, "indexed names match the selected program's name", Names});
    t.push_back(
        {"programs.random-switching", 4, "200 seeded program changes, some out of range", RandomSwitching});
    t.push_back({"programs.rename-overlong", 4, "renames up to 5000 characters read back inside 24 bytes",
                 RenameOverlong});
    t.push_back({"programs.indexed-out-of-range", 4, "effGetProgramNameIndexed outside the programs",
                 IndexedOutOfRange});
}

} // namespace ql::host::validate
