#include "store/formula/refshift.h"

#include "store/formula/ptg.h"

#include <algorithm>

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

// Shifts the expression stored at `at` (cce at at - 2) of a record; true when it changed.
bool shiftStored(QByteArray &record, int cceAt, const Site &site, const RowShift &shift,
                 const XtiTable &xtis, bool *reads = nullptr)
{
    if (cceAt < 0 || record.size() < cceAt + 2)
        return false;
    const int cce = u16(bytes(record) + cceAt);
    if (record.size() < cceAt + 2 + cce)
        return false;   // malformed: left as it is
    QByteArray expr = record.mid(cceAt + 2);
    if (reads)
        *reads = readsMovedCells(expr, cce, site, shift, xtis);
    if (shiftExpression(expr, cce, site, shift, xtis) == ShiftResult::Unchanged)
        return false;
    record.replace(cceAt + 2, expr.size(), expr);
    return true;
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
        const auto rect = parseReference(*ref);
        if (!rect)
            continue;
        if (rect->top == 1 && rect->bottom == kMaxRows)
            continue;   // whole columns
        const auto after = shiftRange(*rect, shift);
        *ref = after ? absoluteAddress(*after) : QString();
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

bool usesNames(const QByteArray &rgce, qsizetype cce, const std::vector<int> &names)
{
    if (names.empty())
        return false;
    std::vector<ptg::Token> tokens;
    if (!ptg::tokenize(rgce, cce, tokens))
        return false;
    const uint8_t *p = bytes(rgce);
    for (const ptg::Token &t : tokens)
        if (t.classed() && t.base() == ptg::kName
            && std::binary_search(names.begin(), names.end(), int(u16(p + t.offset + 1))))
            return true;
    return false;
}

void markForRecalculation(Formula &f)
{
    if (f.record.size() < kFormulaRgce)
        return;
    uint8_t *p = bytes(f.record);
    put16(p + kFormulaFlags, uint16_t(u16(p + kFormulaFlags) | kAlwaysCalc));
}

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
        const bool edited = &ws == &sheet;
        const int tab = tabOf(book, ws);
        std::vector<Formula> &formulas = ws.formulas();
        auto &rows = ws.rowsStorage();
        for (size_t r = 0; r < rows.size(); ++r) {
            std::vector<Cell> &cells = rows[r].cells;
            for (size_t c = 0; c < cells.size(); ++c) {
                const Cell &cell = cells[c];
                if (!cell.isFormula() || cell.ref >= formulas.size())
                    continue;
                Formula &f = formulas[cell.ref];
                const int row = int(r) + 1, column = int(c) + 1;
                Site site{tab, edited ? oldRow(row, column) : row, column, Site::Form::Cell};
                bool reads = false;
                const bool changed = shiftStored(f.record, kFormulaCce, site, shift, xtis, &reads);
                if (changed || reads || usesNames(f.record.mid(kFormulaRgce), u16(bytes(f.record) + kFormulaCce), changedNames))
                    markForRecalculation(f);
            }
        }
        if (ws.extras)
            shiftChartSeries(nullptr, &ws.extras->records, shift, xtis);
    }
}

} // namespace store
