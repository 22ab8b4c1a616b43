// The validator: a battery of host-side checks run level by level against any VST 2 plug-in, each in a
// fresh instance and, where the platform allows, in a child process so that a crash is reported, not
// suffered.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ql::host::validate {

enum class Status { Pass, Fail, Skip };
const char* StatusName(Status status);

/// What one test found. The first failure gives the reason; later ones are counted.
struct Outcome {
    Status status = Status::Pass;
    std::string reason;
    std::vector<std::string>
        notes; ///< remarks that do not fail the test (a text longer than the standard's size)
    int extraFailures = 0;

    void Fail(const std::string& why);
    void Skip(const std::string& why);
    void Note(const std::string& remark);
    bool Failed() const noexcept { return status == Status::Fail; }
    /// The reason with the count of further failures.
    std::string Explanation() const;
};

struct Options {
    std::string pluginPath;
    int level = 5;                 ///< run the tests whose level is at most this
    std::uint64_t seed = 1;        ///< for every random choice (values, orders), so a failure can be repeated
    bool isolate = true;           ///< run each test in a child process where the platform has them
    std::vector<std::string> only; ///< run only tests whose names contain one of these
    double timeoutSeconds = 180;   ///< a test still running then is stopped and fails
    std::string display;           ///< where the editor tests open windows (X11; empty: $DISPLAY)
};

class Context;

struct TestCase {
    const char* name;
    int level;
    const char* summary;
    void (*run)(Context& context, Outcome& outcome);
};

/// Every test of the battery, in the order they run.
const std::vector<TestCase>& AllTests();

struct Result {
    std::string name;
    int level = 0;
    Outcome outcome;
    double seconds = 0;
};

/// Runs the tests that Options select, reporting each result as it comes; returns them all.
std::vector<Result> RunBattery(const Options& options,
                               const std::function<void(const Result&)>& onResult = {});

/// Whether the plug-in loads and gives a record at all (checked in a child process where possible, so that
/// the validator's own process stays cold): the reason when it does not, else empty.
std::string CheckUsable(const Options& options);

/// Loads and unloads the plug-in cycles times, each time opening an instance, playing a few blocks and
/// closing it: the workload that a leak checker watches. Throws HostError when the plug-in cannot be used.
void RunLeakCycles(const std::string& pluginPath, int cycles);

/// Whether tests run in child processes on this platform.
bool IsolationAvailable();

} // namespace ql::host::validate
