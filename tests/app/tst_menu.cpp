#include "support/programworld.h"

#include "app/contavio.h"
#include "browser/visualizza.h"
#include "dueviews/scadenze.h"
#include "controls/xpbutton.h"
#include "store/file/savefile.h"
#include "ledger/entrata.h"
#include "ledger/pagamenti.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cerrno>

using testworld::ProgramWorld;
using controls::FormId;

namespace {

// Started, terms accepted, the menu showing.
app::Contavio *startToMenu(ProgramWorld &h)
{
    auto book = testworld::bareBook({QStringLiteral("Anagrafe"), QStringLiteral("Incassi"), QStringLiteral("Pagamenti")});
    store::Worksheet &anagrafe = book->sheet(QStringLiteral("Anagrafe"));
    testworld::writeCounterparty(anagrafe, 2, 1, QStringLiteral("C"), QStringLiteral("ROSSI MARIO"));
    testworld::writeCounterparty(anagrafe, 3, 2, QStringLiteral("F"), QStringLiteral("BIANCHI SRL"));
    anagrafe.cells(1, 256).setValue(3.0);
    h.write(*book);
    if (h.load() != app::Avvio::LoadResult::Ready)
        return nullptr;
    QTest::mouseClick(h.avvio()->XPButton2, Qt::LeftButton);
    return qobject_cast<app::Contavio *>(h.forms->form(FormId::Contavio));
}

QList<FormId> loadedOthers(ProgramWorld &h)
{
    QList<FormId> loaded;
    for (FormId id : {FormId::Anagrafe, FormId::Entrata, FormId::Pagamenti, FormId::Visualizza, FormId::StampaP}) {
        if (h.forms->isLoaded(id))
            loaded << id;
    }
    return loaded;
}

} // namespace

class TestMenu : public QObject {
    Q_OBJECT

private slots:
    void everyFormFitsTheSmallestScreen();
    void buttons_data();
    void buttons();
    void layoutInPixels();
    void closeBoxRefused();
    void clockLine();
    void buttonsWithoutAction_data();
    void buttonsWithoutAction();
    void inserisci_data();
    void inserisci();
    void registryAndBrowser_data();
    void registryAndBrowser();
    void dueViews_data();
    void dueViews();
    void chiudiSavesAndEnds();
    void chiudiKeepsRunningWhenSaveFails();
};

void TestMenu::everyFormFitsTheSmallestScreen()
{
    ProgramWorld h;
    app::Contavio *menu = startToMenu(h);
    QVERIFY(menu);
    // 1024x768 less a panel: every form, with its title bar, fits inside.
    const QSize smallest(1024, 768 - 32);
    for (FormId id : {FormId::Avvio, FormId::Contavio, FormId::Anagrafe, FormId::Entrata, FormId::Pagamenti,
                      FormId::Visualizza, FormId::StampaP, FormId::Utilita, FormId::Scadenze, FormId::Situazione,
                      FormId::Stampe}) {
        QWidget *form = h.forms->form(id);
        QVERIFY(form);
        const QSize framed = form->size() + controls::kFrameAllowance;
        QVERIFY2(framed.width() <= smallest.width() && framed.height() <= smallest.height(),
                 qPrintable(form->objectName()));
    }
    // Opened from the menu, a form is centred on the menu's screen and inside it.
    auto *registry = qobject_cast<controls::Form *>(h.forms->form(FormId::Anagrafe));
    registry->hide();
    registry->move(-5000, -5000);
    registry->showForm();
    const QRect available = menu->screen()->availableGeometry();
    const QRect frame = registry->frameGeometry();
    if (frame.width() + controls::kFrameAllowance.width() <= available.width()
        && frame.height() + controls::kFrameAllowance.height() <= available.height())
        QVERIFY(available.contains(frame));
    QVERIFY(qAbs(frame.center().x() - available.center().x()) <= controls::kFrameAllowance.width());
}

void TestMenu::buttons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("left");   // twips
    QTest::addColumn<int>("top");
    QTest::newRow("XPButton2") << "XPButton2" << "Inserisci Incassi" << 1080 << 1440;
    QTest::newRow("XPButton1") << "XPButton1" << "Inserisci Pagamenti" << 1080 << 2040;
    QTest::newRow("XPButton4") << "XPButton4" << "Contavio Clienti/Fornitori" << 1080 << 2640;
    QTest::newRow("XPButton11") << "XPButton11" << "Situazione Clienti/Fornitori" << 1080 << 3240;
    QTest::newRow("XPButton5") << "XPButton5" << "Contavio Incassi" << 4440 << 1440;
    QTest::newRow("XPButton6") << "XPButton6" << "Contavio Pagamenti" << 4440 << 2040;
    QTest::newRow("XPButton7") << "XPButton7" << "Scadenze/Insoluti" << 4440 << 2640;
    QTest::newRow("XPButton12") << "XPButton12" << "" << 4440 << 3240;
    QTest::newRow("XPButton8") << "XPButton8" << "Stampe" << 7680 << 1440;
    QTest::newRow("XPButton9") << "XPButton9" << "Utilità/Causali" << 7680 << 2040;
    QTest::newRow("XPButton10") << "XPButton10" << "" << 7680 << 2640;
    QTest::newRow("XPButton13") << "XPButton13" << "" << 7680 << 3240;
    QTest::newRow("XPButton3") << "XPButton3" << "Chiudi" << 7680 << 3840;
}

void TestMenu::buttons()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(int, left);
    QFETCH(int, top);
    ProgramWorld h;
    app::Contavio menu(h.session);
    QCOMPARE(menu.windowTitle(), QStringLiteral("Contavio"));
    QCOMPARE(menu.findChildren<controls::XPButton *>().size(), 13);
    auto *button = menu.findChild<controls::XPButton *>(name);
    QVERIFY(button);
    QCOMPARE(button->caption(), caption);
    QCOMPARE(button->geometry(), QRect(left / 15, top / 15, 2565 / 15, 315 / 15));
    QVERIFY(button->isEnabled());
    QCOMPARE(button->buttonType(), 3);
    menu.show();
    QVERIFY(button->isVisible());
    QVERIFY(menu.rect().contains(button->geometry()));
}

void TestMenu::layoutInPixels()
{
    ProgramWorld h;
    app::Contavio menu(h.session);
    menu.show();
    // 11280 x 6150 twips, 15 to a pixel: the clock line beside "Chiudi", the notes below.
    QCOMPARE(menu.size(), QSize(752, 410));
    QCOMPARE(menu.Label15->geometry(), QRect(72, 256, 395, 21));
    QCOMPARE(int(menu.notes.size()), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(menu.notes[size_t(i)]->geometry(), QRect(72, 304 + 18 * i, 611, 17));
    // Nothing the user reads is cut off by the window or hidden under another control.
    const QList<QWidget *> shown = menu.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QVERIFY(shown.size() >= 13 + 4 + 2);
    for (QWidget *w : shown) {
        QVERIFY2(menu.rect().contains(w->geometry()), qPrintable(w->objectName()));
        for (QWidget *other : shown)
            if (other != w)
                QVERIFY2(!w->geometry().intersects(other->geometry()),
                         qPrintable(w->objectName() + QStringLiteral(" over ") + other->objectName()));
    }
}

void TestMenu::closeBoxRefused()
{
    ProgramWorld h;
    app::Contavio *menu = startToMenu(h);
    QVERIFY(menu);
    QVERIFY(menu->isVisible());
    QVERIFY(!menu->close());
    QVERIFY(menu->isVisible());
    QVERIFY(h.exits.empty());
    QVERIFY(h.session.server->activeWorkbook());
}

void TestMenu::clockLine()
{
    ProgramWorld h;
    app::Contavio menu(h.session);
    QCOMPARE(menu.Timer2->interval(), 1000);
    QVERIFY(menu.Timer2->isActive());
    menu.tick();
    QCOMPARE(menu.Label15->text(), QStringLiteral("Ore...14:05:09   del   07/12/2026"));
    // The timer keeps it current.
    h.clock.set(QDateTime(QDate(2027, 1, 3), QTime(8, 0, 1)));
    QTRY_COMPARE_WITH_TIMEOUT(menu.Label15->text(), QStringLiteral("Ore...08:00:01   del   03/01/2027"), 3000);
    // The four dated notes.
    QCOMPARE(int(menu.notes.size()), 4);
    for (QLabel *note : menu.notes)
        QVERIFY(QRegularExpression(QStringLiteral("^agg\\. \\d\\d/\\d\\d/\\d{4} ")).match(note->text()).hasMatch());
}

void TestMenu::buttonsWithoutAction_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"XPButton12", "XPButton10", "XPButton13"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestMenu::buttonsWithoutAction()
{
    QFETCH(QString, name);
    ProgramWorld h;
    app::Contavio *menu = startToMenu(h);
    QVERIFY(menu);
    const QStringList before = testworld::workbookTexts(h.session.workbook());
    const QByteArray file = h.bytes();
    auto *button = menu->findChild<controls::XPButton *>(name);
    QVERIFY(button);
    QVERIFY(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    // Nothing in the workbook, on disk, or on the screen changed.
    QCOMPARE(testworld::workbookTexts(h.session.workbook()), before);
    QCOMPARE(h.bytes(), file);
    QVERIFY(h.session.server->activeWorkbook());
    QVERIFY(menu->isVisible());
    QCOMPARE(loadedOthers(h), QList<FormId>{});
    QVERIFY(h.dialogs.shown.empty());
    QVERIFY(h.exits.empty());
}

void TestMenu::inserisci_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("payables");
    QTest::newRow("Inserisci Incassi") << "XPButton2" << false;
    QTest::newRow("Inserisci Pagamenti") << "XPButton1" << true;
}

void TestMenu::inserisci()
{
    QFETCH(QString, button);
    QFETCH(bool, payables);
    ProgramWorld h;
    app::Contavio *menu = startToMenu(h);
    QVERIFY(menu);
    auto *form = qobject_cast<ledger::LedgerForm *>(h.forms->form(payables ? FormId::Pagamenti : FormId::Entrata));
    QVERIFY(form);
    // Left in change mode by an earlier visit.
    form->setButtonsForChange();
    QTest::mouseClick(menu->findChild<controls::XPButton *>(button), Qt::LeftButton);
    QVERIFY(form->isVisible());
    QVERIFY(!menu->isVisible());
    QVERIFY(form->XPButton4->isEnabled());
    QVERIFY(!form->XPButton3->isEnabled());
    QVERIFY(!form->XPButton6->isEnabled());
    QVERIFY(!h.forms->isLoaded(payables ? FormId::Entrata : FormId::Pagamenti));
}

void TestMenu::dueViews_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("form");
    QTest::newRow("Situazione Clienti/Fornitori") << "XPButton11" << int(FormId::Situazione);
    QTest::newRow("Scadenze/Insoluti") << "XPButton7" << int(FormId::Scadenze);
    QTest::newRow("Stampe") << "XPButton8" << int(FormId::Stampe);
    QTest::newRow("the overdue line") << "LabelScaduti" << int(FormId::Scadenze);
}

// Each opens its form and hides the menu; looking changes nothing in the workbook.
void TestMenu::dueViews()
{
    QFETCH(QString, button);
    QFETCH(int, form);
    ProgramWorld h;
    app::Contavio *menu = startToMenu(h);
    QVERIFY(menu);
    QCOMPARE(menu->LabelScaduti->text(), QStringLiteral("Scaduti: nessun incasso e nessun pagamento"));
    const QStringList before = testworld::workbookTexts(h.session.workbook());
    QTest::mouseClick(menu->findChild<QWidget *>(button), Qt::LeftButton);
    QWidget *opened = h.forms->form(FormId(form));
    QTRY_VERIFY(opened->isVisible());
    QVERIFY(!menu->isVisible());
    QCOMPARE(testworld::workbookTexts(h.session.workbook()), before);
    if (button == QLatin1String("LabelScaduti"))
        QCOMPARE(qobject_cast<dueviews::Scadenze *>(opened)->filter().period, dueviews::Period::Scadute);
}

void TestMenu::registryAndBrowser_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("form");
    QTest::addColumn<QString>("mode");
    QTest::newRow("registry") << "XPButton4" << int(FormId::Anagrafe) << QString();
    QTest::newRow("collections browser") << "XPButton5" << int(FormId::Visualizza) << QStringLiteral("1");
    QTest::newRow("payments browser") << "XPButton6" << int(FormId::Visualizza) << QStringLiteral("2");
    QTest::newRow("Utilità/Causali") << "XPButton9" << int(FormId::Utilita) << QString();
}

void TestMenu::registryAndBrowser()
{
    QFETCH(QString, button);
    QFETCH(int, form);
    QFETCH(QString, mode);
    const auto id = FormId(form);
    ProgramWorld h;
    app::Contavio *menu = startToMenu(h);
    QVERIFY(menu);
    QTest::mouseClick(menu->findChild<controls::XPButton *>(button), Qt::LeftButton);
    QVERIFY(h.forms->isLoaded(id));
    QWidget *shown = h.forms->form(id);
    QVERIFY(shown);
    QVERIFY(shown->isVisible());
    QVERIFY(!menu->isVisible());
    if (auto *browser = qobject_cast<browser::Visualizza *>(shown))
        QCOMPARE(browser->Text1->text(), mode);
    else
        QVERIFY(mode.isEmpty());
}

void TestMenu::chiudiSavesAndEnds()
{
    ProgramWorld h;
    app::Contavio *menu = startToMenu(h);
    QVERIFY(menu);
    store::Workbook &book = h.session.workbook();
    book.sheet(QStringLiteral("Incassi")).cells(2, 1).setValue(1.0);
    book.sheet(QStringLiteral("Incassi")).cells(2, 3).setValue(QStringLiteral("ROSSI MARIO"));
    book.sheet(QStringLiteral("Incassi")).cells(2, 6).setValue(QStringLiteral("12/05/2009"));
    const QByteArray before = h.bytes();

    QTest::mouseClick(menu->XPButton3, Qt::LeftButton);
    QCOMPARE(h.exits, std::vector<int>{0});
    QVERIFY(h.dialogs.shown.empty());
    QCOMPARE(h.session.server->displayAlerts, false);
    QVERIFY(!h.session.server->running());
    QCOMPARE(h.session.server->activeWorkbook(), nullptr);
    QVERIFY(h.bytes() != before);

    auto saved = h.reread();
    store::Worksheet &incassi = saved->sheet(QStringLiteral("Incassi"));
    QCOMPARE(incassi.textAt(2, 3), QStringLiteral("ROSSI MARIO"));
    QCOMPARE(incassi.valueAt(2, 6).type, store::Variant::Type::Date);
    QCOMPARE(incassi.textAt(2, 6), QStringLiteral("12/05/2009"));
    QCOMPARE(saved->sheet(QStringLiteral("Anagrafe")).textAt(3, 3), QStringLiteral("BIANCHI SRL"));
    QCOMPARE(saved->sheet(QStringLiteral("Anagrafe")).valueAt(1, 256).number, 3.0);
}

void TestMenu::chiudiKeepsRunningWhenSaveFails()
{
    ProgramWorld h;
    app::Contavio *menu = startToMenu(h);
    QVERIFY(menu);
    h.session.workbook().sheet(QStringLiteral("Anagrafe")).cells(4, 3).setValue(QStringLiteral("VERDI LUCA"));
    store::setSaveFaultHook([](const char *step) { return QByteArray(step) == "rename" ? ENOSPC : 0; });

    QTest::mouseClick(menu->XPButton3, Qt::LeftButton);   // "leave without saving ?" answered No
    store::setSaveFaultHook({});
    QVERIFY(h.exits.empty());
    QVERIFY(menu->isVisible());
    QVERIFY(h.session.server->running());
    QVERIFY(h.session.server->activeWorkbook());
    QCOMPARE(h.dialogs.shown.size(), size_t(2));
    QCOMPARE(h.dialogs.shown[0].kind, controls::BoxKind::Critical);
    QCOMPARE(h.dialogs.shown[0].title, QStringLiteral("Contavio"));
    QVERIFY(h.dialogs.shown[0].text.startsWith(QStringLiteral("Impossibile salvare il file ") + h.path() + QLatin1Char('.')));
    QCOMPARE(h.dialogs.shown[1].kind, controls::BoxKind::Question);

    // Retried once the way is clear: nothing of the session was lost.
    QTest::mouseClick(menu->XPButton3, Qt::LeftButton);
    QCOMPARE(h.exits, std::vector<int>{0});
    QCOMPARE(h.reread()->sheet(QStringLiteral("Anagrafe")).textAt(4, 3), QStringLiteral("VERDI LUCA"));
}

QTEST_MAIN(TestMenu)
#include "tst_menu.moc"
