#include "support/XInput.h"

#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <iterator>

namespace corvane::test {

XInput::XInput() : m_c(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(m_c))
        return;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_c, &xcb_test_id);
    if (!ext || !ext->present)
        return;
    const xcb_setup_t* setup = xcb_get_setup(m_c);
    m_minKeycode = setup->min_keycode;
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    auto* reply =
        xcb_get_keyboard_mapping_reply(m_c, xcb_get_keyboard_mapping(m_c, m_minKeycode, count), nullptr);
    if (!reply)
        return;
    m_perKeycode = reply->keysyms_per_keycode;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply);
    m_map.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply));
    std::free(reply);
    m_ok = m_perKeycode > 0 && !m_map.empty();
}

XInput::~XInput() {
    xcb_disconnect(m_c);
}

void XInput::fake(std::uint8_t type, std::uint8_t detail, QPoint screen) {
    xcb_test_fake_input(m_c, type, detail, XCB_CURRENT_TIME, type == XCB_MOTION_NOTIFY ? m_root : XCB_NONE,
                        static_cast<std::int16_t>(screen.x()), static_cast<std::int16_t>(screen.y()), 0);
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

void XInput::moveTo(QPoint screen) {
    fake(XCB_MOTION_NOTIFY, 0, screen);
}

void XInput::press(int button) {
    fake(XCB_BUTTON_PRESS, static_cast<std::uint8_t>(button));
}

void XInput::release(int button) {
    fake(XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(button));
}

void XInput::click(QPoint screen, int button) {
    moveTo(screen);
    press(button);
    release(button);
}

void XInput::key(std::uint8_t type, std::uint32_t keysym) {
    // The unshifted symbol of a key first, so that a letter is typed without Shift.
    std::uint8_t code = 0;
    for (std::size_t column = 0; column < m_perKeycode && code == 0; ++column)
        for (std::size_t k = 0; k < m_map.size() / m_perKeycode && code == 0; ++k)
            if (m_map[k * m_perKeycode + column] == keysym)
                code = static_cast<std::uint8_t>(m_minKeycode + k);
    if (code == 0)
        m_ok = false;
    else
        fake(type, code);
}

void XInput::type(std::uint32_t keysym, std::initializer_list<std::uint32_t> modifiers) {
    for (std::uint32_t m : modifiers)
        key(XCB_KEY_PRESS, m);
    key(XCB_KEY_PRESS, keysym);
    key(XCB_KEY_RELEASE, keysym);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
        key(XCB_KEY_RELEASE, *it);
}

QImage XInput::cursorImage() {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_c, &xcb_xfixes_id);
    if (!ext || !ext->present)
        return {};
    std::free(xcb_xfixes_query_version_reply(m_c, xcb_xfixes_query_version(m_c, 4, 0), nullptr));
    xcb_xfixes_get_cursor_image_reply_t* r =
        xcb_xfixes_get_cursor_image_reply(m_c, xcb_xfixes_get_cursor_image(m_c), nullptr);
    QImage image;
    if (r && xcb_xfixes_get_cursor_image_cursor_image_length(r) == r->width * r->height) {
        // One 32-bit ARGB word per pixel, premultiplied.
        image = QImage(reinterpret_cast<const uchar*>(xcb_xfixes_get_cursor_image_cursor_image(r)), r->width,
                       r->height, r->width * 4, QImage::Format_ARGB32_Premultiplied)
                    .copy();
    }
    std::free(r);
    return image;
}

} // namespace corvane::test
