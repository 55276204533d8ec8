#include "situazione.h"

#include "output.h"

#include "records/reminders.h"

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "store/model/workbook.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace dueviews {

namespace {

QDate todayOf(controls::Session &session)
{
    return session.clock ? session.clock->now().date() : QDate::currentDate();
}

bool send(controls::Session &session, const PrintDoc &doc, Destination where, const QString &name)
{
    if (where == Destination::Printer)
        return printOnPrinter(session, doc);
    return exportPdf(session, doc, name).has_value();
}

std::vector<records::ReminderEntry> remindersTo(store::Workbook &book, const CounterpartyInfo &who)
{
    std::vector<records::ReminderEntry> sent;
    for (const records::ReminderEntry &entry : records::readReminders(book))
        if (entry.counterpartyNumber.trimmed() == who.number.trimmed())
            sent.push_back(entry);
    return sent;
}

} // namespace

bool sendStatement(controls::Session &session, const std::vector<DueRecord> &records,
                   const CounterpartyInfo &who, Destination where)
{
    const QDate today = todayOf(session);
    Letterhead head;
    try {
        head = letterheadOf(session.workbook());
    } catch (const std::exception &) {
        // no letterhead: the statement goes without one
    }
    return send(session, statementDocument(records, who, head, today), where,
                QStringLiteral("Estratto conto %1").arg(who.name.trimmed()));
}

bool sendReminder(controls::Session &session, const std::vector<DueRecord> &records,
                  const CounterpartyInfo &who, ReminderLevel level, Destination where)
{
    const QDate today = todayOf(session);
    const Reminder reminder = reminderFor(records, who, level, today);
    if (!who.customer || reminder.rows.empty()) {
        if (session.dialogs)
            session.dialogs->message(controls::BoxKind::Plain,
                                     QStringLiteral("Nessuna fattura scaduta da sollecitare."),
                                     controls::titles::kTitle);
        return false;
    }
    try {
        store::Workbook &book = session.workbook();
        if (!send(session, reminderDocument(records, who, reminder, letterheadOf(book), today), where,
                  QStringLiteral("%1 %2").arg(levelName(level), who.name.trimmed())))
            return false;
        records::appendReminder(book, {today, who.number.trimmed(), levelName(level),
                                       reminder.invoices.join(QStringLiteral(", ")), reminder.total});
    } catch (const std::exception &e) {
        controls::reportStoreError(session.dialogs, e);
        return false;
    }
    return true;
}

ReminderLevel nextLevel(store::Workbook &book, const CounterpartyInfo &who)
{
    const size_t sent = remindersTo(book, who).size();
    return sent == 0 ? ReminderLevel::Primo : sent == 1 ? ReminderLevel::Secondo : ReminderLevel::Diffida;
}

std::optional<QDate> lastReminder(store::Workbook &book, const CounterpartyInfo &who)
{
    std::optional<QDate> last;
    for (const records::ReminderEntry &entry : remindersTo(book, who))
        if (!last || entry.date > *last)
            last = entry.date;
    return last;
}

Situazione::Situazione(controls::Session &session, QWidget *parent)
    : controls::Form(session, parent)
{
    setObjectName(QStringLiteral("Situazione"));
    setWindowTitle(QStringLiteral("Situazione Clienti/Fornitori"));
    buildControls();
    buildLayout();
}

Situazione::~Situazione() = default;

void Situazione::buildControls()
{
    TextCerca = controls::makeNamed<QLineEdit>(this, "TextCerca");
    TextCerca->setPlaceholderText(QStringLiteral("Cerca per nome o numero"));
    TextCerca->setClearButtonEnabled(true);
    ListSoggetti = controls::makeNamed<QListWidget>(this, "ListSoggetti");
    LabelSoggetto = controls::makeNamed<QLabel>(this, "LabelSoggetto");
    QFont bold = LabelSoggetto->font();
    bold.setBold(true);
    LabelSoggetto->setFont(bold);

    m_model = new QStandardItemModel(this);
    ListRecords = controls::makeNamed<QTreeView>(this, "ListRecords");
    ListRecords->setModel(m_model);
    ListRecords->setRootIsDecorated(false);
    ListRecords->setUniformRowHeights(true);
    ListRecords->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListRecords->setSelectionBehavior(QAbstractItemView::SelectRows);
    LabelTotals = controls::makeNamed<QLabel>(this, "LabelTotals");
    LabelTotals->setTextInteractionFlags(Qt::TextSelectableByMouse);

    ComboDestinazione = controls::makeNamed<QComboBox>(this, "ComboDestinazione");
    ComboDestinazione->addItems({QStringLiteral("Stampante"), QStringLiteral("File PDF")});
    ComboLivello = controls::makeNamed<QComboBox>(this, "ComboLivello");
    for (int level = 0; level < kReminderLevels; ++level)
        ComboLivello->addItem(levelName(ReminderLevel(level)));

    ButtonEstratto = controls::makeFormButton(this, "ButtonEstratto", QStringLiteral("Estratto conto"),
                                              QStringLiteral("Stampa l'estratto conto"));
    ButtonSollecito = controls::makeFormButton(this, "ButtonSollecito", QStringLiteral("Sollecito"),
                                               QStringLiteral("Lettera di sollecito delle fatture scadute"));
    ButtonChiudi = controls::makeFormButton(this, "ButtonChiudi", QStringLiteral("Chiudi"), QStringLiteral("Esci"));
    for (controls::XPButton *b : {ButtonEstratto, ButtonSollecito, ButtonChiudi})
        b->setMinimumSize(controls::twips(1800), controls::twips(375));

    connect(TextCerca, &QLineEdit::textChanged, this, &Situazione::filterList);
    connect(ListSoggetti, &QListWidget::currentRowChanged, this, [this](int row) {
        QListWidgetItem *item = row < 0 ? nullptr : ListSoggetti->item(row);
        choose(item ? item->data(Qt::UserRole).toInt() : -1);
    });
    connect(ButtonEstratto, &controls::XPButton::clicked, this, &Situazione::estrattoConto);
    connect(ButtonSollecito, &controls::XPButton::clicked, this, &Situazione::sollecito);
    connect(ButtonChiudi, &controls::XPButton::clicked, this, &Situazione::chiudi);
}

void Situazione::buildLayout()
{
    auto *outer = new QHBoxLayout(this);
    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("Clienti e fornitori"), this));
    left->addWidget(TextCerca);
    left->addWidget(ListSoggetti, 1);
    outer->addLayout(left, 1);

    auto *right = new QVBoxLayout;
    right->addWidget(LabelSoggetto);
    right->addWidget(ListRecords, 1);
    right->addWidget(LabelTotals);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("Su"), this));
    buttons->addWidget(ComboDestinazione);
    buttons->addWidget(ButtonEstratto);
    buttons->addSpacing(16);
    buttons->addWidget(ComboLivello);
    buttons->addWidget(ButtonSollecito);
    buttons->addStretch(1);
    buttons->addWidget(ButtonChiudi);
    right->addLayout(buttons);
    outer->addLayout(right, 3);
    resize(1000, 640);
}

QDate Situazione::today() const
{
    return todayOf(session());
}

void Situazione::open()
{
    showForm();
}

void Situazione::activate()
{
    const QString before = chosen() ? chosen()->key + QLatin1Char('|') + chosen()->name : QString();
    try {
        store::Workbook &book = session().workbook();
        m_records = readDueRecords(book);
        m_people = readCounterparties(book);
    } catch (const std::exception &e) {
        m_records.clear();
        m_people.clear();
        controls::reportStoreError(session().dialogs, e);
    }
    m_chosen = -1;
    for (int i = 0; i < int(m_people.size()); ++i)
        if (m_people[size_t(i)].key + QLatin1Char('|') + m_people[size_t(i)].name == before)
            m_chosen = i;
    filterList();
    showChosen();
}

void Situazione::filterList()
{
    const QString search = TextCerca->text().trimmed();
    const int keep = m_chosen;
    QSignalBlocker blocker(ListSoggetti);
    ListSoggetti->clear();
    for (int i = 0; i < int(m_people.size()); ++i) {
        const CounterpartyInfo &who = m_people[size_t(i)];
        if (!search.isEmpty() && !who.name.contains(search, Qt::CaseInsensitive) && who.number.trimmed() != search)
            continue;
        auto *item = new QListWidgetItem(QStringLiteral("%1  (%2 %3)")
                                             .arg(who.name, who.customer ? QStringLiteral("Cliente") : QStringLiteral("Fornitore"),
                                                  who.number.trimmed()),
                                         ListSoggetti);
        item->setData(Qt::UserRole, i);
        if (i == keep)
            ListSoggetti->setCurrentItem(item);
    }
}

const CounterpartyInfo *Situazione::chosen() const
{
    return m_chosen >= 0 && m_chosen < int(m_people.size()) ? &m_people[size_t(m_chosen)] : nullptr;
}

void Situazione::choose(int index)
{
    m_chosen = index >= 0 && index < int(m_people.size()) ? index : -1;
    showChosen();
}

void Situazione::showChosen()
{
    m_model->clear();
    m_totals = {};
    const CounterpartyInfo *who = chosen();
    ButtonEstratto->setEnabled(who != nullptr);
    ButtonSollecito->setEnabled(false);
    if (!who) {
        LabelSoggetto->setText(QStringLiteral("Scegliete un cliente o un fornitore"));
        LabelTotals->clear();
        return;
    }
    const QDate now = today();
    m_model->setHorizontalHeaderLabels(statementColumnTitles(who->customer));
    const std::vector<int> rows = recordsOf(m_records, *who);
    for (int i : rows) {
        const DueRecord &r = m_records[size_t(i)];
        QList<QStandardItem *> items;
        const QStringList texts = statementRowTexts(r, now);
        for (int c = 0; c < texts.size(); ++c) {
            auto *item = new QStandardItem(texts[c]);
            if (c >= 4 && c <= 6)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (isOverdue(r, now))
                item->setBackground(QColor(0xF6, 0xC6, 0xC6));
            items << item;
        }
        m_model->appendRow(items);
    }
    ListRecords->header()->resizeSections(QHeaderView::ResizeToContents);
    m_totals = statementTotals(m_records, rows, now);
    std::optional<QDate> last;
    try {
        store::Workbook &book = session().workbook();
        last = lastReminder(book, *who);
        ComboLivello->setCurrentIndex(int(nextLevel(book, *who)));
    } catch (const std::exception &) {
        // no reminders to read
    }
    LabelSoggetto->setText(QStringLiteral("%1 %2 (n. %3)")
                               .arg(who->customer ? QStringLiteral("Cliente") : QStringLiteral("Fornitore"), who->name,
                                    who->number.trimmed()));
    QStringList lines;
    lines << QStringLiteral("Fatturato %1 € - %2 %3 € - residuo %4 €")
                 .arg(money(m_totals.invoiced), who->customer ? QStringLiteral("riscosso") : QStringLiteral("pagato"),
                      money(m_totals.collected), money(m_totals.residual))
          << QStringLiteral("Scaduto: %1 € su %2 fatture").arg(money(m_totals.overdue)).arg(m_totals.overdueCount)
          << (last ? QStringLiteral("Ultimo sollecito: %1").arg(last->toString(QStringLiteral("dd/MM/yyyy")))
                   : QStringLiteral("Nessun sollecito inviato"));
    if (m_totals.needingCheck > 0)
        lines << QStringLiteral("%1 registrazioni da verificare, escluse dai totali").arg(m_totals.needingCheck);
    LabelTotals->setText(lines.join(QLatin1Char('\n')));
    ButtonSollecito->setEnabled(who->customer && m_totals.overdueCount > 0);
}

Destination Situazione::destination() const
{
    return ComboDestinazione->currentIndex() == 1 ? Destination::Pdf : Destination::Printer;
}

void Situazione::estrattoConto()
{
    if (const CounterpartyInfo *who = chosen())
        sendStatement(session(), m_records, *who, destination());
}

void Situazione::sollecito()
{
    const CounterpartyInfo *who = chosen();
    if (!who)
        return;
    if (sendReminder(session(), m_records, *who, ReminderLevel(ComboLivello->currentIndex()), destination()))
        showChosen();   // the last reminder's date
}

void Situazione::chiudi()
{
    controls::showForm(session(), controls::FormId::Contavio);
    hide();
}

} // namespace dueviews
