// Running the battery: choosing the tests, containing each one, timing and reporting it.
#include "host/validate/Battery.h"

#include "host/Plugin.h"
#include "host/validate/Groups.h"
#include "host/validate/Isolation.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace ql::host::validate {

const char* StatusName(Status status) {
    switch (status) {
    case Status::Pass:
        return "PASS";
    case Status::Fail:
        return "FAIL";
    case Status::Skip:
        return "SKIP";
    }
    return "?";
}

void Outcome::Fail(const std::string& why) {
    if (status == Status::Fail) {
        ++extraFailures;
        return;
    }
    status = Status::Fail;
    reason = why;
}

void Outcome::Skip(const std::string& why) {
    if (status == Status::Fail) return;
    status = Status::Skip;
    reason = why;
}

void Outcome::Note(const std::string& remark) {
    constexpr std::size_t kMaxNotes = 6;
    // Remarks that differ only in their example (the part in brackets) say the same thing once.
    auto key = [](const std::string& s) { return s.substr(0, s.find(" (")); };
    for (const auto& n : notes)
        if (key(n) == key(remark)) return;
    if (notes.size() < kMaxNotes) notes.push_back(remark);
}

std::string Outcome::Explanation() const {
    if (extraFailures == 0) return reason;
    return reason + " (and " + std::to_string(extraFailures) + " more failure" +
           (extraFailures > 1 ? "s" : "") + ")";
}

const std::vector<TestCase>& AllTests() {
    static const std::vector<TestCase> tests = [] {
        std::vector<TestCase> t;
        AddLifecycleTests(t);
        AddDispatcherTests(t);
        AddProgramTests(t);
        AddParameterTests(t);
        AddAudioTests(t);
        AddThreadTests(t);
        AddRealtimeTests(t);
        AddStateTests(t);
        AddEditorTests(t);
        std::stable_sort(t.begin(), t.end(),
                         [](const TestCase& a, const TestCase& b) { return a.level < b.level; });
        return t;
    }();
    return tests;
}

Outcome RunHere(const std::function<void(Outcome&)>& body) {
    Outcome o;
    try {
        body(o);
    } catch (const std::exception& e) {
        o.Fail(std::string("stopped by an error: ") + e.what());
    } catch (...) {
        o.Fail("stopped by an unknown exception");
    }
    return o;
}

std::string CheckUsable(const Options& options) {
    Outcome o = RunContained(
        [&](Outcome&) {
            auto library = PluginLibrary::Load(options.pluginPath);
            auto plugin = Plugin::Create(library);
            plugin->Close();
        },
        options.isolate, options.timeoutSeconds);
    if (o.status != Status::Fail) return {};
    const std::string prefix = "stopped by an error: ";
    return o.reason.rfind(prefix, 0) == 0 ? o.reason.substr(prefix.size()) : o.reason;
}

std::vector<Result> RunBattery(const Options& options, const std::function<void(const Result&)>& onResult) {
    std::vector<Result> results;
    for (const TestCase& test : AllTests()) {
        if (test.level > options.level) continue;
        if (!options.only.empty() &&
            std::none_of(options.only.begin(), options.only.end(), [&](const std::string& s) {
                return std::string(test.name).find(s) != std::string::npos;
            }))
            continue;
        Result r;
        r.name = test.name;
        r.level = test.level;
        auto start = std::chrono::steady_clock::now();
        r.outcome = RunContained(
            [&](Outcome& o) {
                Context context(options, test);
                test.run(context, o);
            },
            options.isolate, options.timeoutSeconds);
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (onResult) onResult(r);
        results.push_back(std::move(r));
    }
    return results;
}

} // namespace ql::host::validate
