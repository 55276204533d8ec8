#pragma once

#include "ledgerform.h"

namespace ledger {

// Payables: sheet "Pagamenti", suppliers ("F") of the registry. Its texts are in pagamenti.cpp.
class Pagamenti : public LedgerForm {
    Q_OBJECT
public:
    explicit Pagamenti(controls::Session &session, QWidget *parent = nullptr);
};

} // namespace ledger
