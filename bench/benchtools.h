#pragma once

// What the benchmarks share: the timing line each step prints, the peak memory, the
// "--rows N" option and the ledger sheets they fill.

#include <QStringList>

#include <functional>
#include <optional>

namespace store { class Worksheet; }
namespace store::layout { struct SheetLayout; }

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

// Takes "--rows N" off the front of the arguments. The count when it is there and within
// min..max; `fallback` when the option is absent; nullopt (with a line on stderr) when its
// value is missing or out of range.
std::optional<int> takeRows(QStringList &args, int min, int max, int fallback);

// A full ledger sheet as the program keeps one: the layout's title row, then `records`
// records with every column filled (due dates out of order, `counterparties` different
// customers or suppliers), and the record counter in IV1.
void fillLedger(store::Worksheet &sheet, const store::layout::SheetLayout &layout, int records,
                int counterparties);

} // namespace bench
