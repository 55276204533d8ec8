#include "registryworld.h"

#include "controls/xpbutton.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>

using namespace registrytest;
using controls::Answer;
using controls::BoxKind;

namespace {

const QString kInsertQuestion = " Vuoi Inserire questo Soggetto ?";
const QString kNoType = " ERRORE, bisogna spuntare i campi Cliente o Fornitore";
const QString kInserted = " Soggetto Aggiunto";
const QString kEmptyName = " ERRORE- Il Campo RAGIONE SOCIALE/COGNOME deve essere compilato";
const QString kDeleteQuestion = "Si vuole Eliminare il Soggetto  Selezionato ?";
const QString kDeleted = "Soggetto Eliminato";

double serial(int y, int m, int d) { return store::dateToSerial(QDate(y, m, d)); }

// The same with the mouse's way: open the list, move to the entry, press Enter. (Offscreen,
// the closed list leaves no window active, so focus checks after it mean nothing.)
void choosePopup(QComboBox *combo, int index)
{
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    view->setCurrentIndex(view->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QCoreApplication::processEvents();
}

QStringList entries(const QComboBox *combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

// The rows of a test run once with "Modifica" and once with "Elimina".
void changeOrDelete(const char *change, const char *remove)
{
    QTest::addColumn<bool>("deleteIt");
    QTest::newRow(change) << false;
    QTest::newRow(remove) << true;
}

QStringList rowTexts(World &w, int row)
{
    QStringList out;
    for (int c = 1; c <= 17; ++c)
        out << w.text(row, c);
    return out;
}

} // namespace

class TestAnagrafe : public QObject {
    Q_OBJECT

private slots:
    void activationShowsCounter_data();
    void activationShowsCounter();

    void insertIntoEmptyRegistry();
    void insertsGiveConsecutiveNumbersAndRows();
    void insertWritesEveryFieldInItsColumn();
    void insertedRowSurvivesSaveAndReopen();
    void insertRefusedWritesNothing_data();
    void insertRefusedWritesNothing();
    void insertAnsweredNoKeepsForm();
    void insertAfterChoosingAddsSecondRow();
    void insertTakesFirstFreeRow();
    void insertIntoFullSheetWritesNothing();

    void resetCounterThenInsert();
    void changedCounterThenInsert();
    void lockedIdFieldNeverStoresCounter();

    void changeRewritesChosenRowOnly();
    void changeRefusedWritesNothing_data();
    void changeRefusedWritesNothing();
    void loadedCounterpartyIsShownAndKeptWhole();
    void counterTakesWholeNumbersOnly_data();
    void counterTakesWholeNumbersOnly();
    void insertRefusesCounterThatIsNoNumber();
    void comingBackKeepsLoadedCounterpartyNumber_data();
    void comingBackKeepsLoadedCounterpartyNumber();

    void deleteTwoWithSameNumber_data();
    void deleteTwoWithSameNumber();
    void counterMovedUnderLoadedCounterparty_data();
    void counterMovedUnderLoadedCounterparty();
    void rowMovedUnderLoadedCounterparty_data();
    void rowMovedUnderLoadedCounterparty();
    void deleteOnlyCounterpartyKeepsCounter();
    void deleteRefusedLeavesSheet_data();
    void deleteRefusedLeavesSheet();

    void listKeepsSheetOrderAndLoadsChosenRow();
    void listStopsAtEmptyName();
    void emptySheetGivesPlaceholder();
    void loadConvertsCellsToText();
    void typingIntoListLoadsNothing();
    void tabLeavesNotes();
    void typeTicks_data();
    void typeTicks();
    void postCodeKeepsLeadingZeros();
    void clearButtonEmptiesFormAndList();

    void nameFieldReminder();
    void calendarWritesChosenDay();
    void clockTicks();
    void closeBoxRefused();
    void esciShowsMenu();
    void stampaAsksPrintFormForRegistryList();
    void engineFailureIsReported();
};

void TestAnagrafe::activationShowsCounter_data()
{
    QTest::addColumn<QString>("stored");   // "" leaves IV1 empty
    QTest::addColumn<double>("expected");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty counter becomes 1") << QString() << 1.0 << "1";
    QTest::newRow("counter kept") << "42" << 42.0 << "42";
}

void TestAnagrafe::activationShowsCounter()
{
    QFETCH(QString, stored);
    QFETCH(double, expected);
    QFETCH(QString, shown);
    World w;
    if (!stored.isEmpty())
        w.sheet().cells(1, 256).setValue(stored);
    w.form->Check1->setChecked(true);
    QVERIFY(w.form->Combo4->isEnabled());
    QVERIFY(w.show());

    QCOMPARE(w.counter().number, expected);
    QCOMPARE(w.form->Text10->text(), shown);
    QVERIFY(w.form->Text10->isReadOnly());
    QVERIFY(w.form->Combo4->isEnabled());   // usable with a box still ticked
    QVERIFY(w.form->Check1->isChecked());
    QCOMPARE(QApplication::focusWidget(), w.form->Text26);
    QVERIFY(!w.form->MonthView1->isVisible());
    QCOMPARE(w.form->windowTitle(), QString("Anagrafica "));
}

void TestAnagrafe::insertIntoEmptyRegistry()
{
    World w;
    QVERIFY(w.open());
    QTest::keyClicks(w.form->Text26, "rossi mario");
    QCOMPARE(w.form->Text26->text(), QString("ROSSI MARIO"));
    w.pressAnswering(w.form->XPButton4);
    QCoreApplication::processEvents();

    QCOMPARE(w.dialogs.shown.size(), size_t(2));
    QCOMPARE(w.shownBox(0), testworld::box(BoxKind::Question, " Contavio", kInsertQuestion));
    QCOMPARE(w.shownBox(1), testworld::box(BoxKind::Information, "Contavio", kInserted));

    QCOMPARE(w.value(2, 1), store::Variant::fromNumber(1));
    QCOMPARE(w.text(2, 2), QString("C"));
    QCOMPARE(w.text(2, 3), QString("ROSSI MARIO"));
    QCOMPARE(w.counter(), store::Variant::fromNumber(2));
    // The form is cleared for the next one and shows the next number.
    QCOMPARE(w.form->Text26->text(), QString());
    QCOMPARE(w.form->Text10->text(), QString("2"));
    QVERIFY(!w.form->Check1->isChecked());
    QVERIFY(!w.form->Combo4->isEnabled());
}

void TestAnagrafe::insertsGiveConsecutiveNumbersAndRows()
{
    World w;
    QVERIFY(w.show());
    for (const char *name : {"alfa", "beta"}) {
        w.form->Check2->click();
        w.insert(name);
    }
    QCOMPARE(w.value(2, 1).number, 1.0);
    QCOMPARE(w.value(3, 1).number, 2.0);
    QCOMPARE(w.text(2, 3), QString("ALFA"));
    QCOMPARE(w.text(3, 3), QString("BETA"));
    QCOMPARE(w.text(3, 2), QString("F"));
    QCOMPARE(w.counter().number, 3.0);
}

void TestAnagrafe::insertWritesEveryFieldInItsColumn()
{
    World w;
    QVERIFY(w.open());
    Anagrafe &f = *w.form;
    const std::pair<QWidget *, const char *> typed[] = {
        {f.Text26, "rossi srl"}, {f.Text18, "12/05/2009"}, {f.Text25, "via roma 1"},
        {f.Text24, "00184"}, {f.Text23, "roma"}, {f.Text22, "rm"},
        {f.Text21, "06 123.456"},   // blank and full stop are swallowed
        {f.Text20, "0654321"}, {f.Text15, "3331234567"}, {f.Text16, "Mario@Example.it"},
        {f.Text19, "rssmra70a01h501u"}, {f.Text2, "01234567890"},
        {f.Text1, "it60x0542811101000000123456"}, {f.Text3, "anna bianchi"},
        {f.Text12, "paga a 30 giorni"},
    };
    for (const auto &[field, text] : typed)
        QTest::keyClicks(field, text);
    w.pressAnswering(f.XPButton4);

    QCOMPARE(w.value(2, 4), store::Variant::fromDate(serial(2009, 5, 12)));
    const QStringList expected = {"1", "C", "ROSSI SRL", "12/05/2009", "VIA ROMA 1", "00184", "ROMA", "RM",
                                  "06123456", "0654321", "3331234567", "Mario@Example.it",
                                  "RSSMRA70A01H501U", "01234567890", "IT60X0542811101000000123456",
                                  "ANNA BIANCHI", "PAGA A 30 GIORNI"};
    QCOMPARE(rowTexts(w, 2), expected);
    // Codes keep their leading zeros: they are stored as texts.
    for (int column : {6, 9, 10, 14})
        QCOMPARE(w.value(2, column).type, store::Variant::Type::Text);
    QVERIFY(w.value(2, 18).isEmpty());
}

void TestAnagrafe::insertedRowSurvivesSaveAndReopen()
{
    World w;
    QVERIFY(w.open('F'));
    QTest::keyClicks(w.form->Text26, "fornitore uno");
    QTest::keyClicks(w.form->Text18, "01/02/2009");
    QTest::keyClicks(w.form->Text24, "00184");
    QTest::keyClicks(w.form->Text21, "0612345");
    w.pressAnswering(w.form->XPButton4);
    w.server.activeWorkbook()->save();

    store::Server other;
    store::Worksheet &s = other.open(w.server.activeWorkbook()->path(), QString()).sheet(QStringLiteral("Anagrafe"));
    QCOMPARE(s.valueAt(2, 1), store::Variant::fromNumber(1));
    QCOMPARE(s.valueAt(2, 2), store::Variant::fromText("F"));
    QCOMPARE(s.valueAt(2, 3), store::Variant::fromText("FORNITORE UNO"));
    QCOMPARE(s.valueAt(2, 4), store::Variant::fromDate(serial(2009, 2, 1)));
    QCOMPARE(s.valueAt(2, 6), store::Variant::fromText("00184"));
    QCOMPARE(s.valueAt(2, 9), store::Variant::fromText("0612345"));
    QCOMPARE(s.valueAt(1, 256), store::Variant::fromNumber(2));
}

void TestAnagrafe::insertRefusedWritesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("tickCliente");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("nameAfter");
    QTest::newRow("empty name") << QString() << true << QStringList{kEmptyName} << QString();
    // No orphan name row: the type is checked before anything is written.
    QTest::newRow("no type ticked") << "verdi" << false
                                    << QStringList{kInsertQuestion, kNoType} << "VERDI";
}

void TestAnagrafe::insertRefusedWritesNothing()
{
    QFETCH(QString, name);
    QFETCH(bool, tickCliente);
    QFETCH(QStringList, messages);
    QFETCH(QString, nameAfter);
    World w;
    QVERIFY(w.show());
    if (tickCliente)
        w.form->Check1->click();
    w.insert(name);

    QCOMPARE(w.shownTexts().mid(0, messages.size()), messages);
    QCOMPARE(w.dialogs.shown.front().kind, messages.size() == 1 ? BoxKind::Plain : BoxKind::Question);
    QCOMPARE(w.dialogs.shown[size_t(messages.size() - 1)].title, QString("Contavio"));
    for (int c = 1; c <= 17; ++c)
        QVERIFY2(w.value(2, c).isEmpty(), qPrintable(QString("column %1").arg(c)));
    QCOMPARE(w.counter().number, 1.0);
    QCOMPARE(w.form->Text26->text(), nameAfter);
}

void TestAnagrafe::insertAnsweredNoKeepsForm()
{
    World w;
    QVERIFY(w.open());
    QTest::keyClicks(w.form->Text26, "neri");
    QTest::keyClicks(w.form->Text25, "via po");
    w.pressAnswering(w.form->XPButton4, Answer::No);

    QCOMPARE(w.shownTexts(), QStringList{kInsertQuestion});
    QVERIFY(w.value(2, 3).isEmpty());
    // The form stays as typed; "Pulisci" clears it.
    QCOMPARE(w.form->Text26->text(), QString("NERI"));
    QCOMPARE(w.form->Text25->text(), QString("VIA PO"));
    QVERIFY(w.form->Check1->isChecked());
}

void TestAnagrafe::insertAfterChoosingAddsSecondRow()
{
    World w;
    w.addRow(2, 1, "C", "ALFA");
    w.sheet().cells(2, 7).setValue(QStringLiteral("MILANO"));
    w.setCounter(2.0);
    QVERIFY(w.open('C', 0));
    QCOMPARE(w.form->Text10->text(), QString("1"));
    w.pressAnswering(w.form->XPButton4);

    QCOMPARE(w.value(3, 1).number, 2.0);
    QCOMPARE(rowTexts(w, 3).mid(1), rowTexts(w, 2).mid(1));
    QCOMPARE(w.text(2, 1), QString("1"));
    QCOMPARE(w.counter().number, 3.0);
}

void TestAnagrafe::insertTakesFirstFreeRow()
{
    World w;
    w.addRow(2, 1, "C", "ALFA");
    w.addRow(4, 3, "C", "GAMMA");
    w.setCounter(4.0);
    QVERIFY(w.open());
    w.insert("delta");

    QCOMPARE(w.text(3, 3), QString("DELTA"));
    QCOMPARE(w.value(3, 1).number, 4.0);
    QCOMPARE(w.text(4, 3), QString("GAMMA"));
}

void TestAnagrafe::insertIntoFullSheetWritesNothing()
{
    World w;
    for (int row = 2; row <= store::kMaxRows; ++row)
        w.sheet().cells(row, 1).setValue(double(row - 1));
    w.setCounter(70000.0);
    QVERIFY(w.open());
    w.insert("ultimo");

    QCOMPARE(w.dialogs.last().kind, BoxKind::Critical);
    QVERIFY(w.dialogs.last().text.startsWith(QString::fromUtf8("Il foglio Anagrafe è pieno")));
    QVERIFY(w.value(store::kMaxRows, 3).isEmpty());
    QVERIFY(w.value(2, 3).isEmpty());
    QCOMPARE(w.value(store::kMaxRows, 1).number, double(store::kMaxRows - 1));
    QCOMPARE(w.counter().number, 70000.0);
    QCOMPARE(w.form->Text26->text(), QString("ULTIMO"));   // kept, nothing was done
}

void TestAnagrafe::resetCounterThenInsert()
{
    World w;
    w.addRows({{1, "C", "ALFA"}}, 7.0);
    QVERIFY(w.show());
    w.form->Check6->click();   // asked first: No keeps the counter
    QCOMPARE(w.counter().number, 7.0);
    w.dialogs.queueAnswer(Answer::Yes);
    w.form->Check6->click();
    QCOMPARE(w.dialogs.last().defaultButton, Answer::No);
    QCOMPARE(w.counter().number, 1.0);
    QCOMPARE(w.form->Text10->text(), QString("2"));   // 1 is ALFA's
    QVERIFY(!w.form->Check6->isChecked());

    w.form->Check1->click();
    w.insert("beta");
    QCOMPARE(w.value(3, 1).number, 2.0);   // never ALFA's number
    QCOMPARE(w.counter().number, 3.0);
}

void TestAnagrafe::changedCounterThenInsert()
{
    World w;
    QVERIFY(w.open());
    w.form->Check7->click();
    QCOMPARE(w.shownBox(), testworld::box(BoxKind::Information, " Velturo",
                                             "Ora puoi Cambiare il Progressivo compilando il campo ID PROGRESSIVO"));
    QVERIFY(!w.form->Check7->isChecked());
    QCOMPARE(w.form->Text10->text(), QString());
    QCOMPARE(QApplication::focusWidget(), w.form->Text10);
    QVERIFY(!w.form->Text10->isReadOnly());

    QTest::keyClicks(w.form->Text10, "100");
    w.form->Text25->setFocus();
    QCOMPARE(w.counter(), store::Variant::fromNumber(100));
    QVERIFY(w.form->Text10->isReadOnly());

    w.insert("cento");
    QCOMPARE(w.value(2, 1).number, 100.0);
    QCOMPARE(w.counter().number, 101.0);
}

// Tabbing through the locked ID field of a loaded counterparty must not turn that
// counterparty's number into the next one to be handed out.
void TestAnagrafe::lockedIdFieldNeverStoresCounter()
{
    World w;
    w.addRows({{1, "C", "ALFA"}}, 5.0);
    QVERIFY(w.open('C', 0));
    QCOMPARE(w.form->Text10->text(), QString("1"));
    w.form->Text10->setFocus();
    QTest::keyClicks(w.form->Text10, "9");   // locked: nothing is typed
    w.form->Text25->setFocus();
    QCOMPARE(w.form->Text10->text(), QString("1"));
    QCOMPARE(w.counter().number, 5.0);
}

void TestAnagrafe::changeRewritesChosenRowOnly()
{
    World w;
    w.addRows({{1, "C", "ALFA"}, {2, "C", "BETA"}, {3, "C", "GAMMA"}});
    w.sheet().cells(3, 5).setValue(QStringLiteral("VIA VECCHIA"));
    w.setCounter(4.0);
    const QStringList before2 = rowTexts(w, 2), before4 = rowTexts(w, 4);
    QVERIFY(w.open('C', 1));
    QCOMPARE(w.form->Text26->text(), QString("BETA"));
    w.form->Text25->clear();
    QTest::keyClicks(w.form->Text25, "via nuova 2");
    QTest::keyClicks(w.form->Text24, "00100");
    press(w.form->XPButton1);

    QCOMPARE(w.shownBox(), testworld::box(BoxKind::Plain, "  Contavio", "Soggetto Modificato"));
    QCOMPARE(w.text(3, 5), QString("VIA NUOVA 2"));
    QCOMPARE(w.value(3, 6), store::Variant::fromText("00100"));
    QCOMPARE(w.value(3, 1).number, 2.0);
    QCOMPARE(w.text(3, 2), QString("C"));
    QCOMPARE(rowTexts(w, 2), before2);
    QCOMPARE(rowTexts(w, 4), before4);
    QCOMPARE(w.form->Combo4->count(), 0);
    QCOMPARE(w.form->Text10->text(), QString("4"));
    QVERIFY(!w.form->Check1->isChecked());
}

void TestAnagrafe::changeRefusedWritesNothing_data()
{
    QTest::addColumn<int>("how");   // 0 empty text, 1 placeholder, 2 typed text, 3 name emptied,
                                    // 4 an entry's name typed over the chosen one
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("title");
    QTest::newRow("empty selection") << 0 << " Il campo :  COGNOME/RAGIONE SOCIALE    deve essere compilato" << "Contavio ";
    QTest::newRow("placeholder names nobody") << 1 << "\"Seleziona\" non" << "Contavio ";
    QTest::newRow("typed text names nobody") << 2 << "\"XYZ\" non" << "Contavio ";
    // An empty name would end every list of counterparties at this row.
    QTest::newRow("name emptied") << 3 << kEmptyName << "Contavio";
    QTest::newRow("typed name is no choice") << 4 << "\"ALFA\" non" << "Contavio ";
}

void TestAnagrafe::changeRefusedWritesNothing()
{
    QFETCH(int, how);
    QFETCH(QString, expected);
    QFETCH(QString, title);
    World w;
    w.addRows({{1, "C", "ALFA"}, {2, "C", "BETA"}});
    const QStringList before = rowTexts(w, 2), before3 = rowTexts(w, 3);
    QVERIFY(w.open());
    if (how == 0) {
        w.form->Combo4->setEditText(QString());
    } else if (how == 2 || how == 4) {
        choose(w.form->Combo4, how == 2 ? 0 : 1);
        w.form->Combo4->lineEdit()->selectAll();
        QTest::keyClicks(w.form->Combo4->lineEdit(), how == 2 ? "XYZ" : "ALFA");
        QTest::keyClick(w.form->Combo4->lineEdit(), Qt::Key_Return);
    } else if (how == 3) {
        choose(w.form->Combo4, 0);
        w.form->Text26->selectAll();
        QTest::keyClick(w.form->Text26, Qt::Key_Backspace);
    }
    if (how != 3)
        QTest::keyClicks(w.form->Text26, "altro");
    press(w.form->XPButton1);

    QCOMPARE(w.dialogs.last().kind, how == 3 ? BoxKind::Plain : BoxKind::Information);
    QCOMPARE(w.dialogs.last().title, title);
    QVERIFY2(w.dialogs.last().text.startsWith(expected), qPrintable(w.dialogs.last().text));
    QCOMPARE(rowTexts(w, 2), before);
    QCOMPARE(rowTexts(w, 3), before3);
    QVERIFY(w.value(4, 3).isEmpty());
    if (how == 3)
        QCOMPARE(QApplication::focusWidget(), w.form->Text26);
    else
        QVERIFY(QApplication::focusWidget() == w.form->Combo4
                || QApplication::focusWidget() == w.form->Combo4->lineEdit());
    // Every counterparty is still listed.
    w.form->Check1->click();
    w.form->Check1->click();
    QCOMPARE(entries(w.form->Combo4), (QStringList{"ALFA", "BETA"}));
}

// Texts longer than the field limits (written by another program) are shown whole, and a
// change writes them back whole; the limits still bind what the user types.
void TestAnagrafe::loadedCounterpartyIsShownAndKeptWhole()
{
    World w;
    w.addRow(2, 1, "F", "FORNITORE CON UN NOME CHE SUPERA DI MOLTO I SESSANTA CARATTERI DEL CAMPO");
    const QString email = "ufficio.amministrazione.fornitori@esempio-di-dominio-lungo.example.it";
    w.sheet().cells(2, 12).setValue(store::Variant::fromText(email));
    w.sheet().cells(2, 14).setValue(store::Variant::fromText("IT01234567890"));
    w.sheet().cells(2, 8).setValue(store::Variant::fromText("ROM"));
    const QStringList before = rowTexts(w, 2);
    QVERIFY(w.open('F', 0));
    QCOMPARE(w.form->Text26->text(), before[2]);
    QCOMPARE(w.form->Text16->text(), email);
    QCOMPARE(w.form->Text2->text(), QString("IT01234567890"));
    QCOMPARE(w.form->Text22->text(), QString("ROM"));
    QTest::keyClicks(w.form->Text22, "A");
    QCOMPARE(w.form->Text22->text(), QString("ROM"));

    press(w.form->XPButton1);
    QCOMPARE(w.dialogs.last().text, QString("Soggetto Modificato"));
    QCOMPARE(rowTexts(w, 2), before);

    QTest::keyClicks(w.form->Text2, "012345678901234");
    QCOMPARE(w.form->Text2->text(), QString("01234567890"));
}

void TestAnagrafe::counterTakesWholeNumbersOnly_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("letters") << "abc";
    QTest::newRow("digits then letters") << "12a";
    QTest::newRow("fraction") << "12,5";
    QTest::newRow("zero") << "0";
    QTest::newRow("negative") << "-3";
    QTest::newRow("a date") << "12/05/2009";
}

// A progressive that is no whole number is refused, and the counter keeps its value for
// the next insert.
void TestAnagrafe::counterTakesWholeNumbersOnly()
{
    QFETCH(QString, typed);
    World w;
    w.setCounter(5.0);
    QVERIFY(w.open());
    w.form->Check7->click();
    w.dialogs.clear();
    QTest::keyClicks(w.form->Text10, typed);
    w.form->Text25->setFocus();
    QTRY_COMPARE(w.dialogs.shown.size(), size_t(1));
    QCOMPARE(w.dialogs.last().text,
             QString::fromUtf8("ERRORE- Il campo ID PROGRESSIVO deve contenere un numero intero: il contatore non è stato cambiato"));
    QCOMPARE(w.dialogs.last().title, QString("Contavio"));
    QCOMPARE(w.dialogs.last().kind, BoxKind::Plain);
    QCOMPARE(w.counter(), store::Variant::fromNumber(5));
    QCOMPARE(w.form->Text10->text(), QString("5"));
    QVERIFY(w.form->Text10->isReadOnly());

    w.insert("dopo");
    QCOMPARE(w.value(2, 1), store::Variant::fromNumber(5));
    QCOMPARE(w.counter(), store::Variant::fromNumber(6));
}

void TestAnagrafe::insertRefusesCounterThatIsNoNumber()
{
    World w;
    w.sheet().cells(1, 256).setValue(store::Variant::fromText("abc"));
    QVERIFY(w.open());
    w.insert("rossi");
    QCOMPARE(w.shownTexts().size(), 2);
    QVERIFY(w.dialogs.last().text.startsWith("Il contatore non contiene un numero intero"));
    QVERIFY(w.value(2, 1).isEmpty());
    QVERIFY(w.value(2, 3).isEmpty());
    QCOMPARE(w.form->Text26->text(), QString("ROSSI"));

    // Once reset, the insert goes through.
    w.dialogs.queueAnswer(Answer::Yes);
    w.form->Check6->click();
    w.pressAnswering(w.form->XPButton4);
    QCOMPARE(w.value(2, 1), store::Variant::fromNumber(1));
    QCOMPARE(w.text(2, 3), QString("ROSSI"));
}

// Coming back to the registry from another of the program's windows (the print form, the
// menu) used to put the counter into the ID field of the counterparty on show: the change
// then renumbered it with the next free number, and the delete looked for the wrong one.
void TestAnagrafe::comingBackKeepsLoadedCounterpartyNumber_data()
{
    changeOrDelete("change keeps the number", "delete removes that counterparty");
}

void TestAnagrafe::comingBackKeepsLoadedCounterpartyNumber()
{
    QFETCH(bool, deleteIt);
    World w;
    // A counter set back once gave 7 to GAMMA already.
    w.addRows({{1, "C", "ALFA"}, {2, "C", "BETA"}, {7, "C", "GAMMA"}}, 7.0);
    QVERIFY(w.open());
    choosePopup(w.form->Combo4, 1);
    QCOMPARE(w.form->Text10->text(), QString("2"));

    QWidget other;
    other.resize(100, 80);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(w.show());   // activation runs again
    QVERIFY(w.form->Combo4->isEnabled());
    QCOMPARE(w.form->Text10->text(), QString("2"));

    if (deleteIt) {
        w.pressAnswering(w.form->XPButton3);
        QCOMPARE(w.dialogs.last().text, kDeleted);
        QCOMPARE(w.text(2, 3), QString("ALFA"));
        QCOMPARE(w.text(3, 3), QString("GAMMA"));
        QCOMPARE(w.value(3, 1).number, 7.0);
    } else {
        QTest::keyClicks(w.form->Text23, "milano");
        press(w.form->XPButton1);
        QCOMPARE(w.dialogs.last().text, QString("Soggetto Modificato"));
        QCOMPARE(w.text(3, 3), QString("BETA"));
        QCOMPARE(w.text(3, 7), QString("MILANO"));
        QCOMPARE(w.value(3, 1).number, 2.0);
        QCOMPARE(w.value(4, 1).number, 7.0);
    }
    QCOMPARE(w.counter().number, 7.0);
    // With nothing on show the field offers the counter again, past GAMMA's 7.
    QCOMPARE(w.form->Text10->text(), QString("8"));
}

// Two rows may carry the same number after the counter was reset. A counterparty chosen
// from the list is the one deleted; without a choice nothing is.
void TestAnagrafe::deleteTwoWithSameNumber_data()
{
    QTest::addColumn<bool>("chooseBeta");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("chosen from the list") << true << QStringList{"ALFA", "GAMMA"};
    QTest::newRow("by the number alone: refused") << false << QStringList{"ALFA", "BETA"};
}

void TestAnagrafe::deleteTwoWithSameNumber()
{
    QFETCH(bool, chooseBeta);
    QFETCH(QStringList, left);
    World w;
    w.addRows({{1, "C", "ALFA"}, {1, "F", "BETA"}, {2, "C", "GAMMA"}});
    w.setCounter(1.0);   // reset: the ID field offers 1
    QVERIFY(w.show());
    if (chooseBeta) {
        w.form->Check2->click();
        choose(w.form->Combo4, 0);   // BETA, number 1
    } else {
        w.form->Check1->click();
        QTest::keyClicks(w.form->Text26, "beta");
        w.pressAnswering(w.form->XPButton3);
        QCOMPARE(w.shownTexts(), (QStringList{QString::fromUtf8("Scegliere dall'elenco il Soggetto da eliminare: nessun soggetto è stato eliminato.")}));
        QCOMPARE(w.text(3, 3), QString("BETA"));
        return;
    }
    QCOMPARE(w.form->Text10->text(), QString("1"));
    w.pressAnswering(w.form->XPButton3);

    QCOMPARE(w.shownTexts(), (QStringList{kDeleteQuestion, kDeleted}));
    QCOMPARE(w.dialogs.shown[0].title, QString("Contavio "));
    QCOMPARE(w.dialogs.shown[0].defaultButton, Answer::No);   // Enter keeps the counterparty
    QCOMPARE(w.dialogs.shown[1].title, QString(" Contavio "));
    QCOMPARE(w.dialogs.shown[1].kind, BoxKind::Information);
    QCOMPARE((QStringList{w.text(2, 3), w.text(3, 3)}), left);
    QVERIFY(w.value(4, 3).isEmpty());
    QCOMPARE(w.counter().number, 1.0);
    QCOMPARE(w.form->Text10->text(), QString("3"));   // the first number not in use
}

// "Azzera Contatore " and "Cambia IDProgressivo" put the counter into the ID field while a
// counterparty is on show. Change keeps that counterparty's number and delete removes that
// counterparty, not the one the field now names.
void TestAnagrafe::counterMovedUnderLoadedCounterparty_data()
{
    QTest::addColumn<bool>("reset");
    QTest::addColumn<bool>("deleteIt");
    QTest::newRow("reset, change") << true << false;
    QTest::newRow("reset, delete") << true << true;
    QTest::newRow("set, change") << false << false;
    QTest::newRow("set, delete") << false << true;
}

void TestAnagrafe::counterMovedUnderLoadedCounterparty()
{
    QFETCH(bool, reset);
    QFETCH(bool, deleteIt);
    World w;
    w.addRows({{1, "C", "ALFA"}, {2, "C", "BETA"}, {3, "C", "GAMMA"}}, 4.0);
    QVERIFY(w.open('C', 2));
    QCOMPARE(w.form->Text10->text(), QString("3"));
    if (reset) {
        w.dialogs.queueAnswer(Answer::Yes);
        w.form->Check6->click();
        QCOMPARE(w.form->Text10->text(), QString("4"));   // past the numbers in use
    } else {
        w.form->Check7->click();
        QTest::keyClicks(w.form->Text10, "2");
        w.form->Text25->setFocus();
        QCOMPARE(w.counter().number, 2.0);
    }
    w.dialogs.clear();

    if (deleteIt) {
        w.pressAnswering(w.form->XPButton3);
        QCOMPARE(w.shownTexts(), (QStringList{kDeleteQuestion, kDeleted}));
        QCOMPARE(w.text(2, 3), QString("ALFA"));
        QCOMPARE(w.text(3, 3), QString("BETA"));
        QVERIFY(w.value(4, 3).isEmpty());
    } else {
        QTest::keyClicks(w.form->Text23, "asti");
        press(w.form->XPButton1);
        QCOMPARE(w.shownTexts(), QStringList{"Soggetto Modificato"});
        QCOMPARE(w.text(4, 7), QString("ASTI"));
        QCOMPARE(w.value(4, 1), store::Variant::fromNumber(3));
        QCOMPARE(w.value(2, 1), store::Variant::fromNumber(1));
        QCOMPARE(w.value(3, 1), store::Variant::fromNumber(2));
    }
    QCOMPARE(w.counter().number, reset ? 1.0 : 2.0);
}

// When the sheet changed under a loaded counterparty (its row now holds another one), the
// form acts on nobody rather than on whoever took the row.
void TestAnagrafe::rowMovedUnderLoadedCounterparty_data()
{
    changeOrDelete("change", "delete");
}

void TestAnagrafe::rowMovedUnderLoadedCounterparty()
{
    QFETCH(bool, deleteIt);
    World w;
    w.addRows({{1, "C", "ALFA"}, {2, "C", "BETA"}, {3, "C", "GAMMA"}});
    QVERIFY(w.open('C', 1));   // BETA, row 3
    w.sheet().cells(2, 1).entireRow().deleteRows();   // GAMMA moves up into row 3
    const QStringList gamma = rowTexts(w, 3);
    w.dialogs.queueAnswer(Answer::Yes);
    press(deleteIt ? w.form->XPButton3 : w.form->XPButton1);

    QVERIFY(w.dialogs.last().text.startsWith(QString::fromUtf8("Il soggetto scelto non è più alla sua riga")));
    QCOMPARE(rowTexts(w, 3), gamma);
    QCOMPARE(w.text(2, 3), QString("BETA"));
    QCOMPARE(w.form->Text26->text(), QString("BETA"));
}

void TestAnagrafe::deleteOnlyCounterpartyKeepsCounter()
{
    World w;
    w.addRows({{1, "C", "ALFA"}}, 2.0);
    QVERIFY(w.open('C', 0));
    w.pressAnswering(w.form->XPButton3);

    for (int c = 1; c <= 3; ++c)
        QVERIFY(w.value(2, c).isEmpty());
    QCOMPARE(w.counter().number, 2.0);
    QCOMPARE(w.form->Text26->text(), QString());
}

void TestAnagrafe::deleteRefusedLeavesSheet_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<bool>("emptyId");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("empty name") << QString() << true << false
                                << QStringList{"Bisogna Selezionare il Soggetto ......."};
    // Nothing chosen from the list: refused before the question, whatever the ID field says.
    QTest::newRow("nothing chosen, the counter's number shown")
        << "zeta" << true << false << QStringList{QString::fromUtf8("Scegliere dall'elenco il Soggetto da eliminare: nessun soggetto è stato eliminato.")};
    QTest::newRow("nothing chosen, empty number")
        << "zeta" << true << true << QStringList{QString::fromUtf8("Scegliere dall'elenco il Soggetto da eliminare: nessun soggetto è stato eliminato.")};
}

void TestAnagrafe::deleteRefusedLeavesSheet()
{
    QFETCH(QString, name);
    QFETCH(bool, answerYes);
    QFETCH(bool, emptyId);
    QFETCH(QStringList, messages);
    World w;
    w.addRows({{9, "C", "ALFA"}, {0, "C", "ZERO"}});
    w.setCounter(9.0);   // the ID field shows 9, ALFA's number
    w.sheet().cells(2, 1).setValue(8.0);     // ... which ALFA no longer has
    QVERIFY(w.open());
    if (emptyId)
        w.form->Text10->clear();
    QTest::keyClicks(w.form->Text26, name);
    w.pressAnswering(w.form->XPButton3, answerYes ? Answer::Yes : Answer::No);

    QCOMPARE(w.shownTexts(), messages);
    QCOMPARE(w.dialogs.last().title, QString("Contavio "));
    QCOMPARE(w.text(2, 3), QString("ALFA"));
    QCOMPARE(w.text(3, 3), QString("ZERO"));
    QCOMPARE(w.form->Text26->text(), name.toUpper());   // the form is left as it was
}

void TestAnagrafe::listKeepsSheetOrderAndLoadsChosenRow()
{
    World w;
    w.addRows({{1, "C", "ALFA"}, {2, "F", "BETA"}, {3, "C", "GAMMA"}});
    w.sheet().cells(4, 7).setValue(QStringLiteral("TORINO"));
    QVERIFY(w.open());
    QCOMPARE(entries(w.form->Combo4), (QStringList{"ALFA", "GAMMA"}));
    QCOMPARE(w.form->Combo4->currentText(), QString("Seleziona"));
    choosePopup(w.form->Combo4, 1);
    QCOMPARE(w.form->Text26->text(), QString("GAMMA"));
    QCOMPARE(w.form->Text23->text(), QString("TORINO"));
    QCOMPARE(w.form->Text10->text(), QString("3"));

    w.form->Check2->click();
    QVERIFY(!w.form->Check1->isChecked());
    QCOMPARE(entries(w.form->Combo4), QStringList{"BETA"});
    QCOMPARE(w.form->Text26->text(), QString("GAMMA"));   // kept, no longer chosen
}

void TestAnagrafe::listStopsAtEmptyName()
{
    World w;
    w.addRow(2, 1, "C", "ALFA");
    w.sheet().cells(3, 1).setValue(2.0);
    w.sheet().cells(3, 2).setValue(QStringLiteral("C"));
    w.addRow(4, 3, "C", "GAMMA");
    QVERIFY(w.open());
    QCOMPARE(entries(w.form->Combo4), QStringList{"ALFA"});
}

void TestAnagrafe::emptySheetGivesPlaceholder()
{
    World w;
    QVERIFY(w.open('F'));
    QCOMPARE(w.form->Combo4->count(), 0);
    QCOMPARE(w.form->Combo4->currentText(), QString("Seleziona"));
    QVERIFY(w.form->Combo4->isEnabled());
}

void TestAnagrafe::loadConvertsCellsToText()
{
    World w;
    w.addRow(2, 12, "C", "rossi mario");
    w.sheet().cells(2, 4).setValue(store::Variant::fromDate(serial(2009, 3, 3)));
    w.sheet().cells(2, 5).setValue(12.5);
    w.sheet().cells(2, 7).setValue(store::Variant::fromError(store::CellError::NA));
    w.sheet().cells(2, 12).setValue(store::Variant::fromText("Mario@Example.it"));
    w.sheet().cells(2, 17).setValue(store::Variant::fromText("riga uno\nriga due"));
    QVERIFY(w.open());
    QTest::keyClicks(w.form->Text23, "prima");
    choose(w.form->Combo4, 0);

    QCOMPARE(w.form->Text26->text(), QString("ROSSI MARIO"));   // shown in upper case
    QCOMPARE(w.form->Text18->text(), QString("03/03/2009"));
    QCOMPARE(w.form->Text25->text(), QString("12,5"));
    QCOMPARE(w.form->Text23->text(), QString("PRIMA"));   // an error value has no text
    QCOMPARE(w.form->Text16->text(), QString("Mario@Example.it"));
    QCOMPARE(w.form->Text12->toPlainText(), QString("RIGA UNO\nRIGA DUE"));
    QCOMPARE(w.form->Text10->text(), QString("12"));
    QCOMPARE(w.form->Text24->text(), QString());
}

// Neither an entry's exact name confirmed with Enter nor a name left behind in the list
// chooses that entry: what the user was editing stays.
void TestAnagrafe::typingIntoListLoadsNothing()
{
    World w;
    w.addRows({{1, "C", "ALFA"}, {2, "C", "BETA"}});
    w.sheet().cells(2, 7).setValue(QStringLiteral("MILANO"));
    QVERIFY(w.open());
    QLineEdit *typed = w.form->Combo4->lineEdit();

    typed->selectAll();
    QTest::keyClicks(typed, "ALFA");
    QTest::keyClick(typed, Qt::Key_Return);
    QCOMPARE(w.form->Text26->text(), QString());
    QCOMPARE(w.form->Text10->text(), QString("3"));   // the first number not in use

    choose(w.form->Combo4, 1);   // BETA, chosen, then edited
    QTest::keyClicks(w.form->Text23, "pavia");
    w.form->Combo4->setFocus();
    typed->selectAll();
    QTest::keyClicks(typed, "ALFA");
    QTest::keyClick(typed, Qt::Key_Return);
    w.form->Text25->setFocus();   // leaving the list
    QCOMPARE(w.form->Combo4->currentText(), QString("ALFA"));
    QCOMPARE(w.form->Text26->text(), QString("BETA"));
    QCOMPARE(w.form->Text23->text(), QString("PAVIA"));
    QCOMPARE(w.form->Text10->text(), QString("2"));
    QVERIFY(w.dialogs.shown.empty());
}

void TestAnagrafe::tabLeavesNotes()
{
    World w;
    QVERIFY(w.open());
    w.form->Text12->setFocus();
    QTest::keyClicks(w.form->Text12, "nota");
    QTest::keyClick(w.form->Text12, Qt::Key_Tab);
    QCOMPARE(w.form->Text12->toPlainText(), QString("NOTA"));
    QVERIFY(!w.form->Text12->hasFocus());
}

void TestAnagrafe::typeTicks_data()
{
    QTest::addColumn<QString>("before");   // boxes ticked before typing: "", "C", "F"
    QTest::addColumn<QString>("tick");     // the box ticked after typing
    QTest::addColumn<QString>("nameAfter");
    // No type box clears what was typed.
    QTest::newRow("Fornitore keeps the fields") << "" << "F" << "ROSSI";
    QTest::newRow("Cliente keeps them") << "" << "C" << "ROSSI";
    QTest::newRow("Cliente after Fornitore keeps them") << "F" << "C" << "ROSSI";
    QTest::newRow("Fornitore after Cliente keeps them") << "C" << "F" << "ROSSI";
}

void TestAnagrafe::typeTicks()
{
    QFETCH(QString, before);
    QFETCH(QString, tick);
    QFETCH(QString, nameAfter);
    World w;
    QVERIFY(w.show());
    QCheckBox *cliente = w.form->Check1, *fornitore = w.form->Check2;
    if (!before.isEmpty())
        (before == "C" ? cliente : fornitore)->click();
    QTest::keyClicks(w.form->Text26, "rossi");
    QTest::keyClicks(w.form->Text25, "via po");
    (tick == "C" ? cliente : fornitore)->click();

    QCOMPARE(w.form->Text26->text(), nameAfter);
    QCOMPARE(w.form->Text25->text(), nameAfter.isEmpty() ? QString() : QString("VIA PO"));
    QCOMPARE(cliente->isChecked(), tick == "C");
    QCOMPARE(fornitore->isChecked(), tick == "F");
    QVERIFY(w.form->Combo4->isEnabled());

    // Unticking locks the list and keeps the form.
    (tick == "C" ? cliente : fornitore)->click();
    QCOMPARE(w.form->Text26->text(), nameAfter);
    QCOMPARE(w.form->Text10->text(), QString("1"));
    QVERIFY(!w.form->Combo4->isEnabled());
}

void TestAnagrafe::postCodeKeepsLeadingZeros()
{
    World w;
    QVERIFY(w.open());
    QTest::keyClicks(w.form->Text26, "bianchi");
    QTest::keyClicks(w.form->Text24, "00184");
    w.pressAnswering(w.form->XPButton4);
    QCOMPARE(w.value(2, 6), store::Variant::fromText("00184"));

    // Also in a workbook whose postal code column was never formatted as text.
    w.sheet().range(QStringLiteral("F:F")).setNumberFormat(QStringLiteral("General"));
    w.form->Check1->click();
    QTest::keyClicks(w.form->Text26, "verdi");
    QTest::keyClicks(w.form->Text24, "00042");
    w.pressAnswering(w.form->XPButton4);
    QCOMPARE(w.value(3, 6), store::Variant::fromText("00042"));

    w.form->Check1->click();
    choose(w.form->Combo4, 0);
    QCOMPARE(w.form->Text24->text(), QString("00184"));
}

void TestAnagrafe::clearButtonEmptiesFormAndList()
{
    World w;
    w.addRows({{1, "C", "ALFA"}}, 2.0);
    QVERIFY(w.open('C', 0));
    QTest::keyClicks(w.form->Text12, "nota");
    w.form->Check4->click();
    press(w.form->XPButton2);

    QCOMPARE(w.form->Combo4->count(), 0);
    QCOMPARE(w.form->Combo4->currentText(), QString());
    QCOMPARE(w.form->Text26->text(), QString());
    QCOMPARE(w.form->Text12->toPlainText(), QString());
    QCOMPARE(w.form->Text10->text(), QString("2"));
    for (QCheckBox *box : {w.form->Check1, w.form->Check2, w.form->Check4, w.form->Check6, w.form->Check7})
        QVERIFY(!box->isChecked());
    QVERIFY(!w.form->MonthView1->isVisible());
    QVERIFY(!w.form->Combo4->isEnabled());
    QCOMPARE(w.text(2, 3), QString("ALFA"));
}

void TestAnagrafe::nameFieldReminder()
{
    World w;
    QVERIFY(w.show());
    QCOMPARE(QApplication::focusWidget(), w.form->Text26);
    for (int time = 1; time <= 2; ++time) {
        w.form->Text26->setFocus();
        w.form->Text25->setFocus();
        QTRY_COMPARE(w.dialogs.shown.size(), size_t(time));
        QCOMPARE(w.shownBox(), testworld::box(BoxKind::Plain, "Contavio", kNoType));
    }
    // A click on a type box (or a button) from the name field is no error: it ticks, in
    // silence; and with a type ticked the name field is left in silence.
    const QList<QWidget *> targets{w.form->XPButton2, w.form->Check1, w.form->Text25};
    for (QWidget *to : targets) {
        w.form->Text26->setFocus();
        QTest::mouseClick(to, Qt::LeftButton, Qt::NoModifier, QPoint(6, to->height() / 2));
        to->setFocus();
        QTest::qWait(20);
        QCOMPARE(w.dialogs.shown.size(), size_t(2));
    }
    QVERIFY(w.form->Check1->isChecked());
}

void TestAnagrafe::calendarWritesChosenDay()
{
    World w;
    QVERIFY(w.show());
    QCalendarWidget *calendar = w.form->MonthView1;
    w.form->Check4->click();
    QVERIFY(calendar->isVisible());
    QCOMPARE(calendar->selectedDate(), QDate(2009, 5, 12));   // today, by the form's clock

    calendar->setCurrentPage(2009, 3);
    auto *view = calendar->findChild<QTableView *>();
    QVERIFY(view);
    QModelIndex day;
    bool monthStarted = false;
    for (int r = 0; r < view->model()->rowCount() && !day.isValid(); ++r) {
        for (int c = 0; c < view->model()->columnCount() && !day.isValid(); ++c) {
            const QModelIndex i = view->model()->index(r, c);
            const QString t = i.data().toString();
            if (t == "1")
                monthStarted = true;
            else if (monthStarted && t == "3")
                day = i;
        }
    }
    QVERIFY(day.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(day).center());

    QCOMPARE(w.form->Text18->text(), QString("03/03/2009"));
    QVERIFY(!calendar->isVisible());
    QVERIFY(!w.form->Check4->isChecked());
}

void TestAnagrafe::clockTicks()
{
    World w;
    QCOMPARE(w.form->Timer1->interval(), 1000);
    QVERIFY(w.form->Timer1->isActive());
    w.clock.set(QDateTime(QDate(2009, 3, 3), QTime(8, 5, 9)));
    QTRY_COMPARE_WITH_TIMEOUT(w.form->Label1->text(), QString("Ore...08:05:09 del 03/03/2009"), 2500);
}

void TestAnagrafe::closeBoxRefused()
{
    World w;
    QVERIFY(w.show());
    QVERIFY(!w.form->close());
    QVERIFY(w.form->isVisible());
}

void TestAnagrafe::esciShowsMenu()
{
    World w;
    QVERIFY(w.open());
    QTest::keyClicks(w.form->Text26, "tenuto");
    QCOMPARE(w.form->Mesci->text(), QString("&Esci"));
    QVERIFY(w.form->menuBar->actions().contains(w.form->Mesci));
    w.form->Mesci->trigger();

    QWidget *menu = w.forms.form(controls::FormId::Contavio);
    QVERIFY(menu->isVisible());
    QVERIFY(!w.form->isVisible());
    // Fields and ticks stay while hidden.
    QCOMPARE(w.form->Text26->text(), QString("TENUTO"));
    QVERIFY(w.form->Check1->isChecked());
}

void TestAnagrafe::stampaAsksPrintFormForRegistryList()
{
    World w;
    QVERIFY(w.show());
    press(w.form->XPButton5);
    QWidget *print = w.forms.form(controls::FormId::StampaP);
    QCOMPARE(w.forms.created[controls::FormId::StampaP], 1);
    auto *stampa = qobject_cast<print::StampaP *>(print);
    QVERIFY(stampa);
    QCOMPARE(stampa->Text1->text(), QString("8"));
    QVERIFY(print->isVisible());
    QVERIFY(w.form->isVisible());
}

void TestAnagrafe::engineFailureIsReported()
{
    World w;
    QVERIFY(w.show());
    w.server.close(*w.server.activeWorkbook());
    QString expected;
    try {
        w.session.workbook();
    } catch (const store::StoreError &e) {
        expected = e.userMessage();
    }
    QVERIFY(!expected.isEmpty());

    // Activation reports once, not in a loop with its own box.
    w.form->activate();
    QCOMPARE(w.dialogs.shown.size(), size_t(1));
    w.form->activate();
    QCOMPARE(w.dialogs.shown.size(), size_t(1));
    QCOMPARE(w.dialogs.last().kind, BoxKind::Critical);
    QCOMPARE(w.dialogs.last().text, expected);

    w.dialogs.clear();
    w.form->Check1->click();   // the list cannot be read
    w.insert("rossi");
    w.pressAnswering(w.form->XPButton3);
    const QStringList shown = w.shownTexts();
    QCOMPARE(shown, (QStringList{expected, kInsertQuestion, expected, QString::fromUtf8("Scegliere dall'elenco il Soggetto da eliminare: nessun soggetto è stato eliminato.")}));
    QCOMPARE(w.form->Text26->text(), QString("ROSSI"));   // no success, nothing cleared
}

QTEST_MAIN(TestAnagrafe)
#include "tst_anagrafe.moc"
