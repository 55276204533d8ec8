#include "scadenze.h"

#include "duesource.h"
#include "output.h"

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "store/model/workbook.h"

#include <QBarCategoryAxis>
#include <QHorizontalBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTreeView>
#include <QValueAxis>
#include <QVBoxLayout>

#include <set>

namespace dueviews {

namespace {

const char *const kPeriods[] = {
    "Scadute", "In scadenza entro 7 giorni", "In scadenza entro 30 giorni",
    "In scadenza entro 90 giorni", "Tutte le aperte", "Dal ... al ...",
};

} // namespace

Scadenze::Scadenze(controls::Session &session, QWidget *parent)
    : controls::Form(session, parent)
{
    setObjectName(QStringLiteral("Scadenze"));
    setWindowTitle(QStringLiteral("Scadenze/Insoluti"));
    buildControls();
    buildChart();
    buildLayout();
}

Scadenze::~Scadenze() = default;

void Scadenze::buildControls()
{
    ComboLedger = controls::makeNamed<QComboBox>(this, "ComboLedger");
    ComboLedger->addItems({QStringLiteral("Entrambi"), QStringLiteral("Incassi"), QStringLiteral("Pagamenti")});
    ComboPeriod = controls::makeNamed<QComboBox>(this, "ComboPeriod");
    for (const char *period : kPeriods)
        ComboPeriod->addItem(QString::fromUtf8(period));
    ComboPeriod->setCurrentIndex(int(Period::TutteAperte));
    const QDate now = today();
    DateFrom = controls::makeNamed<QDateEdit>(this, "DateFrom", now);
    DateTo = controls::makeNamed<QDateEdit>(this, "DateTo", now.addMonths(1));
    for (QDateEdit *edit : {DateFrom, DateTo}) {
        edit->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
    }
    ComboCounterparty = controls::makeNamed<QComboBox>(this, "ComboCounterparty");
    ComboCounterparty->setMinimumContentsLength(24);
    TextSearch = controls::makeNamed<QLineEdit>(this, "TextSearch");
    TextSearch->setPlaceholderText(QStringLiteral("nome, fattura o nota"));
    TextSearch->setClearButtonEnabled(true);

    m_model = new DueListModel(this);
    List = controls::makeNamed<QTreeView>(this, "List");
    List->setModel(m_model);
    List->setRootIsDecorated(false);
    List->setUniformRowHeights(true);
    List->setAllColumnsShowFocus(true);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setSelectionBehavior(QAbstractItemView::SelectRows);
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List->setSortingEnabled(true);
    List->header()->setSortIndicator(DueListModel::ColDue, Qt::AscendingOrder);
    const int widths[DueListModel::kColumns] = {80, 125, 75, 200, 80, 80, 85, 85, 85, 65, 45, 45, 200};
    for (int c = 0; c < DueListModel::kColumns; ++c)
        List->header()->resizeSection(c, widths[c]);

    LabelTotals = controls::makeNamed<QLabel>(this, "LabelTotals");
    LabelTotals->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelBar = controls::makeNamed<QLabel>(this, "LabelBar");

    ButtonStampa = controls::makeFormButton(this, "ButtonStampa", QStringLiteral("Stampa"),
                                            QStringLiteral("Stampa l'elenco mostrato"));
    ButtonPdf = controls::makeFormButton(this, "ButtonPdf", QStringLiteral("PDF"),
                                         QStringLiteral("Salva l'elenco mostrato in un file PDF"));
    ButtonChiudi = controls::makeFormButton(this, "ButtonChiudi", QStringLiteral("Chiudi"), QStringLiteral("Esci"));
    for (controls::XPButton *b : {ButtonStampa, ButtonPdf, ButtonChiudi})
        b->setMinimumSize(controls::twips(1335), controls::twips(375));

    const auto changed = [this] {
        if (m_filling)
            return;
        m_chartBar = -1;   // a new filter starts from the whole period
        refresh();
    };
    connect(ComboLedger, &QComboBox::currentIndexChanged, this, changed);
    connect(ComboPeriod, &QComboBox::currentIndexChanged, this, [this, changed](int index) {
        const bool range = index == int(Period::Intervallo);
        DateFrom->setEnabled(range);
        DateTo->setEnabled(range);
        changed();
    });
    connect(DateFrom, &QDateEdit::dateChanged, this, changed);
    connect(DateTo, &QDateEdit::dateChanged, this, changed);
    connect(ComboCounterparty, &QComboBox::currentIndexChanged, this, changed);
    connect(TextSearch, &QLineEdit::textChanged, this, changed);
    connect(List, &QTreeView::activated, this, [this](const QModelIndex &) { openSelected(); });
    connect(ButtonStampa, &controls::XPButton::clicked, this, &Scadenze::stampa);
    connect(ButtonPdf, &controls::XPButton::clicked, this, &Scadenze::pdf);
    connect(ButtonChiudi, &controls::XPButton::clicked, this, &Scadenze::chiudi);
}

void Scadenze::buildChart()
{
    m_inSet = new QBarSet(QStringLiteral("Incassi"));
    m_outSet = new QBarSet(QStringLiteral("Pagamenti"));
    m_inSet->setColor(QColor(0x3A, 0x8D, 0x4F));
    m_outSet->setColor(QColor(0xC0, 0x5A, 0x3A));
    // Horizontal bars: the months' names stay readable beside a narrow chart.
    auto *series = new QHorizontalBarSeries;
    series->append(m_inSet);
    series->append(m_outSet);
    auto *chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(QStringLiteral("Da incassare e da pagare per mese"));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    m_axisX = new QBarCategoryAxis;   // the bars, from the bottom: the last month up to the overdue
    m_axisY = new QValueAxis;         // the money
    m_axisY->setLabelFormat(QStringLiteral("%.0f"));
    m_axisY->setTickCount(3);
    chart->addAxis(m_axisX, Qt::AlignLeft);
    chart->addAxis(m_axisY, Qt::AlignBottom);
    series->attachAxis(m_axisX);
    series->attachAxis(m_axisY);
    Chart = new QChartView(chart, this);
    Chart->setObjectName(QStringLiteral("Chart"));
    Chart->setRenderHint(QPainter::Antialiasing);
    Chart->setMinimumWidth(320);
    connect(series, &QHorizontalBarSeries::clicked, this,
            [this](int index, QBarSet *) { selectChartBar(kChartBars - 1 - index); });
}

void Scadenze::buildLayout()
{
    auto *outer = new QVBoxLayout(this);
    auto *filters = new QGridLayout;
    const auto label = [this](const char *text) { return new QLabel(QString::fromUtf8(text), this); };
    filters->addWidget(label("Registro"), 0, 0);
    filters->addWidget(ComboLedger, 1, 0);
    filters->addWidget(label("Periodo"), 0, 1);
    filters->addWidget(ComboPeriod, 1, 1);
    filters->addWidget(label("Dal"), 0, 2);
    filters->addWidget(DateFrom, 1, 2);
    filters->addWidget(label("Al"), 0, 3);
    filters->addWidget(DateTo, 1, 3);
    filters->addWidget(label("Cliente/Fornitore"), 0, 4);
    filters->addWidget(ComboCounterparty, 1, 4);
    filters->addWidget(label("Cerca"), 0, 5);
    filters->addWidget(TextSearch, 1, 5);
    filters->setColumnStretch(5, 1);
    outer->addLayout(filters);

    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(List);
    split->addWidget(Chart);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    outer->addWidget(split, 1);
    outer->addWidget(LabelBar);
    outer->addWidget(LabelTotals);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonStampa);
    buttons->addWidget(ButtonPdf);
    buttons->addWidget(ButtonChiudi);
    outer->addLayout(buttons);
    resize(1000, 680);
}

QDate Scadenze::today() const
{
    return session().clock ? session().clock->now().date() : QDate::currentDate();
}

void Scadenze::open()
{
    showForm();
}

void Scadenze::openOnOverdue()
{
    m_filling = true;
    ComboLedger->setCurrentIndex(int(LedgerChoice::Entrambi));
    ComboPeriod->setCurrentIndex(int(Period::Scadute));
    ComboCounterparty->setCurrentIndex(0);
    TextSearch->clear();
    m_filling = false;
    m_chartBar = -1;
    showForm();
}

void Scadenze::activate()
{
    // The records are read again only when the workbook changed since they were read.
    try {
        const store::Workbook &book = session().workbook();
        if (&book == m_readBook && book.revision() == m_readRevision) {
            refresh();
            return;
        }
    } catch (const std::exception &) {
        // reload() tells why
    }
    reload();
}

void Scadenze::reload()
{
    m_readBook = nullptr;
    try {
        store::Workbook &book = session().workbook();
        m_records = readDueRecords(book);
        m_readBook = &book;
        m_readRevision = book.revision();
    } catch (const std::exception &e) {
        m_records.clear();
        m_open.clear();
        controls::reportStoreError(session().dialogs, e);
    }
    m_open = openByDue(m_records);
    fillCounterparties();
    refresh();
}

void Scadenze::fillCounterparties()
{
    // The counterparties that have open records, by name; the choice made stays when it
    // still has some. The list is built aside and handed over whole (thousands of names).
    const QString chosen = ComboCounterparty->currentData().toString();
    std::map<QString, std::pair<QString, QString>> byName;   // sort name -> key, shown
    std::set<QString> keys;
    for (int i : m_open) {
        const DueRecord &r = m_records[size_t(i)];
        QString key = counterpartyKey(r);
        if (keys.count(key))
            continue;
        const QString number = r.counterpartyId.trimmed();
        const QString shown = number.isEmpty() ? r.counterparty : QStringLiteral("%1 (%2)").arg(r.counterparty, number);
        byName.emplace(r.counterparty.toUpper() + QChar(0) + key, std::make_pair(key, shown));
        keys.insert(std::move(key));
    }
    auto *model = new QStandardItemModel(this);
    auto *all = new QStandardItem(QStringLiteral("Tutti"));
    all->setData(QString(), Qt::UserRole);
    model->appendRow(all);
    int index = 0;
    for (const auto &[sortKey, entry] : byName) {
        auto *item = new QStandardItem(entry.second);
        item->setData(entry.first, Qt::UserRole);
        model->appendRow(item);
        if (entry.first == chosen && !chosen.isEmpty())
            index = model->rowCount() - 1;
    }
    m_filling = true;
    ComboCounterparty->setModel(model);   // the combo's own first model goes with it
    delete m_counterparties;
    m_counterparties = model;
    ComboCounterparty->setCurrentIndex(index);
    m_filling = false;
}

DueFilter Scadenze::filter() const
{
    DueFilter f;
    f.ledgers = LedgerChoice(ComboLedger->currentIndex());
    f.period = Period(ComboPeriod->currentIndex());
    f.from = DateFrom->date();
    f.to = DateTo->date();
    f.counterparty = ComboCounterparty->currentData().toString();
    if (!f.counterparty.isEmpty())
        f.counterpartyName = ComboCounterparty->currentText();
    f.search = TextSearch->text();
    f.chartBar = m_chartBar;
    return f;
}

void Scadenze::refresh()
{
    const QDate now = today();
    const DueFilter f = filter();
    std::vector<int> rows = selectOpen(m_records, m_open, f, now);
    m_totals = totalsOf(m_records, rows, now);
    m_model->setRows(&m_records, std::move(rows), now);
    LabelTotals->setText(totalsLines(m_totals).join(QLatin1Char('\n')));
    LabelBar->setText(m_chartBar < 0 ? QString()
                                     : QStringLiteral("Solo: %1 (un clic sulla stessa barra mostra tutto il periodo)")
                                           .arg(chartBarName(m_chartBar, now)));
    m_chart = chartOf(m_records, m_open, f, now);
    updateChart();
}

void Scadenze::updateChart()
{
    const QDate now = today();
    QStringList categories;
    QList<qreal> in, out;
    double top = 0;
    for (int bar = kChartBars - 1; bar >= 0; --bar) {
        categories << (bar == 0 ? QStringLiteral("Scadute")
                                : QLocale(QLocale::Italian).toString(QDate(now.year(), now.month(), 1).addMonths(bar - 1),
                                                                     QStringLiteral("MMM yyyy")));
        in << m_chart.incassi[size_t(bar)];
        out << m_chart.pagamenti[size_t(bar)];
        top = std::max({top, m_chart.incassi[size_t(bar)], m_chart.pagamenti[size_t(bar)]});
    }
    m_inSet->remove(0, m_inSet->count());
    m_outSet->remove(0, m_outSet->count());
    m_inSet->append(in);
    m_outSet->append(out);
    m_axisX->clear();
    m_axisX->append(categories);
    m_axisY->setRange(0, top > 0 ? top * 1.1 : 1);
}

void Scadenze::selectChartBar(int bar)
{
    m_chartBar = (bar == m_chartBar || bar < 0 || bar >= kChartBars) ? -1 : bar;
    refresh();
}

void Scadenze::openSelected()
{
    const QModelIndex current = List->currentIndex();
    if (!current.isValid() || current.row() >= m_model->rowCount())
        return;
    if (openInEntryForm(session(), m_model->record(current.row()), controls::FormId::Scadenze))
        hide();
    else
        reload();
}

PrintDoc Scadenze::document() const
{
    return dueListDocument(m_records, m_model->rows(), filter(), today());
}

void Scadenze::stampa()
{
    printOnPrinter(session(), document());
}

void Scadenze::pdf()
{
    exportPdf(session(), document(), QStringLiteral("Scadenze"));
}

void Scadenze::chiudi()
{
    controls::showForm(session(), controls::FormId::Contavio);
    hide();
}

} // namespace dueviews
