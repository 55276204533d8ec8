#pragma once

// The browser's record list: 20 columns (sheet columns A..T), one row per record of the
// unbroken run of column A from row 2. The model keeps the column titles and the number of
// records found by the last build and reads the cells themselves from the sheet when the
// view asks for them, so building a list of tens of thousands of records costs one pass
// down column A. Values are shown converted to text (dates dd/MM/yyyy, numbers with the
// decimal comma), never in the sheet's display format.

#include <QAbstractTableModel>
#include <QStringList>
#include <optional>
#include <vector>

namespace controls { struct Session; }
namespace records { class Ledger; }

namespace browser {

class RecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 20;

    explicit RecordListModel(controls::Session &session, QObject *parent = nullptr);

    // Empties the list and its column titles.
    void clear();
    // Titles from the displayed texts of A1..T1, then the records from A2 down to the first
    // empty cell of column A (bounded by the end-down jump from A2).
    void rebuild(const records::Ledger &ledger);

    const QString &sheetName() const { return m_sheet; }
    // The texts of one list row, columns A..T.
    QStringList rowTexts(int row) const;
    QString text(int row, int column) const;

    // Column widths in twips and whether a column is right-aligned (H, L, P).
    static int widthTwips(int column);
    static bool rightAligned(int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // The ledger listed, looked up again in the active workbook; none when it is gone.
    std::optional<records::Ledger> ledger() const;

    controls::Session &m_session;
    QString m_sheet;
    QStringList m_titles;
    int m_rows = 0;
    bool m_hasColumns = false;
};

} // namespace browser
