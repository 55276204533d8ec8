#pragma once

// The list of "Scadenze/Insoluti": the open records a filter keeps, one row each, with the
// days to or past the due date, the figures and the three flags that say why a record is
// open. Overdue rows are red, rows due within 7 days amber; the days column says the same
// in words. Any column sorts; the rows are indexes into the records, which the model shares.

#include "duerules.h"
#include "printdoc.h"

#include <QAbstractTableModel>

namespace dueviews {

class DueListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        ColDue, ColDays, ColLedger, ColCounterparty, ColInvoice, ColInvoiceDate,
        ColAmount, ColAdvance, ColResidual, ColCollected, ColAdvanceFlag, ColSettled, ColNote,
        kColumns
    };

    explicit DueListModel(QObject *parent = nullptr);

    // The records and the rows to show (indexes into them), sorted by the current column.
    void setRows(const std::vector<DueRecord> *records, std::vector<int> rows, const QDate &today);
    const DueRecord &record(int row) const;
    const std::vector<int> &rows() const { return m_rows; }

    // The texts of a shown row, as on the screen and on paper.
    QStringList rowTexts(int row) const;
    static QString text(const DueRecord &r, int column, const QDate &today);
    static std::vector<PrintColumn> printColumns();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void sortRows();

    const std::vector<DueRecord> *m_records = nullptr;
    std::vector<int> m_rows;
    QDate m_today;
    int m_sortColumn = ColDue;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// The due list as a page: the rows given (in that order), the filter in words and the
// totals of those rows; overdue rows in bold.
PrintDoc dueListDocument(const std::vector<DueRecord> &records, const std::vector<int> &rows,
                         const DueFilter &filter, const QDate &today);

} // namespace dueviews
