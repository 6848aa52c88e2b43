#include "support/XPointer.h"

#include <xcb/xcb.h>
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

bool XPointer::ok() const { return m_ok; }

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

bool XPointer::key(unsigned keysym) {
    const xcb_setup_t* setup = xcb_get_setup(m_c);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - first + 1;
    xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
        m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr);
    if (!map)
        return false;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    const int perKey = map->keysyms_per_keycode;
    int code = 0;
    for (int i = 0; i < count * perKey && code == 0; ++i)
        if (syms[i] == keysym)
            code = first + i / perKey;
    std::free(map);
    if (code == 0)
        return false;
    for (int type : {XCB_KEY_PRESS, XCB_KEY_RELEASE})
        xcb_test_fake_input(m_c, static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(code), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
    return true;
}

} // namespace corvane::test
