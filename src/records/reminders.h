#pragma once

// The payment reminders sent, one row each on the sheet "Solleciti" (added after the last
// sheet the first time one is recorded): the date, the customer's number, the level, the
// invoices reminded and their total. Only the due views' reminder letters write it.

#include <QDate>
#include <QString>

#include <vector>

namespace store { class Workbook; }

namespace records {

inline const QString kRemindersSheet = QStringLiteral("Solleciti");

struct ReminderEntry {
    QDate date;
    QString counterpartyNumber;   // column A of "Anagrafe"
    QString level;                // "Primo sollecito", "Secondo sollecito", "Diffida"
    QString invoices;             // the invoice numbers, comma-separated
    double total = 0;
};

// The column titles of "Solleciti", from A.
const QStringList &reminderTitles();

// Every reminder recorded, in sheet order, from row 2 down to the first empty date; none
// when the sheet is missing. Rows whose date cannot be read are passed over.
std::vector<ReminderEntry> readReminders(store::Workbook &book);

// Records a reminder on the first row whose column A is empty, adding the sheet with its
// titles when missing. All or nothing: when a write fails, the cells already written are
// emptied again (and a sheet just added removed) before the StoreError goes on.
void appendReminder(store::Workbook &book, const ReminderEntry &entry);

} // namespace records
