#pragma once

// The entry forms in the shared form world: both ledgers' forms built as the program builds
// them; the main menu and the registry are stand-ins.

#include "controls/xpbutton.h"
#include "ledger/entrata.h"
#include "ledger/pagamenti.h"
#include "store/model/italian.h"
#include "support/formworld.h"

#include <QApplication>
#include <QTest>

namespace ledgertest {

using testworld::press;
using testworld::showAndActivate;

class World : public testworld::FormWorld {
public:
    World()
    {
        provide<ledger::Entrata>(controls::FormId::Entrata);
        provide<ledger::Pagamenti>(controls::FormId::Pagamenti);
    }

    ledger::Entrata &entrata() { return form<ledger::Entrata>(controls::FormId::Entrata); }
    ledger::Pagamenti &pagamenti() { return form<ledger::Pagamenti>(controls::FormId::Pagamenti); }
    ledger::LedgerForm &ledgerForm(bool payables)
    {
        return payables ? static_cast<ledger::LedgerForm &>(pagamenti()) : static_cast<ledger::LedgerForm &>(entrata());
    }
    QWidget &registryForm() { return *forms.form(controls::FormId::Anagrafe); }
};

} // namespace ledgertest
