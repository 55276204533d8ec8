#pragma once

// The three data sheets with their titles and as many records as a test asks for, scripted
// dialogs, a fixed clock and PDF printers.

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "print/printtargets.h"
#include "store/layout/sheets.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QTemporaryDir>

namespace printworld {

inline void writeTitles(store::Worksheet &ws, const store::layout::SheetLayout &layout)
{
    for (int c = 0; c < layout.columnCount(); ++c)
        ws.cells(1, c + 1).setValue(store::Variant::fromText(layout.titles[c]));
}

// Ledger record `id` in row id + 1: the id, the counterparty, an invoice, dates, an amount,
// the flags and a note ("nota <id>") in the last column S.
inline void addLedgerRecord(store::Worksheet &ws, int id)
{
    const int row = id + 1;
    using store::Variant;
    ws.cells(row, 1).setValue(double(id));
    ws.cells(row, 2).setValue(double(100 + id % 7));
    ws.cells(row, 3).setValue(Variant::fromText(QStringLiteral("Ditta %1").arg(id % 7)));
    ws.cells(row, 4).setValue(Variant::fromText(QStringLiteral("F-%1").arg(id)));
    ws.cells(row, 5).setValue(Variant::fromDate(store::dateToSerial(QDate(2009, 1, 10))));
    ws.cells(row, 6).setValue(Variant::fromDate(store::dateToSerial(QDate(2009, 3, 1).addDays(id))));
    ws.cells(row, 7).setValue(Variant::fromText(QStringLiteral("NO")));
    ws.cells(row, 8).setValue(100.5 + id);
    ws.cells(row, 11).setValue(Variant::fromText(QStringLiteral("NO")));
    ws.cells(row, 15).setValue(Variant::fromText(QStringLiteral("NO")));
    ws.cells(row, 19).setValue(Variant::fromText(QStringLiteral("nota%1").arg(id)));
}

// Registry counterparty `id` in row id + 1: columns A to Q, "Note<id>" in Q.
inline void addCounterparty(store::Worksheet &ws, int id)
{
    const int row = id + 1;
    using store::Variant;
    ws.cells(row, 1).setValue(double(id));
    ws.cells(row, 2).setValue(Variant::fromText(id % 2 ? QStringLiteral("C") : QStringLiteral("F")));
    ws.cells(row, 3).setValue(Variant::fromText(QStringLiteral("Nome%1").arg(id)));
    ws.cells(row, 5).setValue(Variant::fromText(QStringLiteral("Via %1").arg(id)));
    ws.cells(row, 7).setValue(Variant::fromText(QStringLiteral("Città")));
    ws.cells(row, 9).setValue(Variant::fromText(QStringLiteral("0512345%1").arg(id)));
    ws.cells(row, 17).setValue(Variant::fromText(QStringLiteral("Note%1").arg(id)));
}

// Fills a workbook holding "Anagrafe", "Incassi" and "Pagamenti" (in that order).
inline void shapeWorkbook(store::Workbook &book, int registryRecords, int incassiRecords,
                          int pagamentiRecords)
{
    book.sheet(1).setName(QStringLiteral("Anagrafe"));
    store::Worksheet &registry = book.sheet(1);
    store::Worksheet &incassi = book.appendSheet(QStringLiteral("Incassi"));
    store::Worksheet &pagamenti = book.appendSheet(QStringLiteral("Pagamenti"));
    writeTitles(registry, store::layout::anagrafe());
    writeTitles(incassi, store::layout::incassi());
    writeTitles(pagamenti, store::layout::pagamenti());
    for (int i = 1; i <= registryRecords; ++i)
        addCounterparty(registry, i);
    for (int i = 1; i <= incassiRecords; ++i)
        addLedgerRecord(incassi, i);
    for (int i = 1; i <= pagamentiRecords; ++i)
        addLedgerRecord(pagamenti, i);
}

inline const QDateTime kNow(QDate(2009, 5, 12), QTime(10, 30, 0));

} // namespace printworld
