// The editor's window on Windows, as Windows hosts give it: a top-level window whose HWND is effEditOpen's
// ptr, the thread's message loop pumped between idles, pointer actions through SendInput, pixels read from
// the window's device context with the editor's child windows included.
#include "host/platform/EditorWindow.h"

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

namespace ql::host::platform {
namespace {

constexpr wchar_t kClassName[] = L"QlhostEditorWindow";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_ERASEBKGND) {
        // Grey shows where the editor does not draw.
        RECT r;
        ::GetClientRect(hwnd, &r);
        HBRUSH brush = ::CreateSolidBrush(RGB(0x80, 0x80, 0x80));
        ::FillRect(reinterpret_cast<HDC>(w), &r, brush);
        ::DeleteObject(brush);
        return 1;
    }
    return ::DefWindowProcW(hwnd, message, w, l);
}

bool RegisterClassOnce() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &WindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

void SendMouse(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = dx;
    in.mi.dy = dy;
    in.mi.dwFlags = flags;
    ::SendInput(1, &in, sizeof in);
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    return TRUE;
}

BOOL CALLBACK CountOwnWindow(HWND hwnd, LPARAM count) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd, &process);
    if (process != ::GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<long*>(count);
    ::EnumChildWindows(hwnd, &CountChild, count);
    return TRUE;
}

class Win32EditorWindow final : public EditorWindow {
  public:
    explicit Win32EditorWindow(const WindowRequest& request) {
        fWidth = std::max(1, request.width);
        fHeight = std::max(1, request.height);
        int x = 0, y = 0;
        if (request.placement == Placement::BottomRight) {
            x = std::max(0, ::GetSystemMetrics(SM_CXSCREEN) - fWidth);
            y = std::max(0, ::GetSystemMetrics(SM_CYSCREEN) - fHeight);
        }
        // A borderless window: its client area is the whole window, of exactly the editor's size.
        fWindow = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kClassName,
                                    Widen(request.title).c_str(), WS_POPUP | WS_CLIPCHILDREN, x, y, fWidth,
                                    fHeight, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        if (!fWindow) return;
        // Shown without taking the focus: a host's editor window does not need it to take clicks.
        ::ShowWindow(fWindow, SW_SHOWNOACTIVATE);
        ::UpdateWindow(fWindow);
        ProcessEvents();
    }

    ~Win32EditorWindow() override {
        if (fWindow) {
            // Hidden first: wine otherwise waits up to two seconds for the X server to confirm that the
            // active window lost the focus.
            ::ShowWindow(fWindow, SW_HIDE);
            ::DestroyWindow(fWindow);
        }
        ProcessEvents();
    }

    bool Valid() const { return fWindow != nullptr; }

    void* ParentHandle() const override { return fWindow; }
    std::intptr_t DisplayValue() const override { return 0; }

    void Resize(int width, int height) override {
        fWidth = std::max(1, width);
        fHeight = std::max(1, height);
        ::SetWindowPos(fWindow, nullptr, 0, 0, fWidth, fHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    int Width() const override { return fWidth; }
    int Height() const override { return fHeight; }

    void ProcessEvents() override {
        // One thread, one message queue: the editor's windows are served here too.
        MSG m;
        while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
    }

    bool MovePointer(int x, int y) override {
        POINT p{x, y};
        if (!::ClientToScreen(fWindow, &p)) return false;
        ::SetWindowPos(fWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        // Absolute input is scaled to 0..65535 across the primary screen.
        const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
        if (sw <= 0 || sh <= 0) return false;
        SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, static_cast<LONG>((p.x * 65536 + sw / 2) / sw),
                  static_cast<LONG>((p.y * 65536 + sh / 2) / sh));
        return true;
    }

    bool PressButton(int button, bool down) override {
        switch (button) {
        case 1:
            SendMouse(down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
            return true;
        case 2:
            SendMouse(down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP);
            return true;
        case 3:
            SendMouse(down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP);
            return true;
        default:
            return false;
        }
    }

    bool Capture(Pixels& out) override {
        RECT r{};
        if (!::GetClientRect(fWindow, &r) || r.right <= 0 || r.bottom <= 0) return false;
        const int w = r.right, h = r.bottom;
        // What the window shows on the screen, its children included: the window's area of the screen's
        // device context (the window is topmost, so nothing else lies over it).
        POINT origin{0, 0};
        ::ClientToScreen(fWindow, &origin);
        HDC screen = ::GetDC(nullptr);
        if (!screen) return false;
        HDC memory = ::CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h; // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP section = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bool ok = false;
        if (memory && section && bits) {
            HGDIOBJ old = ::SelectObject(memory, section);
            ok = ::BitBlt(memory, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY) != 0;
            ::GdiFlush();
            if (ok) {
                out.width = w;
                out.height = h;
                const auto* p = static_cast<const std::uint32_t*>(bits);
                out.rgb.assign(p, p + static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
                for (auto& v : out.rgb)
                    v &= 0x00FFFFFFu; // 0x00RRGGBB already: a 32-bit section holds blue in the low byte
            }
            ::SelectObject(memory, old);
        }
        if (section) ::DeleteObject(section);
        if (memory) ::DeleteDC(memory);
        ::ReleaseDC(nullptr, screen);
        return ok;
    }

    int ChildWindows() const override {
        long n = 0;
        // Direct children only: the editor's own window, not the controls inside it.
        for (HWND c = ::GetWindow(fWindow, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
            ++n;
        return static_cast<int>(n);
    }

  private:
    HWND fWindow = nullptr;
    int fWidth = 0;
    int fHeight = 0;
};

} // namespace

std::unique_ptr<EditorWindow> EditorWindow::Create(const WindowRequest& request, std::string& error) {
    if (!RegisterClassOnce()) {
        error = "cannot register the editor's window class";
        return nullptr;
    }
    auto window = std::make_unique<Win32EditorWindow>(request);
    if (!window->Valid()) {
        error = "Windows refused a " + std::to_string(request.width) + " x " +
                std::to_string(request.height) + " window";
        return nullptr;
    }
    return window;
}

std::string WindowSystemProblem(const std::string&) { return {}; }

WindowCounts CountWindows(const std::string&) {
    WindowCounts counts;
    long windows = 0;
    ::EnumWindows(&CountOwnWindow, reinterpret_cast<LPARAM>(&windows));
    counts.windows = windows;
    const DWORD objects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS) +
                          ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    // No object at all means the system does not count them (wine answers 0).
    if (objects > 0) counts.resources = static_cast<long>(objects);
    return counts;
}

const char* CountScope() { return "this process"; }

const char* WindowSystemName() { return "Win32"; }

} // namespace ql::host::platform
