// The X11 test host: its own connection, a mapped top-level window, XTest input, XGetImage reads.
#include "x11_testhost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <thread>

namespace ql::test {

namespace {
Display* D(void* p) { return static_cast<Display*>(p); }
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }
} // namespace

TX11TestHost::TX11TestHost(int width, int height) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return;
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d, &ev, &err, &major, &minor)) {
        XCloseDisplay(d);
        return;
    }
    fDisplay = d;
    const int screen = DefaultScreen(d);
    XSetWindowAttributes a{};
    a.background_pixel = 0x808080; // grey shows where the editor does not draw
    a.event_mask = StructureNotifyMask;
    a.override_redirect = True; // no window manager decides where it goes
    const Window w = XCreateWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWBackPixel | CWEventMask | CWOverrideRedirect, &a);
    XMapRaised(d, w);
    XEvent e;
    do
        XWindowEvent(d, w, StructureNotifyMask, &e);
    while (e.type != MapNotify);
    fWindow = w;
    XSync(d, False);
}

TX11TestHost::~TX11TestHost() {
    if (!fDisplay) return;
    DestroyWindow();
    XCloseDisplay(D(fDisplay));
}

void TX11TestHost::DestroyWindow() {
    if (!fWindow) return;
    XDestroyWindow(D(fDisplay), fWindow);
    XSync(D(fDisplay), False);
    fWindow = 0;
}

void TX11TestHost::MovePointer(int x, int y) {
    Display* d = D(fDisplay);
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(d, fWindow, DefaultRootWindow(d), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(d, DefaultScreen(d), rx, ry, CurrentTime);
    XSync(d, False);
}

void TX11TestHost::Button(int button, bool down) {
    XTestFakeButtonEvent(D(fDisplay), static_cast<unsigned>(button), down ? True : False, CurrentTime);
    XSync(D(fDisplay), False);
}

bool TX11TestHost::Capture(std::uintptr_t window, TDrawingSurface& out) {
    Display* d = D(fDisplay);
    auto prev = XSetErrorHandler(&IgnoreErrors);
    XWindowAttributes wa;
    if (!XGetWindowAttributes(d, window, &wa)) {
        XSetErrorHandler(prev);
        return false;
    }
    XImage* img = XGetImage(d, window, 0, 0, static_cast<unsigned>(wa.width),
                            static_cast<unsigned>(wa.height), AllPlanes, ZPixmap);
    XSync(d, False);
    XSetErrorHandler(prev);
    if (!img) return false;
    out.Resize(wa.width, wa.height);
    for (int y = 0; y < wa.height; ++y)
        for (int x = 0; x < wa.width; ++x)
            out.SetPixel(x, y, static_cast<std::uint32_t>(XGetPixel(img, x, y)) & 0x00FFFFFFu);
    XDestroyImage(img);
    return true;
}

int TX11TestHost::ChildCount() {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(D(fDisplay), fWindow, &root, &parent, &children, &n)) return -1;
    if (children) XFree(children);
    return static_cast<int>(n);
}

bool TX11TestHost::ServerResources(std::size_t& resources, std::size_t& clients) {
    Display* d = D(fDisplay);
    int ev = 0, err = 0;
    if (!XResQueryExtension(d, &ev, &err)) return false;
    XResClient* list = nullptr;
    int n = 0;
    if (!XResQueryClients(d, &n, &list)) return false;
    resources = 0;
    clients = static_cast<std::size_t>(n);
    for (int i = 0; i < n; ++i) {
        XResType* types = nullptr;
        int nt = 0;
        if (XResQueryClientResources(d, list[i].resource_base, &nt, &types)) {
            for (int t = 0; t < nt; ++t)
                resources += types[t].count;
            XFree(types);
        }
    }
    XFree(list);
    return true;
}

void TX11TestHost::Sync() { XSync(D(fDisplay), False); }

} // namespace ql::test
