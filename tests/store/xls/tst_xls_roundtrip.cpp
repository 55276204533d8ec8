// Workbooks written by the file layer and read back, compared by meaning: sheets, cells,
// types, formats, page set-up, window state, date system, Unicode text, long string tables,
// encryption, and the records of other programs carried through.

#include "store/biff/biff.h"
#include "store/xls/biffstream.h"
#include "store/xls/cfb.h"
#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace store;

Q_DECLARE_METATYPE(store::Variant)

namespace {

// The Workbook stream inside a file image.
QByteArray workbookStream(const QByteArray &image)
{
    for (const biff::CfbEntry &e : cfb::read(image))
        if (e.path == QLatin1String("Workbook"))
            return e.data;
    return {};
}

struct Rec {
    uint16_t type;
    qsizetype offset;
    QByteArray data;
};

// Every record of a plain (unencrypted) stream, checking that the records tile it exactly.
std::vector<Rec> records(const QByteArray &stream, bool *tiles = nullptr)
{
    std::vector<Rec> out;
    qsizetype at = 0;
    while (at + 4 <= stream.size()) {
        const auto *p = reinterpret_cast<const uint8_t *>(stream.constData()) + at;
        const int len = biff::u16(p + 2);
        if (at + 4 + len > stream.size())
            break;
        out.push_back({biff::u16(p), at, stream.mid(at + 4, len)});
        at += 4 + len;
    }
    if (tiles)
        *tiles = at == stream.size();
    return out;
}

std::unique_ptr<Workbook> roundTrip(const Workbook &book, const QString &password = QString())
{
    return readWorkbookBytes(workbookBytes(book), password);
}

} // namespace

class TestXlsRoundTrip : public QObject {
    Q_OBJECT

private slots:
    void values_data()
    {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("format");
        QTest::newRow("small whole number (RK)") << Variant::fromNumber(42) << QString();
        QTest::newRow("negative whole number") << Variant::fromNumber(-123456) << QString();
        QTest::newRow("two decimals (RK x100)") << Variant::fromNumber(12.5) << QString();
        QTest::newRow("money amount") << Variant::fromNumber(1234.56) << QStringLiteral("#,##0.00");
        QTest::newRow("not an RK") << Variant::fromNumber(0.1 + 0.2) << QString();
        QTest::newRow("beyond 30 bits") << Variant::fromNumber(9876543210.0) << QString();
        QTest::newRow("tiny") << Variant::fromNumber(1e-300) << QString();
        QTest::newRow("latin text") << Variant::fromText(QStringLiteral("Forlì à è é ì ò ù")) << QString();
        QTest::newRow("euro and more") << Variant::fromText(QStringLiteral("Importo € 12,50 — ok ✓")) << QString();
        QTest::newRow("leading zero in a text cell") << Variant::fromText(QStringLiteral("0123")) << QStringLiteral("@");
        QTest::newRow("boolean true") << Variant::fromBool(true) << QString();
        QTest::newRow("boolean false") << Variant::fromBool(false) << QString();
        QTest::newRow("error #N/D") << Variant::fromError(CellError::NA) << QString();
        QTest::newRow("error #DIV/0!") << Variant::fromError(CellError::Div0) << QString();
        QTest::newRow("date") << Variant::fromDate(39945) << QStringLiteral("dd/mm/yyyy");
        QTest::newRow("date and time") << Variant::fromDate(39945.75) << QStringLiteral("dd/mm/yyyy hh:mm:ss");
    }

    void values()
    {
        QFETCH(Variant, value);
        QFETCH(QString, format);
        for (bool date1904 : {false, true}) {
            Workbook book;
            book.date1904 = date1904;
            Worksheet &ws = book.sheet(1);
            Range cell = ws.cells(3, 4);
            if (!format.isEmpty())
                cell.setNumberFormat(format);
            cell.setValue(value);
            auto again = roundTrip(book);
            QCOMPARE(again->date1904, date1904);
            Worksheet &b = again->sheet(1);
            QCOMPARE(b.valueAt(3, 4), ws.valueAt(3, 4));
            QCOMPARE(b.valueAt(3, 4).type, value.type);
            if (value.type == Variant::Type::Number || value.type == Variant::Type::Date)
                QCOMPARE(b.valueAt(3, 4).number, value.number);   // bit for bit, through RK or NUMBER
            QCOMPARE(again->styles.formatCode(b.cellAt(3, 4)->xf), book.styles.formatCode(ws.cellAt(3, 4)->xf));
            QCOMPARE(b.textAt(3, 4), ws.textAt(3, 4));
            QCOMPARE(b.lastRow(), 3);
            QCOMPARE(b.lastColumn(), 4);
        }
    }

    void formattedEmptyCellsKeepTheirFormat()
    {
        Workbook book;
        Worksheet &ws = book.sheet(1);
        const uint16_t xf = book.styles.xfWithFormat(Styles::kDefaultCellXf, QStringLiteral("0.00%"));
        Cell blank;
        blank.xf = xf;
        ws.putCell(5, 2, blank);
        ws.cells(1, 1).setValue(1.0);
        auto again = roundTrip(book);
        const Cell *c = again->sheet(1).cellAt(5, 2);
        QVERIFY(c);
        QCOMPARE(c->kind, CellKind::Empty);
        QCOMPARE(again->styles.formatCode(c->xf), QStringLiteral("0.00%"));
    }

    void sheetsOrderNamesAndActive()
    {
        Workbook book;
        book.sheet(1).setName(QStringLiteral("Anagrafe"));
        book.appendSheet(QStringLiteral("Incassi"));
        book.appendSheet(QStringLiteral("Pagamenti è €"));
        book.sheet(2).cells(1, 1).setValue(Variant::fromText(QStringLiteral("ID")));
        book.setActiveSheet(book.sheet(2));
        auto again = roundTrip(book);
        QCOMPARE(again->sheetCount(), 3);
        QCOMPARE(again->sheet(1).name(), QStringLiteral("Anagrafe"));
        QCOMPARE(again->sheet(2).name(), QStringLiteral("Incassi"));
        QCOMPARE(again->sheet(3).name(), QStringLiteral("Pagamenti è €"));
        QCOMPARE(again->indexOf(again->activeSheet()), 2);
        QCOMPARE(again->sheet(2).valueAt(1, 1).text, QStringLiteral("ID"));
    }

    // Strings long enough to cross the 8,224-byte record limit, one and two bytes a character,
    // and more than 10,000 of them: the string table continues correctly.
    void longStringTable_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("wide");
        QTest::newRow("one long latin string") << 1 << 20000 << false;
        QTest::newRow("one long wide string") << 1 << 9001 << true;
        QTest::newRow("odd lengths crossing boundaries") << 60 << 1237 << true;
        QTest::newRow("12,000 short strings") << 12000 << 11 << false;
        QTest::newRow("12,000 mixed strings") << 12000 << 7 << true;
    }

    void longStringTable()
    {
        QFETCH(int, count);
        QFETCH(int, length);
        QFETCH(bool, wide);
        Workbook book;
        Worksheet &ws = book.sheet(1);
        QStringList texts;
        QRandomGenerator rng(1234);
        const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyzàèéìòù ");
        for (int i = 0; i < count; ++i) {
            QString s = QString::number(i) + u':';
            while (s.size() < length)
                s += alphabet[int(rng.bounded(alphabet.size()))];
            if (wide && i % 2 == 0)
                s[s.size() / 2] = QChar(0x20AC);   // "€" makes the string two bytes a character
            texts << s;
            ws.putCell(i / 10 + 1, i % 10 + 1, Cell{CellKind::Text, 0, Styles::kDefaultCellXf, book.strings.intern(s), 0});
        }
        const QByteArray image = workbookBytes(book);
        auto again = readWorkbookBytes(image, QString());
        for (int i = 0; i < count; ++i)
            QCOMPARE(again->sheet(1).valueAt(i / 10 + 1, i % 10 + 1).text, texts[i]);

        // Every record respects the size limit, and the records tile the stream exactly.
        bool tiles = false;
        const auto recs = records(workbookStream(image), &tiles);
        QVERIFY(tiles);
        int continues = 0;
        for (const Rec &r : recs) {
            QVERIFY(r.data.size() <= biff::kMaxRecordData);
            continues += r.type == biff::kContinue;
        }
        QVERIFY(count * length < 8000 || continues > 0);
        QVERIFY(std::any_of(recs.begin(), recs.end(), [](const Rec &r) { return r.type == biff::kExtSst; }));
    }

    void pageSetupSurvives()
    {
        Workbook book;
        Worksheet &ws = book.sheet(1);
        ws.cells(40, 19).setValue(1.0);
        PageSetup &ps = ws.pageSetup();
        ps.printArea = QStringLiteral("$A$1:$S$40");
        ps.printTitleRows = QStringLiteral("$1:$1");
        ps.printTitleColumns = QStringLiteral("$A:$B");
        ps.centerHeader = QStringLiteral("Situazione Incassi – €");
        ps.leftMargin = 18; ps.rightMargin = 27; ps.topMargin = 36; ps.bottomMargin = 45;
        ps.headerMargin = 9; ps.footerMargin = 10.5;
        ps.printGridlines = true;
        ps.printHeadings = true;
        ps.printComments = true;
        ps.printQuality = 300;
        ps.centerHorizontally = true;
        ps.centerVertically = true;
        ps.draft = true;
        ps.blackAndWhite = true;
        ps.firstPageNumber = 7;
        ps.overThenDown = true;
        ps.printErrors = 2;
        ps.fitToPagesWide = 1;
        ps.fitToPagesTall = 3;
        ps.orientation = Orientation::Landscape;
        ps.paperSize = 8;
        ps.zoom = 85;
        Worksheet &second = book.appendSheet(QStringLiteral("Pagamenti"));
        second.pageSetup().zoom.reset();            // fit to pages
        second.pageSetup().fitToPagesWide = 2;
        second.pageSetup().fitToPagesTall = 0;
        second.pageSetup().printTitleRows = QStringLiteral("$1:$2");

        auto again = roundTrip(book);
        const PageSetup &r = again->sheet(1).pageSetup();
        QCOMPARE(r.printArea, ps.printArea);
        QCOMPARE(r.printTitleRows, ps.printTitleRows);
        QCOMPARE(r.printTitleColumns, ps.printTitleColumns);
        QCOMPARE(r.centerHeader, ps.centerHeader);
        QCOMPARE(r.leftMargin, ps.leftMargin);
        QCOMPARE(r.rightMargin, ps.rightMargin);
        QCOMPARE(r.topMargin, ps.topMargin);
        QCOMPARE(r.bottomMargin, ps.bottomMargin);
        QCOMPARE(r.headerMargin, ps.headerMargin);
        QCOMPARE(r.footerMargin, ps.footerMargin);
        QCOMPARE(r.printGridlines, true);
        QCOMPARE(r.printHeadings, true);
        QCOMPARE(r.printComments, true);
        QCOMPARE(r.printQuality, 300);
        QCOMPARE(r.centerHorizontally, true);
        QCOMPARE(r.centerVertically, true);
        QCOMPARE(r.draft, true);
        QCOMPARE(r.blackAndWhite, true);
        QCOMPARE(r.firstPageNumber, std::optional<int>(7));
        QCOMPARE(r.overThenDown, true);
        QCOMPARE(r.printErrors, 2);
        QCOMPARE(r.fitToPagesTall, 3);
        QCOMPARE(r.orientation, Orientation::Landscape);
        QCOMPARE(r.paperSize, 8);
        QCOMPARE(r.zoom, std::optional<int>(85));

        const PageSetup &s = again->sheet(2).pageSetup();
        QCOMPARE(s.zoom, std::optional<int>());
        QCOMPARE(s.fitToPagesWide, 2);
        QCOMPARE(s.fitToPagesTall, 0);
        QCOMPARE(s.printTitleRows, QStringLiteral("$1:$2"));
        QCOMPARE(s.printArea, QString());
        QCOMPARE(s.orientation, Orientation::Portrait);
        QCOMPARE(s.firstPageNumber, std::optional<int>());

        // Clearing the print area in a book read back removes the name at the next save.
        again->sheet(1).pageSetup().printArea.clear();
        auto third = roundTrip(*again);
        QCOMPARE(third->sheet(1).pageSetup().printArea, QString());
        QCOMPARE(third->sheet(1).pageSetup().printTitleRows, QStringLiteral("$1:$1"));
        QCOMPARE(third->sheet(2).pageSetup().printTitleRows, QStringLiteral("$1:$2"));
    }

    void headerKeepsItsOtherSections()
    {
        Workbook book;
        auto extras = std::make_shared<BiffExtras>();
        extras->header = QStringLiteral("&LSinistra&CCentro&RPagina &P");
        book.sheet(1).extras = extras;
        book.sheet(1).pageSetup().centerHeader = QStringLiteral("Nuovo centro");
        auto again = roundTrip(book);
        QCOMPARE(again->sheet(1).pageSetup().centerHeader, QStringLiteral("Nuovo centro"));
        QCOMPARE(again->sheet(1).extras->header, QStringLiteral("&LSinistra&CNuovo centro&RPagina &P"));
    }

    void windowAndColumns()
    {
        Workbook book;
        Worksheet &ws = book.sheet(1);
        ws.cells(1, 1).setValue(1.0);
        ws.range(QStringLiteral("2:2")).select();
        ws.freezePanes();
        ws.range(QStringLiteral("C5:D9")).select();
        ws.setColumnWidth(3, 25.5);
        ws.setColumnWidth(19, 4.0);
        ws.setRowHeight(7, 30);
        ws.setDefaultRowHeight(15);
        ws.range(QStringLiteral("J:J")).setNumberFormat(QStringLiteral("@"));
        Worksheet &second = book.appendSheet(QStringLiteral("Secondo"));
        second.cells(1, 1).setValue(2.0);
        second.range(QStringLiteral("C3")).select();
        second.freezePanes();

        auto again = roundTrip(book);
        Worksheet &a = again->sheet(1);
        QCOMPARE(a.view().frozen, true);
        QCOMPARE(a.view().frozenAt, (CellAddress{2, 1}));
        QCOMPARE(a.view().selection, (RangeRect{5, 3, 9, 4}));
        QCOMPARE(a.view().activeCell, (CellAddress{5, 3}));
        QCOMPARE(a.columnWidth(3), 25.5);
        QCOMPARE(a.columnWidth(19), 4.0);
        QCOMPARE(a.columnWidth(4), ws.columnWidth(4));
        QCOMPARE(a.rowHeight(7), 30.0);
        QCOMPARE(a.defaultRowHeight(), 15.0);
        QCOMPARE(again->styles.formatCode(a.columnXf(10)), QStringLiteral("@"));
        QCOMPARE(again->styles.isTextFormat(a.cellXf(50, 10)), true);
        Worksheet &b = again->sheet(2);
        QCOMPARE(b.view().frozen, true);
        QCOMPARE(b.view().frozenAt, (CellAddress{3, 3}));
        QCOMPARE(again->indexOf(again->activeSheet()), 2);
    }

    // With a password nothing of the contents is readable in the file, and the protection
    // written is RC4 CryptoAPI 4.2 with a 128-bit key.
    void encryptedForReal()
    {
        Workbook book;
        Worksheet &ws = book.sheet(1);
        const QString secret = QStringLiteral("Ragione Sociale Segretissima");
        const QString wide = QStringLiteral("Località €uro");
        ws.cells(1, 1).setValue(Variant::fromText(secret));
        ws.cells(2, 1).setValue(Variant::fromText(wide));
        ws.cells(3, 1).setValue(123456.789);
        book.sheet(1).setName(QStringLiteral("Anagrafe"));
        book.protection.password = QStringLiteral("Tevo1963");
        const QByteArray image = workbookBytes(book);

        auto utf16 = [](const QString &s) {
            return QByteArray(reinterpret_cast<const char *>(s.utf16()), s.size() * 2);
        };
        QVERIFY(!image.contains(secret.toLatin1()));
        QVERIFY(!image.contains(utf16(secret)));
        QVERIFY(!image.contains(utf16(wide)));
        QVERIFY(!image.contains(QByteArray("Anagrafe")));
        const double number = 123456.789;
        QVERIFY(!image.contains(QByteArray(reinterpret_cast<const char *>(&number), 8)));

        const QByteArray stream = workbookStream(image);
        const auto *p = reinterpret_cast<const uint8_t *>(stream.constData());
        QCOMPARE(biff::u16(p), uint16_t(biff::kBof));
        QCOMPARE(biff::u16(p + 20), uint16_t(biff::kFilePass));
        QCOMPARE(biff::u16(p + 24), uint16_t(1));   // RC4
        QCOMPARE(biff::u16(p + 26), uint16_t(4));   // CryptoAPI 4.2
        QCOMPARE(biff::u16(p + 28), uint16_t(2));

        auto again = readWorkbookBytes(image, QStringLiteral("Tevo1963"));
        QCOMPARE(again->protection.kind, Protection::Kind::Rc4CryptoApi);
        QCOMPARE(again->sheet(1).valueAt(1, 1).text, secret);
        QCOMPARE(again->sheet(1).valueAt(2, 1).text, wide);
        QCOMPARE(again->sheet(1).valueAt(3, 1).number, number);
        for (const QString &bad : {QStringLiteral("tevo1963"), QString()}) {
            try {
                readWorkbookBytes(image, bad);
                QFAIL("opened with a wrong password");
            } catch (const StoreError &e) {
                QCOMPARE(e.kind(), ErrorKind::WrongPassword);
            }
        }
    }

    // A plain book: no FILEPASS, the stream ends with the last EOF, BOUNDSHEET points at
    // each sheet's BOF, and each row block ends with a DBCELL pointing back at its rows.
    void streamLayout()
    {
        Workbook book;
        Worksheet &ws = book.sheet(1);
        for (int r = 1; r <= 70; ++r)
            for (int c = 1; c <= 3; ++c)
                ws.cells(r, c).setValue(double(r * c));
        book.appendSheet(QStringLiteral("Vuoto"));
        const QByteArray stream = workbookStream(workbookBytes(book));
        bool tiles = false;
        const auto recs = records(stream, &tiles);
        QVERIFY(tiles);
        QCOMPARE(recs.back().type, uint16_t(biff::kEof));
        QVERIFY(std::none_of(recs.begin(), recs.end(), [](const Rec &r) { return r.type == biff::kFilePass; }));
        int sheets = 0;
        for (const Rec &r : recs) {
            if (r.type == biff::kBoundSheet) {
                const uint32_t pos = biff::u32(reinterpret_cast<const uint8_t *>(r.data.constData()));
                QVERIFY(pos + 4 <= uint32_t(stream.size()));
                QCOMPARE(biff::u16(reinterpret_cast<const uint8_t *>(stream.constData()) + pos), uint16_t(biff::kBof));
                ++sheets;
            }
            if (r.type == biff::kDbCell) {
                const uint32_t back = biff::u32(reinterpret_cast<const uint8_t *>(r.data.constData()));
                QCOMPARE(biff::u16(reinterpret_cast<const uint8_t *>(stream.constData()) + r.offset - back), uint16_t(biff::kRow));
            }
        }
        QCOMPARE(sheets, 2);
        QCOMPARE(std::count_if(recs.begin(), recs.end(), [](const Rec &r) { return r.type == biff::kDbCell; }), 3L);
    }

    // A book made by another spreadsheet program (merged cells, a conditional format, a
    // validation rule, a comment, formulas, bold and filled cells, a second sheet referring
    // to the first) keeps all of it through our load and save.
    void recordsOfOtherProgramsSurvive()
    {
        const QString path = QStringLiteral(CONTAVIO_TEST_DATA "/office_formatted.xls");
        const QString password = QStringLiteral("Prova€1");
        auto book = readWorkbook(path, password);
        QCOMPARE(book->sheetCount(), 2);
        // Carried records in order; the calculation and outline settings the writer always
        // emits in its own order are left out.
        auto kinds = [](const Worksheet &ws) {
            static const std::vector<uint16_t> settings = {0x0C, 0x0D, 0x0F, 0x10, 0x11, 0x5F, 0x80, 0x82};
            std::vector<uint16_t> t;
            if (ws.extras)
                for (const auto &r : ws.extras->records)
                    if (std::find(settings.begin(), settings.end(), r.type) == settings.end())
                        t.push_back(r.type);
            return t;
        };
        const auto before = kinds(book->sheet(1));
        for (uint16_t type : std::initializer_list<uint16_t>{biff::kMergeCells, biff::kCondFmt, biff::kCf, biff::kNote, 0x01B2 /* DVAL */})
            QVERIFY2(std::count(before.begin(), before.end(), type) > 0, qPrintable(QString::number(type, 16)));

        // Our own change on top: a new sheet and a print area.
        book->appendSheet(QStringLiteral("Anagrafe")).cells(1, 1).setValue(Variant::fromText(QStringLiteral("ID")));
        book->sheet(1).pageSetup().printArea = QStringLiteral("$A$1:$D$6");
        auto again = roundTrip(*book, password);
        QCOMPARE(again->sheetCount(), 3);
        QCOMPARE(kinds(again->sheet(1)), before);
        QCOMPARE(again->sheet(1).pageSetup().printArea, QStringLiteral("$A$1:$D$6"));
        QCOMPARE(again->sheet(1).valueAt(1, 1).text, QStringLiteral("Città"));
        QCOMPARE(again->sheet(1).valueAt(4, 2).number, book->sheet(1).valueAt(4, 2).number);   // formula result
        QVERIFY(again->sheet(1).cellAt(4, 2)->isFormula());
        QCOMPARE(again->sheet(1).formulas().at(again->sheet(1).cellAt(4, 2)->ref).record,
                 book->sheet(1).formulas().at(book->sheet(1).cellAt(4, 2)->ref).record);
        QCOMPARE(again->sheet(1).valueAt(2, 3).text, QStringLiteral("Forlì centro"));   // text result
        QCOMPARE(again->sheet(2).valueAt(1, 2).number, 25.0);
        QCOMPARE(again->sheet(1).valueAt(2, 4).type, Variant::Type::Date);
        QCOMPARE(again->sheet(1).view().frozen, book->sheet(1).view().frozen);
        QCOMPARE(again->styles.xfs.size(), book->styles.xfs.size());
        QCOMPARE(again->styles.fonts, book->styles.fonts);
        QCOMPARE(again->styles.xfs, book->styles.xfs);
    }

    // Formulas with array and reference operands (array formulas, array constants, MMULT,
    // FREQUENCY, unions) keep their formula, array, shared-formula, string and name records
    // byte for byte through a save: operand classes, flags and cached results as read.
    void arrayAndReferenceOperandsKeptAsRead()
    {
        QFile file(QStringLiteral(CONTAVIO_TEST_DATA "/operand_classes.xls"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray image = file.readAll();
        const auto formulaRecords = [](const QByteArray &image) {
            static const std::vector<uint16_t> kinds = {0x0006, 0x0018, 0x0207, 0x0221, 0x04BC};
            std::vector<QByteArray> out;
            for (const Rec &r : records(workbookStream(image)))
                if (std::find(kinds.begin(), kinds.end(), r.type) != kinds.end())
                    out.push_back(QByteArray::number(r.type, 16) + ':' + r.data.toHex());
            return out;
        };
        const auto before = formulaRecords(image);
        QVERIFY(std::count_if(before.begin(), before.end(), [](const QByteArray &r) { return r.startsWith("221:"); }) >= 3);
        const auto book = readWorkbookBytes(image, QString());
        QCOMPARE(formulaRecords(workbookBytes(*book)), before);
    }
};

QTEST_GUILESS_MAIN(TestXlsRoundTrip)
#include "tst_xls_roundtrip.moc"
