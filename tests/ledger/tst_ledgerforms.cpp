// The receivables and payables entry forms, driven through their widgets.

#include "ledgerworld.h"

#include "controls/fieldrules.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>

using ledgertest::World;
using testworld::press;
using controls::BoxKind;
using controls::Answer;
using store::Variant;

namespace {

QString sheetOf(bool payables) { return payables ? QStringLiteral("Pagamenti") : QStringLiteral("Incassi"); }

double serial(int d, int m, int y) { return store::dateToSerial(QDate(y, m, d)); }

// Opens the form for a new record as the main menu does.
void openForNewEntry(World &w, ledger::LedgerForm &form)
{
    QVERIFY(w.openForNew(form));
}

// The rows of a test run once on each ledger.
void bothLedgers(const char *receivables, const char *payables)
{
    QTest::addColumn<bool>("payables");
    QTest::newRow(receivables) << false;
    QTest::newRow(payables) << true;
}

// Types a number over the one in the ID field, when there is one to type.
void typeNumberOver(ledger::LedgerForm &f, const QString &typed)
{
    if (typed.isEmpty())
        return;
    f.Text10->selectAll();
    QTest::keyClicks(f.Text10, typed);
}

// Fills the four required fields and a few more, as a user would.
void fillRequired(ledger::LedgerForm &form, const QString &name = QStringLiteral("Rossi Mario"))
{
    form.Combo1->setEditText(name);
    form.Text12->setText(QStringLiteral("101"));
    form.Text1->setText(QStringLiteral("F-12"));
    form.Text2->setText(QStringLiteral("10/05/2009"));
    form.Text3->setText(QStringLiteral("30/06/2009"));
}

QList<QCheckBox *> allBoxes(ledger::LedgerForm &f)
{
    return {f.Check1, f.Check2, f.Check3, f.Check4, f.Check5, f.Check6, f.Check7, f.Check8};
}

} // namespace

class TestLedgerForms : public QObject {
    Q_OBJECT

private slots:
    void newEntryOpeningClearsEverything_data();
    void newEntryOpeningClearsEverything();
    void counterpartyListOwnKindOnly_data();
    void counterpartyListOwnKindOnly();
    void dateSelectorCascade_data();
    void dateSelectorCascade();
    void calendarFillsOnlyTickedField_data();
    void calendarFillsOnlyTickedField();
    void requiredFieldMessages_data();
    void requiredFieldMessages();
    void insertAnsweredNoKeepsTheRecord();
    void firstInsertWritesTypedRow_data();
    void firstInsertWritesTypedRow();
    void emptySettlementDatesAreNotWritten();
    void changeModeShowsItsCaptions_data();
    void changeModeShowsItsCaptions();
    void changeRewritesBtoSAsTexts_data();
    void changeRewritesBtoSAsTexts();
    void deleteAnsweredYesAndNo_data();
    void deleteAnsweredYesAndNo();
    void missingRecordIsReported_data();
    void missingRecordIsReported();
    void numbersAreNeverReused();
    void recordNumberMustBeWhole_data();
    void recordNumberMustBeWhole();
    void typedNumberIsOneNumberForWriteAndSearch();
    void insertStoresEveryDateItAccepts();
    void insertBeyondSixteenBitRowsAndFullSheet();
    void loadRecordCopiesInOrder();
    void counterpartyButton();
    void cancellaAndChiudi_data();
    void cancellaAndChiudi();
    void closeBoxIsRefused();
    void tabLeavesNotes();
    void captionsStayOnTheirFields_data();
    void captionsStayOnTheirFields();
    void clockLine();
    void fieldRulesAreAttached();
    void storeFailureIsReportedNotThrown();
    void focusBackFromMessageBoxKeepsTyping();
    void savedRecordsKeepTheirTypes();
    void newCounterpartyDetourKeepsTheRecord_data();
    void newCounterpartyDetourKeepsTheRecord();
    void counterpartyNumberAsItIsNow();
    void amountsAreMoney_data();
    void amountsAreMoney();
};

void TestLedgerForms::newEntryOpeningClearsEverything_data()
{
    bothLedgers("receivables number from IV1 of Incassi", "payables numbered independently");
}

void TestLedgerForms::newEntryOpeningClearsEverything()
{
    QFETCH(bool, payables);
    World w;
    w.sheet("Incassi").range("IV1").setValue(4.0);   // Pagamenti's counter stays empty
    ledger::LedgerForm &f = w.ledgerForm(payables);

    // Leftovers of an earlier use.
    fillRequired(f);
    for (QLineEdit *e : {f.Text4, f.Text5, f.Text6, f.Text7, f.Text8, f.Text9})
        e->setText(QStringLiteral("x"));
    f.Text11->setPlainText(QStringLiteral("nota"));
    f.Combo2->setEditText(QStringLiteral("bonifico"));
    for (QCheckBox *b : {f.Check2, f.Check4, f.Check6})
        b->setChecked(true);
    f.Check3->setChecked(true);   // a date selector shows the calendar
    f.setButtonsForChange();      // a record was changed last time

    openForNewEntry(w, f);

    QCOMPARE(f.Combo1->currentText(), QStringLiteral("Seleziona"));
    QCOMPARE(f.Text10->text(), payables ? QStringLiteral("1") : QStringLiteral("5"));
    for (QLineEdit *e : {f.Text1, f.Text2, f.Text3, f.Text4, f.Text5, f.Text6, f.Text7, f.Text8, f.Text9, f.Text12})
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
    QVERIFY(f.Text11->toPlainText().isEmpty());
    QVERIFY(f.Combo2->currentText().isEmpty());
    for (QCheckBox *b : allBoxes(f))
        QVERIFY2(!b->isChecked(), qPrintable(b->objectName()));
    QVERIFY(!f.MonthView1->isVisible());
    QVERIFY(f.XPButton5->isEnabled());   // the activation's; the opener set the other three
    QVERIFY(f.XPButton4->isEnabled());
    QVERIFY(!f.XPButton3->isEnabled());
    QVERIFY(!f.XPButton6->isEnabled());
    QCOMPARE(f.XPButton1->caption(), payables ? QStringLiteral("Nuovo Fornitore") : QStringLiteral("Nuovo Cliente"));
    QCOMPARE(f.Label1->text(), payables ? QStringLiteral("Seleziona Fornitore") : QStringLiteral("Seleziona Cliente"));
    QCOMPARE(f.windowTitle(), payables ? QStringLiteral("Pagamenti") : QStringLiteral("Incassi"));

    // An empty counter is initialised to 0; a filled one is left alone.
    const Variant counter = w.sheet(sheetOf(payables)).range("IV1").value();
    QCOMPARE(counter.type, Variant::Type::Number);
    QCOMPARE(counter.number, payables ? 0.0 : 4.0);
    QVERIFY(w.dialogs.shown.empty());
}

void TestLedgerForms::counterpartyListOwnKindOnly_data()
{
    QTest::addColumn<bool>("payables");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("choose");
    QTest::addColumn<QString>("number");
    QTest::newRow("customers in sheet order") << false << QStringList{"Alfa", "Gamma", "Epsilon"} << 1 << "33";
    QTest::newRow("suppliers in sheet order") << true << QStringList{"Beta", "Delta"} << 1 << "44";
}

void TestLedgerForms::counterpartyListOwnKindOnly()
{
    QFETCH(bool, payables);
    QFETCH(QStringList, names);
    QFETCH(int, choose);
    QFETCH(QString, number);
    World w;
    // Numbers differ from row numbers, so the chosen row's own column A is what counts.
    w.addCounterparty(2, 11, "C", "Alfa");
    w.addCounterparty(3, 22, "F", "Beta");
    w.addCounterparty(4, 33, "C", "Gamma");
    w.addCounterparty(5, 44, "F", "Delta");
    w.addCounterparty(6, 55, "c", "lower-case kind");
    w.addCounterparty(7, 66, "C ", "kind with a blank");
    w.addCounterparty(8, 77, "C", "Epsilon");
    w.addCounterparty(9, 88, "F", "");                    // empty name: the list stops here
    w.addCounterparty(10, 99, "C", "Below the gap");
    w.addCounterparty(11, 98, "F", "Below the gap too");

    ledger::LedgerForm &f = w.ledgerForm(payables);
    openForNewEntry(w, f);

    QStringList listed;
    for (int i = 0; i < f.Combo1->count(); ++i)
        listed << f.Combo1->itemText(i);
    QCOMPARE(listed, names);
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("Seleziona"));

    // Choosing from the list fills the number with that row's column A; after the fill the
    // Down arrow lands on the first entry.
    f.Combo1->setFocus();
    QTest::keyClick(f.Combo1, Qt::Key_Down);
    QCOMPARE(f.Combo1->currentText(), names.first());
    for (int i = 0; i < choose; ++i)
        QTest::keyClick(f.Combo1, Qt::Key_Down);
    QCOMPARE(f.Combo1->currentText(), names.at(choose));
    QCOMPARE(f.Text12->text(), number);

    // Typing chooses nothing: a prefix is not completed to the entry it starts, and neither
    // Enter nor leaving the box picks the entry whose name was typed in full.
    f.Text12->setText(QStringLiteral("keep"));
    QLineEdit *edit = f.Combo1->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, names.last().left(2));
    QCOMPARE(f.Combo1->currentText(), names.last().left(2));
    edit->selectAll();
    QTest::keyClicks(edit, names.first());
    QTest::keyClick(edit, Qt::Key_Return);
    f.Text1->setFocus();
    QTRY_VERIFY(f.Text1->hasFocus());
    QCOMPARE(f.Text12->text(), QStringLiteral("keep"));
    QCOMPARE(f.Combo1->currentText(), names.first());
}

void TestLedgerForms::dateSelectorCascade_data()
{
    QTest::addColumn<QString>("first");    // ticked first ("" none)
    QTest::addColumn<QString>("second");   // then clicked
    QTest::addColumn<bool>("acconto");     // Check4 ticked beforehand
    QTest::addColumn<QString>("ticked");   // the selector left ticked ("" none)
    QTest::addColumn<bool>("calendar");
    QTest::addColumn<bool>("accontoAfter");

    QTest::newRow("one selector shows the calendar") << "" << "Check3" << false << "Check3" << true << false;
    QTest::newRow("unticking it hides the calendar") << "Check5" << "Check5" << false << "" << false << false;
    QTest::newRow("a second selector leaves all clear") << "Check1" << "Check7" << false << "" << false << false;
    QTest::newRow("a second selector, the other way round") << "Check8" << "Check3" << false << "" << false << false;
    QTest::newRow("due-date selector leaves Acconto") << "" << "Check8" << true << "Check8" << true << true;
    QTest::newRow("other selectors keep Acconto") << "" << "Check1" << true << "Check1" << true << true;
}

void TestLedgerForms::dateSelectorCascade()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, acconto);
    QFETCH(QString, ticked);
    QFETCH(bool, calendar);
    QFETCH(bool, accontoAfter);

    World w;
    w.clock.set(QDateTime(QDate(2010, 3, 15), QTime(9, 0)));
    ledger::Entrata &f = w.entrata();
    openForNewEntry(w, f);
    f.Check4->setChecked(acconto);

    auto box = [&f](const QString &name) { return f.findChild<QCheckBox *>(name); };
    if (!first.isEmpty())
        box(first)->click();
    box(second)->click();

    for (QCheckBox *b : {f.Check1, f.Check3, f.Check5, f.Check7, f.Check8})
        QCOMPARE(b->isChecked(), b->objectName() == ticked);
    QCOMPARE(f.MonthView1->isVisible(), calendar);
    QCOMPARE(f.Check4->isChecked(), accontoAfter);
    if (calendar)
        QCOMPARE(f.MonthView1->selectedDate(), QDate(2010, 3, 15));
}

void TestLedgerForms::calendarFillsOnlyTickedField_data()
{
    QTest::addColumn<bool>("payables");
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("field");
    QTest::newRow("invoice date") << false << "Check1" << "Text2";
    QTest::newRow("due date") << false << "Check8" << "Text3";
    QTest::newRow("collected date") << false << "Check3" << "Text5";
    QTest::newRow("advance date") << true << "Check5" << "Text6";
    QTest::newRow("settled date") << true << "Check7" << "Text8";
}

void TestLedgerForms::calendarFillsOnlyTickedField()
{
    QFETCH(bool, payables);
    QFETCH(QString, selector);
    QFETCH(QString, field);
    World w;
    ledger::LedgerForm &f = w.ledgerForm(payables);
    openForNewEntry(w, f);

    f.findChild<QCheckBox *>(selector)->click();
    QVERIFY(f.MonthView1->isVisible());
    const QDate picked(2009, 7, 3);
    f.MonthView1->setSelectedDate(picked);
    emit f.MonthView1->clicked(picked);

    for (QLineEdit *e : {f.Text2, f.Text3, f.Text5, f.Text6, f.Text8})
        QCOMPARE(e->text(), e->objectName() == field ? QStringLiteral("03/07/2009") : QString());
    QVERIFY(!f.MonthView1->isVisible());
    for (QCheckBox *b : {f.Check1, f.Check3, f.Check5, f.Check7, f.Check8})
        QVERIFY(!b->isChecked());
}

void TestLedgerForms::requiredFieldMessages_data()
{
    QTest::addColumn<bool>("payables");
    QTest::addColumn<bool>("change");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");

    const QString insC = " ERRORE- I Campi CLIENTE -FATTURA-DATA-SCADENZA devono essere compilato";
    const QString insF = " ERRORE- I Campi FORNITORE -FATTURA-DATA- SCADENZA devono essere compilatI";
    const QString chgC = " Il campo :  CLIENTE- FATTURA-DATA-SCADENZA     deve essere compilato !";
    const QString chgF = " Il campo :  FORNITORE-FATTURA-DATA-SCADENZA   deve essere compilati!";
    const int plain = int(BoxKind::Plain), info = int(BoxKind::Information);
    QTest::newRow("insert, name still Seleziona") << false << false << "Seleziona" << plain << insC << "Contavio";
    QTest::newRow("insert, empty name") << false << false << "Combo1" << plain << insC << "Contavio";
    QTest::newRow("insert, no invoice number") << false << false << "Text1" << plain << insC << "Contavio";
    QTest::newRow("insert, no invoice date") << false << false << "Text2" << plain << insC << "Contavio";
    QTest::newRow("insert, no due date") << false << false << "Text3" << plain << insC << "Contavio";
    QTest::newRow("payables insert, no due date") << true << false << "Text3" << plain << insF << "Contavio";
    QTest::newRow("change, no invoice number") << false << true << "Text1" << info << chgC << "Contavio ";
    QTest::newRow("payables change, Seleziona") << true << true << "Seleziona" << info << chgF << "Contavio ";
}

void TestLedgerForms::requiredFieldMessages()
{
    QFETCH(bool, payables);
    QFETCH(bool, change);
    QFETCH(QString, missing);
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(QString, title);

    World w;
    w.addRecords(sheetOf(payables), 1);
    ledger::LedgerForm &f = w.ledgerForm(payables);
    openForNewEntry(w, f);
    fillRequired(f);
    f.Text10->setText(QStringLiteral("1"));
    if (missing == QLatin1String("Seleziona"))
        f.Combo1->setEditText(QStringLiteral("Seleziona"));
    else if (missing == QLatin1String("Combo1"))
        f.Combo1->setEditText(QString());
    else
        f.findChild<QLineEdit *>(missing)->clear();
    if (change)
        f.setButtonsForChange();
    w.dialogs.queueAnswer(Answer::Yes);   // would confirm, if asked
    f.Text11->setFocus();

    press(change ? f.XPButton3 : f.XPButton4);

    QCOMPARE(w.dialogs.shown.size(), size_t(1));
    QCOMPARE(w.shownBox(), testworld::box(BoxKind(kind), title, text));
    QCOMPARE(w.ids(sheetOf(payables)), QList<double>{1});
    QCOMPARE(w.sheet(sheetOf(payables)).valueAt(2, 4).text, QStringLiteral("F-1"));
    QVERIFY(f.isVisible());
    QCOMPARE(QApplication::focusWidget(), f.Combo1);
}

void TestLedgerForms::insertAnsweredNoKeepsTheRecord()
{
    World w;
    ledger::Entrata &f = w.entrata();
    openForNewEntry(w, f);
    fillRequired(f);
    f.Check2->setChecked(true);
    w.pressAnswering(f.XPButton4, Answer::No);

    QCOMPARE(w.dialogs.shown.size(), size_t(1));
    QCOMPARE(w.shownBox(), testworld::box(BoxKind::Question, " Contavio",
                                             " Vuoi Inserire questa Registrazione ?"));
    QVERIFY(w.sheet("Incassi").valueAt(2, 1).isEmpty());
    QCOMPARE(w.sheet("Incassi").valueAt(1, 256).number, 0.0);
    // The record stays as typed; "Cancella" clears it.
    QCOMPARE(f.Text1->text(), QStringLiteral("F-12"));
    QVERIFY(f.Check2->isChecked());
    QCOMPARE(f.Text10->text(), QStringLiteral("1"));
}

void TestLedgerForms::firstInsertWritesTypedRow_data()
{
    bothLedgers("receivable", "payable");
}

void TestLedgerForms::firstInsertWritesTypedRow()
{
    QFETCH(bool, payables);
    World w;
    ledger::LedgerForm &f = w.ledgerForm(payables);
    openForNewEntry(w, f);
    QCOMPARE(f.Text10->text(), QStringLiteral("1"));

    fillRequired(f, QStringLiteral("Verdi Srl"));
    f.Text4->setText(QStringLiteral("12,5"));
    f.Check2->setChecked(true);
    f.Text5->setText(QStringLiteral("15/05/09"));
    f.Combo2->setEditText(QStringLiteral("bonifico"));
    f.Text7->setText(QStringLiteral("100"));
    f.Text6->setText(QStringLiteral("01/06/2009"));
    f.Combo3->setEditText(QStringLiteral("assegno"));
    f.Check6->setChecked(false);
    f.Text9->setText(QStringLiteral("0,75"));
    f.Text8->setText(QStringLiteral("02/07/2009"));
    f.Combo4->setEditText(QStringLiteral("contanti"));
    f.Text11->setPlainText(QStringLiteral("prima nota"));
    w.pressAnswering(f.XPButton4);

    QCOMPARE(w.dialogs.shown.size(), size_t(2));
    QCOMPARE(w.shownBox(), testworld::box(BoxKind::Information, "Contavio", "Registrazione  conclusa !"));

    store::Worksheet &s = w.sheet(sheetOf(payables));
    struct Expect { int column; Variant value; };
    const Expect expected[] = {
        {1, Variant::fromNumber(1)},
        {2, Variant::fromNumber(101)},
        {3, Variant::fromText("Verdi Srl")},
        {4, Variant::fromText("F-12")},
        {5, Variant::fromDate(serial(10, 5, 2009))},
        {6, Variant::fromDate(serial(30, 6, 2009))},
        {7, Variant::fromText("SI")},
        {8, Variant::fromNumber(12.5)},
        {9, Variant::fromDate(serial(15, 5, 2009))},
        {10, Variant::fromText("bonifico")},
        {11, Variant::fromText("NO")},
        {12, Variant::fromNumber(100)},
        {13, Variant::fromDate(serial(1, 6, 2009))},
        {14, Variant::fromText("assegno")},
        {15, Variant::fromText("NO")},
        {16, Variant::fromNumber(0.75)},
        {17, Variant::fromDate(serial(2, 7, 2009))},
        {18, Variant::fromText("contanti")},
        {19, Variant::fromText("prima nota")},
    };
    for (const Expect &e : expected) {
        const Variant got = s.valueAt(2, e.column);
        QVERIFY2(got == e.value, qPrintable(QStringLiteral("column %1: %2").arg(e.column).arg(store::valueToText(got))));
    }
    QCOMPARE(s.textAt(2, 5), QStringLiteral("10/05/2009"));
    QCOMPARE(s.valueAt(1, 256), Variant::fromNumber(1));
    // The other ledger is untouched.
    QVERIFY(w.sheet(sheetOf(!payables)).valueAt(2, 1).isEmpty());
    // Cleared for the next record.
    QCOMPARE(f.Text10->text(), QStringLiteral("2"));
    QVERIFY(f.Text1->text().isEmpty());
    QVERIFY(!f.Check2->isChecked());
    QVERIFY(f.isVisible());
}

void TestLedgerForms::emptySettlementDatesAreNotWritten()
{
    World w;
    store::Worksheet &s = w.sheet("Incassi");
    // A free row (column A empty) that still carries stale cells: the insert owns the row,
    // every stale cell goes.
    for (int column : {8, 9, 10, 12, 13, 14, 16, 17, 18})
        s.cells(2, column).setValue(QStringLiteral("vecchio"));
    ledger::Entrata &f = w.entrata();
    openForNewEntry(w, f);
    fillRequired(f);
    w.pressAnswering(f.XPButton4);

    QCOMPARE(s.valueAt(2, 1), Variant::fromNumber(1));
    for (int column : {8, 9, 10, 12, 13, 14, 16, 17, 18})
        QVERIFY2(store::valueToText(s.valueAt(2, column)).isEmpty(), qPrintable(QString::number(column)));
    for (int column : {7, 11, 15})
        QCOMPARE(s.valueAt(2, column).text, QStringLiteral("NO"));
}

void TestLedgerForms::changeModeShowsItsCaptions_data()
{
    QTest::addColumn<bool>("payables");
    QTest::addColumn<QString>("button1");
    QTest::addColumn<QString>("label1");
    QTest::newRow("receivables") << false << "Modifica Cliente" << " Cliente Selezionato";
    QTest::newRow("payables keep Label1") << true << "Modifica Fornitore" << "Seleziona Fornitore";
}

void TestLedgerForms::changeModeShowsItsCaptions()
{
    QFETCH(bool, payables);
    QFETCH(QString, button1);
    QFETCH(QString, label1);
    World w;
    w.addRecords(sheetOf(payables), 1);
    ledger::LedgerForm &f = w.ledgerForm(payables);
    openForNewEntry(w, f);
    f.hide();
    f.Check3->click();   // the calendar is up when the browser hands a record over

    QVERIFY(w.openForChange(f, {"1", "101", "Ditta 1", "F-1", "10/01/2009", "01/06/2009", "NO", "10"}));

    QCOMPARE(f.XPButton1->caption(), button1);
    QCOMPARE(f.Label1->text(), label1);
    QVERIFY(!f.XPButton5->isEnabled());   // the activation's; the opener set the other three
    QVERIFY(!f.MonthView1->isVisible());
    // The fields stay as handed over.
    QCOMPARE(f.Text10->text(), QStringLiteral("1"));
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("Ditta 1"));
    QCOMPARE(f.Text4->text(), QStringLiteral("10,00"));   // shown as money
    QVERIFY(f.Text10->isReadOnly());   // the number handed over is not typed over
    QCOMPARE(f.Text12->isReadOnly(), !payables);
}

void TestLedgerForms::changeRewritesBtoSAsTexts_data()
{
    QTest::addColumn<bool>("payables");
    QTest::addColumn<QString>("typed");   // typed over Text10 after the hand-over, if anything
    QTest::newRow("receivables") << false << "";
    // The record handed over is the one changed, not record 3 whose number was typed.
    QTest::newRow("payables, another number typed over") << true << "3";
}

void TestLedgerForms::changeRewritesBtoSAsTexts()
{
    QFETCH(bool, payables);
    QFETCH(QString, typed);
    World w;
    const QString name = sheetOf(payables);
    w.addRecords(name, 3);
    ledger::LedgerForm &f = w.ledgerForm(payables);
    QVERIFY(w.openFromMenu(f, [&] {
        QStringList record = {"2", "202", "Nuova Ditta", "F-99", "11/02/2009", "28/02/2009", "SI", "13,75",
                              "12/02/2009", "bonifico", "NO", "", "", "", "SI", "1,5", "ab", "cassa", "nota nuova"};
        f.openForChange(record);
    }));
    typeNumberOver(f, typed);
    f.Check4->setChecked(true);
    press(f.XPButton3);

    QCOMPARE(w.dialogs.shown.size(), size_t(1));
    QCOMPARE(w.shownBox(), testworld::box(BoxKind::Plain, "  Contavio", " Registrazione  modificata"));

    store::Worksheet &s = w.sheet(name);
    QCOMPARE(s.valueAt(3, 1), Variant::fromNumber(2));   // the key is never rewritten
    QCOMPARE(s.valueAt(3, 2), Variant::fromNumber(202));
    QCOMPARE(s.valueAt(3, 3), Variant::fromText("Nuova Ditta"));
    QCOMPARE(s.valueAt(3, 4), Variant::fromText("F-99"));
    QCOMPARE(s.textAt(3, 5), QStringLiteral("11/02/2009"));
    QCOMPARE(s.textAt(3, 6), QStringLiteral("28/02/2009"));
    QCOMPARE(s.valueAt(3, 7), Variant::fromText("SI"));
    QCOMPARE(s.valueAt(3, 8), Variant::fromNumber(13.75));
    QCOMPARE(s.valueAt(3, 11), Variant::fromText("SI"));
    QVERIFY(s.valueAt(3, 12).isEmpty());
    QCOMPARE(s.valueAt(3, 15), Variant::fromText("SI"));
    QCOMPARE(s.valueAt(3, 17), Variant::fromText("ab"));   // a change writes the text as it is
    QCOMPARE(s.valueAt(3, 19), Variant::fromText("nota nuova"));
    // Neighbours untouched.
    QCOMPARE(s.valueAt(2, 3), Variant::fromText("Ditta 1"));
    QCOMPARE(s.valueAt(4, 3), Variant::fromText("Ditta 3"));
    QCOMPARE(w.ids(name), (QList<double>{1, 2, 3}));
    // Cleared, hidden, back to the menu.
    QVERIFY(!f.isVisible());
    QVERIFY(w.menu().isVisible());
    QVERIFY(f.Text1->text().isEmpty());
    QVERIFY(w.sheet(name).isActive());
}

void TestLedgerForms::deleteAnsweredYesAndNo_data()
{
    QTest::addColumn<bool>("payables");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("typed");   // typed over Text10 after the hand-over, if anything
    QTest::newRow("receivables, yes") << false << true << "";
    QTest::newRow("payables, yes") << true << true << "";
    QTest::newRow("receivables, no") << false << false << "";
    // Record 2 was handed over: it goes; its number cannot be typed over.
    QTest::newRow("payables, yes, another number typed over") << true << true << "3";
}

void TestLedgerForms::deleteAnsweredYesAndNo()
{
    QFETCH(bool, payables);
    QFETCH(bool, yes);
    QFETCH(QString, typed);
    World w;
    const QString name = sheetOf(payables);
    w.addRecords(name, 3);
    ledger::LedgerForm &f = w.ledgerForm(payables);
    QVERIFY(w.openForChange(f, {"2", "102", "Ditta 2"}));
    typeNumberOver(f, typed);
    w.pressAnswering(f.XPButton6, yes ? Answer::Yes : Answer::No);

    QCOMPARE(w.shownBox(0), testworld::box(BoxKind::Question, " Contavio",
                                             " Vuoi ELIMINARE  questa Registrazione ?"));
    QCOMPARE(w.dialogs.shown.front().defaultButton, Answer::No);   // Enter keeps the record
    if (yes) {
        QCOMPARE(w.dialogs.shown.size(), size_t(2));
        QCOMPARE(w.shownBox(), testworld::box(BoxKind::Plain, "  Contavio", " Registrazione  eliminata "));
        QCOMPARE(w.ids(name), (QList<double>{1, 3}));
        QCOMPARE(w.sheet(name).valueAt(3, 3), Variant::fromText("Ditta 3"));
    } else {
        QCOMPARE(w.dialogs.shown.size(), size_t(1));
        QCOMPARE(w.ids(name), (QList<double>{1, 2, 3}));
    }
    QVERIFY(!f.isVisible());
    QVERIFY(w.menu().isVisible());
    QCOMPARE(f.Text10->text(), QStringLiteral("2"));   // not cleared here, not typed over
}

void TestLedgerForms::missingRecordIsReported_data()
{
    QTest::addColumn<bool>("change");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("shown");
    QTest::newRow("change, number nobody has") << true << "9" << "9";
    QTest::newRow("delete, number nobody has") << false << "9" << "9";
    QTest::newRow("change, record below a gap") << true << "4" << "4";
    QTest::newRow("delete, record below a gap") << false << "4" << "4";
    QTest::newRow("delete, no number at all") << false << "abc" << "abc";
}

void TestLedgerForms::missingRecordIsReported()
{
    QFETCH(bool, change);
    QFETCH(QString, number);
    QFETCH(QString, shown);
    World w;
    w.addRecords("Pagamenti", 2);
    w.addRecord("Pagamenti", 5, 4, QDate(2009, 6, 4), 40);   // row 4 is a gap
    ledger::Pagamenti &f = w.pagamenti();
    QVERIFY(w.openForChange(f, {number, "101", "Ditta X", "F-X", "10/01/2009", "01/06/2009"}));
    if (!change)
        w.dialogs.queueAnswer(Answer::Yes);
    press(change ? f.XPButton3 : f.XPButton6);

    QCOMPARE(w.shownBox(), testworld::box(BoxKind::Information, "Contavio ",
                                             QString("Nessuna registrazione ha il numero %1").arg(shown)));
    for (const auto &box : w.dialogs.shown) {
        QVERIFY(box.text != QStringLiteral(" Registrazione  modificata"));
        QVERIFY(box.text != QStringLiteral(" Registrazione  eliminata "));
    }
    store::Worksheet &s = w.sheet("Pagamenti");
    QCOMPARE(w.ids("Pagamenti"), (QList<double>{1, 2}));
    QCOMPARE(s.valueAt(5, 1), Variant::fromNumber(4));
    QCOMPARE(s.valueAt(5, 3), Variant::fromText("Ditta 4"));
    QCOMPARE(s.valueAt(2, 3), Variant::fromText("Ditta 1"));
    QVERIFY(s.valueAt(4, 3).isEmpty());   // nothing written into the gap either
    // The form stays open with the record, so the number can be corrected.
    QVERIFY(f.isVisible());
    QCOMPARE(f.Text10->text(), number);
}

void TestLedgerForms::numbersAreNeverReused()
{
    World w;
    ledger::Entrata &f = w.entrata();
    openForNewEntry(w, f);
    for (int i = 1; i <= 5; ++i) {
        QCOMPARE(f.Text10->text(), QString::number(i));
        fillRequired(f, QStringLiteral("Ditta %1").arg(i));
        w.pressAnswering(f.XPButton4);
    }
    QCOMPARE(w.ids("Incassi"), (QList<double>{1, 2, 3, 4, 5}));

    // Record 3 is picked and deleted.
    f.openForChange({"3"});
    w.pressAnswering(f.XPButton6);
    QCOMPARE(w.ids("Incassi"), (QList<double>{1, 2, 4, 5}));
    QCOMPARE(w.sheet("Incassi").valueAt(1, 256).number, 5.0);

    f.hide();
    openForNewEntry(w, f);
    QCOMPARE(f.Text10->text(), QStringLiteral("6"));
    fillRequired(f, QStringLiteral("Ditta 6"));
    w.pressAnswering(f.XPButton4);
    QCOMPARE(w.ids("Incassi"), (QList<double>{1, 2, 4, 5, 6}));
    QCOMPARE(w.sheet("Incassi").valueAt(6, 3), Variant::fromText("Ditta 6"));
    QCOMPARE(w.sheet("Incassi").valueAt(1, 256).number, 6.0);
}

void TestLedgerForms::recordNumberMustBeWhole_data()
{
    QTest::addColumn<bool>("payables");
    QTest::addColumn<bool>("change");
    QTest::addColumn<QString>("counter");   // IV1 as text; empty: 1, the number of the record there
    QTest::addColumn<QString>("typed");     // typed into Text10; null: left as proposed or handed over
    QTest::newRow("payables insert, number emptied") << true << false << "" << "";
    QTest::newRow("payables insert, fraction") << true << false << "" << "2,5";
    QTest::newRow("payables insert, trailing text") << true << false << "" << "2 bis";
    QTest::newRow("payables insert, zero") << true << false << "" << "0";
    QTest::newRow("payables insert, a date") << true << false << "" << "12/05/2009";
}

void TestLedgerForms::recordNumberMustBeWhole()
{
    QFETCH(bool, payables);
    QFETCH(bool, change);
    QFETCH(QString, counter);
    QFETCH(QString, typed);
    World w;
    const QString name = sheetOf(payables);
    w.addRecords(name, 1);
    store::Worksheet &s = w.sheet(name);
    if (counter.isEmpty())
        s.cells(1, 256).setValue(1.0);
    else
        s.cells(1, 256).setValue(Variant::fromText(counter));
    const Variant counterBefore = s.valueAt(1, 256);

    ledger::LedgerForm &f = w.ledgerForm(payables);
    if (change) {
        QVERIFY(w.openForChange(f, {"1", "101", "Ditta 1", "F-1", "10/01/2009", "01/06/2009"}));
        f.Text1->setText(QStringLiteral("F-changed"));
    } else {
        openForNewEntry(w, f);
        fillRequired(f);
    }
    if (!typed.isNull()) {
        f.Text10->selectAll();
        QTest::keyClick(f.Text10, Qt::Key_Backspace);
        QTest::keyClicks(f.Text10, typed);
    }
    w.pressAnswering(change ? f.XPButton3 : f.XPButton4);

    // Refused before any question, with nothing written.
    QCOMPARE(w.dialogs.shown.size(), size_t(1));
    QCOMPARE(w.shownBox(), testworld::box(BoxKind::Plain, "Contavio",
                                             "Il campo ID deve contenere un numero intero maggiore di zero"));
    QCOMPARE(w.ids(name), (QList<double>{1}));
    QVERIFY(s.valueAt(3, 3).isEmpty());
    QCOMPARE(s.valueAt(2, 4), Variant::fromText("F-1"));
    QCOMPARE(s.valueAt(1, 256), counterBefore);
    QVERIFY(f.isVisible());
    QCOMPARE(f.Text1->text(), change ? QStringLiteral("F-changed") : QStringLiteral("F-12"));
}

void TestLedgerForms::typedNumberIsOneNumberForWriteAndSearch()
{
    World w;
    store::Worksheet &s = w.sheet("Pagamenti");
    w.addRecords("Pagamenti", 2);
    s.cells(1, 256).setValue(2.0);
    ledger::Pagamenti &f = w.pagamenti();
    openForNewEntry(w, f);
    QCOMPARE(f.Text10->text(), QStringLiteral("3"));

    auto insertAs = [&](const QString &number, const QString &invoice) {
        fillRequired(f);
        f.Text1->setText(invoice);
        f.Text10->selectAll();
        QTest::keyClicks(f.Text10, number);
        w.dialogs.clear();
        w.pressAnswering(f.XPButton4);
    };

    // "1.000" is one thousand, both as it is stored and as it is looked for: it is not
    // taken for record 1.
    insertAs(QStringLiteral("1.000"), QStringLiteral("F-mille"));
    QCOMPARE(w.dialogs.last().text, QStringLiteral("Registrazione  conclusa !"));
    QCOMPARE(w.ids("Pagamenti"), (QList<double>{1, 2, 1000}));
    QCOMPARE(s.valueAt(4, 4), Variant::fromText("F-mille"));
    QCOMPARE(s.valueAt(1, 256), Variant::fromNumber(1000));
    QCOMPARE(f.Text10->text(), QStringLiteral("1001"));

    // A number another record carries, however it is typed, is refused with nothing written.
    for (const QString &taken : {QStringLiteral("1000"), QStringLiteral(" 2 "), QStringLiteral("1.000")}) {
        insertAs(taken, QStringLiteral("F-doppia"));
        QCOMPARE(w.dialogs.shown.size(), size_t(1));
        QCOMPARE(w.dialogs.last().kind, BoxKind::Plain);
        QCOMPARE(w.dialogs.last().text, QStringLiteral("Il numero %1 appartiene già a un'altra registrazione")
                                            .arg(taken.trimmed() == QLatin1String("2") ? "2" : "1000"));
        QCOMPARE(w.dialogs.last().title, QStringLiteral("Contavio"));
        QCOMPARE(w.ids("Pagamenti"), (QList<double>{1, 2, 1000}));
        QCOMPARE(f.Text1->text(), QStringLiteral("F-doppia"));   // the form keeps the record
    }

    // A free number below the counter is taken, and the counter does not go back to it.
    insertAs(QStringLiteral("5"), QStringLiteral("F-cinque"));
    QCOMPARE(w.dialogs.last().text, QStringLiteral("Registrazione  conclusa !"));
    QCOMPARE(w.ids("Pagamenti"), (QList<double>{1, 2, 1000, 5}));
    QCOMPARE(s.valueAt(1, 256), Variant::fromNumber(1000));
    QCOMPARE(f.Text10->text(), QStringLiteral("1001"));
}

void TestLedgerForms::insertStoresEveryDateItAccepts()
{
    World w;
    ledger::Entrata &f = w.entrata();
    openForNewEntry(w, f);

    // A year before the first date a record can hold is refused on leaving the field.
    f.Text5->setFocus();
    QTest::keyClicks(f.Text5, QStringLiteral("12/05/1009"));
    f.Text1->setFocus();
    QTRY_COMPARE(w.dialogs.shown.size(), size_t(1));
    QCOMPARE(w.dialogs.last().text, controls::rules::kDateMessage);
    QVERIFY(f.Text5->text().isEmpty());

    // A date that does pass is stored by the insert, down to the first storable day.
    f.Text5->setFocus();
    QTest::keyClicks(f.Text5, QStringLiteral("01/01/1900"));
    fillRequired(f);
    // A date put into a field without passing through it (never left) meets the same rule
    // on insert: refused, nothing written, the field keeps it for correcting.
    f.Text6->setText(QStringLiteral("12/05/1009"));
    w.dialogs.clear();
    w.pressAnswering(f.XPButton4);
    QCOMPARE(w.dialogs.shown.size(), size_t(1));
    QCOMPARE(w.dialogs.last().text, controls::rules::kDateMessage);
    QCOMPARE(w.dialogs.last().title, QStringLiteral("Contavio "));
    QVERIFY(w.ids("Incassi").isEmpty());
    QCOMPARE(f.Text6->text(), QStringLiteral("12/05/1009"));
    QCOMPARE(f.Text5->text(), QStringLiteral("01/01/1900"));

    f.Text6->setText(QStringLiteral("29/02/2008"));
    w.dialogs.clear();
    w.pressAnswering(f.XPButton4);
    QCOMPARE(w.dialogs.last().text, QStringLiteral("Registrazione  conclusa !"));
    store::Worksheet &s = w.sheet("Incassi");
    QCOMPARE(s.valueAt(2, 9), Variant::fromDate(serial(1, 1, 1900)));
    QCOMPARE(s.valueAt(2, 13), Variant::fromDate(serial(29, 2, 2008)));
    QCOMPARE(s.valueAt(2, 5), Variant::fromDate(serial(10, 5, 2009)));
}

void TestLedgerForms::insertBeyondSixteenBitRowsAndFullSheet()
{
    World w;
    store::Worksheet &s = w.sheet("Pagamenti");
    // Rows 1 to 32,767 are taken: a 16-bit row counter could go no further.
    for (int row = 2; row <= 32767; ++row)
        s.cells(row, 1).setValue(double(row - 1));
    s.range("IV1").setValue(32766.0);
    ledger::Pagamenti &f = w.pagamenti();
    openForNewEntry(w, f);
    QCOMPARE(f.Text10->text(), QStringLiteral("32767"));
    fillRequired(f);
    w.pressAnswering(f.XPButton4);
    QCOMPARE(s.valueAt(32768, 1), Variant::fromNumber(32767));
    QCOMPARE(s.valueAt(32768, 4), Variant::fromText("F-12"));
    QCOMPARE(w.dialogs.last().text, QStringLiteral("Registrazione  conclusa !"));

    // Every row of the grid taken: the insert says so and writes nothing.
    for (int row = 32769; row <= store::kMaxRows; ++row)
        s.cells(row, 1).setValue(double(row - 1));
    w.dialogs.clear();
    fillRequired(f, QStringLiteral("Ultima"));
    f.Text10->setText(QStringLiteral("70000"));
    w.pressAnswering(f.XPButton4);
    QCOMPARE(w.dialogs.shown.size(), size_t(2));
    QCOMPARE(w.dialogs.last().kind, BoxKind::Critical);
    QVERIFY(w.dialogs.last().text.contains(QStringLiteral("non è stata inserita")));
    QCOMPARE(s.valueAt(1, 256), Variant::fromNumber(32767));
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("Ultima"));   // kept for the user
}

void TestLedgerForms::loadRecordCopiesInOrder()
{
    World w;
    ledger::Entrata &f = w.entrata();
    QStringList order;
    for (QLineEdit *e : f.findChildren<QLineEdit *>()) {
        if (e->objectName().startsWith(QLatin1String("Text")))
            connect(e, &QLineEdit::textChanged, [&order, e] { order << e->objectName(); });
    }
    for (QComboBox *c : {f.Combo1, f.Combo2, f.Combo3, f.Combo4})
        connect(c, &QComboBox::editTextChanged, [&order, c] { order << c->objectName(); });
    for (QCheckBox *b : {f.Check2, f.Check4, f.Check6})
        connect(b, &QCheckBox::toggled, [&order, b] { order << b->objectName(); });
    connect(f.Text11, &QPlainTextEdit::textChanged, [&order] { order << QStringLiteral("Text11"); });

    f.Check4->setChecked(true);
    order.clear();
    f.loadRecord({"A", "B", "C", "D", "E", "F", "SI", "H", "I", "J", "si", "L", "M", "N", "SI", "P", "Q", "R", "S", "T"});
    QCOMPARE(order, (QStringList{"Text10", "Text12", "Combo1", "Text1", "Text2", "Text3", "Text4", "Check2",
                                 "Text5", "Combo2", "Text7", "Text6", "Combo3", "Text9", "Check6", "Text8",
                                 "Combo4", "Text11"}));
    QVERIFY(f.Check2->isChecked());
    QVERIFY(f.Check4->isChecked());   // "si" is neither SI nor NO: left as it was
    QVERIFY(f.Check6->isChecked());
    QCOMPARE(f.Text11->toPlainText(), QStringLiteral("S"));
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("C"));

    f.loadRecord({"1", "", "", "", "", "", "NO", "", "", "", "NO", "", "", "", "", ""});
    QVERIFY(!f.Check2->isChecked());
    QVERIFY(!f.Check4->isChecked());
    QVERIFY(f.Check6->isChecked());   // empty flag: left as it was
}

void TestLedgerForms::counterpartyButton()
{
    World w;
    w.addCounterparty(2, 11, "C", "Alfa");
    w.addCounterparty(3, 22, "F", "Beta");

    // New-entry mode: the registry form opens and the entry form hides.
    ledger::Entrata &e = w.entrata();
    openForNewEntry(w, e);
    press(e.XPButton1);
    QVERIFY(w.registryForm().isVisible());
    QVERIFY(!e.isVisible());
    w.registryForm().hide();

    // Change mode on receivables: a fresh list, the name field back to Seleziona.
    QVERIFY(w.openForChange(e, {"1", "11", "Alfa"}));
    w.addCounterparty(4, 33, "C", "Gamma");
    press(e.XPButton1);
    QCOMPARE(e.Combo1->count(), 2);
    QCOMPARE(e.Combo1->itemText(1), QStringLiteral("Gamma"));
    QCOMPARE(e.Combo1->currentText(), QStringLiteral("Seleziona"));
    QCOMPARE(e.Text12->text(), QStringLiteral("11"));
    e.Combo1->setFocus();
    QTest::keyClick(e.Combo1, Qt::Key_Down);   // the first entry, also after this fill
    QCOMPARE(e.Combo1->currentText(), QStringLiteral("Alfa"));
    QTest::keyClick(e.Combo1, Qt::Key_Down);
    QCOMPARE(e.Text12->text(), QStringLiteral("33"));
    QVERIFY(e.isVisible());
    QVERIFY(!w.registryForm().isVisible());

    // Change mode on payables: nothing happens, the list keeps what it had.
    ledger::Pagamenti &p = w.pagamenti();
    QVERIFY(w.openForChange(p, {"1", "22", "Beta"}));
    press(p.XPButton1);
    QCOMPARE(p.Combo1->count(), 0);   // never opened for a new record
    QCOMPARE(p.Combo1->currentText(), QStringLiteral("Beta"));
    QVERIFY(p.isVisible());
    QVERIFY(!w.registryForm().isVisible());
}

void TestLedgerForms::cancellaAndChiudi_data()
{
    QTest::addColumn<bool>("payables");
    QTest::addColumn<QString>("nameAfterCancella");
    QTest::newRow("receivables leave the name empty") << false << "";
    QTest::newRow("payables show Seleziona") << true << "Seleziona";
}

void TestLedgerForms::cancellaAndChiudi()
{
    QFETCH(bool, payables);
    QFETCH(QString, nameAfterCancella);
    World w;
    w.sheet(sheetOf(payables)).range("IV1").setValue(7.0);
    ledger::LedgerForm &f = w.ledgerForm(payables);
    openForNewEntry(w, f);
    fillRequired(f);
    f.Check6->setChecked(true);
    f.Check7->click();
    press(f.XPButton5);
    QCOMPARE(f.Combo1->currentText(), nameAfterCancella);
    QVERIFY(f.Text1->text().isEmpty());
    QVERIFY(!f.Check6->isChecked());
    QVERIFY(!f.MonthView1->isVisible());
    QCOMPARE(f.Text10->text(), QStringLiteral("8"));
    QVERIFY(f.isVisible());

    fillRequired(f);
    press(f.XPButton2);
    QVERIFY(!f.isVisible());
    QVERIFY(w.menu().isVisible());
    QVERIFY(f.Text1->text().isEmpty());
    QCOMPARE(f.Text10->text(), QStringLiteral("8"));
    QVERIFY(w.dialogs.shown.empty());
}

void TestLedgerForms::closeBoxIsRefused()
{
    World w;
    for (bool payables : {false, true}) {
        ledger::LedgerForm &f = w.ledgerForm(payables);
        f.show();
        QVERIFY(!f.close());
        QVERIFY(f.isVisible());
    }
}

// Tab in the notes moves on to the next control; it never types a tab into the record.
void TestLedgerForms::tabLeavesNotes()
{
    World w;
    for (bool payables : {false, true}) {
        ledger::LedgerForm &f = w.ledgerForm(payables);
        openForNewEntry(w, f);
        f.Text11->setFocus();
        QTest::keyClicks(f.Text11, QStringLiteral("nota"));
        QTest::keyClick(f.Text11, Qt::Key_Tab);
        QCOMPARE(f.Text11->toPlainText(), QStringLiteral("nota"));
        QVERIFY(!f.Text11->hasFocus());
        f.hide();
    }
}

// The spare height of the window used to be shared out between the caption rows, leaving
// "Seleziona Cliente" and the field captions floating well above their fields.
void TestLedgerForms::captionsStayOnTheirFields_data()
{
    QTest::addColumn<bool>("payables");
    QTest::addColumn<int>("extraHeight");
    QTest::newRow("receivables, opening size") << false << 0;
    QTest::newRow("payables, opening size") << true << 0;
    QTest::newRow("receivables, taller window") << false << 300;
}

void TestLedgerForms::captionsStayOnTheirFields()
{
    QFETCH(bool, payables);
    QFETCH(int, extraHeight);
    World w;
    ledger::LedgerForm &f = w.ledgerForm(payables);
    f.resize(f.width(), f.height() + extraHeight);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    auto caption = [&f](const QString &text) -> QWidget * {
        for (QLabel *label : f.findChildren<QLabel *>())
            if (label->text() == text)
                return label;
        return nullptr;
    };
    const struct { QWidget *label; QWidget *field; } pairs[] = {
        {f.Label1, f.Combo1},
        {caption(QStringLiteral("Numero Fattura")), f.Text1},
        {caption(QStringLiteral("Scadenza")), f.Text3},
    };
    for (const auto &pair : pairs) {
        QVERIFY(pair.label);
        // Where the caption's text ends, whatever height its label was given.
        const int textBottom = pair.label->mapTo(&f, pair.label->rect().center()).y()
                               + pair.label->fontMetrics().height() / 2;
        const int gap = pair.field->mapTo(&f, QPoint(0, 0)).y() - textBottom;
        QVERIFY2(gap >= -1 && gap <= 8,
                 qPrintable(QStringLiteral("\"%1\" ends %2 px above its field")
                                .arg(static_cast<QLabel *>(pair.label)->text()).arg(gap)));
    }
    // The rows run down without holes: the first amount row follows the invoice row.
    const int invoiceBottom = f.Text1->mapTo(&f, QPoint(0, f.Text1->height())).y();
    QVERIFY(f.Text4->mapTo(&f, QPoint(0, 0)).y() - invoiceBottom < 40);
    // The buttons stay at the foot of the note.
    QVERIFY(f.XPButton4->mapTo(&f, QPoint(0, 0)).y() - f.Text11->mapTo(&f, QPoint(0, f.Text11->height())).y() < 20);
}

void TestLedgerForms::clockLine()
{
    World w;
    ledger::Pagamenti &f = w.pagamenti();
    QCOMPARE(f.Label15->text(), QStringLiteral("Ore...10:30:00   del   12/05/2009"));
    w.clock.set(QDateTime(QDate(2009, 12, 31), QTime(23, 59, 58)));
    f.hide();   // the clock runs while the form is hidden too
    QTRY_COMPARE_WITH_TIMEOUT(f.Label15->text(), QStringLiteral("Ore...23:59:58   del   31/12/2009"), 2500);
}

void TestLedgerForms::fieldRulesAreAttached()
{
    World w;
    for (bool payables : {false, true}) {
        ledger::LedgerForm &f = w.ledgerForm(payables);
        openForNewEntry(w, f);
        w.dialogs.clear();

        f.Text4->setFocus();
        QTest::keyClicks(f.Text4, QStringLiteral("12.5x"));
        QTRY_COMPARE(f.Text4->text(), QStringLiteral("12.5"));

        for (QLineEdit *date : {f.Text2, f.Text6}) {
            date->setFocus();
            QTest::keyClicks(date, QStringLiteral("31/02/2009"));
            f.Text1->setFocus();
            QTRY_COMPARE(w.dialogs.shown.size(), size_t(1));
            QCOMPARE(w.dialogs.last().text, controls::rules::kDateMessage);
            QCOMPARE(w.dialogs.last().title, QStringLiteral("Contavio "));
            QVERIFY(date->text().isEmpty());
            w.dialogs.clear();
        }
        f.hide();
    }
}

void TestLedgerForms::storeFailureIsReportedNotThrown()
{
    World w;
    ledger::Entrata &f = w.entrata();
    w.book().removeSheet(w.sheet("Incassi"));

    // Activation, insert, change and delete all meet the missing sheet.
    f.setButtonsForNewEntry();
    f.activate();
    QCOMPARE(w.dialogs.last().kind, BoxKind::Critical);
    QVERIFY(!w.dialogs.last().text.isEmpty());

    w.dialogs.clear();
    fillRequired(f);
    f.Text10->setText(QStringLiteral("1"));
    w.dialogs.queueAnswer(Answer::Yes);
    f.inserisci();
    QCOMPARE(w.dialogs.last().kind, BoxKind::Critical);
    QVERIFY(w.dialogs.last().text != QStringLiteral("Registrazione  conclusa !"));

    w.dialogs.clear();
    f.Text10->setText(QStringLiteral("1"));
    f.setButtonsForChange();
    f.modifica();
    QCOMPARE(w.dialogs.last().kind, BoxKind::Critical);
    w.dialogs.queueAnswer(Answer::Yes);
    f.elimina();
    QCOMPARE(w.dialogs.last().kind, BoxKind::Critical);
}

void TestLedgerForms::focusBackFromMessageBoxKeepsTyping()
{
    World w;
    ledger::Entrata &f = w.entrata();
    openForNewEntry(w, f);
    fillRequired(f);

    // A warning box over the form takes the activation and gives it back.
    QSignalSpy activations(&f, &controls::Form::activated);
    QMessageBox box(&f);
    box.setText(QStringLiteral("avviso"));
    QTimer::singleShot(50, &box, [&box] { box.accept(); });
    box.exec();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QTest::qWait(20);
    QCOMPARE(activations.count(), 0);
    QCOMPARE(f.Text1->text(), QStringLiteral("F-12"));
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("Rossi Mario"));

    // Coming back from another of the program's windows runs the activation again, which
    // keeps what was typed: only the menu's opening for a new record clears.
    w.menu().show();
    w.menu().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.menu()));
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QCOMPARE(activations.count(), 1);
    QCOMPARE(f.Text1->text(), QStringLiteral("F-12"));
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("Rossi Mario"));
}

void TestLedgerForms::savedRecordsKeepTheirTypes()
{
    World w;
    for (bool payables : {false, true}) {
        ledger::LedgerForm &f = w.ledgerForm(payables);
        openForNewEntry(w, f);
        fillRequired(f, payables ? QStringLiteral("Fornitore Uno") : QStringLiteral("Cliente Uno"));
        f.Text4->setText(QStringLiteral("1234,56"));
        f.Check2->setChecked(true);
        f.Text5->setText(QStringLiteral("20/05/2009"));
        w.pressAnswering(f.XPButton4);
        f.hide();
    }
    w.book().save();

    store::Server other;
    store::Workbook &reopened = other.open(w.book().path(), QString());
    for (bool payables : {false, true}) {
        const store::Worksheet &s = reopened.sheet(sheetOf(payables));
        QCOMPARE(s.valueAt(2, 1), Variant::fromNumber(1));
        QCOMPARE(s.valueAt(2, 3), Variant::fromText(payables ? "Fornitore Uno" : "Cliente Uno"));
        QCOMPARE(s.valueAt(2, 5), Variant::fromDate(serial(10, 5, 2009)));
        QCOMPARE(s.valueAt(2, 6), Variant::fromDate(serial(30, 6, 2009)));
        QCOMPARE(s.textAt(2, 6), QStringLiteral("30/06/2009"));
        QCOMPARE(s.valueAt(2, 7), Variant::fromText("SI"));
        QCOMPARE(s.valueAt(2, 8), Variant::fromNumber(1234.56));
        QCOMPARE(s.valueAt(2, 9), Variant::fromDate(serial(20, 5, 2009)));
        QCOMPARE(s.valueAt(2, 11), Variant::fromText("NO"));
        QCOMPARE(s.valueAt(1, 256), Variant::fromNumber(1));
    }
}

// The record half typed waits while the user adds the missing counterparty, who can then
// be chosen at once.
void TestLedgerForms::newCounterpartyDetourKeepsTheRecord_data()
{
    bothLedgers("receivables", "payables");
}

void TestLedgerForms::newCounterpartyDetourKeepsTheRecord()
{
    QFETCH(bool, payables);
    World w;
    ledger::LedgerForm &f = w.ledgerForm(payables);
    openForNewEntry(w, f);
    fillRequired(f);
    f.Text4->setText(QStringLiteral("99,90"));
    press(f.XPButton1);   // "Nuovo Cliente": off to the registry
    QVERIFY(!f.isVisible());
    w.addCounterparty(2, 7, payables ? "F" : "C", "NUOVA SRL");
    openForNewEntry(w, f);   // back through the main menu
    QCOMPARE(f.Combo1->itemText(0), QStringLiteral("NUOVA SRL"));
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("Rossi Mario"));
    QCOMPARE(f.Text1->text(), QStringLiteral("F-12"));
    QCOMPARE(f.Text4->text(), QStringLiteral("99,90"));
    openForNewEntry(w, f);   // the next opening for a new record starts empty again
    QVERIFY(f.Text1->text().isEmpty());
}

// The list may be older than the registry: the number is GAMMA's as the registry is now,
// not that of whoever moved into GAMMA's old row.
void TestLedgerForms::counterpartyNumberAsItIsNow()
{
    World w;
    w.addCounterparty(2, 1, "F", "ALFA");
    w.addCounterparty(3, 2, "F", "GAMMA");
    w.addCounterparty(4, 3, "F", "DELTA");
    ledger::Pagamenti &f = w.pagamenti();
    openForNewEntry(w, f);
    w.sheet("Anagrafe").cells(2, 1).entireRow().deleteRows();   // ALFA goes; GAMMA moves up
    f.Combo1->setCurrentIndex(1);
    emit f.Combo1->activated(1);
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("GAMMA"));
    QCOMPARE(f.Text12->text(), QStringLiteral("2"));
}

// Amounts typed in any of the usual ways are stored as numbers shown as money, and come
// back to the form as money.
void TestLedgerForms::amountsAreMoney_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("grouped") << "1.234,56" << 1234.56 << "1.234,56";
    QTest::newRow("plain") << "1234,56" << 1234.56 << "1.234,56";
    QTest::newRow("with a point") << "1234.56" << 1234.56 << "1.234,56";
    QTest::newRow("whole") << "850" << 850.0 << "850,00";
}

void TestLedgerForms::amountsAreMoney()
{
    QFETCH(QString, typed);
    QFETCH(double, stored);
    QFETCH(QString, shown);
    World w;
    ledger::Entrata &f = w.entrata();
    openForNewEntry(w, f);
    fillRequired(f);
    f.Text7->setFocus();
    QTest::keyClicks(f.Text7, typed);
    f.Text9->setFocus();
    QCOMPARE(f.Text7->text(), shown);
    w.dialogs.queueAnswer(Answer::Yes);
    press(f.XPButton4);
    store::Worksheet &ws = w.sheet("Incassi");
    QCOMPARE(ws.valueAt(2, 12).type, store::Variant::Type::Number);
    QCOMPARE(ws.valueAt(2, 12).number, stored);
    QCOMPARE(ws.cells(2, 12).numberFormat(), store::kAmountFormat);
    QCOMPARE(ws.textAt(2, 12), shown);   // what a spreadsheet shows
    f.openForChange(testworld::rowTexts(ws, 2, 20));
    QCOMPARE(f.Text7->text(), shown);
}

QTEST_MAIN(TestLedgerForms)
#include "tst_ledgerforms.moc"
