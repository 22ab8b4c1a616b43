// The editor's window on X11, as Linux hosts give it: a top-level window on the host's own connection,
// pointer actions through the XTest extension, pixels through XGetImage.
#include "host/platform/EditorWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace ql::host::platform {
namespace {

/// The plug-in may destroy its windows at any moment, so requests about them can fail; such errors are
/// counted instead of ending the process (Xlib's default). The handler is the process's, so the previous
/// one comes back when the scope ends.
int gErrors = 0;
int CountError(Display*, XErrorEvent*) {
    ++gErrors;
    return 0;
}

class ErrorScope {
  public:
    explicit ErrorScope(Display* display) : fDisplay(display), fStart(gErrors) {
        XSync(fDisplay, False);
        fPrevious = XSetErrorHandler(&CountError);
    }
    ~ErrorScope() {
        XSync(fDisplay, False);
        XSetErrorHandler(fPrevious);
    }
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;
    bool Failed() {
        XSync(fDisplay, False);
        return gErrors != fStart;
    }

  private:
    Display* fDisplay;
    int fStart;
    int (*fPrevious)(Display*, XErrorEvent*) = nullptr;
};

/// The host's connection to a display, opened on first use and kept for the life of the process, as a
/// desktop host keeps its own. Opening is retried for a while: a server that has just lost its last client
/// resets itself and refuses connections meanwhile.
Display* OpenDisplay(const std::string& name) {
    static std::mutex mutex;
    // Never destroyed: the connections stay reachable for the whole process, through exit.
    static auto& open = *new std::map<std::string, Display*>;
    static pid_t owner = 0;
    std::lock_guard<std::mutex> lock(mutex);
    // A child process (the validator runs each test in one) must not talk over its parent's connection.
    if (owner != getpid()) {
        open.clear();
        owner = getpid();
    }
    const std::string key = name.empty() ? std::string(XDisplayName(nullptr)) : name;
    if (key.empty()) return nullptr; // none named, none in the environment
    if (auto it = open.find(key); it != open.end()) return it->second;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (Display* d = XOpenDisplay(key.empty() ? nullptr : key.c_str())) {
            open[key] = d;
            return d;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

/// What a failed connection is called in messages.
std::string Unreachable(const std::string& name) {
    const char* env = XDisplayName(nullptr);
    if (name.empty() && !(env && *env)) return "DISPLAY is not set";
    return "cannot open the X display " + (name.empty() ? std::string(env) : name);
}

/// Where a colour channel sits in a pixel: its shift and width, from the visual's mask.
struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(unsigned long mask) {
        if (!mask) return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        while (mask & 1) {
            mask >>= 1;
            ++bits;
        }
    }
    std::uint32_t Eight(unsigned long pixel) const {
        if (bits == 0) return 0;
        const unsigned long v = (pixel >> shift) & ((1ul << bits) - 1);
        return bits >= 8 ? static_cast<std::uint32_t>(v >> (bits - 8))
                         : static_cast<std::uint32_t>(v * 255 / ((1ul << bits) - 1));
    }
};

long CountTree(Display* d, Window w) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
    long count = 1;
    for (unsigned int i = 0; i < n; ++i)
        count += CountTree(d, children[i]);
    if (children) XFree(children);
    return count;
}

class X11EditorWindow final : public EditorWindow {
  public:
    X11EditorWindow(Display* display, const WindowRequest& request) : fDisplay(display) {
        int ev = 0, err = 0, major = 0, minor = 0;
        fHasXTest = XTestQueryExtension(fDisplay, &ev, &err, &major, &minor) == True;
        const int screen = DefaultScreen(fDisplay);
        fWidth = std::max(1, request.width);
        fHeight = std::max(1, request.height);
        int x = 0, y = 0;
        if (request.placement == Placement::BottomRight) {
            x = std::max(0, DisplayWidth(fDisplay, screen) - fWidth);
            y = std::max(0, DisplayHeight(fDisplay, screen) - fHeight);
        }
        XSetWindowAttributes a{};
        a.background_pixel = 0x808080; // grey shows where the editor does not draw
        a.event_mask = StructureNotifyMask | ExposureMask;
        a.override_redirect = True; // placed where asked, whether or not a window manager runs
        ErrorScope errors(fDisplay);
        fWindow = XCreateWindow(fDisplay, RootWindow(fDisplay, screen), x, y, static_cast<unsigned>(fWidth),
                                static_cast<unsigned>(fHeight), 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWBackPixel | CWEventMask | CWOverrideRedirect, &a);
        if (errors.Failed()) {
            fWindow = 0;
            return;
        }
        XStoreName(fDisplay, fWindow, request.title.c_str());
        XMapRaised(fDisplay, fWindow);
        // The window is there for the plug-in once the server has mapped it.
        XEvent e;
        do
            XWindowEvent(fDisplay, fWindow, StructureNotifyMask, &e);
        while (e.type != MapNotify);
        XSync(fDisplay, False);
    }

    ~X11EditorWindow() override {
        if (fWindow) {
            ErrorScope errors(fDisplay);
            XDestroyWindow(fDisplay, fWindow);
        }
        ProcessEvents();
    }

    bool Valid() const { return fWindow != 0; }

    void* ParentHandle() const override {
        return reinterpret_cast<void*>(
            static_cast<std::uintptr_t>(fWindow)); // NOLINT(performance-no-int-to-ptr)
    }
    std::intptr_t DisplayValue() const override { return reinterpret_cast<std::intptr_t>(fDisplay); }

    void Resize(int width, int height) override {
        fWidth = std::max(1, width);
        fHeight = std::max(1, height);
        ErrorScope errors(fDisplay);
        XResizeWindow(fDisplay, fWindow, static_cast<unsigned>(fWidth), static_cast<unsigned>(fHeight));
    }
    int Width() const override { return fWidth; }
    int Height() const override { return fHeight; }

    void ProcessEvents() override {
        // The editor reads its own connection; the host's carries only its window's notifications.
        while (XPending(fDisplay)) {
            XEvent e;
            XNextEvent(fDisplay, &e);
        }
    }

    bool MovePointer(int x, int y) override {
        if (!fHasXTest) return false;
        ErrorScope errors(fDisplay);
        int rx = 0, ry = 0;
        Window child = 0;
        XRaiseWindow(fDisplay, fWindow);
        XTranslateCoordinates(fDisplay, fWindow, DefaultRootWindow(fDisplay), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent(fDisplay, DefaultScreen(fDisplay), rx, ry, CurrentTime);
        return !errors.Failed();
    }

    bool PressButton(int button, bool down) override {
        if (!fHasXTest || button < 1 || button > 5) return false;
        ErrorScope errors(fDisplay);
        XTestFakeButtonEvent(fDisplay, static_cast<unsigned>(button), down ? True : False, CurrentTime);
        return !errors.Failed();
    }

    bool Capture(Pixels& out) override {
        ErrorScope errors(fDisplay);
        XWindowAttributes wa;
        if (!XGetWindowAttributes(fDisplay, fWindow, &wa)) return false;
        // The window's contents include the plug-in's windows inside it (they share its depth).
        XImage* image = XGetImage(fDisplay, fWindow, 0, 0, static_cast<unsigned>(wa.width),
                                  static_cast<unsigned>(wa.height), AllPlanes, ZPixmap);
        if (!image || errors.Failed()) {
            if (image) XDestroyImage(image);
            return false;
        }
        const Channel r(wa.visual->red_mask), g(wa.visual->green_mask), b(wa.visual->blue_mask);
        out.width = wa.width;
        out.height = wa.height;
        out.rgb.assign(static_cast<std::size_t>(wa.width) * static_cast<std::size_t>(wa.height), 0);
        for (int y = 0; y < wa.height; ++y)
            for (int x = 0; x < wa.width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                out.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(wa.width) +
                        static_cast<std::size_t>(x)] = r.Eight(p) << 16 | g.Eight(p) << 8 | b.Eight(p);
            }
        XDestroyImage(image);
        return true;
    }

    int ChildWindows() const override {
        ErrorScope errors(fDisplay);
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(fDisplay, fWindow, &root, &parent, &children, &n)) return -1;
        if (children) XFree(children);
        return static_cast<int>(n);
    }

  private:
    Display* fDisplay;
    Window fWindow = 0;
    bool fHasXTest = false;
    int fWidth = 0;
    int fHeight = 0;
};

} // namespace

std::unique_ptr<EditorWindow> EditorWindow::Create(const WindowRequest& request, std::string& error) {
    Display* display = OpenDisplay(request.display);
    if (!display) {
        error = Unreachable(request.display);
        return nullptr;
    }
    auto window = std::make_unique<X11EditorWindow>(display, request);
    if (!window->Valid()) {
        error = "the X server refused a " + std::to_string(request.width) + " x " +
                std::to_string(request.height) + " window";
        return nullptr;
    }
    return window;
}

std::string WindowSystemProblem(const std::string& display) {
    Display* d = OpenDisplay(display);
    if (!d) return "no X display: " + Unreachable(display) + " (give --display or set DISPLAY)";
    return {};
}

WindowCounts CountWindows(const std::string& display) {
    WindowCounts counts;
    Display* d = OpenDisplay(display);
    if (!d) return counts;
    {
        ErrorScope errors(d);
        // Another client may destroy a window while the tree is walked; a count taken during such a change
        // is taken again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int before = gErrors;
            long windows = 0;
            for (int s = 0; s < ScreenCount(d); ++s)
                windows += CountTree(d, RootWindow(d, s));
            XSync(d, False);
            if (gErrors == before) {
                counts.windows = windows;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        int ev = 0, err = 0;
        XResClient* clients = nullptr;
        int n = 0;
        if (XResQueryExtension(d, &ev, &err) && XResQueryClients(d, &n, &clients)) {
            counts.clients = n;
            counts.resources = 0;
            for (int i = 0; i < n; ++i) {
                XResType* types = nullptr;
                int nt = 0;
                if (XResQueryClientResources(d, clients[i].resource_base, &nt, &types)) {
                    for (int t = 0; t < nt; ++t)
                        counts.resources += types[t].count;
                    XFree(types);
                }
            }
            XFree(clients);
        }
    }
    return counts;
}

const char* CountScope() { return "the whole X display"; }

const char* WindowSystemName() { return "X11"; }

} // namespace ql::host::platform
