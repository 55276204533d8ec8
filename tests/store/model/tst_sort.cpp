#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QTest>

using namespace store;

namespace {

// A sheet whose rows 2.. hold the given keys in column F, with the original row number in
// column A and a marker in column T (outside A:S); row 1 holds titles and the counter.
struct Ledger {
    Workbook book;
    Worksheet &sheet = book.sheet(1);

    explicit Ledger(const QStringList &keys)
    {
        sheet.range("A1").setValue(QStringLiteral("ID"));
        sheet.range("F1").setValue(QStringLiteral("Scadenza"));
        sheet.range("IV1").setValue(99.0);
        for (int i = 0; i < keys.size(); ++i) {
            const int row = i + 2;
            sheet.cells(row, 1).setValue(double(row));
            if (!keys[i].isEmpty())
                sheet.cells(row, 6).setValue(keys[i]);
            sheet.cells(row, 19).setValue(QStringLiteral("nota %1").arg(row));
        }
    }
    // The original row numbers, top to bottom, from row 2 for `count` rows.
    QList<int> order(int count) const
    {
        QList<int> rows;
        for (int r = 2; r < 2 + count; ++r)
            rows << int(sheet.valueAt(r, 1).number);
        return rows;
    }
};

SortOptions byF(SortOrder order = SortOrder::Ascending, SortHeader header = SortHeader::Guess)
{
    SortOptions o;
    o.keyColumn = 6;
    o.order = order;
    o.header = header;
    return o;
}

} // namespace

class TstSort : public QObject {
    Q_OBJECT
private slots:
    void order_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("expected");   // original rows, top to bottom
        QTest::newRow("dates ascending")
            << QStringList{"15/06/2009", "01/01/2009", "31/12/2008"} << int(SortOrder::Ascending) << QList<int>{4, 3, 2};
        QTest::newRow("dates descending")
            << QStringList{"01/01/2009", "15/06/2009", "31/12/2008"} << int(SortOrder::Descending) << QList<int>{3, 2, 4};
        QTest::newRow("numbers before texts before booleans before errors")
            << QStringList{"VERO", "abc", "12", "#N/D placeholder", "3"} << int(SortOrder::Ascending)
            << QList<int>{6, 4, 3, 2, 5};
        QTest::newRow("empty keys last ascending")
            << QStringList{"", "5", "", "1"} << int(SortOrder::Ascending) << QList<int>{5, 3, 2, 4};
        QTest::newRow("empty keys last descending")
            << QStringList{"", "5", "", "1"} << int(SortOrder::Descending) << QList<int>{3, 5, 2, 4};
        QTest::newRow("stable for equal keys")
            << QStringList{"2", "1", "2", "1", "2"} << int(SortOrder::Ascending) << QList<int>{3, 5, 2, 4, 6};
        QTest::newRow("stable for equal keys descending")
            << QStringList{"2", "1", "2", "1", "2"} << int(SortOrder::Descending) << QList<int>{2, 4, 6, 3, 5};
        QTest::newRow("texts ignore case")
            << QStringList{"bianchi", "Rossi", "Abate", "rossa"} << int(SortOrder::Ascending) << QList<int>{4, 2, 5, 3};
        QTest::newRow("accented letters beside their base letter")
            << QStringList{"zeta", "àncora", "bosco"} << int(SortOrder::Ascending) << QList<int>{3, 4, 2};
        QTest::newRow("booleans false before true")
            << QStringList{"VERO", "FALSO"} << int(SortOrder::Ascending) << QList<int>{3, 2};
    }
    void order()
    {
        QFETCH(QStringList, keys);
        QFETCH(int, order);
        QFETCH(QList<int>, expected);
        QStringList typed = keys;
        Ledger ledger(typed);
        // An error value cannot be typed: put one where the test names it.
        for (int i = 0; i < keys.size(); ++i) {
            if (keys[i].startsWith(u'#'))
                ledger.sheet.cells(i + 2, 6).setValue(Variant::fromError(CellError::NA));
        }
        ledger.sheet.range("A2:S65536").sort(byF(SortOrder(order), SortHeader::No));
        QCOMPARE(ledger.order(keys.size()), expected);
    }

    void rowsMoveWholeWithinTheRange()
    {
        Ledger ledger({"03/03/2009", "01/01/2009", "02/02/2009"});
        ledger.sheet.cells(2, 20).setValue(QStringLiteral("T2 stays"));   // column T, outside A:S
        ledger.sheet.range("A2:S65536").sort(byF());
        QCOMPARE(ledger.order(3), (QList<int>{3, 4, 2}));
        // Every column of the range moved with its row...
        for (int r = 2; r <= 4; ++r) {
            const int original = int(ledger.sheet.valueAt(r, 1).number);
            QCOMPARE(ledger.sheet.valueAt(r, 19).text, QStringLiteral("nota %1").arg(original));
        }
        QCOMPARE(ledger.sheet.range("F2").text(), QStringLiteral("01/01/2009"));
        // ...columns outside it and the title row did not.
        QCOMPARE(ledger.sheet.range("T2").value().text, QStringLiteral("T2 stays"));
        QVERIFY(ledger.sheet.range("T3").value().isEmpty());
        QCOMPARE(ledger.sheet.range("F1").value().text, QStringLiteral("Scadenza"));
        QCOMPARE(ledger.sheet.range("IV1").value().number, 99.0);
        QCOMPARE(ledger.sheet.lastRow(), 4);
    }

    void rangeNotStartingAtColumnA()
    {
        Ledger ledger({"3", "1", "2"});
        ledger.sheet.range("B2:F4").sort(byF(SortOrder::Ascending, SortHeader::No));
        QCOMPARE(ledger.order(3), (QList<int>{2, 3, 4}));   // column A did not move
        QCOMPARE(ledger.sheet.valueAt(2, 6).number, 1.0);
        QCOMPARE(ledger.sheet.valueAt(4, 6).number, 3.0);
    }

    void headerGuess_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("text over a date is a header")
            << QStringList{"Scadenza", "02/02/2009", "01/01/2009"} << QList<int>{2, 4, 3};
        QTest::newRow("dates only: no header")
            << QStringList{"02/02/2009", "01/01/2009", "03/03/2009"} << QList<int>{3, 2, 4};
        QTest::newRow("texts only: no header")
            << QStringList{"rossi", "bianchi"} << QList<int>{3, 2};
        QTest::newRow("text over an empty key: no header")
            << QStringList{"rossi", "", "bianchi"} << QList<int>{4, 2, 3};
    }
    void headerGuess()
    {
        QFETCH(QStringList, keys);
        QFETCH(QList<int>, expected);
        Ledger ledger(keys);
        ledger.sheet.range("A2:S65536").sort(byF());
        QCOMPARE(ledger.order(keys.size()), expected);
    }

    void matchCase()
    {
        Ledger ledger({"b", "B", "a", "A"});
        SortOptions options = byF(SortOrder::Ascending, SortHeader::No);
        options.matchCase = true;
        ledger.sheet.range("A2:S5").sort(options);
        QCOMPARE(ledger.order(4), (QList<int>{4, 5, 2, 3}));
    }

    void keyOutsideTheRangeRefused()
    {
        Ledger ledger({"2", "1"});
        bool refused = false;
        try {
            ledger.sheet.range("A2:C3").sort(byF());
        } catch (const StoreError &e) {
            refused = e.kind() == ErrorKind::Invalid;
        }
        QVERIFY(refused);
        QCOMPARE(ledger.order(2), (QList<int>{2, 3}));
    }

    void emptySheet()
    {
        Workbook book;
        book.sheet(1).range("A2:S65536").sort(byF());
        QCOMPARE(book.sheet(1).lastRow(), 0);
    }
};

QTEST_APPLESS_MAIN(TstSort)
#include "tst_sort.moc"
