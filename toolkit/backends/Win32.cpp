// The Win32 window system: child windows inside a host's HWND, painted from section-backed surfaces
// with one BitBlt; the system's capture, mouse-leave tracking, key state and cursors; system timers
// on message-only windows; bitmap sections for every drawing surface; native regions.
//
// Events arrive through the host's own message loop (its GetMessage/DispatchMessage reaches our
// window procedure); the toolkit's pump only asks for pending paints to be done now.
//
// Index
//   module and class   - our module handle, the window class (registered while our windows exist)
//   TWin32Window       - one child window: paint cycle, input, capture, leave tracking, cursor
//   TWin32WindowSystem - cursor position, key state, the pump
//   timer windows      - message-only windows holding system timers
//   surfaces           - DIB sections selected into memory device contexts
//   regions and errors - TRegion to and from HRGN, system error texts
// Toolkit headers come first: <windows.h> defines macros (WM_PAINT, DT_LEFT, RGB, ...) that would
// break the toolkit's own constants if it came before them. Win32 calls are written with :: so
// the toolkit's functions of the same name (BitBlt, GetCursorPos) are never meant.
#include "toolkit/Messages.h"
#include "toolkit/Region.h"
#include "toolkit/Surface.h"
#include "toolkit/backends/Platform.h"
#include "toolkit/backends/Win32Backend.h"

#include "runtime/Exceptions.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace ql {

// ---- module and class -------------------------------------------------------------------------

namespace {

const int kModuleAnchor = 0;

HINSTANCE ModuleHandle() {
    static HMODULE module = [] {
        HMODULE m = nullptr;
        ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                 GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCWSTR>(&kModuleAnchor), &m);
        return m;
    }();
    return module;
}

constexpr wchar_t kClassName[] = L"QlToolkitWindow";
/// Posted to a window that let the mouse go: it reports the leave once the handler is done.
constexpr UINT kDeferredLeave = WM_APP + 0x51;

/// A window of ours: the window procedure hands it every message.
class TWin32Target {
  public:
    virtual ~TWin32Target() = default;
    virtual LRESULT Message(HWND hwnd, UINT msg, WPARAM w, LPARAM l) = 0;
    /// The system destroyed the window (also when its parent went first).
    virtual void Gone() = 0;
};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(l);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* target = reinterpret_cast<TWin32Target*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (target) target->Gone();
        return ::DefWindowProcW(hwnd, msg, w, l);
    }
    if (!target) return ::DefWindowProcW(hwnd, msg, w, l);
    try {
        return target->Message(hwnd, msg, w, l);
    } catch (...) {
        // The toolkit's handlers report their own failures; nothing may unwind into the system.
        return 0;
    }
}

// A DLL's window classes outlive it unless it unregisters them, so the class exists exactly while
// one of our windows does.
int gClassUsers = 0;

bool AcquireClass() {
    if (gClassUsers > 0) {
        ++gClassUsers;
        return true;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = ModuleHandle();
    wc.lpszClassName = kClassName;
    if (!::RegisterClassExW(&wc)) {
        // Left over by an earlier copy of this module at the same address: replace it.
        if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
        ::UnregisterClassW(kClassName, ModuleHandle());
        if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    }
    gClassUsers = 1;
    return true;
}

void ReleaseClass() {
    if (gClassUsers > 0 && --gClassUsers == 0) ::UnregisterClassW(kClassName, ModuleHandle());
}

RECT ToRect(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }
TRect FromRect(const RECT& r) { return TRect{r.left, r.top, r.right, r.bottom}; }

LPCWSTR CursorResource(TCursor cursor) {
    switch (cursor) {
    case crHandPoint:
        return IDC_HAND;
    case crIBeam:
        return IDC_IBEAM;
    case crCross:
        return IDC_CROSS;
    case crSizeWE:
    case crHSplit:
        return IDC_SIZEWE;
    case crSizeNS:
    case crVSplit:
        return IDC_SIZENS;
    case crSizeNESW:
        return IDC_SIZENESW;
    case crSizeNWSE:
        return IDC_SIZENWSE;
    case crSizeAll:
        return IDC_SIZEALL;
    case crHourGlass:
    case crSQLWait:
        return IDC_WAIT;
    case crAppStart:
        return IDC_APPSTARTING;
    case crNo:
    case crNoDrop:
        return IDC_NO;
    case crUpArrow:
        return IDC_UPARROW;
    case crHelp:
        return IDC_HELP;
    default:
        return IDC_ARROW;
    }
}

class TWin32Window;
std::vector<TWin32Window*> gWindows;

} // namespace

// ---- one child window ---------------------------------------------------------------------------

namespace {

class TWin32Window final : public TPlatformWindow, public TWin32Target {
  public:
    TWin32Window(HWND parent, const TRect& bounds, TPlatformWindowSink& sink) : fSink(sink) {
        if (!AcquireClass()) return;
        fHoldsClass = true;
        const TRect b = bounds.Normalized();
        fHwnd = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, b.Left,
                                  b.Top, std::max(1, b.Width()), std::max(1, b.Height()), parent, nullptr,
                                  ModuleHandle(), static_cast<TWin32Target*>(this));
        if (fHwnd) gWindows.push_back(this);
        fCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    }
    ~TWin32Window() override {
        *fAlive = false;
        if (fHwnd) {
            // Nothing of what the system sends while the window goes may reach the sink.
            fDestroying = true;
            if (fCaptured && ::GetCapture() == fHwnd) {
                fReleasing = true;
                ::ReleaseCapture();
            }
            ::DestroyWindow(fHwnd);
        }
        Forget();
        if (fHoldsClass) ReleaseClass();
    }
    bool Valid() const { return fHwnd != nullptr; }
    HWND Hwnd() const { return fHwnd; }

    TNativeHandle Handle() const override { return reinterpret_cast<TNativeHandle>(fHwnd); }
    void SetBounds(const TRect& r) override {
        if (!fHwnd) return;
        const TRect b = r.Normalized();
        ::SetWindowPos(fHwnd, nullptr, b.Left, b.Top, std::max(1, b.Width()), std::max(1, b.Height()),
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void Show(bool visible) override {
        if (fHwnd) ::ShowWindow(fHwnd, visible ? SW_SHOWNA : SW_HIDE);
    }
    void Invalidate(const TRect& r) override {
        if (!fHwnd || r.IsEmpty()) return;
        const RECT rc = ToRect(r);
        ::InvalidateRect(fHwnd, &rc, FALSE); // the surface covers every pixel: never erase
    }
    void Validate(const TRect& r) override {
        if (!fHwnd || r.IsEmpty()) return;
        const RECT rc = ToRect(r);
        ::ValidateRect(fHwnd, &rc);
    }
    void Present(const TDrawingSurface& surface, const TRect& area) override {
        if (!fHwnd || !surface.DeviceContext()) return;
        RECT client{};
        ::GetClientRect(fHwnd, &client);
        const TRect r = area.Intersected(surface.BoundsRect()).Intersected(FromRect(client));
        if (r.IsEmpty()) return;
        // Inside the paint cycle the paint context is used; it only reaches what is invalid,
        // so anything beyond its clip box goes through a context of the whole window.
        const bool inPaint = fPaintDC && fPaintBox.Contains(r);
        HDC dc = inPaint ? fPaintDC : ::GetDC(fHwnd);
        if (!dc) return;
        ::BitBlt(dc, r.Left, r.Top, r.Width(), r.Height(), reinterpret_cast<HDC>(surface.DeviceContext()),
                 r.Left, r.Top, SRCCOPY);
        if (!inPaint) ::ReleaseDC(fHwnd, dc);
    }
    void SetCapture(bool capture) override {
        if (!fHwnd) return;
        if (capture) {
            ::SetCapture(fHwnd);
            fCaptured = true;
        } else if (fCaptured) {
            fCaptured = false;
            fReleasing = true;
            if (::GetCapture() == fHwnd) ::ReleaseCapture();
            fReleasing = false;
            LeaveAfterCapture();
        }
    }
    void SetCursorShape(TCursor cursor) override {
        if (cursor == fCursorShape) return;
        fCursorShape = cursor;
        fCursor = cursor == crNone ? nullptr : ::LoadCursorW(nullptr, CursorResource(cursor));
        if (fHwnd && (PointerInside() || ::GetCapture() == fHwnd)) ::SetCursor(fCursor);
    }
    TPoint ClientToScreen(TPoint p) const override {
        POINT pt{p.X, p.Y};
        if (fHwnd) ::ClientToScreen(fHwnd, &pt);
        return {pt.x, pt.y};
    }
    void SetFocus() override {
        if (fHwnd && ::IsWindowVisible(fHwnd)) ::SetFocus(fHwnd);
    }

    LRESULT Message(HWND hwnd, UINT msg, WPARAM w, LPARAM l) override {
        if (fDestroying) return ::DefWindowProcW(hwnd, msg, w, l);
        switch (msg) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
            if (!fTracking && !fCaptured) Track();
            Send(msg, w, l);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
            Send(msg, w, l);
            return 0;
        case WM_MOUSELEAVE:
            fTracking = false;
            // A window holding the capture keeps the pointer until it lets go.
            if (!fCaptured) Send(WM_MOUSELEAVE, 0, 0);
            return 0;
        case kDeferredLeave:
            if (!fCaptured && !PointerInside()) Send(WM_MOUSELEAVE, 0, 0);
            return 0;
        case WM_CAPTURECHANGED:
            // Taken away by the system or another window (our own release is no news).
            if (!fReleasing && fCaptured && reinterpret_cast<HWND>(l) != fHwnd) {
                fCaptured = false;
                if (!Send(WM_CAPTURECHANGED, 0, l)) return 0;
                LeaveAfterCapture();
            }
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(l) == HTCLIENT) {
                ::SetCursor(fCursor);
                return TRUE;
            }
            return ::DefWindowProcW(hwnd, msg, w, l);
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
        case WM_KEYDOWN:
        case WM_KEYUP:
            Send(msg, w, l);
            return 0;
        case WM_CHAR:
        case WM_SYSCHAR: {
            // UTF-16 arrives in halves; the toolkit takes whole characters.
            std::uintptr_t ch = w;
            if (w >= 0xD800 && w < 0xDC00) {
                fHighSurrogate = static_cast<wchar_t>(w);
                return 0;
            }
            if (w >= 0xDC00 && w < 0xE000) {
                if (!fHighSurrogate) return 0;
                ch = 0x10000 + ((static_cast<std::uintptr_t>(fHighSurrogate) - 0xD800) << 10) + (w - 0xDC00);
            }
            fHighSurrogate = 0;
            TMessage m{msg, ch, l, 0};
            if (!Send(m)) return 0;
            // An Alt character nobody took goes on to the host's window (its menus).
            if (msg == WM_SYSCHAR && m.Result == 0) return ::DefWindowProcW(hwnd, msg, w, l);
            return 0;
        }
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
            // The host still sees system keys (Alt+F4, F10).
            if (!Send(msg, w, l)) return 0;
            return ::DefWindowProcW(hwnd, msg, w, l);
        default:
            return ::DefWindowProcW(hwnd, msg, w, l);
        }
    }
    void Gone() override {
        Forget();
        fHwnd = nullptr;
        fCaptured = fTracking = false;
    }

  private:
    /// Gives the sink a message; false when the window was destroyed meanwhile.
    bool Send(TMessage& m) {
        const std::shared_ptr<bool> alive = fAlive;
        fSink.PlatformMessage(m);
        return *alive;
    }
    bool Send(UINT msg, WPARAM w, LPARAM l) {
        TMessage m{msg, w, l, 0};
        return Send(m);
    }
    void Paint() {
        PAINTSTRUCT ps{};
        HDC dc = ::BeginPaint(fHwnd, &ps);
        HWND hwnd = fHwnd;
        RECT box{};
        const int kind = dc ? ::GetClipBox(dc, &box) : ERROR;
        TRect r = FromRect(box);
        const std::shared_ptr<bool> alive = fAlive;
        if (kind != NULLREGION && kind != ERROR && !r.IsEmpty()) {
            fPaintDC = dc;
            fPaintBox = r;
            Send(WM_PAINT, 0, reinterpret_cast<LPARAM>(&r));
            if (*alive) fPaintDC = nullptr;
        }
        ::EndPaint(hwnd, &ps);
    }
    void Track() {
        TRACKMOUSEEVENT t{};
        t.cbSize = sizeof t;
        t.dwFlags = TME_LEAVE;
        t.hwndTrack = fHwnd;
        fTracking = ::TrackMouseEvent(&t) != 0;
    }
    bool PointerInside() const {
        POINT p{};
        return fHwnd && ::GetCursorPos(&p) && ::WindowFromPoint(p) == fHwnd;
    }
    /// After a release: a pointer that is outside by now has left, reported once the handler
    /// that let go is done; one that is inside is watched again.
    void LeaveAfterCapture() {
        if (!fHwnd) return;
        if (PointerInside()) {
            if (!fTracking) Track();
        } else {
            ::PostMessageW(fHwnd, kDeferredLeave, 0, 0);
        }
    }
    void Forget() { gWindows.erase(std::remove(gWindows.begin(), gWindows.end(), this), gWindows.end()); }

    TPlatformWindowSink& fSink;
    HWND fHwnd = nullptr;
    std::shared_ptr<bool> fAlive = std::make_shared<bool>(true);
    bool fHoldsClass = false, fDestroying = false, fCaptured = false, fReleasing = false, fTracking = false;
    HDC fPaintDC = nullptr;
    TRect fPaintBox;
    HCURSOR fCursor = nullptr;
    TCursor fCursorShape = crDefault;
    wchar_t fHighSurrogate = 0;
};

// ---- the window system -----------------------------------------------------------------------------

class TWin32WindowSystem final : public TWindowSystem {
  public:
    const char* Name() const override { return "win32"; }
    std::unique_ptr<TPlatformWindow> CreateChildWindow(TNativeHandle parent, const TRect& bounds,
                                                       TPlatformWindowSink& sink) override {
        HWND p = reinterpret_cast<HWND>(parent);
        if (!parent || !::IsWindow(p)) return nullptr;
        auto w = std::make_unique<TWin32Window>(p, bounds, sink);
        if (!w->Valid()) return nullptr;
        return w;
    }
    TPoint CursorPos() override {
        POINT p{};
        ::GetCursorPos(&p);
        return {p.x, p.y};
    }
    // The state as of the message being handled, which is what a handler asks about.
    bool IsKeyDown(int virtualKey) override { return ::GetKeyState(virtualKey) < 0; }
    void ProcessEvents() override {
        // Input reaches us through the host's message loop; what the pump can do is paint now.
        const std::vector<TWin32Window*> windows = gWindows;
        for (TWin32Window* w : windows)
            if (std::find(gWindows.begin(), gWindows.end(), w) != gWindows.end() && w->Hwnd())
                ::UpdateWindow(w->Hwnd());
    }
};

TWin32WindowSystem& Win32System() {
    static TWin32WindowSystem system;
    return system;
}

// ---- timer windows -----------------------------------------------------------------------------

std::size_t gTimerWindows = 0;
std::size_t gNativeTimers = 0;

/// A message-only window whose system timers tick through the thread's message loop.
class TWin32TimerWindow final : public TNativeTimerWindow, public TWin32Target {
  public:
    explicit TWin32TimerWindow(TEvent<void(std::uintptr_t)> tick) : fTick(tick) {
        if (!AcquireClass()) return;
        fHoldsClass = true;
        fHwnd = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleHandle(),
                                  static_cast<TWin32Target*>(this));
        if (fHwnd) ++gTimerWindows;
    }
    ~TWin32TimerWindow() override {
        // Destroying the window ends its timers.
        if (fHwnd) ::DestroyWindow(fHwnd);
        Gone();
        if (fHoldsClass) ReleaseClass();
    }
    bool SetTimer(std::uintptr_t id, std::uint32_t intervalMs) override {
        if (!fHwnd || ::SetTimer(fHwnd, id, intervalMs, nullptr) == 0) return false;
        if (std::find(fIds.begin(), fIds.end(), id) == fIds.end()) {
            fIds.push_back(id);
            ++gNativeTimers;
        }
        return true;
    }
    bool KillTimer(std::uintptr_t id) override {
        auto it = std::find(fIds.begin(), fIds.end(), id);
        if (it == fIds.end()) return false;
        fIds.erase(it);
        --gNativeTimers;
        if (fHwnd) ::KillTimer(fHwnd, id);
        return true;
    }
    LRESULT Message(HWND hwnd, UINT msg, WPARAM w, LPARAM l) override {
        if (msg == WM_TIMER && std::find(fIds.begin(), fIds.end(), w) != fIds.end()) {
            // The handler may stop the timer and destroy this window: nothing of it is used after.
            const TEvent<void(std::uintptr_t)> tick = fTick;
            if (tick) tick(static_cast<std::uintptr_t>(w));
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, w, l);
    }
    void Gone() override {
        if (fHwnd) --gTimerWindows;
        fHwnd = nullptr;
        gNativeTimers -= fIds.size();
        fIds.clear();
    }

  private:
    TEvent<void(std::uintptr_t)> fTick;
    HWND fHwnd = nullptr;
    bool fHoldsClass = false;
    std::vector<std::uintptr_t> fIds;
};

// ---- surfaces -------------------------------------------------------------------------------------

std::size_t gSections = 0;

/// A 32-bit bottom-up DIB section selected into its own memory device context.
class TSectionMemory final : public TNativeSurfaceMemory {
  public:
    TSectionMemory(std::int32_t width, std::int32_t height) {
        fDC = ::CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height; // positive: the first row in memory is the bottom one
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        if (fDC) fBitmap = ::CreateDIBSection(fDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        DWORD error = ::GetLastError();
        ::GdiFlush();
        if (fBitmap) fOld = ::SelectObject(fDC, fBitmap);
        if (!fDC || !fBitmap || !bits || !fOld) {
            if (fBitmap) ::DeleteObject(fBitmap);
            if (fDC) ::DeleteDC(fDC);
            // GDI does not always say why; a section it refuses is almost always memory.
            if (error == ERROR_SUCCESS) error = ERROR_NOT_ENOUGH_MEMORY;
            throw Exception(win32::SystemErrorMessage(error));
        }
        fBits = static_cast<std::uint8_t*>(bits);
        ++gSections;
    }
    ~TSectionMemory() override {
        ::GdiFlush();
        ::SelectObject(fDC, fOld);
        ::DeleteObject(fBitmap);
        ::DeleteDC(fDC);
        --gSections;
    }
    std::uint8_t* Bits() const override { return fBits; }
    TNativeHandle DeviceContext() const override { return reinterpret_cast<TNativeHandle>(fDC); }

  private:
    HDC fDC = nullptr;
    HBITMAP fBitmap = nullptr;
    HGDIOBJ fOld = nullptr;
    std::uint8_t* fBits = nullptr;
};

} // namespace

// ---- hooks ---------------------------------------------------------------------------------------

namespace backends {
TWindowSystem* NativeSystemFor(TNativeHandle parent) {
    return parent && ::IsWindow(reinterpret_cast<HWND>(parent)) ? &Win32System() : nullptr;
}
void PumpNative() { Win32System().ProcessEvents(); }
std::unique_ptr<TNativeSurfaceMemory> CreateSurfaceMemory(std::int32_t width, std::int32_t height) {
    return std::make_unique<TSectionMemory>(width, height);
}
std::unique_ptr<TNativeTimerWindow> CreateTimerWindow(TEvent<void(std::uintptr_t)> tick) {
    // A window the system refuses holds no timer: SetTimer then reports the failure.
    return std::make_unique<TWin32TimerWindow>(tick);
}
std::size_t NativeTimerCount() { return gNativeTimers; }
} // namespace backends

// ---- regions and errors ------------------------------------------------------------------------

namespace win32 {

void* CreateNativeRegion(const TRegion& region) {
    const std::vector<TRect> rects = region.Rects();
    HRGN result = ::CreateRectRgn(0, 0, 0, 0);
    if (!result) return nullptr;
    // The rectangles are disjoint and banded as the system keeps them; sent in parts so no
    // single request grows without bound.
    constexpr std::size_t kPart = 2000;
    for (std::size_t first = 0; first < rects.size(); first += kPart) {
        const std::size_t n = std::min(kPart, rects.size() - first);
        std::vector<std::uint8_t> buffer(sizeof(RGNDATAHEADER) + n * sizeof(RECT));
        auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
        data->rdh.dwSize = sizeof(RGNDATAHEADER);
        data->rdh.iType = RDH_RECTANGLES;
        data->rdh.nCount = static_cast<DWORD>(n);
        data->rdh.nRgnSize = static_cast<DWORD>(n * sizeof(RECT));
        TRect bound = rects[first];
        auto* out = reinterpret_cast<RECT*>(data->Buffer);
        for (std::size_t i = 0; i < n; ++i) {
            const TRect& r = rects[first + i];
            out[i] = ToRect(r);
            bound = TRect{std::min(bound.Left, r.Left), std::min(bound.Top, r.Top),
                          std::max(bound.Right, r.Right), std::max(bound.Bottom, r.Bottom)};
        }
        data->rdh.rcBound = ToRect(bound);
        HRGN part = ::ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data);
        if (!part) {
            ::DeleteObject(result);
            return nullptr;
        }
        ::CombineRgn(result, result, part, RGN_OR);
        ::DeleteObject(part);
    }
    return result;
}

TRegion RegionFromNative(void* region) {
    HRGN h = static_cast<HRGN>(region);
    const DWORD size = h ? ::GetRegionData(h, 0, nullptr) : 0;
    if (size < sizeof(RGNDATAHEADER)) return {};
    std::vector<std::uint8_t> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (::GetRegionData(h, size, data) != size) return {};
    const auto* in = reinterpret_cast<const RECT*>(data->Buffer);
    std::vector<TRect> rects;
    rects.reserve(data->rdh.nCount);
    for (DWORD i = 0; i < data->rdh.nCount; ++i)
        rects.push_back(FromRect(in[i]));
    return TRegion::FromRects(rects);
}

std::string SystemErrorMessage(unsigned long code) {
    std::string text = "Windows error (" + std::to_string(code) + ") ";
    wchar_t* message = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    if (n && message) {
        const int bytes =
            ::WideCharToMultiByte(CP_UTF8, 0, message, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
        if (bytes > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, message, static_cast<int>(n), utf8.data(), bytes, nullptr,
                                  nullptr);
        while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' '))
            utf8.pop_back();
        text += utf8;
    }
    if (message) ::LocalFree(message);
    return text;
}

std::size_t WindowCount() { return gWindows.size(); }
std::size_t TimerWindowCount() { return gTimerWindows; }
std::size_t SectionCount() { return gSections; }
bool WindowClassRegistered() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    return ::GetClassInfoExW(ModuleHandle(), kClassName, &wc) != 0;
}

} // namespace win32

} // namespace ql
