// The validator's battery against our plug-in, the host's fixture and a deliberately broken fixture (each
// check must fail where it should), and the seams under it: containment of crashes and the real-time
// counters.
#include "host/platform/EditorWindow.h"
#include "host/rtcheck/RtCheck.h"
#include "host/validate/Battery.h"
#include "host/validate/Isolation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace ql::host;
using namespace ql::host::validate;

namespace {

/// The whole battery on one plug-in. The display is hidden, so the editor tests are skipped (they have
/// programs of their own, which hold the display alone).
std::map<std::string, Outcome> RunAll(const std::string& path, int level = 10) {
    unsetenv("DISPLAY");
    Options options;
    options.pluginPath = path;
    options.level = level;
    options.timeoutSeconds = 120;
    std::map<std::string, Outcome> byName;
    for (const Result& r : RunBattery(options))
        byName[r.name] = r.outcome;
    return byName;
}

std::string Report(const std::map<std::string, Outcome>& results) {
    std::string out;
    for (const auto& [name, o] : results)
        if (o.status != Status::Pass)
            out += std::string(StatusName(o.status)) + " " + name + ": " + o.Explanation() + "\n";
    return out;
}

constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

} // namespace

TEST(ValidateBattery, OurPluginPassesEveryLevel) {
#ifndef QL_PLUGIN_PATH
    GTEST_SKIP() << "this build has no Quantilaw plug-in";
#else
    if (!std::filesystem::exists(QL_PLUGIN_PATH)) GTEST_SKIP() << QL_PLUGIN_PATH << " is not built";
    auto results = RunAll(QL_PLUGIN_PATH);
    ASSERT_EQ(results.size(), AllTests().size());
    for (const auto& [name, o] : results)
        EXPECT_NE(o.status, Status::Fail) << name << ": " << o.Explanation();
    // These must really have run, not been skipped.
    for (const char* name :
         {"audio.fpu-state", "threads.audio-and-ui", "state.bank-round-trip", "realtime.no-system-calls"})
        EXPECT_EQ(results[name].status, Status::Pass) << name << ": " << results[name].Explanation();
    if (rtcheck::CountingAvailable()) {
        EXPECT_EQ(results["realtime.no-heap"].status, Status::Pass);
    }
#endif
}

TEST(ValidateBattery, HostFixtureFailsOnlyWhereItCutsCorners) {
    // The host's fixture keeps 32-byte program names, takes any text as a number and stores host values
    // unclamped: exactly three findings, and nothing else.
    auto results = RunAll(QL_FIXTURE_PLUGIN);
    std::map<std::string, Status> expected{{"programs.rename-overlong", Status::Fail},
                                           {"parameters.texts-and-entry", Status::Fail},
                                           {"parameters.extreme-values", Status::Fail}};
    for (const auto& [name, o] : results) {
        auto it = expected.find(name);
        Status want = it == expected.end() ? Status::Pass : it->second;
        if (name.rfind("editor.", 0) == 0) {
            // Without a display every editor test says so, and nothing else.
            EXPECT_EQ(o.status, Status::Skip) << name;
            const bool x11 = std::string(ql::host::platform::WindowSystemName()) == "X11";
            EXPECT_NE(o.reason.find(x11 ? "no X display" : "without a window system"), std::string::npos)
                << name << ": " << o.reason;
            continue;
        }
        if (kSanitized && (name == "realtime.no-heap" || name == "realtime.no-locks")) want = Status::Skip;
        EXPECT_EQ(o.status, want) << name << ": " << o.Explanation();
    }
    EXPECT_NE(results["programs.rename-overlong"].reason.find("past its 24-byte buffer"), std::string::npos);
    EXPECT_NE(results["parameters.extreme-values"].reason.find("reads -0.5"), std::string::npos);
}

TEST(ValidateBattery, BrokenFixtureFailsTheRightChecks) {
    auto results = RunAll(QL_BROKEN_PLUGIN);
    auto failsWith = [&](const char* name, const char* text) {
        const Outcome& o = results[name];
        EXPECT_EQ(o.status, Status::Fail) << name << " should fail\n" << Report(results);
        EXPECT_NE(o.Explanation().find(text), std::string::npos) << name << ": " << o.Explanation();
    };
    failsWith("identity.texts", "wrote 37 byte(s) past its 64-byte buffer");
    failsWith("parameters.texts-and-entry", "past its 64-byte buffer");
    failsWith("dispatcher.every-opcode", "crashed: killed by SIGILL");
    failsWith("audio.replacing-separate", "wrote outside the");
    failsWith("audio.replacing-in-place", "wrote outside the");
    failsWith("audio.fpu-state", "divide-by-zero");
    EXPECT_GE(results["audio.fpu-state"].extraFailures, 1)
        << "the rounding mode left by getParameter went unseen";
    if (kSanitized) {
        EXPECT_EQ(results["realtime.no-heap"].status, Status::Skip);
    } else {
        failsWith("realtime.no-heap", "processReplacing allocated");
        failsWith("realtime.no-locks", "processReplacing took a lock");
        failsWith("realtime.no-system-calls", "processReplacing made a system call");
    }
    // What it does right still passes: the checks do not fail everything they touch (those that play through
    // processReplacing all fail, as they should).
    EXPECT_EQ(results["host-order.settings-after-open"].status, Status::Fail);
    for (const char* name : {"lifecycle.open-close-cold-warm", "programs.indexed-out-of-range",
                             "audio.accumulating-separate", "parameters.round-trip", "state.bank-round-trip"})
        EXPECT_EQ(results[name].status, Status::Pass) << name << ": " << results[name].Explanation();
}

/// One fault of the broken fixture, the test that must catch it, what it must say, and a test the fault
/// must leave passing (so a check does not fail everything it touches).
struct FaultCase {
    const char* fault;
    const char* failing;
    const char* says;
    const char* passing;
};

class SingleFault : public ::testing::TestWithParam<FaultCase> {
  protected:
    void SetUp() override { setenv("QL_BROKEN_FAULT", GetParam().fault, 1); }
    void TearDown() override { unsetenv("QL_BROKEN_FAULT"); }
};

TEST_P(SingleFault, IsCaughtByItsCheckAlone) {
    const FaultCase& c = GetParam();
    auto results = RunAll(QL_BROKEN_PLUGIN);
    const Outcome& caught = results[c.failing];
    EXPECT_EQ(caught.status, Status::Fail) << c.failing << " missed " << c.fault << "\n" << Report(results);
    EXPECT_NE(caught.Explanation().find(c.says), std::string::npos) << caught.Explanation();
    EXPECT_EQ(results[c.passing].status, Status::Pass)
        << c.passing << ": " << results[c.passing].Explanation();
}

INSTANTIATE_TEST_SUITE_P(
    BrokenFixture, SingleFault,
    ::testing::Values(
        FaultCase{"modifies-input", "audio.replacing-separate", "changed its input buffers",
                  "audio.replacing-in-place"},
        FaultCase{"subnormal", "audio.replacing-separate", "is subnormal", "audio.accumulating-separate"},
        FaultCase{"nan", "audio.replacing-in-place", "is NaN for finite input", "audio.fpu-state"},
        FaultCase{"program-range", "programs.random-switching", "effGetProgram replies 5", "identity.texts"},
        FaultCase{"param-range", "parameters.extreme-values", "reads 1.5", "audio.replacing-separate"},
        FaultCase{"unstable", "parameters.round-trip", "reads back 0.25", "parameters.extreme-values"},
        FaultCase{"unterminated", "identity.texts", "effGetEffectName left no terminating zero",
                  "programs.names"},
        FaultCase{"writes-before", "identity.texts", "effGetVendorString wrote before the start",
                  "programs.names"},
        FaultCase{"pin-label", "identity.texts", "effGetInputProperties(0) label left no terminating zero",
                  "parameters.texts-and-entry"},
        FaultCase{"x87-stack", "audio.fpu-state", "x87 register stack unbalanced",
                  "audio.replacing-separate"},
        FaultCase{"unrestorable", "state.bank-round-trip", "reads back differently",
                  "parameters.round-trip"}),
    [](const auto& info) {
        std::string name = info.param.fault;
        for (char& ch : name)
            if (ch == '-') ch = '_';
        return name;
    });

TEST(ValidateBattery, CorrectMinimalEffectPassesEverything) {
    // The broken fixture with no fault at all: a plain gain with no editor. Nothing may fail; only the tests
    // that have nothing to look at are skipped.
    setenv("QL_BROKEN_FAULT", "none", 1);
    auto results = RunAll(QL_BROKEN_PLUGIN);
    unsetenv("QL_BROKEN_FAULT");
    for (const auto& [name, o] : results) {
        bool mayBeSkipped = name.rfind("editor.", 0) == 0 || (kSanitized && name.rfind("realtime.", 0) == 0);
        EXPECT_EQ(o.status, mayBeSkipped && o.status == Status::Skip ? Status::Skip : Status::Pass)
            << name << ": " << o.Explanation();
    }
}

TEST(ValidateBattery, LevelsAndNamesChooseTheTests) {
    Options options;
    options.pluginPath = QL_FIXTURE_PLUGIN;
    options.level = 2;
    for (const Result& r : RunBattery(options))
        EXPECT_LE(r.level, 2) << r.name;
    options.level = 10;
    options.only = {"round-trip"};
    auto results = RunBattery(options);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].name, "parameters.round-trip");
    EXPECT_EQ(results[1].name, "state.bank-round-trip");
    EXPECT_TRUE(CheckUsable(options).empty());
    options.pluginPath = "/nonexistent/plugin.so";
    EXPECT_NE(CheckUsable(options).find("cannot load"), std::string::npos);
}

TEST(ValidateIsolation, CrashesExitsHangsAndErrorsBecomeFailures) {
    Outcome crashed = RunContained([](Outcome&) { std::abort(); }, true, 30);
    EXPECT_EQ(crashed.status, Status::Fail);
    EXPECT_NE(crashed.reason.find("SIGABRT"), std::string::npos) << crashed.reason;

    Outcome exited = RunContained([](Outcome&) { _exit(3); }, true, 30);
    EXPECT_EQ(exited.status, Status::Fail);
    EXPECT_NE(exited.reason.find("exit status 3 without a result"), std::string::npos) << exited.reason;

    Outcome hung =
        RunContained([](Outcome&) { std::this_thread::sleep_for(std::chrono::seconds(30)); }, true, 1);
    EXPECT_EQ(hung.status, Status::Fail);
    EXPECT_NE(hung.reason.find("did not finish within 1 s"), std::string::npos) << hung.reason;

    Outcome threw = RunContained([](Outcome&) { throw std::runtime_error("no record"); }, true, 30);
    EXPECT_EQ(threw.status, Status::Fail);
    EXPECT_NE(threw.reason.find("no record"), std::string::npos);

    // A full result with notes and counted failures crosses the process boundary intact.
    Outcome reported = RunContained(
        [](Outcome& o) {
            o.Note("first remark");
            o.Fail("first\nfailure");
            o.Fail("second failure");
        },
        true, 30);
    EXPECT_EQ(reported.status, Status::Fail);
    EXPECT_EQ(reported.reason, "first failure");
    EXPECT_EQ(reported.extraFailures, 1);
    EXPECT_EQ(reported.notes, std::vector<std::string>{"first remark"});
}

TEST(ValidateRealtime, CountsHeapAndLocksOnlyInsideAudioCalls) {
    if (!rtcheck::CountingAvailable()) GTEST_SKIP() << rtcheck::CountingUnavailableReason();
    // Through pointers, so the compiler cannot fold the calls away.
    void* (*volatile allocate)(std::size_t) = &std::malloc;
    void (*volatile release)(void*) = &std::free;
    std::mutex m;

    rtcheck::ResetThreadCounts();
    release(allocate(16));
    EXPECT_TRUE(rtcheck::ThreadCounts().Clean()) << "counted outside an audio call";

    rtcheck::EnterAudioCall();
    release(allocate(16));
    m.lock();
    m.unlock();
    rtcheck::LeaveAudioCall();
    rtcheck::Counts c = rtcheck::ThreadCounts();
    EXPECT_EQ(c.allocations, 1u);
    EXPECT_EQ(c.frees, 1u);
    EXPECT_EQ(c.locks, 1u);

    // Another thread's calls are its own.
    rtcheck::ResetThreadCounts();
    rtcheck::EnterAudioCall();
    std::thread([&] { release(allocate(8)); }).join();
    rtcheck::LeaveAudioCall();
    EXPECT_EQ(rtcheck::ThreadCounts().frees, 0u);
    rtcheck::ResetThreadCounts();
}

TEST(ValidateRealtime, SystemCallsKillTheGuardedChild) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread sanitizer's runtime makes system calls of its own";
#endif
    rtcheck::GuardedRun quiet = rtcheck::RunWithoutSystemCalls(
        [](void*, int fd) {
            volatile double x = 1;
            for (int i = 0; i < 1000; ++i)
                x = x * 1.0001;
            rtcheck::RawWrite(fd, "ok", 2);
        },
        nullptr);
    if (!quiet.available) GTEST_SKIP() << quiet.detail;
    EXPECT_TRUE(quiet.completed) << quiet.detail;
    EXPECT_EQ(quiet.output, "ok");

    rtcheck::GuardedRun noisy = rtcheck::RunWithoutSystemCalls(
        [](void*, int fd) {
            rtcheck::RawWrite(fd, "a", 1);
            (void)syscall(SYS_getppid);
            rtcheck::RawWrite(fd, "b", 1);
        },
        nullptr);
    EXPECT_FALSE(noisy.completed);
    EXPECT_EQ(noisy.signal, SIGKILL);
    EXPECT_EQ(noisy.output, "a");
}
