#include "records/ledger.h"
#include "records/registry.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QTest>

using records::Field;
using records::Group;
using records::Ledger;
using records::LedgerEntry;
using records::Registry;
using store::Variant;
using Type = store::Variant::Type;

namespace {

// A cell written as a test says it: "" nothing, "#12,5" a number, "d:05/03/2009" a date
// value, "!" an error, "t:..." a text (also an empty one), anything else a text.
Variant cellOf(const QString &code)
{
    if (code.isEmpty())
        return {};
    if (code.startsWith(u'#'))
        return store::parseTyped(code.mid(1));
    if (code.startsWith(QLatin1String("d:")))
        return Variant::fromDate(store::dateToSerial(*store::parseDate(code.mid(2))));
    if (code == QLatin1String("!"))
        return Variant::fromError(store::CellError::NA);
    return Variant::fromText(code.startsWith(QLatin1String("t:")) ? code.mid(2) : code);
}

// What a stored cell holds, in the same notation (texts without "t:").
QString specOf(const Variant &v)
{
    switch (v.type) {
    case Type::Empty: return {};
    case Type::Number: return u'#' + store::numberToText(v.number);
    case Type::Date: return QStringLiteral("d:") + store::dateToText(v.number);
    case Type::Error: return QStringLiteral("!");
    default: return store::valueToText(v);
    }
}

// The three data sheets with their titles.
struct Book {
    store::Workbook book;
    Book()
    {
        const auto &layouts = records::layout::dataSheets();
        book.sheet(1).setName(layouts[0]->name);
        for (size_t i = 1; i < layouts.size(); ++i)
            book.appendSheet(layouts[i]->name);
        for (const records::layout::SheetLayout *layout : layouts)
            records::layout::writeTitleRow(book.sheet(layout->name), *layout);
    }
    store::Worksheet &incassi() { return book.sheet(QStringLiteral("Incassi")); }
    store::Worksheet &anagrafe() { return book.sheet(QStringLiteral("Anagrafe")); }
    // Rows from row 2 down, cells from column A.
    void fill(store::Worksheet &sheet, const QList<QStringList> &rows)
    {
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows[r].size(); ++c)
                if (!rows[r][c].isEmpty())
                    sheet.cells(2 + r, c + 1).setValue(cellOf(rows[r][c]));
    }
    void column(store::Worksheet &sheet, const QStringList &cells)
    {
        for (int r = 0; r < cells.size(); ++r)
            if (!cells[r].isEmpty())
                sheet.cells(2 + r, 1).setValue(cellOf(cells[r]));
    }
    void setCounter(store::Worksheet &sheet, const QString &code)
    {
        if (!code.isEmpty())
            sheet.cells(1, 256).setValue(cellOf(code));
    }
    QString counter(store::Worksheet &sheet) { return specOf(sheet.valueAt(1, 256)); }
    QStringList row(store::Worksheet &sheet, int row, int columns)
    {
        QStringList cells;
        for (int c = 1; c <= columns; ++c)
            cells << specOf(sheet.valueAt(row, c));
        return cells;
    }
};

// "E" empty, "?" cannot be read, else the value as text.
template <typename T, typename Show>
QString shown(const records::Reading<T> &reading, Show show)
{
    return reading.empty() ? QStringLiteral("E") : reading.unreadable() ? QStringLiteral("?") : show(reading.value);
}

LedgerEntry ledgerEntry(const QStringList &bToS)
{
    LedgerEntry e;
    for (int i = 0; i < bToS.size(); ++i)
        e[i + 2] = bToS[i];
    return e;
}

// Columns B..S of an entry: counterparty 4 "ROSSI", invoice "F1", then the given dates
// (E, F), group flags "NO", amount H, date I, means J, the rest empty, note S.
QStringList entryTexts(const QString &invoiceDate, const QString &due, const QString &amount,
                       const QString &paidOn, const QString &note = {})
{
    return {"4", "ROSSI", "F1", invoiceDate, due, "SI", amount, paidOn, "BONIFICO",
            "NO", "", "", "", "NO", "", "", "", note};
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT

private slots:
    void readings_data();
    void readings();
    void ledgerWalk_data();
    void ledgerWalk();
    void recordFields();
    void nextNumber_data();
    void nextNumber();
    void ledgerInsert_data();
    void ledgerInsert();
    void ledgerChangeAndRemove();
    void registryWalk_data();
    void registryWalk();
    void registryFreeRowOfFullSheet();
    void writeField_data();
    void writeField();
    void progressive_data();
    void progressive();
    void registryInsert_data();
    void registryInsert();
    void registryFindByCode_data();
    void registryFindByCode();
    void registryListAndChange();
};

void TestRecords::readings_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");   // the text a form shows; "-" none
    QTest::newRow("nothing") << "" << "E" << "E" << "E" << "E" << "";
    QTest::newRow("empty text") << "t:" << "E" << "E" << "E" << "E" << "";
    QTest::newRow("date value") << "d:05/03/2009" << "05/03/2009" << "?" << "?" << "39877" << "05/03/2009";
    QTest::newRow("date kept as text") << "05/03/2009" << "05/03/2009" << "?" << "?" << "?" << "05/03/2009";
    QTest::newRow("short date text") << "5-3-09" << "05/03/2009" << "?" << "?" << "?" << "5-3-09";
    QTest::newRow("impossible date text") << "31/02/2009" << "?" << "?" << "?" << "?" << "31/02/2009";
    QTest::newRow("plain number is no date") << "#39877" << "?" << "39877" << "?" << "39877" << "39877";
    QTest::newRow("amount as Italian text") << "1.234,56" << "?" << "1234,56" << "?" << "?" << "1.234,56";
    QTest::newRow("amount as number") << "#-0,25" << "?" << "-0,25" << "?" << "?" << "-0,25";
    QTest::newRow("amount with a currency sign") << "€ 12" << "?" << "?" << "?" << "?" << "€ 12";
    QTest::newRow("flag SI") << "SI" << "?" << "?" << "1" << "?" << "SI";
    QTest::newRow("flag NO") << "NO" << "?" << "?" << "0" << "?" << "NO";
    QTest::newRow("flag in lower case") << "si" << "?" << "?" << "?" << "?" << "si";
    QTest::newRow("number kept as text") << "12" << "?" << "12" << "?" << "12" << "12";
    QTest::newRow("zero is no record number") << "#0" << "?" << "0" << "?" << "?" << "0";
    QTest::newRow("error value") << "!" << "?" << "?" << "?" << "?" << "-";
}

void TestRecords::readings()
{
    QFETCH(QString, cell);
    QFETCH(QString, date);
    QFETCH(QString, amount);
    QFETCH(QString, flag);
    QFETCH(QString, number);
    QFETCH(QString, text);
    const Field field{cellOf(cell)};
    QCOMPARE(field.shownText().value_or(QStringLiteral("-")), text);
    const auto asNumber = [](double v) { return store::numberToText(v); };
    QCOMPARE(shown(field.date(), [](const QDate &d) { return store::dateText(d); }), date);
    QCOMPARE(shown(field.amount(), asNumber), amount);
    QCOMPARE(shown(field.flag(), [](bool b) { return QString::number(int(b)); }), flag);
    QCOMPARE(shown(field.wholeNumber(), asNumber), number);
}

void TestRecords::ledgerWalk_data()
{
    // Column A from A2 down; the number looked for; the records read and the row found.
    QTest::addColumn<QStringList>("column");
    QTest::addColumn<double>("number");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("found");   // 0: none
    QTest::newRow("no records") << QStringList{} << 1.0 << 0 << 0;
    QTest::newRow("numbers") << QStringList{"#1", "#2", "#3"} << 2.0 << 3 << 3;
    QTest::newRow("number kept as text") << QStringList{"#1", "12"} << 12.0 << 2 << 3;
    QTest::newRow("upper of two equal numbers") << QStringList{"#7", "#7"} << 7.0 << 2 << 2;
    QTest::newRow("a gap ends the records") << QStringList{"#1", "", "#3"} << 3.0 << 1 << 0;
    QTest::newRow("empty text ends them too") << QStringList{"#1", "t:", "#3"} << 3.0 << 1 << 0;
    QTest::newRow("a text is a record without a number") << QStringList{"abc", "#5"} << 5.0 << 2 << 3;
    QTest::newRow("a fraction is no record number") << QStringList{"#2,5"} << 2.5 << 1 << 0;
}

void TestRecords::ledgerWalk()
{
    QFETCH(QStringList, column);
    QFETCH(double, number);
    QFETCH(int, records);
    QFETCH(int, found);
    Book b;
    b.column(b.incassi(), column);
    const Ledger ledger(b.incassi());
    QCOMPARE(ledger.recordCount(), records);
    QCOMPARE(int(ledger.readAll().size()), records);
    QCOMPARE(ledger.hasRecords(), records > 0);
    QCOMPARE(ledger.findRow(number).value_or(0), found);
}

void TestRecords::recordFields()
{
    // Each accessor reaches its own column, and the cells stay as stored.
    Book b;
    b.fill(b.incassi(), {{"#3", "#4", "ROSSI", "F1", "d:01/02/2009", "28/02/2009", "SI", "1.000,50",
                          "d:27/02/2009", "BONIFICO", "NO", "#200", "", "A", "SI", "x", "!", "S", "nota"}});
    const records::LedgerRecord r = Ledger(b.incassi()).readAll().at(0);
    QStringList seen{specOf(r.number().value), specOf(r.counterpartyNumber().value), specOf(r.counterparty().value),
                     specOf(r.invoice().value), specOf(r.invoiceDate().value), specOf(r.dueDate().value)};
    for (Group g : records::kGroups)
        seen << specOf(r.flag(g).value) << specOf(r.amount(g).value) << specOf(r.date(g).value) << specOf(r.means(g).value);
    seen << specOf(r.note().value);
    QCOMPARE(seen, (QStringList{"#3", "#4", "ROSSI", "F1", "d:01/02/2009", "28/02/2009", "SI", "1.000,50",
                                "d:27/02/2009", "BONIFICO", "NO", "#200", "", "A", "SI", "x", "!", "S", "nota"}));
    QCOMPARE(r.row, 2);
}

void TestRecords::nextNumber_data()
{
    QTest::addColumn<QString>("counter");
    QTest::addColumn<double>("next");       // 0: none
    QTest::addColumn<double>("proposed");   // past the records 1, 2 and 4
    QTest::newRow("empty counts as 0") << "" << 1.0 << 3.0;
    QTest::newRow("number") << "#5" << 6.0 << 6.0;
    QTest::newRow("number kept as text") << "7" << 8.0 << 8.0;
    QTest::newRow("stale counter skips the numbers in use") << "#3" << 4.0 << 5.0;
    QTest::newRow("a word is no number: from 1") << "abc" << 0.0 << 3.0;
}


void TestRecords::nextNumber()
{
    QFETCH(QString, counter);
    QFETCH(double, next);
    QFETCH(double, proposed);
    Book b;
    b.setCounter(b.incassi(), counter);
    b.column(b.incassi(), {"#1", "2", "#4"});
    QCOMPARE(Ledger(b.incassi()).nextNumber().value_or(0), next);
    QCOMPARE(Ledger(b.incassi()).proposedNumber().value_or(0), proposed);
}

void TestRecords::ledgerInsert_data()
{
    QTest::addColumn<QStringList>("column");   // A from A2 down
    QTest::addColumn<QString>("counter");
    QTest::addColumn<double>("number");
    QTest::addColumn<QStringList>("bToS");
    QTest::addColumn<int>("outcome");          // Ledger::Inserted
    QTest::addColumn<QStringList>("written");  // the row written, A..S; empty when refused
    QTest::addColumn<QString>("counterAfter");
    using I = Ledger::Inserted;
    const QStringList typical = entryTexts("01/02/2009", "28/02/2009", "1.000,50", "27/02/2009", "nota");
    const QStringList stored{"#1", "#4", "ROSSI", "F1", "d:01/02/2009", "d:28/02/2009", "SI", "#1000,5",
                             "d:27/02/2009", "BONIFICO", "NO", "", "", "", "NO", "", "", "", "nota"};
    QTest::newRow("first record: dates as dates, amounts converted")
        << QStringList{} << "#0" << 1.0 << typical << int(I::Done) << stored << "#1";
    QStringList impossible = stored;
    impossible[8] = "31/02/2009";
    QTest::newRow("an impossible date stays as typed")
        << QStringList{} << "" << 1.0 << entryTexts("01/02/2009", "28/02/2009", "1.000,50", "31/02/2009", "nota")
        << int(I::Done) << impossible << "#1";
    QStringList pointed = stored;
    pointed[7] = "#1234,56";
    QTest::newRow("an amount with the keypad's point is a number")
        << QStringList{} << "" << 1.0 << entryTexts("01/02/2009", "28/02/2009", "1234.56", "27/02/2009", "nota")
        << int(I::Done) << pointed << "#1";
    QStringList unreadable = stored;
    unreadable[7] = "1,2,3";
    QTest::newRow("an amount that is none stays as typed")
        << QStringList{} << "" << 1.0 << entryTexts("01/02/2009", "28/02/2009", "1,2,3", "27/02/2009", "nota")
        << int(I::Done) << unreadable << "#1";
    QStringList sixth = stored;
    sixth[0] = "#6";
    QTest::newRow("after a deleted record: first free row, counter moves on")
        << QStringList{"#1", "#2", "#4", "#5"} << "#5" << 6.0 << typical << int(I::Done) << sixth << "#6";
    QStringList low = stored;
    low[0] = "#3";
    QTest::newRow("a number below the counter never takes it back")
        << QStringList{"#1"} << "#9" << 3.0 << typical << int(I::Done) << low << "#9";
    QTest::newRow("a number taken is refused")
        << QStringList{"#1", "3"} << "#3" << 3.0 << typical << int(I::NumberTaken) << QStringList{} << "#3";
}

void TestRecords::ledgerInsert()
{
    QFETCH(QStringList, column);
    QFETCH(QString, counter);
    QFETCH(double, number);
    QFETCH(QStringList, bToS);
    QFETCH(int, outcome);
    QFETCH(QStringList, written);
    QFETCH(QString, counterAfter);
    Book b;
    b.column(b.incassi(), column);
    b.setCounter(b.incassi(), counter);
    // Row left by another program under the records: column A empty, every other cell not.
    const int free = int(column.size()) + 2;
    for (int c = 2; c <= 19; ++c)
        b.incassi().cells(free, c).setValue(cellOf(c % 2 ? "d:01/01/2001" : "vecchio"));
    const Ledger::InsertResult result = Ledger(b.incassi()).insert(number, ledgerEntry(bToS));
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(b.counter(b.incassi()), counterAfter);
    if (result.outcome != Ledger::Inserted::Done) {
        QCOMPARE(Ledger(b.incassi()).recordCount(), int(column.size()));
        return;
    }
    QCOMPARE(result.row, free);
    QCOMPARE(b.row(b.incassi(), result.row, 19), written);   // the insert owns every cell
    for (int c : {8, 12, 16})
        if (b.incassi().valueAt(free, c).type == Type::Number)
            QCOMPARE(b.incassi().cells(free, c).numberFormat(),
                     store::kAmountFormat);
}

void TestRecords::ledgerChangeAndRemove()
{
    Book b;
    b.column(b.incassi(), {"#1", "#2", "#3"});
    const Ledger ledger(b.incassi());
    ledger.change(3, ledgerEntry(entryTexts("01/02/2009", "", "12,5", "", "0123")));
    QCOMPARE(b.row(b.incassi(), 3, 19),
             (QStringList{"#2", "#4", "ROSSI", "F1", "d:01/02/2009", "", "SI", "#12,5", "", "BONIFICO",
                          "NO", "", "", "", "NO", "", "", "", "#123"}));
    // Sorting by due date never takes the first record for a header, whatever it holds.
    b.fill(b.incassi(), {{"#1", "", "", "", "", "31/12/2009"}, {"#2", "", "", "", "", "d:05/03/2009"},
                         {"#3", "", "", "", "", "d:01/03/2009"}});
    ledger.sortByDueDate();
    QCOMPARE(ledger.readAll().at(0).number().text(), QStringLiteral("3"));
    QCOMPARE(ledger.readAll().at(2).number().text(), QStringLiteral("1"));
    ledger.remove(2);
    QCOMPARE(ledger.readAll().at(0).number().text(), QStringLiteral("2"));
    QCOMPARE(ledger.recordCount(), 2);
}

void TestRecords::registryWalk_data()
{
    // Column A from A2 down; the free row, and the row of `number` (walked from A2 to the
    // end jump from A2; 0: none).
    QTest::addColumn<QStringList>("column");
    QTest::addColumn<double>("number");
    QTest::addColumn<int>("free");
    QTest::addColumn<int>("found");
    QTest::newRow("empty registry") << QStringList{} << 1.0 << 2 << 0;
    QTest::newRow("upper of two equal numbers") << QStringList{"#4", "#7", "#7"} << 7.0 << 5 << 3;
    QTest::newRow("absent") << QStringList{"#1", "#2"} << 5.0 << 4 << 0;
    QTest::newRow("number kept as text, taken") << QStringList{"#1", "12"} << 12.0 << 4 << 3;
    QTest::newRow("a word is taken too") << QStringList{"abc", "#2"} << 2.0 << 4 << 3;
    QTest::newRow("empty cell is nobody's zero, and free") << QStringList{"#1", "", "#0"} << 0.0 << 3 << 4;
    QTest::newRow("zero in a record") << QStringList{"#0"} << 0.0 << 3 << 2;
    // A2 alone: the end jump goes to the next filled cell, A4; A6 is beyond the walk.
    QTest::newRow("walk ends at the end jump") << QStringList{"#1", "", "#3", "", "#5"} << 5.0 << 3 << 0;
    QTest::newRow("next block reached by the jump") << QStringList{"#1", "", "#3", "", "#5"} << 3.0 << 3 << 4;
    QTest::newRow("fraction") << QStringList{"#1,5", "#2"} << 1.5 << 4 << 2;
}

void TestRecords::registryWalk()
{
    QFETCH(QStringList, column);
    QFETCH(double, number);
    QFETCH(int, free);
    QFETCH(int, found);
    Book b;
    b.column(b.anagrafe(), column);
    const Registry registry = Registry::of(b.book);
    QCOMPARE(registry.freeRow(), std::optional<int>(free));
    QCOMPARE(registry.findNumber(number).value_or(0), found);
}

void TestRecords::registryFreeRowOfFullSheet()
{
    Book b;
    store::Worksheet &s = b.anagrafe();
    for (int row = 2; row <= store::kMaxRows; ++row)
        s.cells(row, 1).setValue(double(row));
    QCOMPARE(Registry(s).freeRow(), std::nullopt);
    QCOMPARE(Ledger(s).freeRow(), std::nullopt);
    // Beyond the 16-bit range the last row is still reachable.
    s.cells(store::kMaxRows, 1).clearContents();
    QCOMPARE(Registry(s).freeRow(), std::optional<int>(store::kMaxRows));
    QCOMPARE(Ledger(s).freeRow(), std::optional<int>(store::kMaxRows));
    // And a missing sheet is said so.
    store::Workbook bare;
    QVERIFY_THROWS_EXCEPTION(store::StoreError, Registry::of(bare));
    QVERIFY_THROWS_EXCEPTION(store::StoreError, Ledger::of(bare, QStringLiteral("Incassi")));
}

void TestRecords::writeField_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("postal code stays text") << int(Registry::ColPostCode) << "00184" << "00184";
    QTest::newRow("empty postal code clears") << int(Registry::ColPostCode) << "" << "";
    QTest::newRow("number in a general column") << int(Registry::ColId) << "12" << "#12";
    QTest::newRow("date in a general column") << int(Registry::ColDate) << "12/05/2009" << "d:12/05/2009";
    QTest::newRow("name as typed") << int(Registry::ColName) << "ROSSI" << "ROSSI";
}

void TestRecords::writeField()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    Book b;
    b.anagrafe().cells(2, column).setValue(QStringLiteral("vecchio"));
    Registry(b.anagrafe()).writeField(2, column, typed);
    QCOMPARE(specOf(b.anagrafe().valueAt(2, column)), stored);
}

void TestRecords::progressive_data()
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

void TestRecords::progressive()
{
    QFETCH(QString, typed);
    QFETCH(double, expected);
    QCOMPARE(records::typedProgressive(typed).value_or(0), expected);
    // A counter cell holding the typed text reads the same.
    QCOMPARE(records::progressiveIn(Variant::fromText(typed.trimmed())).value_or(0), expected);
}

void TestRecords::registryInsert_data()
{
    QTest::addColumn<QStringList>("column");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("outcome");   // Registry::Inserted
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("counterAfter");
    using I = Registry::Inserted;
    QTest::newRow("empty registry, empty counter") << QStringList{} << "" << int(I::Done) << 2 << "#1" << "#2";
    QTest::newRow("counter set by hand") << QStringList{"#1", "#2"} << "#100" << int(I::Done) << 4 << "#100" << "#101";
    QTest::newRow("counter reset: the next number not in use") << QStringList{"#1", "#2"} << "#1" << int(I::Done) << 4 << "#3" << "#4";
    QTest::newRow("first gap is the free row") << QStringList{"#1", "", "#3"} << "#4" << int(I::Done) << 3 << "#4" << "#5";
    QTest::newRow("counter kept as text") << QStringList{} << "7" << int(I::Done) << 2 << "#7" << "#8";
    QTest::newRow("counter that is no whole number") << QStringList{"#1"} << "2,5" << int(I::CounterNotWhole) << 0 << "" << "2,5";
}

void TestRecords::registryInsert()
{
    QFETCH(QStringList, column);
    QFETCH(QString, counter);
    QFETCH(int, outcome);
    QFETCH(int, row);
    QFETCH(QString, number);
    QFETCH(QString, counterAfter);
    Book b;
    b.column(b.anagrafe(), column);
    b.setCounter(b.anagrafe(), counter);
    records::CounterpartyEntry e;
    e[Registry::ColType] = "C";
    e[Registry::ColName] = "ROSSI SRL";
    e[Registry::ColPostCode] = "00184";
    e[Registry::ColVat] = "01234567890";
    const Registry::InsertResult result = Registry(b.anagrafe()).insert(e);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.row, row);
    QCOMPARE(b.counter(b.anagrafe()), counterAfter);
    if (row == 0)
        return;
    QCOMPARE(b.row(b.anagrafe(), row, 6),
             (QStringList{number, "C", "ROSSI SRL", "", "", "00184"}));
    QCOMPARE(b.anagrafe().valueAt(row, Registry::ColPostCode).type, Type::Text);
}

void TestRecords::registryFindByCode_data()
{
    QTest::addColumn<QString>("vat");
    QTest::addColumn<QString>("taxCode");
    QTest::addColumn<QString>("name");   // empty: none found
    QTest::newRow("partita IVA with country and blanks") << "IT 01234 567890" << "" << "ALFA";
    QTest::newRow("partita IVA stored as a number, zeros lost") << "00987654321" << "" << "DELTA";
    QTest::newRow("partita IVA as a company's codice fiscale") << "11122233344" << "" << "GAMMA";
    QTest::newRow("digits of a person's codice fiscale never match") << "8001501" << "" << "";
    QTest::newRow("codice fiscale in lower case") << "" << "rssmra80a01h501u" << "BETA";
    QTest::newRow("no digits at all") << "IT" << "" << "";
}

void TestRecords::registryFindByCode()
{
    QFETCH(QString, vat);
    QFETCH(QString, taxCode);
    QFETCH(QString, name);
    Book b;
    // Columns A, B, C, M (codice fiscale), N (partita IVA).
    const QList<QStringList> rows{{"#1", "C", "ALFA", "", "01234567890"},
                                  {"#2", "F", "BETA", "RSSMRA80A01H501U", ""},
                                  {"#3", "C", "DELTA", "", "#987654321"},
                                  {"#4", "C", "GAMMA", "11122233344", ""}};
    const int columns[] = {1, 2, 3, Registry::ColTaxCode, Registry::ColVat};
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < 5; ++c)
            if (!rows[r][c].isEmpty())
                b.anagrafe().cells(r + 2, columns[c]).setValue(cellOf(rows[r][c]));
    const Registry registry(b.anagrafe());
    const std::optional<records::Counterparty> found =
        vat.isEmpty() ? registry.findByTaxCode(taxCode) : registry.findByVatNumber(vat);
    QCOMPARE(found ? found->name().text() : QString(), name);
}

void TestRecords::registryListAndChange()
{
    Book b;
    b.fill(b.anagrafe(), {{"#1", "C", "UNO"}, {"#2", "F", "DUE"}, {"#3", "C", "TRE"}, {"", "c", "QUATTRO"},
                          {"", "C", ""}, {"#5", "C", "CINQUE"}});
    const Registry registry(b.anagrafe());
    const std::vector<records::Counterparty> customers = registry.list(QStringLiteral("C"));
    QCOMPARE(customers.size(), size_t(2));   // "c" is no type; the empty name ends the list
    QCOMPARE(customers[1].name().text(), QStringLiteral("TRE"));
    QCOMPARE(customers[1].row, 4);
    QVERIFY(customers[1].isCustomer());
    QCOMPARE(registry.entries(QStringLiteral("F")).at(0).row, 3);
    QCOMPARE(registry.find(2)->row, 3);

    records::CounterpartyEntry e;
    e[Registry::ColId] = "99";
    e[Registry::ColType] = "F";
    e[Registry::ColName] = "TRE SPA";
    registry.change(4, e);
    QCOMPARE(b.row(b.anagrafe(), 4, 3), (QStringList{"#3", "F", "TRE SPA"}));
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
