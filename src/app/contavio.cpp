#include "contavio.h"

#include "browser/visualizza.h"
#include "controls/clock.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "dueviews/duesource.h"
#include "dueviews/scadenze.h"
#include "dueviews/situazione.h"
#include "dueviews/stampe.h"
#include "ledger/ledgerform.h"
#include "shutdown.h"
#include "store/model/italian.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace app {

namespace {

struct ButtonPlace {
    controls::XPButton *Contavio::*member;
    const char *name;
    const char *caption;
    int left, top;   // twips
};

constexpr int kButtonWidth = 2565;   // twips
constexpr int kButtonHeight = 315;

} // namespace

Contavio::Contavio(controls::Session &session, QWidget *parent)
    : Form(session, parent)
{
    setObjectName(QStringLiteral("Contavio"));
    setWindowTitle(QStringLiteral("Contavio"));
    controls::fillBackground(this, QColor(0xE0, 0xE0, 0xE0));
    setFixedSize(controls::twips(11280), controls::twips(6150));

    auto *title = new QLabel(this);
    title->setText(QStringLiteral("<span style=\"font-size:16pt; font-weight:600;\">Contavio</span>"
                                  "&nbsp;&nbsp;<span style=\"font-size:10pt;\">Incassi \u2013 Pagamenti \u2013 Insoluti</span>"));
    title->setTextFormat(Qt::RichText);
    title->setGeometry(controls::twips(1080), controls::twips(420), controls::twips(9165), controls::twips(600));

    buildButtons();
    buildOverdueLine();
    buildNotes();

    Label15 = new QLabel(this);
    Label15->setObjectName(QStringLiteral("Label15"));
    Label15->setGeometry(controls::twips(1080), controls::twips(3840), controls::twips(5925), controls::twips(315));
    Label15->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    connect(Timer2, &QTimer::timeout, this, &Contavio::tick);
    Timer2->start();
}

// The menu's buttons in their places, each wired to its action.
void Contavio::buildButtons()
{
    static const ButtonPlace places[] = {
        {&Contavio::XPButton2, "XPButton2", "Inserisci Incassi", 1080, 1440},
        {&Contavio::XPButton1, "XPButton1", "Inserisci Pagamenti", 1080, 2040},
        {&Contavio::XPButton4, "XPButton4", "Contavio Clienti/Fornitori", 1080, 2640},
        {&Contavio::XPButton11, "XPButton11", "Situazione Clienti/Fornitori", 1080, 3240},
        {&Contavio::XPButton5, "XPButton5", "Contavio Incassi", 4440, 1440},
        {&Contavio::XPButton6, "XPButton6", "Contavio Pagamenti", 4440, 2040},
        {&Contavio::XPButton7, "XPButton7", "Scadenze/Insoluti", 4440, 2640},
        {&Contavio::XPButton12, "XPButton12", "", 4440, 3240},
        {&Contavio::XPButton8, "XPButton8", "Stampe", 7680, 1440},
        {&Contavio::XPButton9, "XPButton9", "Utilità/Causali", 7680, 2040},
        {&Contavio::XPButton10, "XPButton10", "", 7680, 2640},
        {&Contavio::XPButton13, "XPButton13", "", 7680, 3240},
        {&Contavio::XPButton3, "XPButton3", "Chiudi", 7680, 3840},
    };
    for (const ButtonPlace &place : places) {
        auto *button = new controls::XPButton(QString::fromUtf8(place.caption), this);
        button->setObjectName(QLatin1String(place.name));
        button->setButtonType(controls::XPButton::FormStyle);
        button->setGeometry(controls::twips(place.left), controls::twips(place.top),
                            controls::twips(kButtonWidth), controls::twips(kButtonHeight));
        this->*place.member = button;
    }

    connect(XPButton2, &controls::XPButton::clicked, this, &Contavio::inserisciIncassi);
    connect(XPButton1, &controls::XPButton::clicked, this, &Contavio::inserisciPagamenti);
    connect(XPButton4, &controls::XPButton::clicked, this, &Contavio::anagrafe);
    connect(XPButton5, &controls::XPButton::clicked, this, &Contavio::visualizzaIncassi);
    connect(XPButton6, &controls::XPButton::clicked, this, &Contavio::visualizzaPagamenti);
    connect(XPButton9, &controls::XPButton::clicked, this, &Contavio::utilita);
    connect(XPButton3, &controls::XPButton::clicked, this, &Contavio::chiudi);
    connect(XPButton11, &controls::XPButton::clicked, this, &Contavio::situazione);
    connect(XPButton7, &controls::XPButton::clicked, this, &Contavio::scadenze);
    connect(XPButton8, &controls::XPButton::clicked, this, &Contavio::stampe);
}

// Under the buttons: what is overdue in each ledger; a click lists it.
void Contavio::buildOverdueLine()
{
    LabelScaduti = new QPushButton(this);
    LabelScaduti->setObjectName(QStringLiteral("LabelScaduti"));
    LabelScaduti->setFlat(true);
    LabelScaduti->setCursor(Qt::PointingHandCursor);
    LabelScaduti->setToolTip(QStringLiteral("Mostra le scadenze superate"));
    LabelScaduti->setStyleSheet(QStringLiteral("QPushButton { text-align: left; color: #A01010; font-weight: 600; border: none; }"));
    LabelScaduti->setGeometry(controls::twips(1080), controls::twips(4200), controls::twips(9165), controls::twips(315));
    connect(LabelScaduti, &QPushButton::clicked, this, &Contavio::scaduti);
}

// Notes of what changed in the program, newest first.
void Contavio::buildNotes()
{
    static const char *const noteTexts[] = {
        "agg. 07/12/2026 - se il salvataggio all'uscita non riesce il programma lo dice e resta aperto",
        "agg. 07/12/2026 - le date scritte a mano sono controllate sul calendario (31/02 non passa)",
        "agg. 07/12/2026 - il CAP in anagrafe resta testo: gli zeri iniziali non si perdono",
        "agg. 07/12/2026 - all'avvio il programma rifiuta un Contavio.xls già aperto da un altro programma",
    };
    int noteTop = 4560;
    for (const char *text : noteTexts) {
        auto *note = new QLabel(QString::fromUtf8(text), this);
        note->setObjectName(QStringLiteral("Label%1").arg(notes.size() + 1));
        note->setGeometry(controls::twips(1080), controls::twips(noteTop), controls::twips(9165), controls::twips(255));
        QFont small = note->font();
        small.setPointSizeF(small.pointSizeF() * 0.9);
        note->setFont(small);
        note->setStyleSheet(QStringLiteral("color: #505050;"));
        notes.push_back(note);
        noteTop += 270;
    }
}

void Contavio::showEvent(QShowEvent *event)
{
    Form::showEvent(event);
    tick();   // no blank clock for the first second
    refreshOverdueLine();
}

void Contavio::refreshOverdueLine()
{
    QString line;
    try {
        const QDate today = session().clock ? session().clock->now().date() : QDate::currentDate();
        line = dueviews::overdueLineOf(session().workbook(), today);
    } catch (const std::exception &) {
        line.clear();   // no workbook yet: no line
    }
    LabelScaduti->setText(line);
    LabelScaduti->setVisible(!line.isEmpty());
}

void Contavio::tick()
{
    if (session().clock)
        Label15->setText(store::clockLine(session().clock->now()));
}

void Contavio::openEntryForm(ledger::Ledger which)
{
    auto *entry = qobject_cast<ledger::LedgerForm *>(controls::programForm(session(), ledger::entryFormOf(which)));
    if (!entry)
        return;
    entry->openForNewRecord();
    hide();
}

void Contavio::openBrowser(ledger::Ledger which)
{
    auto *browser = qobject_cast<browser::Visualizza *>(controls::programForm(session(), controls::FormId::Visualizza));
    if (!browser)
        return;
    browser->open(which);
    hide();
}

void Contavio::inserisciIncassi()
{
    openEntryForm(ledger::Ledger::Incassi);
}

void Contavio::inserisciPagamenti()
{
    openEntryForm(ledger::Ledger::Pagamenti);
}

void Contavio::anagrafe()
{
    if (controls::showForm(session(), controls::FormId::Anagrafe))
        hide();
}

void Contavio::visualizzaIncassi()
{
    openBrowser(ledger::Ledger::Incassi);
}

void Contavio::visualizzaPagamenti()
{
    openBrowser(ledger::Ledger::Pagamenti);
}

void Contavio::situazione()
{
    if (auto *form = qobject_cast<dueviews::Situazione *>(controls::programForm(session(), controls::FormId::Situazione))) {
        form->open();
        hide();
    }
}

void Contavio::scadenze()
{
    if (auto *form = qobject_cast<dueviews::Scadenze *>(controls::programForm(session(), controls::FormId::Scadenze))) {
        form->open();
        hide();
    }
}

void Contavio::scaduti()
{
    if (auto *form = qobject_cast<dueviews::Scadenze *>(controls::programForm(session(), controls::FormId::Scadenze))) {
        form->openOnOverdue();
        hide();
    }
}

void Contavio::stampe()
{
    if (auto *form = qobject_cast<dueviews::Stampe *>(controls::programForm(session(), controls::FormId::Stampe))) {
        form->open();
        hide();
    }
}

void Contavio::utilita()
{
    if (controls::showForm(session(), controls::FormId::Utilita))
        hide();
}

void Contavio::chiudi()
{
    leaveProgram(session());
}

} // namespace app
