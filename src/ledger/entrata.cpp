#include "entrata.h"

#include "records/layout.h"

namespace ledger {

// What the receivables form shows and says where it differs from the payables form.
LedgerProfile LedgerProfile::receivables()
{
    return {
        .caption = QStringLiteral("Incassi"),
        .sheet = records::layout::incassi().name,
        .kindLetter = QStringLiteral("C"),
        .label1Design = QStringLiteral("Seleziona Cliente "),
        .label1NewEntry = QStringLiteral("Seleziona Cliente"),
        .label1ChangeMode = QStringLiteral(" Cliente Selezionato"),
        .newCaption = QStringLiteral("Nuovo Cliente"),
        .changeCaption = QStringLiteral("Modifica Cliente"),
        .changeButtonRefills = true,
        .statusCaption = QStringLiteral("Riscosso"),
        .meansLabel = QStringLiteral("Riscosso con "),
        .numbersEditable = false,
        .cancellaShowsSeleziona = false,
        .insertMissingText = QStringLiteral(" ERRORE- I Campi CLIENTE -FATTURA-DATA-SCADENZA devono essere compilato"),
        .changeMissingText = QStringLiteral(" Il campo :  CLIENTE- FATTURA-DATA-SCADENZA     deve essere compilato !"),
    };
}

Entrata::Entrata(controls::Session &session, QWidget *parent)
    : LedgerForm(session, LedgerProfile::receivables(), parent)
{
    setObjectName(QStringLiteral("Entrata"));
}

} // namespace ledger
