// Level 10: a host-style bank saved from one instance and restored into a fresh one reads back byte for byte.
#include "host/validate/Groups.h"

#include <algorithm>
#include <cstring>

namespace ql::host::validate {
namespace {

void Append(std::vector<unsigned char>& out, const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    out.insert(out.end(), p, p + size);
}

/// What a host stores for a plug-in without chunks: per program its name (24 bytes) and every parameter's
/// value as the plug-in reports it; then which program was current.
std::vector<unsigned char> SaveBank(const Plugin& p, Outcome& o) {
    std::vector<unsigned char> bank;
    const vst::Int32 params = WalkedParams(p);
    const vst::Int32 programs = std::max<vst::Int32>(WalkedPrograms(p), 1);
    const vst::IntPtr current = p.Program();
    for (vst::Int32 prog = 0; prog < programs; ++prog) {
        if (p.NumPrograms() > 0) p.SetProgram(prog);
        char name[24] = {};
        std::string text = CheckedText(p, vst::effGetProgramName, 0, 0, "effGetProgramName", o);
        std::copy_n(text.data(), std::min(text.size(), sizeof name - 1), name); // name stays terminated
        Append(bank, name, sizeof name);
        for (vst::Int32 i = 0; i < params; ++i) {
            float v = p.GetParameter(i);
            Append(bank, &v, sizeof v);
        }
    }
    if (p.NumPrograms() > 0) p.SetProgram(static_cast<vst::Int32>(current));
    Append(bank, &current, sizeof current);
    return bank;
}

void LoadBank(const Plugin& p, const std::vector<unsigned char>& bank) {
    const vst::Int32 params = WalkedParams(p);
    const vst::Int32 programs = std::max<vst::Int32>(WalkedPrograms(p), 1);
    std::size_t pos = 0;
    for (vst::Int32 prog = 0; prog < programs; ++prog) {
        if (p.NumPrograms() > 0) p.SetProgram(prog);
        char name[24];
        std::memcpy(name, bank.data() + pos, sizeof name);
        pos += sizeof name;
        p.SetProgramName(std::string(name, strnlen(name, sizeof name)));
        for (vst::Int32 i = 0; i < params; ++i) {
            float v;
            std::memcpy(&v, bank.data() + pos, sizeof v);
            pos += sizeof v;
            p.SetParameter(i, v);
        }
    }
    vst::IntPtr current;
    std::memcpy(&current, bank.data() + pos, sizeof current);
    if (p.NumPrograms() > 0) p.SetProgram(static_cast<vst::Int32>(current));
}

std::string FirstDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return "byte " + std::to_string(i) + " of " + std::to_string(a.size());
    return {};
}

std::vector<unsigned char> Chunk(const Plugin& p, bool program) {
    void* data = nullptr;
    vst::IntPtr size = p.Dispatch(vst::effGetChunk, program ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + size);
}

void BankRoundTrip(Context& context, Outcome& o) {
    auto original = context.NewInstance();
    // A state that is not the default: random values, a renamed program when there are programs.
    for (vst::Int32 i = 0; i < WalkedParams(*original); ++i)
        original->SetParameter(i, static_cast<float>(context.Uniform(0, 1)));
    if (original->NumPrograms() > 0)
        original->SetProgramName("Validator " + std::to_string(context.Below(1000)));
    std::vector<unsigned char> saved = SaveBank(*original, o);

    auto fresh = context.NewInstance();
    LoadBank(*fresh, saved);
    std::vector<unsigned char> again = SaveBank(*fresh, o);
    if (std::string d = FirstDifference(saved, again); !d.empty())
        o.Fail("the bank restored into a fresh instance reads back differently (" + d + ")");

    if (original->Flags() & vst::effFlagsProgramChunks) {
        for (bool program : {false, true}) {
            std::vector<unsigned char> chunk = Chunk(*original, program);
            const char* kind = program ? "program chunk" : "bank chunk";
            if (chunk.empty()) {
                o.Note(std::string("the plug-in declares chunks but gave no ") + kind);
                continue;
            }
            auto target = context.NewInstance();
            target->Dispatch(vst::effSetChunk, program ? 1 : 0, static_cast<vst::IntPtr>(chunk.size()),
                             chunk.data());
            std::vector<unsigned char> back = Chunk(*target, program);
            if (std::string d = FirstDifference(chunk, back); !d.empty())
                o.Fail(std::string("the ") + kind + " set into a fresh instance reads back differently (" +
                       d + ")");
            target->Close();
        }
    }
    fresh->Close();
    original->Close();
}

} // namespace

void AddStateTests(std::vector<TestCase>& t) {
    t.push_back({"state.bank-round-trip", 10,
                 "a host-style bank restored into a fresh instance reads back the same", BankRoundTrip});
}

} // namespace ql::host::validate
