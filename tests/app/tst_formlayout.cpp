// Where the forms put their controls, as the user sees them: each caption over the field it
// names, the fields of one line side by side in their order, the buttons in their row.

#include "app/avvio.h"
#include "app/contavio.h"
#include "browser/visualizza.h"
#include "controls/form.h"
#include "controls/textfit.h"
#include "print/stampap.h"
#include "controls/clock.h"
#include "support/fakes.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "ledger/entrata.h"
#include "ledger/pagamenti.h"
#include "registry/anagrafe.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QHeaderView>
#include <QTreeView>


namespace {

struct Session {
    controls::FakeDialogs dialogs;
    controls::FixedClock clock{QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9))};
    controls::Session session;
    Session()
    {
        session.dialogs = &dialogs;
        session.clock = &clock;
    }
};

void showLaidOut(QWidget *form)
{
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
}

QWidget *child(QWidget *form, const char *name)
{
    auto *w = form->findChild<QWidget *>(QLatin1String(name));
    if (!w)
        qWarning("no control %s", name);
    return w;
}

// The caption nearest above `field` that starts where the field starts.
QString captionAbove(QWidget *form, QWidget *field)
{
    const QLabel *best = nullptr;
    for (const QLabel *label : form->findChildren<QLabel *>()) {
        if (!label->isVisible() || label->geometry().left() != field->geometry().left()
            || label->geometry().bottom() >= field->geometry().top())
            continue;
        if (!best || label->geometry().bottom() > best->geometry().bottom())
            best = label;
    }
    return best ? best->text() : QStringLiteral("<none>");
}

std::unique_ptr<ledger::LedgerForm> entryForm(bool payables, controls::Session &session)
{
    if (payables)
        return std::make_unique<ledger::Pagamenti>(session);
    return std::make_unique<ledger::Entrata>(session);
}

// The named controls stand on one line, left to right in the order given.
void checkLine(QWidget *form, const std::vector<const char *> &names)
{
    QWidget *first = child(form, names.front());
    QVERIFY(first);
    for (size_t i = 1; i < names.size(); ++i) {
        QWidget *previous = child(form, names[i - 1]);
        QWidget *next = child(form, names[i]);
        QVERIFY(previous && next);
        const int middle = first->geometry().center().y();
        QVERIFY2(next->geometry().top() <= middle && next->geometry().bottom() >= middle, names[i]);
        QVERIFY2(next->geometry().left() > previous->geometry().right(), names[i]);
    }
}

} // namespace

class TestFormLayout : public QObject {
    Q_OBJECT
private slots:
    void registryCaptions();
    void registryLines();
    void entryFormCaptions();
    void entryFormRows();
    void browserRows();
    void textFits_data();
    void textFits();
};

void TestFormLayout::registryCaptions()
{
    Session s;
    Anagrafe form(s.session);
    showLaidOut(&form);
    const struct { const char *field; const char *caption; } captions[] = {
        {"Combo4", "Seleziona Cliente/Fornitore"}, {"Text18", "Data"},
        {"Text26", "INSERISCI-Ragione Sociale/Cognome-Nome"}, {"Text10", "ID Progressivo"},
        {"Text25", "Indirizzo"}, {"Text24", "C.A.P."}, {"Text23", "Località"}, {"Text22", "(PR)"},
        {"Text21", "Telefono"}, {"Text20", "Fax"}, {"Text15", "Cellullare"}, {"Text16", "E-Mail"},
        {"Text19", "Codice Fiscale"}, {"Text2", "Partita IVA"},
        {"Text3", "Referente/Legale Rappresentante"}, {"Text1", "IBAN"},
    };
    for (const auto &c : captions) {
        QWidget *field = child(&form, c.field);
        QVERIFY(field);
        QCOMPARE(captionAbove(&form, field), QString::fromUtf8(c.caption));
        // The caption names its field for the keyboard too.
        bool buddied = false;
        for (const QLabel *label : form.findChildren<QLabel *>())
            buddied = buddied || (label->buddy() == field && label->text() == QString::fromUtf8(c.caption));
        QVERIFY2(buddied, c.field);
    }
    // "Annotazioni" stands right of the IBAN, over the notes that take the whole width.
    const QLabel *notes = nullptr;
    for (const QLabel *label : form.findChildren<QLabel *>())
        if (label->text() == QLatin1String("Annotazioni"))
            notes = label;
    QVERIFY(notes);
    QCOMPARE(notes->buddy(), form.Text12);
    QVERIFY(notes->geometry().left() > form.Text1->geometry().right());
    QVERIFY(notes->geometry().bottom() < form.Text12->geometry().top());
    QCOMPARE(form.Text12->geometry().left(), form.Combo4->geometry().left());
    QVERIFY(form.Text12->geometry().right() >= form.Text10->geometry().right());
}

void TestFormLayout::registryLines()
{
    Session s;
    Anagrafe form(s.session);
    showLaidOut(&form);
    checkLine(&form, {"XPButton4", "XPButton1", "XPButton2", "XPButton3", "XPButton5"});
    checkLine(&form, {"Check1", "Check2", "Check7", "Check6"});
    checkLine(&form, {"Combo4", "Text18", "Check4"});
    const std::vector<std::vector<const char *>> lines = {
        {"Text26", "Text10"},
        {"Text25", "Text24", "Text23", "Text22"},
        {"Text21", "Text20", "Text15", "Text16"},
        {"Text19", "Text2", "Text3"},
        {"Text1"},
    };
    int above = form.Combo4->geometry().bottom();
    for (const auto &line : lines) {
        checkLine(&form, line);
        QWidget *first = child(&form, line.front());
        QVERIFY2(first->geometry().top() > above, line.front());
        above = first->geometry().bottom();
    }
    QVERIFY(form.Text12->geometry().top() > above);
    QVERIFY(form.Label14->geometry().top() > form.Text12->geometry().bottom());
    // The clock at the right of the buttons.
    QVERIFY(form.Label1->geometry().left() > form.XPButton5->geometry().right());
}

void TestFormLayout::entryFormCaptions()
{
    // Receivables, then payables.
    for (const bool payables : {false, true}) {
        Session s;
        const std::unique_ptr<ledger::LedgerForm> form = entryForm(payables, s.session);
        showLaidOut(form.get());
        const QString means = payables ? QStringLiteral("Pagato con ") : QStringLiteral("Riscosso con ");
        const struct { const char *field; QString caption; } captions[] = {
            // Label1 as the activation on show leaves it.
            {"Combo1", payables ? QStringLiteral("Seleziona Fornitore") : QStringLiteral("Seleziona Cliente")},
            {"Text1", QStringLiteral("Numero Fattura")}, {"Text2", QStringLiteral("Data 00/00/0000")},
            {"Text3", QStringLiteral("Scadenza")}, {"Text10", QStringLiteral("ID ")},
            {"Text12", QStringLiteral("ID Cliente")},
            {"Text4", QStringLiteral("Importo ")}, {"Text5", QStringLiteral("Data")}, {"Combo2", means},
            {"Text7", QStringLiteral("Importo ")}, {"Text6", QStringLiteral("Data")}, {"Combo3", means},
            {"Text9", QStringLiteral("Importo ")}, {"Text8", QStringLiteral("Data")}, {"Combo4", means},
        };
        for (const auto &c : captions) {
            QWidget *field = child(form.get(), c.field);
            QVERIFY(field);
            QCOMPARE(captionAbove(form.get(), field), c.caption);
        }
    }
}

void TestFormLayout::entryFormRows()
{
    // Receivables, then payables.
    for (const bool payables : {false, true}) {
        Session s;
        const std::unique_ptr<ledger::LedgerForm> form = entryForm(payables, s.session);
        showLaidOut(form.get());
        const std::vector<std::vector<const char *>> rows = {
            {"Combo1", "XPButton1"},
            {"Text1", "Check1", "Text2", "Check8", "Text3", "Text10", "Text12"},
            {"Text4", "Check2", "Check3", "Text5", "Combo2"},
            {"Text7", "Check4", "Check5", "Text6", "Combo3"},
            {"Text9", "Check6", "Check7", "Text8", "Combo4"},
        };
        int above = form->Label15->geometry().bottom();
        for (const auto &row : rows) {
            checkLine(form.get(), row);
            QWidget *first = child(form.get(), row.front());
            QVERIFY2(first->geometry().top() > above, row.front());
            above = first->geometry().bottom();
        }
        QVERIFY(form->Text11->geometry().top() > above);
        checkLine(form.get(), {"XPButton4", "XPButton3", "XPButton5", "XPButton6", "XPButton2"});
        QVERIFY(form->XPButton4->geometry().top() > form->Text11->geometry().bottom());
        // The footer under the buttons: the program's line at the left, Label16 at the right.
        QVERIFY(form->Label14->geometry().top() > form->XPButton4->geometry().bottom());
        QVERIFY(form->Label16->geometry().left() > form->Label14->geometry().right());
        QCOMPARE(form->Label14->text(), QStringLiteral("Contavio - gestione di incassi, pagamenti e scadenze"));
        // The clock line on top, right-aligned over the whole width.
        QVERIFY(form->Label15->geometry().bottom() < form->Label1->geometry().top());
        QCOMPARE(form->Label15->text(), QStringLiteral("Ore...14:05:09   del   07/12/2026"));
        QVERIFY(form->Label15->alignment() & Qt::AlignRight);
    }
}

void TestFormLayout::browserRows()
{
    Session s;
    browser::Visualizza form(s.session);
    showLaidOut(&form);
    QVERIFY(!form.Text1->isVisible());
    checkLine(&form, {"Label1", "Label15"});
    QVERIFY(form.ListView3->geometry().top() > form.Label1->geometry().bottom());
    checkLine(&form, {"XPButton1", "XPButton2"});
    QVERIFY(form.XPButton1->geometry().top() > form.ListView3->geometry().bottom());
    QVERIFY(form.Label14->geometry().left() < form.Label16->geometry().left());
    QVERIFY(form.Label16->geometry().right() < form.XPButton1->geometry().left());
    QCOMPARE(form.Label14->text(), QStringLiteral("Contavio - gestione di incassi, pagamenti e scadenze"));
    QCOMPARE(form.Label15->text(), QStringLiteral("Ore...14:05:09   del   07/12/2026"));
    QCOMPARE(form.XPButton1->caption(), QStringLiteral("Stampa"));
    QCOMPARE(form.XPButton2->caption(), QStringLiteral("Chiudi"));
}

void TestFormLayout::textFits_data()
{
    QTest::addColumn<int>("points");
    QTest::newRow("9 pt") << 9;
    QTest::newRow("12 pt") << 12;
}

// At system fonts of 9 to 12 points on a 1024 x 768 screen every caption, line and combo
// box shows its text whole, capitals' accents included, and each form stays on the screen.
void TestFormLayout::textFits()
{
    QFETCH(int, points);
    const QFont before = QApplication::font();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), points));
    Session s;
    std::vector<std::unique_ptr<QWidget>> forms;
    forms.emplace_back(new app::Avvio(s.session));
    forms.emplace_back(new app::Contavio(s.session));
    forms.emplace_back(new Anagrafe(s.session));
    forms.emplace_back(new ledger::Entrata(s.session));
    forms.emplace_back(new ledger::Pagamenti(s.session));
    forms.emplace_back(new browser::Visualizza(s.session));
    forms.emplace_back(new print::StampaP(s.session));
    const QSize screen = QSize(1024, 768) - controls::kFrameAllowance;
    for (const auto &form : forms)
        controls::fitToTexts(form.get(), screen);
    QApplication::setFont(before);

    for (const auto &form : forms) {
        QVERIFY(form->width() <= screen.width() && form->height() <= screen.height());
        for (QWidget *c : form->findChildren<QWidget *>()) {
            const QFontMetrics fm(c->font());
            const int line = std::max(fm.height(), fm.boundingRect(QStringLiteral("PIÙ CAFFÈ")).height());
            QSize need;   // what the control's text takes
            if (auto *b = qobject_cast<controls::XPButton *>(c))
                need = QSize(fm.horizontalAdvance(b->caption().remove(QLatin1Char('&'))) + 4, line + 2);
            else if (auto *box = qobject_cast<QCheckBox *>(c))
                need = box->sizeHint();
            else if (auto *label = qobject_cast<QLabel *>(c); label && !label->text().isEmpty())
                need = label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
            else if (qobject_cast<QComboBox *>(c) || qobject_cast<QLineEdit *>(c))
                need = QSize(0, line + 4);
            const QString name = form->objectName() + QLatin1Char('.') + c->objectName();
            QVERIFY2(c->isHidden() || (need.width() <= c->width() && need.height() <= c->height()),
                     qPrintable(name));
        }
    }
}

QTEST_MAIN(TestFormLayout)
#include "tst_formlayout.moc"
