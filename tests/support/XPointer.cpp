#include "support/XPointer.h"

#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <xcb/xtest.h>

#include <cstdlib>

namespace corvane::test {

XPointer::XPointer() : m_c(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(m_c))
        return;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_c, &xcb_test_id);
    m_ok = ext && ext->present;
}

XPointer::~XPointer() { xcb_disconnect(m_c); }

void XPointer::sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

void XPointer::moveTo(QPoint screen) {
    xcb_test_fake_input(m_c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, static_cast<std::int16_t>(screen.x()),
                        static_cast<std::int16_t>(screen.y()), 0);
    sync();
}

void XPointer::press(int button) {
    xcb_test_fake_input(m_c, XCB_BUTTON_PRESS, static_cast<std::uint8_t>(button), XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                        0);
    sync();
}

void XPointer::release(int button) {
    xcb_test_fake_input(m_c, XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(button), XCB_CURRENT_TIME, XCB_NONE, 0,
                        0, 0);
    sync();
}

void XPointer::click(QPoint screen, int button) {
    moveTo(screen);
    press(button);
    release(button);
}

QImage XPointer::cursorImage() {
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
