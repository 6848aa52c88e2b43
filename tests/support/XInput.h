#pragma once
// Real pointer and key events on the X server in $DISPLAY (XTest), taken as a user's (double clicks,
// modifiers and access keys included), and the picture the pointer shows.

#include <QImage>
#include <QPoint>
#include <cstdint>
#include <initializer_list>
#include <vector>

struct xcb_connection_t;

namespace corvane::test {

class XInput {
public:
    XInput();
    ~XInput();
    XInput(const XInput&) = delete;
    XInput& operator=(const XInput&) = delete;

    // False when there is no X server, it lacks the test extension or its keyboard map lacks a key.
    bool ok() const { return m_ok; }
    // Screen positions (QWidget::mapToGlobal). Each call returns once the server has taken the events.
    void moveTo(QPoint screen);
    void press(int button = 1);
    void release(int button = 1);
    void click(QPoint screen, int button = 1);
    // Types `keysym` (X11/keysymdef.h) with the modifiers held, pressed in order.
    void type(std::uint32_t keysym, std::initializer_list<std::uint32_t> modifiers = {});
    // The picture the pointer shows now, as the X server draws it (XFixes); null without the extension.
    QImage cursorImage();

private:
    void fake(std::uint8_t type, std::uint8_t detail, QPoint screen = {});
    void key(std::uint8_t type, std::uint32_t keysym);
    xcb_connection_t* m_c;
    unsigned m_root = 0;
    bool m_ok = false;
    std::uint8_t m_minKeycode = 0;
    std::uint8_t m_perKeycode = 0;
    std::vector<std::uint32_t> m_map; // keysyms, m_perKeycode for each keycode from m_minKeycode on
};

} // namespace corvane::test
