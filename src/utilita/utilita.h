#pragma once

// The form "Utilità/Causali" (`Utilita`), opened from the menu's XPButton9: the office's own
// data (sheet "Studio"), the means of payment the entry forms offer (sheet "Causali"), and
// the import of electronic invoices with its preview and report. Its "Chiudi" shows the
// menu again; the close box is refused as on the other forms.

#include "controls/form.h"
#include "einvoice/importer.h"

#include <array>
#include <optional>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;

namespace controls { class XPButton; }

namespace utilita {

class Utilita : public controls::Form {
    Q_OBJECT
public:
    explicit Utilita(controls::Session &session, QWidget *parent = nullptr);

    void activate() override;
    bool queryUnload() override { return true; }

    // "Dati dello studio".
    void salvaStudio();          // XPButton1
    // "Causali".
    void aggiungiCausale();      // XPButton2
    void rinominaCausale();      // XPButton3
    void eliminaCausale();       // XPButton4
    void spostaCausale(int by);  // XPButton5 (up, -1), XPButton6 (down, +1)
    // "Importa fatture elettroniche".
    void scegliFile();           // XPButton7
    void scegliCartella();       // XPButton8
    void anteprima();            // XPButton9
    void importa();              // XPButton10
    void chiudi();               // XPButton11

    QTabWidget *Tab1 = nullptr;
    std::array<QLineEdit *, 10> studio{};   // Text1..Text10: the office's fields in sheet order
    QListWidget *List1 = nullptr;           // the causali
    QLineEdit *Text11 = nullptr;            // a causale's name
    QListWidget *List2 = nullptr;           // the files and folders chosen
    QPlainTextEdit *Text12 = nullptr;       // preview, then report
    controls::XPButton *XPButton1 = nullptr, *XPButton2 = nullptr, *XPButton3 = nullptr,
                       *XPButton4 = nullptr, *XPButton5 = nullptr, *XPButton6 = nullptr,
                       *XPButton7 = nullptr, *XPButton8 = nullptr, *XPButton9 = nullptr,
                       *XPButton10 = nullptr, *XPButton11 = nullptr;

private:
    QWidget *buildStudioPage();
    QWidget *buildCausaliPage();
    QWidget *buildImportPage();
    void loadStudio();
    void loadCausali();
    void saveCausali(const QStringList &names);
    void addChosen(const QStringList &paths);
    void message(const QString &text);

    std::optional<einvoice::Plan> m_plan;   // the previewed import, until it is confirmed
};

} // namespace utilita
