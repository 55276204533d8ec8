#pragma once

// The three data sheets of Contavio.xls as the program lays them out: each sheet's name,
// the title of each of its columns in row 1 from column A, where records start and where
// the counter cell is. This is the one place those facts are written; start-up, the
// command-line tool's starter workbook, the print catalogue and the record classes
// (registry.h, ledger.h) read them from here. Which control of a form shows a column is
// the form's own business and is written beside the form.

#include <QString>
#include <QStringList>

#include <vector>

namespace store {
class Workbook;
class Worksheet;
}

namespace records::layout {

// The program's workbook: the file it keeps in its folder and the password that protects
// it (the program, the command-line tool and the recovery copies use the same).
inline const QString kWorkbookName = QStringLiteral("Contavio.xls");
inline const QString kWorkbookPassword = QStringLiteral("Tevo1963");

// Row 1 holds the titles; records run down from row 2 without gaps.
constexpr int kTitleRow = 1;
constexpr int kFirstRecordRow = 2;
// The counter cell IV1 of each data sheet: on "Anagrafe" the next progressive number, on
// "Incassi" and "Pagamenti" the last record number used.
constexpr int kCounterRow = 1;
constexpr int kCounterColumn = 256;

struct SheetLayout {
    QString name;              // the sheet's tab name
    QStringList titles;        // row 1, from column A: one title per column of a record
    QStringList textColumns;   // columns formatted as text ("@"), in the order they are set

    int columnCount() const { return int(titles.size()); }
    QString lastColumn() const;   // letter of the last titled column ("S")
};

// Customers and suppliers, columns A to Q.
const SheetLayout &anagrafe();
// Collections and payments, columns A to S; they differ in the counterparty and the
// "collected"/"paid" titles.
const SheetLayout &incassi();
const SheetLayout &pagamenti();

// The three in the order they stand in the workbook: Anagrafe, Incassi, Pagamenti.
const std::vector<const SheetLayout *> &dataSheets();
// nullptr for any other name.
const SheetLayout *findLayout(const QString &sheetName);

// Whether a data sheet holds any record: its first record cell, A2, is not empty.
bool hasRecords(const store::Worksheet &sheet);

// Row 2 selected and frozen under the titles, then the titles over row 1 from A.
void writeTitleRow(store::Worksheet &sheet, const SheetLayout &layout);

// How start-up shapes the data sheets, step by step.
// Adds a sheet of that name after the last one when the workbook has none.
void ensureSheet(store::Workbook &book, const QString &name);
// Makes the layout's sheet the active one, then writeTitleRow(); gives the sheet.
store::Worksheet &writeTitles(store::Workbook &book, const SheetLayout &layout);
// Each text column selected and formatted "@", in the layout's order; then A2 selected.
void formatTextColumns(store::Worksheet &sheet, const SheetLayout &layout);

} // namespace records::layout
