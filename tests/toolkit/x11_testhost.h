// A small X11 host for tests: a top-level window of its own connection, XTest input, pixel reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolkit/Surface.h"

namespace ql::test {

/// Plays the host's part under a real X server: it owns a top-level window (the handle a host
/// passes to the editor), moves the pointer and presses buttons through XTest, and reads back
/// what windows show with XGetImage.
class TX11TestHost {
  public:
    TX11TestHost(int width, int height);
    ~TX11TestHost();
    TX11TestHost(const TX11TestHost&) = delete;
    TX11TestHost& operator=(const TX11TestHost&) = delete;

    /// False when no X server is reachable (the tests then skip).
    bool Ok() const { return fDisplay != nullptr && fWindow != 0; }
    std::uintptr_t Handle() const { return fWindow; }
    /// Moves the pointer to a point of the host window.
    void MovePointer(int x, int y);
    void Button(int button, bool down);
    /// What window `w` shows, as a surface of its size.
    bool Capture(std::uintptr_t window, TDrawingSurface& out);
    /// Child windows the host window holds.
    int ChildCount();
    /// Resources the server holds for all clients, and the number of clients.
    bool ServerResources(std::size_t& resources, std::size_t& clients);
    /// Destroys the host window now (as a host that closes its window before the editor).
    void DestroyWindow();
    void Sync();

  private:
    void* fDisplay = nullptr; // Display*, kept out of the header so tests need no X headers
    std::uintptr_t fWindow = 0;
};

} // namespace ql::test
