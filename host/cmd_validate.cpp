// qlhost validate: the battery of host-side checks, level by level, one line per test.
#include "host/CommandLine.h"
#include "host/Commands.h"
#include "host/Plugin.h"
#include "host/validate/Battery.h"
#include "host/validate/Isolation.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace ql::host::cli {

const char* const kValidateUsage =
    "usage: qlhost validate [PLUGIN] [--level 1..10] [--seed N] [--only NAME]... [--in-process]\n"
    "                       [--timeout SECONDS] [--display NAME] [--list]\n"
    "       qlhost validate [PLUGIN] --leak-cycles N\n\n"
    "Loads the plug-in as hosts do and runs every test whose level is at most --level (default 5; CI uses\n"
    "10), each in a fresh instance inside a child process, so that a crash is reported as a failure with "
    "the\n"
    "signal's name. Prints one line per test (PASS, FAIL or SKIP, its level, its time, and why) and exits\n"
    "with status 1 when any test failed.\n\n"
    "Levels: 1 opening and closing, 100 instances; 2 host call orders; 3 every opcode and every text inside\n"
    "its buffer; 4 programs; 5 parameters; 6 audio (rates, block sizes, in place, hostile input, FPU "
    "state);\n"
    "7 automation between sub-blocks; 8 audio and user-interface threads at once; 9 no heap, lock or system\n"
    "call in the audio entries; 10 bank round trip, and the editor in a real window (needs a display).\n\n"
    "options:\n"
    "  --level N         highest level to run (1 to 10, default 5)\n"
    "  --seed N          seed of every random choice (default 1), to repeat a run exactly\n"
    "  --only NAME       run only the tests whose names contain NAME; repeatable\n"
    "  --in-process      run the tests in this process (a crash ends the run; for debuggers and sanitizers)\n"
    "  --timeout S       stop and fail a test that runs longer than S seconds (default 180)\n"
    "  --display NAME    the X display for the editor tests (default: $DISPLAY; without one they are "
    "skipped)\n"
    "  --list            list the tests and their levels, run nothing\n"
    "  --leak-cycles N   only open, play and close the plug-in N times, for a leak checker to watch\n";

int RunValidate(const std::vector<std::string>& args) {
    ParsedArgs parsed = Parse(args, {{"level", true},
                                     {"seed", true},
                                     {"only", true},
                                     {"in-process", false},
                                     {"timeout", true},
                                     {"display", true},
                                     {"list", false},
                                     {"leak-cycles", true}});
    validate::Options options;
    options.pluginPath = TakePluginPath(parsed.positional);
    if (!parsed.positional.empty())
        throw UsageError("unexpected argument '" + parsed.positional.front() + "'");
    if (auto v = parsed.Last("level")) options.level = static_cast<int>(ParseInt(*v, "--level", 1, 10));
    if (auto v = parsed.Last("seed")) {
        errno = 0;
        char* end = nullptr;
        unsigned long long seed = std::strtoull(v->c_str(), &end, 10);
        if (v->empty() || *end != '\0' || errno == ERANGE)
            throw UsageError("--seed must be a whole number, not '" + *v + "'");
        options.seed = seed;
    }
    options.only = parsed.All("only");
    options.isolate = !parsed.Has("in-process");
    if (auto v = parsed.Last("display")) {
        if (v->empty()) throw UsageError("--display needs a name, e.g. :0");
        options.display = *v;
        // The plug-in's editor opens its own connection, to the display the environment names.
        validate::SetEnvironment("DISPLAY", v->c_str());
    }
    if (auto v = parsed.Last("timeout"))
        options.timeoutSeconds = static_cast<double>(ParseInt(*v, "--timeout", 1, 86400));

    if (parsed.Has("list")) {
        for (const auto& t : validate::AllTests())
            std::printf("L%-3d %-38s %s\n", t.level, t.name, t.summary);
        return 0;
    }
    if (auto v = parsed.Last("leak-cycles")) {
        int cycles = static_cast<int>(ParseInt(*v, "--leak-cycles", 1, 100000));
        validate::RunLeakCycles(options.pluginPath, cycles);
        std::printf("%d open/play/close cycles of %s done\n", cycles, options.pluginPath.c_str());
        return 0;
    }

    if (std::string why = validate::CheckUsable(options); !why.empty()) throw HostError(why);
    std::printf("qlhost validate %s (level %d, seed %llu%s)\n", options.pluginPath.c_str(), options.level,
                static_cast<unsigned long long>(options.seed),
                options.isolate && validate::IsolationAvailable() ? "" : ", in process");
    std::fflush(stdout);
    int passed = 0, failed = 0, skipped = 0;
    validate::RunBattery(options, [&](const validate::Result& r) {
        const validate::Outcome& o = r.outcome;
        std::printf("%s  L%-2d %-38s %7.2f s", validate::StatusName(o.status), r.level, r.name.c_str(),
                    r.seconds);
        if (o.status != validate::Status::Pass) std::printf("  %s", o.Explanation().c_str());
        std::printf("\n");
        for (const auto& note : o.notes)
            std::printf("      note: %s\n", note.c_str());
        std::fflush(stdout);
        (o.status == validate::Status::Pass   ? passed
         : o.status == validate::Status::Fail ? failed
                                              : skipped)++;
    });
    if (passed + failed + skipped == 0) {
        std::fprintf(stderr, "qlhost validate: no test matches the options given\n");
        return 2;
    }
    std::printf("summary: %d test(s) passed, %d failed, %d skipped\n", passed, failed, skipped);
    return failed ? 1 : 0;
}

} // namespace ql::host::cli
