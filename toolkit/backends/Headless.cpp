// The headless window system: windows in memory, injected input, a clock that tests advance.
#include "toolkit/backends/Headless.h"

#include <algorithm>

#include "toolkit/MessageLoop.h"
#include "toolkit/Region.h"

namespace ql {

struct THeadlessWindowSystem::Window {
    TNativeHandle handle = 0;
    TNativeHandle parent = 0;
    bool host = false;
    TRect bounds; // host: screen; child: relative to the parent
    bool visible = false;
    TPlatformWindowSink* sink = nullptr;
    TRegion invalid;
    TDrawingSurface pixels;
    TCursor cursor = crDefault;
};

namespace {
THeadlessWindowSystem* gHeadless = nullptr;
std::uint32_t VirtualTicks() { return gHeadless ? gHeadless->Now() : 0; }
} // namespace

/// A child window of the headless system; it only refers to its record by handle, so a record
/// that is gone (host window destroyed first) is never touched.
class THeadlessWindow final : public TPlatformWindow {
  public:
    THeadlessWindow(THeadlessWindowSystem& sys, TNativeHandle h) : fSys(sys), fHandle(h) {}
    ~THeadlessWindow() override { fSys.RemoveWindow(fHandle); }
    TNativeHandle Handle() const override { return fHandle; }
    void SetBounds(const TRect& b) override {
        if (auto* w = fSys.Find(fHandle)) {
            const TRect n = b.Normalized();
            if (n.Width() != w->bounds.Width() || n.Height() != w->bounds.Height()) {
                w->pixels.Resize(std::min(n.Width(), kMaxSurfaceDimension),
                                 std::min(n.Height(), kMaxSurfaceDimension));
                w->invalid = TRegion(w->pixels.BoundsRect());
            }
            w->bounds = n;
        }
    }
    void Show(bool visible) override {
        if (auto* w = fSys.Find(fHandle)) {
            if (visible && !w->visible)
                w->invalid = TRegion(w->pixels.BoundsRect()); // newly mapped: expose all
            w->visible = visible;
        }
    }
    void Invalidate(const TRect& r) override {
        if (auto* w = fSys.Find(fHandle)) w->invalid.Union(r.Intersected(w->pixels.BoundsRect()));
    }
    void Validate(const TRect& r) override {
        if (auto* w = fSys.Find(fHandle)) w->invalid.Subtract(r);
    }
    void Present(const TDrawingSurface& surface, const TRect& r) override {
        auto* w = fSys.Find(fHandle);
        if (!w) return;
        w->pixels.ResetState();
        BitBlt(w->pixels, r.Left, r.Top, r.Width(), r.Height(), surface, r.Left, r.Top);
    }
    void SetCapture(bool capture) override {
        if (capture) {
            fSys.fCapture = fHandle;
        } else if (fSys.fCapture == fHandle) {
            fSys.fCapture = 0;
            // Releasing the pointer outside the window counts as leaving it; reported by the
            // next pass, not in the middle of the handler that let go.
            THeadlessWindowSystem* sys = &fSys;
            fSys.fInput.push_back([sys] { sys->UpdateHover(sys->fCursor); });
        }
    }
    void SetCursorShape(TCursor cursor) override {
        if (auto* w = fSys.Find(fHandle)) w->cursor = cursor;
    }
    TPoint ClientToScreen(TPoint p) const override {
        auto* w = fSys.Find(fHandle);
        return w ? p + fSys.ScreenOrigin(*w) : p;
    }
    void SetFocus() override { fSys.fFocus = fHandle; }

  private:
    THeadlessWindowSystem& fSys;
    TNativeHandle fHandle;
};

THeadlessWindowSystem::THeadlessWindowSystem() = default;

THeadlessWindowSystem::~THeadlessWindowSystem() {
    if (gHeadless == this) {
        SetTickSource(nullptr);
        gHeadless = nullptr;
    }
}

THeadlessWindowSystem::Window* THeadlessWindowSystem::Find(TNativeHandle handle) const {
    for (const auto& w : fWindows)
        if (w->handle == handle) return w.get();
    return nullptr;
}

TPoint THeadlessWindowSystem::ScreenOrigin(const Window& w) const {
    TPoint p = w.bounds.TopLeft();
    for (const Window* cur = &w; cur && !cur->host;) {
        cur = Find(cur->parent);
        if (cur) p = p + cur->bounds.TopLeft();
    }
    return p;
}

std::unique_ptr<TPlatformWindow> THeadlessWindowSystem::CreateChildWindow(TNativeHandle parent,
                                                                          const TRect& bounds,
                                                                          TPlatformWindowSink& sink) {
    // Only windows of this system can hold one of its windows.
    if (!Find(parent)) return nullptr;
    auto w = std::make_unique<Window>();
    w->handle = fNextHandle++;
    w->parent = parent;
    w->sink = &sink;
    const TRect n = bounds.Normalized();
    w->bounds = n;
    w->pixels.Resize(std::min(n.Width(), kMaxSurfaceDimension), std::min(n.Height(), kMaxSurfaceDimension));
    const TNativeHandle h = w->handle;
    fWindows.push_back(std::move(w));
    return std::make_unique<THeadlessWindow>(*this, h);
}

void THeadlessWindowSystem::RemoveWindow(TNativeHandle handle) {
    if (fCapture == handle) fCapture = 0;
    if (fHover == handle) fHover = 0;
    if (fFocus == handle) fFocus = 0;
    fWindows.erase(
        std::remove_if(fWindows.begin(), fWindows.end(), [&](const auto& w) { return w->handle == handle; }),
        fWindows.end());
}

TNativeHandle THeadlessWindowSystem::CreateHostWindow(const TRect& screenBounds) {
    auto w = std::make_unique<Window>();
    w->handle = fNextHandle++;
    w->host = true;
    w->visible = true;
    w->bounds = screenBounds.Normalized();
    const TNativeHandle h = w->handle;
    fWindows.push_back(std::move(w));
    return h;
}

void THeadlessWindowSystem::DestroyHostWindow(TNativeHandle handle) {
    Window* w = Find(handle);
    if (!w || !w->host) return;
    // Children stay (their owners destroy them) but are no longer inside anything.
    for (auto& c : fWindows)
        if (c->parent == handle) c->parent = 0;
    RemoveWindow(handle);
}

bool THeadlessWindowSystem::IsWindow(TNativeHandle handle) const { return Find(handle) != nullptr; }

std::size_t THeadlessWindowSystem::ChildWindowCount() const {
    return static_cast<std::size_t>(
        std::count_if(fWindows.begin(), fWindows.end(), [](const auto& w) { return !w->host; }));
}

std::vector<TNativeHandle> THeadlessWindowSystem::ChildrenOf(TNativeHandle parent) const {
    std::vector<TNativeHandle> out;
    for (const auto& w : fWindows)
        if (!w->host && w->parent == parent) out.push_back(w->handle);
    return out;
}

TNativeHandle THeadlessWindowSystem::ParentOf(TNativeHandle handle) const {
    const Window* w = Find(handle);
    return w ? w->parent : 0;
}

TRect THeadlessWindowSystem::WindowBounds(TNativeHandle handle) const {
    const Window* w = Find(handle);
    return w ? w->bounds : TRect{};
}

bool THeadlessWindowSystem::WindowVisible(TNativeHandle handle) const {
    const Window* w = Find(handle);
    return w && w->visible;
}

TCursor THeadlessWindowSystem::WindowCursor(TNativeHandle handle) const {
    const Window* w = Find(handle);
    return w ? w->cursor : crDefault;
}

const TDrawingSurface* THeadlessWindowSystem::WindowPixels(TNativeHandle handle) const {
    const Window* w = Find(handle);
    return w ? &w->pixels : nullptr;
}

TNativeHandle THeadlessWindowSystem::ChildAt(TPoint screen) const {
    // Later windows lie above earlier ones; a child is only reachable through a visible chain.
    for (auto it = fWindows.rbegin(); it != fWindows.rend(); ++it) {
        const Window& w = **it;
        if (w.host || !w.visible) continue;
        const TPoint o = ScreenOrigin(w);
        if (!TRect::Bounds(o.X, o.Y, w.bounds.Width(), w.bounds.Height()).Contains(screen)) continue;
        bool reachable = true;
        for (const Window* p = Find(w.parent); p; p = p->host ? nullptr : Find(p->parent))
            if (!p->visible) reachable = false;
        if (w.parent == 0) reachable = false; // a window in no host is not on any screen
        if (reachable) return w.handle;
    }
    return 0;
}

void THeadlessWindowSystem::Send(TNativeHandle target, TMessage m) {
    Window* w = Find(target);
    if (w && w->sink) w->sink->PlatformMessage(m);
}

bool THeadlessWindowSystem::IsKeyDown(int vk) {
    return std::find(fKeysDown.begin(), fKeysDown.end(), vk) != fKeysDown.end();
}

std::uintptr_t THeadlessWindowSystem::MouseKeys() const {
    auto down = [this](int vk) {
        return std::find(fKeysDown.begin(), fKeysDown.end(), vk) != fKeysDown.end();
    };
    std::uintptr_t k = 0;
    if (down(VK_LBUTTON)) k |= MK_LBUTTON;
    if (down(VK_RBUTTON)) k |= MK_RBUTTON;
    if (down(VK_MBUTTON)) k |= MK_MBUTTON;
    if (down(VK_SHIFT)) k |= MK_SHIFT;
    if (down(VK_CONTROL)) k |= MK_CONTROL;
    return k;
}

void THeadlessWindowSystem::UpdateHover(TPoint screen) {
    const TNativeHandle under = ChildAt(screen);
    if (under == fHover) return;
    // A window holding the capture keeps the pointer until it lets go.
    if (fHover && fHover == fCapture) return;
    const TNativeHandle old = fHover;
    fHover = under;
    if (old) Send(old, {WM_MOUSELEAVE, 0, 0, 0});
}

void THeadlessWindowSystem::DeliverMouse(std::uint32_t msg, TPoint screen) {
    fCursor = screen;
    const TNativeHandle target = fCapture ? fCapture : ChildAt(screen);
    if (msg == WM_MOUSEMOVE) UpdateHover(screen);
    if (!target) return;
    Window* w = Find(target);
    if (!w) return;
    const TPoint local = screen - ScreenOrigin(*w);
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN) fFocus = target;
    if (!fCapture) fHover = target;
    Send(target, {msg, MouseKeys(), MakeMouseLParam(local.X, local.Y), 0});
}

void THeadlessWindowSystem::MoveMouse(TPoint screen) {
    fInput.push_back([this, screen] { DeliverMouse(WM_MOUSEMOVE, screen); });
}

namespace {
int ButtonKey(TMouseButton b) {
    return b == TMouseButton::mbLeft ? VK_LBUTTON : b == TMouseButton::mbRight ? VK_RBUTTON : VK_MBUTTON;
}
std::uint32_t DownMsg(TMouseButton b) {
    return b == TMouseButton::mbLeft    ? WM_LBUTTONDOWN
           : b == TMouseButton::mbRight ? WM_RBUTTONDOWN
                                        : WM_MBUTTONDOWN;
}
} // namespace

void THeadlessWindowSystem::PressButton(TMouseButton button, TPoint screen) {
    fInput.push_back([this, button, screen] {
        if (fCursor != screen) DeliverMouse(WM_MOUSEMOVE, screen);
        if (!IsKeyDown(ButtonKey(button))) fKeysDown.push_back(ButtonKey(button));
        DeliverMouse(DownMsg(button), screen);
    });
}

void THeadlessWindowSystem::ReleaseButton(TMouseButton button, TPoint screen) {
    fInput.push_back([this, button, screen] {
        if (fCursor != screen) DeliverMouse(WM_MOUSEMOVE, screen);
        fKeysDown.erase(std::remove(fKeysDown.begin(), fKeysDown.end(), ButtonKey(button)), fKeysDown.end());
        DeliverMouse(DownMsg(button) + 1, screen);
    });
}

void THeadlessWindowSystem::PressKey(int vk) {
    fInput.push_back([this, vk] {
        const bool repeat = IsKeyDown(vk);
        if (!repeat) fKeysDown.push_back(vk);
        std::intptr_t data = 1 | (repeat ? (1 << 30) : 0);
        const bool alt = IsKeyDown(VK_MENU);
        if (alt) data |= KF_ALTDOWN_BIT;
        if (fFocus)
            Send(fFocus, {alt || vk == VK_MENU ? WM_SYSKEYDOWN : WM_KEYDOWN, static_cast<std::uintptr_t>(vk),
                          data, 0});
    });
}

void THeadlessWindowSystem::ReleaseKey(int vk) {
    fInput.push_back([this, vk] {
        fKeysDown.erase(std::remove(fKeysDown.begin(), fKeysDown.end(), vk), fKeysDown.end());
        const bool alt = IsKeyDown(VK_MENU);
        std::intptr_t data = 1 | (1 << 30) | (static_cast<std::intptr_t>(1) << 31);
        if (alt) data |= KF_ALTDOWN_BIT;
        if (fFocus)
            Send(fFocus,
                 {alt || vk == VK_MENU ? WM_SYSKEYUP : WM_KEYUP, static_cast<std::uintptr_t>(vk), data, 0});
    });
}

void THeadlessWindowSystem::TypeChar(char32_t ch) {
    fInput.push_back([this, ch] {
        const bool alt = IsKeyDown(VK_MENU);
        if (fFocus)
            Send(fFocus, {alt ? WM_SYSCHAR : WM_CHAR, static_cast<std::uintptr_t>(ch),
                          1 | (alt ? KF_ALTDOWN_BIT : 0), 0});
    });
}

void THeadlessWindowSystem::UseVirtualClock(bool on) {
    if (on) {
        gHeadless = this;
        SetTickSource(&VirtualTicks);
    } else if (gHeadless == this) {
        gHeadless = nullptr;
        SetTickSource(nullptr);
    }
}

void THeadlessWindowSystem::ProcessEvents() {
    // Input first, in the order it was given; handlers may queue more for the next pass.
    std::vector<std::function<void()>> input;
    input.swap(fInput);
    for (auto& f : input)
        f();
    // Then paints, like a native system that sends them when nothing else is waiting.
    std::vector<TNativeHandle> dirty;
    for (const auto& w : fWindows)
        if (!w->host && w->visible && !w->invalid.IsEmpty()) dirty.push_back(w->handle);
    for (TNativeHandle h : dirty) {
        Window* w = Find(h);
        if (!w || w->invalid.IsEmpty()) continue;
        TRect r = w->invalid.BoundingBox();
        w->invalid.Clear();
        ++fPaintCount;
        Send(h, {WM_PAINT, 0, reinterpret_cast<std::intptr_t>(&r), 0});
    }
}

void THeadlessWindowSystem::Reset() {
    fInput.clear();
    fKeysDown.clear();
    fCapture = fHover = fFocus = 0;
    fCursor = {};
    std::vector<TNativeHandle> hosts;
    for (const auto& w : fWindows)
        if (w->host) hosts.push_back(w->handle);
    for (TNativeHandle h : hosts)
        DestroyHostWindow(h);
}

THeadlessWindowSystem& HeadlessSystem() {
    static THeadlessWindowSystem system;
    return system;
}

namespace backends {
TWindowSystem& Headless() { return HeadlessSystem(); }
} // namespace backends

} // namespace ql
