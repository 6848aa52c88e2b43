#include "platform/X11Windows.h"

#include <QSysInfo>

#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace corvane::x11 {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

// Titles longer than this are not window titles anyone configures; the limit keeps replies small.
constexpr std::uint32_t kTitleLongs = 1024;
constexpr xcb_atom_t kNoAtom = XCB_ATOM_NONE;
constexpr xcb_window_t kNoWindow = XCB_WINDOW_NONE;

class Connection {
public:
    explicit Connection(const QByteArray& display) {
        // A busy X server drops some new connections before their set-up (seen on Xvfb: one in ten
        // of quick successive connects); that says nothing about the windows, so try a few times.
        for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
            if (attempt > 0) {
                xcb_disconnect(m_c);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            m_c = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &m_screen);
            if (xcb_connection_has_error(m_c) == 0)
                break;
        }
    }
    ~Connection() {
        if (m_ewmhReady)
            xcb_ewmh_connection_wipe(&m_ewmh);
        if (m_c)
            xcb_disconnect(m_c);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return m_c && xcb_connection_has_error(m_c) == 0; }
    xcb_connection_t* get() const { return m_c; }
    int screen() const { return m_screen; }

    xcb_window_t root() const {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; it.rem > 0 && i < m_screen; ++i)
            xcb_screen_next(&it);
        return it.rem > 0 ? it.data->root : kNoWindow;
    }

    xcb_ewmh_connection_t* ewmh() {
        if (!m_ewmhTried) {
            m_ewmhTried = true;
            xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(m_c, &m_ewmh);
            m_ewmhReady = xcb_ewmh_init_atoms_replies(&m_ewmh, cookies, nullptr) != 0;
        }
        return m_ewmhReady ? &m_ewmh : nullptr;
    }

private:
    static constexpr int kConnectAttempts = 5;
    int m_screen = 0;
    xcb_connection_t* m_c = nullptr;
    xcb_ewmh_connection_t m_ewmh{};
    bool m_ewmhTried = false;
    bool m_ewmhReady = false;
};

// The text of an 8-bit string property, or nothing when the window does not have it.
std::optional<QString> readText(xcb_connection_t* c, xcb_get_property_cookie_t cookie, xcb_atom_t utf8) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 8)
        return std::nullopt;
    const char* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    int length = xcb_get_property_value_length(reply.get());
    while (length > 0 && data[length - 1] == '\0')
        --length;
    if (utf8 != XCB_ATOM_NONE && reply->type == utf8)
        return QString::fromUtf8(data, length);
    // STRING is Latin-1; COMPOUND_TEXT agrees with it for the titles that can be configured.
    return QString::fromLatin1(data, length);
}

xcb_get_property_cookie_t askText(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property) {
    return xcb_get_property(c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, kTitleLongs);
}

// The first window of `windows` whose title is `title`. All requests go out before the first reply is
// read, so a long list costs one round trip.
std::optional<xcb_window_t> firstTitled(Connection& conn, const std::vector<xcb_window_t>& windows,
                                        const QString& title) {
    xcb_connection_t* c = conn.get();
    xcb_ewmh_connection_t* ewmh = conn.ewmh();
    const xcb_atom_t netName = ewmh ? ewmh->_NET_WM_NAME : kNoAtom;
    const xcb_atom_t utf8 = ewmh ? ewmh->UTF8_STRING : kNoAtom;
    struct Asked {
        xcb_get_property_cookie_t netName;
        xcb_get_property_cookie_t name;
    };
    std::vector<Asked> asked;
    asked.reserve(windows.size());
    for (xcb_window_t w : windows)
        asked.push_back({netName != XCB_ATOM_NONE ? askText(c, w, netName) : xcb_get_property_cookie_t{},
                         askText(c, w, XCB_ATOM_WM_NAME)});
    std::optional<xcb_window_t> match;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        // Every reply is read even after a match, so none is left queued on the connection.
        std::optional<QString> shown;
        if (netName != XCB_ATOM_NONE)
            shown = readText(c, asked[i].netName, utf8);
        std::optional<QString> legacy = readText(c, asked[i].name, utf8);
        if (!shown)
            shown = std::move(legacy);
        if (!match && shown && *shown == title)
            match = windows[i];
    }
    return match;
}

std::vector<xcb_window_t> clientList(Connection& conn) {
    std::vector<xcb_window_t> out;
    xcb_ewmh_connection_t* ewmh = conn.ewmh();
    if (!ewmh)
        return out;
    xcb_ewmh_get_windows_reply_t list{};
    if (xcb_ewmh_get_client_list_reply(ewmh, xcb_ewmh_get_client_list(ewmh, conn.screen()), &list, nullptr) ==
        0)
        return out;
    out.assign(list.windows, list.windows + list.windows_len);
    xcb_ewmh_get_windows_reply_wipe(&list);
    return out;
}

// Children in stacking order, topmost first, as a search of the desktop meets them; for several
// parents, all requests go out before the first reply is read.
std::vector<xcb_window_t> children(xcb_connection_t* c, const std::vector<xcb_window_t>& parents) {
    std::vector<xcb_query_tree_cookie_t> asked;
    asked.reserve(parents.size());
    for (xcb_window_t p : parents)
        asked.push_back(xcb_query_tree(c, p));
    std::vector<xcb_window_t> out;
    for (xcb_query_tree_cookie_t cookie : asked) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, cookie, nullptr));
        if (!tree)
            continue;
        const xcb_window_t* kids = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        for (int i = count - 1; i >= 0; --i)
            out.push_back(kids[i]);
    }
    return out;
}

bool isThisMachine(const QString& machine) {
    const QString here = QSysInfo::machineHostName();
    auto shortName = [](const QString& name) { return name.section(u'.', 0, 0); };
    return machine.compare(here, Qt::CaseInsensitive) == 0 ||
           shortName(machine).compare(shortName(here), Qt::CaseInsensitive) == 0 ||
           machine.compare(u"localhost", Qt::CaseInsensitive) == 0;
}

std::optional<std::int64_t> pidFromResources(xcb_connection_t* c, xcb_window_t w) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_res_id);
    if (!ext || !ext->present)
        return std::nullopt;
    Reply<xcb_res_query_version_reply_t> version(
        xcb_res_query_version_reply(c, xcb_res_query_version(c, 1, 2), nullptr));
    if (!version || (version->server_major == 1 && version->server_minor < 2))
        return std::nullopt; // client ids came with 1.2
    xcb_res_client_id_spec_t spec{w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    Reply<xcb_res_query_client_ids_reply_t> ids(
        xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &spec), nullptr));
    if (!ids)
        return std::nullopt;
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0 ||
            xcb_res_client_id_value_value_length(it.data) < 1)
            continue;
        const std::uint32_t pid = *xcb_res_client_id_value_value(it.data);
        if (pid > 0 && pid <= static_cast<std::uint32_t>(INT_MAX))
            return pid;
    }
    return std::nullopt;
}

// Whether the server's record of a client's pid can be trusted: only a server on this machine knows
// the pids of this machine. A window of our own is created and the server asked for its owner; a
// display reached through a forwarder (ssh, a TCP relay) names the forwarder or nothing.
bool serverRunsHere(Connection& conn) {
    xcb_connection_t* c = conn.get();
    const xcb_window_t probe = xcb_generate_id(c);
    xcb_create_window(c, 0, probe, conn.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      0, nullptr);
    const std::optional<std::int64_t> pid = pidFromResources(c, probe);
    xcb_destroy_window(c, probe);
    xcb_flush(c);
    return pid && *pid == static_cast<std::int64_t>(::getpid());
}

// The process that owns a window, as the X server knows it: the peer of the client's connection.
// _NET_WM_PID is only what the client chose to write; where it names another process the window is
// not what it seems, and nobody is the owner. A program that names another machine in
// WM_CLIENT_MACHINE runs there, and the local peer of its connection is only the forwarder (ssh),
// which must not be killed in its place.
std::optional<std::int64_t> owner(Connection& conn, xcb_window_t w) {
    xcb_connection_t* c = conn.get();
    xcb_ewmh_connection_t* ewmh = conn.ewmh();
    const std::optional<QString> machine =
        readText(c, askText(c, w, XCB_ATOM_WM_CLIENT_MACHINE), ewmh ? ewmh->UTF8_STRING : kNoAtom);
    if (machine && !machine->isEmpty() && !isThisMachine(*machine))
        return std::nullopt;
    if (!serverRunsHere(conn))
        return std::nullopt;
    const std::optional<std::int64_t> pid = pidFromResources(c, w);
    if (!pid)
        return std::nullopt;
    if (ewmh) {
        std::uint32_t declared = 0;
        if (xcb_ewmh_get_wm_pid_reply(ewmh, xcb_ewmh_get_wm_pid(ewmh, w), &declared, nullptr) != 0 &&
            static_cast<std::int64_t>(declared) != *pid)
            return std::nullopt;
    }
    return pid;
}

// Straight system calls: the C library's wrappers are missing from older releases, and some
// releases declare them without C linkage.
int openProcess(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

bool signalProcess(int pidfd, int signal) {
    return ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

} // namespace

std::optional<FoundWindow> findTopLevelWindow(const QString& title, const QByteArray& display) {
    Connection conn(display);
    if (!conn.ok())
        return std::nullopt;
    const xcb_window_t root = conn.root();
    if (root == XCB_WINDOW_NONE)
        return std::nullopt;

    std::optional<xcb_window_t> match = firstTitled(conn, clientList(conn), title);
    if (!match) {
        // No window manager, or one without a client list (or a stale list): the top-level windows
        // are the root's children, or the children of the frames a reparenting manager put there.
        const std::vector<xcb_window_t> top = children(conn.get(), {root});
        match = firstTitled(conn, top, title);
        if (!match)
            match = firstTitled(conn, children(conn.get(), top), title);
    }
    if (!match)
        return std::nullopt;
    return FoundWindow{*match, owner(conn, *match)};
}

bool killProcess(std::int64_t pid) {
    // 0 and negative ids address process groups; this program must not end itself either.
    if (pid <= 1 || pid > INT_MAX || pid == static_cast<std::int64_t>(::getpid()))
        return false;
    // Through a descriptor of the process, so that an id handed to another process after the look-up
    // is never hit: the signal reaches the process that was opened, or nobody.
    const int pidfd = openProcess(static_cast<pid_t>(pid));
    if (pidfd < 0)
        return false;
    // /proc/PID belongs to the process's user. It was read while the descriptor held the process, and
    // a successful signal shows the process was still there then, so the id still named it.
    struct stat info {};
    const std::string proc = "/proc/" + std::to_string(pid);
    const bool sameUser = ::stat(proc.c_str(), &info) == 0 && info.st_uid == ::geteuid();
    const bool killed = sameUser && signalProcess(pidfd, SIGKILL);
    ::close(pidfd);
    return killed;
}

RelayTermination X11RelayTerminator::terminateWindowOwner(const QString& title) {
    const std::optional<FoundWindow> found = findTopLevelWindow(title, m_display);
    if (!found)
        return RelayTermination::NotFound;
    if (!found->pid || !killProcess(*found->pid))
        return RelayTermination::Refused;
    return RelayTermination::Terminated;
}

} // namespace corvane::x11
