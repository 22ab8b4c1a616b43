// A plug-in's editor hosted as a desktop host hosts it: the rectangle asked for, a top-level window of that
// size, effEditOpen with it, effEditIdle on a steady tick, and a user's pointer actions inside it.
#pragma once

#include "host/Plugin.h"
#include "host/platform/EditorWindow.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace ql::host {

struct EditorSettings {
    std::string display;                                          ///< X11 display name (empty: $DISPLAY)
    std::chrono::milliseconds tick{20};                           ///< how often effEditIdle is sent
    platform::Placement placement = platform::Placement::TopLeft; ///< where the window goes
};

enum class EditorOpen {
    Opened,
    NoWindowSystem, ///< no window could be made here (no display, a build without a window system)
    Refused,        ///< effEditOpen replied 0 in a real window
};

/// One open editor at a time for one plug-in instance. All calls belong on the host's user-interface thread;
/// the audio entries may run on another thread meanwhile.
class EditorHost {
  public:
    /// The window size used when the plug-in gives no usable rectangle before opening.
    static constexpr int kDefaultWidth = 400;
    static constexpr int kDefaultHeight = 300;
    /// Larger rectangles than this are taken as nonsense.
    static constexpr int kMaxSide = 8192;

    explicit EditorHost(const Plugin& plugin, EditorSettings settings = {});
    ~EditorHost();
    EditorHost(const EditorHost&) = delete;
    EditorHost& operator=(const EditorHost&) = delete;

    /// Asks for the rectangle, makes a window of its size (the default size when there is none or it is
    /// unusable), sends effEditOpen with it, and afterwards sizes the window to the rectangle the editor
    /// then reports. Anything but Opened leaves no window; Problem() says why.
    EditorOpen Open();
    /// effEditClose, then the window goes. Nothing happens when no editor is open.
    void Close();
    /// How many windows the plug-in still had inside the host's window right after the last effEditClose
    /// (-1 when unknown).
    int ChildrenLeftAtClose() const noexcept { return fChildrenLeft; }
    bool IsOpen() const noexcept { return fOpen; }
    const std::string& Problem() const noexcept { return fProblem; }

    /// The rectangles effEditGetRect gave before effEditOpen and after it (nothing when it pointed nowhere).
    const std::optional<vst::ERect>& RectBefore() const noexcept { return fRectBefore; }
    const std::optional<vst::ERect>& RectAfter() const noexcept { return fRectAfter; }
    int Width() const;
    int Height() const;

    /// Keeps the editor running for a while: effEditIdle every tick and the window system's events between.
    void Idle(std::chrono::milliseconds duration);
    /// One tick: waits for it, then effEditIdle and the window system's events.
    void Tick();

    /// Pointer actions in the editor window's coordinates, each followed by ticks so the editor sees them.
    /// False when the window system could not make them.
    bool Click(int x, int y, int button = 1);
    /// Presses at (x1, y1), moves to (x2, y2) a few pixels per event, releases there.
    bool Drag(int x1, int y1, int x2, int y2, int button = 1);
    bool Hover(int x, int y);

    /// The window's pixels with the editor's windows in it, after one more tick.
    bool Capture(platform::Pixels& out);
    /// Windows the plug-in has directly inside the host's window (-1 when unknown or none is open).
    int ChildWindows() const;
    platform::EditorWindow* Window() const noexcept { return fWindow.get(); }

    /// Whether a rectangle can size a window: right of left, below top, at most kMaxSide each way.
    static bool Usable(const std::optional<vst::ERect>& rect);

  private:
    bool Move(int x, int y);

    const Plugin& fPlugin;
    EditorSettings fSettings;
    std::unique_ptr<platform::EditorWindow> fWindow;
    bool fOpen = false;
    int fChildrenLeft = -1;
    std::string fProblem;
    std::optional<vst::ERect> fRectBefore, fRectAfter;
    std::chrono::steady_clock::time_point fNextTick{};
};

/// "611 x 226 (top 0, left 0, bottom 226, right 611)", or "none".
std::string DescribeRect(const std::optional<vst::ERect>& rect);

} // namespace ql::host
