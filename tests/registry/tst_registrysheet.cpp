#include "records/registry.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QTest>

using RegistrySheet = records::Registry;

class TestRegistrySheet : public QObject {
    Q_OBJECT

private slots:
    void freeRow_data();
    void freeRow();
    void freeRowOfFullSheet();
    void findNumber_data();
    void findNumber();
    void entriesByTypeInSheetOrder();
    void cellText();
    void writeField_data();
    void writeField();
    void missingSheet();
    void progressive_data();
    void progressive();

private:
    // "Anagrafe" with its title row; column A filled from `ids` (NaN leaves a cell empty,
    // a string leaves a text).
    static store::Workbook *book(const QVariantList &ids)
    {
        auto *b = new store::Workbook;
        store::Worksheet &s = b->sheet(1);
        s.setName(records::Registry::sheetName());
        s.cells(1, 1).setValue(QStringLiteral("ID"));
        for (int i = 0; i < ids.size(); ++i) {
            const QVariant &v = ids[i];
            if (v.typeId() == QMetaType::QString)
                s.cells(i + 2, 1).setValue(store::Variant::fromText(v.toString()));
            else if (!std::isnan(v.toDouble()))
                s.cells(i + 2, 1).setValue(v.toDouble());
        }
        return b;
    }
};

static const double kGap = std::nan("");

void TestRegistrySheet::freeRow_data()
{
    QTest::addColumn<QVariantList>("ids");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty registry") << QVariantList{} << 2;
    QTest::newRow("after the records") << QVariantList{1, 2, 3} << 5;
    QTest::newRow("first gap") << QVariantList{1, kGap, 3} << 3;
    QTest::newRow("text number is taken") << QVariantList{QString("abc"), 2} << 4;
}

void TestRegistrySheet::freeRow()
{
    QFETCH(QVariantList, ids);
    QFETCH(int, expected);
    std::unique_ptr<store::Workbook> b(book(ids));
    QCOMPARE(RegistrySheet::of(*b).freeRow(), std::optional<int>(expected));
}

void TestRegistrySheet::freeRowOfFullSheet()
{
    std::unique_ptr<store::Workbook> b(book({}));
    store::Worksheet &s = b->sheet(1);
    for (int row = 2; row <= store::kMaxRows; ++row)
        s.cells(row, 1).setValue(double(row));
    const RegistrySheet sheet(s);
    QCOMPARE(sheet.freeRow(), std::nullopt);
    // Beyond the 16-bit range the last row is still reachable.
    s.cells(store::kMaxRows, 1).clearContents();
    QCOMPARE(sheet.freeRow(), std::optional<int>(store::kMaxRows));
}

void TestRegistrySheet::findNumber_data()
{
    QTest::addColumn<QVariantList>("ids");
    QTest::addColumn<double>("number");
    QTest::addColumn<int>("expected");   // 0: not found
    QTest::newRow("upper of two equal numbers") << QVariantList{4, 7, 7} << 7.0 << 3;
    QTest::newRow("absent") << QVariantList{1, 2} << 5.0 << 0;
    QTest::newRow("number kept as text") << QVariantList{1, QString("12")} << 12.0 << 3;
    QTest::newRow("empty cell is nobody's zero") << QVariantList{1, kGap, 0} << 0.0 << 4;
    QTest::newRow("zero in a record") << QVariantList{0} << 0.0 << 2;
    // A2 alone: the end jump goes to the next filled cell, A4; A6 is beyond the walk.
    QTest::newRow("walk ends at the end jump") << QVariantList{1, kGap, 3, kGap, 5} << 5.0 << 0;
    QTest::newRow("next block reached by the jump") << QVariantList{1, kGap, 3, kGap, 5} << 3.0 << 4;
    QTest::newRow("fraction") << QVariantList{1.5, 2} << 1.5 << 2;
}

void TestRegistrySheet::findNumber()
{
    QFETCH(QVariantList, ids);
    QFETCH(double, number);
    QFETCH(int, expected);
    std::unique_ptr<store::Workbook> b(book(ids));
    const std::optional<int> row = RegistrySheet::of(*b).findNumber(number);
    QCOMPARE(row.value_or(0), expected);
}

void TestRegistrySheet::entriesByTypeInSheetOrder()
{
    std::unique_ptr<store::Workbook> b(book({}));
    store::Worksheet &s = b->sheet(1);
    const QStringList types = {"C", "F", "C", "c", "C", "", "C"};
    const QStringList names = {"UNO", "DUE", "TRE", "QUATTRO", "CINQUE", "", "SETTE"};
    for (int i = 0; i < types.size(); ++i) {
        s.cells(i + 2, 2).setValue(types[i]);
        s.cells(i + 2, 3).setValue(names[i]);
    }
    const RegistrySheet sheet(s);
    const std::vector<records::Entry> customers = sheet.entries(QStringLiteral("C"));
    QCOMPARE(customers.size(), size_t(3));   // the empty name in row 7 ends the walk
    QCOMPARE(customers[0].name, QString("UNO"));
    QCOMPARE(customers[1].name, QString("TRE"));
    QCOMPARE(customers[1].row, 4);
    QCOMPARE(customers[2].row, 6);
    QCOMPARE(sheet.entries(QStringLiteral("F")).size(), size_t(1));
}

void TestRegistrySheet::cellText()
{
    std::unique_ptr<store::Workbook> b(book({}));
    store::Worksheet &s = b->sheet(1);
    s.cells(2, 4).setValue(QStringLiteral("05/03/2009"));
    s.cells(2, 5).setValue(-0.25);
    s.cells(2, 6).setValue(store::Variant::fromError(store::CellError::Div0));
    const RegistrySheet sheet(s);
    QCOMPARE(sheet.cellText(2, 4), std::optional<QString>("05/03/2009"));
    QCOMPARE(sheet.cellText(2, 5), std::optional<QString>("-0,25"));
    QCOMPARE(sheet.cellText(2, 6), std::nullopt);
    QCOMPARE(sheet.cellText(2, 7), std::optional<QString>(""));
}

void TestRegistrySheet::writeField_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("type");   // store::Variant::Type
    QTest::addColumn<QString>("shown");
    using T = store::Variant::Type;
    QTest::newRow("postal code stays text") << int(records::Registry::ColPostCode) << "00184" << int(T::Text) << "00184";
    QTest::newRow("empty postal code clears") << int(records::Registry::ColPostCode) << "" << int(T::Empty) << "";
    QTest::newRow("number in a general column") << int(records::Registry::ColId) << "12" << int(T::Number) << "12";
    QTest::newRow("date in a general column") << int(records::Registry::ColDate) << "12/05/2009" << int(T::Date) << "12/05/2009";
    QTest::newRow("name as typed") << int(records::Registry::ColName) << "ROSSI" << int(T::Text) << "ROSSI";
}

void TestRegistrySheet::writeField()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(int, type);
    QFETCH(QString, shown);
    std::unique_ptr<store::Workbook> b(book({}));
    const RegistrySheet sheet(b->sheet(1));
    b->sheet(1).cells(2, column).setValue(QStringLiteral("vecchio"));
    sheet.writeField(2, column, typed);
    QCOMPARE(int(b->sheet(1).valueAt(2, column).type), type);
    QCOMPARE(sheet.cellText(2, column), std::optional<QString>(shown));
}

void TestRegistrySheet::missingSheet()
{
    store::Workbook b;
    QVERIFY_THROWS_EXCEPTION(store::StoreError, RegistrySheet::of(b));
}

void TestRegistrySheet::progressive_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("expected");   // 0: no progressive
    QTest::newRow("digits") << "100" << 100.0;
    QTest::newRow("blanks around") << " 7 " << 7.0;
    QTest::newRow("thousands point") << "1.000" << 1000.0;
    QTest::newRow("largest") << "999999999" << 999999999.0;
    QTest::newRow("too large") << "1000000000" << 0.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("digits and letters") << "12a" << 0.0;
    QTest::newRow("fraction") << "2,5" << 0.0;
    QTest::newRow("zero") << "0" << 0.0;
    QTest::newRow("date") << "01/02/2009" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
}

void TestRegistrySheet::progressive()
{
    QFETCH(QString, typed);
    QFETCH(double, expected);
    QCOMPARE(records::typedProgressive(typed).value_or(0), expected);
    // A counter cell holding the typed text reads the same.
    QCOMPARE(records::progressiveIn(store::Variant::fromText(typed.trimmed())).value_or(0), expected);
}

QTEST_GUILESS_MAIN(TestRegistrySheet)
#include "tst_registrysheet.moc"
