#pragma once

// The registry form in the shared form world, with the print form it asks for.

#include "print/stampap.h"
#include "registry/anagrafe.h"
#include "store/model/italian.h"
#include "support/formworld.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <initializer_list>

namespace registrytest {

using testworld::press;

// Picks a list entry the way a user does with the keyboard: the arrow keys walk the list,
// each step choosing the entry it reaches.
inline void choose(QComboBox *combo, int index)
{
    while (combo->currentIndex() != index) {
        const int before = combo->currentIndex();
        QTest::keyClick(combo, before < index ? Qt::Key_Down : Qt::Key_Up);
        if (combo->currentIndex() == before)
            QFAIL("the list does not move");
    }
}

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
    // Counterparties from row 2 down, one a row; `counter` > 0 sets the counter too.
    struct Row { double id; const char *type; const char *name; };
    void addRows(std::initializer_list<Row> rows, double counter = 0)
    {
        int row = 2;
        for (const Row &r : rows)
            addRow(row++, r.id, QString::fromLatin1(r.type), QString::fromUtf8(r.name));
        if (counter > 0)
            setCounter(counter);
    }
    // Shows the form as an opener does; its activation runs when it becomes active.
    bool show() { return testworld::showAndActivate(form); }
    // Shows the form, ticks "C" (Cliente) or "F" (Fornitore) and, given an entry, chooses
    // it from the list.
    bool open(char type = 'C', int entry = -1)
    {
        if (!show())
            return false;
        (type == 'F' ? form->Check2 : form->Check1)->click();
        if (entry >= 0)
            choose(form->Combo4, entry);
        return entry < 0 || form->Combo4->currentIndex() == entry;
    }
    // Types a name and presses "Inserisci", answering its question.
    void insert(const QString &name, controls::Answer answer = controls::Answer::Yes)
    {
        QTest::keyClicks(form->Text26, name);
        pressAnswering(form->XPButton4, answer);
    }

    Anagrafe *form = nullptr;
};

} // namespace registrytest
