#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QWidget;

namespace controls {

// The kinds of message box the program shows.
enum class BoxKind {
    Plain,        // OK button, no icon
    Information,  // OK button, information icon
    Critical,     // OK button, critical icon
    Question,     // Yes and No buttons, no icon
};

enum class Answer { Ok, Yes, No };

// Every modal dialog goes through this interface, so tests can answer them.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // An empty title shows the program's name ("Contavio"). `defaultButton` is the answer
    // Enter gives to a question: No for every question whose Yes loses data.
    virtual Answer message(BoxKind kind, const QString &text, const QString &title,
                           Answer defaultButton = Answer::Yes) = 0;
    // The input box: nullopt when the user cancels.
    virtual std::optional<QString> input(const QString &prompt, const QString &title,
                                         const QString &defaultAnswer) = 0;
    // The file chooser: the files picked (several at once), or with `folder` the one folder
    // picked; empty when the user cancels. `filter` names the file kinds offered.
    virtual QStringList chooseFiles(const QString &title, bool folder, const QString &filter) = 0;
};

// Real boxes: QMessageBox and QInputDialog, parented to the active window.
class QtDialogs : public Dialogs {
public:
    Answer message(BoxKind kind, const QString &text, const QString &title,
                   Answer defaultButton = Answer::Yes) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultAnswer) override;
    QStringList chooseFiles(const QString &title, bool folder, const QString &filter) override;
};

// Scripted dialogs for tests: records every box, answers from a queue.
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
    // Answers for the next file choosers; with none queued the chooser is cancelled.
    void queueFiles(QStringList paths) { m_files.push_back(std::move(paths)); }

    Answer message(BoxKind kind, const QString &text, const QString &title,
                   Answer defaultButton = Answer::Yes) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultAnswer) override;
    QStringList chooseFiles(const QString &title, bool folder, const QString &filter) override;

    std::vector<Shown> shown;
    const Shown &last() const { return shown.back(); }
    void clear() { shown.clear(); }

private:
    std::vector<Answer> m_answers;
    std::vector<std::optional<QString>> m_inputs;
    std::vector<QStringList> m_files;
};

} // namespace controls
