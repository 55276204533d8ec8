#pragma once

// The entry form shared by receivables (Entrata) and payables (Pagamenti). The two forms have
// the same controls under the same names and the same behaviour; what differs between them
// (sheet, counterparty kind, captions, messages, a few small behaviours) is a LedgerProfile.
//
// The form's mode is the enabled state of XPButton3 ("Modifica"): disabled means a new record,
// enabled means the record shown is being changed. Other forms open it with
// openForNewRecord() or openForChange(), which set the buttons (and the record) with the
// show request; activate() reads them.

#include "controls/form.h"
#include "recordcolumns.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class QCalendarWidget;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QVBoxLayout;

namespace controls { class XPButton; enum class BoxKind; }
namespace records { class Ledger; struct LedgerEntry; }

namespace ledger {

struct LedgerProfile {
    QString caption;              // window caption
    QString sheet;                // data sheet
    QString kindLetter;           // column B of "Anagrafe" for the counterparties listed
    QString label1Design;         // Label1 before the first activation
    QString label1NewEntry;       // Label1 set by activation in new-entry mode
    QString label1ChangeMode;     // Label1 set in change mode; empty: left as it is
    QString newCaption;           // XPButton1 in new-entry mode
    QString changeCaption;        // XPButton1 in change mode
    bool changeButtonRefills = true;   // XPButton1 in change mode refills the list (or does nothing)
    QString statusCaption;        // Check2
    QString meansLabel;           // the labels over Combo2..Combo4
    bool numbersEditable = false; // Text10 and Text12
    bool cancellaShowsSeleziona = false;
    QString insertMissingText;    // required field missing on insert
    QString changeMissingText;    // required field missing on change

    static LedgerProfile receivables();
    static LedgerProfile payables();
};

class LedgerForm : public controls::Form {
    Q_OBJECT
public:
    LedgerForm(controls::Session &session, LedgerProfile profile, QWidget *parent = nullptr);
    ~LedgerForm() override;

    const LedgerProfile &profile() const { return m_profile; }

    void activate() override;
    bool queryUnload() override { return true; }   // the close box never closes the form

    // Shows the form for a new record: activation then clears the fields, proposes the next
    // record number and lists the counterparties.
    void openForNewRecord();
    // Shows the form with a record of its sheet (columns A..T as texts, as loadRecord()
    // takes them) for change or deletion. The form leaves for `returnTo` (the main menu when
    // none) once the record is changed or deleted, or the form closed.
    void openForChange(const QStringList &columns, std::optional<controls::FormId> returnTo = std::nullopt);

    // The settings of the three record buttons that give the mode.
    void setButtonsForNewEntry();   // Inserisci on, Modifica and Elimina off
    void setButtonsForChange();     // the opposite
    bool isChangeMode() const;

    // Copies a record's columns A..T (as texts) into the controls, in this order: A Text10,
    // B Text12, C Combo1, D Text1, E Text2, F Text3, H Text4, G Check2, I Text5, J Combo2,
    // L Text7, K Check4, M Text6, N Combo3, P Text9, O Check6, Q Text8, R Combo4, S Text11.
    // A flag ticks its box on exactly "SI", clears it on exactly "NO", else leaves it.
    // Missing trailing columns count as empty texts. The record number it came with (column
    // A) is the one change and delete act on, whatever is typed over Text10 afterwards.
    void loadRecord(const QStringList &columns);

    // Routines of the form.
    void caricaSoggetti();   // fills Combo1 with the counterparties of the profile's kind
    void pulisciCampi();     // clears the fields and proposes the next record number
    void inserisci();        // XPButton4
    void modifica();         // XPButton3
    void elimina();          // XPButton6
    void cancella();         // XPButton5
    void chiudi();           // XPButton2
    void counterpartyButton();   // XPButton1
    void tick();             // Timer2

    // Whether the next new-entry activation clears the form: set by openForNewRecord(), not
    // by coming back to the form from another window; kept off after the "Nuovo Cliente"
    // detour, so that the record half typed is still there with the new counterparty.
    bool clearsOnActivation() const { return m_clearOnActivation; }

    // The "Anagrafe" row each Combo1 entry came from.
    const std::vector<int> &listedRows() const { return m_listedRows; }

    // Controls, named as on the form.
    QLabel *Label1 = nullptr;
    QComboBox *Combo1 = nullptr;
    controls::XPButton *XPButton1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QCheckBox *Check1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QCheckBox *Check8 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *Text10 = nullptr;
    QLineEdit *Text12 = nullptr;

    QLineEdit *Text4 = nullptr;
    QCheckBox *Check2 = nullptr;
    QCheckBox *Check3 = nullptr;
    QLineEdit *Text5 = nullptr;
    QComboBox *Combo2 = nullptr;

    QLineEdit *Text7 = nullptr;
    QCheckBox *Check4 = nullptr;
    QCheckBox *Check5 = nullptr;
    QLineEdit *Text6 = nullptr;
    QComboBox *Combo3 = nullptr;

    QLineEdit *Text9 = nullptr;
    QCheckBox *Check6 = nullptr;
    QCheckBox *Check7 = nullptr;
    QLineEdit *Text8 = nullptr;
    QComboBox *Combo4 = nullptr;

    QPlainTextEdit *Text11 = nullptr;
    QCalendarWidget *MonthView1 = nullptr;
    QLabel *Label14 = nullptr;
    QLabel *Label15 = nullptr;
    QLabel *Label16 = nullptr;
    QTimer *Timer2 = nullptr;

    controls::XPButton *XPButton2 = nullptr;   // Chiudi
    controls::XPButton *XPButton3 = nullptr;   // Modifica
    controls::XPButton *XPButton4 = nullptr;   // Inserisci
    controls::XPButton *XPButton5 = nullptr;   // Cancella
    controls::XPButton *XPButton6 = nullptr;   // Elimina

    // Labels of the layout (no behaviour).
    QLabel *meansLabels[3] = {nullptr, nullptr, nullptr};

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The control bound to a record column (recordcolumns.h), its text as a record stores
    // it, and the filling of it from a record's text.
    QWidget *control(const RecordColumn &bound) const;
    QString columnText(const RecordColumn &bound) const;
    void setColumnText(const RecordColumn &bound, const QString &text);
    // The record the controls hold, column by column through the same table.
    records::LedgerEntry entry() const;
    // The profile's ledger sheet; throws StoreError(NotFound) when it is missing.
    records::Ledger ledger() const;

    // Construction: the controls row by row, then their places.
    void buildControls();
    void buildCounterpartyRow();
    void buildInvoiceRow();
    void buildSettlementRows();
    void buildNoteAndCalendar();
    void buildRecordButtons();
    void buildLayout();
    void layoutCounterpartyRow(QVBoxLayout *outer);
    void layoutInvoiceRow(QGridLayout *grid);
    void layoutSettlementRows(QGridLayout *grid);
    void layoutButtonsAndFooter(QVBoxLayout *outer);
    void wireBehaviour();
    void placeCalendar();

    void selectorToggled(QCheckBox *selector);
    void dateClicked();
    void counterpartyChosen(int index);

    bool requiredFieldsPresent() const;
    // The same; when a field is missing, says so in a box of this kind and puts the focus
    // on the counterparty list.
    bool requiredFieldsGiven(controls::BoxKind kind, const QString &text, const QString &title);
    // Text10 holds a whole record number; otherwise says so and gives nullopt.
    std::optional<double> acceptedRecordNumber();
    // The five dates are empty or dates a record can store; otherwise says so, on the first
    // date field that is not, and gives false.
    bool datesAccepted();
    // The three amounts are empty or read as one amount each; otherwise says so, on the
    // first that does not, and gives false.
    bool amountsAccepted();
    int selectRecordRow(const records::Ledger &sheet);
    // Runs `act` on the row of the record the form acts on; false when no row carries it or
    // the workbook refused (the user has been told either way).
    bool onRecordRow(const std::function<void(const records::Ledger &, int)> &act);
    // The text that names the record change and delete act on: the number handed over with
    // the record, or Text10 when none was.
    QString recordKeyText() const;
    void showMenu();
    void reportStoreError(const std::exception &error);

    LedgerProfile m_profile;
    std::vector<int> m_listedRows;
    std::optional<QString> m_handedKey;   // column A of the record loaded by loadRecord()
    std::optional<controls::FormId> m_returnTo;   // the form that opened a record, if not the menu
    QWidget *m_invoiceAnchor = nullptr;   // the calendar lies from here to the right edge
    bool m_clearOnActivation = true;      // openForNewRecord() asked for an empty form (and the first showing)
    bool m_onDetour = false;              // left for the registry to add a counterparty
};

} // namespace ledger
