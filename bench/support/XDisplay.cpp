#include "support/XDisplay.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <poll.h>
#include <xcb/xtest.h>

namespace corvane::bench {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

} // namespace

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

XDisplay::XDisplay() : m_c(xcb_connect(nullptr, nullptr)) {
    if (!ok())
        return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    m_root = screen->root;
    m_screen = {0, 0, screen->width_in_pixels, screen->height_in_pixels};
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
    m_netName = atom("_NET_WM_NAME");
    const xcb_query_extension_reply_t* test = xcb_get_extension_data(m_c, &xcb_test_id);
    m_test = test && test->present;
    xcb_flush(m_c);
}

XDisplay::~XDisplay() {
    if (m_c)
        xcb_disconnect(m_c);
}

bool XDisplay::ok() const {
    return m_c && xcb_connection_has_error(m_c) == 0;
}

std::optional<WindowChange> XDisplay::next(double untilMs) {
    pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
    for (;;) {
        while (Reply<xcb_generic_event_t> e{xcb_poll_for_event(m_c)}) {
            const auto type = e->response_type & 0x7F;
            if (type == XCB_MAP_NOTIFY) {
                const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(e.get());
                return WindowChange{map->window, true, map->override_redirect != 0, nowMs()};
            }
            if (type == XCB_UNMAP_NOTIFY) {
                const auto* unmap = reinterpret_cast<const xcb_unmap_notify_event_t*>(e.get());
                return WindowChange{unmap->window, false, false, nowMs()};
            }
        }
        const double left = untilMs - nowMs();
        if (left <= 0 || !ok())
            return std::nullopt;
        poll(&fd, 1, static_cast<int>(left) + 1);
    }
}

std::optional<WindowChange> XDisplay::waitFor(const std::function<bool(const WindowChange&)>& wanted,
                                              double timeoutMs) {
    const double until = nowMs() + timeoutMs;
    while (auto change = next(until)) {
        if (wanted(*change))
            return change;
    }
    return std::nullopt;
}

void XDisplay::drain() {
    while (next(0)) {
    }
}

xcb_atom_t XDisplay::atom(const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_c, xcb_intern_atom(m_c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

QByteArray XDisplay::property(xcb_window_t window, xcb_atom_t name) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr));
    if (!reply || reply->format != 8)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

QByteArray XDisplay::titleOf(xcb_window_t window) {
    const QByteArray net = m_netName != XCB_ATOM_NONE ? property(window, m_netName) : QByteArray();
    return net.isEmpty() ? property(window, XCB_ATOM_WM_NAME) : net;
}

std::optional<Geometry> XDisplay::geometry(xcb_window_t window) {
    Reply<xcb_get_geometry_reply_t> size(xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> place(
        xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr));
    if (!size || !place)
        return std::nullopt;
    return Geometry{place->dst_x, place->dst_y, size->width, size->height};
}

Image XDisplay::pixels(xcb_window_t window, int x, int y, int width, int height) {
    Image image;
    Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        m_c,
        xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), ~0u),
        nullptr));
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    // Depth 24 in 32-bit little-endian pixels, as Xvfb and common servers keep true colour.
    if (!reply || reply->depth != 24 ||
        static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < count * 4)
        return image;
    const std::uint8_t* data = xcb_get_image_data(reply.get());
    image.width = width;
    image.height = height;
    image.rgb.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        image.rgb[i] = static_cast<std::uint32_t>(data[4 * i + 2]) << 16 |
                       static_cast<std::uint32_t>(data[4 * i + 1]) << 8 | data[4 * i];
    return image;
}

void XDisplay::focus(xcb_window_t window) {
    xcb_set_input_focus(m_c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    sync();
}

xcb_keycode_t XDisplay::keycode(xcb_keysym_t symbol) {
    const xcb_setup_t* setup = xcb_get_setup(m_c);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    Reply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
        m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, count), nullptr));
    if (!map)
        return 0;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(map.get());
    const int perKey = map->keysyms_per_keycode;
    for (int k = 0; k < count; ++k) {
        for (int i = 0; i < perKey; ++i) {
            if (symbols[k * perKey + i] == symbol)
                return static_cast<xcb_keycode_t>(setup->min_keycode + k);
        }
    }
    return 0;
}

void XDisplay::key(xcb_keycode_t code, bool press) {
    xcb_test_fake_input(m_c, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_WINDOW_NONE,
                        0, 0, 0);
    xcb_flush(m_c);
}

void XDisplay::moveTo(int rootX, int rootY) {
    xcb_test_fake_input(m_c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, static_cast<std::int16_t>(rootX),
                        static_cast<std::int16_t>(rootY), 0);
    xcb_flush(m_c);
}

void XDisplay::button(int number, bool press) {
    xcb_test_fake_input(m_c, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(number),
                        XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_flush(m_c);
}

void XDisplay::sync() {
    Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

} // namespace corvane::bench
