// Writing a BIFF8 workbook: the globals, one substream per sheet (with the records a load
// carried), the shared strings split over CONTINUE records, encryption of the whole stream
// in memory, and the compound file around it.

#include "store/file/workbookfile.h"
#include "store/xls/writer.h"

#include "store/xls/cfb.h"
#include "store/xls/crypto.h"
#include "store/file/savefile.h"

#include <algorithm>
#include <system_error>

namespace store {

namespace xlswrite {

using namespace biff;

const BiffExtras &noExtras()
{
    static const BiffExtras empty;
    return empty;
}

namespace {

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

} // namespace

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

QByteArray le16(uint16_t v)
{
    QByteArray b(2, '\0');
    put16(reinterpret_cast<uint8_t *>(b.data()), v);
    return b;
}

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

// The worksheet a second thread writes while this one writes the rest, when one is worth a
// thread of its own: the one that ends the writing soonest, counting a record a cell (and a
// text of the shared strings). This thread waits at that sheet's turn until it is written,
// so a big sheet late in the tab order is worth more than the same sheet early on.
size_t Writer::secondThreadSheet() const
{
    constexpr size_t kCellsForThread = 50000;
    size_t total = m_sstStrings.size();
    for (const CellExtent &e : m_extents)
        total += e.count;
    size_t best = SIZE_MAX, bestEnd = total, before = m_sstStrings.size();
    for (size_t t = 0; t < m_tabs.size(); ++t) {
        const size_t count = m_extents[t].count;
        const size_t end = std::max(before, count) + (total - before - count);
        if (m_tabs[t].sheet && count >= kCellsForThread && end < bestEnd) {
            best = t;
            bestEnd = end;
        }
        before += count;
    }
    return m_tabs.size() > 1 ? best : SIZE_MAX;
}

// One sheet substream written by a second thread into a buffer of its own, with the string
// numbering and extents this writer settled; nothing when `tab` is SIZE_MAX or no thread can
// be had (the sheet is then written in turn).
Writer::SheetOnSecondThread::SheetOnSecondThread(const Writer &writer, size_t tab)
{
    if (tab == SIZE_MAX)
        return;
    try {
        m_thread = std::thread([this, &writer, tab] {
            try {
                Writer part(writer.m_book);
                part.m_sstOf = writer.m_sstOf;
                part.m_extents = writer.m_extents;
                part.m_out.reserve(qsizetype(writer.m_extents[tab].count) * 15 + 65536);
                part.sheet(*writer.m_tabs[tab].sheet, tab);
                m_bytes = part.m_out.take();
            } catch (...) {
                m_error = std::current_exception();
            }
        });
        m_tab = tab;
    } catch (const std::system_error &) {
        m_tab = SIZE_MAX;
    }
}

Writer::SheetOnSecondThread::~SheetOnSecondThread()
{
    if (m_thread.joinable())
        m_thread.join();
}

QByteArray Writer::SheetOnSecondThread::take()
{
    m_thread.join();
    if (m_error)
        std::rethrow_exception(m_error);
    return std::move(m_bytes);
}

QByteArray Writer::stream()
{
    planTabs();
    collectStrings();
    size_t cellCount = 0;
    for (const CellExtent &e : m_extents)
        cellCount += e.count;
    m_out.reserve(qsizetype(cellCount) * 15 + qsizetype(m_sstStrings.size()) * 24 + 65536);

    SheetOnSecondThread second(*this, secondThreadSheet());
    globals();
    for (size_t t = 0; t < m_tabs.size(); ++t) {
        Tab &tab = m_tabs[t];
        put32(m_out.at(tab.boundSheetAt), uint32_t(m_out.size()));
        if (t == second.tab())
            m_out.raw(second.take());
        else if (tab.sheet)
            sheet(*tab.sheet, t);
        else
            otherSheet(*tab.other);
    }
    if (cipher) {
        // Everything after FILEPASS (BOF 20 bytes, FILEPASS header and payload) is encrypted.
        const qsizetype from = 20 + 4 + filePassPayload.size();
        cipherRecords(m_out.at(0), m_out.size(), from, *cipher, true);
    }
    return m_out.take();
}

} // namespace xlswrite

namespace {

using namespace biff;
using xlswrite::Writer;

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
