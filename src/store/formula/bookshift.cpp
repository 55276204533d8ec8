#include "store/formula/refshift.h"

#include "store/formula/ptg.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

// The workbook-wide pass of a structural edit: every place that holds a parsed formula.

namespace store {

using biff::put16;
using biff::u16;

namespace {

constexpr uint16_t kBrai = 0x1051;           // a chart series' data reference
constexpr int kFormulaFlags = 8;             // Formula::record: result (8), flags (2), chn (4), cce (2), rgce
constexpr int kFormulaCce = 14;
constexpr int kFormulaRgce = 16;
constexpr uint16_t kAlwaysCalc = 0x0001;     // recalculate on the next calculation
constexpr uint16_t kSharedFlag = 0x0008;     // fShrFmla

uint8_t *bytes(QByteArray &b) { return reinterpret_cast<uint8_t *>(b.data()); }
const uint8_t *bytes(const QByteArray &b) { return reinterpret_cast<const uint8_t *>(b.constData()); }

// The tab number 3-D tokens and RowShift use for a sheet: its tab in the file read; sheets
// the program made get numbers no EXTERNSHEET entry can name.
int tabOf(const Workbook &book, const Worksheet &ws)
{
    if (ws.extras && ws.extras->originalTab >= 0)
        return ws.extras->originalTab;
    return -1000 - book.indexOf(ws);
}

// Shifts the expression of a record whose cce field is at cceAt (the tokens follow it);
// true when it changed. `reads` tells whether it reads cells that moved.
bool shiftStored(QByteArray &record, int cceAt, const Site &site, const RowShift &shift,
                 const XtiTable &xtis, bool *reads = nullptr)
{
    if (reads)
        *reads = false;
    if (cceAt < 0 || record.size() < cceAt + 2)
        return false;
    const int cce = u16(bytes(record) + cceAt);
    if (record.size() < cceAt + 2 + cce)
        return false;   // malformed: left as it is
    // The shifter checks every token before it changes one: working in place is safe.
    uint8_t *tokens = bytes(record) + cceAt + 2;
    if (shiftExpression(tokens, cce, site, shift, xtis) == ShiftResult::Changed) {
        if (reads)
            *reads = true;   // a reference that changed read cells that moved or went
        return true;
    }
    // Unchanged tokens are the tokens as they were: ask what they read.
    if (reads)
        *reads = readsMovedCells(tokens, cce, site, shift, xtis);
    return false;
}

// Names: the workbook's NAME records, their 1-based numbers when they changed.
std::vector<int> shiftNames(Workbook &book, const RowShift &shift, const XtiTable &xtis)
{
    std::vector<int> changed;
    if (!book.extras)
        return changed;
    int number = 0;
    for (biff::NameRecord &n : book.extras->names) {
        ++number;
        QByteArray &r = n.record;
        if (r.size() < 15)
            continue;
        const uint8_t *p = bytes(r);
        const int nameLength = p[3];
        const int nameBytes = 1 + ((p[14] & 0x01) ? 2 * nameLength : nameLength);
        const int cceAt = 4;
        const int rgceAt = 14 + nameBytes;
        const int cce = u16(p + cceAt);
        if (rgceAt + cce > r.size())
            continue;
        QByteArray expr = r.mid(rgceAt);
        Site site;
        site.form = Site::Form::Name;
        const bool reads = readsMovedCells(expr, cce, site, shift, xtis);
        if (shiftExpression(expr, cce, site, shift, xtis) == ShiftResult::Changed) {
            r.replace(rgceAt, expr.size(), expr);
            changed.push_back(number);
        } else if (reads) {
            changed.push_back(number);   // its cells moved: formulas using it read new values
        }
    }
    return changed;
}

// The page set-up's print area and titles of the edited sheet follow its rows.
void shiftPageSetup(Worksheet &sheet, const RowShift &shift)
{
    PageSetup &ps = sheet.pageSetup();
    for (QString *ref : {&ps.printArea, &ps.printTitleRows}) {
        if (ref->isEmpty())
            continue;
        // A print area may hold several areas joined by commas: each follows on its own.
        QStringList parts;
        bool readable = true;
        for (const QString &part : ref->split(u',', Qt::SkipEmptyParts)) {
            const auto rect = parseReference(part.trimmed());
            if (!rect) {
                readable = false;
                break;
            }
            if (rect->top == 1 && rect->bottom == kMaxRows) {
                parts << part.trimmed();   // whole columns
                continue;
            }
            if (const auto after = shiftRange(*rect, shift))
                parts << absoluteAddress(*after);
        }
        if (readable)
            *ref = parts.join(u',');
    }
}

// Chart series: BRAI records (id, rt, flags, ifmt, cce, rgce) of chart sheets and of the
// charts embedded in worksheets.
void shiftChartSeries(std::vector<biff::RawRecord> *raw, std::vector<biff::PlacedRecord> *placed,
                      const RowShift &shift, const XtiTable &xtis)
{
    Site site;
    site.form = Site::Form::Name;
    if (raw)
        for (biff::RawRecord &r : *raw)
            if (r.type == kBrai)
                shiftStored(r.data, 6, site, shift, xtis);
    if (placed)
        for (biff::PlacedRecord &r : *placed)
            if (r.type == kBrai)
                shiftStored(r.data, 6, site, shift, xtis);
}

void markForRecalculation(Formula &f)
{
    if (f.record.size() < kFormulaRgce)
        return;
    uint8_t *p = bytes(f.record);
    put16(p + kFormulaFlags, uint16_t(u16(p + kFormulaFlags) | kAlwaysCalc));
}

// One formula cell of a sheet: where it is, where it was before the edit.
struct FormulaCell {
    int row, column, oldRow;
    uint32_t index;
};

// A SHRFMLA record and the cells that use it (their FORMULA holds a ptgExp naming its cell).
struct SharedGroup {
    uint32_t host;            // formula index the record follows
    RangeRect range;          // before the edit
    bool materializable = true;
    std::vector<size_t> members;   // into SheetPass::cells
};

// The tokens of a shared formula made into an ordinary formula of the cell row/column
// (1-based): offsets become positions. False for tokens without an ordinary form of the
// same size.
bool materialize(uint8_t *p, int cce, int row, int column)
{
    std::vector<ptg::Token> tokens;
    if (!ptg::tokenize(p, cce, tokens))
        return false;
    auto place = [&](uint8_t *rowField, uint8_t *colField) {
        const uint16_t col = u16(colField);
        if (col & ptg::kRowRelative)
            put16(rowField, uint16_t((row - 1 + int16_t(u16(rowField))) & 0xFFFF));
        if (col & ptg::kColumnRelative)
            put16(colField, uint16_t((col & 0xFF00) | ((column - 1 + int8_t(col & 0xFF)) & 0xFF)));
    };
    for (const ptg::Token &t : tokens) {
        if (!t.classed())
            continue;
        uint8_t *q = p + t.offset;
        const uint8_t cls = q[0] & 0x60;
        switch (t.base()) {
        case ptg::kRefN: q[0] = uint8_t(cls | ptg::kRef); place(q + 1, q + 3); break;
        case ptg::kAreaN: q[0] = uint8_t(cls | ptg::kArea); place(q + 1, q + 5); place(q + 3, q + 7); break;
        case ptg::kRef3d: place(q + 3, q + 5); break;
        case ptg::kArea3d: place(q + 3, q + 7); place(q + 5, q + 9); break;
        case ptg::kMemAreaN: case ptg::kMemNoMemN: return false;
        default: break;
        }
    }
    return true;
}

bool isExp(const Formula &f)
{
    return f.record.size() >= kFormulaRgce + 5 && u16(bytes(f.record) + kFormulaCce) == 5
        && uint8_t(f.record[kFormulaRgce]) == ptg::kExp;
}

RangeRect refU(const QByteArray &d)   // RefU: rwFirst, rwLast, colFirst, colLast (0-based)
{
    const uint8_t *p = bytes(d);
    return {u16(p) + 1, p[4] + 1, u16(p + 2) + 1, p[5] + 1};
}

void setRefU(QByteArray &d, const RangeRect &r)
{
    uint8_t *p = bytes(d);
    put16(p, uint16_t(r.top - 1));
    put16(p + 2, uint16_t(r.bottom - 1));
}

bool contains(const RangeRect &r, int row, int column)
{
    return row >= r.top && row <= r.bottom && column >= r.left && column <= r.right;
}

// The pass over one sheet: its cell formulas and the records that follow them.
struct SheetPass {
    Workbook &book;
    Worksheet &ws;
    bool edited;
    const RowShift &shift;
    const XtiTable &xtis;
    const std::vector<int> &changedNames;
    std::function<int(int, int)> oldRow;   // edited sheet only

    std::vector<FormulaCell> cells;
    int tab = 0;

    void run()
    {
        tab = tabOf(book, ws);
        collectCells();
        if (ws.extras)
            unshare();
        std::vector<Formula> &formulas = ws.formulas();
        for (const FormulaCell &fc : cells) {
            Formula &f = formulas[fc.index];
            const Site site{tab, fc.oldRow, fc.column, Site::Form::Cell};
            bool reads = false;
            const bool changed = shiftStored(f.record, kFormulaCce, site, shift, xtis, &reads);
            if (changed || reads || usesNames(f))
                markForRecalculation(f);
        }
        if (!ws.extras)
            return;
        arraysAndTables();
        shiftChartSeries(nullptr, &ws.extras->records, shift, xtis);
    }

    void collectCells()
    {
        const std::vector<Formula> &formulas = ws.formulas();
        if (formulas.empty())
            return;   // a sheet of values only: nothing to walk
        const auto &rows = ws.rowsStorage();
        for (size_t r = 0; r < rows.size(); ++r) {
            const std::vector<Cell> &row = rows[r].cells;
            for (size_t c = 0; c < row.size(); ++c) {
                const Cell &cell = row[c];
                if (!cell.isFormula() || cell.ref >= formulas.size())
                    continue;
                const int rr = int(r) + 1, cc = int(c) + 1;
                cells.push_back({rr, cc, oldRow ? oldRow(rr, cc) : rr, cell.ref});
            }
        }
    }

    bool usesNames(const Formula &f) const
    {
        if (changedNames.empty() || f.record.size() < kFormulaRgce)
            return false;
        const int cce = u16(bytes(f.record) + kFormulaCce);
        if (f.record.size() < kFormulaRgce + cce)
            return false;
        std::vector<ptg::Token> tokens;
        const uint8_t *p = bytes(f.record) + kFormulaRgce;
        if (!ptg::tokenize(p, cce, tokens))
            return false;
        for (const ptg::Token &t : tokens)
            if (t.classed() && t.base() == ptg::kName
                && std::binary_search(changedNames.begin(), changedNames.end(), int(u16(p + t.offset + 1))))
                return true;
        return false;
    }

    // Shared formulas whose cells the edit moves, changes or splits become ordinary
    // formulas with the same meaning, cell by cell; the others stay shared.
    void unshare()
    {
        auto &followers = ws.extras->formulaFollowers;
        std::vector<SharedGroup> groups;
        std::map<std::pair<int, int>, size_t> byCorner;
        for (auto &[host, list] : followers) {
            for (size_t j = 0; j < list.size(); ++j) {
                if (list[j].type != biff::kShrFmla || list[j].data.size() < 10)
                    continue;
                SharedGroup g{host, refU(list[j].data), true, {}};
                const int cce = u16(bytes(list[j].data) + 8);
                g.materializable = 10 + cce <= list[j].data.size()
                    && !(j + 1 < list.size() && list[j + 1].type == biff::kContinue);
                byCorner.emplace(std::make_pair(g.range.top, g.range.left), groups.size());
                groups.push_back(std::move(g));
                break;   // one shared formula follows a cell
            }
        }
        if (groups.empty())
            return;
        std::vector<Formula> &formulas = ws.formulas();
        for (size_t k = 0; k < cells.size(); ++k) {
            const Formula &f = formulas[cells[k].index];
            if (!isExp(f))
                continue;
            const uint8_t *e = bytes(f.record) + kFormulaRgce;
            const int row = u16(e + 1) + 1, column = u16(e + 3) + 1;
            auto it = byCorner.find({row, column});
            size_t g = it != byCorner.end() ? it->second : groups.size();
            if (g == groups.size() || !contains(groups[g].range, row, column))
                for (g = 0; g < groups.size() && !contains(groups[g].range, row, column); ++g) {
                }
            if (g < groups.size())
                groups[g].members.push_back(k);
        }
        for (SharedGroup &g : groups) {
            if (g.members.empty() || !g.materializable)
                continue;
            auto &list = followers[g.host];
            auto rec = std::find_if(list.begin(), list.end(), [](const biff::RawRecord &r) { return r.type == biff::kShrFmla; });
            const QByteArray &shared = rec->data;
            const int cce = u16(bytes(shared) + 8);
            std::vector<QByteArray> plain;
            bool split = false, ok = true;
            std::vector<bool> reads(g.members.size(), false);
            for (size_t m = 0; m < g.members.size() && ok; ++m) {
                const FormulaCell &fc = cells[g.members[m]];
                QByteArray r = formulas[fc.index].record.left(kFormulaCce);
                put16(bytes(r) + kFormulaFlags, uint16_t(u16(bytes(r) + kFormulaFlags) & ~kSharedFlag));
                r.append(shared.mid(8));   // cce, tokens, extra data
                ok = materialize(bytes(r) + kFormulaRgce, cce, fc.oldRow, fc.column);
                QByteArray probe = r;
                bool readsMoved = false;
                const Site site{tab, fc.oldRow, fc.column, Site::Form::Cell};
                if (shiftStored(probe, kFormulaCce, site, shift, xtis, &readsMoved) || fc.oldRow != fc.row)
                    split = true;
                reads[m] = readsMoved;
                plain.push_back(std::move(r));
            }
            if (!ok)
                continue;
            if (!split) {
                // Kept shared: only the stale results need telling.
                for (size_t m = 0; m < g.members.size(); ++m)
                    if (reads[m])
                        markForRecalculation(formulas[cells[g.members[m]].index]);
                continue;
            }
            for (size_t m = 0; m < g.members.size(); ++m)
                formulas[cells[g.members[m]].index].record = std::move(plain[m]);
            // The record goes, with the CONTINUE records that carried the rest of it.
            auto end = rec + 1;
            while (end != list.end() && end->type == biff::kContinue)
                ++end;
            list.erase(rec, end);
        }
    }

    // An array formula whose rows the sort moved together (a one-row array always does)
    // moves with them; one whose rows were scattered keeps its range.
    void moveSortedArray(QByteArray &data, const RangeRect &before) const
    {
        const int delta = shift.rowAfter(before.top, before.left) - before.top;
        if (delta == 0)
            return;
        for (int row = before.top; row <= before.bottom; ++row)
            for (int column = before.left; column <= before.right; ++column)
                if (shift.rowAfter(row, column) - row != delta)
                    return;
        setRefU(data, {before.top + delta, before.left, before.bottom + delta, before.right});
    }

    // ARRAY and TABLE records: their tokens, their ranges and input cells.
    void arraysAndTables()
    {
        auto &followers = ws.extras->formulaFollowers;
        std::vector<std::pair<uint32_t, RangeRect>> moves;   // arrays whose first cell went
        for (auto &[host, list] : followers) {
            for (biff::RawRecord &r : list) {
                if (r.type == biff::kArray && r.data.size() >= 14) {
                    const RangeRect before = refU(r.data);
                    const Site site{tab, before.top, before.left, Site::Form::Cell};
                    bool reads = false;
                    const bool changed = shiftStored(r.data, 12, site, shift, xtis, &reads);
                    if (changed || reads)
                        put16(bytes(r.data) + 6, uint16_t(u16(bytes(r.data) + 6) | kAlwaysCalc));
                    if (!edited)
                        continue;
                    if (shift.kind == RowShift::Sort) {
                        moveSortedArray(r.data, before);
                        continue;
                    }
                    const auto after = shiftRange(before, shift);
                    if (!after)
                        continue;   // wholly deleted, with its cells
                    setRefU(r.data, *after);
                    if (shift.rowAfter(before.top, before.left) == 0)
                        moves.push_back({host, *after});
                } else if (r.type == biff::kTable && r.data.size() >= 16 && edited && shift.kind == RowShift::Delete) {
                    const auto after = shiftRange(refU(r.data), shift);
                    if (!after)
                        continue;
                    setRefU(r.data, *after);
                    uint8_t *p = bytes(r.data);
                    for (int at : {8, 12}) {
                        const int moved = shift.rowAfter(u16(p + at) + 1, u16(p + at + 2) + 1);
                        if (moved > 0)
                            put16(p + at, uint16_t(moved - 1));
                    }
                    put16(p + 6, uint16_t(u16(p + 6) | kAlwaysCalc));
                }
            }
        }
        // An array whose first row was deleted continues from its new first cell.
        std::vector<Formula> &formulas = ws.formulas();
        for (const auto &[host, range] : moves) {
            const Cell *corner = ws.cellAt(range.top, range.left);
            if (!corner || !corner->isFormula() || corner->ref >= formulas.size() || !isExp(formulas[corner->ref]))
                continue;
            auto &from = followers[host];
            auto rec = std::find_if(from.begin(), from.end(), [](const biff::RawRecord &r) { return r.type == biff::kArray; });
            if (rec == from.end())
                continue;
            auto &to = followers[corner->ref];
            to.insert(to.begin(), std::move(*rec));
            from.erase(rec);
            for (int row = range.top; row <= range.bottom; ++row)
                for (int column = range.left; column <= range.right; ++column) {
                    const Cell *c = ws.cellAt(row, column);
                    if (c && c->isFormula() && c->ref < formulas.size() && isExp(formulas[c->ref])) {
                        uint8_t *e = bytes(formulas[c->ref].record) + kFormulaRgce;
                        put16(e + 1, uint16_t(range.top - 1));
                        put16(e + 3, uint16_t(range.left - 1));
                    }
                }
        }
    }
};

} // namespace

RowShift rowShiftFor(const Worksheet &sheet, RowShift::Kind kind, int first, int last)
{
    RowShift s;
    s.sheetTab = tabOf(sheet.workbook(), sheet);
    s.kind = kind;
    s.first = first;
    s.last = last;
    return s;
}

void shiftFormulas(Workbook &book, const RowShift &shift)
{
    for (int i = 1; i <= book.sheetCount(); ++i) {
        Worksheet &ws = book.sheet(i);
        if (tabOf(book, ws) == shift.sheetTab) {
            shiftFormulas(book, ws, shift);
            return;
        }
    }
}

void shiftFormulas(Workbook &book, Worksheet &sheet, const RowShift &given)
{
    RowShift shift = given;
    shift.sheetTab = tabOf(book, sheet);
    if (shift.first > shift.last)
        std::swap(shift.first, shift.last);
    const XtiTable xtis = book.extras ? XtiTable::of(*book.extras) : XtiTable{};

    std::vector<int> changedNames = shiftNames(book, shift, xtis);
    std::sort(changedNames.begin(), changedNames.end());
    shiftPageSetup(sheet, shift);
    if (book.extras)
        for (biff::OtherSheet &o : book.extras->otherSheets)
            shiftChartSeries(&o.records, nullptr, shift, xtis);

    // The old row of each row of the edited sheet, for the cells that moved.
    const int count = shift.last - shift.first + 1;
    std::vector<int> oldRowOf;
    if (shift.kind == RowShift::Sort) {
        oldRowOf.assign(shift.newRowOf.size(), 0);
        for (size_t i = 0; i < shift.newRowOf.size(); ++i) {
            const int to = shift.newRowOf[i] - shift.first;
            if (to >= 0 && size_t(to) < oldRowOf.size())
                oldRowOf[size_t(to)] = shift.first + int(i);
        }
    }
    auto oldRow = [&](int row, int column) {
        if (shift.kind == RowShift::Delete)
            return row < shift.first ? row : row + count;
        if (row < shift.first || row > shift.last || column < shift.left || column > shift.right)
            return row;
        const size_t i = size_t(row - shift.first);
        return i < oldRowOf.size() && oldRowOf[i] > 0 ? oldRowOf[i] : row;
    };

    for (int i = 1; i <= book.sheetCount(); ++i) {
        Worksheet &ws = book.sheet(i);
        SheetPass pass{book, ws, &ws == &sheet, shift, xtis, changedNames, {}, {}, 0};
        if (pass.edited)
            pass.oldRow = oldRow;
        pass.run();
    }
}

} // namespace store
