#include "duelistmodel.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include <algorithm>

namespace dueviews {

namespace {

struct ColumnInfo {
    const char *title;
    int weight;
    bool right;
};

const ColumnInfo kColumnInfo[DueListModel::kColumns] = {
    {"Scadenza", 6, false},
    {"Giorni", 9, false},
    {"Registro", 6, false},
    {"Cliente/Fornitore", 12, false},
    {"Fattura", 5, false},
    {"Data fatt.", 6, false},
    {"Importo", 6, true},
    {"Acconto", 6, true},
    {"Residuo", 6, true},
    {"Risc./Pag.", 3, false},
    {"Acc.", 3, false},
    {"Sald.", 3, false},
    {"Nota", 9, false},
};

QString dateOr(const std::optional<QDate> &date, const QString &shown)
{
    return date ? date->toString(QStringLiteral("dd/MM/yyyy")) : shown;
}

} // namespace

DueListModel::DueListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void DueListModel::setRows(const std::vector<DueRecord> *records, std::vector<int> rows, const QDate &today)
{
    beginResetModel();
    m_records = records;
    m_rows = std::move(rows);
    m_today = today;
    if (m_sortColumn != ColDue || m_sortOrder != Qt::AscendingOrder)
        sortRows();   // the rows come by due date already
    endResetModel();
}

const DueRecord &DueListModel::record(int row) const
{
    return (*m_records)[size_t(m_rows[size_t(row)])];
}

QString DueListModel::text(const DueRecord &r, int column, const QDate &today)
{
    switch (column) {
    case ColDue: return dateOr(r.due, r.dueText);
    case ColDays: return needsCheck(r) ? QStringLiteral("da verificare") : daysText(r, today);
    case ColLedger: return r.ledger == Ledger::Incassi ? QStringLiteral("Incassi") : QStringLiteral("Pagamenti");
    case ColCounterparty: return r.counterparty;
    case ColInvoice: return r.invoice;
    case ColInvoiceDate: return dateOr(r.invoiceDate, QString());
    case ColAmount: return r.amount ? money(*r.amount) : r.amountText;
    case ColAdvance:
        if (!hasAdvance(r))
            return QString();
        return r.advance ? money(*r.advance) : r.advanceText;
    case ColResidual: {
        const std::optional<double> residual = residualOf(r);
        return residual ? money(*residual) : QString();
    }
    case ColCollected: return r.collected;
    case ColAdvanceFlag: return r.advanceFlag;
    case ColSettled: return r.settled;
    case ColNote: return r.note;
    }
    return QString();
}

QStringList DueListModel::rowTexts(int row) const
{
    QStringList texts;
    const DueRecord &r = record(row);
    for (int c = 0; c < kColumns; ++c)
        texts << text(r, c, m_today);
    return texts;
}

std::vector<PrintColumn> DueListModel::printColumns()
{
    std::vector<PrintColumn> columns;
    for (const ColumnInfo &info : kColumnInfo)
        columns.push_back({QString::fromUtf8(info.title), info.weight, info.right});
    return columns;
}

int DueListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_records ? 0 : int(m_rows.size());
}

int DueListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant DueListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const DueRecord &r = record(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return text(r, index.column(), m_today);
    case Qt::TextAlignmentRole:
        return int((kColumnInfo[index.column()].right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        if (isOverdue(r, m_today))
            return QBrush(QColor(0xF6, 0xC6, 0xC6));
        if (r.due && m_today.daysTo(*r.due) <= 7)
            return QBrush(QColor(0xFB, 0xE3, 0xA8));
        return {};
    case Qt::FontRole:
        if (needsCheck(r)) {
            QFont italic;
            italic.setItalic(true);
            return italic;
        }
        return {};
    }
    return {};
}

QVariant DueListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kColumnInfo[section].title);
    if (role == Qt::TextAlignmentRole)
        return int((kColumnInfo[section].right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return {};
}

void DueListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= kColumns)
        return;
    beginResetModel();
    m_sortColumn = column;
    m_sortOrder = order;
    sortRows();
    endResetModel();
}

void DueListModel::sortRows()
{
    if (!m_records)
        return;
    const std::vector<DueRecord> &all = *m_records;
    const auto dateKey = [](const std::optional<QDate> &d) { return d ? d->toJulianDay() : qint64(-1); };
    const auto figure = [](const std::optional<double> &v) { return v.value_or(-1e300); };
    // Ascending comparison of two records on the sort column; ties stay by due date.
    const auto less = [&](const DueRecord &a, const DueRecord &b) -> int {
        const auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
        switch (m_sortColumn) {
        case ColDue:
        case ColDays: return cmp(dateKey(a.due), dateKey(b.due));
        case ColLedger: return cmp(int(a.ledger), int(b.ledger));
        case ColCounterparty: return a.counterparty.localeAwareCompare(b.counterparty);
        case ColInvoice: return a.invoice.localeAwareCompare(b.invoice);
        case ColInvoiceDate: return cmp(dateKey(a.invoiceDate), dateKey(b.invoiceDate));
        case ColAmount: return cmp(figure(a.amount), figure(b.amount));
        case ColAdvance: return cmp(hasAdvance(a) ? figure(a.advance) : 0.0, hasAdvance(b) ? figure(b.advance) : 0.0);
        case ColResidual: return cmp(figure(residualOf(a)), figure(residualOf(b)));
        case ColCollected: return a.collected.compare(b.collected);
        case ColAdvanceFlag: return a.advanceFlag.compare(b.advanceFlag);
        case ColSettled: return a.settled.compare(b.settled);
        case ColNote: return a.note.localeAwareCompare(b.note);
        }
        return 0;
    };
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](int x, int y) {
        const DueRecord &a = all[size_t(x)];
        const DueRecord &b = all[size_t(y)];
        const int c = less(a, b);
        if (c != 0)
            return m_sortOrder == Qt::AscendingOrder ? c < 0 : c > 0;
        return dateKey(a.due) < dateKey(b.due) || (dateKey(a.due) == dateKey(b.due) && a.id < b.id);
    });
}

PrintDoc dueListDocument(const std::vector<DueRecord> &records, const std::vector<int> &rows,
                         const DueFilter &filter, const QDate &today)
{
    PrintDoc doc;
    doc.jobName = QStringLiteral("Scadenze/Insoluti");
    doc.landscape = true;
    doc.title = QStringLiteral("Scadenze/Insoluti");
    doc.date = today;
    doc.criteria << criteriaText(filter);
    if (filter.chartBar >= 0)
        doc.criteria << QStringLiteral("Solo: %1").arg(chartBarName(filter.chartBar, today));
    doc.criteria << QStringLiteral("Situazione al %1 - %2 registrazioni")
                        .arg(today.toString(QStringLiteral("dd/MM/yyyy")))
                        .arg(rows.size());
    doc.columns = DueListModel::printColumns();
    doc.rows.reserve(rows.size());
    doc.marked.reserve(rows.size());
    for (int i : rows) {
        const DueRecord &r = records[size_t(i)];
        QStringList texts;
        for (int c = 0; c < DueListModel::kColumns; ++c)
            texts << DueListModel::text(r, c, today);
        doc.rows.push_back(texts);
        doc.marked.push_back(isOverdue(r, today));
    }
    doc.totals = totalsLines(totalsOf(records, rows, today));
    return doc;
}

} // namespace dueviews
