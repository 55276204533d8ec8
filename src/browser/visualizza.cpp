#include "visualizza.h"

#include "recordlistmodel.h"

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/formparts.h"
#include "controls/xpbutton.h"
#include "ledger/ledgerform.h"
#include "print/stampap.h"
#include "records/ledger.h"
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
    const controls::FooterLabels footer = controls::makeFooterLabels(this);
    Label14 = footer.notice;
    Label15 = footer.clock;
    Label16 = footer.spare;

    buildList();
    Timer2 = controls::makeClockTimer(this, "Timer2");
    XPButton1 = controls::makeFormButton(this, "XPButton1", QStringLiteral("Stampa"));
    XPButton2 = controls::makeFormButton(this, "XPButton2", QStringLiteral("Chiudi"));
    for (controls::XPButton *b : {XPButton1, XPButton2})
        b->setMinimumSize(controls::twips(1335), controls::twips(375));

    buildLayout();
    wireBehaviour();
    tick();
    Timer2->start();
}

void Visualizza::buildList()
{
    m_model = new RecordListModel(session(), this);
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
}

void Visualizza::buildLayout()
{
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
}

void Visualizza::wireBehaviour()
{
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
}

Visualizza::~Visualizza() = default;


void Visualizza::open(ledger::Ledger which)
{
    // The list is built by the opening that sets the mode, not by whatever activation
    // comes next; coming back to the browser builds it again for the same mode.
    Text1->setText(ledger::modeText(which));
    caricaElenco(ledger::sheetOf(which).name);
    m_builtOnOpen = true;
    showForm();
}

int Visualizza::mode() const
{
    const double n = store::leadingNumber(Text1->text());
    return n == 1 ? 1 : n == 2 ? 2 : 0;
}

void Visualizza::activate()
{
    if (std::exchange(m_builtOnOpen, false))
        return;
    if (const std::optional<ledger::Ledger> shown = ledgerShown())
        caricaElenco(ledger::sheetOf(*shown).name);
}

void Visualizza::caricaElenco(const QString &sheetName)
{
    // Whatever happens below, the rows of the list shown before (maybe the other ledger's)
    // go first: a list that cannot be rebuilt is left empty, never stale.
    m_model->clear();
    try {
        const records::Ledger ledger = records::Ledger::of(session().workbook(), sheetName);
        ledger.sortByDueDate();

        m_model->clear();
        ledger.select();
        m_model->rebuild(ledger);
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

    // A record goes only to its own ledger's form: a list of the other ledger (the mode
    // written since it was built) hands nothing over.
    if (m_model->sheetName() != ledger::sheetOf(*shown).name)
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
    controls::reportStoreError(session().dialogs, error);
}

} // namespace browser
