#include "reports.h"

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "records/layout.h"
#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/print/printing.h"
#include "store/model/workbook.h"

namespace print {

namespace {

using store::skipOnFailure;

using enum PageStep;

const QString kLedgerRefusal = QStringLiteral(
    " La stampa non può essere eseguita in assenza di Registrazioni  inserite ..................");
const QString kRegistryRefusal = QStringLiteral(
    " La stampa non può essere eseguita in assenza di Clienti/Fornitori Inseriti ..................");

// The ledgers set grid lines before the fit in portrait and after it in landscape.
const std::vector<PageStep> kLedgerPortrait{GridlinesOn, FitWide, FitTall, Orientation, PaperA4, Zoom};
const std::vector<PageStep> kLedgerLandscape{FitWide, FitTall, GridlinesOn, Orientation, PaperA4, Zoom};
const std::vector<PageStep> kRegistryLandscape{
    FitWide, FitTall, HeadingsOff, GridlinesOn, CommentsNone, Quality600,
    CenterHorizontallyOff, CenterVerticallyOff, DraftOff, FirstPageAutomatic, DownThenOver,
    BlackAndWhiteOff, ErrorsDisplayed, Orientation, PaperA4, Zoom};

// The twin ledgers print alike: only the sheet and the title of the list differ.
Report ledger(int mode, const records::layout::SheetLayout &layout)
{
    return Report{
        .mode = mode,
        .sheet = layout.name,
        .refusal = kLedgerRefusal,
        .lastColumnCell = layout.lastColumn() + QLatin1Char('1'),
        .switchesScreenUpdating = true,
        .asksOrientation = true,
        .titleRows = {},
        .titleColumns = {},
        .headerPortrait = QStringLiteral("Stampa  Elenco %1   ").arg(layout.name),
        .headerLandscape = QStringLiteral("Stampa  Elenco %1  ").arg(layout.name),
        .portraitSteps = kLedgerPortrait,
        .landscapeSteps = kLedgerLandscape,
    };
}

Report registry()
{
    const records::layout::SheetLayout &layout = records::layout::anagrafe();
    return Report{
        .mode = 8,
        .sheet = layout.name,
        .refusal = kRegistryRefusal,
        .lastColumnCell = layout.lastColumn() + QLatin1Char('1'),
        .switchesScreenUpdating = false,
        .asksOrientation = false,
        .titleRows = QStringLiteral("$1:$1"),
        .titleColumns = QStringLiteral("$A:$B"),
        .headerPortrait = {},
        .headerLandscape = QStringLiteral("Stampa Generale Clienti/Fornitori "),
        .portraitSteps = {},
        .landscapeSteps = kRegistryLandscape,
    };
}

void applyStep(PageStep step, store::PageSetup &setup, store::Orientation orientation, int zoom)
{
    switch (step) {
    case FitWide: setup.fitToPagesWide = 1; break;
    case FitTall: setup.fitToPagesTall = 1; break;
    case HeadingsOff: setup.printHeadings = false; break;
    case GridlinesOn: setup.printGridlines = true; break;
    case CommentsNone: setup.printComments = false; break;
    case Quality600: setup.printQuality = 600; break;
    case CenterHorizontallyOff: setup.centerHorizontally = false; break;
    case CenterVerticallyOff: setup.centerVertically = false; break;
    case DraftOff: setup.draft = false; break;
    case FirstPageAutomatic: setup.firstPageNumber.reset(); break;
    case DownThenOver: setup.overThenDown = false; break;
    case BlackAndWhiteOff: setup.blackAndWhite = false; break;
    case ErrorsDisplayed: setup.printErrors = 0; break;
    case Orientation: setup.orientation = orientation; break;
    case PaperA4: setup.paperSize = kPaperA4; break;
    case Zoom: setup.setZoom(zoom); break;   // refused outside 10..400: the old zoom stays
    }
}

// One run of the print sequence for one report, step by step.
class PrintSequence {
public:
    PrintSequence(const Report &report, const PrintContext &context)
        : m_report(report), m_ctx(context)
    {}

    void run()
    {
        beginPrint();
        if (!findRecords())
            return;
        if (!printerChosen())
            return;
        markScratchCells();
        fitColumns();
        const int zoom = askZoom();
        const bool portrait = askPortrait();
        setUpPage(portrait, zoom);
        // Each page goes to paper once, on the chosen printer, when the user says Yes to
        // it: never the whole list beforehand on another printer.
        if (!askAndPrintEachPage())
            return;   // the print form stays up; screen updating stays as it is
        endPrint();
    }

private:
    void hideForm() const
    {
        if (m_ctx.hideForm)
            m_ctx.hideForm();
    }

    // Screen updating off while the ledgers print.
    void beginPrint()
    {
        if (m_report.switchesScreenUpdating && m_ctx.server) {
            m_updatingBefore = m_ctx.server->screenUpdating;
            m_ctx.server->screenUpdating = false;
        }
    }

    // A printer box that names no installed printer is said at once, before any question;
    // the print form stays up to choose one, and nothing of the sheet has been touched.
    bool printerChosen()
    {
        const QString problem =
            printerProblem(m_ctx.printerName ? m_ctx.printerName() : QString(), m_ctx.printers);
        if (problem.isEmpty())
            return true;
        m_ctx.dialogs->message(controls::BoxKind::Plain, problem, texts::printerTitle);
        if (m_report.switchesScreenUpdating && m_ctx.server)
            m_ctx.server->screenUpdating = m_updatingBefore;
        return false;
    }

    // The widths follow the records as they are now, entered in this session included, so
    // no name is cut and no date shows as "###".
    void fitColumns()
    {
        skipOnFailure([&] { m_sheet->usedRange().autoFitColumns(); });
    }

    // The sheet, or the refusal when there is nothing to print: a missing sheet counts as
    // an empty one.
    bool findRecords()
    {
        m_sheet = sheetToPrint(m_report, m_ctx);
        if (m_sheet)
            return true;
        hideForm();
        return false;
    }

    // Scratch cells of row 1: AZ1 marks the print, AU1/AV1 carry the page question.
    void markScratchCells()
    {
        skipOnFailure([&] { m_sheet->select(); });
        skipOnFailure([&] { m_sheet->range(QStringLiteral("AZ1")).setValue(110.0); });
        skipOnFailure([&] { m_sheet->range(QStringLiteral("AU1")).clearContents(); });
        skipOnFailure([&] { m_sheet->range(QStringLiteral("AV1")).clearContents(); });
    }

    // A whole number, 0 when the answer is not one (or the box was cancelled).
    int askZoom()
    {
        const std::optional<QString> answer =
            m_ctx.dialogs->input(texts::zoomPrompt, texts::zoomTitle, texts::zoomDefault);
        return answer ? store::toWholeNumber(*answer).value_or(0) : 0;
    }

    bool askPortrait()
    {
        if (!m_report.asksOrientation)
            return false;
        return m_ctx.dialogs->message(controls::BoxKind::Question, texts::orientationQuestion,
                                      QString()) == controls::Answer::Yes;
    }

    // From A1 to the last-column cell of row 1 and down to the end of column A's run.
    void setPrintArea(store::PageSetup &setup)
    {
        skipOnFailure([&] {
            const store::Range last = m_sheet->range(m_report.lastColumnCell);
            const store::Range end = m_sheet->range(QStringLiteral("A1")).endDown();
            const store::RangeRect area{1, 1, std::max(last.row(), end.row()),
                                        std::max(last.column(), end.column())};
            setup.printArea = store::absoluteAddress(area);
        });
    }

    void setUpPage(bool portrait, int zoom)
    {
        store::PageSetup &setup = m_sheet->pageSetup();
        skipOnFailure([&] { m_sheet->select(); });
        setPrintArea(setup);
        if (!m_report.titleRows.isEmpty())
            setup.printTitleRows = m_report.titleRows;
        if (!m_report.titleColumns.isEmpty())
            setup.printTitleColumns = m_report.titleColumns;
        const QDate today = m_ctx.clock ? m_ctx.clock->now().date() : QDate::currentDate();
        setup.centerHeader = (portrait ? m_report.headerPortrait : m_report.headerLandscape)
                             + texts::headerSeparator + texts::headerDateLead + store::dateText(today);
        setup.leftMargin = store::Server::inchesToPoints(Margins::left);
        setup.rightMargin = store::Server::inchesToPoints(Margins::right);
        setup.topMargin = store::Server::inchesToPoints(Margins::top);
        setup.bottomMargin = store::Server::inchesToPoints(Margins::bottom);
        setup.headerMargin = store::Server::inchesToPoints(Margins::header);
        setup.footerMargin = store::Server::inchesToPoints(Margins::footer);
        const store::Orientation orientation =
            portrait ? store::Orientation::Portrait : store::Orientation::Landscape;
        for (PageStep step : portrait ? m_report.portraitSteps : m_report.landscapeSteps)
            skipOnFailure([&] { applyStep(step, setup, orientation, zoom); });
    }

    void printPages(const std::vector<int> &pages, const QString &printer)
    {
        if (pages.empty() || printer.isEmpty())
            return;
        skipOnFailure([&] {
            if (!m_ctx.printers)
                throw store::StoreError(store::ErrorKind::NotFound,
                                        QStringLiteral("Nessuna stampante."));
            store::printPages(*m_sheet, *m_ctx.printers, pages, kCopiesPerPage, printer);
        });
    }

    // "Pagine i di n", read back from AU1 and AV1 as the sheet shows them.
    QString pageQuestion(int page, int pages)
    {
        skipOnFailure([&] { m_sheet->range(QStringLiteral("AU1")).setValue(double(page)); });
        skipOnFailure([&] { m_sheet->range(QStringLiteral("AV1")).setValue(double(pages)); });
        QString pageText, countText;
        skipOnFailure([&] { pageText = m_sheet->range(QStringLiteral("AU1")).text(); });
        skipOnFailure([&] { countText = m_sheet->range(QStringLiteral("AV1")).text(); });
        return texts::pageQuestion + texts::pagesWord + pageText + texts::ofWord + countText;
    }

    // One question per page; false when the user stops. Every page of the area is asked
    // about: when the area is wider than a page the pages to the right follow those below,
    // and stopping at the row breaks alone would leave the right-hand columns unprinted.
    bool askAndPrintEachPage()
    {
        int pages = 1;
        skipOnFailure([&] { pages = int(store::paginate(*m_sheet).pages.size()); });
        std::vector<int> chosen;
        QString printer;
        bool stopped = false;
        for (int i = 1; i <= pages && !stopped; ++i) {
            stopped = m_ctx.dialogs->message(controls::BoxKind::Question, pageQuestion(i, pages),
                                             texts::pageQuestionTitle)
                      != controls::Answer::Yes;
            if (stopped)
                break;
            // The printer box's text, unchanged; an empty one names no printer at all.
            printer = m_ctx.printerName ? m_ctx.printerName() : QString();
            if (m_ctx.oneJob)
                chosen.push_back(i);
            else
                printPages({i}, printer);
        }
        printPages(chosen, printer);
        return !stopped;
    }

    void endPrint()
    {
        hideForm();
        if (m_report.switchesScreenUpdating && m_ctx.server)
            m_ctx.server->screenUpdating = true;
    }

    const Report &m_report;
    const PrintContext &m_ctx;
    store::Worksheet *m_sheet = nullptr;
    bool m_updatingBefore = true;
};

} // namespace

const std::vector<Report> &reportCatalogue()
{
    static const std::vector<Report> catalogue{
        registry(),
        ledger(1, records::layout::incassi()),
        ledger(2, records::layout::pagamenti()),
    };
    return catalogue;
}

const Report *reportForMode(int mode)
{
    for (const Report &r : reportCatalogue())
        if (r.mode == mode)
            return &r;
    return nullptr;
}

QString printerProblem(const QString &printer, const store::PrintTarget *printers)
{
    const QStringList installed = printers ? printers->printerNames() : QStringList();
    if (installed.contains(printer))
        return {};
    if (installed.isEmpty())
        return texts::noPrinterInstalled;
    if (printer.trimmed().isEmpty() || printer == QLatin1String("Seleziona la stampante"))
        return texts::noPrinterChosen;
    return texts::printerNotInstalled.arg(printer);
}

store::Worksheet *sheetToPrint(const Report &report, const PrintContext &context)
{
    store::Worksheet *sheet = context.workbook ? context.workbook->findSheet(report.sheet) : nullptr;
    bool empty = true;
    if (sheet)
        skipOnFailure([&] { empty = !records::layout::hasRecords(*sheet); });
    if (!empty)
        return sheet;
    context.dialogs->message(controls::BoxKind::Information, report.refusal, texts::refusalTitle);
    return nullptr;
}

void runReport(const Report &report, const PrintContext &context)
{
    PrintSequence(report, context).run();
}

} // namespace print
