#pragma once

// The print form: the printer choice and the one button that prints the list named by the
// mode its opener wrote into Text1 ("8" registry, "1" collections, "2" payments).

#include "controls/form.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace controls { class XPButton; }

namespace print {

class StampaP : public controls::Form {
    Q_OBJECT
public:
    explicit StampaP(controls::Session &session, QWidget *parent = nullptr);

    // The close box: empties the mode and unloads the form, right after the close event.
    bool queryUnload() override;

    // Shows the form for one list: the mode ("8", "1" or "2") goes into Text1, which the
    // print button reads.
    void open(const QString &mode);

    // Routines of the form.
    void load();     // Form_Load: the installed printers and the default printer
    void stampa();   // XPButton2: dispatch on the mode, 8 then 1 then 2

    // Controls, named as on the form.
    QLineEdit *Text1 = nullptr;          // the mode, written by the opener
    QComboBox *Combo1 = nullptr;         // the printer list; its text names the printer
    controls::XPButton *XPButton2 = nullptr;
    QLabel *Label1 = nullptr;            // the default printer
    QLabel *Label14 = nullptr;           // the author's notice

    static const QString kCaption;
    static const QString kChoosePrinter;   // Combo1's text after loading
    static const QString kDefaultLead;     // Label1's text before the default printer's name
    static const QString kNotice;

private:
    void run(int mode);
    // Why a print that asked for pages got none onto paper, as the user is told.
    QString nothingPrintedText(const QString &printer) const;
};

} // namespace print
