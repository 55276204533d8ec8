#pragma once

// How one customer or supplier stands: its records, what was invoiced, collected (paid) and
// is left, what is overdue; its statement ("Estratto conto") and the payment reminder
// letters ("Primo sollecito", "Secondo sollecito", "Diffida") as printable documents.

#include "duerules.h"
#include "duesource.h"
#include "printdoc.h"

namespace dueviews {

// The records of the counterparty: in its ledger (customers "Incassi", suppliers
// "Pagamenti"), by its number in B, or by its name in C for records without a number.
bool belongsTo(const DueRecord &r, const CounterpartyInfo &who);
std::vector<int> recordsOf(const std::vector<DueRecord> &records, const CounterpartyInfo &who);

struct StatementTotals {
    double invoiced = 0;    // every amount read
    double collected = 0;   // invoiced less what is left
    double residual = 0;    // left on the open records
    double overdue = 0;     // left on the overdue ones
    int overdueCount = 0;
    int needingCheck = 0;   // open records left out of the figures
};
StatementTotals statementTotals(const std::vector<DueRecord> &records, const std::vector<int> &rows,
                                const QDate &today);

// "saldata", "aperta", "scaduta" or "da verificare".
QString stateText(const DueRecord &r, const QDate &today);
// The columns and texts of a statement row, as on the screen and on paper.
QStringList statementColumnTitles(bool customer);
QStringList statementRowTexts(const DueRecord &r, const QDate &today);

enum class ReminderLevel { Primo, Secondo, Diffida };
constexpr int kReminderLevels = 3;
QString levelName(ReminderLevel level);   // "Primo sollecito", "Secondo sollecito", "Diffida"

PrintDoc statementDocument(const std::vector<DueRecord> &records, const CounterpartyInfo &who,
                           const Letterhead &letterhead, const QDate &today);

// The overdue, open records of a customer, with their residuals, and the letter for them.
struct Reminder {
    ReminderLevel level = ReminderLevel::Primo;
    std::vector<int> rows;   // the overdue records, by due date
    QStringList invoices;    // their invoice numbers
    double total = 0;        // their residuals
};
Reminder reminderFor(const std::vector<DueRecord> &records, const CounterpartyInfo &who,
                     ReminderLevel level, const QDate &today);
PrintDoc reminderDocument(const std::vector<DueRecord> &records, const CounterpartyInfo &who,
                          const Reminder &reminder, const Letterhead &letterhead,
                          const QDate &today);

} // namespace dueviews
