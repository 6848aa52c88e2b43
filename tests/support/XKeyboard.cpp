#include "support/XKeyboard.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <vector>

namespace corvane::test {

XKeyboard::XKeyboard() : m_c(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(m_c))
        return;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_c, &xcb_test_id);
    if (!ext || !ext->present)
        return;
    const xcb_setup_t* setup = xcb_get_setup(m_c);
    m_minKeycode = setup->min_keycode;
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    auto* reply = xcb_get_keyboard_mapping_reply(
        m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, count), nullptr);
    if (!reply)
        return;
    m_reply = reply;
    m_perKeycode = reply->keysyms_per_keycode;
    m_map = xcb_get_keyboard_mapping_keysyms(reply);
    m_keycodes = m_perKeycode ? xcb_get_keyboard_mapping_keysyms_length(reply) / m_perKeycode : 0;
    m_ok = m_keycodes > 0;
}

XKeyboard::~XKeyboard() {
    std::free(m_reply);
    xcb_disconnect(m_c);
}

bool XKeyboard::ok() const { return m_ok; }

std::uint8_t XKeyboard::keycode(std::uint32_t keysym) const {
    // The unshifted symbol of a key first, so that a letter is typed without Shift.
    for (int column = 0; column < m_perKeycode; ++column)
        for (int k = 0; k < m_keycodes; ++k)
            if (m_map[k * m_perKeycode + column] == keysym)
                return static_cast<std::uint8_t>(m_minKeycode + k);
    return 0;
}

void XKeyboard::fake(std::uint8_t type, std::uint32_t keysym) {
    const std::uint8_t code = keycode(keysym);
    if (code == 0) {
        m_ok = false;
        return;
    }
    xcb_test_fake_input(m_c, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

void XKeyboard::press(std::uint32_t keysym) { fake(XCB_KEY_PRESS, keysym); }

void XKeyboard::release(std::uint32_t keysym) { fake(XCB_KEY_RELEASE, keysym); }

void XKeyboard::type(std::uint32_t keysym, std::initializer_list<std::uint32_t> modifiers) {
    for (std::uint32_t m : modifiers)
        press(m);
    press(keysym);
    release(keysym);
    const std::vector<std::uint32_t> held(modifiers);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        release(*it);
}

} // namespace corvane::test
