#include "duesource.h"

#include "records/ledger.h"
#include "records/office.h"
#include "records/registry.h"

#include "controls/dialogs.h"
#include "controls/form.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "ledger/ledgerform.h"
#include "store/model/workbook.h"

namespace dueviews {

namespace {

// The columns the rule needs (F, G, H, K, L, O) and, unless `ruleOnly`, those the lists show
// (A..E, S), read cell by cell through the records layer: the other columns are not read.
void readRecord(Ledger which, const records::Ledger &sheet, int row, DueRecord &r, bool ruleOnly)
{
    using L = records::Ledger;
    using records::Group;
    r.ledger = which;
    r.row = row;
    const records::Field due = sheet.cell(row, L::ColDueDate);
    r.due = due.date().get();
    r.collected = sheet.cell(row, L::flagColumn(Group::Collected)).text();
    r.settled = sheet.cell(row, L::flagColumn(Group::Settled)).text();
    const records::Field amount = sheet.cell(row, L::amountColumn(Group::Collected));
    r.amount = amount.amount().get();
    r.advanceFlag = sheet.cell(row, L::flagColumn(Group::Advance)).text();
    const records::Field advance = sheet.cell(row, L::amountColumn(Group::Advance));
    r.advance = advance.amount().get();
    if (ruleOnly)
        return;
    // The shown texts of a date or amount only when it cannot be read: the list shows them.
    if (!r.due)
        r.dueText = due.text();
    if (!r.amount)
        r.amountText = amount.text();
    if (!r.advance)
        r.advanceText = advance.text();
    r.id = sheet.cell(row, L::ColNumber).wholeNumber().get().value_or(0);
    r.counterpartyId = sheet.cell(row, L::ColCounterpartyNumber).text();
    r.counterparty = sheet.cell(row, L::ColCounterparty).text();
    r.invoice = sheet.cell(row, L::ColInvoice).text();
    r.invoiceDate = sheet.cell(row, L::ColInvoiceDate).date().get();
    r.note = sheet.cell(row, L::ColNote).text();
}

constexpr int kFirstRecordRow = 2;

QString joined(const QStringList &parts)
{
    QStringList kept;
    for (const QString &part : parts)
        if (!part.trimmed().isEmpty())
            kept << part.trimmed();
    return kept.join(QLatin1Char(' '));
}

} // namespace

std::vector<DueRecord> readDueRecords(store::Workbook &book)
{
    std::vector<DueRecord> all;
    for (Ledger which : {Ledger::Incassi, Ledger::Pagamenti}) {
        const std::optional<records::Ledger> sheet = records::Ledger::find(book, ledger::sheetOf(which).name);
        if (!sheet)
            continue;
        const int count = sheet->recordCount();
        const size_t first = all.size();
        all.resize(first + size_t(count));
        for (int i = 0; i < count; ++i)
            readRecord(which, *sheet, kFirstRecordRow + i, all[first + size_t(i)], false);
    }
    return all;
}

QString overdueLineOf(store::Workbook &book, const QDate &today)
{
    std::vector<DueRecord> overdue;
    DueRecord r;
    for (Ledger which : {Ledger::Incassi, Ledger::Pagamenti}) {
        const std::optional<records::Ledger> sheet = records::Ledger::find(book, ledger::sheetOf(which).name);
        if (!sheet)
            continue;
        const int count = sheet->recordCount();
        for (int i = 0; i < count; ++i) {
            readRecord(which, *sheet, kFirstRecordRow + i, r, true);
            if (isOverdue(r, today))
                overdue.push_back(r);
        }
    }
    return overdueLine(overdue, today);
}

std::vector<CounterpartyInfo> readCounterparties(store::Workbook &book)
{
    std::vector<CounterpartyInfo> all;
    if (!book.findSheet(records::Registry::sheetName()))
        return all;
    const records::Registry registry = records::Registry::of(book);
    for (const QString &type : {QStringLiteral("C"), QStringLiteral("F")}) {
        for (const records::Counterparty &c : registry.list(type)) {
            CounterpartyInfo info;
            info.number = c.number().text();
            info.name = c.name().text();
            info.customer = c.isCustomer();
            info.key = info.number.trimmed().isEmpty() ? QStringLiteral("nome:") + info.name.trimmed()
                                                       : info.number.trimmed();
            using R = records::Registry;
            const QString street = c[R::ColAddress].text().trimmed();
            const QString town = joined({c[R::ColPostCode].text(), c[R::ColTown].text(),
                                         c[R::ColProvince].text().isEmpty()
                                             ? QString()
                                             : QStringLiteral("(%1)").arg(c[R::ColProvince].text().trimmed())});
            if (!street.isEmpty())
                info.address << street;
            if (!town.isEmpty())
                info.address << town;
            all.push_back(info);
        }
    }
    return all;
}

bool openInEntryForm(controls::Session &session, const DueRecord &record, controls::FormId returnTo)
{
    auto *form = qobject_cast<ledger::LedgerForm *>(controls::programForm(session, ledger::entryFormOf(record.ledger)));
    if (!form)
        return false;
    // Found again by its number: the row it was read from may have moved since.
    const std::optional<records::Ledger> sheet = records::Ledger::find(session.workbook(), ledger::sheetOf(record.ledger).name);
    const std::optional<records::LedgerRecord> found = sheet && record.id > 0 ? sheet->find(record.id) : std::nullopt;
    if (!found) {
        if (session.dialogs)
            session.dialogs->message(controls::BoxKind::Plain,
                                     QStringLiteral("La registrazione non si trova più nel registro: l'elenco viene aggiornato."),
                                     controls::titles::kTitle);
        return false;
    }
    QStringList columns;
    for (const records::Field &field : found->fields)
        columns << field.text();
    columns << sheet->cell(found->row, records::LedgerRecord::kColumns + 1).text();   // T, as the browser hands it
    form->openForChange(columns, returnTo);
    return true;
}

Letterhead letterheadOf(store::Workbook &book)
{
    const records::Office office = records::readOffice(book);
    Letterhead head;
    if (office.isEmpty())
        return head;
    head.lines << office.name.trimmed();
    const QString street = office.address.trimmed();
    const QString town = joined({office.postCode, office.town,
                                 office.province.trimmed().isEmpty() ? QString()
                                                                     : QStringLiteral("(%1)").arg(office.province.trimmed())});
    const QString place = joined({street, town.isEmpty() || street.isEmpty() ? town : QStringLiteral("- ") + town});
    if (!place.isEmpty())
        head.lines << place;
    QStringList codes;
    if (!office.vat.trimmed().isEmpty())
        codes << QStringLiteral("P. IVA %1").arg(office.vat.trimmed());
    if (!office.taxCode.trimmed().isEmpty())
        codes << QStringLiteral("C.F. %1").arg(office.taxCode.trimmed());
    if (!codes.isEmpty())
        head.lines << codes.join(QStringLiteral(" - "));
    QStringList contacts;
    if (!office.phone.trimmed().isEmpty())
        contacts << QStringLiteral("Tel. %1").arg(office.phone.trimmed());
    if (!office.email.trimmed().isEmpty())
        contacts << office.email.trimmed();
    if (!contacts.isEmpty())
        head.lines << contacts.join(QStringLiteral(" - "));
    head.iban = office.iban.trimmed();
    return head;
}

} // namespace dueviews
