#pragma once

#include "ledgerform.h"

namespace ledger {

// Payables: sheet "Pagamenti", suppliers ("F") of the registry.
class Pagamenti : public LedgerForm {
    Q_OBJECT
public:
    explicit Pagamenti(controls::Session &session, QWidget *parent = nullptr)
        : LedgerForm(session, LedgerProfile::payables(), parent)
    {
        setObjectName(QStringLiteral("Pagamenti"));
    }
};

} // namespace ledger
