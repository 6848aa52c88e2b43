#include "messages/Dispatcher.h"

namespace corvane {

void Dispatcher::setHandler(char type, Handler handler) {
    m_handlers[static_cast<unsigned char>(type) & 0x7F] = std::move(handler);
}

bool Dispatcher::hasHandler(char type) const {
    return static_cast<unsigned char>(type) < 128 &&
           static_cast<bool>(m_handlers[static_cast<unsigned char>(type)]);
}

void Dispatcher::dispatch(QStringView message) const {
    if (message.isEmpty())
        return;
    const char16_t type = message[0].unicode();
    if (type >= 128)
        return;
    const Handler& handler = m_handlers[type];
    if (handler)
        handler(message.mid(1));
}

} // namespace corvane
