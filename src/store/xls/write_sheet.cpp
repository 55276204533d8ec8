// Writing one sheet substream: the head, page setup, columns, the cell table with its ROW and
// DBCELL records, the window; and the chart, macro or dialog sheets carried as read.

#include "store/xls/writer.h"

#include "store/biff/biff.h"
#include "store/xls/page_records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace store::xlswrite {

using namespace biff;

namespace {

// The RK form of a number when it has one exactly.
bool toRk(double v, uint32_t &rk)
{
    if (std::isfinite(v) && v == std::floor(v) && v >= -536870912.0 && v <= 536870911.0) {
        rk = (uint32_t(int32_t(v)) << 2) | 0x02;
        return true;
    }
    const double x100 = v * 100.0;
    if (std::isfinite(x100) && x100 == std::floor(x100) && x100 >= -536870912.0 && x100 <= 536870911.0
        && x100 / 100.0 == v) {
        rk = (uint32_t(int32_t(x100)) << 2) | 0x03;
        return true;
    }
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    if ((bits & 0x3FFFFFFFFull) == 0) {
        rk = uint32_t(bits >> 32);
        return true;
    }
    return false;
}

} // namespace

void Writer::formulaRecord(const Worksheet &ws, uint16_t row, uint16_t col, const Cell &c)
{
    const Formula &f = ws.formulas()[c.ref];
    const qsizetype at = m_out.begin(kFormula);
    m_out.u16(row);
    m_out.u16(col);
    m_out.u16(c.xf);
    m_out.raw(f.record.left(kMaxRecordData - 6));
    m_out.end(at);
    const BiffExtras *bx = ws.extras.get();
    if (bx) {
        auto it = bx->formulaFollowers.find(c.ref);
        if (it != bx->formulaFollowers.end())
            for (const RawRecord &r : it->second)
                m_out.record(r.type, r.data);
    }
    const uint8_t *v = reinterpret_cast<const uint8_t *>(f.record.constData());
    if (u16(v + 6) == 0xFFFF && v[0] == 0) {
        ContinuedWriter sw(m_out, kString);
        sw.string(f.cachedText.left(kMaxStoredText));
        sw.finish();
    }
}

namespace {

// The first and last saved column of a row, 1-based (0, 0 when it has none).
std::pair<int, int> savedSpan(const Worksheet &ws, int r)
{
    const auto &rowStore = ws.rowsStorage();
    if (size_t(r) > rowStore.size())
        return {0, 0};
    const std::vector<Cell> &cells = rowStore[size_t(r - 1)].cells;
    int first = 0, last = 0;
    for (size_t c = 0; c < cells.size(); ++c) {
        if (isSaved(cells[c])) {
            if (!first)
                first = int(c) + 1;
            last = int(c) + 1;
        }
    }
    return {first, last};
}

bool customHeight(double height, double defaultHeight)
{
    return std::abs(height - defaultHeight) > 1e-9;
}

} // namespace

// The last row that needs a ROW record: the last with cells, a height of its own or a format.
int Writer::lastRowWritten(const Worksheet &ws, const CellExtent &extent) const
{
    const double defaultHeight = ws.defaultRowHeight();
    int lastRow = extent.lastRow;
    for (int r = kMaxRows; r > lastRow; --r) {
        if (customHeight(ws.rowHeight(r), defaultHeight)) {
            lastRow = r;
            break;
        }
    }
    const std::vector<RowFormat> &rowFormats = ws.rowFormats();
    for (int r = std::min<int>(int(rowFormats.size()), kMaxRows); r > lastRow; --r) {
        if (!(rowFormats[size_t(r - 1)] == RowFormat())) {
            lastRow = r;
            break;
        }
    }
    return lastRow;
}

// The rows of a block of up to 32 that need a ROW record.
void Writer::blockRows(const Worksheet &ws, int top, int bottom, std::vector<RowInfo> &rows) const
{
    const double defaultHeight = ws.defaultRowHeight();
    const std::vector<RowFormat> &rowFormats = ws.rowFormats();
    const RowFormat plain;
    rows.clear();
    for (int r = top; r <= bottom; ++r) {
        const auto [first, last] = savedSpan(ws, r);
        const double h = ws.rowHeight(r);
        RowFormat format = size_t(r) <= rowFormats.size() ? rowFormats[size_t(r - 1)] : plain;
        if (format.formatted && format.xf >= m_book.styles.xfs.size())
            format.formatted = false;   // a format that is no longer there: the row keeps the rest
        if (!first && !customHeight(h, defaultHeight) && format == plain)
            continue;
        rows.push_back({r, first, last, h, format});
    }
}

// ROW records of a block: span, height, options, format.
void Writer::rowRecords(const std::vector<RowInfo> &rows, double defaultHeight)
{
    uint8_t *p = m_out.grow(qsizetype(rows.size()) * 20);
    for (const RowInfo &ri : rows) {
        const bool custom = customHeight(ri.height, defaultHeight);
        put16(p, kRow);
        put16(p + 2, 16);
        put16(p + 4, uint16_t(ri.row - 1));
        put16(p + 6, uint16_t(ri.first ? ri.first - 1 : 0));
        put16(p + 8, uint16_t(ri.last));
        put16(p + 10, uint16_t(std::clamp<long>(std::lround(ri.height * 20), 0, 8192)));
        put16(p + 12, 0);
        put16(p + 14, 0);
        const RowFormat &f = ri.format;
        put16(p + 16, uint16_t(0x0100 | (custom ? 0x0040 : 0) | (f.outlineLevel & 0x07) | (f.collapsed ? 0x0010 : 0)
                               | (f.hidden ? 0x0020 : 0) | (f.formatted ? 0x0080 : 0)));
        put16(p + 18, uint16_t((f.formatted ? f.xf & 0x0FFF : Styles::kDefaultCellXf) | ((f.marks & 0x07) << 12)));
        p += 20;
    }
}

// The saved cells of one row: formulas with their followers, RK or NUMBER, LABELSST,
// BOOLERR, BLANK.
void Writer::rowCells(const Worksheet &ws, const RowInfo &ri)
{
    const std::vector<Formula> &formulas = ws.formulas();
    const size_t sstSize = m_sstOf.size();
    const Cell *cells = ws.rowsStorage()[size_t(ri.row - 1)].cells.data();
    const uint16_t row = uint16_t(ri.row - 1);
    for (int col = ri.first - 1; col < ri.last; ++col) {
        const Cell &c = cells[col];
        if (!isSaved(c))
            continue;
        if (c.isFormula() && c.ref < formulas.size() && formulas[c.ref].record.size() >= 14) {
            formulaRecord(ws, row, uint16_t(col), c);
            continue;
        }
        switch (c.kind) {
        case CellKind::Number: {
            uint32_t rk;
            if (toRk(c.number, rk))
                put32(cellRecord(kRk, 4, row, col, c.xf), rk);
            else
                std::memcpy(cellRecord(kNumber, 8, row, col, c.xf), &c.number, 8);
            break;
        }
        case CellKind::Text:
            put32(cellRecord(kLabelSst, 4, row, col, c.xf), c.ref < sstSize ? m_sstOf[c.ref] : 0);
            break;
        case CellKind::Boolean:
        case CellKind::Error: {
            uint8_t *o = cellRecord(kBoolErr, 2, row, col, c.xf);
            o[0] = c.kind == CellKind::Boolean ? (c.number != 0 ? 1 : 0) : uint8_t(c.number);
            o[1] = c.kind == CellKind::Error ? 1 : 0;
            break;
        }
        case CellKind::Empty:
            cellRecord(kBlank, 0, row, col, c.xf);
            break;
        }
    }
}

// The cell table in blocks of 32 rows: their ROW records, their cells row by row, and a
// DBCELL that points back at the first ROW record and at each row's first cell.
void Writer::cellTable(const Worksheet &ws, const CellExtent &extent)
{
    const int lastRow = lastRowWritten(ws, extent);
    std::vector<RowInfo> rows;
    rows.reserve(32);
    std::vector<uint16_t> offsets;
    offsets.reserve(32);
    for (int blockTop = 1; blockTop <= lastRow; blockTop += 32) {
        blockRows(ws, blockTop, std::min(blockTop + 31, lastRow), rows);
        if (rows.empty())
            continue;
        const qsizetype firstRowAt = m_out.size();
        rowRecords(rows, ws.defaultRowHeight());
        offsets.clear();
        qsizetype previous = firstRowAt + 20;   // the end of the first ROW record
        for (const RowInfo &ri : rows) {
            if (!ri.first) {
                offsets.push_back(0);
                continue;
            }
            const qsizetype start = m_out.size();
            rowCells(ws, ri);
            offsets.push_back(uint16_t(std::min<qsizetype>(start - previous, 0xFFFF)));
            previous = start;
        }
        const qsizetype dbcell = m_out.begin(kDbCell);
        m_out.u32(uint32_t(dbcell - firstRowAt));
        for (uint16_t o : offsets)
            m_out.u16(o);
        m_out.end(dbcell);
    }
}

// BOF, the calculation settings, the print flags, the row defaults and WSBOOL.
void Writer::sheetHead(const Worksheet &ws, const BiffExtras &bx)
{
    const PageSetup &ps = ws.pageSetup();

    bof(0x0010);

    carriedOr(bx, kCalcMode, le16(1));
    carriedOr(bx, kCalcCount, le16(100));
    carriedOr(bx, kRefMode, le16(1));
    carriedOr(bx, kIteration, le16(0));
    {
        QByteArray delta(8, '\0');
        const double d = 0.001;
        std::memcpy(delta.data(), &d, 8);
        carriedOr(bx, kDelta, delta);
    }
    carriedOr(bx, kSaveRecalc, le16(1));
    carried(bx, Place::SheetHead);
    writePrintFlags(m_out, ps, bx);
    carriedOr(bx, kGridSet, le16(1));
    carriedOr(bx, kGuts, QByteArray(8, '\0'));
    {
        QByteArray drh(4, '\0');
        put16(reinterpret_cast<uint8_t *>(drh.data()), bx.defaultRowFlags);
        put16(reinterpret_cast<uint8_t *>(drh.data()) + 2, uint16_t(std::clamp<long>(std::lround(ws.defaultRowHeight() * 20), 1, 8191)));
        m_out.record(kDefaultRowHeight, drh);
    }
    {
        uint16_t wsBool = bx.wsBool;
        if (ps.zoom)
            wsBool &= ~0x0100;
        else
            wsBool |= 0x0100;
        m_out.record16(kWsBool, wsBool);
    }
}

// Columns: default width, then runs of columns with the same width, format and flags.
void Writer::columns(const Worksheet &ws, const BiffExtras &bx)
{
    const double defaultWidth = ws.defaultColumnWidth();
    m_out.record16(kDefColWidth, uint16_t(std::clamp<long>(long(std::floor(defaultWidth)), 0, 255)));
    {
        struct Col { uint16_t width; uint16_t xf; uint16_t flags; bool custom; };
        auto colAt = [&](int c) -> Col {
            const double w = ws.columnWidth(c);
            const uint16_t xf = ws.columnXf(c);
            auto f = bx.columnFlags.find(c);
            const uint16_t flags = f != bx.columnFlags.end() ? f->second : 0;
            const bool customWidth = std::abs(w - defaultWidth) > 1e-9;
            const double chars = customWidth ? w : defaultWidth;
            const uint16_t width = uint16_t(std::clamp<long>(std::lround((chars + 5.0 / 7.0) * 256), 0, 0xFFFF));
            return {uint16_t((flags & 0x0001) ? 0 : width),
                    xf ? xf : Styles::kDefaultCellXf, uint16_t(flags | (customWidth ? 0x0002 : 0)),
                    customWidth || xf != 0 || flags != 0};
        };
        int c = 1;
        while (c <= kMaxColumns) {
            const Col here = colAt(c);
            int last = c;
            while (last < kMaxColumns) {
                const Col n = colAt(last + 1);
                if (n.width != here.width || n.xf != here.xf || n.flags != here.flags || n.custom != here.custom)
                    break;
                ++last;
            }
            if (here.custom) {
                m_out.u16(kColInfo);
                m_out.u16(12);
                m_out.u16(uint16_t(c - 1));
                m_out.u16(uint16_t(last - 1));
                m_out.u16(here.width);
                m_out.u16(here.xf);
                m_out.u16(here.flags);
                m_out.u16(0);
            }
            c = last + 1;
        }
    }
}

void Writer::sheet(const Worksheet &ws, size_t tabIndex)
{
    const BiffExtras &bx = ws.extras ? *ws.extras : noExtras();
    const PageSetup &ps = ws.pageSetup();

    sheetHead(ws, bx);
    carried(bx, Place::SheetBreaks);
    writePageLayout(m_out, ps, bx);
    carried(bx, Place::SheetPrinter);
    writeSetup(m_out, ps, bx);
    carried(bx, Place::SheetPage);
    columns(ws, bx);
    carried(bx, Place::SheetColumns);

    const CellExtent &extent = m_extents[tabIndex];
    {
        int firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
        if (extent.count) {
            firstRow = extent.firstRow - 1;
            lastRow = extent.lastRow;
            firstCol = extent.firstColumn - 1;
            lastCol = extent.lastColumn;
        }
        m_out.u16(kDimensions);
        m_out.u16(14);
        m_out.u32(uint32_t(firstRow));
        m_out.u32(uint32_t(lastRow));
        m_out.u16(uint16_t(firstCol));
        m_out.u16(uint16_t(lastCol));
        m_out.u16(0);
    }
    cellTable(ws, extent);
    carried(bx, Place::SheetCells);
    window(ws, bx);
    carried(bx, Place::SheetTail);
    m_out.empty(kEof);
}

// WINDOW2, the records carried after it, PANE when panes are frozen, then SELECTION.
void Writer::window(const Worksheet &ws, const BiffExtras &bx)
{
    const SheetView &view = ws.view();

    // WINDOW2: options, then the top-left visible cell and colours.
    const bool active = ws.isActive();
    const bool frozen = view.frozen && (view.frozenAt.row > 1 || view.frozenAt.column > 1);
    {
        QByteArray w2 = bx.window2.size() >= 18 ? bx.window2.left(18) : QByteArray(18, '\0');
        uint8_t *p = reinterpret_cast<uint8_t *>(w2.data());
        uint16_t flags = bx.window2.size() >= 10 ? u16(p) : uint16_t(0x00B6);
        if (bx.window2.size() >= 10 && bx.window2.size() < 18)
            std::memset(p + 10, 0, 8);
        flags &= ~uint16_t(0x0008 | 0x0100 | 0x0200 | 0x0400);
        if (frozen)
            flags |= 0x0008 | 0x0100;
        if (active)
            flags |= 0x0200 | 0x0400;
        put16(p, flags);
        if (bx.window2.size() < 10)
            put16(p + 6, 0x0040);   // automatic gridline colour
        m_out.record(kWindow2, w2);
    }
    carried(bx, Place::SheetWindow);
    int pane = 3;
    if (frozen) {
        const int x = view.frozenAt.column - 1, y = view.frozenAt.row - 1;
        pane = (x > 0 && y > 0) ? 0 : (y > 0 ? 2 : 1);
        m_out.u16(kPane);
        m_out.u16(10);
        m_out.u16(uint16_t(x));
        m_out.u16(uint16_t(y));
        m_out.u16(uint16_t(y));
        m_out.u16(uint16_t(x));
        m_out.u8(uint8_t(pane));
        m_out.u8(0);
    }
    {
        const RangeRect &r = view.selection;
        m_out.u16(kSelection);
        m_out.u16(15);
        m_out.u8(uint8_t(pane));
        m_out.u16(uint16_t(view.activeCell.row - 1));
        m_out.u16(uint16_t(view.activeCell.column - 1));
        m_out.u16(0);
        m_out.u16(1);
        m_out.u16(uint16_t(r.top - 1));
        m_out.u16(uint16_t(r.bottom - 1));
        m_out.u8(uint8_t(r.left - 1));
        m_out.u8(uint8_t(r.right - 1));
    }
}

// A chart, macro or dialog sheet as it was read; the texts of its cells point into the new
// shared-string table.
void Writer::otherSheet(const OtherSheet &other)
{
    forEachRecord(other, [&](const RawRecord &r, bool label) {
        const qsizetype at = m_out.size() + 4;
        m_out.record(r.type, r.data);
        if (label) {
            const uint32_t ref = u32(reinterpret_cast<const uint8_t *>(r.data.constData()) + 6);
            put32(m_out.at(at + 6), ref < m_sstOf.size() && m_sstOf[ref] != UINT32_MAX ? m_sstOf[ref] : 0);
        }
    });
}

} // namespace store::xlswrite
