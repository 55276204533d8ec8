#pragma once

// The workbook a form test starts from: the three data sheets as the program lays them out
// (records/layout.h), and records written straight into them, one column at a time, so
// that a test can say what the forms must find or must have written.

#include <QDate>
#include <QString>
#include <QStringList>
#include <memory>

namespace store { class Workbook; class Worksheet; struct Variant; }

namespace testworld {

inline const QString kPassword = QStringLiteral("Tevo1963");

// Renames the first sheet and appends the others so that the workbook holds "Anagrafe",
// "Incassi" and "Pagamenti" in that order, each with its title row; the registry's code
// columns are formatted as text.
void shapeStarterBook(store::Workbook &book);
// A workbook of just the named empty sheets, with the program's password, as a user's
// workbook may be before start-up shapes it.
std::unique_ptr<store::Workbook> bareBook(const QStringList &sheets);

// One ledger record, columns A to S of "Incassi" or "Pagamenti". The flags of G, K and O are
// "NO"; empty texts and invalid dates leave their cells alone.
struct LedgerRecord {
    double id = 0;
    double counterpartyId = 0;   // B
    QString counterparty;        // C
    QString invoice;             // D
    QDate invoiceDate;           // E
    QDate due;                   // F
    double amount = 0;           // H
    QString note;                // S
};
void writeLedgerRecord(store::Worksheet &sheet, int row, const LedgerRecord &record);

// A counterparty of "Anagrafe": the number (A), "C" or "F" (B) and the name (C).
void writeCounterparty(store::Worksheet &sheet, int row, double id, const QString &kind,
                       const QString &name);

// Column A from row 2 down to the first empty cell.
QList<double> idsOf(store::Worksheet &sheet);
// The texts of one row, columns 1 to `columns`, as the sheet shows them.
QStringList rowTexts(store::Worksheet &sheet, int row, int columns);
// The names of the sheets in workbook order.
QStringList sheetNames(store::Workbook &book);
// Every sheet's name and the text of each used cell ("row,column=text"), as a save would
// write them: two calls compare a workbook before and after.
QStringList workbookTexts(store::Workbook &book);

} // namespace testworld
