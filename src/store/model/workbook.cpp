#include "store/model/workbook.h"

#include "store/model/italian.h"
#include "store/model/numformat.h"
#include "store/model/structure.h"
// The carried records' definition, for the deep copy only (a plain value copy, inline).
#include "store/model/carried.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace store {

namespace {

void checkCell(int row, int column)
{
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        throw StoreError(ErrorKind::Limit, offGridMessage(),
                         QStringLiteral("riga %1, colonna %2").arg(row).arg(column));
}

enum class RefStatus { Ok, Malformed, OffGrid };

// One side of a reference: "$A$1", "A1", "$1", "J", with the letters and digits it holds.
struct RefPart {
    int column = 0;   // 0 when absent
    qint64 row = 0;   // 0 when absent
    bool hasColumn = false, hasRow = false;
    bool offGrid = false;
};

std::optional<RefPart> parsePart(QStringView text)
{
    RefPart part;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && text[i] == u'$')
        ++i;
    qsizetype letters = 0;
    int column = 0;
    while (i < n && text[i].isLetter() && text[i].unicode() < 128) {
        column = column * 26 + (text[i].toUpper().unicode() - 'A' + 1);
        ++letters;
        ++i;
        if (letters > 3)
            return std::nullopt;
    }
    if (letters > 0 && i < n && text[i] == u'$')
        ++i;
    else if (letters == 0 && i > 0 && i < n && text[i] == u'$')
        return std::nullopt;
    qsizetype digits = 0;
    qint64 row = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        if (digits < 9)
            row = row * 10 + (text[i].unicode() - '0');
        else
            part.offGrid = true;
        ++digits;
        ++i;
    }
    if (i != n || (letters == 0 && digits == 0))
        return std::nullopt;
    if (letters > 0 && i > 0 && text[i - 1] == u'$' && digits == 0)
        return std::nullopt;   // "$A$" without a row
    part.column = letters > 0 ? column : 0;
    part.row = digits > 0 ? row : 0;
    part.hasColumn = letters > 0;
    part.hasRow = digits > 0;
    if (letters > 0 && column > kMaxColumns)
        part.offGrid = true;
    if (digits > 0 && (row < 1 || row > kMaxRows))
        part.offGrid = true;
    return part;
}

RefStatus parseRef(const QString &raw, RangeRect &rect)
{
    const QString ref = raw.trimmed();
    if (ref.isEmpty())
        return RefStatus::Malformed;
    const qsizetype colon = ref.indexOf(u':');
    const QStringView view(ref);
    const auto first = parsePart(colon < 0 ? view : view.left(colon));
    if (!first)
        return RefStatus::Malformed;
    if (colon < 0) {
        if (!first->hasColumn || !first->hasRow)
            return RefStatus::Malformed;   // "2" or "J" alone
        if (first->offGrid)
            return RefStatus::OffGrid;
        rect = {int(first->row), first->column, int(first->row), first->column};
        return RefStatus::Ok;
    }
    const auto second = parsePart(view.mid(colon + 1));
    if (!second)
        return RefStatus::Malformed;
    const bool firstCell = first->hasColumn && first->hasRow, secondCell = second->hasColumn && second->hasRow;
    const bool wholeRows = !first->hasColumn && !second->hasColumn;
    const bool wholeColumns = !first->hasRow && !second->hasRow;
    if (!(firstCell && secondCell) && !wholeRows && !wholeColumns)
        return RefStatus::Malformed;
    if (first->offGrid || second->offGrid)
        return RefStatus::OffGrid;
    if (wholeRows) {
        rect = {int(std::min(first->row, second->row)), 1, int(std::max(first->row, second->row)), kMaxColumns};
    } else if (wholeColumns) {
        rect = {1, std::min(first->column, second->column), kMaxRows, std::max(first->column, second->column)};
    } else {
        rect = {int(std::min(first->row, second->row)), std::min(first->column, second->column),
                int(std::max(first->row, second->row)), std::max(first->column, second->column)};
    }
    return RefStatus::Ok;
}

bool validSheetName(const QString &name)
{
    if (name.isEmpty() || name.size() > 31)
        return false;
    if (name.startsWith(u'\'') || name.endsWith(u'\''))
        return false;
    for (QChar c : name) {
        if (c == u':' || c == u'\\' || c == u'/' || c == u'?' || c == u'*' || c == u'[' || c == u']')
            return false;
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Addresses

QString columnLetters(int column)
{
    if (column < 1)
        return QString();
    QString letters;
    while (column > 0) {
        const int digit = (column - 1) % 26;
        letters.prepend(QChar(u'A' + digit));
        column = (column - 1) / 26;
    }
    return letters;
}

std::optional<RangeRect> parseReference(const QString &ref)
{
    RangeRect rect;
    if (parseRef(ref, rect) != RefStatus::Ok)
        return std::nullopt;
    return rect;
}

QString absoluteAddress(const RangeRect &r)
{
    const bool allRows = r.top == 1 && r.bottom == kMaxRows;
    const bool allColumns = r.left == 1 && r.right == kMaxColumns;
    if (allColumns)
        return QStringLiteral("$%1:$%2").arg(r.top).arg(r.bottom);
    if (allRows)
        return QStringLiteral("$%1:$%2").arg(columnLetters(r.left), columnLetters(r.right));
    const QString first = QStringLiteral("$%1$%2").arg(columnLetters(r.left)).arg(r.top);
    if (r.top == r.bottom && r.left == r.right)
        return first;
    return first + QStringLiteral(":$%1$%2").arg(columnLetters(r.right)).arg(r.bottom);
}

// ---------------------------------------------------------------------------------------
// Strings and page set-up

uint32_t StringPool::intern(QString &&text)
{
    const auto hash = uint32_t(qHash(QStringView(text), 0));
    if (m_slots.empty() || (m_strings.size() + 1) * 2 > m_slots.size())
        rehash(std::max<size_t>(64, m_slots.size() * 2));
    const size_t mask = m_slots.size() - 1;
    size_t slot = hash & mask;
    while (const uint32_t taken = m_slots[slot]) {
        if (m_hashes[taken - 1] == hash && m_strings[taken - 1] == text)
            return taken - 1;
        slot = (slot + 1) & mask;
    }
    const auto index = uint32_t(m_strings.size());
    m_strings.push_back(std::move(text));
    m_hashes.push_back(hash);
    m_slots[slot] = index + 1;
    return index;
}

void StringPool::reserve(size_t count)
{
    m_strings.reserve(count);
    m_hashes.reserve(count);
    size_t wanted = 64;
    while (wanted < count * 2)
        wanted *= 2;
    if (wanted > m_slots.size())
        rehash(wanted);
}

void StringPool::rehash(size_t slotCount)
{
    m_slots.assign(slotCount, 0);
    const size_t mask = slotCount - 1;
    for (size_t i = 0; i < m_strings.size(); ++i) {
        size_t slot = m_hashes[i] & mask;
        while (m_slots[slot])
            slot = (slot + 1) & mask;
        m_slots[slot] = uint32_t(i) + 1;
    }
}

void PageSetup::setZoom(int percent)
{
    if (percent < 10 || percent > 400)
        throw StoreError(ErrorKind::Invalid,
                         QStringLiteral("La percentuale di zoom deve essere compresa tra 10 e 400."),
                         QStringLiteral("zoom %1").arg(percent));
    zoom = percent;
}

// ---------------------------------------------------------------------------------------
// Worksheet

Worksheet::Worksheet(Workbook &book, QString name)
    : m_book(&book)
    , m_name(std::move(name))
{
}

Worksheet::Worksheet(Workbook &book, const Worksheet &other)
    : m_book(&book)
    , m_name(other.m_name)
    , m_rows(other.m_rows)
    , m_formulas(other.m_formulas)
    , m_columnWidths(other.m_columnWidths)
    , m_columnXfs(other.m_columnXfs)
    , m_rowHeights(other.m_rowHeights)
    , m_rowFormats(other.m_rowFormats)
    , m_defaultColumnWidth(other.m_defaultColumnWidth)
    , m_defaultRowHeight(other.m_defaultRowHeight)
    , m_view(other.m_view)
    , m_pageSetup(other.m_pageSetup)
{
    if (other.extras)
        extras = std::make_shared<BiffExtras>(*other.extras);
}

Worksheet::~Worksheet() = default;

void Worksheet::setName(const QString &name)
{
    if (!validSheetName(name))
        throw StoreError(ErrorKind::Invalid,
                         QStringLiteral("Il nome del foglio non è valido: da 1 a 31 caratteri, senza : \\ / ? * [ ]."),
                         name);
    Worksheet *other = m_book->findSheet(name);
    if (other && other != this)
        throw StoreError(ErrorKind::Invalid,
                         QStringLiteral("Esiste già un foglio con questo nome."), name);
    if (m_name != name)
        m_book->noteChange();
    m_name = name;
}

void Worksheet::restoreName(const QString &name)
{
    if (name.isEmpty() || name.size() > 255)
        throw StoreError(ErrorKind::Invalid, QStringLiteral("Il nome del foglio non è valido."), name);
    Worksheet *other = m_book->findSheet(name);
    if (other && other != this)
        throw StoreError(ErrorKind::Invalid, QStringLiteral("Esiste già un foglio con questo nome."), name);
    m_name = name;
}

Range Worksheet::range(const QString &ref)
{
    RangeRect rect;
    switch (parseRef(ref, rect)) {
    case RefStatus::Ok:
        return Range(this, rect);
    case RefStatus::OffGrid:
        throw StoreError(ErrorKind::Limit, offGridMessage(), ref);
    case RefStatus::Malformed:
        break;
    }
    throw StoreError(ErrorKind::Invalid, QStringLiteral("Il riferimento di cella non è valido."), ref);
}

Range Worksheet::cells(int row, int column)
{
    checkCell(row, column);
    return Range(this, {row, column, row, column});
}

Range Worksheet::usedRange() const
{
    int top = 0, bottom = 0, left = 0, right = 0;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const auto &cells = m_rows[r].cells;
        int first = 0, last = 0;
        for (size_t c = 0; c < cells.size(); ++c) {
            if (cells[c].flags & Cell::kWritten) {
                if (!first)
                    first = int(c) + 1;
                last = int(c) + 1;
            }
        }
        if (!first)
            continue;
        if (!top)
            top = int(r) + 1;
        bottom = int(r) + 1;
        left = left ? std::min(left, first) : first;
        right = std::max(right, last);
    }
    auto *self = const_cast<Worksheet *>(this);
    if (!top)
        return Range(self, {1, 1, 1, 1});
    return Range(self, {top, left, bottom, right});
}

Range Worksheet::selection()
{
    return Range(this, m_view.selection);
}

void Worksheet::select()
{
    m_book->setActiveSheet(*this);
}

bool Worksheet::isActive() const
{
    return &const_cast<Workbook *>(m_book)->activeSheet() == this;
}

void Worksheet::freezePanes()
{
    m_view.frozen = true;
    m_view.frozenAt = {m_view.selection.top, m_view.selection.left};
}

double Worksheet::columnWidth(int column) const
{
    if (column >= 1 && size_t(column) < m_columnWidths.size() && m_columnWidths[column] > 0)
        return m_columnWidths[column];
    return m_defaultColumnWidth;
}

void Worksheet::setColumnWidth(int column, double characters)
{
    checkCell(1, column);
    if (!(characters >= 0 && characters <= 255))
        throw StoreError(ErrorKind::Invalid, QStringLiteral("La larghezza della colonna deve essere tra 0 e 255."),
                         QString::number(characters));
    if (m_columnWidths.size() <= size_t(column))
        m_columnWidths.resize(kMaxColumns + 1, 0);
    m_columnWidths[column] = characters;
}

double Worksheet::rowHeight(int row) const
{
    if (row >= 1 && size_t(row) <= m_rowHeights.size() && m_rowHeights[row - 1] > 0)
        return m_rowHeights[row - 1];
    return m_defaultRowHeight;
}

void Worksheet::setRowHeight(int row, double points)
{
    checkCell(row, 1);
    if (!(points >= 0 && points <= 409))
        throw StoreError(ErrorKind::Invalid, QStringLiteral("L'altezza della riga deve essere tra 0 e 409 punti."),
                         QString::number(points));
    if (m_rowHeights.size() < size_t(row))
        m_rowHeights.resize(row, 0);
    m_rowHeights[row - 1] = float(points);
}

void Worksheet::restoreRowHeight(int row, double points)
{
    if (row < 1 || row > kMaxRows || !(points >= 0))
        return;
    if (m_rowHeights.size() < size_t(row))
        m_rowHeights.resize(row, 0);
    m_rowHeights[row - 1] = float(std::min(points, kMaxStoredRowHeight));
}

RowFormat Worksheet::rowFormat(int row) const
{
    if (row >= 1 && size_t(row) <= m_rowFormats.size())
        return m_rowFormats[size_t(row - 1)];
    return RowFormat();
}

void Worksheet::setRowFormat(int row, const RowFormat &format)
{
    checkCell(row, 1);
    if (m_rowFormats.size() < size_t(row)) {
        if (format == RowFormat())
            return;
        m_rowFormats.resize(size_t(row));
    }
    RowFormat &target = m_rowFormats[size_t(row - 1)];
    target = format;
    target.outlineLevel = std::min<uint8_t>(format.outlineLevel, 7);
}

uint16_t Worksheet::columnXf(int column) const
{
    if (column >= 1 && size_t(column) < m_columnXfs.size())
        return m_columnXfs[column];
    return 0;
}

void Worksheet::setColumnXf(int column, uint16_t xf)
{
    checkCell(1, column);
    if (m_columnXfs.size() <= size_t(column))
        m_columnXfs.resize(kMaxColumns + 1, 0);
    m_columnXfs[column] = xf;
}

const Cell *Worksheet::cellAt(int row, int column) const
{
    if (row < 1 || column < 1 || size_t(row) > m_rows.size())
        return nullptr;
    const auto &cells = m_rows[row - 1].cells;
    if (size_t(column) > cells.size())
        return nullptr;
    const Cell &cell = cells[column - 1];
    return (cell.flags & Cell::kWritten) ? &cell : nullptr;
}

void Worksheet::putCell(int row, int column, const Cell &cell)
{
    checkCell(row, column);
    if (m_rows.size() < size_t(row))
        m_rows.resize(row);
    auto &cells = m_rows[row - 1].cells;
    if (cells.size() < size_t(column))
        cells.resize(column);
    Cell &target = cells[column - 1];
    const uint8_t flags = cell.flags | Cell::kWritten;
    if (target.flags == flags && target.kind == cell.kind && target.xf == cell.xf && target.ref == cell.ref
        && std::memcmp(&target.number, &cell.number, sizeof cell.number) == 0)
        return;   // the same cell again (a title row rewritten at every start): no change
    target = cell;
    target.flags = flags;
    m_book->noteChange();
}

uint16_t Worksheet::cellXf(int row, int column) const
{
    if (const Cell *cell = cellAt(row, column))
        return cell->xf;
    const uint16_t columnFormat = columnXf(column);
    return columnFormat ? columnFormat : Styles::kDefaultCellXf;
}

void Worksheet::removeRows(int first, int last)
{
    checkCell(first, 1);
    checkCell(last, 1);
    if (first > last)
        std::swap(first, last);
    auto erase = [first, last](auto &rows) {
        const size_t begin = size_t(first - 1);
        const size_t end = std::min(rows.size(), size_t(last));
        if (begin < end)
            rows.erase(rows.begin() + begin, rows.begin() + end);
    };
    erase(m_rows);
    erase(m_rowHeights);
    erase(m_rowFormats);
    m_book->noteChange();
    if (m_book->structureEdits)
        m_book->structureEdits->rowsDeleted(*this, RowsDeleted{first, last});
}

int Worksheet::lastRow() const
{
    for (size_t r = m_rows.size(); r-- > 0;) {
        for (const Cell &cell : m_rows[r].cells)
            if (cell.flags & Cell::kWritten)
                return int(r) + 1;
    }
    return 0;
}

int Worksheet::lastColumn() const
{
    int last = 0;
    for (const Row &row : m_rows) {
        for (size_t c = row.cells.size(); c > size_t(last); --c) {
            if (row.cells[c - 1].flags & Cell::kWritten) {
                last = int(c);
                break;
            }
        }
    }
    return last;
}

void Worksheet::forEachCell(const std::function<void(int, int, const Cell &)> &f) const
{
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const auto &cells = m_rows[r].cells;
        for (size_t c = 0; c < cells.size(); ++c)
            if ((cells[c].flags & Cell::kWritten) && cells[c].kind != CellKind::Empty)
                f(int(r) + 1, int(c) + 1, cells[c]);
    }
}

void Worksheet::forEachStoredCell(const std::function<void(int, int, const Cell &)> &f) const
{
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const auto &cells = m_rows[r].cells;
        for (size_t c = 0; c < cells.size(); ++c)
            if (cells[c].flags & Cell::kWritten)
                f(int(r) + 1, int(c) + 1, cells[c]);
    }
}

Variant Worksheet::valueAt(int row, int column) const
{
    const Cell *cell = cellAt(row, column);
    if (!cell)
        return {};
    switch (cell->kind) {
    case CellKind::Empty:
        return {};
    case CellKind::Number:
        if (m_book->styles.isDateFormat(cell->xf))
            return Variant::fromDate(m_book->date1904 ? cell->number + 1462 : cell->number);
        return Variant::fromNumber(cell->number);
    case CellKind::Text:
        if (cell->isFormula())
            return Variant::fromText(cell->ref < m_formulas.size() ? m_formulas[cell->ref].cachedText : QString());
        return Variant::fromText(cell->ref < m_book->strings.size() ? m_book->strings.at(cell->ref) : QString());
    case CellKind::Boolean:
        return Variant::fromBool(cell->number != 0);
    case CellKind::Error:
        return Variant::fromError(CellError(uint8_t(cell->number)));
    }
    return {};
}

QString Worksheet::textAt(int row, int column) const
{
    const Cell *cell = cellAt(row, column);
    if (!cell || cell->kind == CellKind::Empty)
        return QString();
    const NumberFormat &format = m_book->styles.numberFormat(cell->xf);
    if (cell->kind == CellKind::Text && !cell->isFormula() && (format.isGeneral() || m_book->styles.isTextFormat(cell->xf)))
        return cell->ref < m_book->strings.size() ? m_book->strings.at(cell->ref) : QString();
    if (cell->kind == CellKind::Number && format.isGeneral())
        return generalNumberText(cell->number);
    return format.format(valueAt(row, column));
}

// ---------------------------------------------------------------------------------------
// Workbook

Workbook::Workbook()
{
    appendSheet(QStringLiteral("Foglio1"));
}

Workbook::~Workbook() = default;

std::unique_ptr<Workbook> Workbook::clone() const
{
    auto copy = std::make_unique<Workbook>();
    copy->m_sheets.clear();
    for (const auto &sheet : m_sheets)
        copy->m_sheets.push_back(std::make_unique<Worksheet>(*copy, *sheet));
    copy->m_path = m_path;
    copy->m_active = m_active;
    copy->m_revision = m_revision;
    copy->m_savedRevision = m_savedRevision;
    copy->date1904 = date1904;
    copy->protection = protection;
    copy->styles = styles;
    copy->strings = strings;
    if (extras)
        copy->extras = std::make_shared<BiffExtras>(*extras);
    // Keeps no data of its own: it works on whichever workbook the edited sheet belongs to.
    copy->structureEdits = structureEdits;
    return copy;
}

StructureEdits::~StructureEdits() = default;

QString Workbook::name() const
{
    if (m_path.isEmpty())
        return QStringLiteral("Cartel1");
    return QFileInfo(m_path).fileName();
}

Worksheet &Workbook::sheet(int index)
{
    if (index < 1 || index > sheetCount())
        throw StoreError(ErrorKind::NotFound, QStringLiteral("Il foglio richiesto non esiste."),
                         QStringLiteral("foglio n. %1").arg(index));
    return *m_sheets[index - 1];
}

Worksheet &Workbook::sheet(const QString &name)
{
    if (Worksheet *found = findSheet(name))
        return *found;
    throw StoreError(ErrorKind::NotFound, QStringLiteral("Il foglio \"%1\" non esiste.").arg(name), name);
}

Worksheet *Workbook::findSheet(const QString &name)
{
    for (auto &s : m_sheets)
        if (s->name().compare(name, Qt::CaseInsensitive) == 0)
            return s.get();
    return nullptr;
}

Worksheet &Workbook::addSheetAfter(Worksheet &after)
{
    const int position = indexOf(after);
    if (position == 0)
        throw StoreError(ErrorKind::NotFound, QStringLiteral("Il foglio richiesto non esiste."), after.name());
    if (sheetCount() >= 0x7FFF)
        throw StoreError(ErrorKind::Limit, QStringLiteral("La cartella contiene già troppi fogli."));
    int n = 1;
    while (findSheet(QStringLiteral("Foglio%1").arg(n)))
        ++n;
    auto sheet = std::make_unique<Worksheet>(*this, QStringLiteral("Foglio%1").arg(n));
    Worksheet &added = *sheet;
    m_sheets.insert(m_sheets.begin() + position, std::move(sheet));
    if (m_active >= position)
        ++m_active;
    setActiveSheet(added);   // a new sheet becomes the active one, as in a spreadsheet
    noteChange();
    return added;
}

Worksheet &Workbook::appendSheet(const QString &name)
{
    if (!validSheetName(name))
        throw StoreError(ErrorKind::Invalid,
                         QStringLiteral("Il nome del foglio non è valido: da 1 a 31 caratteri, senza : \\ / ? * [ ]."),
                         name);
    if (findSheet(name))
        throw StoreError(ErrorKind::Invalid, QStringLiteral("Esiste già un foglio con questo nome."), name);
    m_sheets.push_back(std::make_unique<Worksheet>(*this, name));
    return *m_sheets.back();
}

void Workbook::removeSheet(Worksheet &sheet)
{
    const int position = indexOf(sheet);
    if (position == 0)
        throw StoreError(ErrorKind::NotFound, QStringLiteral("Il foglio richiesto non esiste."), sheet.name());
    if (sheetCount() == 1)
        throw StoreError(ErrorKind::Invalid, QStringLiteral("Una cartella di lavoro deve contenere almeno un foglio."));
    m_sheets.erase(m_sheets.begin() + (position - 1));
    if (m_active >= position - 1 && m_active > 0)
        --m_active;
    noteChange();
}

Worksheet &Workbook::activeSheet()
{
    if (m_active < 0 || m_active >= sheetCount())
        m_active = 0;
    return *m_sheets[m_active];
}

void Workbook::setActiveSheet(Worksheet &sheet)
{
    const int position = indexOf(sheet);
    if (position == 0)
        throw StoreError(ErrorKind::NotFound, QStringLiteral("Il foglio richiesto non esiste."), sheet.name());
    m_active = position - 1;
}

int Workbook::indexOf(const Worksheet &sheet) const
{
    for (size_t i = 0; i < m_sheets.size(); ++i)
        if (m_sheets[i].get() == &sheet)
            return int(i) + 1;
    return 0;
}

} // namespace store
