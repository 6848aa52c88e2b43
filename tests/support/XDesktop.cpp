#include "support/XDesktop.h"

#include <QTest>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace corvane::test {

namespace {
template <typename T> struct Freed {
    T* p;
    ~Freed() { std::free(p); }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

std::vector<unsigned> propertiesOf(xcb_connection_t* c, xcb_window_t w) {
    Freed<xcb_list_properties_reply_t> r{xcb_list_properties_reply(c, xcb_list_properties(c, w), nullptr)};
    if (!r)
        return {};
    const xcb_atom_t* atoms = xcb_list_properties_atoms(r.p);
    return std::vector<unsigned>(atoms, atoms + xcb_list_properties_atoms_length(r.p));
}
} // namespace

XDesktop::XDesktop() : m_c(xcb_connect(nullptr, nullptr)) {
    if (!xcb_connection_has_error(m_c))
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
}

XDesktop::~XDesktop() {
    stop();
    xcb_disconnect(m_c);
}

unsigned XDesktop::atom(const char* name) const {
    Freed<xcb_intern_atom_reply_t> r{xcb_intern_atom_reply(
        m_c, xcb_intern_atom(m_c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr)};
    return r ? r->atom : static_cast<unsigned>(XCB_ATOM_NONE);
}

bool XDesktop::rootHas(const char* property) const {
    Freed<xcb_get_property_reply_t> r{xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, m_root, atom(property), XCB_ATOM_ANY, 0, 1), nullptr)};
    return r && r->type != XCB_ATOM_NONE;
}

bool XDesktop::startWindowManager(int dockHeight) {
    if (xcb_connection_has_error(m_c))
        return failed(QStringLiteral("no X server"));
    if (rootHas("_NET_SUPPORTING_WM_CHECK"))
        return failed(QStringLiteral("a window manager already runs on this display"));
    m_rootProperties = propertiesOf(m_c, m_root);
    m_started = true;
    m_wm.setProgram(QStringLiteral("openbox"));
    m_wm.setArguments({QStringLiteral("--sm-disable")});
    m_wm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_wm.start();
    if (!m_wm.waitForStarted(5000))
        return failed(QStringLiteral("openbox did not start: ") + m_wm.errorString());
    if (!QTest::qWaitFor([this] { return rootHas("_NET_SUPPORTING_WM_CHECK") && rootHas("_NET_WORKAREA"); },
                         10000))
        return failed(QStringLiteral("openbox did not take the screen"));

    // The dock: a window of the dock type that reserves the bottom strip of the screen.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    const int width = screen->width_in_pixels;
    const int height = screen->height_in_pixels;
    m_dock = xcb_generate_id(m_c);
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_dock, m_root, 0,
                      static_cast<std::int16_t>(height - dockHeight), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(dockHeight), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    const xcb_atom_t dockType = atom("_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_dock, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                        &dockType);
    // left, right, top, bottom, then the start and end of each along its edge.
    const std::array<std::uint32_t, 12> strut{0, 0, 0, static_cast<std::uint32_t>(dockHeight), 0, 0, 0, 0,
                                              0, 0, 0, static_cast<std::uint32_t>(width - 1)};
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_dock, atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL,
                        32, static_cast<std::uint32_t>(strut.size()), strut.data());
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_dock, atom("_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 32, 4,
                        strut.data());
    // Placed where it says, not where the window manager would put a new window (over the others).
    constexpr std::uint32_t usPosition = 1, usSize = 2, pPosition = 4, pSize = 8;
    const std::array<std::uint32_t, 18> hints{usPosition | usSize | pPosition | pSize, 0,
                                              static_cast<std::uint32_t>(height - dockHeight),
                                              static_cast<std::uint32_t>(width), strut[3]};
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_dock, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                        32, static_cast<std::uint32_t>(hints.size()), hints.data());
    // A dock mapped while openbox is still taking over the screen may be missed: mapped again then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        xcb_unmap_window(m_c, m_dock);
        xcb_map_window(m_c, m_dock);
        xcb_flush(m_c);
        if (QTest::qWaitFor([&] { return workAreaHeight() == height - dockHeight; }, 3000))
            return true;
    }
    return failed(QStringLiteral("openbox left the dock's strut in its work area"));
}

int XDesktop::workAreaHeight() const {
    Freed<xcb_get_property_reply_t> r{xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, m_root, atom("_NET_WORKAREA"), XCB_ATOM_CARDINAL, 0, 4), nullptr)};
    if (!r || r->format != 32 || xcb_get_property_value_length(r.p) < 16)
        return -1;
    return static_cast<int>(static_cast<const std::uint32_t*>(xcb_get_property_value(r.p))[3]);
}

void XDesktop::stop() {
    if (m_dock) {
        xcb_destroy_window(m_c, m_dock);
        m_dock = 0;
    }
    if (m_wm.state() != QProcess::NotRunning) {
        m_wm.terminate();
        if (!m_wm.waitForFinished(5000)) {
            m_wm.kill();
            m_wm.waitForFinished(5000);
        }
    }
    if (!m_started || xcb_connection_has_error(m_c))
        return;
    m_started = false;
    // Whatever the window manager wrote on the root window and left there.
    for (unsigned p : propertiesOf(m_c, m_root))
        if (std::find(m_rootProperties.begin(), m_rootProperties.end(), p) == m_rootProperties.end())
            xcb_delete_property(m_c, m_root, p);
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

unsigned XDesktop::viewableWindow(qint64 pid, const QByteArray& title) const {
    const auto property = [this](xcb_window_t w, const char* name) {
        Freed<xcb_get_property_reply_t> r{xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr)};
        return r ? QByteArray(static_cast<const char*>(xcb_get_property_value(r.p)),
                              xcb_get_property_value_length(r.p))
                 : QByteArray();
    };
    Freed<xcb_query_tree_reply_t> tree{xcb_query_tree_reply(m_c, xcb_query_tree(m_c, m_root), nullptr)};
    if (!tree)
        return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.p);
    for (int i = 0; i < xcb_query_tree_children_length(tree.p); ++i) {
        Freed<xcb_get_window_attributes_reply_t> a{
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, children[i]), nullptr)};
        const QByteArray pidBytes = property(children[i], "_NET_WM_PID");
        std::uint32_t owner = 0;
        if (pidBytes.size() == 4)
            std::memcpy(&owner, pidBytes.constData(), 4);
        if (a && a->map_state == XCB_MAP_STATE_VIEWABLE && owner == pid &&
            property(children[i], "_NET_WM_NAME") == title)
            return children[i];
    }
    return 0;
}

QPoint XDesktop::windowPosition(unsigned window) const {
    Freed<xcb_translate_coordinates_reply_t> t{
        xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr)};
    return t ? QPoint(t->dst_x, t->dst_y) : QPoint(-1, -1);
}

} // namespace corvane::test
