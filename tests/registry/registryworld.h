#pragma once

// The registry form in the shared form world, with the print form it asks for.

#include "print/stampap.h"
#include "registry/anagrafe.h"
#include "store/model/italian.h"
#include "support/formworld.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

namespace registrytest {

using testworld::press;

class World : public testworld::FormWorld {
public:
    World()
    {
        provide<print::StampaP>(controls::FormId::StampaP);
        provide<Anagrafe>(controls::FormId::Anagrafe);
        form = &FormWorld::form<Anagrafe>(controls::FormId::Anagrafe);
    }

    store::Worksheet &sheet() { return FormWorld::sheet(QStringLiteral("Anagrafe")); }
    store::Variant value(int row, int column) { return sheet().valueAt(row, column); }
    QString text(int row, int column) { return store::valueToText(value(row, column)); }
    // The registry's counter, in IV1 of "Anagrafe".
    store::Variant counter() { return value(1, 256); }
    void setCounter(double next) { sheet().cells(1, 256).setValue(next); }
    void addRow(int row, double id, const QString &type, const QString &name)
    {
        addCounterparty(row, id, type, name);
    }
    // Shows the form as an opener does; its activation runs when it becomes active.
    bool show() { return testworld::showAndActivate(form); }

    Anagrafe *form = nullptr;
};

} // namespace registrytest
