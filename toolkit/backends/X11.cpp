// The X11 window system: child windows inside a host's X window, on the plug-in's own display
// connection, pumped from the host's idle calls; no threads.
//
// Index
//   error trap          - X errors on our connection are counted, never fatal, never the host's
//   TX11WindowSystem    - the connection (opened with the first window, closed with the last)
//   TX11Window          - one child window: image transfer (MIT-SHM when possible), capture, cursor
//   events              - X events to toolkit messages
// Toolkit headers come first: Xlib defines macros (Focused, None, Status) that would clash.
#include "toolkit/Messages.h"
#include "toolkit/Region.h"
#include "toolkit/Surface.h"
#include "toolkit/backends/Platform.h"
#include "toolkit/backends/X11Backend.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

namespace ql {

// ---- error trap ----------------------------------------------------------------------------------

namespace {
int (*gPreviousHandler)(Display*, XErrorEvent*) = nullptr;
Display* gTrapDisplay = nullptr;
unsigned long gTrappedErrors = 0;

int TrapHandler(Display* d, XErrorEvent* e) {
    if (d == gTrapDisplay) {
        ++gTrappedErrors;
        return 0;
    }
    // Errors of the host's own connections stay the host's business.
    return gPreviousHandler ? gPreviousHandler(d, e) : 0;
}

/// Counts the X errors of our connection while it lives; the handler the host installed is back
/// in place afterwards.
class TErrorTrap {
  public:
    explicit TErrorTrap(Display* d) : fDisplay(d), fOuterDisplay(gTrapDisplay), fStart(gTrappedErrors) {
        gTrapDisplay = d;
        auto prev = XSetErrorHandler(&TrapHandler);
        fRestore = prev;
        if (prev != &TrapHandler) gPreviousHandler = prev;
    }
    ~TErrorTrap() {
        XSync(fDisplay, False);
        XSetErrorHandler(fRestore);
        gTrapDisplay = fOuterDisplay;
    }
    /// Errors so far (waits for the server to answer everything sent).
    unsigned long Errors() {
        XSync(fDisplay, False);
        return gTrappedErrors - fStart;
    }

  private:
    Display* fDisplay;
    Display* fOuterDisplay;
    unsigned long fStart;
    int (*fRestore)(Display*, XErrorEvent*) = nullptr;
};

int ShiftOf(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}
int BitsOf(unsigned long mask) {
    int n = 0;
    for (; mask; mask >>= 1)
        n += static_cast<int>(mask & 1);
    return n;
}

int VirtualKeyOf(KeySym ks) {
    if (ks >= XK_a && ks <= XK_z) return static_cast<int>('A' + (ks - XK_a));
    if (ks >= XK_A && ks <= XK_Z) return static_cast<int>('A' + (ks - XK_A));
    if (ks >= XK_0 && ks <= XK_9) return static_cast<int>('0' + (ks - XK_0));
    if (ks >= XK_F1 && ks <= XK_F12) return static_cast<int>(VK_F1 + (ks - XK_F1));
    switch (ks) {
    case XK_BackSpace:
        return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return VK_TAB;
    case XK_Return:
    case XK_KP_Enter:
        return VK_RETURN;
    case XK_Escape:
        return VK_ESCAPE;
    case XK_space:
        return VK_SPACE;
    case XK_Shift_L:
    case XK_Shift_R:
        return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
        return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
        return VK_MENU;
    case XK_Left:
        return VK_LEFT;
    case XK_Up:
        return VK_UP;
    case XK_Right:
        return VK_RIGHT;
    case XK_Down:
        return VK_DOWN;
    case XK_Prior:
        return VK_PRIOR;
    case XK_Next:
        return VK_NEXT;
    case XK_Home:
        return VK_HOME;
    case XK_End:
        return VK_END;
    case XK_Insert:
        return VK_INSERT;
    case XK_Delete:
        return VK_DELETE;
    default:
        return 0;
    }
}

unsigned int CursorGlyph(TCursor cursor) {
    switch (cursor) {
    case crHandPoint:
        return XC_hand2;
    case crIBeam:
        return XC_xterm;
    case crCross:
        return XC_crosshair;
    case crSizeWE:
    case crHSplit:
        return XC_sb_h_double_arrow;
    case crSizeNS:
    case crVSplit:
        return XC_sb_v_double_arrow;
    case crSizeAll:
        return XC_fleur;
    case crHourGlass:
    case crAppStart:
    case crSQLWait:
        return XC_watch;
    case crNo:
    case crNoDrop:
        return XC_X_cursor;
    case crUpArrow:
        return XC_sb_up_arrow;
    case crHelp:
        return XC_question_arrow;
    default:
        return XC_left_ptr;
    }
}

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | KeyPressMask | KeyReleaseMask |
                            StructureNotifyMask;
} // namespace

class TX11Window;

// ---- the window system -----------------------------------------------------------------------------

class TX11WindowSystem final : public TWindowSystem {
  public:
    ~TX11WindowSystem() override { Close(); }
    const char* Name() const override { return "x11"; }
    std::unique_ptr<TPlatformWindow> CreateChildWindow(TNativeHandle parent, const TRect& bounds,
                                                       TPlatformWindowSink& sink) override;
    TPoint CursorPos() override;
    bool IsKeyDown(int virtualKey) override;
    void ProcessEvents() override;

    /// Opens the connection when needed; false when there is no reachable display.
    bool Open() {
        if (fDisplay) return true;
        fDisplay = XOpenDisplay(nullptr);
        if (!fDisplay) return false;
        int major = 0, minor = 0;
        Bool pixmaps = False;
        fHasShm = XShmQueryVersion(fDisplay, &major, &minor, &pixmaps) == True;
        return true;
    }
    /// Closes the connection once no window uses it: the server then frees whatever is left.
    void CloseIfUnused() {
        if (fWindows.empty()) Close();
    }
    bool IsWindowOf(TNativeHandle handle) {
        if (!Open()) return false;
        TErrorTrap trap(fDisplay);
        XWindowAttributes attr;
        const Status ok = XGetWindowAttributes(fDisplay, static_cast<Window>(handle), &attr);
        return ok != 0 && trap.Errors() == 0;
    }
    Display* DisplayHandle() const { return fDisplay; }
    bool HasShm() const { return fHasShm; }
    void Forget(Window w) { fWindows.erase(w); }
    std::size_t WindowCount() const { return fWindows.size(); }

  private:
    void Close() {
        if (!fDisplay) return;
        XCloseDisplay(fDisplay);
        fDisplay = nullptr;
    }
    void Handle(XEvent& ev);

    Display* fDisplay = nullptr;
    bool fHasShm = false;
    std::map<Window, TX11Window*> fWindows;
};

namespace {
TX11WindowSystem& X11System() {
    static TX11WindowSystem system;
    return system;
}
} // namespace

// ---- one window ------------------------------------------------------------------------------------

class TX11Window final : public TPlatformWindow {
  public:
    TX11Window(TX11WindowSystem& sys, Window parent, const TRect& bounds, TPlatformWindowSink& sink)
        : fSys(sys), fDisplay(sys.DisplayHandle()), fSink(sink) {
        TErrorTrap trap(fDisplay);
        XSetWindowAttributes attrs{};
        attrs.event_mask = kEventMask;
        attrs.background_pixmap = None; // we draw every pixel: no flash of a background
        attrs.bit_gravity = NorthWestGravity;
        const TRect b = bounds.Normalized();
        fWidth = std::max(1, b.Width());
        fHeight = std::max(1, b.Height());
        fWindow = XCreateWindow(fDisplay, parent, b.Left, b.Top, static_cast<unsigned>(fWidth),
                                static_cast<unsigned>(fHeight), 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWEventMask | CWBackPixmap | CWBitGravity, &attrs);
        XWindowAttributes wa;
        if (fWindow && XGetWindowAttributes(fDisplay, fWindow, &wa)) {
            fVisual = wa.visual;
            fDepth = wa.depth;
            fGC = XCreateGC(fDisplay, fWindow, 0, nullptr);
        }
        if (trap.Errors() != 0 || !fGC) Destroy();
    }
    ~TX11Window() override {
        Destroy();
        fSys.Forget(fWindow);
        fSys.CloseIfUnused();
    }
    bool Valid() const { return fWindow != 0 && fGC != nullptr && !fDead; }
    Window XWindow() const { return fWindow; }

    TNativeHandle Handle() const override { return static_cast<TNativeHandle>(fWindow); }
    void SetBounds(const TRect& r) override {
        if (!Valid()) return;
        const TRect b = r.Normalized();
        fWidth = std::max(1, b.Width());
        fHeight = std::max(1, b.Height());
        TErrorTrap trap(fDisplay);
        XMoveResizeWindow(fDisplay, fWindow, b.Left, b.Top, static_cast<unsigned>(fWidth),
                          static_cast<unsigned>(fHeight));
    }
    void Show(bool visible) override {
        if (!Valid()) return;
        TErrorTrap trap(fDisplay);
        if (visible)
            XMapWindow(fDisplay, fWindow);
        else
            XUnmapWindow(fDisplay, fWindow);
        fMapped = visible;
    }
    void Invalidate(const TRect& r) override { fInvalid.Union(r.Intersected({0, 0, fWidth, fHeight})); }
    void Validate(const TRect& r) override { fInvalid.Subtract(r); }
    void Present(const TDrawingSurface& surface, const TRect& area) override;
    void SetCapture(bool capture) override {
        if (!Valid()) return;
        TErrorTrap trap(fDisplay);
        if (capture && !fGrabbed) {
            const int r = XGrabPointer(fDisplay, fWindow, False,
                                       ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                                           EnterWindowMask | LeaveWindowMask,
                                       GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
            // Without the grab the implicit one of the pressed button still holds the pointer.
            fGrabbed = r == GrabSuccess;
            fCaptured = true;
        } else if (!capture && fCaptured) {
            if (fGrabbed) XUngrabPointer(fDisplay, CurrentTime);
            fGrabbed = false;
            fCaptured = false;
            fLeavePending = !PointerInside();
        }
    }
    void SetCursorShape(TCursor cursor) override {
        if (!Valid() || cursor == fCursorShape) return;
        TErrorTrap trap(fDisplay);
        if (fCursor) XFreeCursor(fDisplay, fCursor);
        fCursor = 0;
        fCursorShape = cursor;
        if (cursor == crDefault) {
            XUndefineCursor(fDisplay, fWindow);
        } else {
            fCursor = XCreateFontCursor(fDisplay, CursorGlyph(cursor));
            XDefineCursor(fDisplay, fWindow, fCursor);
        }
    }
    TPoint ClientToScreen(TPoint p) const override {
        if (!Valid()) return p;
        TErrorTrap trap(fDisplay);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(fDisplay, fWindow, DefaultRootWindow(fDisplay), p.X, p.Y, &x, &y, &child);
        return {x, y};
    }
    void SetFocus() override {
        if (!Valid() || !fMapped) return;
        TErrorTrap trap(fDisplay);
        XSetInputFocus(fDisplay, fWindow, RevertToParent, CurrentTime);
    }

    // Called by the window system.
    void Event(XEvent& ev);
    void FlushPaint() {
        if (!Valid() || fInvalid.IsEmpty()) return;
        TRect r = fInvalid.BoundingBox();
        fInvalid.Clear();
        TMessage m{WM_PAINT, 0, reinterpret_cast<std::intptr_t>(&r), 0};
        fSink.PlatformMessage(m);
    }
    void FlushLeave() {
        if (!fLeavePending) return;
        fLeavePending = false;
        TMessage m{WM_MOUSELEAVE, 0, 0, 0};
        fSink.PlatformMessage(m);
    }

  private:
    bool PointerInside() const {
        Window root = 0, child = 0;
        int rx = 0, ry = 0, x = 0, y = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(fDisplay, fWindow, &root, &child, &rx, &ry, &x, &y, &mask)) return false;
        return x >= 0 && y >= 0 && x < fWidth && y < fHeight;
    }
    bool EnsureImage(int w, int h);
    void FreeImage();
    void Destroy() {
        if (!fDisplay) return;
        TErrorTrap trap(fDisplay);
        FreeImage();
        if (fGrabbed) XUngrabPointer(fDisplay, CurrentTime);
        fGrabbed = false;
        if (fCursor) XFreeCursor(fDisplay, fCursor);
        fCursor = 0;
        if (fGC) XFreeGC(fDisplay, fGC);
        fGC = nullptr;
        // A window the host already destroyed (with its parent) is not touched again.
        if (fWindow && !fDead) XDestroyWindow(fDisplay, fWindow);
        fDead = true;
    }
    void Send(std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
        TMessage m{msg, w, l, 0};
        fSink.PlatformMessage(m);
    }
    static std::uintptr_t MouseKeys(unsigned int state) {
        std::uintptr_t k = 0;
        if (state & Button1Mask) k |= MK_LBUTTON;
        if (state & Button2Mask) k |= MK_MBUTTON;
        if (state & Button3Mask) k |= MK_RBUTTON;
        if (state & ShiftMask) k |= MK_SHIFT;
        if (state & ControlMask) k |= MK_CONTROL;
        return k;
    }

    TX11WindowSystem& fSys;
    Display* fDisplay;
    TPlatformWindowSink& fSink;
    Window fWindow = 0;
    GC fGC = nullptr;
    Visual* fVisual = nullptr;
    int fDepth = 0;
    int fWidth = 1, fHeight = 1;
    bool fDead = false, fMapped = false, fGrabbed = false, fCaptured = false, fLeavePending = false;
    Cursor fCursor = 0;
    TCursor fCursorShape = crDefault;
    TRegion fInvalid;
    XImage* fImage = nullptr;
    XShmSegmentInfo fShm{};
    bool fShmAttached = false;
    Time fLastClickTime = 0;
    unsigned int fLastClickButton = 0;
    TPoint fLastClickPos;
};

void TX11Window::FreeImage() {
    if (!fImage) return;
    if (fShmAttached) {
        XShmDetach(fDisplay, &fShm);
        XSync(fDisplay, False);
        XDestroyImage(fImage); // an image made for shared memory does not free the segment
        shmdt(fShm.shmaddr);
        fShmAttached = false;
    } else {
        XDestroyImage(fImage); // frees the pixel buffer too
    }
    fImage = nullptr;
}

bool TX11Window::EnsureImage(int w, int h) {
    if (fImage && fImage->width == w && fImage->height == h) return true;
    FreeImage();
    if (fSys.HasShm()) {
        XImage* img = XShmCreateImage(fDisplay, fVisual, static_cast<unsigned>(fDepth), ZPixmap, nullptr,
                                      &fShm, static_cast<unsigned>(w), static_cast<unsigned>(h));
        if (img) {
            const std::size_t bytes =
                static_cast<std::size_t>(img->bytes_per_line) * static_cast<std::size_t>(h);
            fShm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
            void* addr = fShm.shmid >= 0 ? shmat(fShm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
            bool ok = addr != reinterpret_cast<void*>(-1);
            if (ok) {
                fShm.shmaddr = img->data = static_cast<char*>(addr);
                fShm.readOnly = False;
                TErrorTrap trap(fDisplay);
                ok = XShmAttach(fDisplay, &fShm) && trap.Errors() == 0; // refused on remote servers
            }
            // Marked for removal at once, so the segment goes whatever happens to this process.
            if (fShm.shmid >= 0) shmctl(fShm.shmid, IPC_RMID, nullptr);
            if (ok) {
                fImage = img;
                fShmAttached = true;
                return true;
            }
            if (addr != reinterpret_cast<void*>(-1)) shmdt(addr);
            img->data = nullptr;
            XDestroyImage(img);
        }
    }
    // Plain transfer through the connection.
    const int bitmapPad = 32;
    XImage* img = XCreateImage(fDisplay, fVisual, static_cast<unsigned>(fDepth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(w), static_cast<unsigned>(h), bitmapPad, 0);
    if (!img) return false;
    img->data = static_cast<char*>(
        std::malloc(static_cast<std::size_t>(img->bytes_per_line) * static_cast<std::size_t>(h)));
    if (!img->data) {
        XDestroyImage(img);
        return false;
    }
    fImage = img;
    return true;
}

void TX11Window::Present(const TDrawingSurface& surface, const TRect& area) {
    if (!Valid() || !fMapped) return;
    const TRect r = area.Intersected(surface.BoundsRect()).Intersected({0, 0, fWidth, fHeight});
    if (r.IsEmpty()) return;
    TErrorTrap trap(fDisplay);
    if (!EnsureImage(surface.Width(), surface.Height())) return;
    XImage* img = fImage;
    const bool direct = img->bits_per_pixel == 32 && img->red_mask == 0xFF0000 && img->green_mask == 0xFF00 &&
                        img->blue_mask == 0xFF && img->byte_order == LSBFirst;
    const int rs = ShiftOf(img->red_mask), gs = ShiftOf(img->green_mask), bs = ShiftOf(img->blue_mask);
    const int rb = BitsOf(img->red_mask), gb = BitsOf(img->green_mask), bb = BitsOf(img->blue_mask);
    for (int y = r.Top; y < r.Bottom; ++y) {
        const std::uint32_t* in = surface.ScanLine(y);
        if (direct) {
            // Drawn pixels carry alpha 0; a window with an alpha channel (depth 32) must still
            // show them opaque.
            auto* out = reinterpret_cast<std::uint32_t*>(img->data + static_cast<std::ptrdiff_t>(y) *
                                                                         img->bytes_per_line);
            for (int x = r.Left; x < r.Right; ++x)
                out[x] = in[x] | 0xFF000000u;
            continue;
        }
        for (int x = r.Left; x < r.Right; ++x) {
            const std::uint32_t p = in[x];
            const unsigned long red = ((p >> 16) & 0xFF) >> (8 - std::min(rb, 8));
            const unsigned long green = ((p >> 8) & 0xFF) >> (8 - std::min(gb, 8));
            const unsigned long blue = (p & 0xFF) >> (8 - std::min(bb, 8));
            XPutPixel(img, x, y, (red << rs) | (green << gs) | (blue << bs));
        }
    }
    if (fShmAttached) {
        XShmPutImage(fDisplay, fWindow, fGC, img, r.Left, r.Top, r.Left, r.Top,
                     static_cast<unsigned>(r.Width()), static_cast<unsigned>(r.Height()), False);
    } else {
        XPutImage(fDisplay, fWindow, fGC, img, r.Left, r.Top, r.Left, r.Top, static_cast<unsigned>(r.Width()),
                  static_cast<unsigned>(r.Height()));
    }
    // The trap's sync also makes sure the server has read the shared pixels before they change.
}

// ---- events ---------------------------------------------------------------------------------------

void TX11Window::Event(XEvent& ev) {
    switch (ev.type) {
    case Expose:
        fInvalid.Union(TRect::Bounds(ev.xexpose.x, ev.xexpose.y, ev.xexpose.width, ev.xexpose.height));
        break;
    case DestroyNotify:
        if (ev.xdestroywindow.window == fWindow) fDead = true;
        break;
    case ConfigureNotify:
        if (ev.xconfigure.window == fWindow) {
            fWidth = std::max(1, ev.xconfigure.width);
            fHeight = std::max(1, ev.xconfigure.height);
        }
        break;
    case MotionNotify: {
        // Only the latest position of a burst matters.
        XEvent next;
        while (XCheckTypedWindowEvent(fDisplay, fWindow, MotionNotify, &next))
            ev = next;
        Send(WM_MOUSEMOVE, MouseKeys(ev.xmotion.state), MakeMouseLParam(ev.xmotion.x, ev.xmotion.y));
        break;
    }
    case ButtonPress:
    case ButtonRelease: {
        const unsigned int button = ev.xbutton.button;
        if (button < 1 || button > 3) break; // wheel and extra buttons
        const bool down = ev.type == ButtonPress;
        const unsigned int bit = button == 1 ? Button1Mask : button == 2 ? Button2Mask : Button3Mask;
        // The state is the one before the event: add or remove the button itself.
        const unsigned int state = down ? (ev.xbutton.state | bit) : (ev.xbutton.state & ~bit);
        const std::uint32_t base = button == 1   ? WM_LBUTTONDOWN
                                   : button == 2 ? WM_MBUTTONDOWN
                                                 : WM_RBUTTONDOWN;
        std::uint32_t msg = down ? base : base + 1;
        const TPoint p{ev.xbutton.x, ev.xbutton.y};
        if (down) {
            const bool dbl = button == fLastClickButton && ev.xbutton.time - fLastClickTime < 500 &&
                             std::abs(p.X - fLastClickPos.X) <= 4 && std::abs(p.Y - fLastClickPos.Y) <= 4;
            if (dbl) {
                msg = base + 2;
                fLastClickButton = 0;
            } else {
                fLastClickButton = button;
                fLastClickTime = ev.xbutton.time;
                fLastClickPos = p;
            }
        }
        Send(msg, MouseKeys(state), MakeMouseLParam(p.X, p.Y));
        break;
    }
    case LeaveNotify:
        // A captured window keeps the pointer until it lets go; inferior crossings are ours.
        if (ev.xcrossing.detail != NotifyInferior && !fCaptured && ev.xcrossing.mode != NotifyGrab)
            fLeavePending = true;
        break;
    case EnterNotify:
        if (ev.xcrossing.detail != NotifyInferior) fLeavePending = false;
        break;
    case KeyPress:
    case KeyRelease: {
        char text[8] = {};
        KeySym ks = 0;
        const int n = XLookupString(&ev.xkey, text, sizeof text, &ks, nullptr);
        const int vk = VirtualKeyOf(ks);
        const bool alt = (ev.xkey.state & Mod1Mask) != 0;
        const std::intptr_t data =
            1 | (alt ? KF_ALTDOWN_BIT : 0) | (ev.type == KeyRelease ? (std::intptr_t{3} << 30) : 0);
        if (ev.type == KeyPress) {
            if (vk) Send(alt ? WM_SYSKEYDOWN : WM_KEYDOWN, static_cast<std::uintptr_t>(vk), data);
            if (n == 1 && static_cast<unsigned char>(text[0]) >= 0x20 && Valid())
                Send(alt ? WM_SYSCHAR : WM_CHAR, static_cast<unsigned char>(text[0]), data);
        } else if (vk) {
            Send(alt ? WM_SYSKEYUP : WM_KEYUP, static_cast<std::uintptr_t>(vk), data);
        }
        break;
    }
    default:
        break;
    }
}

std::unique_ptr<TPlatformWindow>
TX11WindowSystem::CreateChildWindow(TNativeHandle parent, const TRect& bounds, TPlatformWindowSink& sink) {
    if (!Open()) return nullptr;
    auto w = std::make_unique<TX11Window>(*this, static_cast<Window>(parent), bounds, sink);
    if (!w->Valid()) {
        w.reset(); // also closes the connection again when nothing else uses it
        return nullptr;
    }
    fWindows[w->XWindow()] = w.get();
    return w;
}

TPoint TX11WindowSystem::CursorPos() {
    if (!fDisplay) return {};
    Window root = 0, child = 0;
    int rx = 0, ry = 0, x = 0, y = 0;
    unsigned int mask = 0;
    XQueryPointer(fDisplay, DefaultRootWindow(fDisplay), &root, &child, &rx, &ry, &x, &y, &mask);
    return {rx, ry};
}

bool TX11WindowSystem::IsKeyDown(int vk) {
    if (!fDisplay) return false;
    if (vk == VK_LBUTTON || vk == VK_RBUTTON || vk == VK_MBUTTON) {
        Window root = 0, child = 0;
        int rx = 0, ry = 0, x = 0, y = 0;
        unsigned int mask = 0;
        XQueryPointer(fDisplay, DefaultRootWindow(fDisplay), &root, &child, &rx, &ry, &x, &y, &mask);
        return (mask & (vk == VK_LBUTTON ? Button1Mask : vk == VK_RBUTTON ? Button3Mask : Button2Mask)) != 0;
    }
    KeySym syms[2] = {NoSymbol, NoSymbol};
    switch (vk) {
    case VK_SHIFT:
        syms[0] = XK_Shift_L;
        syms[1] = XK_Shift_R;
        break;
    case VK_CONTROL:
        syms[0] = XK_Control_L;
        syms[1] = XK_Control_R;
        break;
    case VK_MENU:
        syms[0] = XK_Alt_L;
        syms[1] = XK_Alt_R;
        break;
    case VK_TAB:
        syms[0] = XK_Tab;
        break;
    case VK_RETURN:
        syms[0] = XK_Return;
        break;
    case VK_ESCAPE:
        syms[0] = XK_Escape;
        break;
    case VK_SPACE:
        syms[0] = XK_space;
        break;
    case VK_LEFT:
        syms[0] = XK_Left;
        break;
    case VK_UP:
        syms[0] = XK_Up;
        break;
    case VK_RIGHT:
        syms[0] = XK_Right;
        break;
    case VK_DOWN:
        syms[0] = XK_Down;
        break;
    default:
        if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
            syms[0] = static_cast<KeySym>(vk >= 'A' ? XK_a + (vk - 'A') : vk);
        break;
    }
    char keys[32] = {};
    XQueryKeymap(fDisplay, keys);
    for (KeySym ks : syms) {
        if (ks == NoSymbol) continue;
        const KeyCode kc = XKeysymToKeycode(fDisplay, ks);
        if (kc && (keys[kc / 8] & (1 << (kc % 8)))) return true;
    }
    return false;
}

void TX11WindowSystem::Handle(XEvent& ev) {
    auto it = fWindows.find(ev.xany.window);
    if (it != fWindows.end()) it->second->Event(ev);
}

void TX11WindowSystem::ProcessEvents() {
    if (!fDisplay) return;
    {
        TErrorTrap trap(fDisplay);
        while (fDisplay && XPending(fDisplay)) {
            XEvent ev;
            XNextEvent(fDisplay, &ev);
            Handle(ev);
        }
    }
    // Handlers may close windows (and the connection): work from the current list each time.
    std::vector<Window> ids;
    for (const auto& [id, w] : fWindows)
        ids.push_back(id);
    for (Window id : ids) {
        auto it = fWindows.find(id);
        if (it != fWindows.end()) it->second->FlushLeave();
    }
    for (Window id : ids) {
        auto it = fWindows.find(id);
        if (it != fWindows.end()) it->second->FlushPaint();
    }
}

namespace backends {
TWindowSystem* NativeSystemFor(TNativeHandle parent) {
    TX11WindowSystem& sys = X11System();
    const bool ok = parent != 0 && sys.IsWindowOf(parent);
    if (!ok) sys.CloseIfUnused();
    return ok ? &sys : nullptr;
}
void PumpNative() { X11System().ProcessEvents(); }
// X11 draws nothing into client memory and has no timers: surfaces are plain memory and timers
// are the toolkit's own, ticked by the pump.
std::unique_ptr<TNativeSurfaceMemory> CreateSurfaceMemory(std::int32_t, std::int32_t) { return nullptr; }
std::unique_ptr<TNativeTimerWindow> CreateTimerWindow(TEvent<void(std::uintptr_t)>) { return nullptr; }
std::size_t NativeTimerCount() { return 0; }
} // namespace backends

namespace x11 {
bool ConnectionOpen() { return X11System().DisplayHandle() != nullptr; }
std::size_t WindowCount() { return X11System().WindowCount(); }
} // namespace x11

} // namespace ql
