#pragma once
// Dialogs answered from a script, remembering what was asked.

#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/Tones.h"

#include <QList>
#include <QQueue>
#include <QStringList>

namespace corvane::test {

class ScriptedDialogs final : public Dialogs {
public:
    void message(const QString& text, const QString& title = {}) override { messages << title + u'|' + text; }
    bool askYesNo(const QString& text, const QString& title = {}) override {
        questions << title + u'|' + text;
        return yesNoAnswers.isEmpty() ? false : yesNoAnswers.dequeue();
    }
    QString input(const QString& prompt, const QString& title, const QString& initial = {}) override {
        inputs << title + u'|' + prompt + u'|' + initial;
        return inputAnswers.isEmpty() ? QString() : inputAnswers.dequeue();
    }
    // Answered at once from inputAnswers, or, while holdSecrets is set, left open until answerSecret().
    void askSecret(const QString& prompt, const QString& title,
                   std::function<void(const QString&)> answered) override {
        inputs << title + u'|' + prompt;
        if (holdSecrets)
            openSecret = std::move(answered);
        else
            answered(inputAnswers.isEmpty() ? QString() : inputAnswers.dequeue());
    }
    void answerSecret(const QString& text) {
        auto answered = std::move(openSecret);
        openSecret = {};
        answered(text);
    }

    QStringList messages;  // "title|text"
    QStringList questions; // "title|text"
    QStringList inputs;    // "title|prompt|initial"
    QQueue<bool> yesNoAnswers;
    QQueue<QString> inputAnswers; // an empty answer is a cancelled dialog
    bool holdSecrets = false;
    std::function<void(const QString&)> openSecret; // the secret input left open, if any
};

class RecordingLauncher final : public Launcher {
public:
    bool openInEditor(const QString& path) override {
        editedFiles << path;
        return editorAvailable;
    }
    bool startSystemInfo() override {
        ++systemInfoStarts;
        return systemInfoAvailable;
    }
    QStringList editedFiles;
    int systemInfoStarts = 0;
    bool editorAvailable = true;
    bool systemInfoAvailable = false;
};

// Remembers every tone asked for, in order: (frequency in Hz, duration in ms).
class RecordingTones final : public ToneOutput {
public:
    void play(int frequencyHz, int durationMs) override { tones.append({frequencyHz, durationMs}); }
    QList<QPair<int, int>> tones;
};

} // namespace corvane::test
