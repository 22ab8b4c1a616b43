// The Win32 test host: its own window class and window, the message loop, SendInput and GDI reads.
#include "win32_testhost.h"

#include "toolkit/MessageLoop.h"

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

#include <chrono>

namespace ql::test {

namespace {

constexpr wchar_t kHostClass[] = L"QlTestHostWindow";

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_ERASEBKGND) {
        // A grey that no test draws, so a child that shows nothing is noticed.
        RECT r;
        ::GetClientRect(hwnd, &r);
        HBRUSH b = ::CreateSolidBrush(RGB(0x40, 0x80, 0xC0));
        ::FillRect(reinterpret_cast<HDC>(w), &r, b);
        ::DeleteObject(b);
        return 1;
    }
    return ::DefWindowProcW(hwnd, msg, w, l);
}

void SendMouse(DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    ::SendInput(1, &in, sizeof in);
}

} // namespace

TWin32TestHost::TWin32TestHost(int width, int height) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kHostClass;
    ::RegisterClassExW(&wc); // fails harmlessly when an earlier host registered it
    HWND w =
        ::CreateWindowExW(WS_EX_TOPMOST, kHostClass, L"test host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                          0, width, height, nullptr, nullptr, wc.hInstance, nullptr);
    if (!w) return;
    fWindow = reinterpret_cast<std::uintptr_t>(w);
    ::SetForegroundWindow(w);
    ::UpdateWindow(w);
    PumpFor(50);
}

TWin32TestHost::~TWin32TestHost() {
    DestroyWindow();
    DispatchMessages();
}

void TWin32TestHost::DestroyWindow() {
    if (fWindow) ::DestroyWindow(reinterpret_cast<HWND>(fWindow));
    fWindow = 0;
}

void TWin32TestHost::MovePointer(int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(reinterpret_cast<HWND>(fWindow), &p);
    // Absolute input is scaled to 0..65535 across the primary screen; the pointer then sits
    // exactly where SetCursorPos puts it.
    const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((p.x * 65536 + sw / 2) / sw);
    in.mi.dy = static_cast<LONG>((p.y * 65536 + sh / 2) / sh);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &in, sizeof in);
}

void TWin32TestHost::Button(int button, bool down) {
    switch (button) {
    case 1:
        SendMouse(down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
        break;
    case 2:
        SendMouse(down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP);
        break;
    default:
        SendMouse(down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP);
        break;
    }
}

void TWin32TestHost::Key(int virtualKey, bool down) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = static_cast<WORD>(virtualKey);
    in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    ::SendInput(1, &in, sizeof in);
}

bool TWin32TestHost::Capture(std::uintptr_t window, TDrawingSurface& out) {
    HWND w = reinterpret_cast<HWND>(window);
    RECT r{};
    if (!w || !::GetClientRect(w, &r)) return false;
    out.Resize(r.right, r.bottom);
    HDC dc = ::GetDC(w);
    if (!dc) return false;
    const BOOL ok =
        ::BitBlt(reinterpret_cast<HDC>(out.DeviceContext()), 0, 0, r.right, r.bottom, dc, 0, 0, SRCCOPY);
    ::ReleaseDC(w, dc);
    ::GdiFlush();
    return ok != 0;
}

int TWin32TestHost::ChildCount() {
    int n = 0;
    ::EnumChildWindows(
        reinterpret_cast<HWND>(fWindow),
        [](HWND, LPARAM count) -> BOOL {
            ++*reinterpret_cast<int*>(count);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&n));
    return n;
}

void TWin32TestHost::DispatchMessages() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

bool TWin32TestHost::PumpUntil(const std::function<bool()>& pred, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        DispatchMessages();
        ProcessMessages();
        if (pred()) return true;
        ::Sleep(5);
    }
    DispatchMessages();
    ProcessMessages();
    return pred();
}

void TWin32TestHost::PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

TSectionInfo SelectedSection(std::uintptr_t deviceContext) {
    TSectionInfo info;
    HGDIOBJ bitmap = ::GetCurrentObject(reinterpret_cast<HDC>(deviceContext), OBJ_BITMAP);
    DIBSECTION ds{};
    if (!bitmap || ::GetObjectW(bitmap, sizeof ds, &ds) != sizeof ds) return info;
    info.IsSection = true;
    info.Width = ds.dsBmih.biWidth;
    info.Height = ds.dsBmih.biHeight;
    info.BitsPerPixel = ds.dsBmih.biBitCount;
    info.Bits = ds.dsBm.bmBits;
    return info;
}

void GdiFillRect(std::uintptr_t deviceContext, int left, int top, int right, int bottom, std::uint32_t rgb) {
    HDC dc = reinterpret_cast<HDC>(deviceContext);
    HBRUSH b = ::CreateSolidBrush(rgb);
    RECT r{left, top, right, bottom};
    ::FillRect(dc, &r, b);
    ::DeleteObject(b);
    ::GdiFlush();
}

bool NativeRegionContains(void* region, int x, int y) {
    return ::PtInRegion(static_cast<HRGN>(region), x, y) != 0;
}

void DeleteNativeRegion(void* region) { ::DeleteObject(static_cast<HRGN>(region)); }

bool CursorIsHand() { return ::GetCursor() == ::LoadCursorW(nullptr, IDC_HAND); }
bool CursorIsArrow() { return ::GetCursor() == ::LoadCursorW(nullptr, IDC_ARROW); }

bool IsNativeWindow(std::uintptr_t handle) { return ::IsWindow(reinterpret_cast<HWND>(handle)) != 0; }

} // namespace ql::test
