#pragma once

// The lists the program prints and the one sequence that prints any of them: refusal of an
// empty sheet, zoom and orientation questions, page set-up, then a Yes/No question before
// each page.

#include <QString>
#include <functional>
#include <vector>

namespace controls { class Dialogs; class Clock; }
namespace store { class Server; class Workbook; class Worksheet; class PrintTarget; struct PageSetup; }

namespace print {

// One page setting, applied on its own: when the engine refuses it, it is skipped.
enum class PageStep {
    FitWide,           // fit 1 page wide
    FitTall,           // fit 1 page tall
    HeadingsOff,       // row and column headings not printed
    GridlinesOn,
    CommentsNone,      // cell comments not printed
    Quality600,
    CenterHorizontallyOff,
    CenterVerticallyOff,
    DraftOff,
    FirstPageAutomatic,
    DownThenOver,
    BlackAndWhiteOff,
    ErrorsDisplayed,   // cell errors printed as shown
    Orientation,       // the orientation chosen for this print
    PaperA4,
    Zoom,              // the zoom typed in the input box
};

struct Report {
    int mode;                      // the print form's mode number
    QString sheet;
    QString refusal;               // text of the box shown when A2 is empty
    QString lastColumnCell;        // right end of the print area in row 1 ("S1")
    bool switchesScreenUpdating;   // off while printing, on after the last page
    bool asksOrientation;          // otherwise always landscape
    QString titleRows;             // repeated at the top of every page ("$1:$1"), or empty
    QString titleColumns;          // repeated at the left of every page ("$A:$B"), or empty
    QString headerPortrait;
    QString headerLandscape;
    std::vector<PageStep> portraitSteps;    // the page settings after the margins, in order
    std::vector<PageStep> landscapeSteps;
};

// Modes "8" (registry), "1" (collections), "2" (payments).
const std::vector<Report> &reportCatalogue();
const Report *reportForMode(int mode);   // nullptr for any other mode

// Texts and values shared by every report.
namespace texts {
inline const QString zoomPrompt = QStringLiteral(
    "Digita la percentuale di Zoom della Stampa 50-60-70-80-90-100..................");
inline const QString zoomTitle = QStringLiteral("Contavio ");
inline const QString zoomDefault = QStringLiteral("70");
inline const QString orientationQuestion = QStringLiteral(
    " Vuoi la Stampa Verticale ?.........................................................");
inline const QString pageQuestion = QStringLiteral("Vuoi Procedere alla stampa   ? ");
inline const QString pagesWord = QStringLiteral(" Pagine     ");
inline const QString ofWord = QStringLiteral("    di    ");
inline const QString pageQuestionTitle = QStringLiteral("Stampa Risultato ");
inline const QString refusalTitle = QStringLiteral("Contavio ");
inline const QString headerSeparator = QStringLiteral("------");
inline const QString headerDateLead = QStringLiteral(" del     ");
inline const QString printerTitle = QStringLiteral("Contavio");
inline const QString noPrinterChosen = QStringLiteral("Scegliere prima la stampante dall'elenco.");
inline const QString noPrinterInstalled = QStringLiteral(
    "Non è installata nessuna stampante: la stampa non può essere eseguita.");
inline const QString printerNotInstalled = QStringLiteral(
    "La stampante \"%1\" non è installata: sceglierne una dall'elenco.");
} // namespace texts

// Margins in inches, given to the engine in points.
struct Margins {
    static constexpr double left = 0.21, right = 0.21, top = 0.5, bottom = 0.21;
    static constexpr double header = 0.21, footer = 0.21;
};
constexpr int kPaperA4 = 9;
constexpr int kCopiesPerPage = 1;

// What the sequence needs around it. printerName is the print form's printer box, read
// before the first question (a name that is no installed printer stops the print there,
// with a message) and at each page print; hideForm hides the print form.
struct PrintContext {
    store::Server *server = nullptr;
    store::Workbook *workbook = nullptr;
    controls::Dialogs *dialogs = nullptr;
    controls::Clock *clock = nullptr;
    store::PrintTarget *printers = nullptr;
    std::function<QString()> printerName;
    std::function<void()> hideForm;
    // The pages said Yes to are printed together after the last question (or the first No),
    // in one job: a PDF file takes one job.
    bool oneJob = false;
};

// Why `printer` cannot be printed on (the message the user is told), or an empty text when
// it is one of the installed printers.
QString printerProblem(const QString &printer, const store::PrintTarget *printers);

// Runs the shared print sequence for one report. Engine failures are skipped step by step.
// The columns of the sheet are fitted to its data before each print.
void runReport(const Report &report, const PrintContext &context);
// The report's sheet when it has records to print; otherwise nullptr, after the refusal box
// (a missing sheet counts as an empty one).
store::Worksheet *sheetToPrint(const Report &report, const PrintContext &context);

} // namespace print
