#pragma once
// The X server in $DISPLAY seen from outside, as the operator's screen and hands: top-level windows
// as the server maps and unmaps them (SubstructureNotify on the root, so a figure holds no polling
// delay), real keys and pointer events through the test extension, and a window's pixels as the
// server holds them.

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

namespace corvane::bench {

// CLOCK_MONOTONIC in milliseconds.
double nowMs();

// A top-level window mapped or unmapped, and when the event was read.
struct WindowChange {
    xcb_window_t window = XCB_WINDOW_NONE;
    bool mapped = false;
    bool overrideRedirect = false; // menus, tool tips and other popups
    double atMs = 0;
};

// A rectangle of a window in root coordinates.
struct Geometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Pixels of a window as 0xRRGGBB values, row by row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;
    std::uint32_t at(int x, int y) const {
        return rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                   static_cast<std::size_t>(x)];
    }
    bool operator==(const Image&) const = default;
};

class XDisplay {
public:
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool ok() const;
    // The test extension is there: keys and pointer events can be sent.
    bool canSendInput() const { return m_test; }

    // The first change matching `wanted` within timeoutMs (changes read before it are dropped).
    std::optional<WindowChange> waitFor(const std::function<bool(const WindowChange&)>& wanted,
                                        double timeoutMs);
    // Drops the changes that have arrived so far.
    void drain();
    // The window's _NET_WM_NAME, or its WM_NAME.
    QByteArray titleOf(xcb_window_t window);

    std::optional<Geometry> geometry(xcb_window_t window);
    // The whole screen.
    Geometry screen() const { return m_screen; }
    // A part of the window (window coordinates); empty when it cannot be read.
    Image pixels(xcb_window_t window, int x, int y, int width, int height);
    void focus(xcb_window_t window);

    // Real input. Each call returns once the server has the request; sync() waits until it handled it.
    xcb_keycode_t keycode(xcb_keysym_t symbol);
    void key(xcb_keycode_t code, bool press);
    void moveTo(int rootX, int rootY);
    void button(int number, bool press);
    void sync();

private:
    xcb_atom_t atom(const char* name);
    QByteArray property(xcb_window_t window, xcb_atom_t name);
    std::optional<WindowChange> next(double untilMs);

    xcb_connection_t* m_c;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    Geometry m_screen;
    xcb_atom_t m_netName = XCB_ATOM_NONE;
    bool m_test = false;
};

} // namespace corvane::bench
