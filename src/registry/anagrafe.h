#pragma once

// The customer/supplier registry form: lists the counterparties of one type, shows one at a
// time field by field, and inserts, changes and deletes them on the sheet "Anagrafe", with
// the progressive-number counter kept in IV1.

#include "controls/dialogs.h"
#include "controls/form.h"
#include "records/registry.h"
#include "store/model/value.h"

#include <QString>
#include <optional>

class QAction;
class QCalendarWidget;
class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QMenuBar;
class QPlainTextEdit;
class QTimer;

namespace store { class StoreError; }
namespace controls { class XPButton; }

class Anagrafe : public controls::Form {
    Q_OBJECT
public:
    explicit Anagrafe(controls::Session &session);
    ~Anagrafe() override;

    // Activate: counter shown (a counterparty on show keeps its number), list locked, focus
    // in the name field, calendar hidden.
    void activate() override;
    // The close box never closes the registry; "&Esci" is the way out.
    bool queryUnload() override { return true; }

    // Empties every field and the list's text (its entries stay), unticks every box and
    // shows the counter in the ID field.
    void Pulisci();

    // Controls, by the names the rest of the program knows them by.
    QMenuBar *menuBar = nullptr;
    QAction *Mesci = nullptr;               // "&Esci"

    controls::XPButton *XPButton4 = nullptr;   // Inserisci
    controls::XPButton *XPButton1 = nullptr;   // Modifica
    controls::XPButton *XPButton2 = nullptr;   // Pulisci
    controls::XPButton *XPButton3 = nullptr;   // Elimina
    controls::XPButton *XPButton5 = nullptr;   // Stampa
    QLabel *Label1 = nullptr;                  // clock line
    QTimer *Timer1 = nullptr;

    QCheckBox *Check1 = nullptr;   // Cliente
    QCheckBox *Check2 = nullptr;   // Fornitore
    QCheckBox *Check7 = nullptr;   // Cambia IDProgressivo
    QCheckBox *Check6 = nullptr;   // Azzera Contatore

    QComboBox *Combo4 = nullptr;   // selection list; each entry keeps its sheet row
    QLineEdit *Text18 = nullptr;   // Data (D)
    QCheckBox *Check4 = nullptr;   // shows the calendar
    QCalendarWidget *MonthView1 = nullptr;

    QLineEdit *Text26 = nullptr;   // name (C)
    QLineEdit *Text10 = nullptr;   // ID Progressivo (A), locked
    QLineEdit *Text25 = nullptr;   // Indirizzo (E)
    QLineEdit *Text24 = nullptr;   // C.A.P. (F)
    QLineEdit *Text23 = nullptr;   // Località (G)
    QLineEdit *Text22 = nullptr;   // (PR) (H)
    QLineEdit *Text21 = nullptr;   // Telefono (I)
    QLineEdit *Text20 = nullptr;   // Fax (J)
    QLineEdit *Text15 = nullptr;   // Cellullare (K)
    QLineEdit *Text16 = nullptr;   // E-Mail (L)
    QLineEdit *Text19 = nullptr;   // Codice Fiscale (M)
    QLineEdit *Text2 = nullptr;    // Partita IVA (N)
    QLineEdit *Text1 = nullptr;    // IBAN (O)
    QLineEdit *Text3 = nullptr;    // Referente/Legale Rappresentante (P)
    QPlainTextEdit *Text12 = nullptr;   // Annotazioni (Q)
    QLabel *Label14 = nullptr;     // notice line

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Event handlers, named after their control and event.
    void Check1_Click();
    void Check2_Click();
    void Check4_Click();
    void Check6_Click();
    void Check7_Click();
    void Combo4_Click(int index);
    void Text26_LostFocus();
    void Text10_LostFocus();
    void MonthView1_DateClick(const QDate &date);
    void Timer1_Timer();
    void Mesci_Click();
    void XPButton4_Click();   // insert
    void XPButton1_Click();   // change
    void XPButton2_Click();   // clear
    void XPButton3_Click();   // delete
    void XPButton5_Click();   // print

    // Construction: the controls group by group, then their places.
    void buildControls();
    void buildMenuAndButtons();
    void buildSelectionList();
    void buildFields();
    void buildCalendarAndNotice();
    void buildLayout();
    QLayout *layoutFields();
    void applyFieldRules();

    records::Registry sheet() const;
    void fillList(const QString &typeLetter);
    void clearTexts();
    void showCounter();
    void placeCalendar();

    // The control of a registry column (A, C..Q) and its text.
    QWidget *fieldControl(int column) const;
    QString fieldText(int column) const;
    void setFieldText(int column, const QString &text);
    // The sheet row of the list entry the selection text names, if any.
    std::optional<int> chosenRow() const;
    QString typeLetter() const;

    // The steps insert and change share. Each one that refuses says why.
    bool nameGiven();              // the name field is not empty
    QString tickedType();          // "C" or "F"; empty when no type is ticked
    // The counterparty the fields hold, through the field table: the ID field in A, the
    // type letter in B, the fields in C..Q.
    records::CounterpartyEntry entry(const QString &letter) const;

    controls::Answer message(controls::BoxKind kind, const QString &text, const QString &title,
                             controls::Answer defaultButton = controls::Answer::Yes);
    std::optional<records::Registry> sheetOrReport();
    void reportStoreError(const store::StoreError &error);

    // The counterparty chosen from the list and loaded into the fields: its sheet row and
    // the number column A held when it was loaded. Change and delete act on that row, and
    // only while it still carries that number; cleared with the fields and the list.
    struct Loaded {
        int row = 0;
        store::Variant id;
    };
    std::optional<Loaded> m_loaded;
    void typeDropped();
    QString proposedText(const records::Registry &registry) const;

    bool m_activationErrorShown = false;
};
