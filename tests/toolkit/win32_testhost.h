// A small Win32 host for tests: a top-level window, the thread's message loop, SendInput, pixel reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "toolkit/Surface.h"

namespace ql::test {

/// Plays the host's part under Windows (or wine): it owns a top-level window at a known place on
/// the screen (the handle a host passes to the editor), runs the thread's message loop as a host
/// does, drives the real pointer and keyboard through SendInput, and reads back what windows show.
class TWin32TestHost {
  public:
    /// A borderless top-level window of this size at screen (0, 0).
    TWin32TestHost(int width, int height);
    ~TWin32TestHost();
    TWin32TestHost(const TWin32TestHost&) = delete;
    TWin32TestHost& operator=(const TWin32TestHost&) = delete;

    bool Ok() const { return fWindow != 0; }
    std::uintptr_t Handle() const { return fWindow; }
    /// Moves the pointer to a point of the host window.
    void MovePointer(int x, int y);
    /// Presses (or releases) button 1 (left), 2 (middle) or 3 (right) where the pointer is.
    void Button(int button, bool down);
    void Key(int virtualKey, bool down);
    /// What window `w` shows on the screen, as a surface of its size.
    bool Capture(std::uintptr_t window, TDrawingSurface& out);
    /// Child windows the host window holds.
    int ChildCount();
    /// Destroys the host window now (as a host that closes its window before the editor).
    void DestroyWindow();

    /// Dispatches every message waiting in the thread's queue, as a host's loop does.
    static void DispatchMessages();
    /// Runs the message loop and the toolkit's pump until pred holds or `ms` pass.
    static bool PumpUntil(const std::function<bool()>& pred, int ms = 3000);
    /// Runs them for `ms` milliseconds.
    static void PumpFor(int ms);

  private:
    std::uintptr_t fWindow = 0;
};

/// What GDI says about the bitmap selected into a memory device context.
struct TSectionInfo {
    bool IsSection = false;
    int Width = 0, Height = 0, BitsPerPixel = 0;
    const void* Bits = nullptr;
};
TSectionInfo SelectedSection(std::uintptr_t deviceContext);
/// Fills a rectangle (left, top, right, bottom) of a device context through GDI.
void GdiFillRect(std::uintptr_t deviceContext, int left, int top, int right, int bottom, std::uint32_t rgb);
/// Whether the native region holds pixel (x, y), as the system answers it.
bool NativeRegionContains(void* region, int x, int y);
void DeleteNativeRegion(void* region);
/// Whether the thread's current cursor is the system's hand (true) or arrow (false) cursor.
bool CursorIsHand();
bool CursorIsArrow();
/// Whether a handle names a live window.
bool IsNativeWindow(std::uintptr_t handle);

} // namespace ql::test
