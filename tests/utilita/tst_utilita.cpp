// The form "Utilità/Causali" through its widgets: nothing added at opening, the office's data
// and a causale saved into their sheets, files chosen, preview, confirmation and report,
// and "Chiudi" back to the menu.
#include "controls/xpbutton.h"
#include "einvoice/invoicexml.h"
#include "ledger/entrata.h"
#include "support/formworld.h"
#include "utilita/utilita.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QtTest>

using testworld::press;

class TstUtilita : public QObject {
    Q_OBJECT
private slots:
    void previewConfirmReport();
};

void TstUtilita::previewConfirmReport()
{
    testworld::FormWorld w;
    w.provide<utilita::Utilita>(controls::FormId::Utilita);
    auto &form = w.form<utilita::Utilita>(controls::FormId::Utilita);
    QVERIFY(w.openFromMenu(form));
    QCOMPARE(testworld::sheetNames(w.book()), QStringList({"Anagrafe", "Incassi", "Pagamenti"}));
    QCOMPARE(form.List1->count(), 6);

    // Without the office's identity the preview asks for it first.
    QTemporaryDir dir;
    testinvoice::Draft s;
    s.details = {testinvoice::detail("MP05", "50.00", "2024-04-30"), testinvoice::detail("MP05", "72.00", "2024-05-30")};
    QFile f(dir.filePath("a.xml"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(testinvoice::bytes(s));
    f.close();
    form.Tab1->setCurrentIndex(2);
    w.dialogs.queueFiles({dir.filePath("a.xml")});
    press(form.XPButton7);
    QCOMPARE(form.List2->count(), 1);
    press(form.XPButton9);
    QVERIFY(w.dialogs.last().text.contains("partita IVA"));
    QCOMPARE(form.Tab1->currentIndex(), 0);

    QTest::keyClicks(form.studio[1], "IT01234567890");   // letters are not taken
    QCOMPARE(form.studio[1]->text(), QStringLiteral("01234567890"));
    press(form.XPButton1);
    QCOMPARE(w.dialogs.last().text, QStringLiteral("Dati dello studio salvati."));

    form.Tab1->setCurrentIndex(1);
    form.Text11->setText(QStringLiteral("Bancomat"));
    press(form.XPButton2);
    QCOMPARE(w.sheet("Causali").textAt(8, 1), QStringLiteral("Bancomat"));
    QCOMPARE(testworld::sheetNames(w.book()), QStringList({"Anagrafe", "Incassi", "Pagamenti", "Studio", "Causali"}));
    // The entry forms offer the list, and typing stays free.
    w.provide<ledger::Entrata>(controls::FormId::Entrata);
    auto &entrata = w.form<ledger::Entrata>(controls::FormId::Entrata);
    entrata.activate();
    QCOMPARE(entrata.Combo4->count(), 7);
    QCOMPARE(entrata.Combo2->itemText(6), QStringLiteral("Bancomat"));
    QVERIFY(entrata.Combo3->isEditable());

    form.Tab1->setCurrentIndex(2);
    press(form.XPButton9);
    QVERIFY2(form.Text12->toPlainText().startsWith("Anteprima: 1 fatture da importare (0 righe in Incassi, 2 in Pagamenti), "
                                                   "1 nuovi clienti/fornitori, 0 file saltati."), qPrintable(form.Text12->toPlainText()));
    QVERIFY(form.XPButton10->isEnabled());
    QCOMPARE(w.sheet("Pagamenti").lastRow(), 1);   // nothing written by the preview
    w.dialogs.queueAnswer(controls::Answer::Yes);
    press(form.XPButton10);
    QCOMPARE(w.dialogs.last().text, QStringLiteral("Importazione conclusa: 1 fatture, 2 righe."));
    QVERIFY(form.Text12->toPlainText().startsWith("Fatture importate: 1\nRighe in Incassi: 0; righe in Pagamenti: 2"));
    QCOMPARE(testworld::rowTexts(w.sheet("Pagamenti"), 3, 8).join('|'), "2|1|FORNITORE ALFA SRL|FA/1|15/03/2024|30/05/2024|NO|72,00");
    QVERIFY(!form.XPButton10->isEnabled());

    press(form.XPButton11);
    QVERIFY(!form.isVisible());
    QVERIFY(w.menu().isVisible());
}

QTEST_MAIN(TstUtilita)
#include "tst_utilita.moc"
