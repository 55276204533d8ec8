// Pagination as data: which rows and columns fall on which page, which titles repeat, what
// the scale is, how many row breaks there are.

#include "store/print/printing.h"
#include "store/model/workbook.h"

#include <QPageSize>
#include <QTest>

using namespace store;

namespace {

struct Sheet {
    int rows = 100;                 // filled rows of column A (and of every area column)
    QString area;                   // print area; empty: the used range
    QString titleRows, titleColumns;
    std::optional<int> zoom = 100;
    int fitWide = 1, fitTall = 1;
    Orientation orientation = Orientation::Portrait;
    bool overThenDown = false;
    double roomWidth = 495;         // points between the margins: 6 columns of 82.5 pt
    double roomHeight = 800;        // 40 rows of 20 pt
    QList<QPair<int, double>> rowHeights;   // rows with a height of their own
};

// Page i as "first-last:A-F", with the repeated titles in brackets before each span:
// "(1)41-79:(A,B)G-J".
QString describe(const Pagination &p)
{
    QStringList out;
    for (const PageSlice &page : p.pages) {
        QString s;
        if (!page.titleRows.empty()) {
            QStringList t;
            for (int r : page.titleRows)
                t << QString::number(r);
            s += QLatin1Char('(') + t.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        s += QStringLiteral("%1-%2:").arg(page.firstRow).arg(page.lastRow);
        if (!page.titleColumns.empty()) {
            QStringList t;
            for (int c : page.titleColumns)
                t << columnLetters(c);
            s += QLatin1Char('(') + t.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        s += columnLetters(page.firstColumn) + QLatin1Char('-') + columnLetters(page.lastColumn);
        out << s;
    }
    return out.join(QLatin1Char(' '));
}

void build(Worksheet &ws, const Sheet &d)
{
    ws.setDefaultRowHeight(20);
    ws.setDefaultColumnWidth(15);   // 15 characters = 110 px = 82.5 pt
    for (const auto &[row, height] : d.rowHeights)
        ws.setRowHeight(row, height);
    // Cells at the corners of the area, so that the used range matches it too.
    if (d.rows > 0) {
        ws.cells(1, 1).setValue(QStringLiteral("ID"));
        ws.cells(d.rows, 1).setValue(double(d.rows));
    }
    PageSetup &ps = ws.pageSetup();
    ps.printArea = d.area;
    ps.printTitleRows = d.titleRows;
    ps.printTitleColumns = d.titleColumns;
    ps.zoom = d.zoom;
    ps.fitToPagesWide = d.fitWide;
    ps.fitToPagesTall = d.fitTall;
    ps.orientation = d.orientation;
    ps.overThenDown = d.overThenDown;
    ps.paperSize = 9;
    // Margins that leave exactly the room asked for on A4 in the sheet's orientation.
    const QSizeF paper = paperPoints(ps);
    ps.leftMargin = 0;
    ps.rightMargin = paper.width() - d.roomWidth;
    ps.topMargin = paper.height() - d.roomHeight;
    ps.bottomMargin = 0;
    ps.headerMargin = 0;
}

} // namespace

class TestPagination : public QObject {
    Q_OBJECT
private slots:
    void pages_data();
    void pages();
    void columnWidthInPoints_data();
    void columnWidthInPoints();
    void paper_data();
    void paper();
    void emptySheetIsOnePage();
};

void TestPagination::pages_data()
{
    QTest::addColumn<Sheet>("sheet");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("rowBreaks");

    Sheet s;
    s.area = QStringLiteral("$A$1:$A$100");
    QTest::newRow("rows break every 40 rows at 100%")
        << s << QStringLiteral("1-40:A-A 41-80:A-A 81-100:A-A") << 1.0 << 2;

    s.zoom = 50;
    QTest::newRow("zoom 50 fits twice the rows") << s << QStringLiteral("1-80:A-A 81-100:A-A") << 0.5 << 1;
    s.zoom = 200;
    QTest::newRow("zoom 200 fits half the rows")
        << s << QStringLiteral("1-20:A-A 21-40:A-A 41-60:A-A 61-80:A-A 81-100:A-A") << 2.0 << 4;

    s = Sheet{};
    s.area = QStringLiteral("$A$1:$A$100");
    s.titleRows = QStringLiteral("$1:$1");
    QTest::newRow("a repeated title row takes room from page 2 on")
        << s << QStringLiteral("1-40:A-A (1)41-79:A-A (1)80-100:A-A") << 1.0 << 2;

    s = Sheet{};
    s.rows = 50;
    s.area = QStringLiteral("$A$5:$A$50");
    s.titleRows = QStringLiteral("$1:$2");
    QTest::newRow("titles above the area repeat on the first page too")
        << s << QStringLiteral("(1,2)5-42:A-A (1,2)43-50:A-A") << 1.0 << 1;

    s = Sheet{};
    s.rows = 50;
    s.area = QStringLiteral("$A$1:$J$50");
    QTest::newRow("down, then over")
        << s << QStringLiteral("1-40:A-F 41-50:A-F 1-40:G-J 41-50:G-J") << 1.0 << 1;
    s.overThenDown = true;
    QTest::newRow("over, then down")
        << s << QStringLiteral("1-40:A-F 1-40:G-J 41-50:A-F 41-50:G-J") << 1.0 << 1;

    s = Sheet{};
    s.rows = 10;
    s.area = QStringLiteral("$A$1:$L$10");
    s.titleColumns = QStringLiteral("$A:$A");
    QTest::newRow("a repeated column takes room on the pages to the right")
        << s << QStringLiteral("1-10:A-F 1-10:(A)G-K 1-10:(A)L-L") << 1.0 << 0;

    s = Sheet{};
    s.rows = 60;
    s.area = QStringLiteral("$A$1:$L$60");
    s.titleRows = QStringLiteral("$1:$1");
    s.titleColumns = QStringLiteral("$A:$B");
    QTest::newRow("row 1 and columns A:B repeated")
        << s
        << QStringLiteral("1-40:A-F (1)41-60:A-F 1-40:(A,B)G-J (1)41-60:(A,B)G-J "
                          "1-40:(A,B)K-L (1)41-60:(A,B)K-L")
        << 1.0 << 1;

    s = Sheet{};
    s.rows = 60;
    s.area = QStringLiteral("$A$1:$J$60");
    s.orientation = Orientation::Landscape;
    s.roomWidth = 660;    // 8 columns
    s.roomHeight = 500;   // 25 rows
    QTest::newRow("landscape turns the paper")
        << s << QStringLiteral("1-25:A-H 26-50:A-H 51-60:A-H 1-25:I-J 26-50:I-J 51-60:I-J")
        << 1.0 << 2;

    s = Sheet{};
    s.area = QStringLiteral("$A$1:$A$100");
    s.zoom = std::nullopt;
    QTest::newRow("fit 1 x 1 takes the largest whole percentage")
        << s << QStringLiteral("1-100:A-A") << 0.4 << 0;
    s.fitTall = 2;
    QTest::newRow("fit 1 x 2") << s << QStringLiteral("1-50:A-A 51-100:A-A") << 0.8 << 1;

    s = Sheet{};
    s.rows = 10;
    s.area = QStringLiteral("$A$1:$B$10");
    s.zoom = std::nullopt;
    QTest::newRow("fit never enlarges") << s << QStringLiteral("1-10:A-B") << 1.0 << 0;

    s = Sheet{};
    s.area = QStringLiteral("$A$1:$J$100");
    s.zoom = std::nullopt;
    s.fitTall = 0;
    QTest::newRow("fit 1 wide, any number tall")
        << s << QStringLiteral("1-66:A-J 67-100:A-J") << 0.6 << 1;

    s = Sheet{};
    s.area = QStringLiteral("$A$1:$J$100");
    s.zoom = std::nullopt;
    s.fitWide = 2;
    s.fitTall = 1;
    QTest::newRow("fit 2 x 1 is limited by the height")
        << s << QStringLiteral("1-100:A-J") << 0.4 << 0;

    s = Sheet{};
    s.rows = 50;
    s.area = QStringLiteral("$A$1:$A$50");
    s.roomHeight = 400;   // 20 rows
    s.rowHeights = {{5, 409}};
    QTest::newRow("a row taller than the page gets a page of its own")
        << s << QStringLiteral("1-4:A-A 5-5:A-A 6-25:A-A 26-45:A-A 46-50:A-A") << 1.0 << 4;

    s = Sheet{};
    s.area = QStringLiteral("$A$1:$A$100");
    s.rowHeights = {{3, 60}};
    QTest::newRow("a taller row takes its own height")
        << s << QStringLiteral("1-38:A-A 39-78:A-A 79-100:A-A") << 1.0 << 2;

    s = Sheet{};
    s.rows = 3;
    s.area = QStringLiteral("$C$3:$A$1");
    QTest::newRow("print area with its corners reversed") << s << QStringLiteral("1-3:A-C") << 1.0 << 0;

    s = Sheet{};
    s.rows = 45;
    QTest::newRow("no print area: the used range") << s << QStringLiteral("1-40:A-A 41-45:A-A") << 1.0 << 1;

    s = Sheet{};
    s.rows = 45;
    s.area = QStringLiteral("not a reference");
    QTest::newRow("a malformed print area falls back to the used range")
        << s << QStringLiteral("1-40:A-A 41-45:A-A") << 1.0 << 1;
}

void TestPagination::pages()
{
    QFETCH(Sheet, sheet);
    QFETCH(QString, expected);
    QFETCH(double, scale);
    QFETCH(int, rowBreaks);

    Workbook book;
    Worksheet &ws = book.sheet(1);
    build(ws, sheet);

    const Pagination p = paginate(ws);
    QCOMPARE(describe(p), expected);
    QCOMPARE(p.scale, scale);
    QCOMPARE(p.horizontalBreaks, rowBreaks);
    QCOMPARE(horizontalPageBreakCount(ws), rowBreaks);
}

void TestPagination::columnWidthInPoints_data()
{
    QTest::addColumn<double>("characters");
    QTest::addColumn<double>("points");
    // 7 px a character plus 5 px, at 0.75 pt a pixel.
    QTest::newRow("default width 8.43 is 64 px") << 8.43 << 48.0;
    QTest::newRow("one character is 12 px") << 1.0 << 9.0;
    QTest::newRow("fractions round to whole pixels") << 0.5 << 6.75;
    QTest::newRow("15 characters") << 15.0 << 82.5;
    QTest::newRow("hidden column") << 0.0 << 0.0;
    QTest::newRow("negative width") << -3.0 << 0.0;
}

void TestPagination::columnWidthInPoints()
{
    QFETCH(double, characters);
    QFETCH(double, points);
    QCOMPARE(columnWidthPoints(characters), points);
}

void TestPagination::paper_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<Orientation>("orientation");
    QTest::addColumn<QSizeF>("points");
    QTest::newRow("A4 portrait") << 9 << Orientation::Portrait << QSizeF(595.28, 841.89);
    QTest::newRow("A4 landscape") << 9 << Orientation::Landscape << QSizeF(841.89, 595.28);
    QTest::newRow("Letter") << 1 << Orientation::Portrait << QSizeF(612, 792);
    QTest::newRow("unknown code prints on A4") << 77 << Orientation::Portrait << QSizeF(595.28, 841.89);
}

void TestPagination::paper()
{
    QFETCH(int, code);
    QFETCH(Orientation, orientation);
    QFETCH(QSizeF, points);
    PageSetup ps;
    ps.paperSize = code;
    ps.orientation = orientation;
    const QSizeF size = paperPoints(ps);
    const QPageLayout layout = pageLayoutOf(ps);
    QCOMPARE(layout.orientation() == QPageLayout::Landscape, orientation == Orientation::Landscape);
    QCOMPARE(layout.margins(), QMarginsF());
    QVERIFY2(qAbs(size.width() - points.width()) < 0.01 && qAbs(size.height() - points.height()) < 0.01,
             qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
}

void TestPagination::emptySheetIsOnePage()
{
    Workbook book;
    const Pagination p = paginate(book.sheet(1));
    QCOMPARE(int(p.pages.size()), 1);
    QCOMPARE(p.area, (RangeRect{1, 1, 1, 1}));
    QCOMPARE(horizontalPageBreakCount(book.sheet(1)), 0);
}

QTEST_GUILESS_MAIN(TestPagination)
#include "tst_pagination.moc"
