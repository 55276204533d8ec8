#pragma once

// "Stampe": every printout in one place. The registry and ledger lists go through the print
// form and its print sequence, unchanged; the due list (for a period), a customer's or
// supplier's statement and a reminder letter go to the printer or to a PDF file.

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
    void printList(int mode);   // "1" collections, "2" payments, "8" registry, in the print form
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
    QComboBox *ComboDestinazione = nullptr;   // "Stampante", "File PDF"
    controls::XPButton *ButtonChiudi = nullptr;

private:
    Destination destination() const;
    const CounterpartyInfo *chosen() const;
    std::vector<DueRecord> readRecords();

    std::vector<CounterpartyInfo> m_people;
};

} // namespace dueviews
