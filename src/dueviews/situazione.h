#pragma once

// "Situazione Clienti/Fornitori": a searchable list of customers and suppliers; for the one
// chosen, every record of its ledger with what was invoiced, collected (paid) and is left,
// the overdue and the date of the last reminder; its statement ("Estratto conto") and, for
// a customer with something overdue, a reminder letter, on paper or as PDF. A reminder sent
// is recorded on the sheet "Solleciti", the only writing of this form.

#include "duesource.h"
#include "statement.h"

#include "controls/form.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QStandardItemModel;
class QTreeView;

namespace controls { class XPButton; }

namespace dueviews {

// Where a document goes.
enum class Destination { Printer, Pdf };

// Prints or exports a reminder for `who` and, once it is out, records it in "Solleciti".
// False when nothing went out or it could not be recorded (the user is told).
bool sendReminder(controls::Session &session, const std::vector<DueRecord> &records,
                  const CounterpartyInfo &who, ReminderLevel level, Destination where);
// Prints or exports the statement of `who`.
bool sendStatement(controls::Session &session, const std::vector<DueRecord> &records,
                   const CounterpartyInfo &who, Destination where);
// The level a new reminder to `who` proposes: one more than those already sent.
ReminderLevel nextLevel(store::Workbook &book, const CounterpartyInfo &who);
// The date of the last reminder sent to `who`, if any.
std::optional<QDate> lastReminder(store::Workbook &book, const CounterpartyInfo &who);

class Situazione : public controls::Form {
    Q_OBJECT
public:
    explicit Situazione(controls::Session &session, QWidget *parent = nullptr);
    ~Situazione() override;

    bool queryUnload() override { return true; }
    void activate() override;   // reads the workbook again, keeps the choice

    void open();
    void filterList();          // the names matching TextCerca
    void choose(int index);     // a counterparty of m_people, -1 none
    void estrattoConto();
    void sollecito();
    void chiudi();

    const CounterpartyInfo *chosen() const;
    const StatementTotals &totals() const { return m_totals; }

    QLineEdit *TextCerca = nullptr;
    QListWidget *ListSoggetti = nullptr;
    QLabel *LabelSoggetto = nullptr;
    QTreeView *ListRecords = nullptr;
    QLabel *LabelTotals = nullptr;
    QComboBox *ComboDestinazione = nullptr;   // "Stampante", "File PDF"
    QComboBox *ComboLivello = nullptr;
    controls::XPButton *ButtonEstratto = nullptr;
    controls::XPButton *ButtonSollecito = nullptr;
    controls::XPButton *ButtonChiudi = nullptr;

private:
    void buildControls();
    void buildLayout();
    void showChosen();
    Destination destination() const;
    QDate today() const;

    std::vector<DueRecord> m_records;
    std::vector<CounterpartyInfo> m_people;
    int m_chosen = -1;
    StatementTotals m_totals;
    QStandardItemModel *m_model = nullptr;
};

} // namespace dueviews
