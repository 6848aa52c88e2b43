#pragma once
// Real key events on the X server in $DISPLAY, through its test extension: they reach the window that
// has the X input focus exactly as a user's typing does, modifiers and access keys included.

#include <cstdint>
#include <initializer_list>
#include <vector>

struct xcb_connection_t;

namespace corvane::test {

class XKeyboard {
public:
    XKeyboard();
    ~XKeyboard();
    XKeyboard(const XKeyboard&) = delete;
    XKeyboard& operator=(const XKeyboard&) = delete;

    // False when there is no X server, it lacks the test extension or its keyboard map lacks a key.
    bool ok() const { return m_ok; }
    // Presses the modifiers in order, types `keysym` (X11/keysymdef.h) and releases the modifiers in
    // reverse order; returns once the server has taken the events.
    void type(std::uint32_t keysym, std::initializer_list<std::uint32_t> modifiers = {});

private:
    void fake(std::uint8_t type, std::uint32_t keysym);
    xcb_connection_t* m_c;
    bool m_ok = false;
    std::uint8_t m_minKeycode = 0;
    std::uint8_t m_perKeycode = 0;
    std::vector<std::uint32_t> m_map; // keysyms, m_perKeycode for each keycode from m_minKeycode on
};

} // namespace corvane::test
