#pragma once

// A FatturaPA file (versions FPR12 and FPA12, and the simplified FSM10) read into what the
// import needs: the two parties of the header and, per body, the document's kind, number,
// date, totals and payment details. Elements are matched by local name, whatever prefix the
// file uses; line details and attachments are skipped unread.

#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace einvoice {

// Amounts in hundredths (cents); the schema's amounts have two decimals, further ones are
// rounded half away from zero.
using Cents = qint64;

struct Party {
    QString vatCountry;   // IdFiscaleIVA/IdPaese ("IT")
    QString vatCode;      // IdFiscaleIVA/IdCodice ("01234567890")
    QString taxCode;      // CodiceFiscale
    QString name;         // Denominazione, or Cognome and Nome
    QString address;      // Indirizzo and NumeroCivico
    QString postCode, town, province, country;
    QString phone, fax, email;
};

struct Instalment {
    QString method;               // ModalitaPagamento ("MP05")
    QDate due;                    // DataScadenzaPagamento
    QDate termsFrom;              // DataRiferimentoTerminiPagamento
    std::optional<int> termsDays; // GiorniTerminiPagamento
    std::optional<Cents> amount;  // ImportoPagamento
    QString iban;                 // IBAN
};

struct Document {
    QString type;                       // TipoDocumento ("TD01")
    QString number;                     // Numero
    QDate date;                         // Data
    std::optional<Cents> total;         // ImportoTotaleDocumento
    Cents summaryTotal = 0;             // sum of ImponibileImporto and Imposta of DatiRiepilogo
    bool hasSummary = false;
    std::vector<Instalment> instalments;   // every DettaglioPagamento, in file order
};

struct Invoice {
    QString format;        // the root's "versione": "FPR12", "FPA12", "FSM10"
    Party seller;          // CedentePrestatore
    Party buyer;           // CessionarioCommittente
    std::vector<Document> bodies;
};

struct ParseResult {
    std::optional<Invoice> invoice;
    QString error;         // why there is none, in Italian
    QString rootName;      // the root element's local name, also when it is not an invoice
};

// Files larger than this are refused unread.
constexpr qsizetype kMaxXmlBytes = 20 * 1024 * 1024;
constexpr int kMaxXmlDepth = 64;

// Reads one file's bytes: a byte-order mark and the declared encoding are honoured; a DTD
// (and with it any entity declaration), deep nesting, an oversize file and malformed XML
// are refused with their reason; a well-formed file of another kind (an exchange-system
// receipt, a metadata file) reports its root name and the error "non è una fattura
// elettronica".
ParseResult parseInvoice(const QByteArray &bytes);

// "1234.5" -> 123450; nullopt when it is no decimal number.
std::optional<Cents> parseAmount(const QString &text);

} // namespace einvoice
