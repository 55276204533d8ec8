#pragma once

#include "controls/form.h"
#include "ledger/ledger.h"

#include <vector>

class QLabel;
class QPushButton;
class QTimer;

namespace controls { class XPButton; }

namespace app {

// The main menu: each working button shows one form and hides the menu; "Chiudi" is the
// way out of the program. The close box is refused.
class Contavio : public controls::Form {
    Q_OBJECT
public:
    explicit Contavio(controls::Session &session, QWidget *parent = nullptr);

    bool queryUnload() override { return true; }

    // The buttons' actions.
    void inserisciIncassi();     // XPButton2
    void inserisciPagamenti();   // XPButton1
    void anagrafe();             // XPButton4
    void visualizzaIncassi();    // XPButton5
    void visualizzaPagamenti();  // XPButton6
    void situazione();           // XPButton11
    void scadenze();             // XPButton7
    void stampe();               // XPButton8
    void scaduti();              // the overdue line: "Scadenze/Insoluti" on the overdue
    // The overdue line again, from the workbook as it is now.
    void refreshOverdueLine();
    void utilita();              // XPButton9
    void chiudi();               // XPButton3
    void tick();                 // Timer2

    // Controls, named as on the form.
    controls::XPButton *XPButton1 = nullptr;
    controls::XPButton *XPButton2 = nullptr;
    controls::XPButton *XPButton3 = nullptr;
    controls::XPButton *XPButton4 = nullptr;
    controls::XPButton *XPButton5 = nullptr;
    controls::XPButton *XPButton6 = nullptr;
    controls::XPButton *XPButton7 = nullptr;
    controls::XPButton *XPButton8 = nullptr;
    controls::XPButton *XPButton9 = nullptr;
    controls::XPButton *XPButton10 = nullptr;
    controls::XPButton *XPButton11 = nullptr;
    controls::XPButton *XPButton12 = nullptr;
    controls::XPButton *XPButton13 = nullptr;
    QLabel *Label15 = nullptr;
    QPushButton *LabelScaduti = nullptr;   // the overdue count and residual of each ledger
    QTimer *Timer2 = nullptr;
    // The dated notes of changes (no function).
    std::vector<QLabel *> notes;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildButtons();
    void buildOverdueLine();
    void buildNotes();
    // A ledger's entry form ready for a new record, or the browser on a ledger; the menu
    // hides once the form is up (and stays when the program has no such form).
    void openEntryForm(ledger::Ledger which);
    void openBrowser(ledger::Ledger which);
};

} // namespace app
