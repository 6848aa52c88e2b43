#include "support/XKeyboard.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <iterator>

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

XKeyboard::~XKeyboard() {
    xcb_disconnect(m_c);
}

void XKeyboard::fake(std::uint8_t type, std::uint32_t keysym) {
    // The unshifted symbol of a key first, so that a letter is typed without Shift.
    std::uint8_t code = 0;
    for (std::size_t column = 0; column < m_perKeycode && code == 0; ++column)
        for (std::size_t k = 0; k < m_map.size() / m_perKeycode && code == 0; ++k)
            if (m_map[k * m_perKeycode + column] == keysym)
                code = static_cast<std::uint8_t>(m_minKeycode + k);
    if (code == 0) {
        m_ok = false;
        return;
    }
    xcb_test_fake_input(m_c, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

void XKeyboard::type(std::uint32_t keysym, std::initializer_list<std::uint32_t> modifiers) {
    for (std::uint32_t m : modifiers)
        fake(XCB_KEY_PRESS, m);
    fake(XCB_KEY_PRESS, keysym);
    fake(XCB_KEY_RELEASE, keysym);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
        fake(XCB_KEY_RELEASE, *it);
}

} // namespace corvane::test
