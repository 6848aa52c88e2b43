#include "windows/ChatLayout.h"

namespace corvane {

ChatLayout::ChatLayout()
    : window(7920, 4080), received(120, 360, 4920, 2880), receivedLabel(120, 90, 2400, 255),
      toSend(120, 3600, 4920, 315), toSendLabel(120, 3330, 2400, 255), monConnected(5280, 360, 2520, 2880),
      monConnectedLabel(5280, 90, 1860, 255), clearButton(7200, 30, 600, 300) {
    recordReference();
}

void ChatLayout::recordReference() {
    m_ref.window = window;
    m_ref.receivedHeight = received.height();
    m_ref.receivedWidth = received.width();
    m_ref.toSendTop = toSend.top();
    m_ref.toSendWidth = toSend.width();
    m_ref.monConnectedHeight = monConnected.height();
    m_ref.monConnectedLeft = monConnected.left();
    m_ref.clearLeft = clearButton.left();
    m_ref.toSendLabelTop = toSendLabel.top();
    m_ref.monConnectedLabelLeft = monConnectedLabel.left();
}

void ChatLayout::resize(const QSize& size) {
    window = size;
    const int dw = size.width() - m_ref.window.width();
    const int dh = size.height() - m_ref.window.height();
    const auto ifPositive = [](int value, auto apply) {
        if (value > 0)
            apply(value);
    };
    ifPositive(m_ref.receivedHeight + dh, [this](int v) { received.setHeight(v); });
    ifPositive(m_ref.receivedWidth + dw, [this](int v) { received.setWidth(v); });
    ifPositive(m_ref.toSendTop + dh, [this](int v) { toSend.moveTop(v); });
    ifPositive(m_ref.toSendWidth + dw, [this](int v) { toSend.setWidth(v); });
    ifPositive(m_ref.monConnectedHeight + dh, [this](int v) { monConnected.setHeight(v); });
    ifPositive(m_ref.monConnectedLeft + dw, [this](int v) { monConnected.moveLeft(v); });
    ifPositive(m_ref.clearLeft + dw, [this](int v) { clearButton.moveLeft(v); });
    ifPositive(m_ref.monConnectedLabelLeft + dw, [this](int v) { monConnectedLabel.moveLeft(v); });
    ifPositive(m_ref.toSendLabelTop + dh, [this](int v) { toSendLabel.moveTop(v); });
}

} // namespace corvane
