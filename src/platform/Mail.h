#pragma once
// The mail layer the pager talks to: open a session, compose a message (subject, body), send it to one
// recipient without any dialog, close the session. Failures come back as a number and a description.

#include <QString>
#include <functional>

namespace corvane {

struct MailResult {
    int number = 0; // 0: success
    QString description;
    bool ok() const { return number == 0; }
};

struct MailMessage {
    QString subject;
    QString body;
    QString recipient;
};

class Mail {
public:
    // The logon cancelled by the user (the password dialog was dismissed).
    static constexpr int kCancelledLogon = 32003;
    // A send without an open session.
    static constexpr int kNoSession = 32010;
    // A missing or unusable recipient or sender address.
    static constexpr int kBadAddress = 32021;

    virtual ~Mail() = default;
    // Whether a session is open (signed on and not yet signed off).
    virtual bool sessionOpen() const = 0;
    // Signs on; may ask the operator for what it needs, without waiting for the answer. `done` gets the
    // result once: before signOn returns when nothing had to be asked, otherwise when the operator has
    // answered. The session is open when the result is ok.
    virtual void signOn(std::function<void(MailResult)> done) = 0;
    virtual void signOff() = 0;
    // Sends one message to its one recipient. `done` runs later on the caller's thread, never from within
    // send() itself; the event loop keeps running meanwhile.
    virtual void send(const MailMessage& message, std::function<void(MailResult)> done) = 0;
};

} // namespace corvane
