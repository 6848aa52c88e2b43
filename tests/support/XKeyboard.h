#pragma once
// Real key events on the X server in $DISPLAY, through its test extension: they reach the window that
// has the X input focus exactly as a user's typing does, modifiers and access keys included.

#include <cstdint>
#include <initializer_list>

struct xcb_connection_t;

namespace corvane::test {

class XKeyboard {
public:
    XKeyboard();
    ~XKeyboard();
    XKeyboard(const XKeyboard&) = delete;
    XKeyboard& operator=(const XKeyboard&) = delete;

    // False when there is no X server, it lacks the test extension or its keyboard map lacks a key.
    bool ok() const;
    // Keys by keysym (X11/keysymdef.h: XK_Tab, XK_Left, XK_space, XK_x, ...). Each call returns once
    // the server has taken the events.
    void press(std::uint32_t keysym);
    void release(std::uint32_t keysym);
    // Presses the modifiers in order, types `keysym`, and releases them in reverse order.
    void type(std::uint32_t keysym, std::initializer_list<std::uint32_t> modifiers = {});

private:
    std::uint8_t keycode(std::uint32_t keysym) const;
    void fake(std::uint8_t type, std::uint32_t keysym);
    xcb_connection_t* m_c;
    bool m_ok = false;
    std::uint8_t m_minKeycode = 0;
    std::uint8_t m_perKeycode = 0;
    int m_keycodes = 0;
    std::uint32_t* m_map = nullptr; // keysyms, m_perKeycode for each keycode from m_minKeycode on
    void* m_reply = nullptr;
};

} // namespace corvane::test
