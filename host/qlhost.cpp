// qlhost: loads a VST 2 plug-in and drives it as a host does. Picks the command and reports failures.
#include "host/CommandLine.h"
#include "host/Commands.h"
#include "host/Plugin.h"
#include "host/SoundFile.h"

#include <cstdio>
#include <cstring>
#include <exception>

using namespace ql::host::cli;

namespace {

const Command kCommands[] = {
    {"info", "show a plug-in's identity, pins, can-do answers, parameters and programs", kInfoUsage,
     &RunInfo},
    {"process", "run a sound file (or the built-in demo) through a plug-in", kProcessUsage, &RunProcess},
    {"validate", "run the battery of host-side checks against a plug-in", kValidateUsage, &RunValidate},
    {"bench", "time a plug-in's processReplacing on a long generated signal", kBenchUsage, &RunBench},
    {"editor", "open a plug-in's editor in a window, click in it, save its picture", kEditorUsage,
     &RunEditor},
};

void PrintUsage(std::FILE* to) {
    std::fprintf(
        to,
        "usage: qlhost COMMAND [PLUGIN] [ARGS...]\n"
        "       qlhost help COMMAND\n\n"
        "PLUGIN is a VST 2 library (.so, .dll); without one, qlhost loads the Quantilaw plug-in of its\n"
        "build (%s).\n\ncommands:\n",
        DefaultPluginPath().c_str());
    for (const Command& c : kCommands)
        std::fprintf(to, "  %-9s %s\n", c.name, c.summary);
}

const Command* Find(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(stderr);
        return 2;
    }
    if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        if (args.size() > 1) {
            if (const Command* c = Find(args[1])) {
                std::fputs(c->usage, stdout);
                return 0;
            }
            std::fprintf(stderr, "qlhost: no command '%s'\n", args[1].c_str());
            return 2;
        }
        PrintUsage(stdout);
        return 0;
    }
    const Command* command = Find(args[0]);
    if (!command) {
        std::fprintf(stderr, "qlhost: no command '%s'\n\n", args[0].c_str());
        PrintUsage(stderr);
        return 2;
    }
    args.erase(args.begin());
    for (const auto& a : args)
        if (a == "-h" || a == "--help") {
            std::fputs(command->usage, stdout);
            return 0;
        }
    try {
        return command->run(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "qlhost %s: %s\n\n%s", command->name, e.what(), command->usage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qlhost %s: %s\n", command->name, e.what());
        return 1;
    }
}
