#pragma once
// Message boxes and the one-line input dialog. Tests answer them from a script.

#include <QString>
#include <functional>

class QWidget;

namespace corvane {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A message with only an OK button; returns when it is dismissed.
    virtual void message(const QString& text, const QString& title = {}) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& title = {}) = 0;
    // A one-line input; a cancelled dialog returns an empty text.
    virtual QString input(const QString& prompt, const QString& title, const QString& initial = {}) = 0;
    // A one-line input whose text is hidden while typed (passwords). It does not wait: `answered` gets
    // the text later (empty when cancelled) while message processing and the timers go on.
    virtual void askSecret(const QString& prompt, const QString& title,
                           std::function<void(const QString&)> answered) = 0;
};

class QtDialogs final : public Dialogs {
public:
    // Dialogs are centred on the parent, when there is one.
    void setParent(QWidget* parent) { m_parent = parent; }
    void message(const QString& text, const QString& title = {}) override;
    bool askYesNo(const QString& text, const QString& title = {}) override;
    QString input(const QString& prompt, const QString& title, const QString& initial = {}) override;
    void askSecret(const QString& prompt, const QString& title,
                   std::function<void(const QString&)> answered) override;

private:
    QWidget* m_parent = nullptr;
};

// For a program with nobody at a desk: nothing waits for an answer. Messages go to standard error; a
// question gets the answer that changes nothing (No), an input keeps its initial text, and a password
// prompt is refused at once. Each refusal is told on standard error.
class HeadlessDialogs final : public Dialogs {
public:
    void message(const QString& text, const QString& title = {}) override;
    bool askYesNo(const QString& text, const QString& title = {}) override;
    QString input(const QString& prompt, const QString& title, const QString& initial = {}) override;
    void askSecret(const QString& prompt, const QString& title,
                   std::function<void(const QString&)> answered) override;
};

} // namespace corvane
