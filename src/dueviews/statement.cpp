#include "statement.h"

#include <algorithm>

namespace dueviews {

namespace {

QString dateOr(const std::optional<QDate> &date, const QString &shown = {})
{
    return date ? date->toString(QStringLiteral("dd/MM/yyyy")) : shown;
}

QStringList recipientOf(const CounterpartyInfo &who)
{
    QStringList lines{QStringLiteral("Spett.le"), who.name};
    lines << who.address;
    return lines;
}

} // namespace

bool belongsTo(const DueRecord &r, const CounterpartyInfo &who)
{
    if ((r.ledger == Ledger::Incassi) != who.customer)
        return false;
    const QString number = r.counterpartyId.trimmed();
    if (!number.isEmpty())
        return number == who.number.trimmed();
    return r.counterparty.trimmed().compare(who.name.trimmed(), Qt::CaseInsensitive) == 0;
}

std::vector<int> recordsOf(const std::vector<DueRecord> &records, const CounterpartyInfo &who)
{
    std::vector<int> rows;
    for (int i = 0; i < int(records.size()); ++i)
        if (belongsTo(records[size_t(i)], who))
            rows.push_back(i);
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const auto key = [](const DueRecord &r) { return r.due ? r.due->toJulianDay() : qint64(-1); };
        return key(records[size_t(a)]) < key(records[size_t(b)]);
    });
    return rows;
}

StatementTotals statementTotals(const std::vector<DueRecord> &records, const std::vector<int> &rows,
                                const QDate &today)
{
    StatementTotals t;
    for (int i : rows) {
        const DueRecord &r = records[size_t(i)];
        if (isSettled(r)) {
            if (r.amount)
                t.invoiced += *r.amount;
            continue;
        }
        const std::optional<double> residual = residualOf(r);
        if (!residual || !r.due) {
            ++t.needingCheck;
            continue;
        }
        t.invoiced += *r.amount;
        t.residual += *residual;
        if (*r.due < today) {
            t.overdue += *residual;
            ++t.overdueCount;
        }
    }
    t.collected = t.invoiced - t.residual;
    return t;
}

QString stateText(const DueRecord &r, const QDate &today)
{
    if (isSettled(r))
        return QStringLiteral("saldata");
    if (needsCheck(r))
        return QStringLiteral("da verificare");
    return isOverdue(r, today) ? QStringLiteral("scaduta") : QStringLiteral("aperta");
}

QStringList statementColumnTitles(bool customer)
{
    return {QStringLiteral("Fattura"), QStringLiteral("Data"), QStringLiteral("Scadenza"),
            QStringLiteral("Stato"), QStringLiteral("Importo"), QStringLiteral("Acconto"),
            QStringLiteral("Residuo"), customer ? QStringLiteral("Riscosso") : QStringLiteral("Pagato"),
            QStringLiteral("Acc."), QStringLiteral("Sald."), QStringLiteral("Nota")};
}

QStringList statementRowTexts(const DueRecord &r, const QDate &today)
{
    const std::optional<double> residual = residualOf(r);
    QString state = stateText(r, today);
    if (isOverdue(r, today) && !needsCheck(r))
        state = daysText(r, today);
    return {r.invoice,
            dateOr(r.invoiceDate),
            dateOr(r.due, r.dueText),
            state,
            r.amount ? money(*r.amount) : r.amountText,
            hasAdvance(r) ? (r.advance ? money(*r.advance) : r.advanceText) : QString(),
            isSettled(r) ? money(0) : (residual ? money(*residual) : QString()),
            r.collected,
            r.advanceFlag,
            r.settled,
            r.note};
}

QString levelName(ReminderLevel level)
{
    switch (level) {
    case ReminderLevel::Primo: return QStringLiteral("Primo sollecito");
    case ReminderLevel::Secondo: return QStringLiteral("Secondo sollecito");
    case ReminderLevel::Diffida: return QStringLiteral("Diffida");
    }
    return QString();
}

PrintDoc statementDocument(const std::vector<DueRecord> &records, const CounterpartyInfo &who,
                           const Letterhead &letterhead, const QDate &today)
{
    PrintDoc doc;
    doc.jobName = QStringLiteral("Estratto conto %1").arg(who.name);
    doc.landscape = true;
    doc.letterhead = letterhead.lines;
    doc.recipient = recipientOf(who);
    doc.title = QStringLiteral("Estratto conto al %1").arg(today.toString(QStringLiteral("dd/MM/yyyy")));
    doc.criteria << QStringLiteral("%1 %2 (n. %3)")
                        .arg(who.customer ? QStringLiteral("Cliente") : QStringLiteral("Fornitore"), who.name,
                             who.number);
    doc.date = today;
    const QStringList titles = statementColumnTitles(who.customer);
    const int weights[] = {5, 5, 5, 7, 6, 6, 6, 4, 3, 3, 12};
    for (int c = 0; c < titles.size(); ++c)
        doc.columns.push_back({titles[c], weights[c], c >= 4 && c <= 6});
    const std::vector<int> rows = recordsOf(records, who);
    for (int i : rows) {
        doc.rows.push_back(statementRowTexts(records[size_t(i)], today));
        doc.marked.push_back(isOverdue(records[size_t(i)], today));
    }
    const StatementTotals t = statementTotals(records, rows, today);
    doc.totals << QStringLiteral("Fatturato %1 € - %2 %3 € - residuo %4 €")
                      .arg(money(t.invoiced), who.customer ? QStringLiteral("riscosso") : QStringLiteral("pagato"),
                           money(t.collected), money(t.residual))
               << QStringLiteral("Scaduto: %1 € su %2 fatture").arg(money(t.overdue)).arg(t.overdueCount);
    if (t.needingCheck > 0)
        doc.totals << QStringLiteral("%1 registrazioni da verificare, escluse dai totali").arg(t.needingCheck);
    return doc;
}

Reminder reminderFor(const std::vector<DueRecord> &records, const CounterpartyInfo &who,
                     ReminderLevel level, const QDate &today)
{
    Reminder reminder;
    reminder.level = level;
    for (int i : recordsOf(records, who)) {
        const DueRecord &r = records[size_t(i)];
        const std::optional<double> residual = residualOf(r);
        if (!isOverdue(r, today) || !residual)
            continue;
        reminder.rows.push_back(i);
        reminder.invoices << r.invoice;
        reminder.total += *residual;
    }
    return reminder;
}

PrintDoc reminderDocument(const std::vector<DueRecord> &records, const CounterpartyInfo &who,
                          const Reminder &reminder, const Letterhead &letterhead, const QDate &today)
{
    PrintDoc doc;
    doc.jobName = QStringLiteral("%1 %2").arg(levelName(reminder.level), who.name);
    doc.letterhead = letterhead.lines;
    doc.recipient = recipientOf(who);
    doc.date = today;
    const QString total = money(reminder.total);
    doc.criteria << today.toString(QStringLiteral("dd/MM/yyyy"));
    switch (reminder.level) {
    case ReminderLevel::Primo:
        doc.title = QStringLiteral("Oggetto: primo sollecito di pagamento");
        doc.before << QStringLiteral("Gentile Cliente,")
                   << QStringLiteral("dalle nostre registrazioni risultano ancora da saldare le fatture "
                                     "elencate qui sotto, già scadute, per un residuo di %1 €. Vi preghiamo "
                                     "di provvedere al pagamento entro 15 giorni dal ricevimento della presente.")
                          .arg(total);
        break;
    case ReminderLevel::Secondo:
        doc.title = QStringLiteral("Oggetto: secondo sollecito di pagamento");
        doc.before << QStringLiteral("Gentile Cliente,")
                   << QStringLiteral("nonostante il nostro precedente sollecito, risultano ancora da saldare "
                                     "le fatture elencate qui sotto, per un residuo di %1 €. Vi chiediamo di "
                                     "provvedere al pagamento entro 10 giorni dal ricevimento della presente.")
                          .arg(total);
        break;
    case ReminderLevel::Diffida:
        doc.title = QStringLiteral("Oggetto: diffida ad adempiere");
        doc.before << QStringLiteral("Spettabile Cliente,")
                   << QStringLiteral("nonostante i nostri solleciti, le fatture elencate qui sotto restano "
                                     "insolute per un residuo di %1 €. Con la presente Vi diffidiamo a "
                                     "versare tale somma entro 8 giorni dal ricevimento; trascorso "
                                     "inutilmente il termine, agiremo per il recupero del credito, con "
                                     "spese a Vostro carico.")
                          .arg(total);
        break;
    }
    doc.columns = {{QStringLiteral("Fattura"), 3, false}, {QStringLiteral("Data"), 3, false},
                   {QStringLiteral("Scadenza"), 3, false}, {QStringLiteral("Giorni"), 4, false},
                   {QStringLiteral("Importo"), 3, true}, {QStringLiteral("Residuo"), 3, true}};
    for (int i : reminder.rows) {
        const DueRecord &r = records[size_t(i)];
        doc.rows.push_back({r.invoice, dateOr(r.invoiceDate), dateOr(r.due), daysText(r, today),
                            r.amount ? money(*r.amount) : r.amountText, money(residualOf(r).value_or(0))});
    }
    doc.totals << QStringLiteral("Totale da versare: %1 €").arg(total);
    if (!letterhead.iban.trimmed().isEmpty())
        doc.after << QStringLiteral("Coordinate per il pagamento: IBAN %1.").arg(letterhead.iban.trimmed());
    doc.after << QStringLiteral("Se il pagamento è già stato effettuato, vogliate considerare nulla la presente "
                                "e comunicarci gli estremi del versamento.")
              << QStringLiteral("Distinti saluti.");
    if (!letterhead.lines.isEmpty())
        doc.after << letterhead.lines.first();
    return doc;
}

} // namespace dueviews
