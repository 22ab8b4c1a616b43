// qlhost validate and qlhost bench as a user runs them: what they print and their exit statuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome Qlhost(const std::string& args, const std::string& environment = "") {
    Outcome run;
    std::string command = environment + " '" QL_QLHOST_PATH "' " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, n);
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(QlhostValidate, ReportsOneLinePerTestAndFailsOnAFailure) {
    Outcome ok = Qlhost("validate '" QL_FIXTURE_PLUGIN "' --level 2");
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_EQ(Count(ok.output, "\nPASS  L"), 7u) << ok.output;
    EXPECT_NE(ok.output.find("summary: 7 test(s) passed, 0 failed, 0 skipped"), std::string::npos)
        << ok.output;

    Outcome broken = Qlhost("validate '" QL_BROKEN_PLUGIN "' --level 3 --only texts --only opcode");
    EXPECT_EQ(broken.status, 1) << broken.output;
    EXPECT_NE(broken.output.find("FAIL  L3  dispatcher.every-opcode"), std::string::npos) << broken.output;
    EXPECT_NE(broken.output.find("crashed: killed by SIGILL"), std::string::npos) << broken.output;
    EXPECT_NE(broken.output.find("summary: 0 test(s) passed, 2 failed"), std::string::npos) << broken.output;

    // The default level is 5: no audio test runs.
    Outcome defaults = Qlhost("validate '" QL_FIXTURE_PLUGIN "' --only audio.");
    EXPECT_EQ(defaults.status, 2) << defaults.output;
    EXPECT_NE(defaults.output.find("no test matches"), std::string::npos);
}

TEST(QlhostValidate, RejectsBadArgumentsAndUnusablePlugins) {
    EXPECT_EQ(Qlhost("validate '" QL_FIXTURE_PLUGIN "' --level 11").status, 2);
    EXPECT_EQ(Qlhost("validate '" QL_FIXTURE_PLUGIN "' --seed x").status, 2);
    EXPECT_EQ(Qlhost("validate '" QL_FIXTURE_PLUGIN "' --leak-cycles 0").status, 2);
    Outcome missing = Qlhost("validate /nonexistent/plugin.so");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("cannot load /nonexistent/plugin.so"), std::string::npos) << missing.output;
    EXPECT_EQ(Count(missing.output, "FAIL"), 0u) << "an unusable plug-in is one error, not a failed battery";

    Outcome list = Qlhost("validate --list");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("L9   realtime.no-system-calls"), std::string::npos) << list.output;
}

TEST(QlhostValidate, LeakCyclesAndSeedsRepeat) {
    Outcome cycles = Qlhost("validate '" QL_FIXTURE_PLUGIN "' --leak-cycles 3");
    EXPECT_EQ(cycles.status, 0) << cycles.output;
    EXPECT_NE(cycles.output.find("3 open/play/close cycles"), std::string::npos);
    // Same seed, same verdicts and remarks; the times differ, so compare without them.
    auto verdicts = [](const std::string& out) {
        std::string v;
        for (std::size_t at = 0; at < out.size();) {
            std::size_t end = out.find('\n', at);
            std::string line = out.substr(at, end - at);
            if (line.size() > 4 && line[4] == ' ') line.erase(44, 12);
            v += line + "\n";
            if (end == std::string::npos) break;
            at = end + 1;
        }
        return v;
    };
    Outcome a = Qlhost("validate '" QL_FIXTURE_PLUGIN "' --level 5 --seed 42");
    Outcome b = Qlhost("validate '" QL_FIXTURE_PLUGIN "' --level 5 --seed 42");
    EXPECT_EQ(verdicts(a.output), verdicts(b.output));
}

TEST(QlhostBench, PrintsThroughputAndAppliesTextEntry) {
    Outcome run = Qlhost("bench '" QL_FIXTURE_PLUGIN "' --seconds 2 --block 256 --set 0=0.25");
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char* field :
         {"Samples per second", "Real-time factor", "Per call", "First call", "2.0 s at 48 kHz"})
        EXPECT_NE(run.output.find(field), std::string::npos) << field << "\n" << run.output;
    EXPECT_EQ(Qlhost("bench '" QL_FIXTURE_PLUGIN "' --set 7=1").status, 2)
        << "the fixture has two parameters";
    EXPECT_EQ(Qlhost("bench '" QL_FIXTURE_PLUGIN "' --seconds 0").status, 2);
    EXPECT_EQ(Qlhost("bench '" QL_FIXTURE_PLUGIN "' --param 0=2").status, 2);
    // Output that is not finite is a failed run.
    EXPECT_EQ(Qlhost("bench '" QL_BROKEN_PLUGIN "' --seconds 1", "QL_BROKEN_FAULT=nan").status, 1);
}
