#include "visualizza.h"

#include "recordlistmodel.h"

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/xpbutton.h"
#include "ledger/ledgerform.h"
#include "print/stampap.h"
#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace browser {

namespace {

} // namespace

Visualizza::Visualizza(controls::Session &session, QWidget *parent)
    : controls::Form(session, parent)
{
    setObjectName(QStringLiteral("Visualizza"));
    setWindowTitle(QStringLiteral("Visualizza  Incassi"));

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->hide();   // the mode field is for the openers only

    Label1 = new QLabel(QStringLiteral("Seleziona la  registrazione che vuoi  modificare "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label14 = new QLabel(QStringLiteral("Contavio - gestione di incassi, pagamenti e scadenze"), this);
    Label14->setObjectName(QStringLiteral("Label14"));
    Label15 = new QLabel(this);
    Label15->setObjectName(QStringLiteral("Label15"));
    Label15->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label16 = new QLabel(this);
    Label16->setObjectName(QStringLiteral("Label16"));

    m_model = new RecordListModel(session, this);
    ListView3 = new QTreeView(this);
    ListView3->setObjectName(QStringLiteral("ListView3"));
    ListView3->setModel(m_model);
    ListView3->setRootIsDecorated(false);
    ListView3->setItemsExpandable(false);
    ListView3->setUniformRowHeights(true);
    ListView3->setAllColumnsShowFocus(true);
    ListView3->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView3->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView3->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView3->header()->setMinimumSectionSize(0);
    ListView3->header()->setStretchLastSection(false);
    ListView3->header()->setSectionsMovable(false);

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);

    XPButton1 = new controls::XPButton(QStringLiteral("Stampa"), this);
    XPButton1->setObjectName(QStringLiteral("XPButton1"));
    XPButton1->setButtonType(controls::XPButton::FormStyle);
    XPButton2 = new controls::XPButton(QStringLiteral("Chiudi"), this);
    XPButton2->setObjectName(QStringLiteral("XPButton2"));
    XPButton2->setButtonType(controls::XPButton::FormStyle);
    for (controls::XPButton *b : {XPButton1, XPButton2})
        b->setMinimumSize(controls::twips(1335), controls::twips(375));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 8, 12, 8);
    auto *head = new QHBoxLayout;
    head->addWidget(Label1);
    head->addStretch(1);
    head->addWidget(Label15);
    outer->addLayout(head);
    outer->addWidget(ListView3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Label14);
    buttons->addStretch(1);
    buttons->addWidget(Label16);
    buttons->addWidget(XPButton1);
    buttons->addWidget(XPButton2);
    outer->addLayout(buttons);
    resize(controls::twips(14400), controls::twips(8400));

    // A click picks; so do Enter on a row and a double click (the view's activation), so the
    // list works without a mouse. The first of them hides the browser, and a hidden browser
    // has nothing left to pick: a double click hands the record over once.
    connect(ListView3, &QTreeView::clicked, this, [this](const QModelIndex &) {
        if (isVisible())
            itemClick();
    });
    connect(ListView3, &QTreeView::activated, this, [this](const QModelIndex &) {
        if (isVisible())
            itemClick();
    });
    connect(XPButton1, &controls::XPButton::clicked, this, &Visualizza::stampa);
    connect(XPButton2, &controls::XPButton::clicked, this, &Visualizza::chiudi);
    connect(Timer2, &QTimer::timeout, this, &Visualizza::tick);
    tick();
    Timer2->start();
}

Visualizza::~Visualizza() = default;


void Visualizza::open(ledger::Ledger which)
{
    Text1->setText(ledger::modeText(which));
    showForm();
}

int Visualizza::mode() const
{
    const double n = store::leadingNumber(Text1->text());
    return n == 1 ? 1 : n == 2 ? 2 : 0;
}

void Visualizza::activate()
{
    if (const std::optional<ledger::Ledger> shown = ledgerShown())
        caricaElenco(ledger::sheetOf(*shown).name);
}

void Visualizza::caricaElenco(const QString &sheetName)
{
    // Whatever happens below, the rows of the list shown before (maybe the other ledger's)
    // go first: a list that cannot be rebuilt is left empty, never stale.
    m_model->clear();
    try {
        store::Worksheet &sheet = session().workbook().sheet(sheetName);
        sheet.select();

        store::SortOptions options;
        options.keyColumn = 6;   // F, "Scadenza"
        options.order = store::SortOrder::Ascending;
        options.header = store::SortHeader::Guess;
        options.matchCase = false;
        const store::Range records = sheet.range(QStringLiteral("A2:S65536"));
        records.select();
        records.sort(options);
        sheet.range(QStringLiteral("E1")).select();

        m_model->clear();
        sheet.select();
        m_model->rebuild(sheet);
        applyColumns();
    } catch (const std::exception &e) {
        m_model->clear();
        reportError(e);
    }
}

void Visualizza::applyColumns()
{
    QHeaderView *header = ListView3->header();
    for (int column = 0; column < RecordListModel::kColumns && column < header->count(); ++column)
        header->resizeSection(column, controls::twips(RecordListModel::widthTwips(column)));
}

void Visualizza::itemClick()
{
    const std::optional<ledger::Ledger> shown = ledgerShown();
    if (!shown)
        return;

    // A pick hands over a record or nothing: with no row selected (a Ctrl+click that took
    // the selection away) the entry form would open for a change holding whatever it held.
    const QModelIndexList selected = ListView3->selectionModel()
                                         ? ListView3->selectionModel()->selectedRows()
                                         : QModelIndexList();
    if (selected.isEmpty())
        return;
    int row = selected.first().row();
    for (const QModelIndex &index : selected)
        row = std::min(row, index.row());
    if (row < 0 || row >= m_model->rowCount())
        return;

    auto *form = qobject_cast<ledger::LedgerForm *>(controls::programForm(session(), ledger::entryFormOf(*shown)));
    if (!form)
        return;
    form->openForChange(m_model->rowTexts(row));
    hide();
}

void Visualizza::stampa()
{
    const std::optional<ledger::Ledger> shown = ledgerShown();
    if (!shown)
        return;
    if (auto *stampa = qobject_cast<print::StampaP *>(controls::programForm(session(), controls::FormId::StampaP)))
        stampa->open(ledger::modeText(*shown));
}

void Visualizza::chiudi()
{
    controls::showForm(session(), controls::FormId::Contavio);
    hide();
}

void Visualizza::tick()
{
    Label15->setText(store::clockLine(session().clock->now()));
}

void Visualizza::reportError(const std::exception &error)
{
    QString text;
    if (const auto *storeError = dynamic_cast<const store::StoreError *>(&error))
        text = storeError->userMessage();
    else
        text = QStringLiteral("Operazione non riuscita sulla cartella di lavoro.");
    session().dialogs->message(controls::BoxKind::Critical, text, QStringLiteral("Contavio"));
}

} // namespace browser
