#pragma once

// What every form of the program reaches: the engine, the dialogs, the clock, the other
// forms and the printers. Built once by the start form and passed to each form.

namespace store { class Server; class Workbook; class PrintTarget; }

class QWidget;

namespace controls {

class Dialogs;
class Clock;

// The program's forms, created the first time they are asked for and then kept
// (the print form excepted, which its own close box unloads).
enum class FormId {
    Avvio, Contavio, Anagrafe, Entrata, Pagamenti, Visualizza, StampaP, Utilita,
    Scadenze, Situazione, Stampe,
};

class Forms {
public:
    virtual ~Forms() = default;
    virtual QWidget *form(FormId id) = 0;        // creates it on first use
    virtual bool isLoaded(FormId id) const = 0;
    virtual void unload(FormId id) = 0;          // destroys it (print form only)
};

struct Session {
    store::Server *server = nullptr;
    Dialogs *dialogs = nullptr;
    Clock *clock = nullptr;
    Forms *forms = nullptr;
    store::PrintTarget *printers = nullptr;      // installed printers (store/printing.h)

    // The workbook every form addresses: the server's active workbook.
    store::Workbook &workbook() const;
};

} // namespace controls
