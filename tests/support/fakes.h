#pragma once

// What the tests put in place of the user and the wall clock: scripted dialogs that record
// every box and answer from a queue, and a clock that shows the time the test sets.

#include "controls/clock.h"
#include "controls/dialogs.h"

#include <optional>
#include <vector>

namespace controls {

class FakeDialogs : public Dialogs {
public:
    struct Shown {
        BoxKind kind;
        QString text;
        QString title;
        QString defaultAnswer;   // input boxes only
        bool isInput = false;
        Answer defaultButton = Answer::Ok;   // questions: the answer Enter gives
    };

    // Answers for the next questions, in order; a question with none queued answers No.
    void queueAnswer(Answer a) { m_answers.push_back(a); }
    // Answers for the next input boxes; nullopt answers Cancel. With none queued the
    // input box returns its default answer.
    void queueInput(std::optional<QString> text) { m_inputs.push_back(std::move(text)); }
    // Answers for the next save-file boxes; nullopt cancels. With none queued the box
    // returns the suggested path.
    void queueSavePath(std::optional<QString> path) { m_savePaths.push_back(std::move(path)); }
    // Answers for the next file choosers; with none queued the chooser is cancelled.
    void queueFiles(QStringList paths) { m_files.push_back(std::move(paths)); }

    Answer message(BoxKind kind, const QString &text, const QString &title,
                   Answer defaultButton = Answer::Yes) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultAnswer) override;
    std::optional<QString> savePdf(const QString &title, const QString &suggestedPath) override;
    QStringList chooseFiles(const QString &title, bool folder, const QString &filter) override;

    std::vector<Shown> shown;
    const Shown &last() const { return shown.back(); }
    void clear() { shown.clear(); }

private:
    std::vector<Answer> m_answers;
    std::vector<std::optional<QString>> m_inputs;
    std::vector<std::optional<QString>> m_savePaths;
    std::vector<QStringList> m_files;
};

class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime t) : m_now(std::move(t)) {}
    QDateTime now() const override { return m_now; }
    void set(QDateTime t) { m_now = std::move(t); }
private:
    QDateTime m_now;
};

} // namespace controls
