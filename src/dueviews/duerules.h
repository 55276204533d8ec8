#pragma once

// What is due, what is overdue, who owes what: the rule for an open ledger record and the
// figures of a list of them, as pure functions over DueRecord (filled from the records
// layer, see duesource.h).
//
// A record is settled when its flag G ("Riscosso"/"Pagato") or O ("Saldato") is "SI",
// otherwise open. Its residual is the amount H less the advance L when K ("Acconto") is
// "SI". It is overdue when open and its due date F is before today. An open record whose
// amount, advance or due date cannot be read needs checking ("da verificare"): it is listed
// but left out of every total.

#include "ledger/ledger.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace dueviews {

using ledger::Ledger;

struct DueRecord {
    Ledger ledger = Ledger::Incassi;
    int row = 0;                        // the sheet row it was read from
    double id = 0;                      // A, the record number
    QString counterpartyId;             // B as text, "" when none
    QString counterparty;               // C
    QString invoice;                    // D
    std::optional<QDate> invoiceDate;   // E
    std::optional<QDate> due;           // F; none when it cannot be read
    QString dueText;                    // F as the cell shows it
    QString collected;                  // G, "SI"/"NO" (or whatever the cell holds)
    std::optional<double> amount;       // H; none when it cannot be read
    QString amountText;                 // H as the cell shows it
    QString advanceFlag;                // K
    std::optional<double> advance;      // L
    QString advanceText;
    QString settled;                    // O
    QString note;                       // S
};

bool isSettled(const DueRecord &r);
bool hasAdvance(const DueRecord &r);
// Amount less the advance; none when a figure it needs cannot be read.
std::optional<double> residualOf(const DueRecord &r);
// Open, but its residual or due date cannot be read.
bool needsCheck(const DueRecord &r);
bool isOverdue(const DueRecord &r, const QDate &today);

// Which counterparty a record belongs to: its number in B, or its name in C when B is empty.
QString counterpartyKey(const DueRecord &r);

// "scaduta da 12 gg", "scade oggi", "tra 5 gg"; "da verificare" without a readable date.
QString daysText(const DueRecord &r, const QDate &today);
// 1.234,56 (two decimals, thousands dot), whatever the machine's locale.
QString money(double value);

enum class LedgerChoice { Entrambi, Incassi, Pagamenti };
enum class Period { Scadute, Entro7, Entro30, Entro90, TutteAperte, Intervallo };

// The chart's bars: the overdue first, then the next twelve months from this one.
constexpr int kChartBars = 13;

struct DueFilter {
    LedgerChoice ledgers = LedgerChoice::Entrambi;
    Period period = Period::TutteAperte;
    QDate from, to;              // Intervallo, both inclusive (an invalid one is open)
    QString counterparty;        // a counterpartyKey(), "" for all
    QString counterpartyName;    // for the criteria in words
    QString search;              // in names, invoice numbers and notes, any case
    int chartBar = -1;           // 0 the overdue, 1..12 a month, -1 none
};

// The chart bar of a due date: 0 overdue, 1..12 this month and the eleven after, -1 later.
int chartBarOf(const QDate &due, const QDate &today);
// "Scadute", "dicembre 2026"...
QString chartBarName(int bar, const QDate &today);

// The open records, as indexes into `records`, by due date (records without a readable one
// first, then by record number).
std::vector<int> openByDue(const std::vector<DueRecord> &records);
// The open records the filter keeps, in that order; `open` is openByDue(records), computed
// once for many filters.
std::vector<int> selectOpen(const std::vector<DueRecord> &records, const std::vector<int> &open,
                            const DueFilter &filter, const QDate &today);
std::vector<int> selectOpen(const std::vector<DueRecord> &records, const DueFilter &filter,
                            const QDate &today);

// The filter in words, for the page and the window: "Incassi e Pagamenti - scadute - ...".
QString criteriaText(const DueFilter &filter);

struct Sum {
    int count = 0;
    double residual = 0;
    void add(double r) { ++count; residual += r; }
};

// The aging classes of the overdue: 1-30, 31-60, 61-90 and over 90 days late.
constexpr int kAgingClasses = 4;
int agingClass(int daysLate);

struct LedgerTotals {
    Sum open;                                  // every open record listed
    Sum overdue;
    Sum within30;                              // not overdue, due within 30 days
    std::array<Sum, kAgingClasses> aging{};    // the overdue by days late
};

struct DueTotals {
    LedgerTotals incassi, pagamenti;
    int needingCheck = 0;                      // listed, left out of the sums
    const LedgerTotals &of(Ledger l) const { return l == Ledger::Incassi ? incassi : pagamenti; }
};

DueTotals totalsOf(const std::vector<DueRecord> &records, const std::vector<int> &rows,
                   const QDate &today);
// The totals as lines of text, as the window and the page show them.
QStringList totalsLines(const DueTotals &totals);

// Money due in and out per chart bar, of the open records the filter keeps whatever its
// period and bar.
struct ChartData {
    std::array<double, kChartBars> incassi{};
    std::array<double, kChartBars> pagamenti{};
};
ChartData chartOf(const std::vector<DueRecord> &records, const std::vector<int> &open,
                  const DueFilter &filter, const QDate &today);

// The main menu's line: "Scaduti: 3 incassi per 2.450,00 €, 1 pagamento per 310,00 €".
QString overdueLine(const std::vector<DueRecord> &records, const QDate &today);

} // namespace dueviews
