#include "benchtools.h"

#include "records/layout.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QDate>
#include <QElapsedTimer>

#include <cstdio>
#include <sys/resource.h>

namespace bench {

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;   // kilobytes on Linux
}

double Timings::timed(const char *what, const std::function<void()> &step) const
{
    QElapsedTimer timer;
    timer.start();
    step();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%-*s %8.*f s   peak %7.1f MB\n", m_labelWidth, what, m_decimals, seconds, peakMegabytes());
    std::fflush(stdout);
    return seconds;
}

void Timings::value(const char *what, double amount, const char *unit) const
{
    std::printf("%-*s %8.1f %s\n", m_labelWidth, what, amount, unit);
    std::fflush(stdout);
}

CommandLine::CommandLine(QStringList arguments, int min, int max, int fallback)
{
    if (arguments.isEmpty() || arguments.first() != QStringLiteral("--rows")) {
        m_rows = fallback;
        m_rest = arguments;
        return;
    }
    bool ok = false;
    const int rows = arguments.size() >= 2 ? arguments.at(1).toInt(&ok) : 0;
    if (!ok || rows < min || rows > max) {
        std::fprintf(stderr, "--rows: da %d a %d\n", min, max);
        return;
    }
    m_rows = rows;
    m_rest = arguments.mid(2);
}

QString CommandLine::folder() const
{
    return m_rest.isEmpty() ? m_temporary.path() : m_rest.first();
}

QString CommandLine::workbookPath() const
{
    return folder() + QStringLiteral("/Contavio.xls");
}

void fillLedger(store::Worksheet &sheet, const records::layout::SheetLayout &layout, int records,
                int counterparties)
{
    using store::Variant;
    for (int c = 1; c <= layout.columnCount(); ++c)
        sheet.cells(1, c).setValue(Variant::fromText(layout.titles.at(c - 1)));
    const QDate base(2009, 1, 1);
    for (int r = 2; r <= records + 1; ++r) {
        const int n = r - 1;
        const auto date = [&](int offset) {
            return Variant::fromDate(store::dateToSerial(base.addDays((n * 7919 + offset) % 5000)));
        };
        const auto text = [&](int column, const QString &t) { sheet.cells(r, column).setValue(Variant::fromText(t)); };
        const int counterparty = n % counterparties + 1;
        sheet.cells(r, 1).setValue(double(n));
        sheet.cells(r, 2).setValue(double(counterparty));
        text(3, QStringLiteral("CLIENTE NUMERO %1 S.R.L.").arg(counterparty));
        text(4, QStringLiteral("%1/2009").arg(n));
        sheet.cells(r, 5).setValue(date(0));
        sheet.cells(r, 6).setValue(date(60));   // due date: the sort key, out of order
        text(7, QString::fromLatin1(n % 2 ? "SI" : "NO"));
        sheet.cells(r, 8).setValue(double(n % 9000 + 100) + 0.5);
        sheet.cells(r, 9).setValue(date(61));
        text(10, QStringLiteral("BONIFICO"));
        text(11, QString::fromLatin1(n % 3 ? "NO" : "SI"));
        sheet.cells(r, 12).setValue(double(n % 500));
        sheet.cells(r, 13).setValue(date(20));
        text(14, QStringLiteral("ASSEGNO"));
        text(15, QString::fromLatin1(n % 5 ? "NO" : "SI"));
        sheet.cells(r, 16).setValue(double(n % 700) + 0.25);
        sheet.cells(r, 17).setValue(date(90));
        text(18, QStringLiteral("CONTANTI"));
        text(19, QStringLiteral("Nota della registrazione %1").arg(n));
    }
    sheet.range(QStringLiteral("IV1")).setValue(double(records));
}

} // namespace bench
