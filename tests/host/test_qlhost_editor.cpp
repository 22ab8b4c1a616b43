// qlhost editor as a user runs it on a display (skipped without one): its command line, pictures, pointer
// actions and cycles on the broken fixture's editor, third-party editors, and Quantilaw's editor (the plots,
// the read-out and its frame, clicks and drags on the read-out, a plot click switching the sound to the
// linear quantiser, the fading arrows, a hundred cycles).
#include "host/platform/EditorWindow.h"

#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;
using ql::host::platform::Pixels;

namespace {

struct Result {
    int status = -1;
    std::string output; ///< standard output and standard error together
};

/// Quantilaw's editor: the read-out's label, a point on the compression plot, the left arrow.
constexpr int kReadoutLeft = 252, kReadoutTop = 90, kReadoutWidth = 114, kReadoutHeight = 51;
constexpr const char* kUpperHalf = "309,100";
constexpr const char* kLowerHalf = "309,130";
constexpr const char* kPlot = "100,100";
constexpr const char* kArrow = "236,112";

class QlhostEditor : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = ql::host::platform::WindowSystemProblem(""); !why.empty()) GTEST_SKIP() << why;
        dir = fs::temp_directory_path() / ("qlhost-editor-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }

    /// Runs qlhost with args (quoted where needed) in the test's own folder.
    Result Call(const std::string& args, const std::string& environment = "") const {
        Result run;
        const std::string command =
            "cd '" + dir.string() + "' && " + environment + " '" QL_QLHOST_PATH "' " + args + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return run;
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            run.output.append(buffer, n);
        const int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return run;
    }

    /// Runs qlhost editor on our plug-in; nothing while the plug-in's editor does not open.
    std::optional<Result> Quantilaw(const std::string& args) const {
        Result run = Call("editor '" QL_PLUGIN_PATH "' " + args);
        if (run.status == 1 && run.output.find("effEditOpen replied 0") != std::string::npos)
            return std::nullopt;
        return run;
    }

    Pixels Read(const std::string& name) const {
        Pixels out;
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, (dir / name).c_str())) return out;
        image.format = PNG_FORMAT_RGB;
        std::vector<png_byte> buffer(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) return out;
        out.width = static_cast<int>(image.width);
        out.height = static_cast<int>(image.height);
        for (std::size_t i = 0; i + 2 < buffer.size(); i += 3)
            out.rgb.push_back(static_cast<std::uint32_t>(buffer[i]) << 16 |
                              static_cast<std::uint32_t>(buffer[i + 1]) << 8 | buffer[i + 2]);
        return out;
    }

    fs::path dir;
};

constexpr const char* kNotYet = "Quantilaw's effEditOpen replies 0: its editor is not there yet";

::testing::AssertionResult Contains(const Result& run, const std::string& text) {
    if (run.output.find(text) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << text << "' not in:\n" << run.output;
}

bool Dark(std::uint32_t p) { return ((p >> 16) & 0xFF) < 96 && ((p >> 8) & 0xFF) < 96 && (p & 0xFF) < 96; }

/// How many dark pixels a rectangle of the picture has.
int DarkPixels(const Pixels& p, int left, int top, int width, int height) {
    int n = 0;
    for (int y = top; y < top + height && y < p.height; ++y)
        for (int x = left; x < left + width && x < p.width; ++x)
            n += Dark(p.At(x, y));
    return n;
}

bool SameRegion(const Pixels& a, const Pixels& b, int left, int top, int width, int height) {
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x)
            if (a.At(x, y) != b.At(x, y)) return false;
    return true;
}

const std::string kBroken = "'" QL_BROKEN_PLUGIN "'";

} // namespace

TEST_F(QlhostEditor, CommandLineMistakesAndPlugInsWithoutAnEditor) {
    EXPECT_EQ(Call("help editor").status, 0);
    for (const char* bad : {"--click 1", "--click 1,2,4", "--click a,b", "--drag 1,2,3", "--hover 1,2,",
                            "--idle -5", "--cycles x", "--png", "--frobnicate", "extra-argument"}) {
        const Result run = Call("editor " + kBroken + " " + bad);
        EXPECT_EQ(run.status, 2) << bad << "\n" << run.output;
    }
    const Result none = Call("editor " + kBroken, "QL_BROKEN_FAULT=none");
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(Contains(none, "the plug-in's flags say it has no editor"));
    const Result noDisplay = Call("editor " + kBroken + " --display :4242", "QL_BROKEN_FAULT=editor-no-rect");
    EXPECT_EQ(noDisplay.status, 1);
    EXPECT_TRUE(Contains(noDisplay, "no X display: cannot open the X display :4242"));
}

TEST_F(QlhostEditor, OpensSavesPicturesInOrderAndCyclesWithoutLeftovers) {
    const Result run =
        Call("editor " + kBroken + " --png first.png --click 30,30 --idle 50 --png second.png --cycles 5",
             "QL_BROKEN_FAULT=editor-no-rect");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(
        Contains(run, "effEditGetRect before opening: 160 x 80 (top 0, left 0, bottom 80, right 160)"));
    EXPECT_TRUE(Contains(run, "opened in a 160 x 80 X11 window"));
    EXPECT_TRUE(Contains(run, "saved " + (dir / "first.png").string() + " (160 x 80)"));
    EXPECT_TRUE(Contains(run, "click 30,30 button 1\nidle 50 ms\nsaved " + (dir / "second.png").string()));
    EXPECT_TRUE(Contains(run, "5 open/idle/close cycles (counted on the whole X display)"));
    EXPECT_TRUE(std::regex_search(run.output, std::regex("windows +([0-9]+) before, \\1 after")))
        << run.output;
    EXPECT_TRUE(Contains(run, "Gain = x"));
    const Pixels first = Read("first.png");
    ASSERT_EQ(first.width, 160);
    EXPECT_EQ(first.At(5, 5), 0x808080u);
    EXPECT_EQ(first.At(50, 40), 0xFFFFFFu);
}

TEST_F(QlhostEditor, AWindowLeftBehindFailsTheCycles) {
    const Result run = Call("editor " + kBroken + " --cycles 3", "QL_BROKEN_FAULT=editor-leaves-window");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Contains(run, "3 of 3 closes left a window inside the host's window"));
}

TEST_F(QlhostEditor, ThirdPartyEditorsShowAndTakeDrags) {
    const std::string eq = "/usr/lib/vst/3BandEQ-vst.so";
    if (!fs::exists(eq)) GTEST_SKIP() << eq << " is not installed";
    // Its OpenGL view leaves allocations of the GL driver behind; a sanitized qlhost must not count them.
    const Result run =
        Call("editor " + eq + " --png eq.png --drag 80,140,80,90 --audio", "ASAN_OPTIONS=detect_leaks=0");
    if (run.status == 1 && run.output.find("effEditOpen replied 0") != std::string::npos)
        GTEST_SKIP() << run.output;
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run, "opened in a 392 x 372 X11 window"));
    EXPECT_TRUE(
        std::regex_search(run.output, std::regex("drag 80,140 to 80,90\n  Low = [1-9][0-9.]* dB\n  audio: ")))
        << run.output;
    const Pixels eqPicture = Read("eq.png");
    ASSERT_EQ(eqPicture.width, 392);
    EXPECT_GT(DarkPixels(eqPicture, 0, 0, 392, 372), 392 * 372 / 2) << "its dark panel is missing";
}

TEST_F(QlhostEditor, QuantilawShowsPlotsReadoutAndFrame) {
    const auto run = Quantilaw("--png editor.png");
    if (!run) GTEST_SKIP() << kNotYet;
    ASSERT_EQ(run->status, 0) << run->output;
    EXPECT_TRUE(Contains(*run, "opened in a 611 x 226 X11 window"));
    EXPECT_TRUE(Contains(*run, "Quantisation = 3 Bit"));
    const Pixels p = Read("editor.png");
    ASSERT_EQ(p.width, 611);
    ASSERT_EQ(p.height, 226);
    EXPECT_EQ(p.At(600, 220), 0xFFFFFFu) << "the form is white";
    // Both plots' vertical axes (x 24..25 of each picture) are black for most of their height.
    EXPECT_GT(DarkPixels(p, 8 + 24, 16 + 10, 2, 150), 280);
    EXPECT_GT(DarkPixels(p, 390 + 24, 16 + 10, 2, 150), 280);
    // The frame: a black square of 121 pixels around the read-out.
    EXPECT_GT(DarkPixels(p, 248, 56, 121, 3), 200);
    EXPECT_GT(DarkPixels(p, 248, 56, 3, 121), 200);
    // The read-out's text: "3Bit" in large bold letters.
    EXPECT_GT(DarkPixels(p, kReadoutLeft, kReadoutTop, kReadoutWidth, kReadoutHeight), 300);
}

TEST_F(QlhostEditor, QuantilawReadoutStepsWithClicksAndDrags) {
    const auto run = Quantilaw(std::string("--png before.png --click ") + kUpperHalf +
                               " --png after.png --click " + kLowerHalf + ",3 --click " + kLowerHalf + ",2");
    if (!run) GTEST_SKIP() << kNotYet;
    ASSERT_EQ(run->status, 0) << run->output;
    EXPECT_TRUE(Contains(*run, "click 309,100 button 1\n  Quantisation = 4 Bit"));
    EXPECT_TRUE(Contains(*run, "click 309,130 button 3\n  Quantisation = 3 Bit"));
    EXPECT_TRUE(Contains(*run, "click 309,130 button 2\n  Quantisation = 2 Bit"));
    // Only the read-out changed between the pictures.
    const Pixels before = Read("before.png"), after = Read("after.png");
    ASSERT_EQ(before.width, after.width);
    EXPECT_FALSE(SameRegion(before, after, kReadoutLeft, kReadoutTop, kReadoutWidth, kReadoutHeight));
    EXPECT_TRUE(SameRegion(before, after, 0, 0, 240, 226)) << "the left plot changed";

    const auto drag = Quantilaw("--drag 309,95,309,35");
    if (!drag) GTEST_SKIP() << kNotYet;
    ASSERT_EQ(drag->status, 0) << drag->output;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(drag->output, m, std::regex("\n  Quantisation = ([0-9]+) Bit")))
        << drag->output;
    EXPECT_GE(std::stoi(m[1]), 8) << "a 60-pixel drag upwards steps several times";
    EXPECT_LE(std::stoi(m[1]), 24);
}

TEST_F(QlhostEditor, QuantilawPlotClickSwitchesTheSoundToTheLinearQuantiser) {
    // The probe 0.5, 0.25, -0.3, 0.001 at 3 bits: companded 0.4576..., linear 4/7, 2/7, -2/7, 0.
    const auto run =
        Quantilaw(std::string("--audio --click ") + kPlot + " --png linear.png --click " + kPlot);
    if (!run) GTEST_SKIP() << kNotYet;
    ASSERT_EQ(run->status, 0) << run->output;
    EXPECT_TRUE(Contains(*run, "audio: 0.4575998 0.2093975 -0.2093975 0\n"));
    EXPECT_TRUE(Contains(*run, "click 100,100 button 1\n  audio: 0.5714286 0.2857143 -0.2857143 0\n"));
    EXPECT_TRUE(Contains(*run, "\nclick 100,100 button 1\n  audio: 0.4575998 0.2093975 -0.2093975 0\n"));
    // Dimmed plots: the axes are no longer black.
    const Pixels p = Read("linear.png");
    ASSERT_EQ(p.width, 611);
    EXPECT_EQ(DarkPixels(p, 8 + 24, 16 + 10, 2, 150), 0);
}

TEST_F(QlhostEditor, QuantilawArrowLightsUpUnderThePointerAndFadesBack) {
    const auto run = Quantilaw(std::string("--png cold.png --hover ") + kArrow +
                               " --idle 100 --png hot.png --hover 600,10 --idle 1000 --png again.png");
    if (!run) GTEST_SKIP() << kNotYet;
    ASSERT_EQ(run->status, 0) << run->output;
    const Pixels cold = Read("cold.png"), hot = Read("hot.png"), again = Read("again.png");
    // The left arrow's label, up to the frame's edge at x 248.
    const int arrowCold = DarkPixels(cold, 222, 84, 26, 55);
    EXPECT_GT(arrowCold, 20) << "the arrow is drawn in black";
    EXPECT_EQ(DarkPixels(hot, 222, 84, 26, 55), 0) << "the arrow turned white";
    EXPECT_TRUE(SameRegion(cold, again, 222, 84, 26, 55)) << "the arrow faded back";
}

TEST_F(QlhostEditor, QuantilawHundredCyclesLeaveNothingBehind) {
    const auto run = Quantilaw("--cycles 100");
    if (!run) GTEST_SKIP() << kNotYet;
    ASSERT_EQ(run->status, 0) << run->output;
    EXPECT_TRUE(Contains(*run, "100 open/idle/close cycles"));
    for (const char* what : {"windows", "clients", "resources"})
        EXPECT_TRUE(
            std::regex_search(run->output, std::regex(std::string(what) + " +([0-9]+) before, \\1 after")))
            << what << "\n"
            << run->output;
}
