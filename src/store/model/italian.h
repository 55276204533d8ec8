#pragma once

// Italian conventions, in one place, whatever the machine's locale: dates dd/MM/yyyy,
// times HH:mm:ss, decimal comma, no thousands separator when a value becomes text.

#include "store/model/value.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

namespace store {

// Serial dates (days since 30/12/1899; the fraction is the time of day).
double dateToSerial(const QDate &date, const QTime &time = QTime(0, 0));
QDateTime serialToDateTime(double serial);

// A number as the default value-to-text conversion gives it: up to 15 significant digits,
// decimal comma, no thousands separator ("12,5", "3", "-0,25", "1E+20").
QString numberToText(double value);

// A date serial as text: "12/05/2009", with " HH:mm:ss" only when it has a time of day.
QString dateToText(double serial);

// Any value as text by the same conventions: Empty "", Boolean "Vero"/"Falso",
// errors by their Italian names ("#N/D").
QString valueToText(const Variant &value);
QString errorText(CellError error);

// A day/month/year text: d/m/yy, dd/mm/yyyy and the like, with "/" or "-" between the parts.
// Two-digit years 00-29 are 2000-2029, 30-99 are 1930-1999. Refuses dates that do not exist.
std::optional<QDate> parseDate(const QString &text);

// What a person typing `text` into a general-format cell gets: a number ("12,5", "1.234,5",
// "-3"), a date ("12/05/2009", "12/05/09"), a boolean ("VERO", "FALSO"), otherwise the text
// itself ("SI", "0123" becomes 123, "" becomes Empty). A date comes back as Type::Date.
Variant parseTyped(const QString &text);

// The number at the start of a text, as a record-number lookup reads it: leading blanks
// skipped, then an optional sign and digits with an optional "." fraction; "" or no digits
// gives 0 ("12abc" is 12).
double leadingNumber(const QString &text);

// The number a record-number or counter cell carries: numbers (and date serials) as they
// are, texts only when they read as a number as typed ("12" stored as text); anything else
// carries none.
std::optional<double> numberIn(const Variant &value);

// A whole number from a typed answer such as a zoom percentage: blanks around are allowed,
// a decimal comma rounds half to even; nullopt when the text is not a number at all
// ("", "abc", "85%").
std::optional<int> toWholeNumber(const QString &text);

// Amounts of money. A typed amount reads as one number when it is digits with an optional
// Italian grouping and up to two decimals after a comma ("1.234,56", "1234,56", "850",
// ",5"), or digits with up to two decimals after a single full stop, as the numeric keypad
// and other programs write them ("1234.56", "99.9"); "1.234" is one thousand two hundred
// and thirty-four. Blanks around are allowed. nullopt for an empty text and for anything
// else ("1,2,3", "1.23.4", "12,345", "abc").
std::optional<double> parseAmount(const QString &text);
// An amount as money: grouped thousands, two decimals ("1.234,56", "850,00", "-0,50").
QString amountText(double value);
// A count with the thousands grouped: "6.140", "-1.000", "7".
QString countText(long long value);
// The number format of amount cells, so that a spreadsheet shows what the forms show.
inline const QString kAmountFormat = QStringLiteral("#,##0.00");
// The value an amount field stores: Empty for an empty text, the number when it reads as an
// amount, otherwise the text as it is (nothing typed is lost).
Variant amountValue(const QString &text);

// The clock line of the forms: "Ore..." + HH:mm:ss + separator + dd/MM/yyyy.
// Most forms use "   del   " (three blanks each side); the registry uses " del ".
enum class ClockStyle { Standard, Registry };
QString clockLine(const QDateTime &now, ClockStyle style = ClockStyle::Standard);

inline QString dateText(const QDate &d) { return d.toString(QStringLiteral("dd/MM/yyyy")); }
inline QString timeText(const QTime &t) { return t.toString(QStringLiteral("HH:mm:ss")); }

} // namespace store
