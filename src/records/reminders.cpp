#include "reminders.h"

#include "records/field.h"

#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QStringList>

namespace records {

namespace {

constexpr int kColumns = 5;   // A..E

// The first row from 2 down whose column A is empty.
int freeRow(store::Worksheet &sheet)
{
    int row = 2;
    while (!sheet.valueAt(row, 1).isBlank())
        ++row;
    return row;
}

} // namespace

const QStringList &reminderTitles()
{
    static const QStringList titles{QStringLiteral("Data"), QStringLiteral("ID Cliente"),
                                    QStringLiteral("Livello"), QStringLiteral("Fatture"),
                                    QStringLiteral("Totale")};
    return titles;
}

std::vector<ReminderEntry> readReminders(store::Workbook &book)
{
    std::vector<ReminderEntry> entries;
    store::Worksheet *sheet = book.findSheet(kRemindersSheet);
    if (!sheet)
        return entries;
    for (int row = 2; !sheet->valueAt(row, 1).isBlank(); ++row) {
        const Field date{sheet->valueAt(row, 1)};
        const std::optional<QDate> day = date.date().get();
        if (!day)
            continue;
        ReminderEntry entry;
        entry.date = *day;
        entry.counterpartyNumber = Field{sheet->valueAt(row, 2)}.text();
        entry.level = Field{sheet->valueAt(row, 3)}.text();
        entry.invoices = Field{sheet->valueAt(row, 4)}.text();
        entry.total = Field{sheet->valueAt(row, 5)}.amount().get().value_or(0);
        entries.push_back(entry);
    }
    return entries;
}

void appendReminder(store::Workbook &book, const ReminderEntry &entry)
{
    store::Worksheet *sheet = book.findSheet(kRemindersSheet);
    const bool added = !sheet;
    if (added) {
        sheet = &book.appendSheet(kRemindersSheet);
    }
    int row = 0;
    try {
        if (added) {
            for (int c = 0; c < kColumns; ++c)
                sheet->cells(1, c + 1).setValue(store::Variant::fromText(reminderTitles()[c]));
        }
        row = freeRow(*sheet);
        sheet->cells(row, 1).setValue(store::Variant::fromDate(store::dateToSerial(entry.date)));
        sheet->cells(row, 2).setValue(store::Variant::fromText(entry.counterpartyNumber));
        sheet->cells(row, 3).setValue(store::Variant::fromText(entry.level));
        sheet->cells(row, 4).setValue(store::Variant::fromText(entry.invoices));
        sheet->cells(row, 5).setValue(store::Variant::fromNumber(entry.total));
    } catch (const store::StoreError &) {
        if (added) {
            book.removeSheet(*sheet);
        } else if (row > 0) {
            for (int c = 1; c <= kColumns; ++c)
                store::skipOnFailure([&] { sheet->cells(row, c).clearContents(); });
        }
        throw;
    }
}

} // namespace records
