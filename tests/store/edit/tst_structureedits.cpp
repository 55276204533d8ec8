// What sits on cells without being a cell follows row deletes and sorts: merged ranges,
// hyperlinks, conditional formats, validations, page breaks, and notes with their drawing
// shapes, on records laid out as the spreadsheet programs write them.

#include "store/edit/structureedits.h"
#include "store/biff/biff.h"

#include <QtTest>

using namespace store;
using biff::put16;
using biff::put32;
using biff::u16;
using biff::u32;

namespace {

constexpr uint16_t kMsoDrawing = 0x00EC, kObj = 0x005D, kTxo = 0x01B6, kDval = 0x01B2, kDv = 0x01BE;
constexpr uint16_t kTooltip = 0x0800;

QByteArray le16(int v) { QByteArray b(2, '\0'); put16(reinterpret_cast<uint8_t *>(b.data()), uint16_t(v)); return b; }
QByteArray le32(uint32_t v) { QByteArray b(4, '\0'); put32(reinterpret_cast<uint8_t *>(b.data()), v); return b; }

// Ref8: rows and columns 1-based here, 0-based in the file.
QByteArray ref8(int top, int bottom, int left, int right)
{
    return le16(top - 1) + le16(bottom - 1) + le16(left - 1) + le16(right - 1);
}

QByteArray art(uint16_t verInstance, uint16_t type, const QByteArray &data)
{
    return le16(verInstance) + le16(type) + le32(uint32_t(data.size())) + data;
}

// A workbook whose second sheet carries `records`, with the observer the file layer installs.
struct Book {
    Workbook book;
    Worksheet *sheet;
    explicit Book(std::vector<biff::PlacedRecord> records)
    {
        book.appendSheet(QStringLiteral("Incassi"));
        sheet = &book.sheet(2);
        book.extras = std::make_shared<BiffExtras>();
        for (int i = 1; i <= 2; ++i) {
            book.sheet(i).extras = std::make_shared<BiffExtras>();
            book.sheet(i).extras->originalTab = i - 1;
        }
        sheet->extras->records = std::move(records);
        book.structureEdits = makeStructureEdits();
        for (int row = 1; row <= 12; ++row)
            sheet->cells(row, 1).setValue(double(13 - row));   // keys 12..1: a sort reverses
    }
    std::vector<biff::PlacedRecord> &records() { return sheet->extras->records; }
    std::vector<uint16_t> types()
    {
        std::vector<uint16_t> t;
        for (const auto &r : records())
            t.push_back(r.type);
        return t;
    }
    void sortAll()
    {
        SortOptions o;
        o.keyColumn = 1;
        o.header = SortHeader::No;
        sheet->range(QStringLiteral("A1:S12")).sort(o);
    }
};

biff::PlacedRecord rec(uint16_t type, const QByteArray &data) { return {biff::Place::SheetTail, type, data}; }

QList<QList<int>> ranges(const QByteArray &data, qsizetype at)
{
    QList<QList<int>> out;
    const auto *d = reinterpret_cast<const uint8_t *>(data.constData()) + at;
    for (int i = 0; i < u16(d); ++i) {
        const uint8_t *r = d + 2 + 8 * i;
        out.append({u16(r) + 1, u16(r + 2) + 1, u16(r + 4) + 1, u16(r + 6) + 1});
    }
    return out;
}

// A sheet drawing with one note per row given, as two programs write it: the first
// MSODRAWING opens the tree and holds the group and the first shape, each shape's OBJ
// follows its ClientData, its TXO (with two CONTINUE records) its ClientTextbox.
std::vector<biff::PlacedRecord> notesOn(const QList<int> &rows, int column)
{
    const QByteArray group = art(0x000F, 0xF004, art(0x0001, 0xF009, QByteArray(16, '\0')) +
                                                 art(0x0002, 0xF00A, le32(1024) + le32(0x0005)));
    QList<QByteArray> heads, tails;
    for (int i = 0; i < rows.size(); ++i) {
        const int r0 = rows[i] - 1;
        const QByteArray anchor = le16(0) + le16(column) + le16(0) + le16(std::max(r0 - 1, 0)) + le16(0)
                                + le16(column + 2) + le16(0) + le16(r0 + 3) + le16(0);
        QByteArray head = art(0x0CA2, 0xF00A, le32(1025 + i) + le32(0x0A00)) + art(0x0003, 0xF00B, QByteArray(6, 'o'))
                        + art(0x0000, 0xF010, anchor) + art(0x0000, 0xF011, {});
        const QByteArray tail = art(0x0000, 0xF00D, {});
        heads.append(le16(0x000F) + le16(0xF004) + le32(uint32_t(head.size() + tail.size())) + head);
        tails.append(tail);
    }
    qsizetype shapes = group.size();
    for (int i = 0; i < rows.size(); ++i)
        shapes += heads[i].size() + tails[i].size();
    const QByteArray fdg = art(0x0010, 0xF008, le32(uint32_t(rows.size() + 1)) + le32(uint32_t(1025 + rows.size())));
    const QByteArray open = le16(0x000F) + le16(0xF002) + le32(uint32_t(fdg.size() + 8 + shapes)) + fdg
                          + le16(0x000F) + le16(0xF003) + le32(uint32_t(shapes)) + group;
    std::vector<biff::PlacedRecord> out;
    for (int i = 0; i < rows.size(); ++i) {
        out.push_back(rec(kMsoDrawing, (i == 0 ? open : QByteArray()) + heads[i]));
        QByteArray obj = le16(0x15) + le16(0x12) + le16(0x19) + le16(i + 1) + QByteArray(14, '\0') + le32(0);
        out.push_back(rec(kObj, obj));
        out.push_back(rec(kMsoDrawing, tails[i]));
        out.push_back(rec(kTxo, QByteArray(18, '\0')));
        out.push_back(rec(biff::kContinue, QByteArray("\0nota", 5)));
        out.push_back(rec(biff::kContinue, QByteArray(16, '\0')));
    }
    for (int i = 0; i < rows.size(); ++i)
        out.push_back(rec(biff::kNote, le16(rows[i] - 1) + le16(column) + le16(0) + le16(i + 1) + le16(1) + QByteArray("\0A", 2)));
    return out;
}

// Checks the drawing as another program reads it: every length adds up, FDG counts the
// shapes, one OBJ per shape. Returns the rows of the note anchors (row1, 1-based).
QList<int> checkDrawing(std::vector<biff::PlacedRecord> &records, int &csp, int &objects)
{
    QByteArray bytes;
    objects = 0;
    for (const auto &r : records) {
        if (r.type == kMsoDrawing)
            bytes += r.data;
        objects += r.type == kObj;
    }
    const auto *d = reinterpret_cast<const uint8_t *>(bytes.constData());
    if (bytes.size() < 40 || u16(d + 2) != 0xF002 || u32(d + 4) != uint32_t(bytes.size() - 8))
        return {-1};
    csp = int(u32(d + 16));
    const qsizetype spgr = 24;
    if (u16(d + spgr + 2) != 0xF003 || u32(d + spgr + 4) != uint32_t(bytes.size() - spgr - 8))
        return {-2};
    QList<int> anchors;
    int shapes = 0;
    for (qsizetype at = spgr + 8; at < bytes.size();) {
        if (u16(d + at + 2) != 0xF004)
            return {-3};
        const qsizetype end = at + 8 + u32(d + at + 4);
        ++shapes;
        for (qsizetype a = at + 8; a < end; a += 8 + u32(d + a + 4))
            if (u16(d + a + 2) == 0xF010)
                anchors.append(u16(d + a + 8 + 6) + 1);
        at = end;
    }
    if (shapes != csp)
        return {-4};
    return anchors;
}

} // namespace

class TestStructureEdits : public QObject {
    Q_OBJECT

private slots:
    void mergedRangesShrinkMoveAndGo()
    {
        Book b({rec(biff::kMergeCells, le16(3) + ref8(3, 5, 1, 4) + ref8(7, 7, 1, 5) + ref8(9, 9, 2, 3))});
        b.sheet->removeRows(4, 4);   // inside the first, above the others
        QCOMPARE(ranges(b.records()[0].data, 0), (QList<QList<int>>{{3, 4, 1, 4}, {6, 6, 1, 5}, {8, 8, 2, 3}}));
        b.sheet->removeRows(6, 6);   // the one-row remark goes
        QCOMPARE(ranges(b.records()[0].data, 0), (QList<QList<int>>{{3, 4, 1, 4}, {7, 7, 2, 3}}));
        b.sheet->removeRows(4, 4);   // the first keeps one row of four cells
        QCOMPARE(ranges(b.records()[0].data, 0), (QList<QList<int>>{{3, 3, 1, 4}, {6, 6, 2, 3}}));
        b.sortAll();                 // nine rows left, keys descending: row r goes to 10 - r
        QCOMPARE(ranges(b.records()[0].data, 0), (QList<QList<int>>{{7, 7, 1, 4}, {4, 4, 2, 3}}));
        b.sheet->removeRows(7, 7);
        b.sheet->removeRows(4, 4);
        QVERIFY(b.records().empty());   // a MERGEDCELLS with no range is not written
    }

    void mergedRangeOfOneCellLeftIsDropped()
    {
        Book b({rec(biff::kMergeCells, le16(1) + ref8(3, 4, 2, 2))});
        b.sheet->removeRows(4, 4);
        QVERIFY(b.records().empty());
    }

    void hyperlinksGoWithTheirRowOrFollowIt()
    {
        const QByteArray body = QByteArray(16, 'g') + le32(2) + le32(0);
        Book b({rec(biff::kHLink, ref8(3, 3, 4, 4) + body), rec(kTooltip, le16(kTooltip) + ref8(3, 3, 4, 4) + le16(0)),
                rec(biff::kHLink, ref8(8, 8, 19, 19) + body)});
        b.sheet->removeRows(2, 2);
        QCOMPARE(u16(reinterpret_cast<const uint8_t *>(b.records()[0].data.constData())), uint16_t(1));   // row 2
        QCOMPARE(u16(reinterpret_cast<const uint8_t *>(b.records()[1].data.constData()) + 2), uint16_t(1));
        b.sheet->removeRows(2, 2);   // the first link and its tooltip go, the other moves up
        QCOMPARE(b.types(), (std::vector<uint16_t>{biff::kHLink}));
        QCOMPARE(u16(reinterpret_cast<const uint8_t *>(b.records()[0].data.constData())), uint16_t(5));
        b.sortAll();                 // ten rows left: row 6 goes to row 11 - 6
        QCOMPARE(u16(reinterpret_cast<const uint8_t *>(b.records()[0].data.constData())), uint16_t(4));
        QCOMPARE(b.records()[0].data.mid(8), body);
    }

    void formatsAndValidationsShrinkAndGo()
    {
        // CONDFMT: ccf, nID, bound, sqref; its CF: a "less than" with a formula of one ptgInt.
        const QByteArray cf = QByteArray(1, '\x01') + QByteArray(1, '\x06') + le16(3) + le16(0) + QByteArray(6, 'x')
                            + QByteArray("\x1E\x10\x00", 3);
        const QByteArray condfmt = le16(1) + le16(1) + ref8(2, 10, 6, 6) + le16(2) + ref8(2, 7, 6, 6) + ref8(10, 10, 6, 6);
        const QByteArray dval = le16(0) + le32(0) + le32(0) + le32(0xFFFFFFFF) + le32(2);
        auto text = [](const char *s) { return le16(int(strlen(s))) + QByteArray(1, '\0') + QByteArray(s); };
        const QByteArray dvHead = le32(0x0103) + text("T") + text("") + text("") + text("E")
                                + le16(3) + le16(0) + QByteArray("\x17\x01\x00", 3) + le16(0) + le16(0);
        const QByteArray dv1 = dvHead + le16(1) + ref8(2, 7, 7, 7);
        const QByteArray dv2 = dvHead + le16(1) + ref8(10, 11, 7, 7);
        Book b({rec(biff::kCondFmt, condfmt), rec(biff::kCf, cf), rec(kDval, dval), rec(kDv, dv1), rec(kDv, dv2),
                rec(biff::kHorizontalPageBreaks, le16(2) + le16(5) + le16(0) + le16(255) + le16(9) + le16(0) + le16(255))});
        b.sheet->removeRows(3, 4);
        QCOMPARE(ranges(b.records()[0].data, 12), (QList<QList<int>>{{2, 5, 6, 6}, {8, 8, 6, 6}}));
        QCOMPARE(b.records()[0].data.mid(4, 8), ref8(2, 8, 6, 6));   // the bound follows
        QCOMPARE(b.records()[1].data, cf);                            // a formula with no reference stays
        QCOMPARE(ranges(b.records()[3].data, dvHead.size()), (QList<QList<int>>{{2, 5, 7, 7}}));
        QCOMPARE(ranges(b.records()[4].data, dvHead.size()), (QList<QList<int>>{{8, 9, 7, 7}}));
        // Breaks before rows 6 and 10 (rw 5 and 9) move up to rows 4 and 8.
        const auto *pb = reinterpret_cast<const uint8_t *>(b.records()[5].data.constData());
        QCOMPARE(u16(pb), uint16_t(2));
        QCOMPARE(u16(pb + 2), uint16_t(3));
        QCOMPARE(u16(pb + 8), uint16_t(7));

        b.sheet->removeRows(8, 9);   // the format's second range, the second validation, a break
        QCOMPARE(ranges(b.records()[0].data, 12), (QList<QList<int>>{{2, 5, 6, 6}}));
        QCOMPARE(b.types(), (std::vector<uint16_t>{biff::kCondFmt, biff::kCf, kDval, kDv, biff::kHorizontalPageBreaks}));
        QCOMPARE(u16(reinterpret_cast<const uint8_t *>(b.records()[4].data.constData())), uint16_t(1));
        QCOMPARE(biff::u32(reinterpret_cast<const uint8_t *>(b.records()[2].data.constData()) + 14), 1u);
        b.sheet->removeRows(2, 5);   // the rest, and the break before row 4 with its row
        QVERIFY(b.records().empty());
    }

    void notesGoWithTheirRowAndKeepTheDrawingWhole()
    {
        Book b(notesOn({3, 6, 9}, 3));
        int csp = 0, objects = 0;
        QCOMPARE(checkDrawing(b.records(), csp, objects), (QList<int>{2, 5, 8}));
        b.sheet->removeRows(6, 6);
        QCOMPARE(checkDrawing(b.records(), csp, objects), (QList<int>{2, 7}));
        QCOMPARE(csp, 3);
        QCOMPARE(objects, 2);
        QList<int> noteRows;
        int txo = 0;
        for (const auto &r : b.records()) {
            if (r.type == biff::kNote)
                noteRows.append(u16(reinterpret_cast<const uint8_t *>(r.data.constData())) + 1);
            txo += r.type == kTxo;
        }
        QCOMPARE(noteRows, (QList<int>{3, 8}));
        QCOMPARE(txo, 2);

        b.sheet->removeRows(3, 3);   // the note whose shape opens the tree
        QCOMPARE(checkDrawing(b.records(), csp, objects), (QList<int>{6}));
        QCOMPARE(csp, 2);
        QCOMPARE(objects, 1);
        b.sortAll();                 // ten rows left: the note on row 7 goes to row 11 - 7
        QCOMPARE(checkDrawing(b.records(), csp, objects), (QList<int>{3}));
        for (const auto &r : b.records())
            if (r.type == biff::kNote)
                QCOMPARE(u16(reinterpret_cast<const uint8_t *>(r.data.constData())) + 1, 4);
    }

    // Records cut short at every length (as a damaged file may hold them) go through deletes
    // and sorts without reading past their end; the sanitizer build checks the reads.
    void truncatedRecordsAreSurvived()
    {
        const QByteArray dvHead = le32(0x0103) + le16(1) + QByteArray(1, '\0') + "T" + le16(0) + QByteArray(1, '\0')
                                + le16(0) + QByteArray(1, '\0') + le16(0) + QByteArray(1, '\0')
                                + le16(3) + le16(0) + QByteArray("\x24\x02\x00", 3) + le16(0) + le16(0);
        std::vector<biff::PlacedRecord> all = notesOn({3, 6}, 2);
        all.push_back(rec(biff::kMergeCells, le16(2) + ref8(3, 5, 1, 4) + ref8(7, 7, 1, 5)));
        all.push_back(rec(biff::kHLink, ref8(3, 3, 4, 4) + QByteArray(16, 'g')));
        all.push_back(rec(kTooltip, le16(kTooltip) + ref8(3, 3, 4, 4)));
        all.push_back(rec(biff::kCondFmt, le16(1) + le16(1) + ref8(2, 10, 6, 6) + le16(1) + ref8(2, 7, 6, 6)));
        all.push_back(rec(biff::kCf, QByteArray("\x01\x06\x05\x00\x00\x00", 6) + QByteArray("\x24\x02\x00\x00\x00", 5)));
        all.push_back(rec(kDval, le16(0) + le32(0) + le32(0) + le32(0xFFFFFFFF) + le32(1)));
        all.push_back(rec(kDv, dvHead + le16(1) + ref8(2, 7, 7, 7)));
        all.push_back(rec(biff::kHorizontalPageBreaks, le16(1) + le16(5) + le16(0) + le16(255)));
        for (size_t which = 0; which < all.size(); ++which) {
            for (qsizetype length = 0; length < all[which].data.size(); ++length) {
                std::vector<biff::PlacedRecord> records = all;
                records[which].data.truncate(length);
                Book b(records);
                b.sheet->removeRows(3, 3);
                b.sortAll();
                b.sheet->removeRows(1, 2);
                QVERIFY(b.records().size() <= records.size());   // nothing made up
            }
        }
    }

    void unreadableDrawingIsLeftAlone()
    {
        std::vector<biff::PlacedRecord> records = notesOn({3, 6}, 3);
        put32(reinterpret_cast<uint8_t *>(records[0].data.data()) + 4, 0x7FFFFFFF);   // a length past the end
        const auto before = records;
        Book b(records);
        b.sheet->removeRows(3, 3);
        QCOMPARE(b.records().size(), before.size());
        for (size_t i = 0; i + 2 < before.size(); ++i)
            QCOMPARE(b.records()[i].data, before[i].data);
    }
};

QTEST_GUILESS_MAIN(TestStructureEdits)
#include "tst_structureedits.moc"
