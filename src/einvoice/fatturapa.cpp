#include "einvoice/fatturapa.h"

#include <QList>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <array>
#include <cmath>

namespace einvoice {

namespace {

// A small tree of the elements read: local names and their text.
struct Node {
    QString name;
    QString text;
    std::vector<Node> children;

    const Node *child(QLatin1StringView n) const
    {
        for (const Node &c : children)
            if (c.name == n)
                return &c;
        return nullptr;
    }
    // The node at a path of local names separated by '/', nullptr when absent.
    const Node *at(const char *path) const
    {
        const Node *node = this;
        for (const QByteArray &part : QByteArray(path).split('/')) {
            node = node->child(QLatin1StringView(part));
            if (!node)
                return nullptr;
        }
        return node;
    }
    QString textAt(const char *path) const
    {
        const Node *node = at(path);
        return node ? node->text.trimmed() : QString();
    }
    std::vector<const Node *> all(QLatin1StringView n) const
    {
        std::vector<const Node *> found;
        for (const Node &c : children)
            if (c.name == n)
                found.push_back(&c);
        return found;
    }
};

// Subtrees the import never reads: line details and attachments (which may be large).
bool skipped(QStringView name)
{
    return name == u"DettaglioLinee" || name == u"Allegati" || name == u"Signature";
}

constexpr qsizetype kMaxText = 4096;   // longer texts are kept to this many characters

// Windows-1252 for bytes 0x80..0x9F; the rest is Latin-1.
QString decodeWindows1252(const QByteArray &bytes)
{
    static const std::array<char16_t, 32> high = {
        0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D, 0x017D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178};
    QString out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        out[i] = (c >= 0x80 && c < 0xA0) ? QChar(high[c - 0x80]) : QChar(c);
    }
    return out;
}

// The file's text by its byte-order mark or its declared encoding (UTF-8 when neither).
std::optional<QString> decode(const QByteArray &bytes, QString &error)
{
    QByteArray encoding = "UTF-8";
    if (auto bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom);
        QString text = decoder(bytes);
        if (decoder.hasError()) {
            error = QStringLiteral("caratteri non validi per la codifica del file");
            return std::nullopt;
        }
        return text;
    }
    static const QRegularExpression declared(
        QStringLiteral(R"(^\s*<\?xml[^>]*encoding\s*=\s*["']([A-Za-z0-9._-]+)["'])"));
    const auto match = declared.match(QString::fromLatin1(bytes.left(256)));
    if (match.hasMatch())
        encoding = match.captured(1).toLatin1();
    const QByteArray lower = encoding.toLower();
    if (lower == "windows-1252" || lower == "cp1252")
        return decodeWindows1252(bytes);
    QStringDecoder decoder(encoding.constData());
    if (!decoder.isValid()) {
        error = QStringLiteral("codifica \"%1\" non supportata").arg(QString::fromLatin1(encoding));
        return std::nullopt;
    }
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        error = QStringLiteral("caratteri non validi per la codifica dichiarata (%1)").arg(QString::fromLatin1(encoding));
        return std::nullopt;
    }
    return text;
}

// Reads the whole document into a tree, refusing what a safe reader must refuse.
std::optional<Node> readTree(const QString &text, QString &error)
{
    QXmlStreamReader xml(text);
    xml.setNamespaceProcessing(true);
    Node root;
    std::vector<Node *> stack;
    int skipDepth = 0;   // > 0 while inside a skipped subtree
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            error = QStringLiteral("il file contiene una DTD, non ammessa in una fattura elettronica");
            return std::nullopt;
        case QXmlStreamReader::EntityReference:
            error = QStringLiteral("il file contiene entità non ammesse");
            return std::nullopt;
        case QXmlStreamReader::StartElement: {
            if (int(stack.size()) + skipDepth >= kMaxXmlDepth) {
                error = QStringLiteral("struttura XML annidata troppo in profondità");
                return std::nullopt;
            }
            if (skipDepth > 0 || (!stack.empty() && skipped(xml.name()))) {
                ++skipDepth;
                break;
            }
            if (stack.empty()) {
                root.name = xml.name().toString();
                const QStringView version = xml.attributes().value(QLatin1StringView("versione"));
                root.text = version.toString();   // the root keeps its version as its text
                stack.push_back(&root);
            } else {
                Node *parent = stack.back();
                parent->children.push_back(Node{xml.name().toString(), {}, {}});
                stack.push_back(&parent->children.back());
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            if (skipDepth > 0)
                --skipDepth;
            else if (!stack.empty())
                stack.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (skipDepth == 0 && stack.size() > 1 && stack.back()->text.size() < kMaxText)
                stack.back()->text += xml.text().left(kMaxText - stack.back()->text.size());
            break;
        default:
            break;
        }
    }
    if (xml.hasError()) {
        error = QStringLiteral("XML non valido (riga %1: %2)").arg(xml.lineNumber()).arg(xml.errorString());
        return std::nullopt;
    }
    if (root.name.isEmpty()) {
        error = QStringLiteral("il file non contiene XML");
        return std::nullopt;
    }
    return root;
}

QDate dateOf(const QString &text)
{
    return QDate::fromString(text.left(10), Qt::ISODate);
}

std::optional<int> daysOf(const QString &text)
{
    bool ok = false;
    const int days = text.toInt(&ok);
    return ok && days >= 0 && days <= 999 ? std::optional<int>(days) : std::nullopt;
}

Party partyOf(const Node *node)
{
    Party party;
    if (!node)
        return party;
    party.vatCountry = node->textAt("DatiAnagrafici/IdFiscaleIVA/IdPaese").toUpper();
    party.vatCode = node->textAt("DatiAnagrafici/IdFiscaleIVA/IdCodice");
    party.taxCode = node->textAt("DatiAnagrafici/CodiceFiscale");
    // The simplified invoice puts the buyer's identifiers straight under IdentificativiFiscali.
    if (party.vatCode.isEmpty()) {
        party.vatCountry = node->textAt("IdentificativiFiscali/IdFiscaleIVA/IdPaese").toUpper();
        party.vatCode = node->textAt("IdentificativiFiscali/IdFiscaleIVA/IdCodice");
    }
    if (party.taxCode.isEmpty())
        party.taxCode = node->textAt("IdentificativiFiscali/CodiceFiscale");
    party.name = node->textAt("DatiAnagrafici/Anagrafica/Denominazione");
    if (party.name.isEmpty())
        party.name = node->textAt("Denominazione");
    if (party.name.isEmpty()) {
        QString person = node->textAt("DatiAnagrafici/Anagrafica/Cognome");
        if (person.isEmpty())
            person = node->textAt("AltriDatiIdentificativi/Cognome");
        QString first = node->textAt("DatiAnagrafici/Anagrafica/Nome");
        if (first.isEmpty())
            first = node->textAt("AltriDatiIdentificativi/Nome");
        party.name = (person + QLatin1Char(' ') + first).trimmed();
    }
    const Node *seat = node->at("Sede");
    if (!seat)
        seat = node->at("AltriDatiIdentificativi/Sede");
    if (seat) {
        party.address = seat->textAt("Indirizzo");
        const QString civic = seat->textAt("NumeroCivico");
        if (!civic.isEmpty())
            party.address += QLatin1Char(' ') + civic;
        party.postCode = seat->textAt("CAP");
        party.town = seat->textAt("Comune");
        party.province = seat->textAt("Provincia");
        party.country = seat->textAt("Nazione");
    }
    party.phone = node->textAt("Contatti/Telefono");
    party.fax = node->textAt("Contatti/Fax");
    party.email = node->textAt("Contatti/Email");
    return party;
}

Document documentOf(const Node &body)
{
    Document doc;
    const Node *general = body.at("DatiGenerali/DatiGeneraliDocumento");
    if (general) {
        doc.type = general->textAt("TipoDocumento").toUpper();
        doc.number = general->textAt("Numero");
        doc.date = dateOf(general->textAt("Data"));
        doc.total = parseAmount(general->textAt("ImportoTotaleDocumento"));
    }
    if (const Node *goods = body.at("DatiBeniServizi")) {
        for (const Node *summary : goods->all(QLatin1StringView("DatiRiepilogo"))) {
            doc.hasSummary = true;
            doc.summaryTotal += parseAmount(summary->textAt("ImponibileImporto")).value_or(0)
                              + parseAmount(summary->textAt("Imposta")).value_or(0);
        }
    }
    for (const Node *payment : body.all(QLatin1StringView("DatiPagamento"))) {
        for (const Node *detail : payment->all(QLatin1StringView("DettaglioPagamento"))) {
            Instalment rate;
            rate.method = detail->textAt("ModalitaPagamento").toUpper();
            rate.due = dateOf(detail->textAt("DataScadenzaPagamento"));
            rate.termsFrom = dateOf(detail->textAt("DataRiferimentoTerminiPagamento"));
            rate.termsDays = daysOf(detail->textAt("GiorniTerminiPagamento"));
            rate.amount = parseAmount(detail->textAt("ImportoPagamento"));
            rate.iban = detail->textAt("IBAN").remove(QLatin1Char(' ')).toUpper();
            doc.instalments.push_back(rate);
        }
    }
    return doc;
}

} // namespace

std::optional<Cents> parseAmount(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral(R"(^([+-]?)(\d{1,15})(?:\.(\d*))?$)"));
    const auto match = decimal.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString fraction = match.captured(3);
    qint64 cents = match.captured(2).toLongLong() * 100;
    cents += fraction.left(2).leftJustified(2, QLatin1Char('0')).toLongLong();
    if (fraction.size() > 2 && fraction[2] >= QLatin1Char('5'))
        ++cents;
    return match.captured(1) == QLatin1String("-") ? -cents : cents;
}

ParseResult parseInvoice(const QByteArray &bytes)
{
    ParseResult result;
    if (bytes.size() > kMaxXmlBytes) {
        result.error = QStringLiteral("file troppo grande per una fattura elettronica");
        return result;
    }
    const std::optional<QString> text = decode(bytes, result.error);
    if (!text)
        return result;
    const std::optional<Node> root = readTree(*text, result.error);
    if (!root)
        return result;
    result.rootName = root->name;
    if (root->name != QLatin1StringView("FatturaElettronica")
        && root->name != QLatin1StringView("FatturaElettronicaSemplificata")) {
        result.error = QStringLiteral("non è una fattura elettronica (%1)").arg(root->name);
        return result;
    }
    Invoice invoice;
    invoice.format = root->text.trimmed().toUpper();
    const Node *header = root->child(QLatin1StringView("FatturaElettronicaHeader"));
    if (!header) {
        result.error = QStringLiteral("fattura senza intestazione (FatturaElettronicaHeader)");
        return result;
    }
    invoice.seller = partyOf(header->child(QLatin1StringView("CedentePrestatore")));
    invoice.buyer = partyOf(header->child(QLatin1StringView("CessionarioCommittente")));
    for (const Node *body : root->all(QLatin1StringView("FatturaElettronicaBody"))) {
        invoice.bodies.push_back(documentOf(*body));
    }
    if (invoice.bodies.empty()) {
        result.error = QStringLiteral("fattura senza documenti (FatturaElettronicaBody)");
        return result;
    }
    result.invoice = std::move(invoice);
    return result;
}

} // namespace einvoice
