#include "store/formula/refshift.h"

#include "store/formula/ptg.h"

#include <algorithm>

namespace store {

using biff::put16;
using biff::u16;

int RowShift::rowAfter(int row, int column) const
{
    if (kind == Delete) {
        if (row < first)
            return row;
        if (row <= last)
            return 0;
        return row - (last - first + 1);
    }
    if (row < first || row > last || column < left || column > right)
        return row;
    const size_t i = size_t(row - first);
    return i < newRowOf.size() && newRowOf[i] >= 1 ? newRowOf[i] : row;
}

XtiTable XtiTable::of(const BiffExtras &bookExtras)
{
    XtiTable t;
    t.xtis = bookExtras.xtis;
    for (size_t i = 0; i < bookExtras.supBooks.size(); ++i) {
        if (bookExtras.supBooks[i].internal) {
            t.internalSupBook = int(i);
            break;
        }
    }
    return t;
}

int XtiTable::singleTab(int ixti) const
{
    if (ixti < 0 || size_t(ixti) >= xtis.size())
        return -1;
    const biff::Xti &x = xtis[size_t(ixti)];
    if (internalSupBook < 0 || x.supBook != internalSupBook || x.first != x.last || x.first < 0)
        return -1;
    return x.first;
}

namespace {

using namespace ptg;

constexpr int kLastRow0 = kMaxRows - 1;   // 0-based

// The reading of one expression at its site for one shift.
struct Reading {
    const Site &site;
    const RowShift &shift;
    const XtiTable &xtis;
    int movedBy = 0;     // rows the expression's own cell moved (a sort moves cells)

    Reading(const Site &s, const RowShift &r, const XtiTable &x) : site(s), shift(r), xtis(x)
    {
        if (s.row > 0 && s.sheetTab == r.sheetTab) {
            const int after = r.rowAfter(s.row, s.column);
            if (after > 0)
                movedBy = after - s.row;
        }
    }

    // Whether the row part of a token is an offset from the site.
    bool rowIsOffset(uint8_t base, bool relative) const
    {
        if (!relative)
            return false;
        return base == kRefN || base == kAreaN
            || (site.form == Site::Form::Shared && (base == kRef3d || base == kArea3d));
    }
    // A relative part the shift cannot place: names have no cell.
    bool unplaceable(bool relative) const { return relative && (site.form == Site::Form::Name || site.row <= 0); }

    int rowOf(uint16_t raw, bool offset) const   // 0-based target row
    {
        return offset ? (site.row - 1 + int16_t(raw)) & 0xFFFF : raw;
    }
    uint16_t rawOf(int row, bool offset) const
    {
        return offset ? uint16_t(row - (site.row - 1 + movedBy)) : uint16_t(row);
    }
    int columnOf(uint16_t raw, bool offset) const
    {
        return offset ? (site.column - 1 + int8_t(raw & kColumnMask)) & 0xFF : raw & kColumnMask;
    }

    // The tab a token's cells are on; -1 for none or several sheets of this workbook.
    int tabOf(const uint8_t *t, uint8_t base) const
    {
        if (base == kRef3d || base == kArea3d)
            return xtis.singleTab(u16(t + 1));
        return site.sheetTab;
    }
    bool spansEdited(const uint8_t *t, uint8_t base) const
    {
        if (base != kRef3d && base != kArea3d)
            return site.sheetTab == shift.sheetTab;
        const int ixti = u16(t + 1);
        if (size_t(ixti) >= xtis.xtis.size())
            return false;
        const biff::Xti &x = xtis.xtis[size_t(ixti)];
        return x.supBook == xtis.internalSupBook && x.first <= shift.sheetTab && shift.sheetTab <= x.last;
    }

    // The new 0-based row of one reference part; -1 when it goes (deleted, off the grid).
    int moveRow(int row, bool relative, bool onEdited) const
    {
        if (shift.kind == RowShift::Delete) {
            if (!onEdited)
                return row;
            const int after = shift.rowAfter(row + 1, 1);
            return after > 0 ? after - 1 : -1;
        }
        // A sort leaves references where they are; a formula that moved with its row keeps
        // the offsets of its relative references, as a copied formula does.
        if (relative && movedBy != 0) {
            const int moved = row + movedBy;
            return moved >= 0 && moved <= kLastRow0 ? moved : -1;
        }
        return row;
    }

    // New 0-based rows of an area lo..hi of the edited sheet losing rows; false: all gone.
    bool deleteFromArea(int &lo, int &hi) const
    {
        const int first = shift.first - 1, last = shift.last - 1, count = last - first + 1;
        if (hi < first)
            return true;
        if (lo > last) {
            lo -= count;
            hi -= count;
            return true;
        }
        if (lo >= first && hi <= last)
            return false;
        lo = lo < first ? lo : first;
        hi = hi > last ? hi - count : first - 1;
        return true;
    }
};

// Rewrites a reference token in place as its error form, same size, same class. Rows and
// columns are cleared; the relative flags stay, as the spreadsheet programs keep them.
void makeError(uint8_t *t, uint8_t base)
{
    const uint8_t cls = t[0] & 0x60;
    auto clear = [t](int rowAt, int colAt) {
        put16(t + rowAt, 0);
        put16(t + colAt, uint16_t(u16(t + colAt) & (kRowRelative | kColumnRelative)));
    };
    switch (base) {
    case kRef: case kRefN:
        t[0] = uint8_t(cls | kRefErr);
        clear(1, 3);
        break;
    case kArea: case kAreaN:
        t[0] = uint8_t(cls | kAreaErr);
        clear(1, 5);
        clear(3, 7);
        break;
    case kRef3d:
        t[0] = uint8_t(cls | kRefErr3d);   // keeps its sheet reference
        clear(3, 5);
        break;
    case kArea3d:
        t[0] = uint8_t(cls | kAreaErr3d);
        clear(3, 7);
        clear(5, 9);
        break;
    default:
        break;
    }
}

// Offsets of the row and column fields of a reference token; area tokens have two of each.
struct Fields {
    int row1, row2, col1, col2;   // row2/col2 = -1 for one cell
};

bool referenceFields(uint8_t base, Fields &f)
{
    switch (base) {
    case kRef: case kRefN: f = {1, -1, 3, -1}; return true;
    case kArea: case kAreaN: f = {1, 3, 5, 7}; return true;
    case kRef3d: f = {3, -1, 5, -1}; return true;
    case kArea3d: f = {3, 5, 7, 9}; return true;
    default: return false;
    }
}

// Shifts one reference token; true when it changed.
bool shiftToken(uint8_t *t, uint8_t base, const Reading &rd)
{
    Fields f;
    if (!referenceFields(base, f))
        return false;
    const int tab = rd.tabOf(t, base);
    const bool threeD = base == kRef3d || base == kArea3d;
    const bool onEdited = tab == rd.shift.sheetTab && (tab >= 0 || !threeD);
    if (rd.shift.kind == RowShift::Sort && rd.movedBy == 0)
        return false;   // a sort leaves references where they are

    const uint16_t c1 = u16(t + f.col1);
    const uint16_t c2 = f.col2 >= 0 ? u16(t + f.col2) : c1;
    const bool rel1 = c1 & kRowRelative, rel2 = c2 & kRowRelative;
    if (rd.unplaceable(rel1) || rd.unplaceable(rel2))
        return false;
    const bool off1 = rd.rowIsOffset(base, rel1), off2 = rd.rowIsOffset(base, rel2);
    const uint16_t raw1 = u16(t + f.row1);
    const uint16_t raw2 = f.row2 >= 0 ? u16(t + f.row2) : raw1;
    int r1 = rd.rowOf(raw1, off1), r2 = rd.rowOf(raw2, off2);

    int n1, n2;
    if (f.row2 >= 0 && rd.shift.kind == RowShift::Delete && onEdited) {
        if (std::min(r1, r2) == 0 && std::max(r1, r2) == kLastRow0)
            return false;   // whole columns stay whole
        int lo = std::min(r1, r2), hi = std::max(r1, r2);
        if (!rd.deleteFromArea(lo, hi)) {
            makeError(t, base);
            return true;
        }
        n1 = r1 <= r2 ? lo : hi;
        n2 = r1 <= r2 ? hi : lo;
    } else {
        n1 = rd.moveRow(r1, rel1, onEdited);
        n2 = f.row2 >= 0 ? rd.moveRow(r2, rel2, onEdited) : n1;
        if (n1 < 0 || n2 < 0) {
            makeError(t, base);
            return true;
        }
    }
    const uint16_t new1 = rd.rawOf(n1, off1);
    const uint16_t new2 = rd.rawOf(n2, off2);
    bool changed = false;
    if (new1 != raw1) {
        put16(t + f.row1, new1);
        changed = true;
    }
    if (f.row2 >= 0 && new2 != raw2) {
        put16(t + f.row2, new2);
        changed = true;
    }
    return changed;
}

// Whether a reference token reads cells the shift moved or deleted.
bool readsMoved(const uint8_t *t, uint8_t base, const Reading &rd)
{
    Fields f;
    if (!referenceFields(base, f) || !rd.spansEdited(t, base))
        return false;
    const uint16_t c1 = u16(t + f.col1);
    const uint16_t c2 = f.col2 >= 0 ? u16(t + f.col2) : c1;
    const bool rel1 = c1 & kRowRelative, rel2 = c2 & kRowRelative;
    if (rd.unplaceable(rel1) || rd.unplaceable(rel2) || rd.unplaceable(c1 & kColumnRelative)
        || rd.unplaceable(c2 & kColumnRelative))
        return true;   // cannot tell: assume it does
    const int r1 = rd.rowOf(u16(t + f.row1), rd.rowIsOffset(base, rel1));
    const int r2 = f.row2 >= 0 ? rd.rowOf(u16(t + f.row2), rd.rowIsOffset(base, rel2)) : r1;
    const int top = std::min(r1, r2) + 1, bottom = std::max(r1, r2) + 1;
    if (rd.shift.kind == RowShift::Delete)
        return bottom >= rd.shift.first;
    const int k1 = rd.columnOf(c1, rd.rowIsOffset(base, c1 & kColumnRelative));
    const int k2 = rd.columnOf(c2, rd.rowIsOffset(base, c2 & kColumnRelative));
    const int left = std::min(k1, k2) + 1, right = std::max(k1, k2) + 1;
    return bottom >= rd.shift.first && top <= rd.shift.last && right >= rd.shift.left && left <= rd.shift.right;
}

// Whether the shift can touch the expression at all: it lives on the edited sheet, or a
// 3-D token names that sheet.
bool mightChange(const uint8_t *p, qsizetype cce, const Site &site, const RowShift &shift, const XtiTable &xtis)
{
    if (site.sheetTab == shift.sheetTab)
        return true;
    thread_local std::vector<Token> tokens;
    if (!tokenize(p, cce, tokens))
        return false;
    for (const Token &tk : tokens) {
        const uint8_t base = tk.base();
        if (tk.classed() && (base == kRef3d || base == kArea3d) && xtis.singleTab(u16(p + tk.offset + 1)) == shift.sheetTab)
            return true;
    }
    return false;
}

} // namespace

ShiftResult shiftExpression(uint8_t *p, qsizetype cce, const Site &site, const RowShift &shift,
                            const XtiTable &xtis)
{
    thread_local std::vector<Token> tokens;
    // Every token is checked before any is changed: a malformed expression stays whole.
    if (!p || !tokenize(p, cce, tokens))
        return ShiftResult::Unchanged;
    const Reading rd(site, shift, xtis);
    bool changed = false;
    for (const Token &tk : tokens) {
        uint8_t *t = p + tk.offset;
        if (!tk.classed()) {
            if ((tk.ptg == kExp || tk.ptg == kTbl) && site.sheetTab == shift.sheetTab) {
                // The cell holding the shared, array or table formula moves with its row.
                const int after = shift.rowAfter(u16(t + 1) + 1, u16(t + 3) + 1);
                if (after > 0 && after - 1 != u16(t + 1)) {
                    put16(t + 1, uint16_t(after - 1));
                    changed = true;
                }
            }
            continue;
        }
        changed |= shiftToken(t, tk.base(), rd);
    }
    return changed ? ShiftResult::Changed : ShiftResult::Unchanged;
}

ShiftResult shiftExpression(QByteArray &rgce, qsizetype cce, const Site &site, const RowShift &shift,
                            const XtiTable &xtis)
{
    if (cce < 0 || cce > rgce.size())
        return ShiftResult::Unchanged;
    // Check on the shared bytes first, so that an unchanged expression is not copied.
    if (!mightChange(reinterpret_cast<const uint8_t *>(rgce.constData()), cce, site, shift, xtis))
        return ShiftResult::Unchanged;
    return shiftExpression(reinterpret_cast<uint8_t *>(rgce.data()), cce, site, shift, xtis);
}

bool readsMovedCells(const uint8_t *p, qsizetype cce, const Site &site, const RowShift &shift,
                     const XtiTable &xtis)
{
    thread_local std::vector<Token> tokens;
    if (!p || !tokenize(p, cce, tokens))
        return false;
    const Reading rd(site, shift, xtis);
    for (const Token &tk : tokens)
        if (tk.classed() && readsMoved(p + tk.offset, tk.base(), rd))
            return true;
    return false;
}

bool readsMovedCells(const QByteArray &rgce, qsizetype cce, const Site &site, const RowShift &shift,
                     const XtiTable &xtis)
{
    if (cce < 0 || cce > rgce.size())
        return false;
    return readsMovedCells(reinterpret_cast<const uint8_t *>(rgce.constData()), cce, site, shift, xtis);
}

std::optional<RangeRect> shiftRange(const RangeRect &range, const RowShift &shift)
{
    if (shift.kind == RowShift::Sort)
        return range;
    const int count = shift.last - shift.first + 1;
    RangeRect r = range;
    if (r.bottom < shift.first)
        return r;
    if (r.top > shift.last) {
        r.top -= count;
        r.bottom -= count;
        return r;
    }
    if (r.top >= shift.first && r.bottom <= shift.last)
        return std::nullopt;
    if (r.top > shift.first)
        r.top = shift.first;
    r.bottom = r.bottom > shift.last ? r.bottom - count : shift.first - 1;
    return r;
}

} // namespace store
