#pragma once

// The record number of a ledger row: column A of "Incassi" and "Pagamenti".
// One reading serves the write of a new row, the search for a row and the counter, so the
// number a record is stored under is the number it is found by.

#include "store/model/value.h"

#include <QString>
#include <optional>

namespace records {

// A text read as a person typing it into a cell would have it read ("12", " 12 ", "1.000"
// is one thousand), kept only when it is a whole number of at least 1. Anything else,
// the empty text, "2 bis", "12,5", "0" and dates included, carries no record number.
std::optional<double> recordNumber(const QString &text);

// The record number a column A cell (or the counter cell) carries: a number (also one shown
// as a date), or a text that reads as one, under the same rule.
std::optional<double> recordNumber(const store::Variant &cell);

} // namespace records
