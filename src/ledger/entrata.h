#pragma once

#include "ledgerform.h"

namespace ledger {

// Receivables: sheet "Incassi", customers ("C") of the registry. Its texts are in entrata.cpp.
class Entrata : public LedgerForm {
    Q_OBJECT
public:
    explicit Entrata(controls::Session &session, QWidget *parent = nullptr);
};

} // namespace ledger
