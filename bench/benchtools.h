#pragma once

// What the benchmarks share: the timing line each step prints, the peak memory, the
// "--rows N" option and the ledger sheets they fill.

#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>

namespace store { class Worksheet; }
namespace records::layout { struct SheetLayout; }

namespace bench {

// The peak resident memory of this process so far, in megabytes.
double peakMegabytes();

// Prints "what   seconds s   peak MB" for each step timed, the label padded to one width and
// the seconds to a fixed number of decimals, so that a benchmark's lines stand in columns.
class Timings {
public:
    Timings(int labelWidth, int decimals) : m_labelWidth(labelWidth), m_decimals(decimals) {}
    // Runs the step and prints its line; returns the wall time in seconds.
    double timed(const char *what, const std::function<void()> &step) const;
    // A line of the same table with a value instead of a time ("file size   12.3 MB").
    void value(const char *what, double amount, const char *unit) const;

private:
    int m_labelWidth;
    int m_decimals;
};

// A benchmark's command line, "[--rows N] [folder]": the number of rows (within min..max,
// `fallback` without the option) and where the workbook goes: FOLDER/Contavio.xls, or a
// temporary folder removed at the end when none is given.
class CommandLine {
public:
    CommandLine(QStringList arguments, int min, int max, int fallback);
    // False when the row count is missing or out of range (said on stderr): exit with 2.
    bool ok() const { return m_rows.has_value(); }
    int rows() const { return m_rows.value_or(0); }
    QString folder() const;
    QString workbookPath() const;

private:
    std::optional<int> m_rows;
    QStringList m_rest;
    QTemporaryDir m_temporary;
};

// A full ledger sheet as the program keeps one: the layout's title row, then `records`
// records with every column filled (due dates out of order, `counterparties` different
// customers or suppliers), and the record counter in IV1.
void fillLedger(store::Worksheet &sheet, const records::layout::SheetLayout &layout, int records,
                int counterparties);

} // namespace bench
