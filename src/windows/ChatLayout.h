#pragma once
// Where the chat window's controls sit, in twips, and how they follow the window when it is resized:
// the boxes stretch, the controls on the right and at the bottom move along. Each change is applied
// only when its result is positive; otherwise the control keeps what it had.

#include <QRect>
#include <QSize>

namespace corvane {

struct ChatLayout {
    // The design layout.
    ChatLayout();

    // Takes the current layout and window size as the reference that later resizes are measured from.
    void recordReference();
    // The window's client area has become `size` (twips).
    void resize(const QSize& size);

    QSize window;
    QRect received; // "Messages Received" box
    QRect receivedLabel;
    QRect toSend; // "Messages to Broadcast" line
    QRect toSendLabel;
    QRect monConnected; // "Conected Monitors" box
    QRect monConnectedLabel;
    QRect clearButton;

private:
    struct Reference {
        QSize window;
        int receivedHeight = 0, receivedWidth = 0;
        int toSendTop = 0, toSendWidth = 0;
        int monConnectedHeight = 0, monConnectedLeft = 0;
        int clearLeft = 0;
        int toSendLabelTop = 0;
        int monConnectedLabelLeft = 0;
    } m_ref;
};

} // namespace corvane
