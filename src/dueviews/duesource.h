#pragma once

// What these views read of the workbook, through the records layer only: the records of
// both ledgers as DueRecord, the counterparties of the registry, and the reminders sent.

#include "duerules.h"

#include <vector>

namespace store { class Workbook; }
namespace controls { struct Session; enum class FormId; }

namespace dueviews {

// The records of "Incassi" then "Pagamenti", each in sheet order; a missing sheet has none.
std::vector<DueRecord> readDueRecords(store::Workbook &book);

// The main menu's line (overdueLine()), reading only the columns the rule needs.
QString overdueLineOf(store::Workbook &book, const QDate &today);

struct CounterpartyInfo {
    QString key;          // as counterpartyKey() gives it for its records
    QString number;       // column A as text
    QString name;
    bool customer = true;
    QStringList address;  // street, postcode and town, for a letter
};

// Customers and suppliers of "Anagrafe", in sheet order.
std::vector<CounterpartyInfo> readCounterparties(store::Workbook &book);

// Opens the record in its entry form for a change, through the form's own opener, which
// comes back to `returnTo` after "Modifica" or "Elimina". False when the record is gone.
bool openInEntryForm(controls::Session &session, const DueRecord &record, controls::FormId returnTo);

// The office's lines for a letterhead (none when the office is not filled in) and its IBAN.
struct Letterhead {
    QStringList lines;
    QString iban;
};
Letterhead letterheadOf(store::Workbook &book);

} // namespace dueviews
