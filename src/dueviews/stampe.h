#pragma once

// "Stampe": every printout in one place, to the printer or to a PDF file. The registry and
// ledger lists go through the print sequence of the print form: to a printer through the form
// itself, unchanged; to a PDF file with the same questions and page set-up, the pages said Yes
// to in one file. The due list (for a period), a customer's or supplier's statement and a
// reminder letter go where chosen as well.

#include "duesource.h"
#include "situazione.h"

#include "controls/form.h"

class QComboBox;

namespace controls { class XPButton; }

namespace dueviews {

class Stampe : public controls::Form {
    Q_OBJECT
public:
    explicit Stampe(controls::Session &session, QWidget *parent = nullptr);

    bool queryUnload() override { return true; }
    void activate() override;   // the counterparties again

    void open();
    void printList(int mode);   // "1" collections, "2" payments, "8" registry
    void scadenze();
    void estrattoConto();
    void sollecito();
    void chiudi();

    controls::XPButton *ButtonIncassi = nullptr;
    controls::XPButton *ButtonPagamenti = nullptr;
    controls::XPButton *ButtonAnagrafe = nullptr;
    QComboBox *ComboPeriod = nullptr;
    controls::XPButton *ButtonScadenze = nullptr;
    QComboBox *ComboSoggetto = nullptr;
    controls::XPButton *ButtonEstratto = nullptr;
    QComboBox *ComboLivello = nullptr;
    controls::XPButton *ButtonSollecito = nullptr;
    QComboBox *ComboDestinazione = nullptr;   // "Stampante", "File PDF": for every printout
    controls::XPButton *ButtonChiudi = nullptr;

private:
    void exportList(int mode);
    Destination destination() const;
    const CounterpartyInfo *chosen() const;
    std::vector<DueRecord> readRecords();

    std::vector<CounterpartyInfo> m_people;
};

} // namespace dueviews
