#include "reports.h"

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/print/printing.h"
#include "store/model/workbook.h"

namespace print {

namespace {

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

Report ledger(int mode, const QString &sheet, const QString &title)
{
    return Report{mode, sheet, kLedgerRefusal, QStringLiteral("S1"),
                  /*switchesScreenUpdating*/ true, /*asksOrientation*/ true,
                  /*printsAllInPortrait*/ true, {}, {},
                  QStringLiteral("Stampa  Elenco %1   ").arg(title),
                  QStringLiteral("Stampa  Elenco %1  ").arg(title),
                  kLedgerPortrait, kLedgerLandscape};
}

// Runs one step of the sequence; an engine refusal skips it without a word.
template <typename F>
void skipOnFailure(F &&step)
{
    try {
        step();
    } catch (const store::StoreError &) {
    }
}

bool isEmptyCell(const store::Variant &v)
{
    return v.isEmpty() || (v.type == store::Variant::Type::Text && v.text.isEmpty());
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

} // namespace

const std::vector<Report> &reportCatalogue()
{
    static const std::vector<Report> catalogue{
        Report{8, QStringLiteral("Anagrafe"), kRegistryRefusal, QStringLiteral("Q1"),
               /*switchesScreenUpdating*/ false, /*asksOrientation*/ false,
               /*printsAllInPortrait*/ false, QStringLiteral("$1:$1"), QStringLiteral("$A:$B"),
               {}, QStringLiteral("Stampa Generale Clienti/Fornitori "),
               {}, kRegistryLandscape},
        ledger(1, QStringLiteral("Incassi"), QStringLiteral("Incassi")),
        ledger(2, QStringLiteral("Pagamenti"), QStringLiteral("Pagamenti")),
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

void runReport(const Report &report, const PrintContext &ctx)
{
    const auto hide = [&] {
        if (ctx.hideForm)
            ctx.hideForm();
    };

    // 1. Screen updating off while the ledgers print.
    if (report.switchesScreenUpdating && ctx.server)
        ctx.server->screenUpdating = false;

    // 2. Nothing to print: a missing sheet counts as an empty one.
    store::Worksheet *sheet = ctx.workbook ? ctx.workbook->findSheet(report.sheet) : nullptr;
    bool empty = true;
    if (sheet)
        skipOnFailure([&] { empty = isEmptyCell(sheet->valueAt(2, 1)); });
    if (empty) {
        ctx.dialogs->message(controls::BoxKind::Information, report.refusal, texts::refusalTitle);
        hide();
        return;
    }

    // 3. Scratch cells of row 1: AZ1 marks the print, AU1/AV1 carry the page question.
    skipOnFailure([&] { sheet->select(); });
    skipOnFailure([&] { sheet->range(QStringLiteral("AZ1")).setValue(110.0); });
    skipOnFailure([&] { sheet->range(QStringLiteral("AU1")).clearContents(); });
    skipOnFailure([&] { sheet->range(QStringLiteral("AV1")).clearContents(); });

    // 4. Zoom: a whole number, 0 when the answer is not one.
    int zoom = 0;
    if (std::optional<QString> answer =
            ctx.dialogs->input(texts::zoomPrompt, texts::zoomTitle, texts::zoomDefault)) {
        zoom = store::toWholeNumber(*answer).value_or(0);
    }

    // 5. Orientation.
    bool portrait = false;
    if (report.asksOrientation)
        portrait = ctx.dialogs->message(controls::BoxKind::Question, texts::orientationQuestion,
                                        QString()) == controls::Answer::Yes;
    const store::Orientation orientation =
        portrait ? store::Orientation::Portrait : store::Orientation::Landscape;

    // 6. Page set-up.
    store::PageSetup &setup = sheet->pageSetup();
    skipOnFailure([&] { sheet->select(); });
    skipOnFailure([&] {
        // From A1 to the last-column cell of row 1 and down to the end of column A's run.
        const store::Range last = sheet->range(report.lastColumnCell);
        const store::Range end = sheet->range(QStringLiteral("A1")).endDown();
        const store::RangeRect area{1, 1, std::max(last.row(), end.row()),
                                    std::max(last.column(), end.column())};
        setup.printArea = store::absoluteAddress(area);
    });
    if (!report.titleRows.isEmpty())
        setup.printTitleRows = report.titleRows;
    if (!report.titleColumns.isEmpty())
        setup.printTitleColumns = report.titleColumns;
    const QDate today = ctx.clock ? ctx.clock->now().date() : QDate::currentDate();
    setup.centerHeader = (portrait ? report.headerPortrait : report.headerLandscape)
                         + texts::headerSeparator + texts::headerDateLead + store::dateText(today);
    setup.leftMargin = store::Server::inchesToPoints(Margins::left);
    setup.rightMargin = store::Server::inchesToPoints(Margins::right);
    setup.topMargin = store::Server::inchesToPoints(Margins::top);
    setup.bottomMargin = store::Server::inchesToPoints(Margins::bottom);
    setup.headerMargin = store::Server::inchesToPoints(Margins::header);
    setup.footerMargin = store::Server::inchesToPoints(Margins::footer);
    for (PageStep step : portrait ? report.portraitSteps : report.landscapeSteps)
        skipOnFailure([&] { applyStep(step, setup, orientation, zoom); });

    const auto printPages = [&](int from, int to, const QString &printer) {
        skipOnFailure([&] {
            if (!ctx.printers)
                throw store::StoreError(store::ErrorKind::NotFound,
                                        QStringLiteral("Nessuna stampante."));
            store::printOut(*sheet, *ctx.printers, from, to, kCopiesPerPage, printer);
        });
    };
    if (portrait && report.printsAllInPortrait)
        printPages(0, 0, QString());   // the whole area on the current printer

    // 7. One question per page. Every page of the area is asked about: when the area is
    //    wider than a page the pages to the right follow those below, and stopping at the
    //    row breaks alone would leave the right-hand columns unprinted.
    int pages = 1;
    skipOnFailure([&] { pages = int(store::paginate(*sheet).pages.size()); });
    for (int i = 1; i <= pages; ++i) {
        skipOnFailure([&] { sheet->range(QStringLiteral("AU1")).setValue(double(i)); });
        skipOnFailure([&] { sheet->range(QStringLiteral("AV1")).setValue(double(pages)); });
        QString page, count;
        skipOnFailure([&] { page = sheet->range(QStringLiteral("AU1")).text(); });
        skipOnFailure([&] { count = sheet->range(QStringLiteral("AV1")).text(); });
        const QString question =
            texts::pageQuestion + texts::pagesWord + page + texts::ofWord + count;
        if (ctx.dialogs->message(controls::BoxKind::Question, question, texts::pageQuestionTitle)
            != controls::Answer::Yes)
            return;   // the print form stays up; screen updating stays as it is
        // The printer box's text, unchanged; an empty one names no printer at all.
        const QString printer = ctx.printerName ? ctx.printerName() : QString();
        if (!printer.isEmpty())
            printPages(i, i, printer);
    }

    // 8. Done.
    hide();
    if (report.switchesScreenUpdating && ctx.server)
        ctx.server->screenUpdating = true;
}

} // namespace print
