#include "stampe.h"

#include "duelistmodel.h"
#include "output.h"

#include "controls/clock.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "print/printtargets.h"
#include "print/reports.h"
#include "print/stampap.h"
#include "store/model/workbook.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace dueviews {

namespace {

const char *const kPeriods[] = {
    "Scadute", "In scadenza entro 7 giorni", "In scadenza entro 30 giorni",
    "In scadenza entro 90 giorni", "Tutte le aperte",
};

} // namespace

Stampe::Stampe(controls::Session &session, QWidget *parent)
    : controls::Form(session, parent)
{
    setObjectName(QStringLiteral("Stampe"));
    setWindowTitle(QStringLiteral("Stampe"));

    const auto button = [this](const char *name, const char *caption, const char *tip) {
        controls::XPButton *b = controls::makeFormButton(this, name, QString::fromUtf8(caption), QString::fromUtf8(tip));
        b->setMinimumSize(controls::twips(2565), controls::twips(375));
        return b;
    };
    ButtonIncassi = button("ButtonIncassi", "Elenco Incassi", "Stampa l'elenco degli incassi");
    ButtonPagamenti = button("ButtonPagamenti", "Elenco Pagamenti", "Stampa l'elenco dei pagamenti");
    ButtonAnagrafe = button("ButtonAnagrafe", "Elenco Clienti/Fornitori", "Stampa l'anagrafe");
    ComboPeriod = controls::makeNamed<QComboBox>(this, "ComboPeriod");
    for (const char *period : kPeriods)
        ComboPeriod->addItem(QString::fromUtf8(period));
    ButtonScadenze = button("ButtonScadenze", "Scadenze/Insoluti", "Elenco delle scadenze aperte del periodo");
    ComboSoggetto = controls::makeNamed<QComboBox>(this, "ComboSoggetto");
    ComboSoggetto->setMinimumContentsLength(30);
    ButtonEstratto = button("ButtonEstratto", "Estratto conto", "Estratto conto del cliente o fornitore");
    ComboLivello = controls::makeNamed<QComboBox>(this, "ComboLivello");
    for (int level = 0; level < kReminderLevels; ++level)
        ComboLivello->addItem(levelName(ReminderLevel(level)));
    ButtonSollecito = button("ButtonSollecito", "Sollecito", "Lettera di sollecito al cliente");
    ComboDestinazione = controls::makeNamed<QComboBox>(this, "ComboDestinazione");
    ComboDestinazione->addItems({QStringLiteral("Stampante"), QStringLiteral("File PDF")});
    ButtonChiudi = button("ButtonChiudi", "Chiudi", "Esci");

    auto *outer = new QVBoxLayout(this);
    auto *where = new QHBoxLayout;
    where->addWidget(new QLabel(QStringLiteral("Stampa su"), this));
    where->addWidget(ComboDestinazione);
    where->addStretch(1);
    outer->addLayout(where);
    auto *lists = new QGroupBox(QStringLiteral("Elenchi"), this);
    auto *listsRow = new QHBoxLayout(lists);
    listsRow->addWidget(ButtonIncassi);
    listsRow->addWidget(ButtonPagamenti);
    listsRow->addWidget(ButtonAnagrafe);
    outer->addWidget(lists);

    auto *others = new QGroupBox(QStringLiteral("Scadenze, estratti conto e solleciti"), this);
    auto *grid = new QGridLayout(others);
    grid->addWidget(new QLabel(QStringLiteral("Periodo"), this), 1, 0);
    grid->addWidget(ComboPeriod, 1, 1);
    grid->addWidget(ButtonScadenze, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Cliente/Fornitore"), this), 2, 0);
    grid->addWidget(ComboSoggetto, 2, 1);
    grid->addWidget(ButtonEstratto, 2, 2);
    grid->addWidget(ComboLivello, 3, 1);
    grid->addWidget(ButtonSollecito, 3, 2);
    outer->addWidget(others);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(ButtonChiudi);
    outer->addLayout(bottom);

    connect(ButtonIncassi, &controls::XPButton::clicked, this, [this] { printList(1); });
    connect(ButtonPagamenti, &controls::XPButton::clicked, this, [this] { printList(2); });
    connect(ButtonAnagrafe, &controls::XPButton::clicked, this, [this] { printList(8); });
    connect(ButtonScadenze, &controls::XPButton::clicked, this, &Stampe::scadenze);
    connect(ButtonEstratto, &controls::XPButton::clicked, this, &Stampe::estrattoConto);
    connect(ButtonSollecito, &controls::XPButton::clicked, this, &Stampe::sollecito);
    connect(ButtonChiudi, &controls::XPButton::clicked, this, &Stampe::chiudi);
}

void Stampe::open()
{
    showForm();
}

void Stampe::activate()
{
    const QString before = ComboSoggetto->currentData().toString();
    try {
        m_people = readCounterparties(session().workbook());
    } catch (const std::exception &e) {
        m_people.clear();
        controls::reportStoreError(session().dialogs, e);
    }
    ComboSoggetto->clear();
    for (int i = 0; i < int(m_people.size()); ++i) {
        const CounterpartyInfo &who = m_people[size_t(i)];
        ComboSoggetto->addItem(QStringLiteral("%1  (%2 %3)").arg(who.name, who.customer ? QStringLiteral("Cliente")
                                                                                          : QStringLiteral("Fornitore"),
                                                                  who.number.trimmed()),
                               who.key + QLatin1Char('|') + who.name);
    }
    const int index = ComboSoggetto->findData(before);
    ComboSoggetto->setCurrentIndex(index < 0 ? 0 : index);
}

void Stampe::printList(int mode)
{
    if (destination() == Destination::Pdf) {
        exportList(mode);
        return;
    }
    if (auto *form = qobject_cast<print::StampaP *>(controls::programForm(session(), controls::FormId::StampaP)))
        form->open(QString::number(mode));
}

// The print form's sequence with a PDF file as its printer: the same refusal, questions and
// page set-up; the file is written once, with the pages said Yes to.
void Stampe::exportList(int mode)
{
    const print::Report *report = print::reportForMode(mode);
    if (!report)
        return;
    controls::Session &s = session();
    print::PrintContext context;
    context.server = s.server;
    try {
        context.workbook = &s.workbook();
    } catch (const std::exception &e) {
        controls::reportStoreError(s.dialogs, e);
        return;
    }
    context.dialogs = s.dialogs;
    context.clock = s.clock;
    // An empty list is refused before the user is asked to name a file for it.
    if (!print::sheetToPrint(*report, context))
        return;
    const QDate today = s.clock ? s.clock->now().date() : QDate::currentDate();
    const std::optional<QString> path = askPdfPath(s, QStringLiteral("Elenco %1").arg(report->sheet), today);
    if (!path)
        return;
    print::PdfFileTarget file(*path);
    context.printers = &file;
    context.printerName = [] { return print::PdfFileTarget::kPrinterName; };
    context.hideForm = [] {};
    context.oneJob = true;
    print::runReport(*report, context);
    if (file.written())
        offerToOpen(s, *path);
    else if (file.started())
        tellNotWritten(s, *path);
}

Destination Stampe::destination() const
{
    return ComboDestinazione->currentIndex() == 1 ? Destination::Pdf : Destination::Printer;
}

const CounterpartyInfo *Stampe::chosen() const
{
    const int index = ComboSoggetto->currentIndex();
    return index >= 0 && index < int(m_people.size()) ? &m_people[size_t(index)] : nullptr;
}

std::vector<DueRecord> Stampe::readRecords()
{
    try {
        return readDueRecords(session().workbook());
    } catch (const std::exception &e) {
        controls::reportStoreError(session().dialogs, e);
        return {};
    }
}

void Stampe::scadenze()
{
    const std::vector<DueRecord> records = readRecords();
    const QDate today = session().clock ? session().clock->now().date() : QDate::currentDate();
    DueFilter filter;
    filter.period = Period(ComboPeriod->currentIndex());
    const PrintDoc doc = dueListDocument(records, selectOpen(records, filter, today), filter, today);
    if (destination() == Destination::Printer)
        printOnPrinter(session(), doc);
    else
        exportPdf(session(), doc, QStringLiteral("Scadenze"));
}

void Stampe::estrattoConto()
{
    if (const CounterpartyInfo *who = chosen())
        sendStatement(session(), readRecords(), *who, destination());
}

void Stampe::sollecito()
{
    if (const CounterpartyInfo *who = chosen())
        sendReminder(session(), readRecords(), *who, ReminderLevel(ComboLivello->currentIndex()), destination());
}

void Stampe::chiudi()
{
    controls::showForm(session(), controls::FormId::Contavio);
    hide();
}

} // namespace dueviews
