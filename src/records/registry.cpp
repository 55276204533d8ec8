#include "registry.h"

#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <cmath>
#include <set>

namespace records {

using layout::kCounterColumn;
using layout::kCounterRow;
using layout::kFirstRecordRow;

namespace {

QString digitsOf(const QString &text)
{
    QString digits;
    for (const QChar c : text)
        if (c.isDigit() && c.unicode() < 128)
            digits += c;
    return digits;
}

// The digits of a number code without its leading zeros, which a cell that turned the code
// into a number has lost.
QString significantDigits(const QString &text)
{
    QString digits = digitsOf(text);
    qsizetype zeros = 0;
    while (zeros < digits.size() && digits[zeros] == u'0')
        ++zeros;
    return digits.mid(zeros);
}

QString codeOf(const QString &text)
{
    QString code;
    for (const QChar c : text)
        if (c.isLetterOrNumber())
            code += c.toUpper();
    return code;
}

} // namespace

std::optional<double> progressiveIn(const store::Variant &value)
{
    if (value.type != store::Variant::Type::Number && value.type != store::Variant::Type::Text)
        return std::nullopt;
    const std::optional<double> n = store::numberIn(value);
    if (!n || *n < 1 || *n > 999999999.0 || *n != std::floor(*n))
        return std::nullopt;
    return n;
}

std::optional<double> typedProgressive(const QString &typed)
{
    return progressiveIn(store::parseTyped(typed.trimmed()));
}

Registry Registry::of(store::Workbook &book)
{
    return Registry(book.sheet(sheetName()));
}

void Registry::select() const
{
    m_sheet.select();
}

store::Variant Registry::counter() const
{
    return m_sheet.valueAt(kCounterRow, kCounterColumn);
}

QString Registry::counterText() const
{
    return store::valueToText(counter());
}

bool Registry::counterEmpty() const
{
    return counter().isBlank();
}

void Registry::setCounter(double number) const
{
    m_sheet.cells(kCounterRow, kCounterColumn).setValue(number);
}

void Registry::setCounterTyped(const QString &typed) const
{
    m_sheet.cells(kCounterRow, kCounterColumn).setValue(typed);
}

bool Registry::ensureCounter() const
{
    if (!counterEmpty())
        return false;
    setCounter(1);
    return true;
}

std::vector<Entry> Registry::entries(const QString &typeLetter) const
{
    std::vector<Entry> list;
    for (int row = kFirstRecordRow; row <= store::kMaxRows; ++row) {
        const QString name = store::valueToText(m_sheet.valueAt(row, ColName));
        if (name.isEmpty())
            break;
        if (store::valueToText(m_sheet.valueAt(row, ColType)) == typeLetter)
            list.push_back({name, row});
    }
    return list;
}

std::vector<Counterparty> Registry::list(const QString &typeLetter) const
{
    std::vector<Counterparty> records;
    for (const Entry &entry : entries(typeLetter))
        records.push_back(read(entry.row));
    return records;
}

Counterparty Registry::read(int row) const
{
    Counterparty record;
    record.row = row;
    for (int column = 1; column <= Counterparty::kColumns; ++column)
        record[column].value = m_sheet.valueAt(row, column);
    return record;
}

template <typename Match>
std::optional<Counterparty> Registry::findFirst(Match match) const
{
    for (int row = kFirstRecordRow; row <= store::kMaxRows; ++row) {
        if (m_sheet.valueAt(row, ColName).isBlank())
            break;
        if (match(row))
            return read(row);
    }
    return std::nullopt;
}

std::optional<Counterparty> Registry::findByVatNumber(const QString &vatNumber) const
{
    const QString wanted = significantDigits(vatNumber);
    if (wanted.isEmpty())
        return std::nullopt;
    return findFirst([&](int row) {
        if (significantDigits(store::valueToText(m_sheet.valueAt(row, ColVat))) == wanted)
            return true;
        // A company's codice fiscale is its number; a person's mixes letters in.
        const QString taxCode = codeOf(store::valueToText(m_sheet.valueAt(row, ColTaxCode)));
        return !taxCode.isEmpty() && digitsOf(taxCode) == taxCode && significantDigits(taxCode) == wanted;
    });
}

std::optional<Counterparty> Registry::findByTaxCode(const QString &taxCode) const
{
    const QString wanted = codeOf(taxCode);
    if (wanted.isEmpty())
        return std::nullopt;
    return findFirst([&](int row) {
        return codeOf(store::valueToText(m_sheet.valueAt(row, ColTaxCode))) == wanted;
    });
}

std::optional<int> Registry::freeRow() const
{
    // A plain int: the search must be able to reach the sheet's last row, 65,536.
    for (int row = 1; row <= store::kMaxRows; ++row) {
        if (m_sheet.valueAt(row, ColId).isBlank())
            return row;
    }
    return std::nullopt;
}

std::optional<int> Registry::findNumber(double number) const
{
    const int last = m_sheet.range(QStringLiteral("A2")).endDown().row();
    for (int row = kFirstRecordRow; row <= last; ++row) {
        const std::optional<double> n = store::numberIn(m_sheet.valueAt(row, ColId));
        if (n && *n == number)
            return row;
    }
    return std::nullopt;
}

std::optional<double> Registry::proposedNumber() const
{
    std::optional<double> next = progressiveIn(counter());
    if (!next)
        return std::nullopt;
    std::set<double> used;
    const int last = m_sheet.range(QStringLiteral("A2")).endDown().row();
    for (int row = kFirstRecordRow; row <= last; ++row)
        if (const std::optional<double> n = store::numberIn(m_sheet.valueAt(row, ColId)))
            used.insert(*n);
    while (used.count(*next))
        *next += 1;
    return next;
}

std::optional<Counterparty> Registry::find(double number) const
{
    const std::optional<int> row = findNumber(number);
    return row ? std::optional<Counterparty>(read(*row)) : std::nullopt;
}

void Registry::deleteRow(int row) const
{
    m_sheet.cells(row, 1).entireRow().deleteRows();
}

store::Variant Registry::idAt(int row) const
{
    return m_sheet.valueAt(row, ColId);
}

bool Registry::carries(int row, const store::Variant &id) const
{
    const store::Variant now = idAt(row);
    if (now.isBlank() || id.isBlank())
        return now.isBlank() && id.isBlank();
    return now == id;
}

std::optional<QString> Registry::cellText(int row, int column) const
{
    return Field{m_sheet.valueAt(row, column)}.shownText();
}

void Registry::writeField(int row, int column, const QString &text) const
{
    const store::Range cell = m_sheet.cells(row, column);
    if (column == ColPostCode && !text.isEmpty()) {
        // A postal code is a code, not a number: "00184" must keep its zeros, whatever
        // format the column has.
        if (cell.numberFormat() != QLatin1String("@"))
            cell.setNumberFormat(QStringLiteral("@"));
        cell.setValue(store::Variant::fromText(text));
        return;
    }
    cell.setValue(text);
}

void Registry::writeCounterparty(int row, const CounterpartyEntry &entry, bool withNumber) const
{
    using store::skipOnFailure;
    skipOnFailure([&] { writeField(row, ColType, entry[ColType]); });
    if (withNumber)
        skipOnFailure([&] { writeField(row, ColId, entry[ColId]); });
    for (int column = ColName; column <= ColNotes; ++column)
        skipOnFailure([&] { writeField(row, column, entry[column]); });
}

Registry::InsertResult Registry::insert(const CounterpartyEntry &entry) const
{
    using store::skipOnFailure;
    InsertResult result;
    skipOnFailure([&] { ensureCounter(); });
    // A counter that is not a whole number (a workbook edited elsewhere) would give the new
    // row a number nobody can look up, and never move on.
    bool counterWhole = true;
    skipOnFailure([&] { counterWhole = progressiveIn(counter()).has_value(); });
    if (!counterWhole) {
        result.outcome = Inserted::CounterNotWhole;
        return result;
    }
    // The counter's number, passed on while a counterparty carries it (after a reset, or a
    // counter set by hand below the numbers in use): each number names one counterparty.
    result.number = entry[ColId];
    skipOnFailure([&] {
        const std::optional<double> next = proposedNumber();
        result.number = next ? store::numberToText(*next) : counterText();
    });
    const std::optional<int> row = freeRow();
    if (!row) {
        result.outcome = Inserted::SheetFull;
        return result;
    }
    result.row = *row;
    CounterpartyEntry numbered = entry;
    numbered[ColId] = result.number;
    writeCounterparty(*row, numbered, true);
    skipOnFailure([&] {
        // A number that does not read as one leaves the counter as it is.
        const store::Variant id = store::parseTyped(result.number);
        if (id.type == store::Variant::Type::Number)
            setCounter(id.number + 1);
    });
    return result;
}

void Registry::change(int row, const CounterpartyEntry &entry) const
{
    writeCounterparty(row, entry, false);
}

} // namespace records
