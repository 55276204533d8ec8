#include "ledger.h"

#include "recordnumber.h"

#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

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
    return !m_sheet->valueAt(kFirstRecordRow, ColNumber).isBlank();
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

void Ledger::insertAt(int row, double number, const LedgerEntry &entry) const
{
    const std::optional<double> last = store::numberIn(counter());
    auto write = [&](int column, const auto &value) {
        try {
            m_sheet->cells(row, column).setValue(value);
        } catch (const std::exception &) {
        }
    };
    write(ColNumber, number);
    for (int column = ColNumber + 1; column <= LedgerRecord::kColumns; ++column) {
        if (!isDateColumn(column))
            write(column, entry[column]);
        else if (const std::optional<QDate> date = store::parseDate(entry[column]))
            write(column, store::Variant::fromDate(store::dateToSerial(*date)));
    }
    // The counter holds the highest number used: a number below it never takes it back,
    // so it is never handed out twice.
    try {
        m_sheet->cells(kCounterRow, kCounterColumn).setValue(last && *last > number ? *last : number);
    } catch (const std::exception &) {
    }
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
        m_sheet->cells(row, column).setValue(entry[column]);
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
    options.header = store::SortHeader::Guess;
    options.matchCase = false;
    const store::Range records = m_sheet->range(QStringLiteral("A2:S65536"));
    records.select();
    records.sort(options);
    m_sheet->range(QStringLiteral("E1")).select();
}

} // namespace records
