#include "store/edit/structureedits.h"

#include "store/biff/biff.h"

#include <optional>

namespace store {

namespace {

using biff::u16;
using biff::put16;

constexpr uint16_t kCondFmt12 = 0x0879, kCf12 = 0x087A, kCfEx = 0x087B;
constexpr uint16_t kDval = 0x01B2, kDv = 0x01BE, kHLinkTooltip = 0x0800;

// A Ref8/Ref8U: rwFirst, rwLast, colFirst, colLast, 0-based, two bytes each.
RangeRect readRef8(const uint8_t *p)
{
    return {u16(p) + 1, std::min<int>(u16(p + 4), kMaxColumns - 1) + 1,
            u16(p + 2) + 1, std::min<int>(u16(p + 6), kMaxColumns - 1) + 1};
}

// Writes back the rows only: columns stay as the file had them.
void writeRows(uint8_t *p, const RangeRect &r)
{
    put16(p, uint16_t(r.top - 1));
    put16(p + 2, uint16_t(r.bottom - 1));
}

bool sane(const RangeRect &r)
{
    return r.top <= r.bottom && r.left <= r.right;
}

// A range after the edit. A delete shrinks it (nullopt: all its rows went); a sort moves a
// range of one row that lies in the sorted block with its row, when `followsSort`.
std::optional<RangeRect> moved(const RangeRect &r, const RowShift &shift, bool followsSort)
{
    if (!sane(r))
        return r;
    if (shift.kind == RowShift::Delete)
        return shiftRange(r, shift);
    if (followsSort && r.top == r.bottom && r.top >= shift.first && r.top <= shift.last
        && r.left >= shift.left && r.right <= shift.right) {
        RangeRect out = r;
        out.top = out.bottom = shift.rowAfter(r.top, r.left);
        return out;
    }
    return r;
}

// Sort: merged ranges inside the sorted block are dissolved by the spreadsheet programs'
// sort only when they span rows; ranges of one row move with it.
bool mergedCells(QByteArray &data, const RowShift &shift)
{
    if (data.size() < 2)
        return true;
    const auto *d = reinterpret_cast<const uint8_t *>(data.constData());
    const int count = std::min<int>(u16(d), int((data.size() - 2) / 8));
    QByteArray out(2, '\0');
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const uint8_t *ref = d + 2 + 8 * i;
        const auto after = moved(readRef8(ref), shift, true);
        if (!after || (after->rows() == 1 && after->columns() == 1 && readRef8(ref).rows() > 1))
            continue;   // gone, or shrunk to one cell: nothing left to merge
        QByteArray r(reinterpret_cast<const char *>(ref), 8);
        writeRows(reinterpret_cast<uint8_t *>(r.data()), *after);
        out += r;
        ++kept;
    }
    put16(reinterpret_cast<uint8_t *>(out.data()), uint16_t(kept));
    out += data.mid(2 + 8 * count);
    data = out;
    return kept > 0;
}

// HLINK and HLINKTOOLTIP: one range at `offset`. False when the link's cells are gone.
bool oneRange(QByteArray &data, qsizetype offset, const RowShift &shift)
{
    if (data.size() < offset + 8)
        return true;
    auto *p = reinterpret_cast<uint8_t *>(data.data()) + offset;
    const auto after = moved(readRef8(p), shift, true);
    if (!after)
        return false;
    writeRows(p, *after);
    return true;
}

// A list of Ref8U (cref u16, then the ranges) at `offset`: rewritten shrunk, wholly deleted
// ranges dropped. Returns the number kept, the old list's length in `oldLength`.
QByteArray shiftSqref(const QByteArray &data, qsizetype offset, const RowShift &shift, qsizetype &oldLength,
                      int &kept, std::optional<RangeRect> &bound, std::optional<RangeRect> &firstOld)
{
    kept = 0;
    oldLength = 0;
    if (data.size() < offset + 2)
        return {};
    const auto *d = reinterpret_cast<const uint8_t *>(data.constData()) + offset;
    const int count = std::min<int>(u16(d), int((data.size() - offset - 2) / 8));
    oldLength = 2 + 8 * count;
    QByteArray out(2, '\0');
    for (int i = 0; i < count; ++i) {
        const uint8_t *ref = d + 2 + 8 * i;
        const RangeRect old = readRef8(ref);
        if (!firstOld)
            firstOld = old;
        const auto after = moved(old, shift, false);
        if (!after)
            continue;
        QByteArray r(reinterpret_cast<const char *>(ref), 8);
        writeRows(reinterpret_cast<uint8_t *>(r.data()), *after);
        out += r;
        ++kept;
        if (!bound)
            bound = *after;
        else
            bound = RangeRect{std::min(bound->top, after->top), std::min(bound->left, after->left),
                              std::max(bound->bottom, after->bottom), std::max(bound->right, after->right)};
    }
    put16(reinterpret_cast<uint8_t *>(out.data()), uint16_t(kept));
    return out;
}

// One formula of cce bytes at `at` in `data`, through the reference shifter; the record is
// rebuilt when the expression changes length.
void shiftFormulaAt(QByteArray &data, qsizetype at, qsizetype cce, const Site &site, const RowShift &shift,
                    const XtiTable &xtis, qsizetype ccePos)
{
    if (cce <= 0 || at < 0 || at + cce > data.size())
        return;
    QByteArray rgce = data.mid(at, cce);
    if (shiftExpression(rgce, cce, site, shift, xtis) == ShiftResult::Unchanged)
        return;
    data.replace(at, cce, rgce);
    if (ccePos >= 0 && rgce.size() != cce)
        put16(reinterpret_cast<uint8_t *>(data.data()) + ccePos, uint16_t(rgce.size()));
}

// CF: ct, cp, cce1, cce2, formatting (variable), rgce1, rgce2: the formulas end the record.
void shiftCf(QByteArray &data, const Site &site, const RowShift &shift, const XtiTable &xtis)
{
    if (data.size() < 6)
        return;
    const auto *d = reinterpret_cast<const uint8_t *>(data.constData());
    const qsizetype cce1 = u16(d + 2), cce2 = u16(d + 4);
    if (cce1 + cce2 + 6 > data.size())
        return;
    const qsizetype second = data.size() - cce2;
    const qsizetype first = second - cce1;
    // The second first, so that the first's offset holds when the second changes length.
    shiftFormulaAt(data, second, cce2, site, shift, xtis, 4);
    shiftFormulaAt(data, first, cce1, site, shift, xtis, 2);
}

// The length of an XLUnicodeString at `at` (cch, flags, characters); -1 when it runs out.
qsizetype unicodeStringLength(const QByteArray &data, qsizetype at)
{
    if (at + 3 > data.size())
        return -1;
    const auto *d = reinterpret_cast<const uint8_t *>(data.constData()) + at;
    const qsizetype length = 3 + qsizetype(u16(d)) * ((d[2] & 1) ? 2 : 1);
    return at + length <= data.size() ? length : -1;
}

// DV: flags, four texts, formula 1 and 2 (cce, unused, rgce each), then the ranges.
// Returns false when every range of the validation was deleted.
bool shiftDv(QByteArray &data, bool edited, const RowShift &shift, const XtiTable &xtis, int sheetTab)
{
    qsizetype at = 4;
    for (int i = 0; i < 4; ++i) {
        const qsizetype length = unicodeStringLength(data, at);
        if (length < 0)
            return true;
        at += length;
    }
    qsizetype formulaAt[2];
    for (qsizetype &f : formulaAt) {
        if (at + 4 > data.size())
            return true;
        f = at;
        at += 4 + u16(reinterpret_cast<const uint8_t *>(data.constData()) + at);
    }
    if (at + 2 > data.size())
        return true;
    qsizetype oldLength = 0;
    int kept = 0;
    std::optional<RangeRect> bound, firstOld;
    QByteArray sqref;
    if (edited)
        sqref = shiftSqref(data, at, shift, oldLength, kept, bound, firstOld);
    else
        firstOld = readRef8(reinterpret_cast<const uint8_t *>(data.constData()) + at + 2);
    Site site;
    site.sheetTab = sheetTab;
    if (firstOld && u16(reinterpret_cast<const uint8_t *>(data.constData()) + at) > 0) {
        site.row = firstOld->top;
        site.column = firstOld->left;
    }
    if (edited) {
        if (kept == 0 && oldLength > 2)
            return false;
        data.replace(at, oldLength, sqref);
    }
    for (int i = 1; i >= 0 && shift.kind == RowShift::Delete; --i) {
        const auto cce = u16(reinterpret_cast<const uint8_t *>(data.constData()) + formulaAt[i]);
        shiftFormulaAt(data, formulaAt[i] + 4, cce, site, shift, xtis, formulaAt[i]);
    }
    return true;
}

// Horizontal page breaks: cbrk, then rw (first row after the break), colStart, colEnd.
// A break goes with its deleted row; the ones below move up. A sort keeps them.
bool pageBreaks(QByteArray &data, const RowShift &shift)
{
    if (shift.kind != RowShift::Delete || data.size() < 2)
        return true;
    const auto *d = reinterpret_cast<const uint8_t *>(data.constData());
    const int count = std::min<int>(u16(d), int((data.size() - 2) / 6));
    QByteArray out(2, '\0');
    int kept = 0;
    const int removed = shift.last - shift.first + 1;
    for (int i = 0; i < count; ++i) {
        QByteArray entry(reinterpret_cast<const char *>(d + 2 + 6 * i), 6);
        const int row = u16(d + 2 + 6 * i) + 1;   // the first row of the new page, 1-based
        if (row >= shift.first && row <= shift.last)
            continue;
        if (row > shift.last)
            put16(reinterpret_cast<uint8_t *>(entry.data()), uint16_t(row - removed - 1));
        out += entry;
        ++kept;
    }
    put16(reinterpret_cast<uint8_t *>(out.data()), uint16_t(kept));
    data = out;
    return kept > 0;
}

// The carried records of one sheet through a row shift, in file order: the CF records go
// with their CONDFMT, a HLINKTOOLTIP with its HLINK, and DVAL counts the DV records kept.
class SheetRecordShift {
public:
    SheetRecordShift(bool edited, const RowShift &shift, const XtiTable &xtis, int sheetTab)
        : m_edited(edited), m_shift(shift), m_xtis(xtis), m_sheetTab(sheetTab)
    {
        m_cfSite.sheetTab = sheetTab;
    }

    // Whether `rec` stays, changed as the shift asks; `at` is its place among the records kept.
    bool keep(biff::PlacedRecord &rec, size_t at);
    // DVAL counts its DV records (idvMac at offset 14); with none left it goes too.
    void countValidations(std::vector<biff::PlacedRecord> &kept) const;

private:
    bool condFmt(QByteArray &data);

    const bool m_edited;
    const RowShift &m_shift;
    const XtiTable &m_xtis;
    const int m_sheetTab;
    Site m_cfSite;                  // where the formulas of the CF records sit
    bool m_dropFollowers = false;   // the CF records of a dropped CONDFMT
    bool m_dropTooltip = false;     // the tooltip of a dropped HLINK
    int m_droppedDv = 0;
    std::optional<size_t> m_dvalAt;
};

bool SheetRecordShift::keep(biff::PlacedRecord &rec, size_t at)
{
    bool keep = true;
    switch (rec.type) {
    case biff::kMergeCells:
        if (m_edited)
            keep = mergedCells(rec.data, m_shift);
        break;
    case biff::kHLink:
        if (m_edited)
            keep = oneRange(rec.data, 0, m_shift);
        m_dropTooltip = !keep;
        break;
    case kHLinkTooltip:
        if (m_dropTooltip)
            keep = false;
        else if (m_edited)
            keep = oneRange(rec.data, 2, m_shift);
        break;
    case biff::kCondFmt:
        keep = condFmt(rec.data);
        break;
    case biff::kCf:
        if (m_dropFollowers)
            keep = false;
        else if (m_shift.kind == RowShift::Delete)
            shiftCf(rec.data, m_cfSite, m_shift, m_xtis);
        break;
    case kCondFmt12: case kCf12: case kCfEx:
        // Their header: rt, grbitFrt, then a Ref8U of the cells they format.
        if (m_edited)
            oneRange(rec.data, 4, m_shift);
        break;
    case kDval:
        m_dvalAt = at;
        break;
    case kDv:
        keep = shiftDv(rec.data, m_edited, m_shift, m_xtis, m_sheetTab);
        if (!keep)
            ++m_droppedDv;
        break;
    case biff::kHorizontalPageBreaks:
        if (m_edited)
            keep = pageBreaks(rec.data, m_shift);
        break;
    default:
        break;
    }
    if (rec.type != biff::kCf && rec.type != biff::kCondFmt)
        m_dropFollowers = false;
    if (rec.type != biff::kHLink && rec.type != kHLinkTooltip)
        m_dropTooltip = false;
    return keep;
}

// CONDFMT: ccf, nID, refBound (Ref8U), sqref. False when all its cells went; its CF records
// then go too.
bool SheetRecordShift::condFmt(QByteArray &data)
{
    m_dropFollowers = false;
    if (data.size() < 14)
        return true;
    const RangeRect oldBound = readRef8(reinterpret_cast<const uint8_t *>(data.constData()) + 4);
    std::optional<RangeRect> firstOld;
    if (m_edited) {
        qsizetype oldLength = 0;
        int kept = 0;
        std::optional<RangeRect> bound;
        QByteArray sqref = shiftSqref(data, 12, m_shift, oldLength, kept, bound, firstOld);
        if (kept == 0) {
            m_dropFollowers = true;
            return false;
        }
        data.replace(12, oldLength, sqref);
        writeRows(reinterpret_cast<uint8_t *>(data.data()) + 4, *bound);
    }
    m_cfSite.row = firstOld ? firstOld->top : oldBound.top;
    m_cfSite.column = firstOld ? firstOld->left : oldBound.left;
    return true;
}

void SheetRecordShift::countValidations(std::vector<biff::PlacedRecord> &kept) const
{
    if (!m_dvalAt || m_droppedDv == 0 || kept[*m_dvalAt].data.size() < 18)
        return;
    auto *p = reinterpret_cast<uint8_t *>(kept[*m_dvalAt].data.data()) + 14;
    const uint32_t count = biff::u32(p);
    const uint32_t left = count > uint32_t(m_droppedDv) ? count - uint32_t(m_droppedDv) : 0;
    biff::put32(p, left);
    if (left == 0)
        kept.erase(kept.begin() + qsizetype(*m_dvalAt));
}

void shiftRecordsOf(Worksheet &ws, bool edited, const RowShift &shift, const XtiTable &xtis)
{
    // A sort keeps the formats and validations where they are, and their references too.
    if (!ws.extras || (!edited && shift.kind == RowShift::Sort))
        return;
    auto &records = ws.extras->records;
    SheetRecordShift step(edited, shift, xtis, ws.extras->originalTab);
    std::vector<biff::PlacedRecord> out;
    out.reserve(records.size());
    int depth = 0;   // inside a substream carried whole (embedded chart)
    for (biff::PlacedRecord &rec : records) {
        if (rec.type == biff::kBof)
            ++depth;
        else if (rec.type == biff::kEof && depth > 0)
            --depth;
        if (depth > 0 || rec.type == biff::kEof || step.keep(rec, out.size()))
            out.push_back(std::move(rec));
    }
    step.countValidations(out);
    records = std::move(out);
}

class CarriedEdits final : public StructureEdits {
public:
    void rowsDeleted(Worksheet &sheet, const RowsDeleted &e) override
    {
        apply(sheet, rowShiftFor(sheet, RowShift::Delete, e.first, e.last));
    }
    void rowsSorted(Worksheet &sheet, const RowsSorted &e) override
    {
        RowShift shift = rowShiftFor(sheet, RowShift::Sort, e.range.top, e.range.bottom);
        shift.left = e.range.left;
        shift.right = e.range.right;
        shift.newRowOf = e.newRowOf;
        apply(sheet, shift);
    }

private:
    static void apply(Worksheet &sheet, const RowShift &shift)
    {
        Workbook &book = sheet.workbook();
        shiftFormulas(book, sheet, shift);
        const XtiTable xtis = book.extras ? XtiTable::of(*book.extras) : XtiTable{};
        edit::shiftSheetRecords(book, sheet, shift, xtis);
        edit::shiftDrawing(book, sheet, shift);
    }
};

} // namespace

std::shared_ptr<StructureEdits> makeStructureEdits()
{
    return std::make_shared<CarriedEdits>();
}

namespace edit {

void shiftSheetRecords(Workbook &book, Worksheet &sheet, const RowShift &shift, const XtiTable &xtis)
{
    for (int i = 1; i <= book.sheetCount(); ++i) {
        Worksheet &ws = book.sheet(i);
        shiftRecordsOf(ws, &ws == &sheet, shift, xtis);
    }
}

} // namespace edit
} // namespace store
