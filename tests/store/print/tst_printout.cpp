// PrintOut onto PDF printers: which pages land, what each one shows and where.

#include "support/skip.h"
#include "support/pdfprinters.h"
#include "support/pdftools.h"
#include "store/model/errors.h"
#include "store/print/printing.h"
#include "store/model/workbook.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace store;

namespace {

// 100 rows of 20 pt: "R1".."R100" in column A, with 40 rows a page on A4 portrait.
struct World {
    QTemporaryDir dir;
    Workbook book;
    Worksheet &ws = book.sheet(1);
    print::PdfPrintTarget printers{dir.filePath(QStringLiteral("out")),
                                   {QStringLiteral("Ufficio"), QStringLiteral("Magazzino")}};

    explicit World(int rows = 100)
    {
        ws.setDefaultRowHeight(20);
        for (int r = 1; r <= rows; ++r)
            ws.cells(r, 1).setValue(Variant::fromText(QStringLiteral("R%1").arg(r)));
        PageSetup &ps = ws.pageSetup();
        ps.printArea = QStringLiteral("$A$1:$C$%1").arg(rows);
        ps.zoom = 100;
        ps.leftMargin = 36;
        ps.rightMargin = 36;
        ps.bottomMargin = 0;
        ps.headerMargin = 15;
        ps.topMargin = paperPoints(ps).height() - 800;
    }
    QString lastPdf() const { return printers.jobs().back().path; }
};

bool haveTools()
{
    return pdftools::haveTool(QStringLiteral("pdftotext"));
}

} // namespace

class TestPrintOut : public QObject {
    Q_OBJECT
private slots:
    void init();
    void unknownPrinterPrintsNothing();
    void copiesBelowOneRefused();
    void emptyNameUsesTheCurrentPrinter();
    void pageRange_data();
    void pageRange();
    void repeatedTitlesOnEveryPage();
    void headerAtTheHeaderMargin();
    void numbersRightTextsLeft();
    void numberTooWideShowsHashes();
    void gridLines_data();
    void gridLines();
};

void TestPrintOut::init()
{
    if (!haveTools())
        CONTAVIO_SKIP("pdftotext (poppler-utils) is not installed");
}

void TestPrintOut::unknownPrinterPrintsNothing()
{
    World w;
    try {
        printOut(w.ws, w.printers, 1, 1, 1, QStringLiteral("Seleziona la stampante"));
        QFAIL("an unknown printer was accepted");
    } catch (const StoreError &e) {
        QCOMPARE(e.kind(), ErrorKind::Invalid);
        QVERIFY(e.userMessage().contains(QStringLiteral("Seleziona la stampante")));
    }
    QCOMPARE(w.printers.jobs().size(), size_t(0));
    QCOMPARE(QDir(w.dir.filePath(QStringLiteral("out"))).entryList(QDir::Files).size(), 0);
}

void TestPrintOut::copiesBelowOneRefused()
{
    World w;
    QVERIFY_THROWS_EXCEPTION(StoreError, printOut(w.ws, w.printers, 1, 1, 0, QStringLiteral("Ufficio")));
    QCOMPARE(w.printers.jobs().size(), size_t(0));
}

void TestPrintOut::emptyNameUsesTheCurrentPrinter()
{
    World w;
    w.printers.setCurrentPrinterName(QStringLiteral("Magazzino"));
    printOut(w.ws, w.printers, 1, 1, 2);
    QCOMPARE(w.printers.jobs().size(), size_t(1));
    QCOMPARE(w.printers.jobs()[0].printer, QStringLiteral("Magazzino"));
    QCOMPARE(w.printers.jobs()[0].copies, 2);
}

void TestPrintOut::pageRange_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QList<int>>("listed");             // when given: printPages of these
    QTest::addColumn<QStringList>("firstAndLastRows");   // per printed page; empty: no job

    QTest::newRow("all pages") << 0 << 0 << QList<int>{} << QStringList{"R1 R40", "R41 R80", "R81 R100"};
    QTest::newRow("page 2 only") << 2 << 2 << QList<int>{} << QStringList{"R41 R80"};
    QTest::newRow("from page 2 to the end") << 2 << 0 << QList<int>{} << QStringList{"R41 R80", "R81 R100"};
    QTest::newRow("to past the last page stops at it") << 3 << 9 << QList<int>{} << QStringList{"R81 R100"};
    QTest::newRow("from past the last page prints nothing") << 4 << 4 << QList<int>{} << QStringList{};
    QTest::newRow("from after to prints nothing") << 3 << 2 << QList<int>{} << QStringList{};
    QTest::newRow("listed pages in the order given") << 0 << 0 << QList<int>{3, 1} << QStringList{"R81 R100", "R1 R40"};
    QTest::newRow("listed pages past the last left out") << 0 << 0 << QList<int>{2, 7, 0} << QStringList{"R41 R80"};
    QTest::newRow("no listed page exists: nothing") << 0 << 0 << QList<int>{4} << QStringList{};
}

void TestPrintOut::pageRange()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QList<int>, listed);
    QFETCH(QStringList, firstAndLastRows);

    World w;
    if (listed.isEmpty())
        printOut(w.ws, w.printers, from, to, 1, QStringLiteral("Ufficio"));
    else
        printPages(w.ws, w.printers, {listed.begin(), listed.end()}, 1, QStringLiteral("Ufficio"));
    if (firstAndLastRows.isEmpty()) {
        QCOMPARE(w.printers.jobs().size(), size_t(0));
        return;
    }
    QCOMPARE(w.printers.jobs().size(), size_t(1));
    const QStringList pages = pdftools::pages(w.lastPdf());
    QCOMPARE(pages.size(), firstAndLastRows.size());
    for (int i = 0; i < pages.size(); ++i) {
        const QStringList lines = pages[i].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QStringList rows;
        for (const QString &line : lines)
            if (!line.trimmed().isEmpty())
                rows << line.trimmed();
        QCOMPARE(rows.first() + QLatin1Char(' ') + rows.last(), firstAndLastRows[i]);
        // Every row in between, once and in order.
        const int first = rows.first().mid(1).toInt();
        for (int k = 0; k < rows.size(); ++k)
            QCOMPARE(rows[k], QStringLiteral("R%1").arg(first + k));
    }
}

void TestPrintOut::repeatedTitlesOnEveryPage()
{
    World w(60);
    w.ws.cells(1, 1).setValue(Variant::fromText(QStringLiteral("ID")));
    w.ws.cells(1, 2).setValue(Variant::fromText(QStringLiteral("Nome")));
    w.ws.setDefaultColumnWidth(15);   // 82.5 pt: 6 columns in 495 pt
    w.ws.pageSetup().leftMargin = 0;
    w.ws.pageSetup().rightMargin = paperPoints(w.ws.pageSetup()).width() - 495;
    for (int c = 1; c <= 10; ++c)
        w.ws.cells(1, c).setValue(Variant::fromText(
            c == 1 ? QStringLiteral("ID") : c == 2 ? QStringLiteral("Nome") : QStringLiteral("T") + columnLetters(c)));
    for (int r = 2; r <= 60; ++r)
        w.ws.cells(r, 2).setValue(Variant::fromText(QStringLiteral("N%1").arg(r)));
    w.ws.cells(60, 10).setValue(Variant::fromText(QStringLiteral("ultima")));
    w.ws.pageSetup().printArea = QStringLiteral("$A$1:$J$60");
    w.ws.pageSetup().printTitleRows = QStringLiteral("$1:$1");
    w.ws.pageSetup().printTitleColumns = QStringLiteral("$A:$B");

    printOut(w.ws, w.printers, 0, 0, 1, QStringLiteral("Ufficio"));
    const auto words = pdftools::words(w.lastPdf());
    // Rows 1-40 and 41-60 of columns A-F, then the same rows of G-J with A:B repeated.
    QCOMPARE(int(words.size()), 4);
    const QStringList expectTitles[4] = {{"ID", "Nome", "TC", "TF"},
                                         {"ID", "Nome", "TC", "TF"},
                                         {"ID", "Nome", "TG", "TJ"},
                                         {"ID", "Nome", "TG", "TJ"}};
    const QString firstData[4] = {"N2", "N41", "N2", "N41"};
    for (int p = 0; p < 4; ++p) {
        const pdftools::Word *id = pdftools::find(words[p], QStringLiteral("ID"));
        QVERIFY2(id, qPrintable(QStringLiteral("page %1 has no title row").arg(p + 1)));
        for (const QString &t : expectTitles[p]) {
            const pdftools::Word *word = pdftools::find(words[p], t);
            QVERIFY2(word, qPrintable(QStringLiteral("page %1 lacks %2").arg(p + 1).arg(t)));
            QCOMPARE(qRound(word->yMin), qRound(id->yMin));   // all on the top line
        }
        // The first data row sits right under the titles, the names in column B.
        const pdftools::Word *data = pdftools::find(words[p], firstData[p]);
        QVERIFY2(data, qPrintable(QStringLiteral("page %1 lacks %2").arg(p + 1).arg(firstData[p])));
        QCOMPARE(qRound(data->yMin - id->yMin), 20);
    }
    QVERIFY(!pdftools::find(words[0], QStringLiteral("TG")));
    QVERIFY(pdftools::find(words[3], QStringLiteral("ultima")));
    QVERIFY(!pdftools::find(words[1], QStringLiteral("N40")));   // row 40 is on page 1 only
}

void TestPrintOut::headerAtTheHeaderMargin()
{
    World w;
    w.ws.pageSetup().centerHeader = QStringLiteral("Elenco &P di &N & Co&&");
    printOut(w.ws, w.printers, 2, 2, 1, QStringLiteral("Ufficio"));
    const auto words = pdftools::words(w.lastPdf());
    QCOMPARE(int(words.size()), 1);
    const QStringList lines = pdftools::pages(w.lastPdf()).first().split(QLatin1Char('\n'));
    QCOMPARE(lines.first().simplified(), QStringLiteral("Elenco 2 di 3 & Co&"));
    const pdftools::Word *first = pdftools::find(words[0], QStringLiteral("Elenco"));
    const pdftools::Word *last = pdftools::find(words[0], QStringLiteral("Co&"));
    QVERIFY(first && last);
    // The text's top at the header margin, centred between the side margins.
    QVERIFY2(first->yMin >= 15 - 1 && first->yMin <= 15 + 4, qPrintable(QString::number(first->yMin)));
    const double middle = (first->xMin + last->xMax) / 2;
    const double pageMiddle = paperPoints(w.ws.pageSetup()).width() / 2;
    QVERIFY2(qAbs(middle - pageMiddle) < 1.5, qPrintable(QString::number(middle)));
}

void TestPrintOut::numbersRightTextsLeft()
{
    World w(3);
    w.ws.cells(1, 2).setValue(5.0);
    w.ws.cells(2, 2).setValue(12345.5);
    w.ws.cells(1, 3).setValue(Variant::fromText(QStringLiteral("a")));
    w.ws.cells(2, 3).setValue(Variant::fromText(QStringLiteral("abcdef")));
    printOut(w.ws, w.printers, 0, 0, 1, QStringLiteral("Ufficio"));
    const auto words = pdftools::words(w.lastPdf());
    const pdftools::Word *small = pdftools::find(words[0], QStringLiteral("5"));
    const pdftools::Word *big = pdftools::find(words[0], QStringLiteral("12345,5"));
    const pdftools::Word *shortText = pdftools::find(words[0], QStringLiteral("a"));
    const pdftools::Word *longText = pdftools::find(words[0], QStringLiteral("abcdef"));
    QVERIFY(small && big && shortText && longText);
    QVERIFY2(qAbs(small->xMax - big->xMax) < 0.6, qPrintable(QStringLiteral("%1 %2").arg(small->xMax).arg(big->xMax)));
    QVERIFY2(qAbs(shortText->xMin - longText->xMin) < 0.6, "texts not left-aligned");
    // Column B ends where column C starts: 36 pt + two default columns of 48 pt.
    QVERIFY(small->xMax < 36 + 96 && small->xMax > 36 + 96 - 6);
    QVERIFY(shortText->xMin > 36 + 96 && shortText->xMin < 36 + 96 + 6);
}

void TestPrintOut::numberTooWideShowsHashes()
{
    World w(2);
    w.ws.setColumnWidth(2, 4);   // 33 px: room for a few # only
    w.ws.cells(1, 2).setValue(123456789.0);
    printOut(w.ws, w.printers, 0, 0, 1, QStringLiteral("Ufficio"));
    const QString text = pdftools::pages(w.lastPdf()).first();
    QVERIFY2(text.contains(QStringLiteral("##")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("789")));
}

void TestPrintOut::gridLines_data()
{
    QTest::addColumn<bool>("on");
    QTest::newRow("grid lines on") << true;
    QTest::newRow("grid lines off") << false;
}

void TestPrintOut::gridLines()
{
    QFETCH(bool, on);
    if (!pdftools::haveTool(QStringLiteral("pdftoppm")))
        CONTAVIO_SKIP("pdftoppm (poppler-utils) is not installed");
    World w(3);
    w.ws.pageSetup().printGridlines = on;
    printOut(w.ws, w.printers, 0, 0, 1, QStringLiteral("Ufficio"));
    const QImage page = pdftools::render(w.lastPdf(), 1, 144, w.dir.path());
    QVERIFY(!page.isNull());
    // 144 dpi: 2 px a point. The line under row 1 runs across columns A to C.
    const double top = w.ws.pageSetup().topMargin;
    const int y = qRound((top + 20) * 2);
    const int xFrom = (36 + 5) * 2, xTo = (36 + 3 * 48 - 5) * 2;
    int dark = 0;
    for (int x = xFrom; x <= xTo; ++x) {
        int darkest = 255;
        for (int dy = -1; dy <= 1; ++dy)
            darkest = qMin(darkest, qGray(page.pixel(x, y + dy)));
        if (darkest < 128)
            ++dark;
    }
    const int span = xTo - xFrom + 1;
    if (on)
        QCOMPARE(dark, span);
    else
        QCOMPARE(dark, 0);
    // Past the last column nothing is drawn either way.
    QCOMPARE(qGray(page.pixel((36 + 3 * 48 + 10) * 2, y)), 255);
}

QTEST_MAIN(TestPrintOut)
#include "tst_printout.moc"
