#include "store/model/workbook.h"

#include "store/model/italian.h"
#include "store/model/numformat.h"
#include "store/model/structure.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace store {

namespace {

bool onGrid(const RangeRect &r)
{
    return r.top >= 1 && r.left >= 1 && r.bottom <= kMaxRows && r.right <= kMaxColumns
        && r.top <= r.bottom && r.left <= r.right;
}

[[noreturn]] void offGrid(const Range &range)
{
    throw StoreError(ErrorKind::Limit, offGridMessage(), range.address());
}

// A range that reaches past the grid cannot take values or formats.
inline void requireOnGrid(const Range &range)
{
    if (!onGrid(range.rect())) [[unlikely]]
        offGrid(range);
}

// Advance widths of Arial in thousandths of an em, for the printable ASCII characters
// from the blank (0x20) to the tilde (0x7E).
constexpr uint16_t kAsciiWidths[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,   //  !"#$%&'()*+,-./
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,   // 0-9 :;<=>?
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,  // @A-O
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,   // P-Z [\]^_
    333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,   // `a-o
    556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584,        // p-z {|}~
};
constexpr double kDigitWidth = 556;

// The width of an ASCII text in digit widths of the default font.
double asciiWidth(const char *text, int length)
{
    int units = 0;
    for (int k = 0; k < length; ++k) {
        const auto u = uint8_t(text[k]);
        units += (u >= 0x20 && u <= 0x7E) ? kAsciiWidths[u - 0x20] : 600;
    }
    return units / kDigitWidth;
}

// The width of a text in digit widths of the default font.
double textWidth(const QString &text)
{
    int units = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u <= 0x7E) {
            units += kAsciiWidths[u - 0x20];
        } else if (u >= 0xC0 && u < 0x250) {
            // Accented Latin letters are as wide as their base letter.
            const QString base = QString(c).normalized(QString::NormalizationForm_D);
            const char16_t b = base.isEmpty() ? u'a' : base[0].unicode();
            units += (b >= 0x20 && b <= 0x7E) ? kAsciiWidths[b - 0x20] : 556;
        } else if (u == 0x20AC) {
            units += 556;   // €
        } else {
            units += 600;
        }
    }
    return units / kDigitWidth;
}

// Sort classes in ascending order; empty keys are always last.
enum KeyClass : uint8_t { KeyNumber, KeyText, KeyBoolean, KeyError, KeyEmpty };

// Text as a case-blind comparison sees it: lower case, accents dropped.
QString foldText(const QString &text)
{
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 128;
    if (ascii)
        return text.toLower();
    QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return out.toCaseFolded();
}

} // namespace

Range::Range(Worksheet *sheet, RangeRect rect)
    : m_sheet(sheet)
    , m_rect(rect)
{
}

Variant Range::value() const
{
    return m_sheet->valueAt(m_rect.top, m_rect.left);
}

QString Range::text() const
{
    return m_sheet->textAt(m_rect.top, m_rect.left);
}

namespace {

// Writes one value into one cell, keeping its format (a date gets a date format when the
// cell shows none). An Empty value clears the cell's value.
void storeValue(Worksheet &sheet, int row, int column, const Variant &value)
{
    Workbook &book = sheet.workbook();
    const uint16_t xf = sheet.cellXf(row, column);
    Cell cell;
    cell.xf = xf;
    switch (value.type) {
    case Variant::Type::Empty:
        if (sheet.cellAt(row, column))
            sheet.putCell(row, column, cell);
        return;
    case Variant::Type::Number:
        cell.kind = CellKind::Number;
        cell.number = value.number;
        break;
    case Variant::Type::Date:
        cell.kind = CellKind::Number;
        cell.number = book.date1904 ? value.number - 1462 : value.number;
        if (!book.styles.isDateFormat(xf))
            cell.xf = book.styles.xfWithFormat(xf, QStringLiteral("dd/mm/yyyy"));
        break;
    case Variant::Type::Text:
        cell.kind = CellKind::Text;
        cell.ref = book.strings.intern(value.text);
        break;
    case Variant::Type::Boolean:
        cell.kind = CellKind::Boolean;
        cell.number = value.number != 0 ? 1 : 0;
        break;
    case Variant::Type::Error:
        cell.kind = CellKind::Error;
        cell.number = double(uint8_t(value.error));
        break;
    }
    sheet.putCell(row, column, cell);
}

} // namespace

void Range::setValue(const QString &typed) const
{
    requireOnGrid(*this);
    if (typed.isEmpty()) {
        clearContents();
        return;
    }
    const Styles &styles = m_sheet->workbook().styles;
    std::optional<Variant> parsed;
    const Variant asText = Variant::fromText(typed);
    for (int r = m_rect.top; r <= m_rect.bottom; ++r) {
        for (int c = m_rect.left; c <= m_rect.right; ++c) {
            if (styles.isTextFormat(m_sheet->cellXf(r, c))) {
                storeValue(*m_sheet, r, c, asText);
            } else {
                if (!parsed)
                    parsed = parseTyped(typed);
                storeValue(*m_sheet, r, c, *parsed);
            }
        }
    }
}

void Range::setValue(const Variant &value) const
{
    requireOnGrid(*this);
    if (value.isEmpty()) {
        clearContents();
        return;
    }
    for (int r = m_rect.top; r <= m_rect.bottom; ++r)
        for (int c = m_rect.left; c <= m_rect.right; ++c)
            storeValue(*m_sheet, r, c, value);
}

Range Range::endDown() const
{
    const Worksheet &sheet = *m_sheet;
    const int column = m_rect.left;
    auto filled = [&](int row) {
        const Cell *cell = sheet.cellAt(row, column);
        return cell && cell->kind != CellKind::Empty;
    };
    int row = m_rect.top;
    if (row >= kMaxRows)
        return Range(m_sheet, {kMaxRows, column, kMaxRows, column});
    if (filled(row) && filled(row + 1)) {
        while (row < kMaxRows && filled(row + 1))
            ++row;
    } else {
        const int last = sheet.lastRow();
        ++row;
        while (row <= last && !filled(row))
            ++row;
        if (row > last)
            row = kMaxRows;
    }
    return Range(m_sheet, {row, column, row, column});
}

Range Range::offset(int rows, int columns) const
{
    const RangeRect moved{m_rect.top + rows, m_rect.left + columns, m_rect.bottom + rows, m_rect.right + columns};
    if (!onGrid(moved))
        throw StoreError(ErrorKind::Limit, offGridMessage(),
                         QStringLiteral("%1 spostato di %2 righe e %3 colonne").arg(address()).arg(rows).arg(columns));
    return Range(m_sheet, moved);
}

Range Range::cell(int row, int column) const
{
    const qint64 r = qint64(m_rect.top) + row - 1, c = qint64(m_rect.left) + column - 1;
    if (r < 1 || r > kMaxRows || c < 1 || c > kMaxColumns)
        throw StoreError(ErrorKind::Limit, offGridMessage(), QStringLiteral("riga %1, colonna %2").arg(r).arg(c));
    return Range(m_sheet, {int(r), int(c), int(r), int(c)});
}

Range Range::entireRow() const
{
    return Range(m_sheet, {m_rect.top, 1, m_rect.bottom, kMaxColumns});
}

Range Range::entireColumn() const
{
    return Range(m_sheet, {1, m_rect.left, kMaxRows, m_rect.right});
}

void Range::select() const
{
    m_sheet->select();
    m_sheet->view().selection = m_rect;
    m_sheet->view().activeCell = {m_rect.top, m_rect.left};
}

void Range::clearContents() const
{
    m_sheet->workbook().noteChange();
    auto &rows = m_sheet->rowsStorage();
    const int bottom = std::min<int>(m_rect.bottom, int(rows.size()));
    for (int r = m_rect.top; r <= bottom; ++r) {
        auto &cells = rows[r - 1].cells;
        const int right = std::min<int>(m_rect.right, int(cells.size()));
        for (int c = m_rect.left; c <= right; ++c) {
            Cell &cell = cells[c - 1];
            if (!(cell.flags & Cell::kWritten))
                continue;
            const uint16_t columnFormat = m_sheet->columnXf(c);
            const uint16_t plain = columnFormat ? columnFormat : Styles::kDefaultCellXf;
            const uint16_t xf = cell.xf;
            cell = Cell{};
            cell.xf = xf;
            // A blank that keeps a format of its own stays written; one that shows the
            // column's format goes back to being padding.
            if (xf != plain)
                cell.flags = Cell::kWritten;
        }
        while (!cells.empty() && !(cells.back().flags & Cell::kWritten))
            cells.pop_back();
    }
    while (!rows.empty() && rows.back().cells.empty())
        rows.pop_back();
}

void Range::deleteRows() const
{
    m_sheet->removeRows(m_rect.top, m_rect.bottom);
}

void Range::setNumberFormat(const QString &code) const
{
    requireOnGrid(*this);
    Workbook &book = m_sheet->workbook();
    std::map<uint16_t, uint16_t> converted;
    auto convert = [&](uint16_t xf) {
        auto it = converted.find(xf);
        if (it == converted.end())
            it = converted.emplace(xf, book.styles.xfWithFormat(xf, code)).first;
        return it->second;
    };
    auto &rows = m_sheet->rowsStorage();
    const bool wholeColumns = m_rect.top == 1 && m_rect.bottom == kMaxRows;
    if (wholeColumns) {
        for (int c = m_rect.left; c <= m_rect.right; ++c) {
            const uint16_t current = m_sheet->columnXf(c);
            m_sheet->setColumnXf(c, convert(current ? current : Styles::kDefaultCellXf));
        }
        for (auto &row : rows) {
            const int right = std::min<int>(m_rect.right, int(row.cells.size()));
            for (int c = m_rect.left; c <= right; ++c) {
                Cell &cell = row.cells[c - 1];
                if (cell.flags & Cell::kWritten)
                    cell.xf = convert(cell.xf);
            }
        }
        return;
    }
    for (int r = m_rect.top; r <= m_rect.bottom; ++r) {
        for (int c = m_rect.left; c <= m_rect.right; ++c) {
            const Cell *existing = m_sheet->cellAt(r, c);
            Cell cell = existing ? *existing : Cell{};
            cell.xf = convert(m_sheet->cellXf(r, c));
            m_sheet->putCell(r, c, cell);
        }
    }
}

QString Range::numberFormat() const
{
    return m_sheet->workbook().styles.formatCode(m_sheet->cellXf(m_rect.top, m_rect.left));
}

void Range::autoFitColumns() const
{
    const Workbook &book = m_sheet->workbook();
    const auto &rows = m_sheet->rowsStorage();
    const int bottom = std::min<int>(m_rect.bottom, int(rows.size()));
    const int left = m_rect.left, right = m_rect.right;
    std::vector<double> widest(size_t(right - left + 1), -1.0);
    // Texts are measured once per pooled string; rows are walked in storage order.
    std::vector<float> poolWidths(book.strings.size(), -1.0f);
    for (int r = m_rect.top; r <= bottom; ++r) {
        const auto &cells = rows[size_t(r - 1)].cells;
        const int end = std::min<int>(right, int(cells.size()));
        for (int c = left; c <= end; ++c) {
            const Cell &cell = cells[size_t(c - 1)];
            if (!(cell.flags & Cell::kWritten) || cell.kind == CellKind::Empty)
                continue;
            double width;
            if (cell.kind == CellKind::Text && !cell.isFormula() && cell.ref < poolWidths.size()
                && book.styles.numberFormat(cell.xf).isGeneral()) {
                float &known = poolWidths[cell.ref];
                if (known < 0)
                    known = float(textWidth(book.strings.at(cell.ref)));
                width = known;
            } else if (cell.kind == CellKind::Number && book.styles.numberFormat(cell.xf).isGeneral()) {
                char buffer[40];
                width = asciiWidth(buffer, generalNumberChars(cell.number, buffer));
            } else {
                width = textWidth(book.styles.numberFormat(cell.xf).format(m_sheet->valueAt(r, c)));
            }
            double &w = widest[size_t(c - left)];
            w = std::max(w, width);
        }
    }
    for (int c = left; c <= right; ++c) {
        const double w = widest[size_t(c - left)];
        if (w < 0)
            continue;   // nothing shown: the column keeps its width
        // A cell's padding is about five pixels, five sevenths of a digit.
        m_sheet->setColumnWidth(c, std::min(255.0, std::ceil((w + 5.0 / 7.0) * 256.0) / 256.0));
    }
}

namespace {

using Rows = std::vector<Worksheet::Row>;

// The key cell of a row (1-based), or null when it holds nothing.
inline const Cell *keyCellOf(const Rows &rows, int row, int key)
{
    const auto &cells = rows[row - 1].cells;
    if (size_t(key) > cells.size())
        return nullptr;
    const Cell &cell = cells[key - 1];
    return (cell.flags & Cell::kWritten) && cell.kind != CellKind::Empty ? &cell : nullptr;
}

// Cuts `r` to the rows a sort moves: not past the last stored row (the empty rows after it
// stay where they are), without the header row when there is one (a text key over a key that
// is not text, when the header is to be guessed). False when fewer than two rows are left.
bool sortedBlock(const Rows &rows, const SortOptions &options, RangeRect &r)
{
    r.bottom = std::min<int>(r.bottom, int(rows.size()));
    if (r.bottom - r.top + 1 < 2)
        return false;
    if (options.header == SortHeader::Yes) {
        ++r.top;
    } else if (options.header == SortHeader::Guess) {
        const Cell *top = keyCellOf(rows, r.top, options.keyColumn);
        const Cell *below = keyCellOf(rows, r.top + 1, options.keyColumn);
        if (top && top->kind == CellKind::Text && below && below->kind != CellKind::Text)
            ++r.top;
    }
    return r.bottom - r.top + 1 >= 2;
}

// The sort keys of a block: one compact item per row; texts keep their folded form aside.
struct SortKeys {
    struct Item {
        double number;
        uint32_t row;    // 0-based within the block
        uint32_t text;   // index in `texts`
        KeyClass cls;
    };
    std::vector<Item> items;
    std::vector<std::pair<QString, const QString *>> texts;   // folded, original
};

SortKeys readKeys(const Worksheet &sheet, const RangeRect &r, int key)
{
    static const QString none;
    const Rows &rows = sheet.rowsStorage();
    const int count = r.bottom - r.top + 1;
    SortKeys keys;
    keys.items.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        SortKeys::Item &item = keys.items[size_t(i)];
        item.row = uint32_t(i);
        item.number = 0;
        item.text = 0;
        item.cls = KeyEmpty;
        const Cell *cell = keyCellOf(rows, r.top + i, key);
        if (!cell)
            continue;
        switch (cell->kind) {
        case CellKind::Number: item.cls = KeyNumber; item.number = cell->number; break;
        case CellKind::Boolean: item.cls = KeyBoolean; item.number = cell->number; break;
        case CellKind::Error: item.cls = KeyError; break;
        case CellKind::Text: {
            item.cls = KeyText;
            const QString *original;
            if (cell->isFormula()) {
                const auto &formulas = sheet.formulas();
                original = cell->ref < formulas.size() ? &formulas[cell->ref].cachedText : &none;
            } else {
                original = &sheet.workbook().strings.at(cell->ref);
            }
            item.text = uint32_t(keys.texts.size());
            keys.texts.emplace_back(foldText(*original), original);
            break;
        }
        case CellKind::Empty: break;
        }
    }
    return keys;
}

// <0, 0, >0 as a before b in ascending order; both keys not empty.
inline int compareKeys(const SortKeys &keys, const SortKeys::Item &a, const SortKeys::Item &b, bool matchCase)
{
    if (a.cls != b.cls)
        return a.cls < b.cls ? -1 : 1;
    switch (a.cls) {
    case KeyNumber:
    case KeyBoolean:
        return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    case KeyText: {
        const auto &x = keys.texts[a.text], &y = keys.texts[b.text];
        const int folded = x.first.compare(y.first);
        if (folded != 0 || !matchCase)
            return folded;
        // Same letters: lower case sorts before upper case when case matters.
        for (qsizetype i = 0; i < std::min(x.second->size(), y.second->size()); ++i) {
            if ((*x.second)[i] != (*y.second)[i])
                return (*x.second)[i].isLower() ? -1 : 1;
        }
        return 0;
    }
    default:
        return 0;
    }
}

// order[i]: the row (0-based in the block) that goes to place i. The sort is stable and
// empty keys go last in either order.
std::vector<int> sortedOrder(SortKeys &keys, const SortOptions &options)
{
    const bool descending = options.order == SortOrder::Descending;
    const bool matchCase = options.matchCase;
    std::stable_sort(keys.items.begin(), keys.items.end(), [&keys, descending, matchCase](const SortKeys::Item &a, const SortKeys::Item &b) {
        if ((a.cls == KeyEmpty) != (b.cls == KeyEmpty))
            return b.cls == KeyEmpty;
        if (a.cls == KeyEmpty)
            return false;
        const int c = compareKeys(keys, a, b, matchCase);
        return descending ? c > 0 : c < 0;
    });
    std::vector<int> order(keys.items.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(keys.items[i].row);
    return order;
}

// Whole row vectors may move when no row of the block has cells outside the range's columns.
bool wholeRowsMove(const Rows &rows, const RangeRect &r)
{
    if (r.left != 1)
        return false;
    for (int row = r.top; row <= r.bottom; ++row) {
        const auto &cells = rows[size_t(row - 1)].cells;
        for (size_t c = size_t(r.right); c < cells.size(); ++c)
            if (cells[c].flags & Cell::kWritten)
                return false;
    }
    return true;
}

void moveWholeRows(Rows &rows, const RangeRect &r, const std::vector<int> &order)
{
    const size_t base = size_t(r.top - 1);
    std::vector<Worksheet::Row> moved(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        moved[i] = std::move(rows[base + size_t(order[i])]);
    for (size_t i = 0; i < order.size(); ++i)
        rows[base + i] = std::move(moved[i]);
}

// Only the range's columns move, cell by cell; the cells beside them stay.
void moveRangeCells(Rows &rows, const RangeRect &r, const std::vector<int> &order)
{
    const size_t base = size_t(r.top - 1);
    const int count = int(order.size());
    const int width = r.right - r.left + 1;
    std::vector<Cell> block(size_t(count) * size_t(width));
    for (int i = 0; i < count; ++i) {
        const auto &cells = rows[base + size_t(i)].cells;
        for (int c = 0; c < width; ++c) {
            const size_t column = size_t(r.left - 1 + c);
            if (column < cells.size())
                block[size_t(i) * width + c] = cells[column];
        }
    }
    for (int i = 0; i < count; ++i) {
        auto &cells = rows[base + size_t(i)].cells;
        const Cell *source = &block[size_t(order[size_t(i)]) * width];
        int lastWritten = -1;
        for (int c = 0; c < width; ++c)
            if (source[c].flags & Cell::kWritten)
                lastWritten = c;
        const size_t needed = size_t(r.left - 1 + lastWritten + 1);
        if (cells.size() < needed)
            cells.resize(needed);
        for (int c = 0; c < width; ++c) {
            const size_t column = size_t(r.left - 1 + c);
            if (column < cells.size())
                cells[column] = source[c];
        }
        while (!cells.empty() && !(cells.back().flags & Cell::kWritten))
            cells.pop_back();
    }
}

// Whatever sits on the sorted cells follows them, once the cells have moved.
void tellSorted(Worksheet &sheet, const RangeRect &r, const std::vector<int> &order)
{
    Workbook &owner = sheet.workbook();
    if (!owner.structureEdits)
        return;
    RowsSorted edit;
    edit.range = r;
    edit.newRowOf.resize(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        edit.newRowOf[size_t(order[i])] = r.top + int(i);
    owner.structureEdits->rowsSorted(sheet, edit);
}

} // namespace

void Range::sort(const SortOptions &options) const
{
    if (options.keyColumn < m_rect.left || options.keyColumn > m_rect.right)
        throw StoreError(ErrorKind::Invalid,
                         QStringLiteral("La colonna di ordinamento deve essere all'interno dell'intervallo."),
                         QStringLiteral("%1, chiave colonna %2").arg(address()).arg(options.keyColumn));
    auto &rows = m_sheet->rowsStorage();
    RangeRect r = m_rect;
    if (!sortedBlock(rows, options, r))
        return;
    SortKeys keys = readKeys(*m_sheet, r, options.keyColumn);
    const std::vector<int> order = sortedOrder(keys, options);
    // Rows already in order: nothing moves, and the workbook has not changed.
    if (std::is_sorted(order.begin(), order.end()))
        return;
    m_sheet->workbook().noteChange();
    if (wholeRowsMove(rows, r))
        moveWholeRows(rows, r, order);
    else
        moveRangeCells(rows, r, order);
    tellSorted(*m_sheet, r, order);
}

} // namespace store
