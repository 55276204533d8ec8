#pragma once

// How one document of an invoice becomes ledger rows, with no workbook in sight: which
// ledger it belongs to (by the office's own identity), whether its kind carries money to
// collect or pay, and one row per instalment with its due date, amount and note.

#include "einvoice/fatturapa.h"

#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace einvoice {

// The office's own partita IVA and codice fiscale, as the sheet "Studio" or the command
// line gives them.
struct Identity {
    QString vat;
    QString taxCode;
    bool isEmpty() const { return vat.trimmed().isEmpty() && taxCode.trimmed().isEmpty(); }
};

// The digits of a text ("IT 01234567890" -> "01234567890").
QString digitsOf(const QString &text);
// A codice fiscale compared without blanks, in upper case.
QString codeOf(const QString &text);
// Whether a party is the office: its partita IVA (country prefix ignored) or codice
// fiscale equals one of the office's.
bool isOffice(const Party &party, const Identity &office);

enum class Direction { Sale, Purchase };   // "Incassi", "Pagamenti"

struct Row {
    QDate due;
    Cents amount = 0;
    QString note;
};

struct MappedDocument {
    Direction direction = Direction::Sale;
    Party counterparty;
    QString counterpartyIban;   // suppliers only: the account the office pays into
    QString type, number;
    QDate date;
    std::vector<Row> rows;
};

struct Mapping {
    std::optional<MappedDocument> document;
    QString skipReason;   // when there is no document to import
};

// The means of payment in words ("MP05" -> "Bonifico"); the code itself when unknown.
QString paymentMethodName(const QString &code);
// The kind of document in words ("TD04" -> "Nota di credito").
QString documentTypeName(const QString &type);

Mapping mapDocument(const Invoice &invoice, const Document &document, const Identity &office);

} // namespace einvoice
