// The qlhost command as a user runs it: exit statuses, what it prints and the files it writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string output; ///< standard output and standard error together
};

class Qlhost : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef QL_QLHOST_PATH
        GTEST_SKIP() << "this build has no qlhost";
#endif
        dir = fs::temp_directory_path() / ("qlhost-test-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }

    /// Runs qlhost with args (already quoted where needed) in the test's own folder.
    Outcome Call(const std::string& args) const { return CallWithEnvironment("", args); }

    /// The same with environment assignments ("NAME=value ...") for qlhost alone.
    Outcome CallWithEnvironment(const std::string& environment, const std::string& args) const {
        Outcome run;
#ifdef QL_QLHOST_PATH
        std::string command =
            "cd '" + dir.string() + "' && " + environment + " '" QL_QLHOST_PATH "' " + args + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return run;
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            run.output.append(buffer, n);
        int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#else
        (void)environment;
        (void)args;
#endif
        return run;
    }

    /// A mono 16-bit WAV file of a quiet ramp, written by hand so the test needs no sound library.
    std::string WriteMonoWav(std::size_t frames) const {
        std::string path = (dir / "mono.wav").string();
        std::ofstream f(path, std::ios::binary);
        auto u32 = [&](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
        f.write("RIFF", 4);
        u32(static_cast<std::uint32_t>(36 + frames * 2));
        f.write("WAVEfmt ", 8);
        u32(16);
        u16(1);
        u16(1);
        u32(22050);
        u32(22050 * 2);
        u16(2);
        u16(16);
        f.write("data", 4);
        u32(static_cast<std::uint32_t>(frames * 2));
        for (std::size_t i = 0; i < frames; ++i)
            u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(i % 1000)));
        return path;
    }

    fs::path dir;
};

const std::string kFixture = "'" QL_FIXTURE_PLUGIN "'";

::testing::AssertionResult Contains(const Outcome& run, const std::string& text) {
    if (run.output.find(text) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << text << "' not in:\n" << run.output;
}

} // namespace

TEST_F(Qlhost, UsageAndHelp) {
    Outcome none = Call("");
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(Contains(none, "commands:"));
    Outcome help = Call("help process");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Contains(help, "--param INDEX=VALUE"));
    EXPECT_EQ(Call("info --help").status, 0);
    Outcome unknown = Call("frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(Contains(unknown, "no command 'frobnicate'"));
}

TEST_F(Qlhost, InfoPrintsIdentityPinsParametersAndPrograms) {
    Outcome run = Call("info " + kFixture);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run, "(entry VSTPluginMain)"));
    EXPECT_TRUE(Contains(run, "Effect name     Fixture Gain"));
    EXPECT_TRUE(Contains(run, "Vendor          Quantilaw Tests"));
    EXPECT_TRUE(Contains(run, "Unique ID       QlFx (0x516C4678)"));
    EXPECT_TRUE(Contains(run, "Flags           25 (HasEditor CanMono CanReplacing)"));
    EXPECT_TRUE(Contains(run, "I/O             2 in / 2 out"));
    EXPECT_TRUE(Contains(run, "In 2"));
    EXPECT_TRUE(Contains(run, "receiveVstTimeInfo     1"));
    EXPECT_TRUE(Contains(run, "Gain                 display \"0.5\""));
    EXPECT_TRUE(Contains(run, "0   First  (current)"));
    EXPECT_TRUE(Contains(run, "1   Second"));
}

TEST_F(Qlhost, APluginIsRecognisedByLoadingWhereItsNameDoesNotTell) {
    fs::copy_file(QL_FIXTURE_PLUGIN, dir / "gain-effect");
    // A bare file name means the file in the current folder, not a library on the system's search path.
    Outcome run = Call("info gain-effect");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run, "Plug-in         gain-effect (entry VSTPluginMain)"));
}

TEST_F(Qlhost, UnusableLibrariesAndBadArgumentsFailClearly) {
    Outcome missing = Call("info /no/such/plugin.so");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Contains(missing, "cannot load /no/such/plugin.so"));
    Outcome noEntry = Call("info '" QL_FIXTURE_NOENTRY "'");
    EXPECT_EQ(noEntry.status, 1);
    EXPECT_TRUE(Contains(noEntry, "exports no entry point"));
    EXPECT_EQ(Call("info " + kFixture + " extra").status, 2);
    EXPECT_EQ(Call("process " + kFixture + " --block 0").status, 2);
    EXPECT_EQ(Call("process " + kFixture + " --param 0=1.5").status, 2);
    EXPECT_EQ(Call("process " + kFixture + " --param zero=1").status, 2);
    EXPECT_EQ(Call("process " + kFixture + " --frobnicate").status, 2);
    Outcome noParam = Call("process " + kFixture + " --param 5=0.5");
    EXPECT_EQ(noParam.status, 1);
    EXPECT_TRUE(Contains(noParam, "no parameter 5: the plug-in has 2"));
    Outcome badText = Call("process " + kFixture + " --set 0=abc");
    EXPECT_EQ(badText.status, 1);
    EXPECT_TRUE(Contains(badText, "did not take 'abc'"));
    Outcome noInput = Call("process " + kFixture + " missing.wav");
    EXPECT_EQ(noInput.status, 1);
    EXPECT_TRUE(Contains(noInput, "cannot read missing.wav"));
}

TEST_F(Qlhost, TheDemoIsWrittenAndItsNoiseMeasured) {
    // The fixture's default gain is 1: the output is the input exactly.
    Outcome unity = Call("process " + kFixture);
    ASSERT_EQ(unity.status, 0) << unity.output;
    EXPECT_TRUE(Contains(unity, "Wrote 192000 frames of 2 channels at 48000 Hz to " +
                                    (dir / "quantilaw-demo.wav").string()));
    EXPECT_TRUE(Contains(unity, "-60 dBFS          exact        exact"));
    // 192000 frames of two 4-byte floats, behind WAV chunk headers.
    const auto size = fs::file_size(dir / "quantilaw-demo.wav");
    EXPECT_GE(size, 192000u * 2u * 4u);
    EXPECT_LT(size, 192000u * 2u * 4u + 256u);

    // Half the gain leaves an error of half the signal everywhere: 6.0 dB. --set enters the value as text.
    Outcome half = Call("process " + kFixture + " --set 0=0.25 --out half.wav --block 100 --rate 44100");
    ASSERT_EQ(half.status, 0) << half.output;
    EXPECT_TRUE(Contains(half, "Gain = 0.25 x"));
    EXPECT_TRUE(Contains(half, "Wrote 176400 frames of 2 channels at 44100 Hz"));
    EXPECT_TRUE(Contains(half, "-30 dBFS            6.0          6.0"));

    // --param takes a host value; the accumulating entry gives the same result on zeroed outputs.
    Outcome param = Call("process " + kFixture + " --param 0=0.25 --accumulate --out acc.wav");
    ASSERT_EQ(param.status, 0) << param.output;
    EXPECT_TRUE(Contains(param, "0 dBFS              6.0          6.0"));
}

TEST_F(Qlhost, ThePluginsDelayIsTakenOffTheFrontAndMadeUpAtTheEnd) {
    Outcome delayed = CallWithEnvironment("QL_FIXTURE_DELAY=1000", "process " + kFixture + " --block 300");
    ASSERT_EQ(delayed.status, 0) << delayed.output;
    EXPECT_TRUE(Contains(delayed, "Wrote 192000 frames"));
    EXPECT_TRUE(Contains(delayed, "plug-in delay of 1000 frames compensated"));
    EXPECT_TRUE(Contains(delayed, "0 dBFS          exact        exact"));
    EXPECT_TRUE(Contains(delayed, "-60 dBFS          exact        exact"));
}

TEST_F(Qlhost, FilesStreamThroughAndMonoFeedsEveryInput) {
    std::string mono = WriteMonoWav(5000);
    Outcome run = Call("process " + kFixture + " '" + mono + "' out.wav --block 64");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(
        Contains(run, "Wrote 5000 frames of 2 channels at 22050 Hz to " + (dir / "out.wav").string()));
    EXPECT_TRUE(fs::exists(dir / "out.wav"));
    // A file's default output name comes from its own; the plug-in path may be left to the default.
    Outcome named = Call("process " + kFixture + " '" + mono + "'");
    EXPECT_EQ(named.status, 0) << named.output;
    EXPECT_TRUE(fs::exists(dir / "mono-processed.wav"));
    EXPECT_EQ(Call("process " + kFixture + " '" + mono + "' a.wav --out b.wav").status, 2);
}

TEST_F(Qlhost, RunsAThirdPartyEffect) {
    const std::string bitcrush = "/usr/lib/vst/MaBitcrush-vst.so";
    if (!fs::exists(bitcrush)) GTEST_SKIP() << bitcrush << " is not installed";
    Outcome info = Call("info " + bitcrush);
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_TRUE(Contains(info, "Effect name     MaBitcrush"));
    Outcome process = Call("process " + bitcrush + " --param 0=0.5");
    ASSERT_EQ(process.status, 0) << process.output;
    EXPECT_TRUE(Contains(process, "Wrote 192000 frames of 2 channels"));
    EXPECT_TRUE(Contains(process, "the demo has 2 channels; the plug-in takes 1"));
}
