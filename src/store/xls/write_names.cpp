// Writing the names and external references: user names kept as read with their scope
// following their sheet, print areas and titles rebuilt from each sheet's page setup.

#include "store/xls/writer.h"

#include "store/biff/biff.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace store::xlswrite {

using namespace biff;

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

namespace {

// Whether a sheet's page setup asks for a print area (0x06) or print titles (0x07).
bool hasPrintName(const Worksheet &ws, int which)
{
    const PageSetup &ps = ws.pageSetup();
    return which == 0x06 ? !ps.printArea.isEmpty() : !(ps.printTitleRows.isEmpty() && ps.printTitleColumns.isEmpty());
}

// A memory function (tMemFunc) around tokens that join several areas.
QByteArray memFunc(const QByteArray &inner)
{
    QByteArray f(3, '\0');
    f[0] = char(0x29);
    put16(reinterpret_cast<uint8_t *>(f.data()) + 1, uint16_t(inner.size()));
    return f + inner;
}

} // namespace

// External references: tabs of this workbook follow the new tab order.
void Writer::remapExternalSheets()
{
    const BiffExtras &bx = bookExtras();
    m_supBooks = bx.supBooks;
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
}

// The SUPBOOK of this workbook's own sheets, added when the file had none.
void Writer::ensureInternalSupBook()
{
    if (m_internalSupBook >= 0)
        return;
    SupBook sb;
    Out o;
    o.u16(0);
    o.u16(0x0401);
    sb.record = o.take();
    sb.internal = true;
    m_supBooks.push_back(sb);
    m_internalSupBook = int(m_supBooks.size() - 1);
}

// The print area: one area, or several joined by commas as their union inside a memory
// function. Empty when the setup's text does not read as areas.
QByteArray Writer::printAreaName(const Worksheet &ws, int tab)
{
    std::vector<RangeRect> rects;
    for (const QString &part : ws.pageSetup().printArea.split(u',', Qt::SkipEmptyParts)) {
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
    return nameRecord(0x06, tab, memFunc(inner));
}

// The print titles: rows, columns, or both as a union (columns first).
QByteArray Writer::printTitlesName(const Worksheet &ws, int tab)
{
    const PageSetup &ps = ws.pageSetup();
    const auto rows = ps.printTitleRows.isEmpty() ? std::nullopt : parseReference(ps.printTitleRows);
    const auto cols = ps.printTitleColumns.isEmpty() ? std::nullopt : parseReference(ps.printTitleColumns);
    if (!rows && !cols)
        return {};
    const int ixti = xtiFor(tab);
    if (rows && cols) {
        QByteArray inner = area3d(ixti, *cols) + area3d(ixti, *rows);
        inner.append(char(0x10));
        return nameRecord(0x07, tab, memFunc(inner));
    }
    return nameRecord(0x07, tab, area3d(ixti, rows ? *rows : *cols));
}

QByteArray Writer::printName(const Worksheet &ws, int tab, int which)
{
    ensureInternalSupBook();
    return which == 0x06 ? printAreaName(ws, tab) : printTitlesName(ws, tab);
}

// The NAME records in order: user names kept in place (their scope follows its sheet), print
// names rebuilt where they were, then the print names of sheets that had none.
std::vector<QByteArray> Writer::nameRecords()
{
    std::vector<QByteArray> records;
    std::vector<std::pair<int, int>> written;   // (builtin, tab) already produced
    for (const NameRecord &n : bookExtras().names) {
        QByteArray rec = n.record;
        const int newTab = n.sheet >= 1 && n.sheet <= int(m_tabOf.size()) ? m_tabOf[size_t(n.sheet - 1)] : -1;
        if (n.sheet >= 1 && newTab < 0)
            continue;   // its sheet is gone
        if (n.builtin >= 0x100) {
            const int which = n.builtin & 0xFF;
            const Tab &t = m_tabs[size_t(newTab)];
            if (!t.sheet || !hasPrintName(*t.sheet, which))
                continue;
            QByteArray r = printName(*t.sheet, newTab, which);
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
            QByteArray r = printName(*m_tabs[t].sheet, int(t), which);
            if (!r.isEmpty())
                records.push_back(r);
        }
    }
    return records;
}

// SUPBOOK with its followers for every workbook referenced, then EXTERNSHEET: a count and
// 6 bytes a reference, continued when long.
void Writer::externalReferences()
{
    for (size_t i = 0; i < m_supBooks.size(); ++i) {
        SupBook &sb = m_supBooks[i];
        if (int(i) == m_internalSupBook && sb.record.size() >= 2)
            put16(reinterpret_cast<uint8_t *>(sb.record.data()), uint16_t(m_tabs.size()));
        m_out.record(kSupBook, sb.record.left(kMaxRecordData));
        for (const RawRecord &r : sb.followers)
            m_out.record(r.type, r.data);
    }
    if (m_xtis.empty() && m_supBooks.empty())
        return;
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

void Writer::names()
{
    remapExternalSheets();
    const std::vector<QByteArray> records = nameRecords();
    externalReferences();
    for (const QByteArray &r : records)
        m_out.record(kName, r.left(kMaxRecordData));
}

} // namespace store::xlswrite
