#pragma once
// The X server's desktop in $DISPLAY: its windows, and openbox with a dock that shrinks the work area;
// what openbox left on the root window goes with it, for the tests after it.

#include <QByteArray>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <vector>

struct xcb_connection_t;

namespace corvane::test {

class XDesktop {
public:
    XDesktop();
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    // Starts openbox with a dock `dockHeight` pixels high at the bottom; false, and error(), on failure.
    bool startWindowManager(int dockHeight);
    QString error() const { return m_error; }
    // The top-level window that the process `pid` shows on the screen titled `title`; 0 for none.
    unsigned viewableWindow(qint64 pid, const QByteArray& title) const;
    // A window's corner on the screen.
    QPoint windowPosition(unsigned window) const;

private:
    void stop();
    bool failed(const QString& why) {
        m_error = why;
        return false;
    }
    unsigned atom(const char* name) const;
    bool rootHas(const char* property) const;
    // The height of the first desktop's work area, -1 when the window manager gives none.
    int workAreaHeight() const;
    xcb_connection_t* m_c;
    unsigned m_root = 0;
    unsigned m_dock = 0;
    std::vector<unsigned> m_rootProperties; // as they were before the window manager came
    bool m_started = false;
    QProcess m_wm;
    QString m_error;
};

} // namespace corvane::test
