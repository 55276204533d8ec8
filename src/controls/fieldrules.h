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

// Amount fields: digits, comma and backspace pass; everything else is swallowed. A full stop
// is swallowed too, and `replaceWithComma` is set: the glue then types a comma in its place.
int amountFilter(int code, bool *replaceWithComma);

// Whether a date field may be left with this text: empty, or a real day/month/year date
// with "/" as the 3rd and 6th character ("12/05/2009", "12/05/09"; not "5/12/2009",
// "12-05-2009", "ab/cd/efgh" or "31/02/2009") that a record can store, so from 1900 on
// (not "12/05/1009"). The insert of a ledger record applies this same rule.
bool dateAccepted(const QString &text);

// The exact texts of the date check's box.
inline const QString kDateMessage = QStringLiteral("Attenzione inserire una data in formato 00/00/0000");
inline const QString kDateTitle = QStringLiteral("Contavio ");

// Widget glue.
void attachDigitFilter(QLineEdit *field);
void attachAmountFilter(QLineEdit *field);
// Upper case on every change of the text (typed, pasted or set by the program), caret kept.
void attachUpperCase(QLineEdit *field);
void attachUpperCase(QPlainTextEdit *field);
// On losing the focus with a refused text: the box above, then the field is emptied and
// takes the focus back.
void attachDateCheck(QLineEdit *field, Dialogs &dialogs);
// Maximum length enforced while typing or pasting, and a hover hint (none when empty). Text
// the program puts into the field is kept whole, and the user may then shorten it but not
// lengthen it. Combines with attachUpperCase in either order.
void applyLimit(QLineEdit *field, int maxLength, const QString &hint = {});

} // namespace rules
} // namespace controls
