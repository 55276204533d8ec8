#include "ledger.h"

#include "recordnumber.h"

#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <cmath>
#include <set>

namespace records {

using layout::kCounterColumn;
using layout::kCounterRow;
using layout::kFirstRecordRow;

Ledger Ledger::of(store::Workbook &book, const QString &sheetName)
{
    return Ledger(book.sheet(sheetName));
}

std::optional<Ledger> Ledger::find(store::Workbook &book, const QString &sheetName)
{
    store::Worksheet *sheet = book.findSheet(sheetName);
    return sheet ? std::optional<Ledger>(Ledger(*sheet)) : std::nullopt;
}

QString Ledger::name() const
{
    return m_sheet->name();
}

void Ledger::select() const
{
    m_sheet->select();
}

int Ledger::recordCount() const
{
    int row = kFirstRecordRow;
    while (row <= store::kMaxRows && !m_sheet->valueAt(row, ColNumber).isBlank())
        ++row;
    return row - kFirstRecordRow;
}

bool Ledger::hasRecords() const
{
    return layout::hasRecords(*m_sheet);
}

std::vector<LedgerRecord> Ledger::readAll() const
{
    const int count = recordCount();
    std::vector<LedgerRecord> all(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        LedgerRecord &record = all[size_t(i)];
        record.row = kFirstRecordRow + i;
        for (int column = 1; column <= LedgerRecord::kColumns; ++column)
            record.fields[size_t(column - 1)].value = m_sheet->valueAt(record.row, column);
    }
    return all;
}

LedgerRecord Ledger::read(int row) const
{
    LedgerRecord record;
    record.row = row;
    for (int column = 1; column <= LedgerRecord::kColumns; ++column)
        record[column].value = m_sheet->valueAt(row, column);
    return record;
}

Field Ledger::cell(int row, int column) const
{
    return Field{m_sheet->valueAt(row, column)};
}

QStringList Ledger::titles(int columns) const
{
    QStringList texts;
    texts.reserve(columns);
    for (int column = 1; column <= columns; ++column)
        texts.append(m_sheet->textAt(layout::kTitleRow, column));
    return texts;
}

std::optional<int> Ledger::findRow(double number) const
{
    for (int row = kFirstRecordRow; row <= store::kMaxRows; ++row) {
        const store::Variant id = m_sheet->valueAt(row, ColNumber);
        if (id.isBlank())
            break;   // the records end at the first empty cell of column A
        if (recordNumber(id) == number)
            return row;
    }
    return std::nullopt;
}

std::optional<LedgerRecord> Ledger::find(double number) const
{
    const std::optional<int> row = findRow(number);
    return row ? std::optional<LedgerRecord>(read(*row)) : std::nullopt;
}

store::Variant Ledger::counter() const
{
    return m_sheet->valueAt(kCounterRow, kCounterColumn);
}

bool Ledger::ensureCounter() const
{
    if (!counter().isBlank())
        return false;
    m_sheet->cells(kCounterRow, kCounterColumn).setValue(0.0);
    return true;
}

std::optional<double> Ledger::nextNumber() const
{
    const store::Variant last = counter();
    const std::optional<double> n = last.isBlank() ? std::optional<double>(0) : store::numberIn(last);
    return n ? std::optional<double>(*n + 1) : std::nullopt;
}

std::optional<int> Ledger::freeRow() const
{
    // Every row of the grid may be searched; the counter is wide enough for all of them.
    for (int row = 1; row <= store::kMaxRows; ++row) {
        if (m_sheet->valueAt(row, ColNumber).isBlank())
            return row;
    }
    return std::nullopt;
}

void Ledger::writeCell(int row, int column, const QString &text) const
{
    const store::Range cell = m_sheet->cells(row, column);
    if (isAmountColumn(column)) {
        const store::Variant amount = store::amountValue(text);
        cell.setValue(amount);
        if (amount.type == store::Variant::Type::Number)
            cell.setNumberFormat(store::kAmountFormat);
        return;
    }
    cell.setValue(text);
}

void Ledger::insertAt(int row, double number, const LedgerEntry &entry) const
{
    const std::optional<double> last = store::numberIn(counter());
    auto skipping = [](const auto &write) {
        try {
            write();
        } catch (const std::exception &) {
        }
    };
    skipping([&] { m_sheet->cells(row, ColNumber).setValue(number); });
    // The row becomes the new record's in every column: what another program left in a row
    // whose column A was empty does not survive beside it.
    for (int column = ColNumber + 1; column <= LedgerRecord::kColumns; ++column) {
        const std::optional<QDate> date = isDateColumn(column) ? store::parseDate(entry[column]) : std::nullopt;
        if (date)
            skipping([&] { m_sheet->cells(row, column).setValue(store::Variant::fromDate(store::dateToSerial(*date))); });
        else
            skipping([&] { writeCell(row, column, entry[column]); });
    }
    // The counter holds the highest number used: a number below it never takes it back,
    // so it is never handed out twice.
    skipping([&] { m_sheet->cells(kCounterRow, kCounterColumn).setValue(last && *last > number ? *last : number); });
}

std::optional<double> Ledger::proposedNumber() const
{
    std::set<double> used;
    for (int row = kFirstRecordRow; row <= store::kMaxRows; ++row) {
        const store::Variant id = m_sheet->valueAt(row, ColNumber);
        if (id.isBlank())
            break;
        if (const std::optional<double> n = recordNumber(id))
            used.insert(*n);
    }
    double next = nextNumber().value_or(1);
    if (next < 1 || next != std::floor(next))
        next = 1;
    while (used.count(next))
        ++next;
    return next;
}

Ledger::InsertResult Ledger::insert(double number, const LedgerEntry &entry) const
{
    if (findRow(number))
        return {Inserted::NumberTaken, 0};
    const std::optional<int> row = freeRow();
    if (!row)
        return {Inserted::SheetFull, 0};
    insertAt(*row, number, entry);
    return {Inserted::Done, *row};
}

void Ledger::change(int row, const LedgerEntry &entry) const
{
    for (int column = ColNumber + 1; column <= LedgerRecord::kColumns; ++column)
        writeCell(row, column, entry[column]);
}

void Ledger::remove(int row) const
{
    m_sheet->cells(row, ColNumber).entireRow().deleteRows();
}

void Ledger::sortByDueDate() const
{
    m_sheet->select();
    store::SortOptions options;
    options.keyColumn = ColDueDate;
    options.order = store::SortOrder::Ascending;
    options.header = store::SortHeader::No;   // A2:S65536 holds records only, never titles
    options.matchCase = false;
    const store::Range records = m_sheet->range(QStringLiteral("A2:S65536"));
    records.select();
    records.sort(options);
    m_sheet->range(QStringLiteral("E1")).select();
}

} // namespace records
