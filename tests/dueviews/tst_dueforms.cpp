// "Scadenze/Insoluti", "Situazione Clienti/Fornitori" and "Stampe" driven through their
// widgets on a small workbook: what they list and total, what they print and export, and
// that looking leaves the workbook as it was (only a reminder writes, on "Solleciti").

#include "dueworld.h"

#include "dueviews/scadenze.h"
#include "dueviews/situazione.h"
#include "dueviews/stampe.h"
#include "controls/xpbutton.h"
#include "ledger/entrata.h"
#include "support/pdfprinters.h"
#include "print/stampap.h"
#include "records/office.h"
#include "records/reminders.h"

#include <QHorizontalBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTreeView>

using namespace dueviews;
using controls::FormId;
using testworld::press;

namespace {

// Two customers and a supplier; on 12/05/2009 ROSSI owes A1 (overdue) and A2 (in 8 days),
// VERDI's A3 is paid, BIANCHI is owed P1 (overdue 31 days).
struct World : testworld::FormWorld {
    World()
        : testworld::FormWorld([](store::Workbook &book) {
            store::Worksheet &reg = book.sheet(QStringLiteral("Anagrafe"));
            testworld::writeCounterparty(reg, 2, 7, QStringLiteral("C"), QStringLiteral("ROSSI SPA"));
            testworld::writeCounterparty(reg, 3, 8, QStringLiteral("C"), QStringLiteral("VERDI SNC"));
            testworld::writeCounterparty(reg, 4, 9, QStringLiteral("F"), QStringLiteral("BIANCHI SRL"));
            const auto rec = [](const char *n, const char *name, const char *inv, const char *due, const char *h,
                                const char *g = "t:NO") {
                dueworld::Cells c;
                c.number = QString::fromLatin1(n);
                c.name = QString::fromLatin1(name);
                c.invoice = QString::fromLatin1(inv);
                c.due = QString::fromLatin1(due);
                c.h = QString::fromLatin1(h);
                c.g = QString::fromLatin1(g);
                return c;
            };
            store::Worksheet &in = book.sheet(QStringLiteral("Incassi"));
            dueworld::writeRecord(in, 2, 1, rec("n:7", "t:ROSSI SPA", "t:A1", "d:01/04/2009", "t:1.200,00"));
            dueworld::writeRecord(in, 3, 2, rec("n:7", "t:ROSSI SPA", "t:A2", "t:20/05/2009", "n:300"));
            dueworld::writeRecord(in, 4, 3, rec("n:8", "t:VERDI SNC", "t:A3", "d:01/03/2009", "n:50", "t:SI"));
            dueworld::writeRecord(book.sheet(QStringLiteral("Pagamenti")), 2, 1,
                                  rec("n:9", "t:BIANCHI SRL", "t:P1", "d:11/04/2009", "n:310"));
        })
    {
        provide<Scadenze>(FormId::Scadenze);
        provide<Situazione>(FormId::Situazione);
        provide<Stampe>(FormId::Stampe);
        provide<print::StampaP>(FormId::StampaP);
        provide<ledger::Entrata>(FormId::Entrata);
        session.printers = &printers;
    }
    print::PdfPrintTarget printers{dir.filePath(QStringLiteral("stampe")), {QStringLiteral("Ufficio")}};

    // The PDF the last save box named, read back.
    QString lastPdf()
    {
        for (auto it = dialogs.shown.rbegin(); it != dialogs.shown.rend(); ++it)
            if (it->isInput && it->text.endsWith(QLatin1String(".pdf")))
                return dueworld::pdfText(it->text);
        return QString();
    }
};

QStringList shownInvoices(const Scadenze &form)
{
    QStringList invoices;
    for (int row = 0; row < form.listModel()->rowCount(); ++row)
        invoices << form.listModel()->rowTexts(row)[DueListModel::ColInvoice];
    return invoices;
}

} // namespace

class TestDueForms : public QObject {
    Q_OBJECT
private slots:
    void scadenze();
    void rangeAndRefusals();
    void situazione();
    void stampe();
    void stampeListToPdf_data();
    void stampeListToPdf();
};

void TestDueForms::scadenze()
{
    World w;
    const QStringList before = testworld::workbookTexts(w.book());
    auto &form = w.form<Scadenze>(FormId::Scadenze);
    QVERIFY(w.openFromMenu(form, [&] { form.open(); }));
    QTRY_COMPARE(shownInvoices(form), (QStringList{"A1", "P1", "A2"}));
    QCOMPARE(form.listModel()->rowTexts(0)[DueListModel::ColDays], QStringLiteral("scaduta da 41 gg"));
    QCOMPARE(form.listModel()->rowTexts(2)[DueListModel::ColResidual], QStringLiteral("300,00"));

    // Filters: one ledger, the overdue, a search, a counterparty, the chart's bar.
    form.ComboLedger->setCurrentIndex(int(LedgerChoice::Incassi));
    QCOMPARE(shownInvoices(form), (QStringList{"A1", "A2"}));
    form.ComboPeriod->setCurrentIndex(int(Period::Scadute));
    QCOMPARE(shownInvoices(form), QStringList{"A1"});
    form.ComboLedger->setCurrentIndex(int(LedgerChoice::Entrambi));
    QCOMPARE(shownInvoices(form), (QStringList{"A1", "P1"}));
    QTest::keyClicks(form.TextSearch, "bianchi");
    QCOMPARE(shownInvoices(form), QStringList{"P1"});
    form.TextSearch->clear();
    form.ComboPeriod->setCurrentIndex(int(Period::TutteAperte));
    form.ComboCounterparty->setCurrentIndex(form.ComboCounterparty->findText(QStringLiteral("ROSSI SPA (7)")));
    QCOMPARE(shownInvoices(form), (QStringList{"A1", "A2"}));
    form.ComboCounterparty->setCurrentIndex(0);
    auto *series = qobject_cast<QHorizontalBarSeries *>(form.Chart->chart()->series().first());
    emit series->clicked(kChartBars - 2, series->barSets().first());   // May 2009, second from the top
    QCOMPARE(shownInvoices(form), QStringList{"A2"});
    emit series->clicked(kChartBars - 2, series->barSets().first());   // again: the whole period
    QCOMPARE(shownInvoices(form), (QStringList{"A1", "P1", "A2"}));
    form.List->sortByColumn(DueListModel::ColResidual, Qt::DescendingOrder);
    QCOMPARE(shownInvoices(form), (QStringList{"A1", "P1", "A2"}));
    form.List->sortByColumn(DueListModel::ColInvoice, Qt::DescendingOrder);
    QCOMPARE(shownInvoices(form), (QStringList{"P1", "A2", "A1"}));
    QVERIFY(form.LabelTotals->text().contains(QStringLiteral("Incassi: aperte 2 per 1.500,00 € - scadute 1 per 1.200,00 €")));

    // The PDF holds the rows shown, in their order, the criteria and the totals.
    form.ComboPeriod->setCurrentIndex(int(Period::Scadute));
    press(form.ButtonPdf);
    const QString pdf = w.lastPdf();
    QVERIFY2(pdf.contains(QStringLiteral("Incassi e Pagamenti - scadute - tutti i clienti e fornitori")), qPrintable(pdf));
    QVERIFY(pdf.indexOf(QStringLiteral("P1")) < pdf.indexOf(QStringLiteral("A1")));
    QVERIFY(!pdf.contains(QStringLiteral("A2")));
    QVERIFY(pdf.contains(QStringLiteral("Pagamenti: aperte 1 per 310,00 €")));
    QVERIFY(pdf.contains(QStringLiteral("Pagina 1 di 1")));
    // Stampa: the same pages on the printer.
    press(form.ButtonStampa);
    QCOMPARE(int(w.printers.jobs().size()), 1);
    const QString printed = dueworld::pdfText(w.printers.jobs().front().path);
    QVERIFY(printed.contains(QStringLiteral("Incassi e Pagamenti - scadute")) && printed.contains(QStringLiteral("P1")));

    QCOMPARE(testworld::workbookTexts(w.book()), before);

    // Enter on A1 opens it in its entry form; once collected and changed, the list comes
    // back without it, with the same filters.
    form.List->setCurrentIndex(form.listModel()->index(1, 0));
    QTest::keyClick(form.List, Qt::Key_Return);
    auto &entrata = w.form<ledger::Entrata>(FormId::Entrata);
    QTRY_VERIFY(entrata.isVisible());
    QVERIFY(!form.isVisible());
    QCOMPARE(entrata.Text1->text(), QStringLiteral("A1"));
    entrata.Check2->setChecked(true);
    press(entrata.XPButton3);
    QTRY_VERIFY(form.isVisible());
    QTRY_COMPARE(shownInvoices(form), QStringList{"P1"});
    QCOMPARE(form.filter().period, Period::Scadute);
}

// A period from one date to another; no printer, or a PDF that cannot be written: the user is
// told, and nothing is printed or left behind.
void TestDueForms::rangeAndRefusals()
{
    World w;
    w.session.printers = nullptr;
    auto &form = w.form<Scadenze>(FormId::Scadenze);
    QVERIFY(w.openFromMenu(form, [&] { form.open(); }));
    form.ComboPeriod->setCurrentIndex(int(Period::Intervallo));
    QVERIFY(form.DateFrom->isEnabled());
    form.DateFrom->setDate(QDate(2009, 4, 10));
    form.DateTo->setDate(QDate(2009, 5, 31));
    QTRY_COMPARE(shownInvoices(form), (QStringList{"P1", "A2"}));

    press(form.ButtonStampa);
    QCOMPARE(w.dialogs.last().text, QStringLiteral("Nessuna stampante installata: potete salvare il documento con \"PDF\"."));
    const QString missing = w.dir.filePath(QStringLiteral("manca/scadenze.pdf"));
    w.dialogs.queueSavePath(missing);
    press(form.ButtonPdf);
    QVERIFY(w.dialogs.last().text.startsWith(QStringLiteral("Impossibile scrivere il file")));
    QVERIFY(!QFile::exists(missing));
}

void TestDueForms::situazione()
{
    World w;
    records::Office office;
    office.name = QStringLiteral("STUDIO ALFA");
    office.iban = QStringLiteral("IT60X0542811101000000123456");
    records::writeOffice(w.book(), office);
    auto &form = w.form<Situazione>(FormId::Situazione);
    QVERIFY(w.openFromMenu(form, [&] { form.open(); }));
    QTRY_COMPARE(form.ListSoggetti->count(), 3);
    QTest::keyClicks(form.TextCerca, "ross");
    QCOMPARE(form.ListSoggetti->count(), 1);
    form.ListSoggetti->setCurrentRow(0);
    QVERIFY(form.LabelTotals->text().contains(QStringLiteral("Fatturato 1.500,00 € - riscosso 0,00 € - residuo 1.500,00 €")));
    QVERIFY(form.LabelTotals->text().contains(QStringLiteral("Nessun sollecito inviato")));
    QVERIFY(form.ButtonSollecito->isEnabled());

    form.ComboDestinazione->setCurrentIndex(1);   // PDF
    press(form.ButtonEstratto);
    QString pdf = w.lastPdf();
    QVERIFY2(pdf.contains(QStringLiteral("STUDIO ALFA")) && pdf.contains(QStringLiteral("A2")), qPrintable(pdf));

    press(form.ButtonSollecito);
    pdf = w.lastPdf();
    QVERIFY2(pdf.contains(QStringLiteral("primo sollecito")) && pdf.contains(QStringLiteral("A1")), qPrintable(pdf));
    QVERIFY(!pdf.contains(QStringLiteral("A2")));
    QVERIFY(pdf.contains(QStringLiteral("Totale da versare: 1.200,00 €")));
    QVERIFY(pdf.contains(office.iban));
    const std::vector<records::ReminderEntry> sent = records::readReminders(w.book());
    QCOMPARE(int(sent.size()), 1);
    QCOMPARE(sent[0].counterpartyNumber, QStringLiteral("7"));
    QCOMPARE(sent[0].invoices, QStringLiteral("A1"));
    QVERIFY(form.LabelTotals->text().contains(QStringLiteral("Ultimo sollecito: 12/05/2009")));
    QCOMPARE(form.ComboLivello->currentText(), QStringLiteral("Secondo sollecito"));

    // A cancelled save box sends and records nothing.
    w.dialogs.queueSavePath(std::nullopt);
    press(form.ButtonSollecito);
    QCOMPARE(int(records::readReminders(w.book()).size()), 1);
    // A supplier gets no reminder.
    form.TextCerca->clear();
    form.ListSoggetti->setCurrentRow(2);
    QVERIFY(form.LabelSoggetto->text().startsWith(QStringLiteral("Fornitore BIANCHI")));
    QVERIFY(!form.ButtonSollecito->isEnabled());
}

void TestDueForms::stampe()
{
    World w;
    const QStringList before = testworld::workbookTexts(w.book());
    auto &form = w.form<Stampe>(FormId::Stampe);
    QVERIFY(w.openFromMenu(form, [&] { form.open(); }));
    press(form.ButtonPagamenti);
    auto &stampa = w.form<print::StampaP>(FormId::StampaP);
    QVERIFY(stampa.isVisible());
    QCOMPARE(stampa.Text1->text(), QStringLiteral("2"));

    form.ComboDestinazione->setCurrentIndex(1);
    form.ComboPeriod->setCurrentIndex(int(Period::Entro30));
    press(form.ButtonScadenze);
    const QString pdf = w.lastPdf();
    QVERIFY2(pdf.contains(QStringLiteral("in scadenza entro 30 giorni")) && pdf.contains(QStringLiteral("A2")), qPrintable(pdf));
    QVERIFY(!pdf.contains(QStringLiteral("A3")));
    QCOMPARE(testworld::workbookTexts(w.book()), before);
}

// A list of the print form written as a PDF file: the same questions, the pages said Yes to
// in one file, offered to open; a refusal writes nothing; a folder that takes no file is told.
void TestDueForms::stampeListToPdf_data()
{
    QTest::addColumn<QString>("pageAnswers");   // Y or N, one a page question
    QTest::addColumn<bool>("folderThere");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("lastBox");

    QTest::newRow("page said Yes: the list in one file") << "Y" << true << true << "PDF salvato in";
    QTest::newRow("first page refused: no file, nothing told") << "N" << true << false << "Vuoi Procedere";
    QTest::newRow("folder missing: told, nothing written") << "Y" << false << false << "Impossibile scrivere";
    QTest::newRow("empty ledger: refused before any file is asked for") << "" << true << false << "in assenza di Registrazioni";
}

void TestDueForms::stampeListToPdf()
{
    QFETCH(QString, pageAnswers);
    QFETCH(bool, folderThere);
    QFETCH(bool, written);
    QFETCH(QString, lastBox);

    World w;
    if (pageAnswers.isEmpty())
        w.book().sheet(QStringLiteral("Incassi")).range(QStringLiteral("A2:S4")).clearContents();
    auto &form = w.form<Stampe>(FormId::Stampe);
    QVERIFY(w.openFromMenu(form, [&] { form.open(); }));
    form.ComboDestinazione->setCurrentIndex(1);
    w.dialogs.clear();
    const QString folder = w.dir.filePath(QStringLiteral("pdf"));
    if (folderThere)
        QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("incassi.pdf"));
    w.dialogs.queueSavePath(path);
    w.dialogs.queueAnswer(controls::Answer::No);   // landscape
    for (QChar answer : pageAnswers)
        w.dialogs.queueAnswer(answer == u'Y' ? controls::Answer::Yes : controls::Answer::No);
    press(form.ButtonIncassi);

    QVERIFY(!w.form<print::StampaP>(FormId::StampaP).isVisible());
    QVERIFY2(w.dialogs.last().text.contains(lastBox), qPrintable(w.dialogs.last().text));
    if (pageAnswers.isEmpty())
        QCOMPARE(int(w.dialogs.shown.size()), 1);
    QCOMPARE(QFileInfo::exists(path), written);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), written ? 1 : 0);   // no temporary left
    if (written) {
        const QString text = dueworld::pdfText(path);
        for (const char *shown : {"Elenco Incassi", "12/05/2009", "A1", "A2", "A3", "1.200,00"})
            QVERIFY2(text.contains(QLatin1String(shown)), shown);
    }
}

QTEST_MAIN(TestDueForms)
#include "tst_dueforms.moc"
