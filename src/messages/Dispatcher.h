#pragma once
// Routes each processed message by its first character (case-sensitive) to the handler that the
// owning subsystem registered. A type without a handler is consumed without effect.

#include <QChar>
#include <QStringView>
#include <array>
#include <functional>

namespace corvane {

class Dispatcher {
public:
    using Handler = std::function<void(QStringView body)>;
    void setHandler(char type, Handler handler);
    // Dispatches one whole message (type character included); an empty message does nothing.
    void dispatch(QStringView message) const;
    // Whether a subsystem has registered a handler for the type.
    bool hasHandler(char type) const;

private:
    std::array<Handler, 128> m_handlers;
};

} // namespace corvane
