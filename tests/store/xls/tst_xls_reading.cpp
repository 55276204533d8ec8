// Reading what other programs write: strings split over CONTINUE records at every point the
// format allows, layout values beyond the program's own ranges, record and stream names of
// other writers, and a hostile file whose records would make the model far larger than it.

#include "store/biff/biff.h"
#include "store/xls/cfb.h"
#include "store/model/errors.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QtTest>

using namespace store;

namespace {

QByteArray u16le(int v) { QByteArray b(2, '\0'); biff::put16(reinterpret_cast<uint8_t *>(b.data()), uint16_t(v)); return b; }
QByteArray u32le(uint32_t v) { QByteArray b(4, '\0'); biff::put32(reinterpret_cast<uint8_t *>(b.data()), v); return b; }

void putRecord(QByteArray &s, uint16_t type, const QByteArray &data)
{
    s.append(u16le(type));
    s.append(u16le(int(data.size())));
    s.append(data);
}

QByteArray bof(uint16_t kind) { return u16le(0x0600) + u16le(kind) + QByteArray(12, '\0'); }

// 16-bit characters of a Latin text.
QByteArray wide(const QString &s)
{
    QByteArray b;
    for (QChar c : s)
        b.append(u16le(c.unicode()));
    return b;
}

// A workbook stream: globals with the given extra records (an SST), then one worksheet per
// cell-record list, named S1, S2, ...
QByteArray bookStream(const std::vector<std::pair<uint16_t, QByteArray>> &globals,
                      const std::vector<std::vector<std::pair<uint16_t, QByteArray>>> &sheets,
                      const QString &firstName = QStringLiteral("S1"))
{
    QByteArray s;
    putRecord(s, biff::kBof, bof(0x0005));
    std::vector<qsizetype> positions;
    for (size_t i = 0; i < sheets.size(); ++i) {
        const QByteArray name = i == 0 ? firstName.toLatin1() : QStringLiteral("S%1").arg(i + 1).toLatin1();
        positions.push_back(s.size() + 4);
        putRecord(s, biff::kBoundSheet, u32le(0) + QByteArray(2, '\0') + char(name.size()) + '\0' + name);
    }
    for (const auto &[type, data] : globals)
        putRecord(s, type, data);
    putRecord(s, biff::kEof, {});
    for (size_t i = 0; i < sheets.size(); ++i) {
        biff::put32(reinterpret_cast<uint8_t *>(s.data()) + positions[i], uint32_t(s.size()));
        putRecord(s, biff::kBof, bof(0x0010));
        for (const auto &[type, data] : sheets[i])
            putRecord(s, type, data);
        putRecord(s, biff::kEof, {});
    }
    return s;
}

QByteArray file(const QByteArray &stream, const QString &name = QStringLiteral("Workbook"))
{
    return cfb::write({biff::CfbEntry{name, stream, false}});
}

QByteArray labelSst(int row, int col, uint32_t index) { return u16le(row) + u16le(col) + u16le(15) + u32le(index); }

// An SST record of the given pieces: the first goes into SST after the counts, the others
// each into a CONTINUE record.
std::vector<std::pair<uint16_t, QByteArray>> sst(int unique, const QList<QByteArray> &pieces)
{
    std::vector<std::pair<uint16_t, QByteArray>> out;
    out.push_back({biff::kSst, u32le(uint32_t(unique)) + u32le(uint32_t(unique)) + pieces.value(0)});
    for (qsizetype i = 1; i < pieces.size(); ++i)
        out.push_back({biff::kContinue, pieces[i]});
    return out;
}

std::unique_ptr<Workbook> open(const QByteArray &bytes) { return readWorkbookBytes(bytes, QString()); }

using Records = std::vector<std::pair<uint16_t, QByteArray>>;

QByteArray label(int row, int col, const QString &text) { return u16le(row) + u16le(col) + u16le(15) + u16le(int(text.size())) + '\0' + text.toLatin1(); }
QByteArray number(int row, int col, double v)
{
    QByteArray b = u16le(row) + u16le(col) + u16le(15) + QByteArray(8, '\0');
    std::memcpy(b.data() + 6, &v, 8);
    return b;
}

// Three sheets, the last two of some 1.1 MB each, so that the last is read by a second
// thread; `tail` goes at the end of each sheet's cells (of the first when `first` is given).
QByteArray threeSheets(const Records &tail, const Records &first = {})
{
    std::vector<Records> sheets{first, {}, {}};
    sheets[0].push_back({biff::kLabel, label(0, 0, QStringLiteral("uno"))});
    for (int s = 1; s < 3; ++s)
        for (int r = 1; r <= 60000; ++r)
            sheets[size_t(s)].push_back({biff::kNumber, number(r, 0, r)});
    sheets[1].push_back({biff::kLabel, label(0, 0, QStringLiteral("due"))});
    sheets[2].insert(sheets[2].end(), tail.begin(), tail.end());
    return file(bookStream(sst(1, {u16le(6) + '\0' + "comune"}), sheets));
}

} // namespace

Q_DECLARE_METATYPE(Records)

class TestXlsReading : public QObject {
    Q_OBJECT

private slots:
    // Each row: the pieces of the SST (after its counts) and the texts cells 1..n must read.
    void sharedStringsOverContinue_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QByteArray>("runs");        // of the first text, as read
        QTest::addColumn<QByteArray>("phonetic");

        const QByteArray none;
        QTest::newRow("8-bit characters going on as 16-bit ones")
            << QList<QByteArray>{u16le(7) + '\0' + "Fat", '\x01' + wide(QStringLiteral("tùra"))}
            << QStringList{QStringLiteral("Fattùra")} << none << none;
        QTest::newRow("16-bit characters going on as 8-bit ones")
            << QList<QByteArray>{u16le(7) + '\x01' + wide(QStringLiteral("Città")), QByteArray("\x00", 1) + "di"}
            << QStringList{QStringLiteral("Cittàdi")} << none << none;
        QTest::newRow("split exactly where the characters begin")
            << QList<QByteArray>{u16le(5) + '\0', QByteArray("\x01", 1) + wide(QStringLiteral("Rossi"))}
            << QStringList{QStringLiteral("Rossi")} << none << none;
        QTest::newRow("split exactly where 8-bit characters begin")
            << QList<QByteArray>{u16le(5) + '\x01', QByteArray("\x00", 1) + "Bruno"}
            << QStringList{QStringLiteral("Bruno")} << none << none;
        const QByteArray runs = u16le(0) + u16le(5) + u16le(3) + u16le(6);
        QTest::newRow("split inside the rich-text runs")
            << QList<QByteArray>{u16le(4) + '\x08' + u16le(2) + "Nota" + runs.left(3), runs.mid(3) + u16le(2) + '\0' + "ok"}
            << QStringList{QStringLiteral("Nota"), QStringLiteral("ok")} << runs << none;
        const QByteArray phonetic = u16le(0x0001) + u16le(10) + QByteArray("\x11\x22\x33\x44\x55\x66", 6);
        QTest::newRow("split inside the phonetic block")
            << QList<QByteArray>{u16le(3) + '\x04' + u32le(uint32_t(phonetic.size())) + "Abc" + phonetic.left(5),
                                 phonetic.mid(5) + u16le(1) + '\0' + "z"}
            << QStringList{QStringLiteral("Abc"), QStringLiteral("z")} << none << phonetic;
        QTest::newRow("split between two strings")
            << QList<QByteArray>{u16le(3) + '\0' + "uno", u16le(3) + '\x01' + wide(QStringLiteral("due"))}
            << QStringList{QStringLiteral("uno"), QStringLiteral("due")} << none << none;
        QTest::newRow("characters over three pieces, width changing twice")
            << QList<QByteArray>{u16le(6) + '\0' + "ab", '\x01' + wide(QStringLiteral("cd")), QByteArray("\x00", 1) + "ef"}
            << QStringList{QStringLiteral("abcdef")} << none << none;
    }

    void sharedStringsOverContinue()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QStringList, texts);
        QFETCH(QByteArray, runs);
        QFETCH(QByteArray, phonetic);
        std::vector<std::pair<uint16_t, QByteArray>> cells;
        for (int i = 0; i < texts.size(); ++i)
            cells.push_back({biff::kLabelSst, labelSst(i, 0, uint32_t(i))});
        auto book = open(file(bookStream(sst(int(texts.size()), pieces), {cells})));
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(book->sheet(1).textAt(i + 1, 1), texts[i]);
        // What the text held besides its characters is handed to the writer with it.
        const auto &rich = book->extras->richTexts;
        const uint32_t first = book->sheet(1).rowsStorage()[0].cells[0].ref;
        const auto found = rich.find(first);
        QCOMPARE(found != rich.end() ? found->second.runs : QByteArray(), runs);
        QCOMPARE(found != rich.end() ? found->second.phonetic : QByteArray(), phonetic);
    }

    // A shared string whose count promises more than the table holds, or a cell naming a
    // string past the table, is damage: no text is read cut short or invented empty.
    void sharedStringsLie_data()
    {
        QTest::addColumn<int>("unique");
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<int>("index");
        QTest::newRow("string longer than the table") << 2 << u16le(2) + '\0' + "ok" + u16le(900) + '\x01' + wide(QStringLiteral("ab")) << 0;
        QTest::newRow("index past the table") << 1 << u16le(2) + '\0' + "ok" << 7;
    }
    void sharedStringsLie()
    {
        QFETCH(int, unique);
        QFETCH(QByteArray, table);
        QFETCH(int, index);
        const QByteArray bytes = file(bookStream(sst(unique, {table}), {{{biff::kLabelSst, labelSst(0, 0, uint32_t(index))}}}));
        try {
            open(bytes);
            QFAIL("the lie was read");
        } catch (const store::StoreError &e) {
            QCOMPARE(e.kind(), store::ErrorKind::Damaged);
        }
    }

    // "Labels in formulas" stays as the file had it after a save.
    void labelsInFormulasKept()
    {
        auto book = open(file(bookStream({{biff::kUsesElfs, u16le(1)}}, {{}})));
        QCOMPARE(open(workbookBytes(*book))->extras->usesElfs, 1);
    }

    // An RSTRING cell keeps its runs for the writer.
    void richTextCell()
    {
        const QByteArray runs = u16le(0) + u16le(5) + u16le(2) + u16le(6);
        auto book = open(file(bookStream({}, {{{biff::kRString, u16le(0) + u16le(0) + u16le(15) + u16le(4) + '\0' + "Nota" + u16le(2) + runs}}})));
        QCOMPARE(book->sheet(1).textAt(1, 1), QStringLiteral("Nota"));
        const auto &rich = book->extras->richTexts;
        const auto found = rich.find(book->sheet(1).rowsStorage()[0].cells[0].ref);
        QVERIFY(found != rich.end());
        QCOMPARE(found->second.runs, runs);
    }

    // Values outside the program's own ranges are kept as read or clamped, never a refusal;
    // the program's own setters still refuse them.
    void layoutAsRead()
    {
        auto row = [](int r, int twips) { return u16le(r) + u16le(0) + u16le(1) + u16le(twips) + u32le(0) + u16le(0x0140) + u16le(15); };
        auto colinfo = [](int c, int width) { return u16le(c) + u16le(c) + u16le(width) + u16le(15) + u16le(0) + u16le(0); };
        auto book = open(file(bookStream({}, {{{biff::kColInfo, colinfo(1, 0xFFFF)}, {biff::kColInfo, colinfo(2, 3000)},
                                               {biff::kRow, row(0, 8190)}, {biff::kRow, row(1, 8181)},
                                               {biff::kRow, row(2, 0x7FFF)}, {biff::kRow, row(3, 300)}}},
                                   QStringLiteral("Riepilogo dei pagamenti dell'anno 2007"))));
        Worksheet &ws = book->sheet(1);
        QCOMPARE(ws.name(), QStringLiteral("Riepilogo dei pagamenti dell'anno 2007"));
        QCOMPARE(ws.rowHeight(1), 409.5);
        QCOMPARE(std::lround(ws.rowHeight(2) * 20), 8181L);
        QCOMPARE(std::lround(ws.rowHeight(3) * 20), 8192L);   // clamped to the format's limit
        QCOMPARE(ws.rowHeight(4), 15.0);
        QCOMPARE(ws.columnWidth(2), 255.0);
        QCOMPARE(ws.columnWidth(3), std::round((3000 / 256.0 - 5.0 / 7.0) * 100) / 100);
        QVERIFY_THROWS_EXCEPTION(StoreError, ws.setRowHeight(1, 409.5));
        QVERIFY_THROWS_EXCEPTION(StoreError, ws.setName(QStringLiteral("Riepilogo dei pagamenti dell'anno 2008")));
        // The heights go back into the file as read.
        auto again = readWorkbookBytes(workbookBytes(*book), QString());
        QCOMPARE(again->sheet(1).rowHeight(1), 409.5);
        QCOMPARE(std::lround(again->sheet(1).rowHeight(2) * 20), 8181L);
        QCOMPARE(again->sheet(1).name(), ws.name());
    }

    // FORMULA records under the numbers of older versions, and a BIFF8 stream named "Book"
    // or "BOOK", as some writers leave them.
    void otherWritersNames_data()
    {
        QTest::addColumn<int>("formulaType");
        QTest::addColumn<QString>("stream");
        QTest::newRow("FORMULA 0x0006 in Workbook") << 0x0006 << QStringLiteral("Workbook");
        QTest::newRow("FORMULA 0x0406 in Workbook") << 0x0406 << QStringLiteral("Workbook");
        QTest::newRow("FORMULA 0x0206 in BOOK") << 0x0206 << QStringLiteral("BOOK");
        QTest::newRow("FORMULA 0x0006 in Book") << 0x0006 << QStringLiteral("Book");
    }

    void otherWritersNames()
    {
        QFETCH(int, formulaType);
        QFETCH(QString, stream);
        QByteArray value(8, '\0');
        const double three = 3.0;
        std::memcpy(value.data(), &three, 8);
        // =1+2: ptgInt 1, ptgInt 2, ptgAdd
        const QByteArray tokens = QByteArray::fromHex("1e01001e020003");
        const QByteArray formula = u16le(0) + u16le(0) + u16le(15) + value + u16le(2) + u32le(0) + u16le(int(tokens.size())) + tokens;
        auto book = open(file(bookStream({}, {{{uint16_t(formulaType), formula}}}), stream));
        const Cell &c = book->sheet(1).rowsStorage()[0].cells[0];
        QVERIFY(c.isFormula());
        QCOMPARE(c.number, 3.0);
        // Saved as an ordinary FORMULA in a Workbook stream.
        auto again = readWorkbookBytes(workbookBytes(*book), QString());
        QVERIFY(again->sheet(1).rowsStorage()[0].cells[0].isFormula());
        QCOMPARE(again->sheet(1).rowsStorage()[0].cells[0].number, 3.0);
    }

    // Many small sheets, each with one cell at the far corner: a few dozen bytes each in the
    // file, over a megabyte and a half each in the model. Refused once the load's budget is
    // spent, before more is taken; the same sheets with cells near the top open.
    void memoryBoundedBySize()
    {
        auto sheets = [](int count, int row, int col) {
            std::vector<std::vector<std::pair<uint16_t, QByteArray>>> out;
            for (int i = 0; i < count; ++i)
                out.push_back({{biff::kBlank, u16le(row) + u16le(col) + u16le(15)}});
            return out;
        };
        const QByteArray hostile = file(bookStream({}, sheets(600, 65535, 255)));
        QVERIFY(hostile.size() < 64 * 1024);
        try {
            open(hostile);
            QFAIL("600 sheets of 1.5 MB each from a file of some 30 KB were read");
        } catch (const StoreError &e) {
            QCOMPARE(e.kind(), ErrorKind::Damaged);
            QVERIFY(!e.userMessage().isEmpty());
        }
        auto book = open(file(bookStream({}, sheets(600, 3, 3))));
        QCOMPARE(book->sheetCount(), 600);
    }
    // The last sheet read on a second thread: its cells as a single thread reads them, and its
    // texts in the string pool after those of the sheets before it, in the order read.
    void secondThreadSheet()
    {
        const QByteArray runs = u16le(0) + u16le(1);
        auto book = open(threeSheets({{biff::kLabelSst, labelSst(0, 0, 0)},
                                      {biff::kLabel, label(0, 1, QStringLiteral("sostituito"))},
                                      {biff::kNumber, number(0, 1, 5)},
                                      {biff::kNumber, number(0, 2, 6)},
                                      {biff::kLabel, label(0, 2, QStringLiteral("ultimo"))},
                                      {biff::kRString, label(0, 3, QStringLiteral("ricco")) + u16le(1) + runs}}));
        const Worksheet &last = book->sheet(3);
        QCOMPARE(last.textAt(1, 1), QStringLiteral("comune"));
        QCOMPARE(last.valueAt(1, 2), Variant::fromNumber(5.0));
        QCOMPARE(last.textAt(1, 3), QStringLiteral("ultimo"));
        QCOMPARE(last.textAt(1, 4), QStringLiteral("ricco"));
        QCOMPARE(last.valueAt(60001, 1), Variant::fromNumber(60000.0));
        QCOMPARE(book->extras->richTexts.at(last.rowsStorage()[0].cells[3].ref).runs, runs);
        QStringList pool;
        for (uint32_t i = 0; i < book->strings.size(); ++i)
            pool << book->strings.at(i);
        const QStringList read{QStringLiteral("comune"), QStringLiteral("uno"), QStringLiteral("due"), QStringLiteral("sostituito"),
                               QStringLiteral("ultimo"), QStringLiteral("ricco")};
        QCOMPARE(pool.mid(pool.indexOf(read.first()), read.size()), read);
    }

    // Damage in the sheet read on the second thread is refused as on the first; with damage
    // in an earlier sheet too, the earlier one is what the refusal names.
    void secondThreadDamage_data()
    {
        QTest::addColumn<Records>("tail");
        QTest::addColumn<Records>("first");
        QTest::addColumn<QString>("detail");
        const Records pastTable{{biff::kLabelSst, labelSst(0, 0, 9)}};
        const Records cutShort{{biff::kLabel, u16le(0) + u16le(1)}};
        QTest::newRow("shared string past the table") << pastTable << Records{} << QStringLiteral("testo condiviso 9");
        QTest::newRow("text record cut short") << cutShort << Records{} << QStringLiteral("record 0x0204 di 4 byte");
        QTest::newRow("an earlier sheet damaged too") << pastTable << cutShort << QStringLiteral("record 0x0204 di 4 byte");
    }
    void secondThreadDamage()
    {
        QFETCH(Records, tail);
        QFETCH(Records, first);
        QFETCH(QString, detail);
        try {
            open(threeSheets(tail, first));
            QFAIL("the damaged sheet was read");
        } catch (const StoreError &e) {
            QCOMPARE(e.kind(), ErrorKind::Damaged);
            QCOMPARE(e.userMessage(), QStringLiteral("Il file è danneggiato: non si riesce a leggere la cartella di lavoro."));
            QVERIFY2(e.detail().startsWith(detail), qPrintable(e.detail()));
        }
    }
};

QTEST_GUILESS_MAIN(TestXlsReading)
#include "tst_xls_reading.moc"
