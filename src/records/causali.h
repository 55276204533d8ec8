#pragma once

// The means of payment ("causali") the entry forms offer in "Riscosso con"/"Pagato con"
// (Combo2..Combo4), kept in the sheet "Causali": a title in A1, then one name a row in
// column A from row 2 down to the first empty cell. Until the user saves a list of their
// own the program offers its defaults; the sheet is added only by the first save.

#include <QString>
#include <QStringList>

namespace store {
class Workbook;
}

namespace records {

inline const QString kCausaliSheet = QStringLiteral("Causali");

const QStringList &defaultCausali();

// The saved list, or the defaults when the sheet is missing.
QStringList readCausali(const store::Workbook &book);

// Replaces the list (blank names and repeats dropped), adding the sheet after the data
// sheets ("Studio" included) when it is missing; the active sheet stays the active one.
void writeCausali(store::Workbook &book, const QStringList &names);

} // namespace records
