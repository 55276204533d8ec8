#include "registrysheet.h"

#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <cmath>

namespace registry {

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

RegistrySheet RegistrySheet::of(store::Workbook &book)
{
    return RegistrySheet(book.sheet(kSheetName));
}

store::Variant RegistrySheet::counter() const
{
    return m_sheet.valueAt(kCounterRow, kCounterColumn);
}

QString RegistrySheet::counterText() const
{
    return store::valueToText(counter());
}

bool RegistrySheet::counterEmpty() const
{
    return counter().isBlank();
}

void RegistrySheet::setCounter(double number) const
{
    m_sheet.cells(kCounterRow, kCounterColumn).setValue(number);
}

void RegistrySheet::setCounterTyped(const QString &typed) const
{
    m_sheet.cells(kCounterRow, kCounterColumn).setValue(typed);
}

std::vector<Entry> RegistrySheet::entries(const QString &typeLetter) const
{
    std::vector<Entry> list;
    for (int row = 2; row <= store::kMaxRows; ++row) {
        const QString name = store::valueToText(m_sheet.valueAt(row, ColName));
        if (name.isEmpty())
            break;
        if (store::valueToText(m_sheet.valueAt(row, ColType)) == typeLetter)
            list.push_back({name, row});
    }
    return list;
}

std::optional<int> RegistrySheet::freeRow() const
{
    // A plain int: the search must be able to reach the sheet's last row, 65,536.
    for (int row = 1; row <= store::kMaxRows; ++row) {
        if (m_sheet.valueAt(row, ColId).isBlank())
            return row;
    }
    return std::nullopt;
}

std::optional<int> RegistrySheet::findNumber(double number) const
{
    const int last = m_sheet.range(QStringLiteral("A2")).endDown().row();
    for (int row = 2; row <= last; ++row) {
        const std::optional<double> n = store::numberIn(m_sheet.valueAt(row, ColId));
        if (n && *n == number)
            return row;
    }
    return std::nullopt;
}

void RegistrySheet::deleteRow(int row) const
{
    m_sheet.cells(row, 1).entireRow().deleteRows();
}

store::Variant RegistrySheet::idAt(int row) const
{
    return m_sheet.valueAt(row, ColId);
}

bool RegistrySheet::carries(int row, const store::Variant &id) const
{
    const store::Variant now = idAt(row);
    if (now.isBlank() || id.isBlank())
        return now.isBlank() && id.isBlank();
    return now == id;
}

std::optional<QString> RegistrySheet::cellText(int row, int column) const
{
    const store::Variant v = m_sheet.valueAt(row, column);
    if (v.type == store::Variant::Type::Error)
        return std::nullopt;
    return store::valueToText(v);
}

void RegistrySheet::writeField(int row, int column, const QString &text) const
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

} // namespace registry
