#include "recordlistmodel.h"

#include "controls/session.h"
#include "records/ledger.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

namespace browser {

namespace {

// Widths in twips of the columns A..T; A and B are carried but not seen.
constexpr int kWidths[RecordListModel::kColumns] = {
    1, 1, 4000, 2000, 2000, 2000, 1000, 1000, 2000, 2000,
    2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000,
};

} // namespace

RecordListModel::RecordListModel(controls::Session &session, QObject *parent)
    : QAbstractTableModel(parent)
    , m_session(session)
{
}

int RecordListModel::widthTwips(int column)
{
    return column >= 0 && column < kColumns ? kWidths[column] : 0;
}

bool RecordListModel::rightAligned(int column)
{
    return column == 7 || column == 11 || column == 15;   // H, L, P
}

void RecordListModel::clear()
{
    beginResetModel();
    m_rows = 0;
    m_titles.clear();
    m_hasColumns = false;
    m_sheet.clear();
    endResetModel();
}

void RecordListModel::rebuild(const records::Ledger &ledger)
{
    const QStringList titles = ledger.titles(kColumns);
    const int rows = ledger.recordCount();

    beginResetModel();
    m_sheet = ledger.name();
    m_titles = titles;
    m_rows = rows;
    m_hasColumns = true;
    endResetModel();
}

std::optional<records::Ledger> RecordListModel::ledger() const
{
    if (m_sheet.isEmpty() || !m_session.server)
        return std::nullopt;
    store::Workbook *book = m_session.server->activeWorkbook();
    return book ? records::Ledger::find(*book, m_sheet) : std::nullopt;
}

QString RecordListModel::text(int row, int column) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= kColumns)
        return {};
    const std::optional<records::Ledger> shown = ledger();
    if (!shown)
        return {};
    const records::Field field = shown->cell(records::layout::kFirstRecordRow + row, column + 1);
    // Amounts as money, so that the right-aligned columns line up on the comma; a cell that
    // holds no amount shows what it holds.
    if (rightAligned(column))
        if (const std::optional<double> amount = field.amount().get())
            return store::amountText(*amount);
    return field.text();
}

QStringList RecordListModel::rowTexts(int row) const
{
    QStringList texts;
    texts.reserve(kColumns);
    for (int column = 0; column < kColumns; ++column)
        texts.append(text(row, column));
    return texts;
}

int RecordListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RecordListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_hasColumns ? 0 : kColumns;
}

QVariant RecordListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole && rightAligned(index.column()))
        return QVariant(int(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_titles.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_titles.at(section);
    if (role == Qt::TextAlignmentRole && rightAligned(section))
        return QVariant(int(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

} // namespace browser
