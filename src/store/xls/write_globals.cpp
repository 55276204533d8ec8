// Writing the globals substream: the file head, window and book settings, fonts, formats and
// styles, the sheet list, and the shared strings split over CONTINUE records.

#include "store/xls/writer.h"

#include "store/biff/biff.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace store::xlswrite {

using namespace biff;

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
    m_out.record16(kUsesElfs, bx.usesElfs);
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

} // namespace store::xlswrite
