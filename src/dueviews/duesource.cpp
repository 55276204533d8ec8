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

DueRecord toDueRecord(Ledger which, const records::LedgerRecord &rec)
{
    using records::Group;
    DueRecord r;
    r.ledger = which;
    r.row = rec.row;
    r.id = rec.number().wholeNumber().get().value_or(0);
    r.counterpartyId = rec.counterpartyNumber().text();
    r.counterparty = rec.counterparty().text();
    r.invoice = rec.invoice().text();
    r.invoiceDate = rec.invoiceDate().date().get();
    // The shown texts of a date or amount only when it cannot be read: the list shows them.
    r.due = rec.dueDate().date().get();
    if (!r.due)
        r.dueText = rec.dueDate().text();
    r.collected = rec.flag(Group::Collected).text();
    r.amount = rec.amount(Group::Collected).amount().get();
    if (!r.amount)
        r.amountText = rec.amount(Group::Collected).text();
    r.advanceFlag = rec.flag(Group::Advance).text();
    r.advance = rec.amount(Group::Advance).amount().get();
    if (!r.advance)
        r.advanceText = rec.amount(Group::Advance).text();
    r.settled = rec.flag(Group::Settled).text();
    r.note = rec.note().text();
    return r;
}

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
        const std::vector<records::LedgerRecord> read = sheet->readAll();
        all.reserve(all.size() + read.size());
        for (const records::LedgerRecord &rec : read)
            all.push_back(toDueRecord(which, rec));
    }
    return all;
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
