// The print form: its printer list, the dispatch on the mode, closing and reopening.

#include "controls/form.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "print/stampap.h"
#include "printworld.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using controls::Answer;
using controls::BoxKind;
using controls::FormId;

namespace {

// The print form with two PDF printers, "Magazzino" the default; unload deletes it at once,
// as the program's registry does.
struct World : testworld::FormWorld {
    print::PdfPrintTarget printers{dir.filePath(QStringLiteral("out")),
                                   {QStringLiteral("Ufficio"), QStringLiteral("Magazzino")},
                                   QStringLiteral("Magazzino")};

    World(int registry, int incassi, int pagamenti)
        : FormWorld([=](store::Workbook &book) {
              printworld::addRecords(book, registry, incassi, pagamenti);
          })
    {
        session.printers = &printers;
        provide<print::StampaP>(FormId::StampaP);
    }
    print::StampaP &form() { return FormWorld::form<print::StampaP>(FormId::StampaP); }
    int created() { return forms.created[FormId::StampaP]; }
};

using testworld::press;

} // namespace

class TestStampaP : public QObject {
    Q_OBJECT
private slots:
    void loadShowsPrintersAndDefault();
    void dispatch_data();
    void dispatch();
    void printHidesWithoutUnloading();
    void chosenPrinterNamesEveryPage();
    void printThatPrintedNothingSaysSo_data();
    void printThatPrintedNothingSaysSo();
    void closeBoxUnloadsAndReopeningRebuilds();
};

void TestStampaP::loadShowsPrintersAndDefault()
{
    World w(0, 0, 0);
    print::StampaP &f = w.form();
    QCOMPARE(f.windowTitle(), QStringLiteral("Seleziona Stampante"));
    QCOMPARE(f.Combo1->count(), 2);
    QCOMPARE(f.Combo1->itemText(0), QStringLiteral("Ufficio"));
    QCOMPARE(f.Combo1->itemText(1), QStringLiteral("Magazzino"));
    QVERIFY(f.Combo1->isEditable());
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("Seleziona la stampante"));
    QCOMPARE(f.Label1->text(), QStringLiteral("La stampante predefinita è: \nMagazzino"));
    QCOMPARE(f.XPButton2->caption(), QStringLiteral("Stampa"));
    QCOMPARE(f.XPButton2->toolTip(), QStringLiteral("Invia alla stampante"));
    QCOMPARE(f.XPButton2->buttonType(), 3);
    QVERIFY(!f.Label14->text().isEmpty());
    QVERIFY(f.Text1->text().isEmpty());

    // No printer installed: an empty list and an empty default.
    w.printers.setPrinterNames({});
    w.printers.setDefaultPrinterName(QString());
    f.load();
    QCOMPARE(f.Combo1->count(), 0);
    QCOMPARE(f.Combo1->currentText(), QStringLiteral("Seleziona la stampante"));
    QCOMPARE(f.Label1->text(), QStringLiteral("La stampante predefinita è: \n"));
}

void TestStampaP::dispatch_data()
{
    // Only the collections sheet has records: its mode reaches the zoom question, the
    // other two modes the refusal of their own sheet, anything else nothing at all.
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("firstBox");
    QTest::newRow("8: the registry list") << QStringLiteral("8")
        << QStringLiteral(" La stampa non può essere eseguita in assenza di Clienti/Fornitori Inseriti ..................");
    QTest::newRow("1: the collections list") << QStringLiteral("1")
        << QStringLiteral("Digita la percentuale di Zoom della Stampa 50-60-70-80-90-100..................");
    QTest::newRow("2: the payments list") << QStringLiteral("2")
        << QStringLiteral(" La stampa non può essere eseguita in assenza di Registrazioni  inserite ..................");
    QTest::newRow("empty mode does nothing") << QString() << QString();
    QTest::newRow("another number does nothing") << QStringLiteral("3") << QString();
    QTest::newRow("text does nothing") << QStringLiteral("abc") << QString();
}

void TestStampaP::dispatch()
{
    QFETCH(QString, mode);
    QFETCH(QString, firstBox);
    World w(0, 3, 0);
    print::StampaP &f = w.form();
    f.show();
    f.Text1->setText(mode);
    f.Combo1->setEditText(QStringLiteral("Ufficio"));
    press(f.XPButton2);
    if (firstBox.isNull()) {
        QVERIFY(w.dialogs.shown.empty());
        QVERIFY(f.isVisible());
        return;
    }
    QVERIFY(!w.dialogs.shown.empty());
    QCOMPARE(w.dialogs.shown[0].text, firstBox);
}

void TestStampaP::printHidesWithoutUnloading()
{
    World w(0, 3, 0);
    print::StampaP &f = w.form();
    f.show();
    f.Text1->setText(QStringLiteral("1"));
    f.Combo1->setEditText(QStringLiteral("Ufficio"));
    w.dialogs.queueAnswer(Answer::No);    // landscape
    w.dialogs.queueAnswer(Answer::Yes);   // the only page
    f.stampa();
    QCOMPARE(w.printers.jobs().size(), size_t(1));
    QVERIFY(!f.isVisible());
    QCoreApplication::processEvents();
    QVERIFY(w.forms.isLoaded(FormId::StampaP));
    QCOMPARE(w.created(), 1);
    // The mode and the printer text survive to the next opening.
    print::StampaP &again = w.form();
    QCOMPARE(&again, &f);
    QCOMPARE(again.Text1->text(), QStringLiteral("1"));
    QCOMPARE(again.Combo1->currentText(), QStringLiteral("Ufficio"));
    QVERIFY(w.server.screenUpdating);
}

void TestStampaP::chosenPrinterNamesEveryPage()
{
    World w(0, 150, 0);
    print::StampaP &f = w.form();
    f.show();
    f.Text1->setText(QStringLiteral("1"));
    f.Combo1->setCurrentIndex(0);   // "Ufficio" picked from the list
    w.dialogs.queueAnswer(Answer::No);
    w.dialogs.queueAnswer(Answer::Yes);
    w.dialogs.queueAnswer(Answer::Yes);
    w.dialogs.queueAnswer(Answer::No);
    f.stampa();
    QCOMPARE(w.printers.jobs().size(), size_t(2));
    for (const auto &job : w.printers.jobs())
        QCOMPARE(job.printer, QStringLiteral("Ufficio"));
    QVERIFY(f.isVisible());          // No to page 3: the form stays
    QVERIFY(!w.server.screenUpdating);
}

void TestStampaP::printThatPrintedNothingSaysSo_data()
{
    QTest::addColumn<QString>("printer");   // the printer box's text; null: as loaded
    QTest::addColumn<QString>("told");      // the one box shown; null: none, form hidden
    QTest::addColumn<int>("questions");     // orientation and page questions asked
    // A missing choice is said before the zoom, orientation and page questions.
    QTest::newRow("initial text") << QString() << "Scegliere prima la stampante dall'elenco." << 0;
    QTest::newRow("empty box") << "" << "Scegliere prima la stampante dall'elenco." << 0;
    QTest::newRow("printer not installed") << "Sala riunioni"
        << "La stampante \"Sala riunioni\" non è installata: sceglierne una dall'elenco." << 0;
    QTest::newRow("installed printer") << "Ufficio" << QString() << 4;
}

void TestStampaP::printThatPrintedNothingSaysSo()
{
    QFETCH(QString, printer);
    QFETCH(QString, told);
    QFETCH(int, questions);
    World w(0, 150, 0);
    print::StampaP &f = w.form();
    f.show();
    f.Text1->setText(QStringLiteral("1"));
    if (!printer.isNull())
        f.Combo1->setEditText(printer);
    w.dialogs.queueAnswer(Answer::No);   // landscape: three pages
    for (int i = 0; i < 3; ++i)
        w.dialogs.queueAnswer(Answer::Yes);
    press(f.XPButton2);

    int asked = 0;
    for (const auto &s : w.dialogs.shown)
        asked += s.kind == BoxKind::Question ? 1 : 0;
    QCOMPARE(asked, questions);
    QVERIFY(w.server.screenUpdating);
    if (told.isNull()) {
        QCOMPARE(w.printers.jobs().size(), size_t(3));
        QVERIFY(!f.isVisible());
        return;
    }
    QCOMPARE(int(w.dialogs.shown.size()), 1);
    QVERIFY(w.printers.jobs().empty());
    QCOMPARE(w.dialogs.last().kind, BoxKind::Plain);
    QCOMPARE(w.dialogs.last().text, told);
    QCOMPARE(w.dialogs.last().title, QStringLiteral("Contavio"));
    QVERIFY(f.isVisible());   // left on screen to choose a printer and try again
}

void TestStampaP::closeBoxUnloadsAndReopeningRebuilds()
{
    World w(0, 0, 0);
    QPointer<print::StampaP> f = &w.form();
    f->show();
    f->Text1->setText(QStringLiteral("8"));
    f->Combo1->setEditText(QStringLiteral("Ufficio"));
    w.printers.setPrinterNames({QStringLiteral("Ufficio"), QStringLiteral("Magazzino"),
                                QStringLiteral("Nuova")});
    QVERIFY(f->close());
    QVERIFY(f->Text1->text().isEmpty());   // emptied by the close box
    QTRY_VERIFY(!w.forms.isLoaded(FormId::StampaP));
    QVERIFY(f.isNull());

    print::StampaP &reopened = w.form();
    QCOMPARE(w.created(), 2);
    QCOMPARE(reopened.Combo1->count(), 3);
    QCOMPARE(reopened.Combo1->itemText(2), QStringLiteral("Nuova"));
    QCOMPARE(reopened.Combo1->currentText(), QStringLiteral("Seleziona la stampante"));
    QVERIFY(reopened.Text1->text().isEmpty());
}

QTEST_MAIN(TestStampaP)
#include "tst_stampap.moc"
