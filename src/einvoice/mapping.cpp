#include "einvoice/mapping.h"

#include <cstdlib>

namespace einvoice {

namespace {

struct Named {
    const char *code;
    const char *name;
};

constexpr Named kMethods[] = {
    {"MP01", "Contanti"}, {"MP02", "Assegno"}, {"MP03", "Assegno circolare"},
    {"MP04", "Contanti presso Tesoreria"}, {"MP05", "Bonifico"}, {"MP06", "Vaglia cambiario"},
    {"MP07", "Bollettino bancario"}, {"MP08", "Carta di pagamento"}, {"MP09", "RID"},
    {"MP10", "RID utenze"}, {"MP11", "RID veloce"}, {"MP12", "Ri.Ba."}, {"MP13", "MAV"},
    {"MP14", "Quietanza erario"}, {"MP15", "Giroconto su conti di contabilità speciale"},
    {"MP16", "Domiciliazione bancaria"}, {"MP17", "Domiciliazione postale"},
    {"MP18", "Bollettino di c/c postale"}, {"MP19", "SDD"}, {"MP20", "SDD CORE"},
    {"MP21", "SDD B2B"}, {"MP22", "Trattenuta su somme già riscosse"}, {"MP23", "PagoPA"},
};

// The kinds imported; TD04 is the credit note.
constexpr Named kImported[] = {
    {"TD01", "Fattura"}, {"TD02", "Acconto/anticipo su fattura"},
    {"TD03", "Acconto/anticipo su parcella"}, {"TD04", "Nota di credito"},
    {"TD05", "Nota di debito"}, {"TD06", "Parcella"}, {"TD24", "Fattura differita"},
    {"TD25", "Fattura differita (triangolazione interna)"},
};

QString lookUp(const Named *begin, const Named *end, const QString &code)
{
    for (const Named *n = begin; n != end; ++n)
        if (code == QLatin1String(n->code))
            return QString::fromUtf8(n->name);
    return {};
}

bool isImported(const QString &type)
{
    return !lookUp(std::begin(kImported), std::end(kImported), type).isEmpty();
}

// Why a kind is not imported.
QString kindSkipReason(const QString &type, const QString &format)
{
    if (format == QLatin1String("FSM10") || type == QLatin1String("TD07") || type == QLatin1String("TD08")
        || type == QLatin1String("TD09"))
        return QStringLiteral("fattura semplificata, non importata");
    if (type.isEmpty())
        return QStringLiteral("tipo di documento mancante");
    static const QStringList selfInvoices = {"TD16", "TD17", "TD18", "TD19", "TD20", "TD21", "TD22",
                                             "TD23", "TD26", "TD27", "TD28", "TD29"};
    if (selfInvoices.contains(type))
        return QStringLiteral("documento %1 (autofattura o integrazione) senza importi da incassare o pagare").arg(type);
    return QStringLiteral("tipo di documento %1 non importato").arg(type);
}

// The due date of an instalment, and whether it had to fall back on the invoice date.
QDate dueOf(const Instalment &rate, const QDate &invoiceDate, bool &unknown)
{
    unknown = false;
    if (rate.due.isValid())
        return rate.due;
    if (rate.termsFrom.isValid())
        return rate.termsFrom.addDays(rate.termsDays.value_or(0));
    if (rate.termsDays)
        return invoiceDate.addDays(*rate.termsDays);
    unknown = true;
    return invoiceDate;
}

QString joinNote(const QStringList &parts)
{
    QStringList kept;
    for (const QString &p : parts)
        if (!p.isEmpty())
            kept << p;
    return kept.join(QStringLiteral(", "));
}

} // namespace

QString digitsOf(const QString &text)
{
    QString digits;
    for (QChar c : text)
        if (c.isDigit())
            digits += c;
    return digits;
}

QString codeOf(const QString &text)
{
    return QString(text).remove(QLatin1Char(' ')).toUpper();
}

bool isOffice(const Party &party, const Identity &office)
{
    const QString ownVat = digitsOf(office.vat);
    const QString ownCode = codeOf(office.taxCode);
    const QString vat = digitsOf(party.vatCode);
    const QString code = codeOf(party.taxCode);
    if (!ownVat.isEmpty() && (ownVat == vat || ownVat == code))
        return true;
    return !ownCode.isEmpty() && (ownCode == code || ownCode == vat);
}

QString paymentMethodName(const QString &code)
{
    const QString name = lookUp(std::begin(kMethods), std::end(kMethods), code);
    return name.isEmpty() ? code : name;
}

QString documentTypeName(const QString &type)
{
    const QString name = lookUp(std::begin(kImported), std::end(kImported), type);
    return name.isEmpty() ? type : name;
}

Mapping mapDocument(const Invoice &invoice, const Document &document, const Identity &office)
{
    Mapping result;
    if (!isImported(document.type) || invoice.format == QLatin1String("FSM10")) {
        result.skipReason = kindSkipReason(document.type, invoice.format);
        return result;
    }
    const bool sells = isOffice(invoice.seller, office);
    const bool buys = isOffice(invoice.buyer, office);
    if (sells == buys) {
        result.skipReason = sells ? QStringLiteral("lo studio è sia cedente sia cessionario")
                                  : QStringLiteral("fattura non intestata allo studio");
        return result;
    }
    if (document.number.isEmpty() || !document.date.isValid()) {
        result.skipReason = QStringLiteral("numero o data della fattura mancanti");
        return result;
    }
    MappedDocument doc;
    doc.direction = sells ? Direction::Sale : Direction::Purchase;
    doc.counterparty = sells ? invoice.buyer : invoice.seller;
    if (doc.counterparty.name.isEmpty()) {
        result.skipReason = QStringLiteral("denominazione della controparte mancante");
        return result;
    }
    doc.type = document.type;
    doc.number = document.number;
    doc.date = document.date;
    const bool credit = document.type == QLatin1String("TD04");
    const auto signedAmount = [credit](Cents c) { return credit ? -std::llabs(c) : c; };
    const QString kind = documentTypeName(document.type);
    const int count = int(document.instalments.size());
    for (int i = 0; i < count; ++i) {
        const Instalment &rate = document.instalments[size_t(i)];
        if (!rate.amount) {
            result.skipReason = QStringLiteral("importo della rata %1 mancante o non valido").arg(i + 1);
            return result;
        }
        bool unknownDue = false;
        Row row;
        row.due = dueOf(rate, document.date, unknownDue);
        row.amount = signedAmount(*rate.amount);
        row.note = joinNote({kind + QLatin1Char(' ') + document.type,
                             count > 1 ? QStringLiteral("rata %1/%2").arg(i + 1).arg(count) : QString(),
                             rate.method.isEmpty() ? QString() : paymentMethodName(rate.method),
                             unknownDue ? QStringLiteral("scadenza non indicata") : QString()});
        doc.rows.push_back(row);
        if (doc.direction == Direction::Purchase && doc.counterpartyIban.isEmpty())
            doc.counterpartyIban = rate.iban;
    }
    if (count == 0) {
        Row row;
        row.due = document.date;
        row.amount = signedAmount(document.total.value_or(document.summaryTotal));
        row.note = joinNote({kind + QLatin1Char(' ') + document.type, QStringLiteral("scadenza non indicata"),
                             QStringLiteral("importo da verificare")});
        doc.rows.push_back(row);
    }
    result.document = std::move(doc);
    return result;
}

} // namespace einvoice
