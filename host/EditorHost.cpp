// Hosting a plug-in's editor in a window of the host's own.
#include "host/EditorHost.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace ql::host {

namespace {
/// How far the pointer travels between two motion events of a drag.
constexpr int kDragStep = 4;
/// Ticks after each part of a pointer action, so the editor has read the events before the next part.
constexpr int kSettleTicks = 2;
} // namespace

EditorHost::EditorHost(const Plugin& plugin, EditorSettings settings)
    : fPlugin(plugin), fSettings(std::move(settings)) {
    if (fSettings.tick <= std::chrono::milliseconds(0)) fSettings.tick = std::chrono::milliseconds(20);
}

EditorHost::~EditorHost() { Close(); }

bool EditorHost::Usable(const std::optional<vst::ERect>& rect) {
    if (!rect) return false;
    const int w = rect->right - rect->left, h = rect->bottom - rect->top;
    return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide;
}

int EditorHost::Width() const { return fWindow ? fWindow->Width() : 0; }
int EditorHost::Height() const { return fWindow ? fWindow->Height() : 0; }

EditorOpen EditorHost::Open() {
    // A host closes the editor it has before it opens another.
    Close();
    fProblem.clear();
    fRectAfter.reset();
    fRectBefore = fPlugin.EditorRect();
    platform::WindowRequest request;
    request.width = Usable(fRectBefore) ? fRectBefore->right - fRectBefore->left : kDefaultWidth;
    request.height = Usable(fRectBefore) ? fRectBefore->bottom - fRectBefore->top : kDefaultHeight;
    request.display = fSettings.display;
    request.title = "qlhost: " + fPlugin.EffectName();
    request.placement = fSettings.placement;
    fWindow = platform::EditorWindow::Create(request, fProblem);
    if (!fWindow) return EditorOpen::NoWindowSystem;

    const vst::IntPtr reply =
        fPlugin.Dispatch(vst::effEditOpen, 0, fWindow->DisplayValue(), fWindow->ParentHandle());
    if (reply == 0) {
        fProblem = "effEditOpen replied 0: the plug-in opened no editor in a " +
                   std::to_string(request.width) + " x " + std::to_string(request.height) + " " +
                   platform::WindowSystemName() + " window";
        fWindow.reset();
        return EditorOpen::Refused;
    }
    fOpen = true;
    // Editors that know their size only once open report it now; the window follows.
    fRectAfter = fPlugin.EditorRect();
    if (Usable(fRectAfter)) {
        const int w = fRectAfter->right - fRectAfter->left, h = fRectAfter->bottom - fRectAfter->top;
        if (w != fWindow->Width() || h != fWindow->Height()) fWindow->Resize(w, h);
    }
    fNextTick = std::chrono::steady_clock::now();
    fWindow->ProcessEvents();
    return EditorOpen::Opened;
}

void EditorHost::Close() {
    if (fOpen) {
        fPlugin.EditClose();
        fOpen = false;
        fChildrenLeft = fWindow ? fWindow->ChildWindows() : -1;
    }
    if (fWindow) {
        fWindow->ProcessEvents();
        fWindow.reset();
    }
}

void EditorHost::Tick() {
    if (!fOpen) return;
    auto now = std::chrono::steady_clock::now();
    // A tick that is late (the host was busy) is not made up for by a burst of idles.
    if (fNextTick < now - fSettings.tick) fNextTick = now;
    std::this_thread::sleep_until(fNextTick);
    fNextTick += fSettings.tick;
    fPlugin.EditIdle();
    fWindow->ProcessEvents();
}

void EditorHost::Idle(std::chrono::milliseconds duration) {
    if (!fOpen) return;
    const auto end = std::chrono::steady_clock::now() + duration;
    do
        Tick();
    while (std::chrono::steady_clock::now() < end);
}

bool EditorHost::Move(int x, int y) {
    if (!fOpen || !fWindow->MovePointer(x, y)) return false;
    Tick();
    return true;
}

bool EditorHost::Click(int x, int y, int button) {
    if (!Move(x, y)) return false;
    for (int i = 1; i < kSettleTicks; ++i)
        Tick();
    for (bool down : {true, false}) {
        if (!fWindow->PressButton(button, down)) return false;
        for (int i = 0; i < kSettleTicks; ++i)
            Tick();
    }
    return true;
}

bool EditorHost::Drag(int x1, int y1, int x2, int y2, int button) {
    if (!Move(x1, y1)) return false;
    if (!fWindow->PressButton(button, true)) return false;
    for (int i = 0; i < kSettleTicks; ++i)
        Tick();
    const int steps =
        std::max(1, (std::max(std::abs(x2 - x1), std::abs(y2 - y1)) + kDragStep - 1) / kDragStep);
    bool moved = true;
    for (int s = 1; s <= steps && moved; ++s)
        moved = Move(x1 + (x2 - x1) * s / steps, y1 + (y2 - y1) * s / steps);
    // The button goes up even when a move failed, so no press is left behind on the display.
    const bool released = fWindow->PressButton(button, false);
    for (int i = 0; i < kSettleTicks; ++i)
        Tick();
    return moved && released;
}

bool EditorHost::Hover(int x, int y) {
    if (!Move(x, y)) return false;
    for (int i = 1; i < kSettleTicks; ++i)
        Tick();
    return true;
}

bool EditorHost::Capture(platform::Pixels& out) {
    if (!fOpen) return false;
    Tick();
    return fWindow->Capture(out);
}

int EditorHost::ChildWindows() const { return fWindow ? fWindow->ChildWindows() : -1; }

std::string DescribeRect(const std::optional<vst::ERect>& rect) {
    if (!rect) return "none";
    return std::to_string(rect->right - rect->left) + " x " + std::to_string(rect->bottom - rect->top) +
           " (top " + std::to_string(rect->top) + ", left " + std::to_string(rect->left) + ", bottom " +
           std::to_string(rect->bottom) + ", right " + std::to_string(rect->right) + ")";
}

} // namespace ql::host
