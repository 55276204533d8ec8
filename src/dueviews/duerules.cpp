#include "duerules.h"

#include "store/model/italian.h"

#include <QLocale>

#include <algorithm>

namespace dueviews {

namespace {

const QLatin1String kYes("SI");

bool ledgerKept(Ledger l, LedgerChoice choice)
{
    switch (choice) {
    case LedgerChoice::Entrambi: return true;
    case LedgerChoice::Incassi: return l == Ledger::Incassi;
    case LedgerChoice::Pagamenti: return l == Ledger::Pagamenti;
    }
    return true;
}

bool periodKeeps(const DueRecord &r, const DueFilter &f, const QDate &today)
{
    if (!r.due)   // a date that cannot be read is never dropped by a period
        return true;
    const qint64 days = today.daysTo(*r.due);
    switch (f.period) {
    case Period::Scadute: return days < 0;
    case Period::Entro7: return days <= 7;
    case Period::Entro30: return days <= 30;
    case Period::Entro90: return days <= 90;
    case Period::TutteAperte: return true;
    case Period::Intervallo:
        return (!f.from.isValid() || *r.due >= f.from) && (!f.to.isValid() || *r.due <= f.to);
    }
    return true;
}

bool searchKeeps(const DueRecord &r, const QString &search)
{
    if (search.isEmpty())
        return true;
    return r.counterparty.contains(search, Qt::CaseInsensitive)
           || r.invoice.contains(search, Qt::CaseInsensitive)
           || r.note.contains(search, Qt::CaseInsensitive);
}

// Everything but the period and the chart's bar.
bool baseKeeps(const DueRecord &r, const DueFilter &f)
{
    return !isSettled(r) && ledgerKept(r.ledger, f.ledgers)
           && (f.counterparty.isEmpty() || counterpartyKey(r) == f.counterparty)
           && searchKeeps(r, f.search.trimmed());
}

QString plural(int n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(store::countText(n), QLatin1String(n == 1 ? one : many));
}

} // namespace

bool isSettled(const DueRecord &r)
{
    return r.collected == kYes || r.settled == kYes;
}

bool hasAdvance(const DueRecord &r)
{
    return r.advanceFlag == kYes;
}

std::optional<double> residualOf(const DueRecord &r)
{
    if (!r.amount)
        return std::nullopt;
    if (!hasAdvance(r))
        return *r.amount;
    if (!r.advance)
        return std::nullopt;
    return *r.amount - *r.advance;
}

bool needsCheck(const DueRecord &r)
{
    return !isSettled(r) && (!r.due || !residualOf(r));
}

bool isOverdue(const DueRecord &r, const QDate &today)
{
    return !isSettled(r) && r.due && *r.due < today;
}

QString counterpartyKey(const DueRecord &r)
{
    const QString number = r.counterpartyId.trimmed();
    return number.isEmpty() ? QStringLiteral("nome:") + r.counterparty.trimmed() : number;
}

QString daysText(const DueRecord &r, const QDate &today)
{
    if (!r.due)
        return QStringLiteral("da verificare");
    const qint64 days = today.daysTo(*r.due);
    if (days < 0)
        return QStringLiteral("scaduta da %1 gg").arg(-days);
    if (days == 0)
        return QStringLiteral("scade oggi");
    return QStringLiteral("tra %1 gg").arg(days);
}

QString money(double value)
{
    return store::amountText(value);
}

int chartBarOf(const QDate &due, const QDate &today)
{
    if (due < today)
        return 0;
    const int months = (due.year() - today.year()) * 12 + due.month() - today.month();
    return months < kChartBars - 1 ? months + 1 : -1;
}

QString chartBarName(int bar, const QDate &today)
{
    if (bar == 0)
        return QStringLiteral("Scadute");
    static const QLocale italian(QLocale::Italian, QLocale::Italy);
    const QDate month = QDate(today.year(), today.month(), 1).addMonths(bar - 1);
    return italian.toString(month, QStringLiteral("MMMM yyyy"));
}

std::vector<int> openByDue(const std::vector<DueRecord> &records)
{
    std::vector<int> rows;
    for (int i = 0; i < int(records.size()); ++i)
        if (!isSettled(records[size_t(i)]))
            rows.push_back(i);
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const DueRecord &x = records[size_t(a)];
        const DueRecord &y = records[size_t(b)];
        if (bool(x.due) != bool(y.due))
            return !x.due;
        if (x.due && *x.due != *y.due)
            return *x.due < *y.due;
        return x.id < y.id;
    });
    return rows;
}

std::vector<int> selectOpen(const std::vector<DueRecord> &records, const std::vector<int> &open,
                            const DueFilter &filter, const QDate &today)
{
    std::vector<int> rows;
    rows.reserve(open.size());
    for (int i : open) {
        const DueRecord &r = records[size_t(i)];
        if (!baseKeeps(r, filter) || !periodKeeps(r, filter, today))
            continue;
        if (filter.chartBar >= 0 && (!r.due || chartBarOf(*r.due, today) != filter.chartBar))
            continue;
        rows.push_back(i);
    }
    return rows;
}

std::vector<int> selectOpen(const std::vector<DueRecord> &records, const DueFilter &filter,
                            const QDate &today)
{
    return selectOpen(records, openByDue(records), filter, today);
}

QString criteriaText(const DueFilter &f)
{
    QStringList parts;
    switch (f.ledgers) {
    case LedgerChoice::Entrambi: parts << QStringLiteral("Incassi e Pagamenti"); break;
    case LedgerChoice::Incassi: parts << QStringLiteral("Incassi"); break;
    case LedgerChoice::Pagamenti: parts << QStringLiteral("Pagamenti"); break;
    }
    switch (f.period) {
    case Period::Scadute: parts << QStringLiteral("scadute"); break;
    case Period::Entro7: parts << QStringLiteral("in scadenza entro 7 giorni"); break;
    case Period::Entro30: parts << QStringLiteral("in scadenza entro 30 giorni"); break;
    case Period::Entro90: parts << QStringLiteral("in scadenza entro 90 giorni"); break;
    case Period::TutteAperte: parts << QStringLiteral("tutte le aperte"); break;
    case Period::Intervallo: {
        const QString from = f.from.isValid() ? f.from.toString(QStringLiteral("dd/MM/yyyy")) : QStringLiteral("...");
        const QString to = f.to.isValid() ? f.to.toString(QStringLiteral("dd/MM/yyyy")) : QStringLiteral("...");
        parts << QStringLiteral("con scadenza dal %1 al %2").arg(from, to);
        break;
    }
    }
    parts << (f.counterparty.isEmpty() ? QStringLiteral("tutti i clienti e fornitori")
                                       : QStringLiteral("solo %1").arg(f.counterpartyName));
    if (!f.search.trimmed().isEmpty())
        parts << QStringLiteral("ricerca \"%1\"").arg(f.search.trimmed());
    return parts.join(QStringLiteral(" - "));
}

int agingClass(int daysLate)
{
    if (daysLate <= 30)
        return 0;
    if (daysLate <= 60)
        return 1;
    if (daysLate <= 90)
        return 2;
    return 3;
}

DueTotals totalsOf(const std::vector<DueRecord> &records, const std::vector<int> &rows,
                   const QDate &today)
{
    DueTotals totals;
    for (int i : rows) {
        const DueRecord &r = records[size_t(i)];
        if (isSettled(r))
            continue;
        const std::optional<double> residual = residualOf(r);
        if (!residual || !r.due) {
            ++totals.needingCheck;
            continue;
        }
        LedgerTotals &t = r.ledger == Ledger::Incassi ? totals.incassi : totals.pagamenti;
        t.open.add(*residual);
        const qint64 days = today.daysTo(*r.due);
        if (days < 0) {
            t.overdue.add(*residual);
            t.aging[size_t(agingClass(int(-days)))].add(*residual);
        } else if (days <= 30) {
            t.within30.add(*residual);
        }
    }
    return totals;
}

QStringList totalsLines(const DueTotals &totals)
{
    QStringList lines;
    const auto line = [&](const char *name, const LedgerTotals &t) {
        if (t.open.count == 0)
            return;
        lines << QStringLiteral("%1: aperte %2 per %3 € - scadute %4 per %5 € - entro 30 gg %6 per %7 €")
                     .arg(QLatin1String(name))
                     .arg(t.open.count).arg(money(t.open.residual))
                     .arg(t.overdue.count).arg(money(t.overdue.residual))
                     .arg(t.within30.count).arg(money(t.within30.residual));
        if (t.overdue.count > 0)
            lines << QStringLiteral("   scadute da 0-30 gg %1 €, 31-60 gg %2 €, 61-90 gg %3 €, oltre 90 gg %4 €")
                         .arg(money(t.aging[0].residual), money(t.aging[1].residual),
                              money(t.aging[2].residual), money(t.aging[3].residual));
    };
    line("Incassi", totals.incassi);
    line("Pagamenti", totals.pagamenti);
    if (lines.isEmpty())
        lines << QStringLiteral("Nessuna scadenza aperta.");
    if (totals.needingCheck > 0)
        lines << QStringLiteral("%1 da verificare (importo o scadenza illeggibili), esclus%2 dai totali")
                     .arg(plural(totals.needingCheck, "registrazione", "registrazioni"))
                     .arg(totals.needingCheck == 1 ? QStringLiteral("a") : QStringLiteral("e"));
    return lines;
}

ChartData chartOf(const std::vector<DueRecord> &records, const std::vector<int> &open,
                  const DueFilter &filter, const QDate &today)
{
    ChartData chart;
    for (int i : open) {
        const DueRecord &r = records[size_t(i)];
        if (!baseKeeps(r, filter) || !r.due)
            continue;
        const std::optional<double> residual = residualOf(r);
        const int bar = chartBarOf(*r.due, today);
        if (!residual || bar < 0)
            continue;
        (r.ledger == Ledger::Incassi ? chart.incassi : chart.pagamenti)[size_t(bar)] += *residual;
    }
    return chart;
}

QString overdueLine(const std::vector<DueRecord> &records, const QDate &today)
{
    Sum in, out;
    for (const DueRecord &r : records) {
        if (!isOverdue(r, today))
            continue;
        if (const std::optional<double> residual = residualOf(r))
            (r.ledger == Ledger::Incassi ? in : out).add(*residual);
    }
    if (in.count == 0 && out.count == 0)
        return QStringLiteral("Scaduti: nessun incasso e nessun pagamento");
    QStringList parts;
    if (in.count > 0)
        parts << QStringLiteral("%1 per %2 €").arg(plural(in.count, "incasso", "incassi"), money(in.residual));
    if (out.count > 0)
        parts << QStringLiteral("%1 per %2 €").arg(plural(out.count, "pagamento", "pagamenti"), money(out.residual));
    return QStringLiteral("Scaduti: ") + parts.join(QStringLiteral(", "));
}

} // namespace dueviews
