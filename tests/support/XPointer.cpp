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

bool XPointer::chord(const std::vector<unsigned>& keysyms) {
    const xcb_setup_t* setup = xcb_get_setup(m_c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
        m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr);
    if (!map)
        return false;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    const int perCode = map->keysyms_per_keycode;
    std::vector<std::uint8_t> codes;
    for (unsigned keysym : keysyms) {
        // The key that carries the symbol unshifted: what a hand presses, with Shift held where needed.
        std::uint8_t code = 0;
        for (int k = 0; k < count && !code; ++k)
            if (perCode > 0 && syms[k * perCode] == keysym)
                code = static_cast<std::uint8_t>(setup->min_keycode + k);
        if (!code)
            break;
        codes.push_back(code);
    }
    std::free(map);
    if (codes.size() != keysyms.size())
        return false;
    for (std::uint8_t code : codes)
        xcb_test_fake_input(m_c, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it)
        xcb_test_fake_input(m_c, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
    return true;
}

} // namespace corvane::test
