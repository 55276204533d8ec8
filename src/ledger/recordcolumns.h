#pragma once

// Which control of an entry form shows each column A..S of a ledger record ("Incassi" and
// "Pagamenti" alike; their titles are in records/layout.h). Insert, change, the
// loading of a record handed over by the browser, and the tests read this one table; the
// form hands what the controls hold to records::Ledger through it.

#include "records/ledger.h"

#include <array>

namespace ledger {

// How a column is shown: a line of text, a date typed as dd/MM/yyyy (insert stores a
// real date, change the text as typed), an editable list, a tick box that stores "SI" or
// "NO", or the multi-line note.
enum class Shown { Text, Date, Choice, Flag, Note };

struct RecordColumn {
    int column;            // records::Ledger column, 1 = A
    const char *control;   // the control's name on the form
    Shown shown;
};

namespace columns {
using L = records::Ledger;
using G = records::Group;
} // namespace columns

// In the order a record is loaded into the form: each flag comes after the amount beside
// it (H before G, L before K, P before O).
inline constexpr std::array<RecordColumn, 19> kRecordColumns{{
    {columns::L::ColNumber, "Text10", Shown::Text},
    {columns::L::ColCounterpartyNumber, "Text12", Shown::Text},
    {columns::L::ColCounterparty, "Combo1", Shown::Choice},
    {columns::L::ColInvoice, "Text1", Shown::Text},
    {columns::L::ColInvoiceDate, "Text2", Shown::Date},
    {columns::L::ColDueDate, "Text3", Shown::Date},
    {columns::L::amountColumn(columns::G::Collected), "Text4", Shown::Text},
    {columns::L::flagColumn(columns::G::Collected), "Check2", Shown::Flag},
    {columns::L::dateColumn(columns::G::Collected), "Text5", Shown::Date},
    {columns::L::meansColumn(columns::G::Collected), "Combo2", Shown::Choice},
    {columns::L::amountColumn(columns::G::Advance), "Text7", Shown::Text},
    {columns::L::flagColumn(columns::G::Advance), "Check4", Shown::Flag},
    {columns::L::dateColumn(columns::G::Advance), "Text6", Shown::Date},
    {columns::L::meansColumn(columns::G::Advance), "Combo3", Shown::Choice},
    {columns::L::amountColumn(columns::G::Settled), "Text9", Shown::Text},
    {columns::L::flagColumn(columns::G::Settled), "Check6", Shown::Flag},
    {columns::L::dateColumn(columns::G::Settled), "Text8", Shown::Date},
    {columns::L::meansColumn(columns::G::Settled), "Combo4", Shown::Choice},
    {columns::L::ColNote, "Text11", Shown::Note},
}};

// A date control is exactly a column the ledger stores as a date on insert.
static_assert([] {
    for (const RecordColumn &bound : kRecordColumns)
        if ((bound.shown == Shown::Date) != records::Ledger::isDateColumn(bound.column))
            return false;
    return true;
}());

} // namespace ledger
