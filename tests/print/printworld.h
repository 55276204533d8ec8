#pragma once

// The print tests' records: the starter workbook with as many registry and ledger records as
// a test asks for, each with recognisable values.

#include "support/pdfprinters.h"
#include "store/model/workbook.h"
#include "support/formworld.h"
#include "support/starterbook.h"

namespace printworld {

// Ledger record `id` in row id + 1: the id, counterparty 100 + id % 7, invoice "F-<id>",
// due on 1 March 2009 plus id days, amount 100,5 + id and a note ("nota<id>") in column S.
inline void addLedgerRecord(store::Worksheet &ws, int id)
{
    testworld::LedgerRecord record;
    record.id = id;
    record.counterpartyId = 100 + id % 7;
    record.counterparty = QStringLiteral("Ditta %1").arg(id % 7);
    record.invoice = QStringLiteral("F-%1").arg(id);
    record.invoiceDate = QDate(2009, 1, 10);
    record.due = QDate(2009, 3, 1).addDays(id);
    record.amount = 100.5 + id;
    record.note = QStringLiteral("nota%1").arg(id);
    testworld::writeLedgerRecord(ws, id + 1, record);
}

// Registry counterparty `id` in row id + 1: columns A to Q, "Note<id>" in Q.
inline void addCounterparty(store::Worksheet &ws, int id)
{
    const int row = id + 1;
    using store::Variant;
    testworld::writeCounterparty(ws, row, id, id % 2 ? QStringLiteral("C") : QStringLiteral("F"),
                                 QStringLiteral("Nome%1").arg(id));
    ws.cells(row, 5).setValue(Variant::fromText(QStringLiteral("Via %1").arg(id)));
    ws.cells(row, 7).setValue(Variant::fromText(QStringLiteral("Città")));
    ws.cells(row, 9).setValue(Variant::fromText(QStringLiteral("0512345%1").arg(id)));
    ws.cells(row, 17).setValue(Variant::fromText(QStringLiteral("Note%1").arg(id)));
}

// Records 1.. of each data sheet of a starter workbook.
inline void addRecords(store::Workbook &book, int registryRecords, int incassiRecords,
                       int pagamentiRecords)
{
    for (int i = 1; i <= registryRecords; ++i)
        addCounterparty(book.sheet(QStringLiteral("Anagrafe")), i);
    for (int i = 1; i <= incassiRecords; ++i)
        addLedgerRecord(book.sheet(QStringLiteral("Incassi")), i);
    for (int i = 1; i <= pagamentiRecords; ++i)
        addLedgerRecord(book.sheet(QStringLiteral("Pagamenti")), i);
}

// A fresh workbook as the starter workbook with those records.
inline void shapeWorkbook(store::Workbook &book, int registryRecords, int incassiRecords,
                          int pagamentiRecords)
{
    testworld::shapeStarterBook(book);
    addRecords(book, registryRecords, incassiRecords, pagamentiRecords);
}

inline const QDateTime kNow = testworld::kFormsNow;

} // namespace printworld
