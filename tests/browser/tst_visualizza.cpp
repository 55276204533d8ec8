// The record browser, driven from its opening to the entry forms and back.

#include "ledger/ledgerworld.h"
#include "ledger/ledger.h"

#include "browser/recordlistmodel.h"
#include "browser/visualizza.h"
#include "print/stampap.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeView>
#include <QtTest>

using ledgertest::World;
using testworld::press;

using controls::Answer;
using store::Variant;

namespace {

// A world whose registry also builds the browser and the print form.
struct BrowserWorld : World {
    BrowserWorld()
    {
        provide<print::StampaP>(controls::FormId::StampaP);
        provide<browser::Visualizza>(controls::FormId::Visualizza);
    }

    browser::Visualizza &browser() { return form<browser::Visualizza>(controls::FormId::Visualizza); }

    // What the main menu's "Contavio Incassi" / "Contavio Pagamenti" do.
    bool openBrowser(ledger::Ledger which)
    {
        browser::Visualizza &b = browser();
        return openFromMenu(b, [&] { b.open(which); });
    }

    // A click on a list row, as the user makes it.
    void pick(int row)
    {
        browser::Visualizza &b = browser();
        const QModelIndex index = b.listModel()->index(row, 2);
        b.ListView3->scrollTo(index);
        const QRect rect = b.ListView3->visualRect(index);
        QTest::mouseClick(b.ListView3->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    }

    QStringList column(int c)
    {
        QStringList out;
        browser::RecordListModel *m = browser().listModel();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->text(r, c);
        return out;
    }
};

double serial(int d, int m, int y) { return store::dateToSerial(QDate(y, m, d)); }

} // namespace

class TestVisualizza : public QObject {
    Q_OBJECT

private slots:
    void emptySheetGivesHeadersOnly_data();
    void emptySheetGivesHeadersOnly();
    void buildSortsSheetAndListsValuesAsText();
    void gapInColumnAEndsList();
    void modeRoutesToItsLedger_data();
    void modeRoutesToItsLedger();
    void flagsNeitherSiNorNoLeaveBoxes();
    void pickChangeDeleteLoop();
    void handOverFillsEveryControl();
    void userEntersThreeOutOfOrderAndChangesOne();
    void keyboardPick_data();
    void keyboardPick();
    void pickWithoutSelectionHandsNothing();
    void listThatCannotBeRebuiltIsEmptied();
    void stampaPassesMode();
    void closeBoxAndChiudi();
};

void TestVisualizza::emptySheetGivesHeadersOnly_data()
{
    // The headers as the user reads them over the list.
    QTest::addColumn<bool>("payables");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("receivables") << false << QStringList{
        "ID", "ID Cliente", "Cliente", "Fattura", "Data", "Scadenza", "Riscosso", "Importo", "Data",
        "R/Con", "Acconto", "Importo", "Data", "A/Con", "Saldato", "Importo", "Data", "S/Con", "Nota"};
    QTest::newRow("payables") << true << QStringList{
        "ID", "ID Fornitore", "Fornitore", "Fattura", "Data", "Scadenza", "Pagato", "Importo", "Data",
        "R/Con", "Acconto", "Importo", "Data", "A/Con", "Saldato", "Importo", "Data", "S/Con", "Nota"};
}

void TestVisualizza::emptySheetGivesHeadersOnly()
{
    QFETCH(bool, payables);
    QFETCH(QStringList, titles);
    BrowserWorld w;
    const ledger::Ledger which = payables ? ledger::Ledger::Pagamenti : ledger::Ledger::Incassi;
    const QString sheetName = ledger::sheetOf(which).name;
    // A record far below an empty row 2: the sort still runs and lifts it to row 2.
    w.addRecord(sheetName, 40, 7, QDate(2009, 6, 1), 5);
    QVERIFY(w.openBrowser(which));
    browser::Visualizza &b = w.browser();

    browser::RecordListModel *m = b.listModel();
    QCOMPARE(m->columnCount(), 20);
    QStringList shown;
    for (int c = 0; c < 20; ++c)
        shown << m->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(shown, QStringList(titles) << QString());
    QCOMPARE(w.sheet(sheetName).valueAt(2, 1), Variant::fromNumber(7));
    QCOMPARE(w.sheet(sheetName).valueAt(1, 1), Variant::fromText("ID"));
    QCOMPARE(m->rowCount(), 1);

    // Now with nothing at all under the titles.
    w.sheet(sheetName).cells(2, 1).entireRow().deleteRows();
    b.activate();
    QCOMPARE(m->rowCount(), 0);
    QCOMPARE(m->columnCount(), 20);
    QCOMPARE(b.windowTitle(), QStringLiteral("Visualizza  Incassi"));
    QCOMPARE(b.Label1->text(), QStringLiteral("Seleziona la  registrazione che vuoi  modificare "));

    // Widths in twips (15 to a pixel) and right-aligned amounts.
    QHeaderView *h = b.ListView3->header();
    QCOMPARE(h->sectionSize(0), 0);
    QCOMPARE(h->sectionSize(1), 0);
    QCOMPARE(h->sectionSize(2), 266);
    QCOMPARE(h->sectionSize(6), 66);
    QCOMPARE(h->sectionSize(7), 66);
    QCOMPARE(h->sectionSize(19), 133);
    for (int c = 0; c < 20; ++c) {
        const bool right = c == 7 || c == 11 || c == 15;
        QCOMPARE(m->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).isValid(), right);
    }
    QVERIFY(w.sheet(sheetName).isActive());
    QCOMPARE(w.sheet(sheetName).view().activeCell, (store::CellAddress{1, 5}));
}

void TestVisualizza::buildSortsSheetAndListsValuesAsText()
{
    BrowserWorld w;
    w.addRecord("Incassi", 2, 1, QDate(2009, 9, 1), 1234.5);
    w.addRecord("Incassi", 3, 2, QDate(2009, 3, 1), 7);
    w.addRecord("Incassi", 4, 3, QDate(2009, 6, 1), 0.25);
    store::Worksheet &s = w.sheet("Incassi");
    s.cells(2, 8).setNumberFormat(QStringLiteral("#,##0.00"));   // shown as 1.234,50
    s.cells(3, 20).setValue(QStringLiteral("oltre"));             // column T is listed, not sorted
    QCOMPARE(s.textAt(2, 8), QStringLiteral("1.234,50"));

    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    QCOMPARE(w.ids("Incassi"), (QList<double>{2, 3, 1}));
    QCOMPARE(w.column(0), (QStringList{"2", "3", "1"}));
    QCOMPARE(w.column(5), (QStringList{"01/03/2009", "01/06/2009", "01/09/2009"}));
    QCOMPARE(w.column(7), (QStringList{"7,00", "0,25", "1.234,50"}));
    // The sort covers A..S only: T stays on its row while the records move.
    QCOMPARE(w.column(19), (QStringList{"", "oltre", ""}));
    QCOMPARE(w.column(2), (QStringList{"Ditta 2", "Ditta 3", "Ditta 1"}));
    QCOMPARE(w.browser().listModel()->data(w.browser().listModel()->index(0, 7), Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignRight | Qt::AlignVCenter));
}

void TestVisualizza::gapInColumnAEndsList()
{
    BrowserWorld w;
    store::Worksheet &s = w.sheet("Pagamenti");
    w.addRecord("Pagamenti", 2, 1, QDate(2009, 1, 5), 1);
    w.addRecord("Pagamenti", 3, 2, QDate(2009, 1, 20), 2);
    w.addRecord("Pagamenti", 4, 3, QDate(2009, 1, 30), 3);
    // A row without its number, due between the first and the second record.
    s.cells(5, 3).setValue(QStringLiteral("senza numero"));
    s.cells(5, 6).setValue(Variant::fromDate(serial(10, 1, 2009)));

    QVERIFY(w.openBrowser(ledger::Ledger::Pagamenti));
    QCOMPARE(w.column(0), QStringList{"1"});
    QCOMPARE(s.valueAt(3, 3), Variant::fromText("senza numero"));
    QCOMPARE(s.valueAt(4, 1), Variant::fromNumber(2));
}

void TestVisualizza::modeRoutesToItsLedger_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("target");   // 0 none, 1 Entrata, 2 Pagamenti
    QTest::newRow("1 receivables") << "1" << 1;
    // A record goes only to its own ledger's form: a receivables list with the mode
    // rewritten since hands nothing over.
    QTest::newRow("2 over a receivables list") << "2" << 0;
    QTest::newRow("other mode does nothing") << "3" << 0;
}

void TestVisualizza::modeRoutesToItsLedger()
{
    QFETCH(QString, mode);
    QFETCH(int, target);
    BrowserWorld w;
    w.addRecord("Incassi", 2, 11, QDate(2009, 6, 1), 10);
    w.addRecord("Pagamenti", 2, 22, QDate(2009, 6, 1), 20);
    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));   // a list to click on
    w.browser().Text1->setText(mode);
    w.pick(0);

    const bool entrataShown = w.forms.isLoaded(controls::FormId::Entrata) && w.entrata().isVisible();
    const bool pagamentiShown = w.forms.isLoaded(controls::FormId::Pagamenti) && w.pagamenti().isVisible();
    QCOMPARE(entrataShown, target == 1);
    QCOMPARE(pagamentiShown, target == 2);
    QCOMPARE(w.browser().isVisible(), target == 0);
    if (target != 0) {
        ledger::LedgerForm &f = w.ledgerForm(target == 2);
        QCOMPARE(f.Text10->text(), QStringLiteral("11"));   // the row of the list shown
        QVERIFY(f.XPButton3->isEnabled());
        QVERIFY(f.XPButton6->isEnabled());
        QVERIFY(!f.XPButton4->isEnabled());
    }
    QCOMPARE(w.browser().windowTitle(), QStringLiteral("Visualizza  Incassi"));
}

void TestVisualizza::flagsNeitherSiNorNoLeaveBoxes()
{
    BrowserWorld w;
    w.addRecord("Incassi", 2, 1, QDate(2009, 6, 1), 10);
    store::Worksheet &s = w.sheet("Incassi");
    s.cells(2, 7).clearContents();                                   // G empty
    s.cells(2, 11).setValue(Variant::fromText(QStringLiteral("si")));  // K lower case
    s.cells(2, 15).setValue(Variant::fromText(QStringLiteral("SI")));  // O ticks
    ledger::Entrata &e = w.entrata();
    e.Check2->setChecked(true);
    e.Check4->setChecked(true);
    e.Check6->setChecked(false);

    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    w.pick(0);
    QVERIFY(e.Check2->isChecked());
    QVERIFY(e.Check4->isChecked());
    QVERIFY(e.Check6->isChecked());
}

void TestVisualizza::pickChangeDeleteLoop()
{
    BrowserWorld w;
    w.addRecord("Pagamenti", 2, 1, QDate(2009, 8, 1), 100);
    w.addRecord("Pagamenti", 3, 2, QDate(2009, 2, 1), 200);
    w.addRecord("Pagamenti", 4, 3, QDate(2009, 5, 1), 300);

    QVERIFY(w.openBrowser(ledger::Ledger::Pagamenti));
    QCOMPARE(w.ids("Pagamenti"), (QList<double>{2, 3, 1}));
    QCOMPARE(w.column(0), (QStringList{"2", "3", "1"}));

    // Pick record 3; the payables form opens in change mode with its fields.
    w.pick(1);
    ledger::Pagamenti &p = w.pagamenti();
    QVERIFY(!w.browser().isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&p));
    QCOMPARE(p.Text10->text(), QStringLiteral("3"));
    QCOMPARE(p.Text12->text(), QStringLiteral("103"));
    QCOMPARE(p.Combo1->currentText(), QStringLiteral("Ditta 3"));
    QCOMPARE(p.Text1->text(), QStringLiteral("F-3"));
    QCOMPARE(p.Text2->text(), QStringLiteral("10/01/2009"));
    QCOMPARE(p.Text3->text(), QStringLiteral("01/05/2009"));
    QCOMPARE(p.Text4->text(), QStringLiteral("300,00"));
    QCOMPARE(p.Text11->toPlainText(), QStringLiteral("nota 3"));
    // Its activation saw change mode: nothing cleared, Cancella off.
    QVERIFY(!p.XPButton5->isEnabled());
    QCOMPARE(p.XPButton1->caption(), QStringLiteral("Modifica Fornitore"));

    // Move its due date to the end of the year and change the amount.
    p.Text3->setText(QStringLiteral("31/12/2009"));
    p.Text4->setText(QStringLiteral("350,5"));
    press(p.XPButton3);
    QVERIFY(!p.isVisible());
    QVERIFY(w.menu().isVisible());

    QVERIFY(w.openBrowser(ledger::Ledger::Pagamenti));
    QCOMPARE(w.ids("Pagamenti"), (QList<double>{2, 1, 3}));
    QCOMPARE(w.column(0), (QStringList{"2", "1", "3"}));
    QCOMPARE(w.column(7), (QStringList{"200,00", "100,00", "350,50"}));
    QCOMPARE(w.column(5).last(), QStringLiteral("31/12/2009"));

    // Pick record 1 and delete it.
    w.pick(1);
    QVERIFY(QTest::qWaitForWindowActive(&p));
    QCOMPARE(p.Text10->text(), QStringLiteral("1"));
    w.dialogs.queueAnswer(Answer::Yes);
    press(p.XPButton6);
    QCOMPARE(w.dialogs.last().text, QStringLiteral(" Registrazione  eliminata "));

    QVERIFY(w.openBrowser(ledger::Ledger::Pagamenti));
    QCOMPARE(w.ids("Pagamenti"), (QList<double>{2, 3}));
    QCOMPARE(w.column(0), (QStringList{"2", "3"}));
}

void TestVisualizza::handOverFillsEveryControl()
{
    BrowserWorld w;
    w.addRecord("Incassi", 2, 5, QDate(2009, 6, 1), 300);
    store::Worksheet &s = w.sheet("Incassi");
    const auto date = [](int day) { return Variant::fromDate(store::dateToSerial(QDate(2009, 6, day))); };
    s.cells(2, 7).setValue(Variant::fromText("SI"));
    s.cells(2, 9).setValue(date(2));
    s.cells(2, 10).setValue(Variant::fromText("Bonifico"));
    s.cells(2, 11).setValue(Variant::fromText("SI"));
    s.cells(2, 12).setValue(50.0);
    s.cells(2, 13).setValue(date(3));
    s.cells(2, 14).setValue(Variant::fromText("Assegno"));
    s.cells(2, 15).setValue(Variant::fromText("SI"));
    s.cells(2, 16).setValue(250.0);
    s.cells(2, 17).setValue(date(4));
    s.cells(2, 18).setValue(Variant::fromText("Contanti"));

    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    w.pick(0);
    ledger::Entrata &f = w.entrata();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    // Columns A..S, each in the control that shows it.
    const std::vector<std::pair<const char *, QString>> expected = {
        {"Text10", "5"}, {"Text12", "105"}, {"Combo1", "Ditta 5"}, {"Text1", "F-5"},
        {"Text2", "10/01/2009"}, {"Text3", "01/06/2009"}, {"Check2", "SI"}, {"Text4", "300,00"},
        {"Text5", "02/06/2009"}, {"Combo2", "Bonifico"}, {"Check4", "SI"}, {"Text7", "50,00"},
        {"Text6", "03/06/2009"}, {"Combo3", "Assegno"}, {"Check6", "SI"}, {"Text9", "250,00"},
        {"Text8", "04/06/2009"}, {"Combo4", "Contanti"}, {"Text11", "nota 5"},
    };
    for (const auto &[name, text] : expected) {
        QWidget *control = f.findChild<QWidget *>(QLatin1String(name));
        QVERIFY2(control, name);
        QString shown;
        if (auto *line = qobject_cast<QLineEdit *>(control))
            shown = line->text();
        else if (auto *combo = qobject_cast<QComboBox *>(control))
            shown = combo->currentText();
        else if (auto *box = qobject_cast<QCheckBox *>(control))
            shown = box->isChecked() ? QStringLiteral("SI") : QStringLiteral("NO");
        else if (auto *note = qobject_cast<QPlainTextEdit *>(control))
            shown = note->toPlainText();
        QVERIFY2(shown == text, qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(name), shown)));
    }

    // Changed without a touch, every column of the record holds what it held (the amounts
    // now shown as money).
    const auto values = [&s] {
        QStringList v;
        for (int column = 1; column <= 19; ++column)
            v << store::valueToText(s.valueAt(2, column));
        return v;
    };
    const QStringList before = values();
    press(f.XPButton3);
    QCOMPARE(w.dialogs.last().text, QStringLiteral(" Registrazione  modificata"));
    QCOMPARE(values(), before);
}

void TestVisualizza::userEntersThreeOutOfOrderAndChangesOne()
{
    BrowserWorld w;
    w.addCounterparty(2, 5, "C", "Rossi Mario");
    w.addCounterparty(3, 6, "C", "Bianchi Spa");

    // Three receivables entered through the form, due dates out of order.
    ledger::Entrata &e = w.entrata();
    QVERIFY(w.openFromMenu(e, [&e] { e.openForNewRecord(); }));
    struct Entry { int customer; const char *invoice; const char *due; const char *amount; };
    const Entry entries[] = {
        {0, "F-1", "30/09/2009", "100"},
        {1, "F-2", "15/03/2009", "250,5"},
        {0, "F-3", "01/06/2009", "80"},
    };
    for (const Entry &en : entries) {
        e.Combo1->setCurrentIndex(en.customer == 0 ? 1 : 0);
        QTest::keyClick(e.Combo1, en.customer == 0 ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(e.Text12->text(), en.customer == 0 ? QStringLiteral("5") : QStringLiteral("6"));
        e.Text1->setFocus();
        QTest::keyClicks(e.Text1, QString::fromLatin1(en.invoice));
        e.Text2->setFocus();
        QTest::keyClicks(e.Text2, QStringLiteral("10/01/2009"));
        e.Text3->setFocus();
        QTest::keyClicks(e.Text3, QString::fromLatin1(en.due));
        e.Text4->setFocus();
        QTest::keyClicks(e.Text4, QString::fromLatin1(en.amount));
        w.dialogs.queueAnswer(Answer::Yes);
        press(e.XPButton4);
        QCOMPARE(w.dialogs.last().text, QStringLiteral("Registrazione  conclusa !"));
    }
    press(e.XPButton2);
    QVERIFY(w.menu().isVisible());

    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    QCOMPARE(w.column(3), (QStringList{"F-2", "F-3", "F-1"}));
    QCOMPARE(w.column(2), (QStringList{"Bianchi Spa", "Rossi Mario", "Rossi Mario"}));

    w.pick(1);
    QVERIFY(QTest::qWaitForWindowActive(&e));
    QCOMPARE(e.Text1->text(), QStringLiteral("F-3"));
    e.Text4->clear();
    e.Text4->setFocus();
    QTest::keyClicks(e.Text4, QStringLiteral("95,5"));
    QTRY_COMPARE(e.Text4->text(), QStringLiteral("95,5"));
    press(e.XPButton3);
    QCOMPARE(w.dialogs.last().text, QStringLiteral(" Registrazione  modificata"));

    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    QCOMPARE(w.column(3), (QStringList{"F-2", "F-3", "F-1"}));
    QCOMPARE(w.column(7), (QStringList{"250,50", "95,50", "100,00"}));
    QCOMPARE(w.sheet("Incassi").valueAt(3, 8), Variant::fromNumber(95.5));
}

void TestVisualizza::keyboardPick_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void TestVisualizza::keyboardPick()
{
    QFETCH(int, key);
    BrowserWorld w;
    w.addRecord("Incassi", 2, 1, QDate(2009, 8, 1), 100);
    w.addRecord("Incassi", 3, 2, QDate(2009, 2, 1), 200);
    w.addRecord("Incassi", 4, 3, QDate(2009, 5, 1), 300);
    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    browser::Visualizza &b = w.browser();
    QCOMPARE(w.column(0), (QStringList{"2", "3", "1"}));
    ledger::Entrata &e = w.entrata();

    b.ListView3->setFocus();
    b.ListView3->setCurrentIndex(b.listModel()->index(0, 2));
    QTest::keyClick(b.ListView3, Qt::Key_Down);
    QVERIFY(!e.isVisible());   // moving along the list picks nothing yet
    QTest::keyClick(b.ListView3, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QVERIFY(!b.isVisible());
    QVERIFY(e.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&e));
    QCOMPARE(e.Text10->text(), QStringLiteral("3"));   // the second row of the list
    QCOMPARE(e.Text4->text(), QStringLiteral("300,00"));
    QVERIFY(e.XPButton3->isEnabled());
    QVERIFY(!e.XPButton4->isEnabled());
    QVERIFY(!e.XPButton5->isEnabled());   // its activation saw change mode
}

void TestVisualizza::pickWithoutSelectionHandsNothing()
{
    BrowserWorld w;
    w.addRecord("Incassi", 2, 1, QDate(2009, 8, 1), 100);
    w.addRecord("Incassi", 3, 2, QDate(2009, 2, 1), 200);
    // A first pick and a change that is left unfinished: the entry form still holds record 2.
    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    w.pick(0);
    ledger::Entrata &e = w.entrata();
    QVERIFY(QTest::qWaitForWindowActive(&e));
    QCOMPARE(e.Text10->text(), QStringLiteral("2"));
    e.hide();
    e.setButtonsForNewEntry();   // what the menu's "Inserisci Incassi" would set next

    // Ctrl+click on the selected row takes the selection away: nothing is handed over.
    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    browser::Visualizza &b = w.browser();
    b.ListView3->setCurrentIndex(b.listModel()->index(0, 2));
    QVERIFY(b.ListView3->selectionModel()->hasSelection());
    const QRect first = b.ListView3->visualRect(b.listModel()->index(0, 2));
    QTest::mouseClick(b.ListView3->viewport(), Qt::LeftButton, Qt::ControlModifier, first.center());
    QVERIFY(!b.ListView3->selectionModel()->hasSelection());
    QVERIFY(b.isVisible());
    QVERIFY(!e.isVisible());
    QVERIFY(!e.XPButton3->isEnabled());   // not put into change mode over the old record
    QVERIFY(e.XPButton4->isEnabled());
}

void TestVisualizza::listThatCannotBeRebuiltIsEmptied()
{
    BrowserWorld w;
    w.addRecord("Incassi", 2, 1, QDate(2009, 8, 1), 100);
    w.addRecord("Incassi", 3, 2, QDate(2009, 2, 1), 200);
    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    QCOMPARE(w.browser().listModel()->rowCount(), 2);
    press(w.browser().XPButton2);

    // The payables sheet is gone: its list cannot be built.
    w.book().removeSheet(w.sheet("Pagamenti"));
    w.dialogs.clear();
    QVERIFY(w.openBrowser(ledger::Ledger::Pagamenti));
    QCOMPARE(w.dialogs.shown.size(), size_t(1));
    QCOMPARE(w.dialogs.last().kind, controls::BoxKind::Critical);
    QCOMPARE(w.browser().listModel()->rowCount(), 0);   // no receivables under the payables mode

    // So no receivable can be handed to the payables form.
    browser::Visualizza &b = w.browser();
    QTest::mouseClick(b.ListView3->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    QVERIFY(b.isVisible());
    QVERIFY(!w.forms.isLoaded(controls::FormId::Pagamenti) || !w.pagamenti().isVisible());
}

void TestVisualizza::stampaPassesMode()
{
    BrowserWorld w;
    QVERIFY(w.openBrowser(ledger::Ledger::Pagamenti));
    press(w.browser().XPButton1);
    QWidget *printForm = w.forms.form(controls::FormId::StampaP);
    QVERIFY(printForm);
    QVERIFY(printForm->isVisible());
    auto *stampa = qobject_cast<print::StampaP *>(printForm);
    QVERIFY(stampa);
    QCOMPARE(stampa->Text1->text(), QStringLiteral("2"));
    QVERIFY(w.browser().isVisible());
}

void TestVisualizza::closeBoxAndChiudi()
{
    BrowserWorld w;
    QVERIFY(w.openBrowser(ledger::Ledger::Incassi));
    browser::Visualizza &b = w.browser();
    QVERIFY(!b.close());
    QVERIFY(b.isVisible());
    QCOMPARE(b.Label15->text(), QStringLiteral("Ore...10:30:00   del   12/05/2009"));
    press(b.XPButton2);
    QVERIFY(!b.isVisible());
    QVERIFY(w.menu().isVisible());
}

QTEST_MAIN(TestVisualizza)
#include "tst_visualizza.moc"
