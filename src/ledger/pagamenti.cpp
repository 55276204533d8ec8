#include "pagamenti.h"

#include "records/layout.h"

namespace ledger {

// What the payables form shows and says where it differs from the receivables form.
LedgerProfile LedgerProfile::payables()
{
    return {
        .caption = QStringLiteral("Pagamenti"),
        .sheet = records::layout::pagamenti().name,
        .kindLetter = QStringLiteral("F"),
        .label1Design = QStringLiteral("Seleziona Fornitore"),
        .label1NewEntry = QStringLiteral("Seleziona Fornitore"),
        .label1ChangeMode = QString(),   // Label1 keeps what it shows
        .newCaption = QStringLiteral("Nuovo Fornitore"),
        .changeCaption = QStringLiteral("Modifica Fornitore"),
        .changeButtonRefills = false,
        .statusCaption = QStringLiteral("Pagato"),
        .meansLabel = QStringLiteral("Pagato con "),
        .numbersEditable = true,
        .cancellaShowsSeleziona = true,
        .insertMissingText = QStringLiteral(" ERRORE- I Campi FORNITORE -FATTURA-DATA- SCADENZA devono essere compilatI"),
        .changeMissingText = QStringLiteral(" Il campo :  FORNITORE-FATTURA-DATA-SCADENZA   deve essere compilati!"),
    };
}

Pagamenti::Pagamenti(controls::Session &session, QWidget *parent)
    : LedgerForm(session, LedgerProfile::payables(), parent)
{
    setObjectName(QStringLiteral("Pagamenti"));
}

} // namespace ledger
