#pragma once

#include <QString>
#include <QStringList>
#include <optional>

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
    // The save-file box for a PDF: the path chosen, nullopt when the user cancels.
    virtual std::optional<QString> savePdf(const QString &title, const QString &suggestedPath) = 0;
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
    std::optional<QString> savePdf(const QString &title, const QString &suggestedPath) override;
    QStringList chooseFiles(const QString &title, bool folder, const QString &filter) override;
};

} // namespace controls
