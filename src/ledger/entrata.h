#pragma once

#include "ledgerform.h"

namespace ledger {

// Receivables: sheet "Incassi", customers ("C") of the registry.
class Entrata : public LedgerForm {
    Q_OBJECT
public:
    explicit Entrata(controls::Session &session, QWidget *parent = nullptr)
        : LedgerForm(session, LedgerProfile::receivables(), parent)
    {
        setObjectName(QStringLiteral("Entrata"));
    }
};

} // namespace ledger
