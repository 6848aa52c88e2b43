#pragma once
// Finding a top-level window by its title on the X11 display and ending the process that owns it.
// With no X11 display (none at all, or a Wayland session without X) nothing is ever found.

#include "platform/RelayTerminator.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace corvane::x11 {

struct FoundWindow {
    std::uint32_t window = 0;
    // The owner as the X server knows it; none when it cannot be told or trusted (a remote client or
    // server, no X-Resource, a _NET_WM_PID that names another process).
    std::optional<std::int64_t> pid;
};

// The first top-level window whose title (_NET_WM_NAME, or WM_NAME where that is not set) is exactly
// `title`. The window manager's client list is searched first; on a bare server, or when the list
// does not have it, the root window's children (and their children, for frames of reparenting
// window managers) are. `display` is an X display name; empty means $DISPLAY.
std::optional<FoundWindow> findTopLevelWindow(const QString& title, const QByteArray& display = {});

// Kills the process hard. Refuses ids that would hit more than one process, this program itself, or a
// process of another user.
bool killProcess(std::int64_t pid);

class X11RelayTerminator final : public RelayTerminator {
public:
    explicit X11RelayTerminator(QByteArray display = {}) : m_display(std::move(display)) {}
    RelayTermination terminateWindowOwner(const QString& title) override;

private:
    QByteArray m_display;
};

} // namespace corvane::x11
