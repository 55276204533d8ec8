// Reading one worksheet substream: the cell table, the row and column layout, the page
// set-up and the window. Records the model does not hold are kept, with their place, for the
// next save.

#include "store/xls/page_records.h"
#include "store/xls/reader.h"

#include <algorithm>
#include <cmath>

namespace store::xlsread {

using namespace biff;

// What keeping one record or value costs beside its bytes: container and header overhead.
constexpr qint64 kKeptOverhead = 48;

SheetReader::SheetReader(Workbook &book, RecordStream &rs, BiffExtras &bookExtras, ReadBudget &budget,
                         const SharedStrings &strings, const SheetEntry &entry, int tab)
    : m_book(book), m_rs(rs), m_bookExtras(bookExtras), m_budget(budget), m_strings(strings), m_entry(entry), m_sheet(*entry.sheet),
      m_bx(std::make_shared<BiffExtras>()), m_xfCount(uint16_t(book.styles.xfs.size()))
{
    m_bx->originalTab = tab;
    m_bx->hiddenState = entry.hidden;
    m_sheet.extras = m_bx;
    m_pending.reserve(256);
}

void SheetReader::flush()
{
    if (m_pending.empty())
        return;
    int widest = 0;
    for (const Pending &p : m_pending)
        widest = std::max(widest, p.col);
    auto &rowStore = m_sheet.rowsStorage();
    const size_t row = size_t(m_pending.front().row);
    if (rowStore.size() <= row) {
        m_budget.charge(qint64(row + 1 - rowStore.size()) * qint64(sizeof(Worksheet::Row)));
        rowStore.resize(row + 1);
    }
    std::vector<Cell> &cells = rowStore[row].cells;
    if (cells.size() <= size_t(widest)) {
        m_budget.charge(qint64(size_t(widest) + 1 - cells.size()) * qint64(sizeof(Cell)));
        cells.resize(size_t(widest) + 1);
    }
    for (const Pending &p : m_pending) {
        Cell &target = cells[size_t(p.col)];
        target = p.cell;
        target.flags |= Cell::kWritten;
    }
    m_pending.clear();
    m_storedCells = true;
}

void SheetReader::put(int row, int col, const Cell &cell)
{
    if (row >= kMaxRows || col >= kMaxColumns)
        return;
    if (!m_pending.empty() && (m_pending.back().row != row || m_pending.size() >= 1024))
        flush();
    m_pending.push_back({row, col, cell});
}

void SheetReader::carry(uint16_t type)
{
    m_budget.charge(m_rs.size() + kKeptOverhead);
    m_bx->records.push_back({m_place, type, m_rs.payload()});
}

void SheetReader::run()
{
    if (!m_rs.substreamAt(m_entry.position))
        damaged(QStringLiteral("il foglio \"%1\" non inizia dove indicato").arg(m_entry.name));

    int depth = 1;   // nested substreams (embedded charts) are carried whole
    bool customView = false;   // inside a custom view, whose own window and page settings are carried whole
    for (;;) {
        if (!m_rs.next())
            damaged(QStringLiteral("il foglio \"%1\" è troncato").arg(m_entry.name));
        const uint16_t type = m_rs.type();
        if (depth == 1 && ((customView && type != kEof) || type == kUserSViewBegin)) {
            if (isCellRecord(type))
                damaged(QStringLiteral("cella dentro una vista personalizzata all'offset %1").arg(m_rs.offset()));
            carry(type);
            customView = type != kUserSViewEnd;
            continue;
        }
        if (depth > 1) {
            carry(type);
            if (type == kBof)
                ++depth;
            else if (type == kEof)
                --depth;
            continue;
        }
        if (type == kEof) {
            if (customView)
                damaged(QStringLiteral("vista personalizzata senza fine nel foglio \"%1\"").arg(m_entry.name));
            break;
        }
        switch (type) {
        case kBof:
            ++depth;
            carry(type);
            break;
        case kIndex: case kDbCell:
            break;   // written afresh
        case kNumber: case kRk: case kMulRk: case kLabelSst: case kBoolErr: case kBlank:
        case kMulBlank:
            cellRecord(type);
            break;
        case kLabel: case kRString:
            textCell(type);
            break;
        case kFormula: case kFormulaBiff3: case kFormulaBiff4:
            formula();
            break;
        case kString:
            formulaString();
            break;
        case kShrFmla: case kArray: case kTable:
            formulaFollower(type);
            break;
        case kRow:
            rowRecord();
            break;
        case kDefaultRowHeight: case kDefColWidth: case kColInfo: case kDimensions: case kWsBool:
            columnRecord(type);
            break;
        case kLeftMargin: case kRightMargin: case kTopMargin: case kBottomMargin:
        case kHCenter: case kVCenter: case kPrintHeaders: case kPrintGridlines:
            margin(type);
            break;
        case kSetup:
            setup();
            break;
        case kHeader: case kFooter:
            header();
            break;
        case kWindow2: case kPane: case kSelection:
            window(type);
            break;
        default:
            carry(type);
            break;
        }
    }
    flush();
    finish();
}

void SheetReader::cellRecord(uint16_t type)
{
    m_place = Place::SheetCells;
    if (!recordFits(m_rs, true))
        return;
    if (type == kMulRk || type == kMulBlank) {
        multipleCells(type);
        return;
    }
    const uint8_t *d = m_rs.data();
    Cell c;
    c.xf = xfOf(u16(d + 4));
    switch (type) {
    case kNumber:
        c.kind = CellKind::Number;
        c.number = f64(d + 6);
        break;
    case kRk:
        c.kind = CellKind::Number;
        c.number = rkValue(u32(d + 6));
        break;
    case kLabelSst: {
        const uint32_t isst = u32(d + 6);
        if (isst >= m_strings.pool.size())
            damaged(QStringLiteral("testo condiviso %1 oltre i %2 della tabella, all'offset %3")
                        .arg(isst).arg(m_strings.pool.size()).arg(m_rs.offset()));
        c.kind = CellKind::Text;
        c.ref = m_strings.pool[isst];
        break;
    }
    case kBoolErr:
        c.kind = d[7] ? CellKind::Error : CellKind::Boolean;
        c.number = c.kind == CellKind::Boolean ? (d[6] ? 1 : 0) : d[6];
        break;
    case kBlank:
        break;
    default:
        return;
    }
    put(u16(d), u16(d + 2), c);
}

// MULRK and MULBLANK: a run of cells of one row, each with its format.
void SheetReader::multipleCells(uint16_t type)
{
    const uint8_t *d = m_rs.data();
    const int n = m_rs.size();
    switch (type) {
    case kMulRk: {
        const int row = u16(d), first = u16(d + 2);
        const int count = (n - 6) / 6;
        for (int i = 0; i < count && first + i < kMaxColumns; ++i) {
            Cell m;
            m.kind = CellKind::Number;
            m.xf = xfOf(u16(d + 4 + 6 * i));
            m.number = rkValue(u32(d + 6 + 6 * i));
            put(row, first + i, m);
        }
        break;
    }
    case kMulBlank: {
        const int row = u16(d), first = u16(d + 2);
        const int count = (n - 6) / 2;
        for (int i = 0; i < count && first + i < kMaxColumns; ++i) {
            Cell b;
            b.xf = xfOf(u16(d + 4 + 2 * i));
            put(row, first + i, b);
        }
        break;
    }
    default:
        break;
    }
}

void SheetReader::textCell(uint16_t type)
{
    m_place = Place::SheetCells;
    if (!recordFits(m_rs, true))
        return;
    Cursor cur = m_rs.cursor();
    const int row = cur.u16(), col = cur.u16();
    Cell c;
    c.kind = CellKind::Text;
    c.xf = xfOf(cur.u16());
    RichText rich;
    // An empty text some writers store without its option byte: 8 bytes in all.
    const bool bareEmpty = type == kLabel && m_rs.size() == 8 && u16(m_rs.data() + 6) == 0;
    const QString text = bareEmpty ? QString() : cur.string16(&rich);
    if (!cur.ok())
        damaged(QStringLiteral("testo illeggibile all'offset %1").arg(m_rs.offset()));
    if (type == kRString) {
        // The runs follow the text, with their count: 4 bytes each, as in the shared strings.
        const int runs = cur.u16();
        rich.runs = cur.bytes(std::min(runs * 4, cur.left() / 4 * 4));
    }
    if (m_deferred) {
        m_budget.charge(2 * qint64(text.size()) + rich.runs.size() + rich.phonetic.size() + kKeptOverhead);
        c.ref = kDeferredText | uint32_t(m_deferred->size());
        m_deferred->push_back({row, col, text, std::move(rich)});
    } else {
        c.ref = m_book.strings.intern(text);
        if (!rich.empty())
            m_bookExtras.richTexts.try_emplace(c.ref, std::move(rich));
    }
    put(row, col, c);
}

void SheetReader::internTexts(Workbook &book, BiffExtras &bookExtras, Worksheet &sheet, std::vector<DeferredText> &texts)
{
    auto &rows = sheet.rowsStorage();
    for (size_t i = 0; i < texts.size(); ++i) {
        DeferredText &t = texts[i];
        const uint32_t ref = book.strings.intern(t.text);
        if (!t.rich.empty())
            bookExtras.richTexts.try_emplace(ref, std::move(t.rich));
        // A later record for the same cell may have replaced the text.
        if (size_t(t.row) >= rows.size() || size_t(t.col) >= rows[size_t(t.row)].cells.size())
            continue;
        Cell &cell = rows[size_t(t.row)].cells[size_t(t.col)];
        if (cell.kind == CellKind::Text && !cell.isFormula() && cell.ref == (kDeferredText | uint32_t(i)))
            cell.ref = ref;
    }
}

void SheetReader::formula()
{
    m_place = Place::SheetCells;
    if (!recordFits(m_rs, true))
        return;
    const uint8_t *d = m_rs.data();
    const int n = m_rs.size();
    const int row = u16(d), col = u16(d + 2);
    m_budget.charge(qint64(sizeof(Formula)) + n + kKeptOverhead);
    Formula f;
    f.record = QByteArray(reinterpret_cast<const char *>(d + 6), n - 6);
    Cell c;
    c.flags = Cell::kFormula;
    c.xf = xfOf(u16(d + 4));
    m_pendingString = -1;
    if (u16(d + 12) == 0xFFFF) {
        switch (d[6]) {
        case 0: c.kind = CellKind::Text; break;   // the STRING record follows
        case 1: c.kind = CellKind::Boolean; c.number = d[8] ? 1 : 0; break;
        case 2: c.kind = CellKind::Error; c.number = d[8]; break;
        default: c.kind = CellKind::Text; break;  // an empty text
        }
    } else {
        c.kind = CellKind::Number;
        c.number = f64(d + 6);
    }
    c.ref = uint32_t(m_sheet.formulas().size());
    if (c.kind == CellKind::Text && d[6] == 0)
        m_pendingString = c.ref;
    m_lastFormula = c.ref;
    m_sheet.formulas().push_back(std::move(f));
    put(row, col, c);
}

void SheetReader::formulaString()
{
    std::vector<int> pieces;
    const QByteArray all = m_rs.joinContinues(&pieces);
    if (m_pendingString < 0)
        return;
    m_budget.charge(3 * qint64(all.size()) + kKeptOverhead);   // the record and its text
    ContinuedReader r(all, pieces);
    Formula &f = m_sheet.formulas()[size_t(m_pendingString)];
    f.cachedText = r.string16();
    f.stringRecord = all;
    m_pendingString = -1;
}

void SheetReader::formulaFollower(uint16_t type)
{
    if (m_lastFormula < 0)
        return;
    auto &list = m_bx->formulaFollowers[uint32_t(m_lastFormula)];
    m_budget.charge(m_rs.size() + 2 * kKeptOverhead);
    list.push_back({type, m_rs.payload()});
    while (m_rs.peekType() == kContinue && m_rs.next()) {
        m_budget.charge(m_rs.size() + kKeptOverhead);
        list.push_back({kContinue, m_rs.payload()});
    }
}

// The attributes of a ROW record beyond the height: its options word and format word.
RowFormat rowFormatOf(uint16_t flags, uint16_t xfWord, uint16_t xfCount)
{
    RowFormat f;
    f.outlineLevel = uint8_t(flags & 0x0007);
    f.collapsed = flags & 0x0010;
    f.hidden = flags & 0x0020;
    const uint16_t xf = xfWord & 0x0FFF;
    f.formatted = (flags & 0x0080) && xf < xfCount;
    f.xf = f.formatted ? xf : 0;
    f.marks = uint8_t((xfWord >> 12) & 0x07);
    return f;
}

void SheetReader::rowRecord()
{
    m_place = Place::SheetCells;
    if (!recordFits(m_rs, true))
        return;
    const uint8_t *d = m_rs.data();
    const int row = u16(d);
    const int height = u16(d + 6) & 0x7FFF;
    const uint16_t flags = u16(d + 12);
    const RowFormat format = rowFormatOf(flags, u16(d + 14), m_xfCount);
    const bool hasHeight = (flags & 0x0040) && height > 0;
    const bool hasFormat = !(format == RowFormat());
    if (row >= kMaxRows || !(hasHeight || hasFormat))
        return;
    // The model keeps heights and formats for every row up to the last that has one.
    if (row + 1 > m_rowsWithHeight) {
        m_budget.charge(qint64(row + 1 - m_rowsWithHeight) * qint64(sizeof(float) + sizeof(RowFormat)));
        m_rowsWithHeight = row + 1;
    }
    if (hasHeight)
        m_sheet.restoreRowHeight(row + 1, height / 20.0);
    if (hasFormat)
        m_sheet.setRowFormat(row + 1, format);
}

void SheetReader::columnRecord(uint16_t type)
{
    const uint8_t *d = m_rs.data();
    switch (type) {
    case kDefaultRowHeight:
        if (recordFits(m_rs, false)) {
            m_bx->defaultRowFlags = u16(d);
            if (u16(d + 2) > 0 && u16(d + 2) < 8192)
                m_sheet.setDefaultRowHeight(u16(d + 2) / 20.0);
        }
        m_place = Place::SheetBreaks;
        break;
    case kWsBool:
        if (recordFits(m_rs, false)) {
            m_bx->wsBool = u16(d);
            m_fitToPage = m_bx->wsBool & 0x0100;
        }
        m_place = Place::SheetBreaks;
        break;
    case kDefColWidth:
        if (recordFits(m_rs, false)) {
            const int chars = std::min<int>(u16(d), 255);
            // Widths as the spreadsheet programs show them: the characters plus 5 pixels of
            // padding, rounded up to a multiple of 8 pixels, in a 7-pixel digit width.
            const int pixels = (chars * 7 + 5 + 7) / 8 * 8;
            m_sheet.setDefaultColumnWidth(std::round((pixels - 5) / 7.0 * 100) / 100);
        }
        m_place = Place::SheetColumns;
        break;
    case kColInfo: {
        m_place = Place::SheetColumns;
        if (!recordFits(m_rs, false))
            break;
        const int first = u16(d), last = std::min<int>(u16(d + 2), kMaxColumns - 1);
        const int width = u16(d + 4);
        const uint16_t xf = xfOf(u16(d + 6));
        const uint16_t flags = u16(d + 8);
        for (int col = first; col <= last; ++col) {
            if (flags & 0x0001 || width == 0) {
                m_bx->columnFlags[col + 1] = flags | 0x0001;
            } else {
                if (flags & 0x1F06)
                    m_bx->columnFlags[col + 1] = flags;
                // Up to 255.28 characters fit the field; the programs stop at 255.
                const double chars = std::round((width / 256.0 - 5.0 / 7.0) * 100) / 100;
                m_sheet.setColumnWidth(col + 1, std::clamp(chars, 0.0, 255.0));
            }
            if (xf != Styles::kDefaultCellXf && xf != 0)
                m_sheet.setColumnXf(col + 1, xf);
        }
        break;
    }
    case kDimensions:
        // The rows the sheet says it uses: their storage is made room for once.
        if (m_rs.size() >= 14 && m_sheet.rowsStorage().empty()) {
            const uint32_t rows = std::min<uint32_t>(u32(d + 4), kMaxRows);
            m_budget.charge(qint64(rows) * qint64(sizeof(Worksheet::Row)));
            m_sheet.rowsStorage().reserve(rows);
        }
        m_place = Place::SheetCells;
        break;
    default:
        break;
    }
}

void SheetReader::margin(uint16_t type)
{
    PageSetup &ps = m_sheet.pageSetup();
    const uint8_t *d = m_rs.data();
    const bool fits = recordFits(m_rs, false);
    switch (type) {
    case kPrintHeaders:
        if (fits) {
            ps.printHeadings = u16(d) != 0;
            m_bx->pageRecords |= kHadPrintHeaders;
        }
        return;   // the place stays
    case kPrintGridlines:
        if (fits) {
            ps.printGridlines = u16(d) != 0;
            m_bx->pageRecords |= kHadPrintGridlines;
        }
        return;
    case kHCenter:
        if (fits) {
            ps.centerHorizontally = u16(d) != 0;
            m_bx->pageRecords |= kHadHCenter;
        }
        break;
    case kVCenter:
        if (fits) {
            ps.centerVertically = u16(d) != 0;
            m_bx->pageRecords |= kHadVCenter;
        }
        break;
    default:
        if (fits) {
            const double inches = f64(d);
            const int side = type - kLeftMargin;   // left, right, top, bottom
            m_bx->marginsRead[side] = inches;
            m_bx->pageRecords |= uint16_t(kHadLeftMargin << side);
            if (std::isfinite(inches) && inches >= 0 && inches < 100) {
                const double points = inches * 72.0;
                if (type == kLeftMargin) ps.leftMargin = points;
                else if (type == kRightMargin) ps.rightMargin = points;
                else if (type == kTopMargin) ps.topMargin = points;
                else ps.bottomMargin = points;
            }
        }
        break;
    }
    m_place = Place::SheetPrinter;
}

void SheetReader::setup()
{
    m_place = Place::SheetPage;
    if (!recordFits(m_rs, false))
        return;
    PageSetup &ps = m_sheet.pageSetup();
    const uint8_t *d = m_rs.data();
    m_bx->setup = m_rs.payload();
    m_bx->pageRecords |= kHadSetup;
    const uint16_t flags = u16(d + 10);
    const bool noPrinter = flags & 0x0004;
    if (!noPrinter) {
        if (u16(d) > 0)
            ps.paperSize = u16(d);
        const int s = u16(d + 2);
        if (s > 0)
            m_scale = std::clamp(s, 10, 400);
        if (!(flags & 0x0040))
            ps.orientation = (flags & 0x0002) ? Orientation::Portrait : Orientation::Landscape;
        if (u16(d + 12) > 0)
            ps.printQuality = u16(d + 12);
    }
    ps.fitToPagesWide = u16(d + 6);
    ps.fitToPagesTall = u16(d + 8);
    ps.overThenDown = flags & 0x0001;
    ps.blackAndWhite = flags & 0x0008;
    ps.draft = flags & 0x0010;
    ps.printComments = flags & 0x0020;
    ps.printErrors = (flags >> 10) & 0x03;
    if (flags & 0x0080)
        ps.firstPageNumber = int(int16_t(u16(d + 4)));
    else
        ps.firstPageNumber.reset();
    const double hdr = f64(d + 16), ftr = f64(d + 24);
    if (std::isfinite(hdr) && hdr >= 0 && hdr < 100)
        ps.headerMargin = hdr * 72.0;
    if (std::isfinite(ftr) && ftr >= 0 && ftr < 100)
        ps.footerMargin = ftr * 72.0;
}

void SheetReader::header()
{
    m_place = Place::SheetPrinter;
    if (m_rs.type() == kFooter) {
        m_bx->footer = m_rs.payload();
        m_bx->pageRecords |= kHadFooter;
        return;
    }
    m_bx->pageRecords |= kHadHeader;
    if (m_rs.size() == 0)
        return;
    Cursor c = m_rs.cursor();
    const QString text = c.string16();
    if (c.ok()) {
        m_bx->header = text;
        m_sheet.pageSetup().centerHeader = biff::headerSection(text, u'C');
    }
}

void SheetReader::window(uint16_t type)
{
    if (!recordFits(m_rs, false)) {
        m_place = type == kWindow2 ? Place::SheetWindow : Place::SheetTail;
        return;
    }
    const uint8_t *d = m_rs.data();
    switch (type) {
    case kWindow2:
        m_bx->window2 = m_rs.payload();
        m_frozen = u16(d) & 0x0008;
        m_place = Place::SheetWindow;
        break;
    case kPane:
        m_paneX = u16(d);
        m_paneY = u16(d + 2);
        m_activePane = d[8] & 0x03;
        m_place = Place::SheetTail;
        break;
    case kSelection: {
        Cursor c = m_rs.cursor();
        const int pane = c.u8();
        const int row = c.u16(), col = c.u16();
        const int which = c.u16();
        const int count = c.u16();
        Selection s;
        s.active = {std::min(row, kMaxRows - 1) + 1, std::min(col, kMaxColumns - 1) + 1};
        s.rect = {s.active.row, s.active.column, s.active.row, s.active.column};
        for (int i = 0; i < count && c.left() >= 6; ++i) {
            const int r1 = c.u16(), r2 = c.u16(), c1 = c.u8(), c2 = c.u8();
            if (i == which && r1 <= r2 && c1 <= c2 && r2 < kMaxRows)
                s.rect = {r1 + 1, c1 + 1, r2 + 1, c2 + 1};
        }
        m_selections[pane] = s;
        m_place = Place::SheetTail;
        break;
    }
    default:
        break;
    }
}

void SheetReader::finish()
{
    PageSetup &ps = m_sheet.pageSetup();
    SheetView &view = m_sheet.view();
    ps.zoom = m_fitToPage ? std::optional<int>() : std::optional<int>(m_scale.value_or(100));
    m_bx->pageRead = ps;
    if (m_frozen && (m_paneX > 0 || m_paneY > 0)) {
        view.frozen = true;
        view.frozenAt = {std::min(m_paneY, kMaxRows - 1) + 1, std::min(m_paneX, kMaxColumns - 1) + 1};
    }
    auto sel = m_selections.find(view.frozen ? m_activePane : 3);
    if (sel == m_selections.end() && !m_selections.empty())
        sel = m_selections.begin();
    if (sel != m_selections.end()) {
        view.selection = sel->second.rect;
        view.activeCell = sel->second.active;
    }
}

// ---------------------------------------------------------------------------------------

double rkValue(uint32_t rk)
{
    double v;
    if (rk & 0x02) {
        v = double(int32_t(rk) >> 2);
    } else {
        const uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 0x01) ? v / 100.0 : v;
}

} // namespace store::xlsread
