#pragma once

// "Scadenze/Insoluti": the open records of one ledger or both, for a period, one
// counterparty or all and a search; the totals and aging of what is shown; a chart of the
// money due in and out over the next twelve months (a bar filters the list to its month);
// Enter opens a record in its entry form; "Stampa" and "PDF" put on paper exactly what is
// shown. It only reads the workbook.

#include "duelistmodel.h"
#include "duerules.h"
#include "printdoc.h"

#include "controls/form.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QStandardItemModel;
class QTreeView;

class QChartView;
class QBarSet;
class QBarCategoryAxis;
class QValueAxis;

namespace controls { class XPButton; }
namespace store { class Workbook; }

namespace dueviews {

class Scadenze : public controls::Form {
    Q_OBJECT
public:
    explicit Scadenze(controls::Session &session, QWidget *parent = nullptr);
    ~Scadenze() override;

    bool queryUnload() override { return true; }   // the close box never closes it
    void activate() override;   // reads the workbook again when it changed

    // Shows the form with the filters it had; openOnOverdue() with both ledgers' overdue.
    void open();
    void openOnOverdue();

    // The filter the controls say, and what it selects.
    DueFilter filter() const;
    void refresh();            // the list, totals and chart again, from the records read
    void reload();             // reads the records again, then refresh()
    void selectChartBar(int bar);   // -1 none; the same bar again takes it away
    void openSelected();       // Enter or a double click: the record in its entry form
    PrintDoc document() const; // what is shown, as a page
    void stampa();
    void pdf();
    void chiudi();

    DueListModel *listModel() const { return m_model; }
    const DueTotals &totals() const { return m_totals; }
    const ChartData &chart() const { return m_chart; }

    QComboBox *ComboLedger = nullptr;
    QComboBox *ComboPeriod = nullptr;
    QDateEdit *DateFrom = nullptr;
    QDateEdit *DateTo = nullptr;
    QComboBox *ComboCounterparty = nullptr;
    QLineEdit *TextSearch = nullptr;
    QTreeView *List = nullptr;
    QLabel *LabelTotals = nullptr;
    QLabel *LabelBar = nullptr;
    QChartView *Chart = nullptr;
    controls::XPButton *ButtonStampa = nullptr;
    controls::XPButton *ButtonPdf = nullptr;
    controls::XPButton *ButtonChiudi = nullptr;

private:
    void buildControls();
    void buildChart();
    void buildLayout();
    void fillCounterparties();
    void updateChart();
    QDate today() const;

    std::vector<DueRecord> m_records;
    std::vector<int> m_open;   // the open records by due date
    const store::Workbook *m_readBook = nullptr;   // what m_records were read from, and when
    quint64 m_readRevision = 0;
    QStandardItemModel *m_counterparties = nullptr;   // the names of ComboCounterparty
    DueListModel *m_model = nullptr;
    DueTotals m_totals;
    ChartData m_chart;
    int m_chartBar = -1;
    bool m_filling = false;
    QBarSet *m_inSet = nullptr;
    QBarSet *m_outSet = nullptr;
    QBarCategoryAxis *m_axisX = nullptr;
    QValueAxis *m_axisY = nullptr;
};

} // namespace dueviews
