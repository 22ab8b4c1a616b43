// The window system's part of hosting a plug-in's editor: a top-level window to open the editor in, the
// pointer actions a user makes in it, and reading back what the window shows. One implementation per window
// system (X11, Win32) and one for builds without any.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ql::host::platform {

/// A picture read back from a window: rows from the top, one 0x00RRGGBB value per pixel.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;

    std::uint32_t At(int x, int y) const {
        return rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                   static_cast<std::size_t>(x)];
    }
};

/// Where a new window goes on the screen: top-left for pictures and pointer actions, the bottom-right
/// corner to keep out of the way of other windows on the same display.
enum class Placement { TopLeft, BottomRight };

struct WindowRequest {
    int width = 0;
    int height = 0;
    std::string display; ///< X11: the display name (empty: $DISPLAY); ignored elsewhere
    std::string title = "qlhost";
    Placement placement = Placement::TopLeft;
};

/// What the window system holds, counted to see whether an editor leaves anything behind. A figure the
/// window system cannot tell is -1.
struct WindowCounts {
    long windows = -1;   ///< every window (X11: the whole server's tree; Win32: this process's windows)
    long clients = -1;   ///< X11: connections to the server, the host's own included
    long resources = -1; ///< X11: server resources of every client (windows, pixmaps, contexts, ...);
                         ///< Win32: this process's GDI and user objects
};

/// A top-level window of the host, mapped and shown; destroying it destroys whatever the plug-in left in it.
class EditorWindow {
  public:
    virtual ~EditorWindow() = default;

    /// Opens a top-level window of the requested size. On failure (no window system, no display, no input
    /// synthesis) returns null and sets error to why.
    static std::unique_ptr<EditorWindow> Create(const WindowRequest& request, std::string& error);

    /// effEditOpen's ptr: the window as the platform names it (X11 Window, Win32 HWND).
    virtual void* ParentHandle() const = 0;
    /// effEditOpen's value: X11 hands over the host's Display*; 0 elsewhere.
    virtual std::intptr_t DisplayValue() const = 0;

    virtual void Resize(int width, int height) = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;

    /// Handles what the window system has for the host: on X11 the host's own events, on Win32 every
    /// message of the thread, the editor's included.
    virtual void ProcessEvents() = 0;

    /// Pointer actions, in window coordinates, as the window system's input synthesis makes them (the same
    /// path a real pointer takes). Buttons: 1 left, 2 middle, 3 right. False when they could not be made.
    virtual bool MovePointer(int x, int y) = 0;
    virtual bool PressButton(int button, bool down) = 0;

    /// Reads back the window's pixels, the plug-in's windows inside it included.
    virtual bool Capture(Pixels& out) = 0;

    /// How many windows the plug-in has inside this one (direct children), or -1 when unknown.
    virtual int ChildWindows() const = 0;
};

/// Whether a window system can be reached here (X11: the display can be opened and has the input test
/// extension): empty when it can, else why not.
std::string WindowSystemProblem(const std::string& display);

/// Counts what the window system holds right now (see WindowCounts).
WindowCounts CountWindows(const std::string& display);
/// What CountWindows counts, for messages ("the whole X display", "this process").
const char* CountScope();

/// The platform's name of its window system ("X11", "Win32"), or empty in builds without one.
const char* WindowSystemName();

} // namespace ql::host::platform
