#include "store/xls/page_records.h"

#include <cmath>
#include <cstring>

namespace store::biff {

namespace {

void flagRecord(Out &out, uint16_t type, bool value, bool hadIt, bool wasValue)
{
    if (hadIt || value != wasValue)
        out.record16(type, value ? 1 : 0);
}

void margin(Out &out, uint16_t type, double points, double pointsRead, double inchesRead, bool hadIt)
{
    if (points != pointsRead) {
        out.u16(type); out.u16(8); out.f64(points / 72.0);
    } else if (hadIt) {
        out.u16(type); out.u16(8); out.f64(inchesRead);
    }
}

void put64(uint8_t *p, double v) { std::memcpy(p, &v, 8); }

} // namespace

QString headerSection(const QString &text, QChar which)
{
    QString out;
    QChar current = u'C';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'&' && i + 1 < text.size()) {
            const QChar n = text[i + 1].toUpper();
            if (n == u'L' || n == u'C' || n == u'R') {
                current = n;
                ++i;
                continue;
            }
            if (current == which) {
                out += c;
                out += text[i + 1];
            }
            ++i;
            continue;
        }
        if (current == which)
            out += c;
    }
    return out;
}

QString headerText(const QString &stored, const QString &center)
{
    if (headerSection(stored, u'C') == center)
        return stored;
    const QString left = headerSection(stored, u'L'), right = headerSection(stored, u'R');
    QString out;
    if (!left.isEmpty())
        out += QStringLiteral("&L") + left;
    if (!center.isEmpty())
        out += QStringLiteral("&C") + center;
    if (!right.isEmpty())
        out += QStringLiteral("&R") + right;
    return out.left(255);
}

void writePrintFlags(Out &out, const PageSetup &ps, const BiffExtras &bx)
{
    const PageSetup &was = bx.pageRead;
    flagRecord(out, kPrintHeaders, ps.printHeadings, bx.pageRecords & kHadPrintHeaders, was.printHeadings);
    flagRecord(out, kPrintGridlines, ps.printGridlines, bx.pageRecords & kHadPrintGridlines, was.printGridlines);
}

void writePageLayout(Out &out, const PageSetup &ps, const BiffExtras &bx)
{
    const PageSetup &was = bx.pageRead;
    if ((bx.pageRecords & kHadHeader) || ps.centerHeader != was.centerHeader) {
        // Cut to what one record holds, never written longer than the format allows.
        const QString header = headerText(bx.header, ps.centerHeader).left((kMaxRecordData - 3) / 2);
        const qsizetype at = out.begin(kHeader);
        if (!header.isEmpty())
            putString16(out, header);
        out.end(at);
    }
    if (bx.pageRecords & kHadFooter)
        out.record(kFooter, bx.footer);
    flagRecord(out, kHCenter, ps.centerHorizontally, bx.pageRecords & kHadHCenter, was.centerHorizontally);
    flagRecord(out, kVCenter, ps.centerVertically, bx.pageRecords & kHadVCenter, was.centerVertically);
    margin(out, kLeftMargin, ps.leftMargin, was.leftMargin, bx.marginsRead[0], bx.pageRecords & kHadLeftMargin);
    margin(out, kRightMargin, ps.rightMargin, was.rightMargin, bx.marginsRead[1], bx.pageRecords & kHadRightMargin);
    margin(out, kTopMargin, ps.topMargin, was.topMargin, bx.marginsRead[2], bx.pageRecords & kHadTopMargin);
    margin(out, kBottomMargin, ps.bottomMargin, was.bottomMargin, bx.marginsRead[3], bx.pageRecords & kHadBottomMargin);
}

void writeSetup(Out &out, const PageSetup &ps, const BiffExtras &bx)
{
    const PageSetup &was = bx.pageRead;
    const bool had = bx.pageRecords & kHadSetup;
    const bool paper = ps.paperSize != was.paperSize;
    const bool scale = ps.zoom != was.zoom && ps.zoom.has_value();
    const bool quality = ps.printQuality != was.printQuality;
    const bool orientation = ps.orientation != was.orientation;
    const bool firstPage = ps.firstPageNumber != was.firstPageNumber;
    const bool fit = ps.fitToPagesWide != was.fitToPagesWide || ps.fitToPagesTall != was.fitToPagesTall;
    const bool options = ps.overThenDown != was.overThenDown || ps.blackAndWhite != was.blackAndWhite
                         || ps.draft != was.draft || ps.printComments != was.printComments
                         || ps.printErrors != was.printErrors;
    const bool headerMargin = ps.headerMargin != was.headerMargin;
    const bool footerMargin = ps.footerMargin != was.footerMargin;
    const bool changed = paper || scale || quality || orientation || firstPage || fit || options
                         || headerMargin || footerMargin;
    if (!had && !changed)
        return;

    // A record the file lacked starts from the programs' defaults, which the model's
    // untouched values hold: everything is written from the model.
    const bool fresh = !had || bx.setup.size() < 34;
    QByteArray s = fresh ? QByteArray(34, '\0') : bx.setup;
    uint8_t *p = reinterpret_cast<uint8_t *>(s.data());
    uint16_t flags = fresh ? 0 : u16(p + 10);
    // Paper, scale, resolution and orientation count only without the "no printer" mark:
    // changing one of them writes them all, from the model.
    const bool printerFields = fresh || paper || scale || quality || orientation;
    if (printerFields) {
        const bool noPrinter = flags & 0x0004;
        if (fresh || noPrinter || paper)
            put16(p + 0, uint16_t(ps.paperSize));
        if (fresh || noPrinter || scale)
            put16(p + 2, uint16_t(ps.zoom.value_or(100)));
        if (fresh || noPrinter || quality) {
            put16(p + 12, uint16_t(ps.printQuality));
            if (fresh || u16(p + 14) == 0)
                put16(p + 14, uint16_t(ps.printQuality));
        }
        if (fresh || noPrinter || orientation) {
            flags &= ~uint16_t(0x0002 | 0x0040);
            if (ps.orientation == Orientation::Portrait)
                flags |= 0x0002;
        }
        flags &= ~uint16_t(0x0004);
    }
    if (fresh || firstPage) {
        put16(p + 4, uint16_t(ps.firstPageNumber.value_or(1)));
        flags &= ~uint16_t(0x0080);
        if (ps.firstPageNumber)
            flags |= 0x0080;
    }
    if (fresh || fit) {
        put16(p + 6, uint16_t(ps.fitToPagesWide));
        put16(p + 8, uint16_t(ps.fitToPagesTall));
    }
    if (fresh || options) {
        flags &= ~uint16_t(0x0001 | 0x0008 | 0x0010 | 0x0020 | 0x0200 | 0x0C00);
        if (ps.overThenDown) flags |= 0x0001;
        if (ps.blackAndWhite) flags |= 0x0008;
        if (ps.draft) flags |= 0x0010;
        if (ps.printComments) flags |= 0x0020;
        flags |= uint16_t((ps.printErrors & 0x03) << 10);
    }
    put16(p + 10, flags);
    if (fresh || headerMargin)
        put64(p + 16, ps.headerMargin / 72.0);
    if (fresh || footerMargin)
        put64(p + 24, ps.footerMargin / 72.0);
    if (fresh)
        put16(p + 32, 1);   // copies
    out.record(kSetup, s.left(kMaxRecordData));
}

} // namespace store::biff
