// The structural edits on an annotated ledger: a full "Incassi" of 32,766 records with 1,000
// notes, 100 merged ranges and a summary sheet of 500 formulas over it. Times opening the
// workbook, sorting the ledger by due date (notes and formulas follow), deleting one record's
// row, and saving. Prints wall times and the peak memory.
//
//   contavio-bench-annotated [--rows N] [folder]

#include "benchtools.h"

#include "store/model/italian.h"
#include "store/model/workbook.h"
#include "store/biff/biff.h"
#include "store/file/workbookfile.h"
#include "records/layout.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>

#include <cstdio>
#include <functional>

namespace {

using store::biff::put16;
using store::biff::put32;

const QString kPassword = records::layout::kWorkbookPassword;
int g_rows = 32766;
constexpr int kNotes = 1000, kMerged = 100, kFormulas = 500;

const bench::Timings kTable(44, 4);

double timed(const char *what, const std::function<void()> &step)
{
    return kTable.timed(what, step);
}

QByteArray le16(int v) { QByteArray b(2, '\0'); put16(reinterpret_cast<uint8_t *>(b.data()), uint16_t(v)); return b; }
QByteArray le32(uint32_t v) { QByteArray b(4, '\0'); put32(reinterpret_cast<uint8_t *>(b.data()), v); return b; }
QByteArray art(uint16_t verInstance, uint16_t type, const QByteArray &data)
{
    return le16(verInstance) + le16(type) + le32(uint32_t(data.size())) + data;
}

void fillLedger(store::Worksheet &sheet)
{
    const QDate base(2009, 1, 1);
    for (int c = 1; c <= 19; ++c)
        sheet.cells(1, c).setValue(QStringLiteral("Titolo %1").arg(c));
    for (int r = 2; r <= g_rows + 1; ++r) {
        const int n = r - 1;
        sheet.cells(r, 1).setValue(double(n));
        sheet.cells(r, 3).setValue(QStringLiteral("CLIENTE NUMERO %1 S.R.L.").arg(n % 5000 + 1));
        sheet.cells(r, 4).setValue(QStringLiteral("%1/2009").arg(n));
        sheet.cells(r, 6).setValue(store::Variant::fromDate(store::dateToSerial(base.addDays((n * 7919) % 5000))));
        sheet.cells(r, 8).setValue(double(n % 9000 + 100));
        sheet.cells(r, 19).setValue(QStringLiteral("Nota della registrazione %1").arg(n));
    }
}

// Notes on column D of every (rows / 1000)th record, laid out as the spreadsheet programs
// write them: the drawing tree over MSODRAWING records, OBJ, TXO, then the NOTE records.
void addNotes(store::Worksheet &sheet, int count)
{
    std::vector<store::biff::PlacedRecord> records;
    const auto place = store::biff::Place::SheetCells;
    const QByteArray group = art(0x000F, 0xF004, art(0x0001, 0xF009, QByteArray(16, '\0'))
                                                 + art(0x0002, 0xF00A, le32(1024) + le32(0x0005)));
    QList<QByteArray> heads;
    const QByteArray tail = art(0x0000, 0xF00D, {});
    const int step = std::max(1, g_rows / count);
    QList<int> rows;
    for (int i = 0; i < count && 2 + i * step <= g_rows + 1; ++i)
        rows.append(2 + i * step);
    qsizetype shapes = group.size();
    for (int i = 0; i < rows.size(); ++i) {
        const int r0 = rows[i] - 1;
        const QByteArray anchor = le16(0) + le16(4) + le16(0) + le16(std::max(r0 - 1, 0)) + le16(0) + le16(6)
                                + le16(0) + le16(std::min(r0 + 3, 65535)) + le16(0);
        const QByteArray head = art(0x0CA2, 0xF00A, le32(uint32_t(1025 + i)) + le32(0x0A00))
                              + art(0x0000, 0xF010, anchor) + art(0x0000, 0xF011, {});
        heads.append(le16(0x000F) + le16(0xF004) + le32(uint32_t(head.size() + tail.size())) + head);
        shapes += heads.last().size() + tail.size();
    }
    const QByteArray fdg = art(0x0010, 0xF008, le32(uint32_t(rows.size() + 1)) + le32(uint32_t(1025 + rows.size())));
    const QByteArray open = le16(0x000F) + le16(0xF002) + le32(uint32_t(fdg.size() + 8 + shapes)) + fdg
                          + le16(0x000F) + le16(0xF003) + le32(uint32_t(shapes)) + group;
    for (int i = 0; i < rows.size(); ++i) {
        records.push_back({place, 0x00EC, (i == 0 ? open : QByteArray()) + heads[i]});
        records.push_back({place, 0x005D, le16(0x15) + le16(0x12) + le16(0x19) + le16(i + 1) + QByteArray(14, '\0') + le32(0)});
        records.push_back({place, 0x00EC, tail});
        QByteArray txo(18, '\0');
        put16(reinterpret_cast<uint8_t *>(txo.data()) + 10, 4);    // cchText
        put16(reinterpret_cast<uint8_t *>(txo.data()) + 12, 16);   // cbRuns
        records.push_back({place, 0x01B6, txo});
        records.push_back({place, 0x003C, QByteArray("\0nota", 5)});
        records.push_back({place, 0x003C, QByteArray(16, '\0')});
    }
    for (int i = 0; i < rows.size(); ++i)
        records.push_back({place, 0x001C, le16(rows[i] - 1) + le16(3) + le16(0) + le16(i + 1) + le16(1) + QByteArray("\0A", 2) + QByteArray(1, '\0')});
    QByteArray merged = le16(kMerged);
    for (int i = 0; i < kMerged; ++i) {
        const int row = 2 + (i * (g_rows - 1)) / kMerged;
        merged += le16(row - 1) + le16(row - 1) + le16(19) + le16(21);
    }
    records.push_back({store::biff::Place::SheetTail, 0x00E5, merged});
    auto &carried = sheet.extras->records;
    carried.insert(carried.end(), records.begin(), records.end());
}

// The summary: SUM(Incassi!H a:H b) and Incassi!H n, through the workbook's EXTERNSHEET.
void addSummary(store::Workbook &book, store::Worksheet &summary, int ledgerTab)
{
    auto &bx = *book.extras;
    int internal = -1;
    for (size_t i = 0; i < bx.supBooks.size(); ++i)
        if (bx.supBooks[i].internal)
            internal = int(i);
    if (internal < 0) {
        store::biff::SupBook sb;
        sb.record = le16(book.sheetCount()) + le16(0x0401);
        sb.internal = true;
        bx.supBooks.push_back(sb);
        internal = int(bx.supBooks.size() - 1);
    }
    bx.xtis.push_back({uint16_t(internal), int16_t(ledgerTab), int16_t(ledgerTab)});
    const int ixti = int(bx.xtis.size() - 1);
    for (int i = 0; i < kFormulas; ++i) {
        QByteArray rgce;
        const int a = 2 + (i * 61) % g_rows;
        if (i % 2 == 0) {
            const int b = std::min(g_rows + 1, a + 200);
            rgce = QByteArray(1, '\x3B') + le16(ixti) + le16(a - 1) + le16(b - 1) + le16(7) + le16(7)
                 + QByteArray("\x42\x01\x04\x00", 4);
        } else {
            rgce = QByteArray(1, '\x3A') + le16(ixti) + le16(a - 1) + le16(7);
        }
        store::Formula f;
        f.record = QByteArray(8, '\0') + le16(0) + le32(0) + le16(int(rgce.size())) + rgce;
        summary.formulas().push_back(f);
        store::Cell cell;
        cell.kind = store::CellKind::Number;
        cell.flags = store::Cell::kFormula;
        cell.ref = uint32_t(summary.formulas().size() - 1);
        summary.putCell(i + 1, 2, cell);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bench::CommandLine line(app.arguments().mid(1), 10, 65534, g_rows);
    if (!line.ok())
        return 2;
    g_rows = line.rows();
    const QString path = line.workbookPath();
    std::printf("Annotated ledger: %d records, %d notes, %d merged ranges, %d summary formulas\n", g_rows, kNotes,
                kMerged, kFormulas);
    {
        store::Workbook book;
        book.sheet(1).setName(QStringLiteral("Incassi"));
        fillLedger(book.sheet(1));
        book.appendSheet(QStringLiteral("Riepilogo")).cells(1, 1).setValue(QStringLiteral("Totali"));
        book.protection.password = kPassword;
        store::writeWorkbook(book, path);
    }
    {
        // Read back, so that the records carry the file's tab numbers, then annotated.
        store::Server server;
        store::Workbook &book = server.open(path, kPassword);
        addNotes(book.sheet(1), kNotes);
        addSummary(book, book.sheet(2), 0);
        book.save();
    }
    kTable.value("file size", QFileInfo(path).size() / 1048576.0, "MB");

    store::Server server;
    store::Workbook *book = nullptr;
    timed("open the annotated workbook", [&] { book = &server.open(path, kPassword); });
    store::Worksheet &ledger = book->sheet(QStringLiteral("Incassi"));
    timed("sort Incassi A2:S65536 by F", [&] {
        store::SortOptions options;
        options.keyColumn = 6;
        ledger.range(QStringLiteral("A2:S65536")).sort(options);
    });
    timed("delete a record's row (Elimina)", [&] { ledger.cells(g_rows / 2, 1).entireRow().deleteRows(); });
    timed("delete the first record's row", [&] { ledger.cells(2, 1).entireRow().deleteRows(); });
    timed("save the annotated workbook", [&] { book->save(); });
    server.close(*book);

    // The same sort and delete with the cells alone, for what keeping the rest in step costs.
    store::Workbook &plain = server.open(path, kPassword);
    plain.structureEdits.reset();
    store::Worksheet &cellsOnly = plain.sheet(QStringLiteral("Incassi"));
    timed("sort, cells only", [&] {
        store::SortOptions options;
        options.keyColumn = 6;
        cellsOnly.range(QStringLiteral("A2:S65536")).sort(options);
    });
    timed("delete the first record's row, cells only", [&] { cellsOnly.cells(2, 1).entireRow().deleteRows(); });
    int notes = 0;
    for (const auto &r : cellsOnly.extras->records)
        notes += r.type == 0x001C;
    std::printf("(%d notes left)\n", notes);
    return 0;
}
