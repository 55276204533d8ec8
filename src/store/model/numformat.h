#pragma once

// Number format codes ("General", "0.00", "#,##0", "dd/mm/yyyy", "0%", "@") rendered the way
// a spreadsheet displays a cell, with Italian separators: thousands "." and decimal ",".

#include "store/model/value.h"

#include <QString>
#include <memory>

namespace store {

// The text a cell holding `value` shows under the format `code`. Numbers and dates are both
// plain serial numbers to a format: a date code shows any number as a date.
QString displayText(const Variant &value, const QString &code);

// A number under the General format in a column of standard width: at most 11 characters,
// decimal comma, scientific notation for very large or very small numbers ("1,23457E+11").
QString generalNumberText(double value);
// The same text written as Latin-1 into `out` (room for 32 characters); returns its length.
int generalNumberChars(double value, char *out);

// A format code parsed once, for rendering many cells.
class NumberFormat {
public:
    explicit NumberFormat(const QString &code);
    ~NumberFormat();
    NumberFormat(NumberFormat &&) noexcept;
    NumberFormat &operator=(NumberFormat &&) noexcept;

    QString format(const Variant &value) const;
    bool isGeneral() const;

    // A shared parsed copy of `code`, kept for the life of the program.
    static const NumberFormat &cached(const QString &code);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace store
