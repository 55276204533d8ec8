// The rule for an open record and the figures of a list, on cells as people leave them.

#include "dueworld.h"

#include "dueviews/duerules.h"
#include "dueviews/duesource.h"
#include "dueviews/statement.h"

#include <QTest>

using namespace dueviews;
using dueworld::Cells;

Q_DECLARE_METATYPE(dueworld::Cells)

namespace {

const QDate kToday = testworld::kFormsNow.date();   // 12/05/2009

// One record of "Incassi" read back through the records layer.
DueRecord readOne(const Cells &cells)
{
    testworld::FormWorld world([&](store::Workbook &book) {
        dueworld::writeRecord(book.sheet(QStringLiteral("Incassi")), 2, 1, cells);
    });
    const std::vector<DueRecord> records = readDueRecords(world.book());
    return records.size() == 1 ? records.front() : DueRecord{};
}

} // namespace

class TestDueRules : public QObject {
    Q_OBJECT
private slots:
    void openRecord_data();
    void openRecord();
    void totals();
    void statement();
    void menuLine();
};

void TestDueRules::openRecord_data()
{
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<QString>("state");      // statement's word: aperta, scaduta, saldata, da verificare
    QTest::addColumn<QString>("residual");   // "" when left out of totals
    QTest::addColumn<QString>("days");

    const auto c = [](QString due, QString h, QString g = QStringLiteral("t:NO"), QString k = QStringLiteral("t:NO"),
                      QString l = {}, QString o = QStringLiteral("t:NO")) {
        Cells cells;
        cells.number = QStringLiteral("n:7");
        cells.name = QStringLiteral("t:ROSSI");
        cells.invoice = QStringLiteral("t:F1");
        cells.due = due;
        cells.h = h;
        cells.g = g;
        cells.k = k;
        cells.l = l;
        cells.o = o;
        return cells;
    };
    QTest::newRow("date value, number, overdue") << c("d:01/05/2009", "n:100") << "scaduta" << "100,00" << "scaduta da 11 gg";
    QTest::newRow("date and amount as texts") << c("t:20/05/2009", "t:1.234,56") << "aperta" << "1.234,56" << "tra 8 gg";
    QTest::newRow("due today is not overdue") << c("d:12/05/2009", "n:5") << "aperta" << "5,00" << "scade oggi";
    QTest::newRow("advance taken off") << c("d:01/06/2009", "n:500", "t:NO", "t:SI", "t:200") << "aperta" << "300,00" << "tra 20 gg";
    QTest::newRow("advance amount without its flag ignored") << c("d:01/06/2009", "n:500", "t:NO", "t:NO", "n:200") << "aperta" << "500,00" << "tra 20 gg";
    QTest::newRow("collected is settled") << c("d:01/05/2009", "n:100", "t:SI") << "saldata" << "" << "scaduta da 11 gg";
    QTest::newRow("settled flag O") << c("d:01/05/2009", "n:100", "t:NO", "t:NO", {}, "t:SI") << "saldata" << "" << "scaduta da 11 gg";
    QTest::newRow("lower-case si is no flag: open") << c("d:01/05/2009", "n:100", "t:si") << "scaduta" << "100,00" << "scaduta da 11 gg";
    QTest::newRow("empty amount") << c("d:01/05/2009", "") << "da verificare" << "" << "scaduta da 11 gg";
    QTest::newRow("amount text not a number") << c("d:01/05/2009", "t:cento") << "da verificare" << "" << "scaduta da 11 gg";
    QTest::newRow("due text not a date") << c("t:fine mese", "n:100") << "da verificare" << "" << "da verificare";
    QTest::newRow("empty due date") << c("", "n:100") << "da verificare" << "" << "da verificare";
    QTest::newRow("advance flagged, no advance amount") << c("d:01/06/2009", "n:500", "t:NO", "t:SI", "") << "da verificare" << "" << "tra 20 gg";
}

void TestDueRules::openRecord()
{
    QFETCH(Cells, cells);
    QFETCH(QString, state);
    QFETCH(QString, residual);
    QFETCH(QString, days);
    const DueRecord r = readOne(cells);
    QCOMPARE(stateText(r, kToday), state);
    const std::optional<double> left = residualOf(r);
    QCOMPARE(needsCheck(r) || isSettled(r) ? QString() : money(left.value_or(-1)), residual);
    QCOMPARE(daysText(r, kToday), days);
    // Listed unless settled: a record that cannot be read is never dropped.
    DueFilter all;
    const std::vector<DueRecord> one{r};
    QCOMPARE(selectOpen(one, all, kToday).size(), size_t(isSettled(r) ? 0 : 1));
}

void TestDueRules::totals()
{
    testworld::FormWorld world([](store::Workbook &book) {
        store::Worksheet &in = book.sheet(QStringLiteral("Incassi"));
        store::Worksheet &out = book.sheet(QStringLiteral("Pagamenti"));
        const auto rec = [](const char *due, const char *h, const char *k = "t:NO", const char *l = "") {
            Cells c;
            c.number = QStringLiteral("n:1");
            c.name = QStringLiteral("t:X");
            c.due = QString::fromLatin1(due);
            c.h = QString::fromLatin1(h);
            c.k = QString::fromLatin1(k);
            c.l = QString::fromLatin1(l);
            return c;
        };
        dueworld::writeRecord(in, 2, 1, rec("d:02/05/2009", "n:100"));                 // 10 days late
        dueworld::writeRecord(in, 3, 2, rec("t:01/03/2009", "t:1.000,50"));            // 72 days late
        dueworld::writeRecord(in, 4, 3, rec("d:01/01/2009", "n:40", "t:SI", "n:15"));  // 131 days late, 25 left
        dueworld::writeRecord(in, 5, 4, rec("d:30/05/2009", "n:60"));                  // in 18 days
        dueworld::writeRecord(in, 6, 5, rec("d:30/07/2009", "n:70"));                  // in 79 days
        dueworld::writeRecord(in, 7, 6, rec("d:30/04/2009", "t:?"));                   // to check
        dueworld::writeRecord(out, 2, 1, rec("d:11/04/2009", "n:310"));                // 31 days late
        dueworld::writeRecord(out, 3, 2, rec("d:12/06/2009", "n:20"));                 // in 31 days
    });
    const std::vector<DueRecord> records = readDueRecords(world.book());
    QCOMPARE(records.size(), size_t(8));
    DueFilter all;
    const DueTotals t = totalsOf(records, selectOpen(records, all, kToday), kToday);
    QCOMPARE(t.needingCheck, 1);
    QCOMPARE(t.incassi.open.count, 5);
    QCOMPARE(money(t.incassi.open.residual), QStringLiteral("1.255,50"));
    QCOMPARE(t.incassi.overdue.count, 3);
    QCOMPARE(money(t.incassi.overdue.residual), QStringLiteral("1.125,50"));
    QCOMPARE(money(t.incassi.within30.residual), QStringLiteral("60,00"));
    QCOMPARE(money(t.incassi.aging[0].residual), QStringLiteral("100,00"));
    QCOMPARE(money(t.incassi.aging[2].residual), QStringLiteral("1.000,50"));
    QCOMPARE(money(t.incassi.aging[3].residual), QStringLiteral("25,00"));
    QCOMPARE(money(t.pagamenti.aging[1].residual), QStringLiteral("310,00"));
    QCOMPARE(t.pagamenti.within30.count, 0);   // 31 days is beyond
    // The periods and the chart.
    all.period = Period::Entro30;
    QCOMPARE(selectOpen(records, all, kToday).size(), size_t(6));   // overdue 4 + in 18 days + to check
    all.period = Period::Scadute;
    all.ledgers = LedgerChoice::Pagamenti;
    QCOMPARE(selectOpen(records, all, kToday).size(), size_t(1));
    const ChartData chart = chartOf(records, openByDue(records), DueFilter{}, kToday);
    QCOMPARE(money(chart.incassi[0]), QStringLiteral("1.125,50"));
    QCOMPARE(money(chart.incassi[1]), QStringLiteral("60,00"));   // May
    QCOMPARE(money(chart.incassi[3]), QStringLiteral("70,00"));   // July
    QCOMPARE(money(chart.pagamenti[2]), QStringLiteral("20,00")); // June
}

void TestDueRules::statement()
{
    testworld::FormWorld world([](store::Workbook &book) {
        store::Worksheet &in = book.sheet(QStringLiteral("Incassi"));
        Cells byNumber{QStringLiteral("n:7"), QStringLiteral("t:ROSSI SPA"), QStringLiteral("t:A1"),
                       QStringLiteral("d:01/04/2009"), QStringLiteral("t:NO"), QStringLiteral("n:200")};
        dueworld::writeRecord(in, 2, 1, byNumber);
        Cells byName = byNumber;                  // no number: found by name
        byName.number.clear();
        byName.name = QStringLiteral("t:rossi spa ");
        byName.due = QStringLiteral("d:01/06/2009");
        dueworld::writeRecord(in, 3, 2, byName);
        Cells paid = byNumber;
        paid.g = QStringLiteral("t:SI");
        dueworld::writeRecord(in, 4, 3, paid);
        Cells other = byNumber;                   // another customer's number, same name
        other.number = QStringLiteral("n:8");
        dueworld::writeRecord(in, 5, 4, other);
    });
    const std::vector<DueRecord> records = readDueRecords(world.book());
    const CounterpartyInfo rossi{QStringLiteral("7"), QStringLiteral("7"), QStringLiteral("ROSSI SPA"), true, {}};
    QCOMPARE(recordsOf(records, rossi).size(), size_t(3));
    const StatementTotals t = statementTotals(records, recordsOf(records, rossi), kToday);
    QCOMPARE(money(t.invoiced), QStringLiteral("600,00"));
    QCOMPARE(money(t.collected), QStringLiteral("200,00"));
    QCOMPARE(money(t.residual), QStringLiteral("400,00"));
    QCOMPARE(money(t.overdue), QStringLiteral("200,00"));
    const Reminder reminder = reminderFor(records, rossi, ReminderLevel::Primo, kToday);
    QCOMPARE(reminder.invoices, QStringList{QStringLiteral("A1")});
    QCOMPARE(money(reminder.total), QStringLiteral("200,00"));
}

void TestDueRules::menuLine()
{
    std::vector<DueRecord> records(4);
    for (DueRecord &r : records) {
        r.due = kToday.addDays(-3);
        r.amount = 1225;
        r.collected = r.settled = r.advanceFlag = QStringLiteral("NO");
    }
    records[3].ledger = Ledger::Pagamenti;
    records[3].amount = 310;
    QCOMPARE(overdueLine(records, kToday), QStringLiteral("Scaduti: 3 incassi per 3.675,00 €, 1 pagamento per 310,00 €"));
    records.pop_back();
    records.pop_back();
    records.pop_back();
    QCOMPARE(overdueLine(records, kToday), QStringLiteral("Scaduti: 1 incasso per 1.225,00 €"));
    records.front().settled = QStringLiteral("SI");
    QCOMPARE(overdueLine(records, kToday), QStringLiteral("Scaduti: nessun incasso e nessun pagamento"));
}

QTEST_MAIN(TestDueRules)
#include "tst_duerules.moc"
