#pragma once

// The entry rules the forms attach to their text fields. Each rule is one small stateless
// function plus the glue that attaches it to a widget; the same rule is this one piece of
// code wherever it is attached.

#include <QString>

class QLineEdit;
class QPlainTextEdit;

namespace controls {

class Dialogs;

namespace rules {

// Key rules take a typed character code and return the code to keep; 0 swallows it.
// Backspace is 8. Keys without a character (Delete, arrows, Home, End) never reach them.

// Registry digit fields: the ten digits, the comma and backspace pass; all else is swallowed.
int digitFilter(int code);

// Amount fields: digits, comma, full stop and backspace pass; everything else is swallowed.
// Whether the text makes one amount is checked on leaving the field (attachAmountCheck).
int amountFilter(int code);

// Whether a date field may be left with this text: empty, or a real day/month/year date
// with "/" as the 3rd and 6th character ("12/05/2009", "12/05/09"; not "5/12/2009",
// "12-05-2009", "ab/cd/efgh" or "31/02/2009") that a record can store, so from 1900 on
// (not "12/05/1009"). The insert of a ledger record applies this same rule.
bool dateAccepted(const QString &text);

// The exact texts of the date check's box.
inline const QString kDateMessage = QStringLiteral("Attenzione inserire una data in formato 00/00/0000");
inline const QString kDateTitle = QStringLiteral("Contavio ");
// The box of the amount check, under the same title.
inline const QString kAmountMessage = QStringLiteral("Attenzione inserire un importo come 1.234,56");

// Widget glue. The key filters also drop what a paste or a drop brings in that typing could
// not (the text the program sets is kept as it is); Ctrl shortcuts (select all, copy, cut,
// paste, undo) work in every field. In an amount field the keypad's decimal key types ",".
void attachDigitFilter(QLineEdit *field);
void attachAmountFilter(QLineEdit *field);
// Upper case on every change of the text (typed, pasted or set by the program), caret kept.
void attachUpperCase(QLineEdit *field);
void attachUpperCase(QPlainTextEdit *field);
// On losing the focus with a refused text the user typed: the box above, then the field is
// emptied and takes the focus back. A text the program set (a stored record) and the user
// did not edit is not checked.
void attachDateCheck(QLineEdit *field, Dialogs &dialogs);
// On losing the focus with a typed text that is not one amount: the box above, the text
// stays, selected, and the field takes the focus back. An amount it reads is shown as money.
void attachAmountCheck(QLineEdit *field, Dialogs &dialogs);
// Shows an amount as money ("1.234,56"); a text that is no amount is shown as it is.
void showAmount(QLineEdit *field, const QString &text);
// Maximum length enforced while typing or pasting, and a hover hint (none when empty). Text
// the program puts into the field is kept whole, and the user may then shorten it but not
// lengthen it. Combines with attachUpperCase in either order.
void applyLimit(QLineEdit *field, int maxLength, const QString &hint = {});

} // namespace rules
} // namespace controls
