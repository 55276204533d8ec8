#pragma once

// What several forms build alike, in one place: the titles of their message boxes (the
// blanks are part of them), the buttons in the forms' style, the footer line of the ledger
// forms, the grey background of the start form and the menu, and the box that reports a
// workbook operation gone wrong.

#include <QString>

#include <exception>
#include <utility>

class QColor;
class QLabel;
class QTimer;
class QWidget;

namespace controls {

class Dialogs;
class XPButton;

// Message box titles: the program's name, with the blanks each box puts around it.
namespace titles {
inline const QString kTitle = QStringLiteral("Contavio");
inline const QString kTitleTrailing = kTitle + QLatin1Char(' ');
inline const QString kTitleLeading = QLatin1Char(' ') + kTitle;
inline const QString kTitleTwoLeading = QLatin1String("  ") + kTitle;
inline const QString kTitleBoth = QLatin1Char(' ') + kTitle + QLatin1Char(' ');
} // namespace titles

// A control of type W, made with `args` and the form as its parent, named `name`.
template <typename W, typename... Args>
W *makeNamed(QWidget *form, const char *name, Args &&...args)
{
    auto *control = new W(std::forward<Args>(args)..., form);
    control->setObjectName(QLatin1String(name));
    return control;
}

// A push button named `name` in the style every form uses, with its tooltip (none when
// empty). Its size is the form's to set.
XPButton *makeFormButton(QWidget *form, const char *name, const QString &caption, const QString &tip = {});

// The footer of the entry forms and the browser: the program's line (Label14), the clock
// (Label15, right-aligned) and the free label beside it (Label16), created in that order.
struct FooterLabels {
    QLabel *notice = nullptr;
    QLabel *clock = nullptr;
    QLabel *spare = nullptr;
};
FooterLabels makeFooterLabels(QWidget *form);

// The timer that refreshes a form's clock once a second (not started).
QTimer *makeClockTimer(QWidget *form, const char *name);

// Paints the whole form in `colour`.
void fillBackground(QWidget *form, const QColor &colour);

// Tells the user, in a critical box titled "Contavio", why an operation on the workbook
// failed: the engine's own words for its errors, a general sentence for anything else.
// Without dialogs nothing is shown.
void reportStoreError(Dialogs *dialogs, const std::exception &error);

} // namespace controls
