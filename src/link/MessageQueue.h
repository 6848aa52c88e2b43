#pragma once
// The ring between the producers (sockets, log playback) and message processing. Everything runs on
// the UI thread, so there is no locking. The ring never overwrites a message that is still pending: a
// store into a full ring is refused and the producer holds back until the ring has room (TCP keeps its
// data, UDP leaves the datagrams waiting in the socket).

#include <QString>
#include <array>
#include <cstdint>
#include <functional>

namespace corvane {

class MessageQueue {
public:
    static constexpr int kCapacity = 1000;

    // Stores one message at WriteIndex; false (and nothing changes) when the ring is full.
    bool store(QString message);
    // Takes the message at ReadIndex. Call only while pendingCount() > 0.
    QString take();

    bool isFull() const { return m_pending >= kCapacity; }
    bool isEmpty() const { return m_pending == 0; }
    std::int16_t writeIndex() const { return m_write; }
    std::int16_t readIndex() const { return m_read; }
    std::int32_t pendingCount() const { return m_pending; }

    // A producer that found the ring full asks to be told once when it has room again (half empty).
    // The call comes from take(), so the producer may store again at once. Registering again replaces
    // the earlier request.
    void notifyWhenRoom(std::function<void()> callback) { m_roomWaiter = std::move(callback); }
    void cancelNotify() { m_roomWaiter = {}; }

private:
    // One slot more than is ever used, as the ring has always been laid out.
    std::array<QString, kCapacity + 1> m_slots;
    std::int16_t m_write = 0;
    std::int16_t m_read = 0;
    std::int32_t m_pending = 0;
    std::function<void()> m_roomWaiter;
};

} // namespace corvane
