#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QTest>

using namespace store;

Q_DECLARE_METATYPE(store::RangeRect)

namespace {

template <typename F>
ErrorKind errorOf(F f)
{
    try {
        f();
    } catch (const StoreError &e) {
        return e.kind();
    }
    return ErrorKind(-1);
}

} // namespace

class TstRange : public QObject {
    Q_OBJECT
private slots:
    void references_data()
    {
        QTest::addColumn<QString>("ref");
        QTest::addColumn<RangeRect>("rect");
        QTest::addColumn<QString>("address");
        QTest::newRow("cell") << "A1" << RangeRect{1, 1, 1, 1} << "$A$1";
        QTest::newRow("absolute cell") << "$S$1" << RangeRect{1, 19, 1, 19} << "$S$1";
        QTest::newRow("last cell") << "iv65536" << RangeRect{65536, 256, 65536, 256} << "$IV$65536";
        QTest::newRow("record block") << "A2:S65536" << RangeRect{2, 1, 65536, 19} << "$A$2:$S$65536";
        QTest::newRow("reversed corners") << "C5:A1" << RangeRect{1, 1, 5, 3} << "$A$1:$C$5";
        QTest::newRow("one row") << "2:2" << RangeRect{2, 1, 2, 256} << "$2:$2";
        QTest::newRow("absolute row") << "$1:$1" << RangeRect{1, 1, 1, 256} << "$1:$1";
        QTest::newRow("one column") << "J:J" << RangeRect{1, 10, 65536, 10} << "$J:$J";
        QTest::newRow("columns") << "$A:$B" << RangeRect{1, 1, 65536, 2} << "$A:$B";
    }
    void references()
    {
        QFETCH(QString, ref);
        QFETCH(RangeRect, rect);
        QFETCH(QString, address);
        const auto parsed = parseReference(ref);
        QVERIFY(parsed);
        QCOMPARE(*parsed, rect);
        QCOMPARE(absoluteAddress(rect), address);
    }

    void badReferences_data()
    {
        QTest::addColumn<QString>("ref");
        QTest::addColumn<int>("kind");
        QTest::newRow("empty") << "" << int(ErrorKind::Invalid);
        QTest::newRow("row number alone") << "2" << int(ErrorKind::Invalid);
        QTest::newRow("column alone") << "J" << int(ErrorKind::Invalid);
        QTest::newRow("row with column") << "2:B" << int(ErrorKind::Invalid);
        QTest::newRow("garbage") << "A1;B2" << int(ErrorKind::Invalid);
        QTest::newRow("row zero") << "A0" << int(ErrorKind::Limit);
        QTest::newRow("past last row") << "A65537" << int(ErrorKind::Limit);
        QTest::newRow("past last column") << "IW1" << int(ErrorKind::Limit);
        QTest::newRow("whole rows past the grid") << "1:70000" << int(ErrorKind::Limit);
    }
    void badReferences()
    {
        QFETCH(QString, ref);
        QFETCH(int, kind);
        QVERIFY(!parseReference(ref));
        Workbook book;
        QCOMPARE(int(errorOf([&] { book.sheet(1).range(ref); })), kind);
    }

    void columnLetters()
    {
        QCOMPARE(store::columnLetters(1), QStringLiteral("A"));
        QCOMPARE(store::columnLetters(26), QStringLiteral("Z"));
        QCOMPARE(store::columnLetters(27), QStringLiteral("AA"));
        QCOMPARE(store::columnLetters(256), QStringLiteral("IV"));
    }

    void endDown_data()
    {
        QTest::addColumn<QList<int>>("filled");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("expected");
        QTest::newRow("run ends at its last cell") << QList<int>{2, 3, 4, 5} << 2 << 5;
        QTest::newRow("run stops before a gap") << QList<int>{2, 3, 4, 7, 8} << 2 << 4;
        QTest::newRow("single cell jumps to next filled") << QList<int>{2, 7, 8} << 2 << 7;
        QTest::newRow("from the end of a run to the next block") << QList<int>{2, 3, 4, 7, 8} << 4 << 7;
        QTest::newRow("empty start jumps to next filled") << QList<int>{5} << 2 << 5;
        QTest::newRow("empty column goes to the last row") << QList<int>{} << 2 << 65536;
        QTest::newRow("last filled cell goes to the last row") << QList<int>{2} << 2 << 65536;
        QTest::newRow("run reaching the last row") << QList<int>{65535, 65536} << 65535 << 65536;
        QTest::newRow("from the last row") << QList<int>{} << 65536 << 65536;
    }
    void endDown()
    {
        QFETCH(QList<int>, filled);
        QFETCH(int, from);
        QFETCH(int, expected);
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        for (int row : filled)
            sheet.cells(row, 1).setValue(QStringLiteral("x"));
        sheet.cells(3, 2).setValue(1.0);   // other columns do not matter
        const Range end = sheet.cells(from, 1).endDown();
        QCOMPARE(end.row(), expected);
        QCOMPARE(end.column(), 1);
    }

    void typedValues()
    {
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        sheet.range("A1").setValue(QStringLiteral("12,5"));
        QCOMPARE(int(sheet.range("A1").value().type), int(Variant::Type::Number));
        QCOMPARE(sheet.range("A1").value().number, 12.5);
        QCOMPARE(sheet.range("A1").text(), QStringLiteral("12,5"));

        // A date typed into a general cell becomes a date with a date format.
        sheet.range("B1").setValue(QStringLiteral("12/05/09"));
        const Variant date = sheet.range("B1").value();
        QCOMPARE(int(date.type), int(Variant::Type::Date));
        QCOMPARE(date.number, dateToSerial(QDate(2009, 5, 12)));
        QCOMPARE(sheet.range("B1").text(), QStringLiteral("12/05/2009"));
        QCOMPARE(sheet.range("B1").numberFormat(), QStringLiteral("dd/mm/yyyy"));
        // A number typed over it afterwards still shows as a date: the format stays.
        sheet.range("B1").setValue(QStringLiteral("39946"));
        QCOMPARE(sheet.range("B1").text(), QStringLiteral("13/05/2009"));

        sheet.range("C1").setValue(QStringLiteral("0123"));
        QCOMPARE(sheet.range("C1").value().number, 123.0);

        // Emptying keeps the format.
        sheet.range("B1").setValue(QString());
        QVERIFY(sheet.range("B1").value().isEmpty());
        QCOMPARE(sheet.range("B1").numberFormat(), QStringLiteral("dd/mm/yyyy"));
    }

    void textColumnKeepsLeadingZero()
    {
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        sheet.range("J5").setValue(QStringLiteral("0555"));   // written before the format
        sheet.range("K5").setValue(QStringLiteral("7"));
        sheet.range("J:J").select();
        sheet.selection().setNumberFormat(QStringLiteral("@"));
        QCOMPARE(sheet.columnXf(10) != 0, true);
        QCOMPARE(sheet.range("J5").value().number, 555.0);     // values are left alone
        QCOMPARE(sheet.range("J5").numberFormat(), QStringLiteral("@"));

        // Cells never written take the column's format, also when the row already
        // holds cells further right.
        sheet.range("J2").setValue(QStringLiteral("0123"));
        sheet.range("L3").setValue(QStringLiteral("x"));
        sheet.range("J3").setValue(QStringLiteral("0456"));
        QCOMPARE(int(sheet.range("J2").value().type), int(Variant::Type::Text));
        QCOMPARE(sheet.range("J2").value().text, QStringLiteral("0123"));
        QCOMPARE(sheet.range("J3").value().text, QStringLiteral("0456"));
        QCOMPARE(sheet.range("J3").text(), QStringLiteral("0456"));
        QCOMPARE(sheet.range("K2").value().number, 0.0);
        sheet.range("K2").setValue(QStringLiteral("0123"));
        QCOMPARE(sheet.range("K2").value().number, 123.0);      // column K stays general
        QCOMPARE(sheet.range("K5").numberFormat(), QStringLiteral("General"));
    }

    void formulaDroppedOnWrite()
    {
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        sheet.formulas().push_back({QByteArray("x"), QByteArray(), QStringLiteral("cached")});
        Cell cell;
        cell.kind = CellKind::Text;
        cell.flags = Cell::kFormula;
        cell.ref = 0;
        sheet.putCell(1, 1, cell);
        QCOMPARE(sheet.range("A1").value().text, QStringLiteral("cached"));
        sheet.range("A1").setValue(QStringLiteral("5"));
        QVERIFY(!sheet.cellAt(1, 1)->isFormula());
        QCOMPARE(sheet.range("A1").value().number, 5.0);
    }

    void date1904()
    {
        Workbook book;
        book.date1904 = true;
        Worksheet &sheet = book.sheet(1);
        sheet.range("A1").setValue(QStringLiteral("12/05/2009"));
        QCOMPARE(sheet.cellAt(1, 1)->number, dateToSerial(QDate(2009, 5, 12)) - 1462);
        QCOMPARE(sheet.range("A1").value().number, dateToSerial(QDate(2009, 5, 12)));
        QCOMPARE(sheet.range("A1").text(), QStringLiteral("12/05/2009"));
    }

    void deleteRowOfThree()
    {
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        sheet.range("A1").setValue(QStringLiteral("ID"));
        sheet.range("IV1").setValue(3.0);
        for (int r = 2; r <= 4; ++r) {
            sheet.cells(r, 1).setValue(double(r - 1));
            sheet.cells(r, 3).setValue(QStringLiteral("cliente %1").arg(r - 1));
        }
        sheet.setRowHeight(4, 30);
        sheet.range("A2").entireRow().deleteRows();
        QCOMPARE(sheet.range("A2").value().number, 2.0);
        QCOMPARE(sheet.range("C2").value().text, QStringLiteral("cliente 2"));
        QCOMPARE(sheet.range("A3").value().number, 3.0);
        QVERIFY(sheet.range("A4").value().isEmpty());
        QCOMPARE(sheet.rowHeight(3), 30.0);
        QCOMPARE(sheet.rowHeight(4), sheet.defaultRowHeight());
        QCOMPARE(sheet.range("A1").value().text, QStringLiteral("ID"));
        QCOMPARE(sheet.range("IV1").value().number, 3.0);
        QCOMPARE(sheet.lastRow(), 3);
    }

    void clearContentsKeepsFormats()
    {
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        sheet.range("A1").setValue(QStringLiteral("01/02/2010"));
        sheet.range("B1").setValue(QStringLiteral("x"));
        sheet.range("A1:B1").clearContents();
        QVERIFY(sheet.range("A1").value().isEmpty());
        QVERIFY(sheet.range("B1").value().isEmpty());
        QCOMPARE(sheet.range("A1").numberFormat(), QStringLiteral("dd/mm/yyyy"));
        sheet.range("A1").setValue(40000.0);
        QCOMPARE(int(sheet.range("A1").value().type), int(Variant::Type::Date));
    }

    void limits()
    {
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        QCOMPARE(errorOf([&] { sheet.cells(65537, 1); }), ErrorKind::Limit);
        QCOMPARE(errorOf([&] { sheet.cells(1, 257); }), ErrorKind::Limit);
        QCOMPARE(errorOf([&] { sheet.cells(0, 1); }), ErrorKind::Limit);
        QCOMPARE(errorOf([&] { sheet.range("A65536").offset(1, 0); }), ErrorKind::Limit);
        QCOMPARE(errorOf([&] { sheet.range("A1").offset(0, -1); }), ErrorKind::Limit);
        QCOMPARE(errorOf([&] { sheet.putCell(1, 300, Cell{}); }), ErrorKind::Limit);
        QCOMPARE(sheet.range("A1").offset(1, 18).address(), QStringLiteral("$S$2"));
        QCOMPARE(sheet.range("B2").cell(2, 3).address(), QStringLiteral("$D$3"));
        // A range held past the grid takes neither values nor formats.
        for (const RangeRect &off : {RangeRect{0, 1, 1, 1}, RangeRect{65536, 1, 65537, 1}, RangeRect{3, 2, 2, 2},
                                     RangeRect{1, 256, 1, 257}}) {
            const Range r = sheet.range(off);
            QCOMPARE(errorOf([&] { r.setValue(QStringLiteral("12")); }), ErrorKind::Limit);
            QCOMPARE(errorOf([&] { r.setValue(Variant::fromText(QStringLiteral("x"))); }), ErrorKind::Limit);
            QCOMPARE(errorOf([&] { r.setValue(QString()); }), ErrorKind::Limit);
            QCOMPARE(errorOf([&] { r.setNumberFormat(QStringLiteral("@")); }), ErrorKind::Limit);
        }
        QCOMPARE(sheet.lastRow(), 0);   // nothing was written by the refused calls
        try {
            sheet.cells(70000, 1);
        } catch (const StoreError &e) {
            QVERIFY(e.userMessage().contains(QStringLiteral("65536")));
        }
    }

    void zoomRefusal_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("lowest") << 10 << true;
        QTest::newRow("highest") << 400 << true;
        QTest::newRow("below") << 9 << false;
        QTest::newRow("above") << 401 << false;
        QTest::newRow("negative") << -70 << false;
    }
    void zoomRefusal()
    {
        QFETCH(int, zoom);
        QFETCH(bool, accepted);
        PageSetup setup;
        setup.setZoom(70);
        const ErrorKind kind = errorOf([&] { setup.setZoom(zoom); });
        QCOMPARE(kind == ErrorKind::Invalid, !accepted);
        QCOMPARE(setup.zoom.value(), accepted ? zoom : 70);
    }

    void sheets()
    {
        Workbook book;
        QCOMPARE(book.sheetCount(), 1);
        QCOMPARE(book.sheet(1).name(), QStringLiteral("Foglio1"));
        QCOMPARE(errorOf([&] { book.sheet(QStringLiteral("Incassi")); }), ErrorKind::NotFound);
        QCOMPARE(errorOf([&] { book.sheet(2); }), ErrorKind::NotFound);

        Worksheet &added = book.addSheetAfter(book.sheet(book.sheetCount()));
        QCOMPARE(added.name(), QStringLiteral("Foglio2"));
        added.setName(QStringLiteral("Incassi"));
        QCOMPARE(&book.sheet(QStringLiteral("INCASSI")), &added);
        QCOMPARE(book.indexOf(added), 2);

        // A new sheet takes the first free number.
        book.sheet(1).setName(QStringLiteral("Altro"));
        QCOMPARE(book.addSheetAfter(book.sheet(1)).name(), QStringLiteral("Foglio1"));
        QCOMPARE(book.sheet(2).name(), QStringLiteral("Foglio1"));
        QCOMPARE(book.sheet(3).name(), QStringLiteral("Incassi"));

        QCOMPARE(errorOf([&] { added.setName(QStringLiteral("altro")); }), ErrorKind::Invalid);
        QCOMPARE(errorOf([&] { added.setName(QStringLiteral("a/b")); }), ErrorKind::Invalid);
        QCOMPARE(errorOf([&] { added.setName(QString(32, u'x')); }), ErrorKind::Invalid);
        QCOMPARE(errorOf([&] { added.setName(QString()); }), ErrorKind::Invalid);
        QCOMPARE(added.name(), QStringLiteral("Incassi"));
        added.setName(QStringLiteral("incassi"));   // its own name in another case
        QCOMPARE(added.name(), QStringLiteral("incassi"));
    }

    void selectionAndPanes()
    {
        Workbook book;
        Worksheet &other = book.appendSheet(QStringLiteral("Incassi"));
        QVERIFY(!other.isActive());
        other.range("2:2").select();
        QVERIFY(other.isActive());
        other.freezePanes();
        QVERIFY(other.view().frozen);
        QCOMPARE(other.view().frozenAt, (CellAddress{2, 1}));
        QCOMPARE(other.selection().address(), QStringLiteral("$2:$2"));
        other.range("A2").select();
        QCOMPARE(other.view().activeCell, (CellAddress{2, 1}));
    }

    void usedRange()
    {
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        QCOMPARE(sheet.usedRange().address(), QStringLiteral("$A$1"));
        sheet.range("C3").setValue(1.0);
        sheet.range("E7").setValue(QStringLiteral("x"));
        QCOMPARE(sheet.usedRange().address(), QStringLiteral("$C$3:$E$7"));
        QCOMPARE(sheet.usedRange().count(), qint64(15));
    }

    void autoFit()
    {
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        sheet.range("A1").setValue(QStringLiteral("ID"));
        sheet.range("A2").setValue(QStringLiteral("Ragione Sociale/Cognome Nome"));
        sheet.range("B1").setValue(QStringLiteral("iiii"));
        sheet.range("C1").setValue(QStringLiteral("MMMM"));
        sheet.range("D1").setValue(QStringLiteral("12/05/2009"));
        sheet.setColumnWidth(5, 20);
        sheet.usedRange().entireColumn().autoFitColumns();
        const double a = sheet.columnWidth(1), b = sheet.columnWidth(2), c = sheet.columnWidth(3);
        QVERIFY2(a > 25 && a < 40, qPrintable(QString::number(a)));
        QVERIFY(b < c);                        // narrow letters give a narrower column
        const double d = sheet.columnWidth(4);
        // Measured from the shown "12/05/2009", not from the serial number behind it.
        QVERIFY2(d > 9 && d < 11, qPrintable(QString::number(d)));
        QCOMPARE(sheet.columnWidth(5), 20.0);  // outside the range: untouched
        sheet.range("F1").autoFitColumns();    // an empty column keeps its width
        QCOMPARE(sheet.columnWidth(6), sheet.defaultColumnWidth());
    }
};

QTEST_APPLESS_MAIN(TstRange)
#include "tst_range.moc"
