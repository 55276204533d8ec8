// Writing a BIFF8 workbook: the globals, one substream per sheet (with the records a load
// carried), the shared strings split over CONTINUE records, encryption of the whole stream
// in memory, and the compound file around it.

#include "store/file/workbookfile.h"

#include "store/biff/biff.h"
#include "store/xls/biffstream.h"
#include "store/xls/cfb.h"
#include "store/xls/crypto.h"
#include "store/xls/page_records.h"
#include "store/model/errors.h"
#include "store/file/savefile.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace store {

namespace {

using namespace biff;

// The longest text a string record can hold: its character count is 16 bits.
constexpr qsizetype kMaxStoredText = 0xFFFF;

const BiffExtras &noExtras()
{
    static const BiffExtras empty;
    return empty;
}

// Writes strings into a record that continues in CONTINUE records when full: a string's
// head (count and options) is never split, its characters are split only between whole
// characters, and each continued part restates the width in a fresh option byte.
class ContinuedWriter {
public:
    ContinuedWriter(Out &out, uint16_t type) : m_out(out) { m_start = m_out.begin(type); }

    qsizetype room() const { return kMaxRecordData - (m_out.size() - m_start - 4); }
    qsizetype recordStart() const { return m_start; }
    void fixed(uint32_t v) { ensure(4); m_out.u32(v); }

    // Returns the stream offset where the string begins. Rich-text runs follow the
    // characters, split only between whole runs (as readers expect), then the phonetic block,
    // split anywhere.
    qsizetype string(const QString &s, const RichText *rich = nullptr)
    {
        const bool wide = needsWide(s);
        const int width = wide ? 2 : 1;
        const qsizetype runs = rich ? std::min<qsizetype>(rich->runs.size() / 4, 0xFFFF) : 0;
        const bool phonetic = rich && !rich->phonetic.isEmpty();
        const int head = 3 + (runs ? 2 : 0) + (phonetic ? 4 : 0);
        if (room() < head + (s.isEmpty() ? 0 : width))
            next();
        const qsizetype at = m_out.size();
        m_out.u16(uint16_t(s.size()));
        m_out.u8(uint8_t((wide ? 0x01 : 0) | (phonetic ? 0x04 : 0) | (runs ? 0x08 : 0)));
        if (runs)
            m_out.u16(uint16_t(runs));
        if (phonetic)
            m_out.u32(uint32_t(rich->phonetic.size()));
        characters(s, wide);
        if (runs)
            bytes(rich->runs.constData(), runs * 4, 4);
        if (phonetic)
            bytes(rich->phonetic.constData(), rich->phonetic.size(), 1);
        return at;
    }

    void finish() { m_out.end(m_start); }

private:
    void characters(const QString &s, bool wide)
    {
        const int width = wide ? 2 : 1;
        qsizetype done = 0;
        while (done < s.size()) {
            qsizetype take = std::min<qsizetype>(s.size() - done, room() / width);
            if (take == 0) {
                next();
                m_out.u8(wide ? 1 : 0);
                continue;
            }
            putChars(m_out, s, done, take, wide);
            done += take;
        }
    }
    void bytes(const char *p, qsizetype n, int unit)
    {
        while (n > 0) {
            if (room() < unit)
                next();
            const qsizetype take = std::min<qsizetype>(n, room() / unit * unit);
            m_out.raw(p, take);
            p += take;
            n -= take;
        }
    }
    void ensure(int n) { if (room() < n) next(); }
    void next()
    {
        m_out.end(m_start);
        m_start = m_out.begin(kContinue);
    }
    Out &m_out;
    qsizetype m_start;
};

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

// Records the writer produces itself, from the model or from the copy a load kept: a carried
// copy would repeat them. The globals' protection records are written in their own place; a
// sheet's protection (PROTECT, PASSWORD, OBJPROTECT, SCENPROTECT) is carried where it was.
bool isOverridden(uint16_t type, bool sheet)
{
    switch (type) {
    case kCalcCount: case kCalcMode: case kRefMode: case kIteration: case kDelta: case kSaveRecalc:
    case kGridSet: case kGuts:
        return true;
    case kWindowProtect: case kProtect: case kPassword: case kProt4Rev: case kProt4RevPass:
    case kBackup: case kHideObj: case kPrecision: case kRefreshAll: case kBookBool: case kCountry:
        return !sheet;
    default:
        return false;
    }
}

// Calls f(record, label) for every record of a carried sheet, in order; `label` is true for
// the LABELSST records of the sheet's own substream (not of the charts embedded in it),
// whose string index a save renumbers.
template <typename F>
void forEachRecord(const OtherSheet &other, F &&f)
{
    int depth = 0;
    for (const RawRecord &r : other.records) {
        if (r.type == kBof)
            ++depth;
        else if (r.type == kEof)
            --depth;
        f(r, r.type == kLabelSst && depth == 1 && r.data.size() >= 10);
    }
}

// One entry of the sheet tab order being written.
struct Tab {
    const Worksheet *sheet = nullptr;
    const OtherSheet *other = nullptr;
    int originalTab = -1;
    qsizetype boundSheetAt = 0;   // stream offset of the BOUNDSHEET payload
};

// Whether a stored cell goes into the file: a value, a formula, or a blank with a format.
inline bool isSaved(const Cell &cell)
{
    return (cell.flags & Cell::kWritten)
        && !(cell.kind == CellKind::Empty && cell.xf == Styles::kDefaultCellXf && !cell.isFormula());
}

// The extent of a worksheet's saved cells, 1-based (all zero when it has none).
struct CellExtent {
    int firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
    size_t count = 0;
};

class Writer {
public:
    explicit Writer(const Workbook &book) : m_book(book) {}
    QByteArray stream();
    QByteArray filePassPayload;
    std::unique_ptr<StreamCipher> cipher;

private:
    void planTabs();
    void collectStrings();
    void bof(uint16_t kind);
    void bookHead(const BiffExtras &bx);
    void window1(const BiffExtras &bx);
    void styleRecords();
    void sheetList();
    void globals();
    void names();
    void sst();
    void sheet(const Worksheet &ws, size_t tabIndex);
    void sheetHead(const Worksheet &ws, const BiffExtras &bx);
    void columns(const Worksheet &ws, const BiffExtras &bx);
    void window(const Worksheet &ws, const BiffExtras &bx);
    void cellTable(const Worksheet &ws, const CellExtent &extent);
    void otherSheet(const OtherSheet &other);
    void formulaRecord(const Worksheet &ws, uint16_t row, uint16_t col, const Cell &c);
    // Starts a cell record (type, length, row, column, XF) with `extra` bytes after the XF and
    // returns where those bytes go.
    uint8_t *cellRecord(uint16_t type, uint16_t extra, uint16_t row, int col, uint16_t xf)
    {
        uint8_t *o = m_out.grow(10 + extra);
        put16(o, type);
        put16(o + 2, uint16_t(6 + extra));
        put16(o + 4, row);
        put16(o + 6, uint16_t(col));
        put16(o + 8, xf);
        return o + 10;
    }
    void carried(const BiffExtras &bx, Place place);
    void carriedOr(const BiffExtras &bx, uint16_t type, const QByteArray &fallback);
    QByteArray nameRecord(int builtin, int tab, const QByteArray &formula) const;
    QByteArray area3d(int ixti, const RangeRect &r) const;
    int xtiFor(int tab);

    const Workbook &m_book;
    const BiffExtras &bookExtras() const { return m_book.extras ? *m_book.extras : noExtras(); }
    Out m_out;
    std::vector<Tab> m_tabs;
    std::vector<int> m_tabOf;               // original tab -> new tab (-1 gone)
    std::vector<uint32_t> m_sstOf;          // string pool index -> SST index
    std::vector<uint32_t> m_sstStrings;     // SST index -> string pool index
    uint32_t m_sstRefs = 0;
    std::vector<Xti> m_xtis;
    int m_internalSupBook = -1;
    std::vector<SupBook> m_supBooks;
    std::vector<CellExtent> m_extents;      // per tab (worksheets only)
};

void Writer::carried(const BiffExtras &bx, Place place)
{
    const bool sheet = place >= Place::SheetHead;
    for (const PlacedRecord &r : bx.records)
        if (r.place == place && !isOverridden(r.type, sheet))
            m_out.record(r.type, r.data);
}

void Writer::carriedOr(const BiffExtras &bx, uint16_t type, const QByteArray &fallback)
{
    for (const PlacedRecord &r : bx.records) {
        if (r.type == type) {
            m_out.record(type, r.data);
            return;
        }
    }
    m_out.record(type, fallback);
}

QByteArray le16(uint16_t v) { QByteArray b(2, '\0'); put16(reinterpret_cast<uint8_t *>(b.data()), v); return b; }

void Writer::planTabs()
{
    const BiffExtras &bx = bookExtras();
    const int originalCount = std::max(bx.sheetTabCount, 0);
    m_tabOf.assign(size_t(originalCount), -1);
    std::vector<const OtherSheet *> placed;
    auto addOthersAfter = [&](int tab) {
        for (const OtherSheet &o : bx.otherSheets)
            if (o.afterTab == tab) {
                m_tabs.push_back({nullptr, &o, o.originalTab, 0});
                placed.push_back(&o);
            }
    };
    addOthersAfter(-1);
    for (int i = 1; i <= m_book.sheetCount(); ++i) {
        const Worksheet &ws = const_cast<Workbook &>(m_book).sheet(i);
        const int orig = ws.extras ? ws.extras->originalTab : -1;
        m_tabs.push_back({&ws, nullptr, orig, 0});
        if (orig >= 0)
            addOthersAfter(orig);
    }
    for (const OtherSheet &o : bx.otherSheets)
        if (std::find(placed.begin(), placed.end(), &o) == placed.end())
            m_tabs.push_back({nullptr, &o, o.originalTab, 0});
    for (size_t t = 0; t < m_tabs.size(); ++t) {
        const int orig = m_tabs[t].originalTab;
        if (orig >= 0 && orig < originalCount)
            m_tabOf[size_t(orig)] = int(t);
    }
}

void Writer::collectStrings()
{
    m_sstOf.assign(m_book.strings.size(), UINT32_MAX);
    m_extents.assign(m_tabs.size(), CellExtent());
    auto use = [this](uint32_t ref) {
        ++m_sstRefs;
        if (ref < m_sstOf.size() && m_sstOf[ref] == UINT32_MAX) {
            m_sstOf[ref] = uint32_t(m_sstStrings.size());
            m_sstStrings.push_back(ref);
        }
    };
    for (size_t t = 0; t < m_tabs.size(); ++t) {
        if (!m_tabs[t].sheet) {
            // The texts of a macro sheet's cells share the table with the worksheets'.
            forEachRecord(*m_tabs[t].other, [&](const RawRecord &r, bool label) {
                if (label)
                    use(u32(reinterpret_cast<const uint8_t *>(r.data.constData()) + 6));
            });
            continue;
        }
        CellExtent &extent = m_extents[t];
        const auto &rows = m_tabs[t].sheet->rowsStorage();
        for (size_t r = 0; r < rows.size(); ++r) {
            const std::vector<Cell> &cells = rows[r].cells;
            int first = 0, last = 0;
            for (size_t c = 0; c < cells.size(); ++c) {
                const Cell &cell = cells[c];
                if (!isSaved(cell))
                    continue;
                if (!first)
                    first = int(c) + 1;
                last = int(c) + 1;
                ++extent.count;
                if (cell.kind == CellKind::Text && !cell.isFormula())
                    use(cell.ref);
            }
            if (!first)
                continue;
            if (!extent.firstRow)
                extent.firstRow = int(r) + 1;
            extent.lastRow = int(r) + 1;
            extent.firstColumn = extent.firstColumn ? std::min(extent.firstColumn, first) : first;
            extent.lastColumn = std::max(extent.lastColumn, last);
        }
    }
}

int Writer::xtiFor(int tab)
{
    for (size_t i = 0; i < m_xtis.size(); ++i)
        if (int(m_xtis[i].supBook) == m_internalSupBook && m_xtis[i].first == tab && m_xtis[i].last == tab)
            return int(i);
    m_xtis.push_back({uint16_t(m_internalSupBook), int16_t(tab), int16_t(tab)});
    return int(m_xtis.size() - 1);
}

QByteArray Writer::area3d(int ixti, const RangeRect &r) const
{
    QByteArray b(11, '\0');
    uint8_t *p = reinterpret_cast<uint8_t *>(b.data());
    p[0] = 0x3B;
    put16(p + 1, uint16_t(ixti));
    put16(p + 3, uint16_t(r.top - 1));
    put16(p + 5, uint16_t(r.bottom - 1));
    put16(p + 7, uint16_t(r.left - 1));
    put16(p + 9, uint16_t(r.right - 1));
    return b;
}

QByteArray Writer::nameRecord(int builtin, int tab, const QByteArray &formula) const
{
    Out o;
    o.u16(0x0020);             // built-in name
    o.u8(0);                   // no shortcut key
    o.u8(1);                   // name length: the one-character code
    o.u16(uint16_t(formula.size()));
    o.u16(0);
    o.u16(uint16_t(tab + 1));  // sheet scope, 1-based
    o.u32(0);                  // no menu, description, help or status texts
    o.u8(0);
    o.u8(uint8_t(builtin));
    o.raw(formula);
    return o.take();
}

void Writer::names()
{
    const BiffExtras &bx = bookExtras();
    m_supBooks = bx.supBooks;
    // External references: tabs of this workbook follow the new tab order.
    for (size_t i = 0; i < m_supBooks.size(); ++i)
        if (m_supBooks[i].internal && m_internalSupBook < 0)
            m_internalSupBook = int(i);
    auto remap = [&](int16_t tab) -> int16_t {
        if (tab < 0 || tab >= int(m_tabOf.size()))
            return tab;
        return m_tabOf[size_t(tab)] >= 0 ? int16_t(m_tabOf[size_t(tab)]) : int16_t(-2);
    };
    m_xtis = bx.xtis;
    for (Xti &x : m_xtis) {
        if (int(x.supBook) == m_internalSupBook) {
            x.first = remap(x.first);
            x.last = remap(x.last);
        }
    }

    // Names: user names kept in place (their scope follows its sheet), print names rebuilt.
    std::vector<QByteArray> records;
    std::vector<std::pair<int, int>> written;   // (builtin, tab) already produced
    auto printNames = [&](const Worksheet &ws, int tab, int which) -> QByteArray {
        const PageSetup &ps = ws.pageSetup();
        if (m_internalSupBook < 0) {
            SupBook sb;
            Out o;
            o.u16(0);
            o.u16(0x0401);
            sb.record = o.take();
            sb.internal = true;
            m_supBooks.push_back(sb);
            m_internalSupBook = int(m_supBooks.size() - 1);
        }
        if (which == 0x06) {
            // One area, or several joined by commas: their union inside a memory function.
            std::vector<RangeRect> rects;
            for (const QString &part : ps.printArea.split(u',', Qt::SkipEmptyParts)) {
                const auto rect = parseReference(part.trimmed());
                if (!rect)
                    return {};
                rects.push_back(*rect);
            }
            if (rects.empty())
                return {};
            const int ixti = xtiFor(tab);
            if (rects.size() == 1)
                return nameRecord(0x06, tab, area3d(ixti, rects.front()));
            QByteArray inner;
            for (size_t i = 0; i < rects.size(); ++i) {
                inner += area3d(ixti, rects[i]);
                if (i > 0)
                    inner.append(char(0x10));
            }
            if (inner.size() > kMaxRecordData - 32)
                return {};
            QByteArray f(3, '\0');
            f[0] = char(0x29);
            put16(reinterpret_cast<uint8_t *>(f.data()) + 1, uint16_t(inner.size()));
            return nameRecord(0x06, tab, f + inner);
        }
        const auto rows = ps.printTitleRows.isEmpty() ? std::nullopt : parseReference(ps.printTitleRows);
        const auto cols = ps.printTitleColumns.isEmpty() ? std::nullopt : parseReference(ps.printTitleColumns);
        if (!rows && !cols)
            return {};
        const int ixti = xtiFor(tab);
        if (rows && cols) {
            QByteArray inner = area3d(ixti, *cols) + area3d(ixti, *rows);
            inner.append(char(0x10));
            QByteArray f(3, '\0');
            f[0] = char(0x29);
            put16(reinterpret_cast<uint8_t *>(f.data()) + 1, uint16_t(inner.size()));
            return nameRecord(0x07, tab, f + inner);
        }
        return nameRecord(0x07, tab, area3d(ixti, rows ? *rows : *cols));
    };
    auto hasPrintName = [&](const Worksheet &ws, int which) {
        const PageSetup &ps = ws.pageSetup();
        return which == 0x06 ? !ps.printArea.isEmpty() : !(ps.printTitleRows.isEmpty() && ps.printTitleColumns.isEmpty());
    };

    for (const NameRecord &n : bx.names) {
        QByteArray rec = n.record;
        const int newTab = n.sheet >= 1 && n.sheet <= int(m_tabOf.size()) ? m_tabOf[size_t(n.sheet - 1)] : -1;
        if (n.sheet >= 1 && newTab < 0)
            continue;   // its sheet is gone
        if (n.builtin >= 0x100) {
            const int which = n.builtin & 0xFF;
            const Tab &t = m_tabs[size_t(newTab)];
            if (!t.sheet || !hasPrintName(*t.sheet, which))
                continue;
            QByteArray r = printNames(*t.sheet, newTab, which);
            if (!r.isEmpty()) {
                records.push_back(r);
                written.push_back({which, newTab});
            }
            continue;
        }
        if (n.sheet >= 1 && rec.size() >= 10)
            put16(reinterpret_cast<uint8_t *>(rec.data()) + 8, uint16_t(newTab + 1));
        records.push_back(rec);
        if ((n.builtin == 0x06 || n.builtin == 0x07) && n.sheet >= 1)
            written.push_back({n.builtin, newTab});   // kept raw: do not add a second one
    }
    for (size_t t = 0; t < m_tabs.size(); ++t) {
        if (!m_tabs[t].sheet)
            continue;
        for (int which : {0x06, 0x07}) {
            if (!hasPrintName(*m_tabs[t].sheet, which))
                continue;
            if (std::find(written.begin(), written.end(), std::make_pair(which, int(t))) != written.end())
                continue;
            QByteArray r = printNames(*m_tabs[t].sheet, int(t), which);
            if (!r.isEmpty())
                records.push_back(r);
        }
    }

    for (size_t i = 0; i < m_supBooks.size(); ++i) {
        SupBook &sb = m_supBooks[i];
        if (int(i) == m_internalSupBook && sb.record.size() >= 2)
            put16(reinterpret_cast<uint8_t *>(sb.record.data()), uint16_t(m_tabs.size()));
        m_out.record(kSupBook, sb.record.left(kMaxRecordData));
        for (const RawRecord &r : sb.followers)
            m_out.record(r.type, r.data);
    }
    if (!m_xtis.empty() || !m_supBooks.empty()) {
        // EXTERNSHEET: a count and 6 bytes a reference, continued when long.
        Out body;
        body.u16(uint16_t(m_xtis.size()));
        for (const Xti &x : m_xtis) {
            body.u16(x.supBook);
            body.u16(uint16_t(x.first));
            body.u16(uint16_t(x.last));
        }
        const QByteArray all = body.take();
        qsizetype at = 0;
        uint16_t type = kExternSheet;
        do {
            const qsizetype take = std::min<qsizetype>(all.size() - at, kMaxRecordData - kMaxRecordData % 6 + 2);
            m_out.record(type, all.mid(at, take));
            at += take;
            type = kContinue;
        } while (at < all.size());
    }
    for (const QByteArray &r : records)
        m_out.record(kName, r.left(kMaxRecordData));
}

void Writer::sst()
{
    const BiffExtras &bx = bookExtras();
    const qsizetype sstStart = m_out.size();
    ContinuedWriter w(m_out, kSst);
    w.fixed(m_sstRefs);
    w.fixed(uint32_t(m_sstStrings.size()));
    const size_t n = m_sstStrings.size();
    const uint16_t perBucket = uint16_t(std::max<size_t>(8, n / 128 + 1));
    std::vector<std::pair<uint32_t, uint16_t>> buckets;
    for (size_t i = 0; i < n; ++i) {
        const QString &s = m_book.strings.at(m_sstStrings[i]);
        // Texts longer than a cell may take in the programs are kept as the file held them,
        // with their formatting runs and phonetic data.
        const auto rich = bx.richTexts.find(m_sstStrings[i]);
        const qsizetype at = w.string(s.left(kMaxStoredText), rich != bx.richTexts.end() ? &rich->second : nullptr);
        if (i % perBucket == 0)
            buckets.push_back({uint32_t(at), uint16_t(at - w.recordStart())});
    }
    w.finish();
    Q_UNUSED(sstStart);
    // EXTSST: where every perBucket-th string starts, for quick lookups.
    const qsizetype ext = m_out.begin(kExtSst);
    m_out.u16(perBucket);
    for (const auto &[pos, off] : buckets) {
        m_out.u32(pos);
        m_out.u16(off);
        m_out.u16(0);
    }
    m_out.end(ext);
}

// BOF of the globals (0x0005) or of a worksheet (0x0010), BIFF8, with the build numbers of
// the writer the format's readers expect.
void Writer::bof(uint16_t kind)
{
    m_out.u16(kBof);
    m_out.u16(16);
    m_out.u16(0x0600);
    m_out.u16(kind);
    m_out.u16(0x0DBB);
    m_out.u16(0x07CC);
    m_out.u32(0x00000009);
    m_out.u32(0x00000006);
}

// The file head: protection, interface, user name, code page, tab ids, the records carried
// after them, then the workbook's protection records.
void Writer::bookHead(const BiffExtras &bx)
{
    if (cipher)
        m_out.record(kFilePass, filePassPayload);
    m_out.record16(kInterfaceHdr, 0x04B0);
    m_out.record16(kMms, 0);
    m_out.empty(kInterfaceEnd);
    {
        // WRITEACCESS: the user name, padded with blanks to 112 bytes.
        const qsizetype at = m_out.begin(kWriteAccess);
        putString16(m_out, QStringLiteral("Contavio"));
        while (m_out.size() - at - 4 < 112)
            m_out.u8(0x20);
        m_out.end(at);
    }
    m_out.record16(kCodePage, 1200);
    m_out.record16(kDsf, 0);
    {
        const qsizetype at = m_out.begin(kTabId);
        for (size_t i = 0; i < m_tabs.size(); ++i)
            m_out.u16(uint16_t(i + 1));
        m_out.end(at);
    }
    carried(bx, Place::BookHead);
    carriedOr(bx, kWindowProtect, le16(0));
    carriedOr(bx, kProtect, le16(0));
    carriedOr(bx, kPassword, le16(0));
    carriedOr(bx, kProt4Rev, le16(0));
    carriedOr(bx, kProt4RevPass, le16(0));
}

// WINDOW1: position and size of the window in twips, options, the active tab.
void Writer::window1(const BiffExtras &bx)
{
    int activeTab = 0;
    for (size_t t = 0; t < m_tabs.size(); ++t)
        if (m_tabs[t].sheet && m_tabs[t].sheet->isActive())
            activeTab = int(t);
    QByteArray w1 = bx.window1.size() >= 18 ? bx.window1.left(18) : QByteArray(18, '\0');
    uint8_t *w = reinterpret_cast<uint8_t *>(w1.data());
    if (bx.window1.size() < 18) {
        put16(w + 0, 0x0168);
        put16(w + 2, 0x001E);
        put16(w + 4, 0x3A5C);
        put16(w + 6, 0x23BE);
        put16(w + 8, 0x0038);
        put16(w + 16, 0x0258);
    }
    put16(w + 10, uint16_t(activeTab));
    if (u16(w + 12) > activeTab || u16(w + 12) >= m_tabs.size())
        put16(w + 12, 0);
    put16(w + 14, 1);
    m_out.record(kWindow1, w1);
}

// Fonts, number formats, cell formats and styles.
void Writer::styleRecords()
{
    const Styles &st = m_book.styles;
    for (const QByteArray &f : st.fonts)
        m_out.record(kFont, f);
    for (const auto &[id, code] : st.numberFormats) {
        const qsizetype at = m_out.begin(kFormat);
        m_out.u16(id);
        putString16(m_out, code.left(255));
        m_out.end(at);
    }
    for (const QByteArray &xf : st.xfs) {
        QByteArray x = xf.leftJustified(20, '\0', true);
        m_out.record(kXf, x);
    }
    for (const QByteArray &s : st.styleRecords)
        m_out.record(kStyle, s);
}

// BOUNDSHEET for every tab; the substream positions are filled in as the sheets are written.
void Writer::sheetList()
{
    for (Tab &t : m_tabs) {
        const qsizetype at = m_out.begin(kBoundSheet);
        t.boundSheetAt = at + 4;
        if (t.sheet) {
            m_out.u32(0);
            m_out.u8(t.sheet->extras ? t.sheet->extras->hiddenState : 0);
            m_out.u8(0);
            putString8(m_out, t.sheet->name());
        } else {
            QByteArray b = t.other->boundSheet;
            if (b.size() < 8)
                b = b.leftJustified(8, '\0');
            put32(reinterpret_cast<uint8_t *>(b.data()), 0);
            m_out.raw(b);
        }
        m_out.end(at);
    }
}

void Writer::globals()
{
    const BiffExtras &bx = bookExtras();
    bof(0x0005);
    bookHead(bx);
    window1(bx);
    carriedOr(bx, kBackup, le16(0));
    carriedOr(bx, kHideObj, le16(0));
    m_out.record16(kDateMode, m_book.date1904 ? 1 : 0);
    carriedOr(bx, kPrecision, le16(1));
    carriedOr(bx, kRefreshAll, le16(0));
    carriedOr(bx, kBookBool, le16(0));
    carried(bx, Place::BookSettings);

    styleRecords();
    carried(bx, Place::BookStyles);
    m_out.record16(kUsesElfs, 0);
    sheetList();
    {
        QByteArray country(4, '\0');
        put16(reinterpret_cast<uint8_t *>(country.data()), 39);
        put16(reinterpret_cast<uint8_t *>(country.data()) + 2, 39);
        carriedOr(bx, kCountry, country);
    }
    carried(bx, Place::BookSheets);
    names();
    carried(bx, Place::BookNames);
    sst();
    carried(bx, Place::BookTail);
    m_out.empty(kEof);
}

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

void Writer::cellTable(const Worksheet &ws, const CellExtent &extent)
{
    // Row heights the sheet sets, beyond the default.
    const double defaultHeight = ws.defaultRowHeight();
    const auto &rowStore = ws.rowsStorage();
    const std::vector<Formula> &formulas = ws.formulas();
    const size_t sstSize = m_sstOf.size();
    int lastRow = extent.lastRow;
    for (int r = kMaxRows; r > lastRow; --r) {
        if (std::abs(ws.rowHeight(r) - defaultHeight) > 1e-9) {
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
    const RowFormat plain;
    // The first and last saved column of a row (0, 0 when it has none).
    auto span = [&](int r) -> std::pair<int, int> {
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
    };
    struct RowInfo { int row; int first; int last; double height; RowFormat format; };
    std::vector<RowInfo> rows;
    rows.reserve(32);
    std::vector<uint16_t> offsets;
    offsets.reserve(32);
    for (int blockTop = 1; blockTop <= lastRow; blockTop += 32) {
        const int blockBottom = std::min(blockTop + 31, lastRow);
        // Rows of the block that need a ROW record.
        rows.clear();
        for (int r = blockTop; r <= blockBottom; ++r) {
            const auto [first, last] = span(r);
            const double h = ws.rowHeight(r);
            const bool custom = std::abs(h - defaultHeight) > 1e-9;
            RowFormat format = size_t(r) <= rowFormats.size() ? rowFormats[size_t(r - 1)] : plain;
            if (format.formatted && format.xf >= m_book.styles.xfs.size())
                format.formatted = false;   // a format that is no longer there: the row keeps the rest
            if (!first && !custom && format == plain)
                continue;
            rows.push_back({r, first, last, h, format});
        }
        if (rows.empty())
            continue;
        const qsizetype firstRowAt = m_out.size();
        uint8_t *p = m_out.grow(qsizetype(rows.size()) * 20);
        for (const RowInfo &ri : rows) {
            const bool custom = std::abs(ri.height - defaultHeight) > 1e-9;
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
        // Cells row by row; DBCELL points back at the rows and at each row's first cell.
        offsets.clear();
        qsizetype previous = firstRowAt + 20;   // the end of the first ROW record
        for (const RowInfo &ri : rows) {
            if (!ri.first) {
                offsets.push_back(0);
                continue;
            }
            const qsizetype start = m_out.size();
            const Cell *cells = rowStore[size_t(ri.row - 1)].cells.data();
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

QByteArray Writer::stream()
{
    planTabs();
    collectStrings();
    size_t cellCount = 0;
    for (const CellExtent &e : m_extents)
        cellCount += e.count;
    m_out.reserve(qsizetype(cellCount) * 15 + qsizetype(m_sstStrings.size()) * 24 + 65536);

    globals();
    for (size_t t = 0; t < m_tabs.size(); ++t) {
        Tab &tab = m_tabs[t];
        put32(m_out.at(tab.boundSheetAt), uint32_t(m_out.size()));
        if (tab.sheet) {
            sheet(*tab.sheet, t);
        } else {
            otherSheet(*tab.other);
        }
    }
    if (cipher) {
        // Everything after FILEPASS (BOF 20 bytes, FILEPASS header and payload) is encrypted.
        const qsizetype from = 20 + 4 + filePassPayload.size();
        cipherRecords(m_out.at(0), m_out.size(), from, *cipher, true);
    }
    return m_out.take();
}

} // namespace

namespace {

// The streams of the compound file: the Workbook stream, then those a load carried.
std::vector<CfbEntry> fileEntries(const Workbook &book)
{
    Writer w(book);
    if (!book.protection.password.isEmpty()) {
        NewProtection p = createProtection(book.protection.password);
        w.filePassPayload = p.filePassPayload;
        w.cipher = std::move(p.cipher);
    }
    std::vector<CfbEntry> entries;
    entries.push_back({QStringLiteral("Workbook"), w.stream(), false});
    if (book.extras)
        for (const CfbEntry &e : book.extras->otherStreams)
            entries.push_back(e);
    return entries;
}

} // namespace

QByteArray workbookBytes(const Workbook &book)
{
    return cfb::write(fileEntries(book));
}

void writeWorkbook(const Workbook &book, const QString &path)
{
    writeFileAtomically(path, workbookBytes(book));
}

} // namespace store
