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

    // Records 1..count in rows 2 down: record n due on n June 2009, for 10 * n.
    void addRecords(const QString &sheetName, int count)
    {
        for (int id = 1; id <= count; ++id)
            addRecord(sheetName, id + 1, id, QDate(2009, 6, id), 10 * id);
    }
    // Opens the form as the main menu does: for a new record, or on a record to change.
    bool openForNew(ledger::LedgerForm &form)
    {
        return openFromMenu(form, [&form] { form.openForNewRecord(); });
    }
    bool openForChange(ledger::LedgerForm &form, const QStringList &record)
    {
        return openFromMenu(form, [&form, &record] { form.openForChange(record); });
    }
};

} // namespace ledgertest
