#pragma once
// Real pointer events on the X server in $DISPLAY, through its test extension: the window system
// treats them as a user's hand on the mouse, and makes double clicks of them by itself. It also reads
// back the picture the pointer shows.

#include <QImage>
#include <QPoint>

struct xcb_connection_t;

namespace corvane::test {

class XPointer {
public:
    XPointer();
    ~XPointer();
    XPointer(const XPointer&) = delete;
    XPointer& operator=(const XPointer&) = delete;

    // False when there is no X server or it lacks the test extension.
    bool ok() const { return m_ok; }
    // Screen positions (QWidget::mapToGlobal). Each call returns once the server has taken the event.
    void moveTo(QPoint screen);
    void press(int button = 1);
    void release(int button = 1);
    void click(QPoint screen, int button = 1);
    // The picture the pointer shows now, as the X server draws it (XFixes); null without the extension.
    QImage cursorImage();

private:
    void sync();
    xcb_connection_t* m_c;
    unsigned m_root = 0;
    bool m_ok = false;
};

} // namespace corvane::test
