// The shared print sequence and the three lists: questions, page set-up, and what lands on
// paper (PDF printers read back with pdftotext).

#include "support/skip.h"
#include "print/reports.h"
#include "support/pdftools.h"
#include "printworld.h"
#include "records/layout.h"
#include "store/print/printing.h"
#include "store/file/workbookfile.h"

#include <QTest>

using namespace print;
using controls::Answer;
using controls::BoxKind;

namespace {

const QString kLedgerRefusal = QStringLiteral(
    " La stampa non può essere eseguita in assenza di Registrazioni  inserite ..................");
const QString kRegistryRefusal = QStringLiteral(
    " La stampa non può essere eseguita in assenza di Clienti/Fornitori Inseriti ..................");

QString pageQuestion(int i, int n)
{
    return QStringLiteral("Vuoi Procedere alla stampa   ?  Pagine     %1    di    %2").arg(i).arg(n);
}

struct Run {
    QTemporaryDir dir;
    store::Server server;
    store::Workbook book;
    controls::FakeDialogs dialogs;
    controls::FixedClock clock{printworld::kNow};
    PdfPrintTarget printers{dir.filePath(QStringLiteral("out")),
                            {QStringLiteral("Ufficio"), QStringLiteral("Magazzino")}};
    QString printerBox = QStringLiteral("Ufficio");   // the print form's printer text
    int hidden = 0;

    Run(int registry, int incassi, int pagamenti)
    {
        printworld::shapeWorkbook(book, registry, incassi, pagamenti);
    }

    void run(int mode)
    {
        PrintContext ctx;
        ctx.server = &server;
        ctx.workbook = &book;
        ctx.dialogs = &dialogs;
        ctx.clock = &clock;
        ctx.printers = &printers;
        ctx.printerName = [this] { return printerBox; };
        ctx.hideForm = [this] { ++hidden; };
        const Report *report = reportForMode(mode);
        QVERIFY(report);
        runReport(*report, ctx);
    }

    store::Worksheet &sheet(const QString &name) { return book.sheet(name); }
    QStringList questions() const
    {
        QStringList out;
        for (const auto &s : dialogs.shown)
            if (s.kind == BoxKind::Question)
                out << s.text;
        return out;
    }
};

QString sheetOf(int mode)
{
    return mode == 8 ? QStringLiteral("Anagrafe") : mode == 1 ? QStringLiteral("Incassi")
                                                              : QStringLiteral("Pagamenti");
}

// The record ids printed on a page: the first number of each line under the title line.
QList<int> idsOn(const QString &page)
{
    QList<int> ids;
    for (const QString &line : page.split(QLatin1Char('\n'))) {
        const QString first = line.simplified().section(QLatin1Char(' '), 0, 0);
        bool ok = false;
        const int id = first.toInt(&ok);
        if (ok)
            ids << id;
    }
    return ids;
}

QStringList nonEmptyLines(const QString &page)
{
    QStringList out;
    for (const QString &line : page.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            out << line.simplified();
    return out;
}

} // namespace

class TestReports : public QObject {
    Q_OBJECT
private slots:
    void catalogue();
    void printsEveryPage_data();
    void printsEveryPage();
    void refusesAnEmptySheet_data();
    void refusesAnEmptySheet();
    void zoomAnswer_data();
    void zoomAnswer();
    void noAtTheSecondPageStops();
    void printsWhatWasAskedReadably_data();
    void printsWhatWasAskedReadably();
    void printAreaEndsAtTheFirstGap();
    void registryWiderThanAPageAsksForEveryPage();
    void registryKeepsScreenUpdating();
};

void TestReports::catalogue()
{
    // Modes reach their sheets; the two ledgers differ only in sheet and titles.
    QCOMPARE(reportForMode(8)->sheet, QStringLiteral("Anagrafe"));
    QCOMPARE(reportForMode(1)->sheet, QStringLiteral("Incassi"));
    QCOMPARE(reportForMode(2)->sheet, QStringLiteral("Pagamenti"));
    QVERIFY(!reportForMode(3));
    QVERIFY(!reportForMode(0));
    QCOMPARE(reportForMode(1)->headerPortrait, QStringLiteral("Stampa  Elenco Incassi   "));
    QCOMPARE(reportForMode(1)->headerLandscape, QStringLiteral("Stampa  Elenco Incassi  "));
    QCOMPARE(reportForMode(2)->headerPortrait, QStringLiteral("Stampa  Elenco Pagamenti   "));
    QCOMPARE(reportForMode(2)->headerLandscape, QStringLiteral("Stampa  Elenco Pagamenti  "));
    QCOMPARE(reportForMode(8)->headerLandscape, QStringLiteral("Stampa Generale Clienti/Fornitori "));
}

void TestReports::printsEveryPage_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("portrait");
    QTest::addColumn<QString>("zoom");        // typed answer; null: the default
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("header");      // as pdftotext gives it back, blanks simplified

    QTest::newRow("collections, portrait") << 1 << true << QStringLiteral("55") << 250
                                           << QStringLiteral("Stampa Elenco Incassi ------ del 12/05/2009");
    QTest::newRow("collections, landscape") << 1 << false << QString() << 150
                                            << QStringLiteral("Stampa Elenco Incassi ------ del 12/05/2009");
    QTest::newRow("payments, portrait") << 2 << true << QStringLiteral("55") << 250
                                        << QStringLiteral("Stampa Elenco Pagamenti ------ del 12/05/2009");
    QTest::newRow("payments, landscape") << 2 << false << QString() << 150
                                         << QStringLiteral("Stampa Elenco Pagamenti ------ del 12/05/2009");
    QTest::newRow("registry, always landscape") << 8 << false << QString() << 150
                                                << QStringLiteral("Stampa Generale Clienti/Fornitori ------ del 12/05/2009");
}

void TestReports::printsEveryPage()
{
    QFETCH(int, mode);
    QFETCH(bool, portrait);
    QFETCH(QString, zoom);
    QFETCH(int, records);
    QFETCH(QString, header);
    if (!pdftools::haveTool(QStringLiteral("pdftotext")))
        CONTAVIO_SKIP("pdftotext (poppler-utils) is not installed");

    Run r(mode == 8 ? records : 0, mode == 1 ? records : 0, mode == 2 ? records : 0);
    const Report &report = *reportForMode(mode);
    if (!zoom.isNull())
        r.dialogs.queueInput(zoom);
    if (mode != 8)
        r.dialogs.queueAnswer(portrait ? Answer::Yes : Answer::No);
    for (int i = 0; i < 20; ++i)
        r.dialogs.queueAnswer(Answer::Yes);
    // A sheet last set up elsewhere for letter paper, two pages by three, no grid: the
    // print sets every one of these again.
    store::Worksheet &ws = r.sheet(sheetOf(mode));
    ws.pageSetup().paperSize = 1;
    ws.pageSetup().fitToPagesWide = 2;
    ws.pageSetup().fitToPagesTall = 3;
    ws.pageSetup().printGridlines = false;
    r.run(mode);

    const store::PageSetup &ps = ws.pageSetup();
    const int expectedZoom = zoom.isNull() ? 70 : zoom.toInt();
    QCOMPARE(ps.zoom, std::optional<int>(expectedZoom));
    QCOMPARE(ps.orientation, portrait ? store::Orientation::Portrait : store::Orientation::Landscape);
    QCOMPARE(ps.printArea, QStringLiteral("$A$1:$%1$%2").arg(mode == 8 ? "Q" : "S").arg(records + 1));
    QCOMPARE(ps.printTitleRows, mode == 8 ? QStringLiteral("$1:$1") : QString());
    QCOMPARE(ps.printTitleColumns, mode == 8 ? QStringLiteral("$A:$B") : QString());
    QCOMPARE(ps.centerHeader, (portrait ? report.headerPortrait : report.headerLandscape)
                                  + QStringLiteral("------ del     12/05/2009"));
    QCOMPARE(ps.leftMargin, 15.12);
    QCOMPARE(ps.rightMargin, 15.12);
    QCOMPARE(ps.topMargin, 36.0);
    QCOMPARE(ps.bottomMargin, 15.12);
    QCOMPARE(ps.headerMargin, 15.12);
    QCOMPARE(ps.footerMargin, 15.12);
    QVERIFY(ps.printGridlines);
    // Saved with the workbook: what another spreadsheet program prints from.
    const QString saved = r.dir.filePath(QStringLiteral("stampato.xls"));
    store::writeWorkbook(r.book, saved);
    const store::PageSetup reread = store::readWorkbook(saved, QString())->sheet(sheetOf(mode)).pageSetup();
    QCOMPARE(reread.fitToPagesWide, 1);
    QCOMPARE(reread.fitToPagesTall, 1);
    QCOMPARE(reread.paperSize, 9);
    QVERIFY(reread.printGridlines);
    QCOMPARE(reread.zoom, std::optional<int>(expectedZoom));

    // The questions: zoom, orientation for the ledgers, then one per page of the count
    // the engine gives.
    const int pages = store::horizontalPageBreakCount(ws) + 1;
    QVERIFY2(pages >= 2, "the data should need more than one page");
    QVERIFY(r.dialogs.shown[0].isInput);
    QCOMPARE(r.dialogs.shown[0].text, QStringLiteral("Digita la percentuale di Zoom della Stampa 50-60-70-80-90-100.................."));
    QCOMPARE(r.dialogs.shown[0].title, QStringLiteral("Contavio "));
    QCOMPARE(r.dialogs.shown[0].defaultAnswer, QStringLiteral("70"));
    QStringList expected;
    if (mode != 8) {
        expected << QStringLiteral(" Vuoi la Stampa Verticale ?.........................................................");
        QCOMPARE(r.dialogs.shown[1].title, QString());
    }
    for (int i = 1; i <= pages; ++i)
        expected << pageQuestion(i, pages);
    QCOMPARE(r.questions(), expected);
    QCOMPARE(r.dialogs.shown.back().title, QStringLiteral("Stampa Risultato "));
    QCOMPARE(ws.textAt(1, 47), QString::number(pages));   // AU1
    QCOMPARE(ws.textAt(1, 48), QString::number(pages));   // AV1
    QCOMPARE(ws.valueAt(1, 52).number, 110.0);             // AZ1

    // One job a page, in portrait as in landscape: nothing printed before the questions.
    const auto &jobs = r.printers.jobs();
    QCOMPARE(int(jobs.size()), pages);

    // Then one job a page, on the named printer, each with the header and its rows.
    int nextId = 1;
    for (int i = 1; i <= pages; ++i) {
        const auto &job = jobs[size_t(i - 1)];
        QCOMPARE(job.printer, QStringLiteral("Ufficio"));
        QCOMPARE(job.copies, 1);
        QCOMPARE(job.layout.orientation(), portrait ? QPageLayout::Portrait : QPageLayout::Landscape);
        QCOMPARE(job.layout.pageSize().id(), QPageSize::A4);
        const QStringList text = pdftools::pages(job.path);
        QCOMPARE(text.size(), 1);
        const QStringList lines = nonEmptyLines(text[0]);
        QCOMPARE(lines.value(0), header);
        // Titles: on every page for the registry, on the first only for the ledgers.
        const bool titled = lines.value(1).startsWith(QStringLiteral("ID "));
        QCOMPARE(titled, mode == 8 || i == 1);
        if (titled) {
            const QStringList &titles = records::layout::findLayout(sheetOf(mode))->titles;
            // Titles wider than their default-width column are cut at the cell's edge.
            QVERIFY2(lines[1].contains(titles[1].left(6)) && lines[1].contains(titles.last().left(4)),
                     qPrintable(lines[1]));
        }
        const QList<int> ids = idsOn(text[0]);
        QVERIFY(!ids.isEmpty());
        for (int id : ids)
            QCOMPARE(id, nextId++);
        // Every column of the record is on the page: the last one holds the note.
        const QString lastColumn = mode == 8 ? QStringLiteral("Note%1") : QStringLiteral("nota%1");
        QVERIFY2(text[0].contains(lastColumn.arg(ids.last())), qPrintable(lines.last()));
    }
    QCOMPARE(nextId, records + 1);

    QCOMPARE(r.hidden, 1);
    QVERIFY(r.server.screenUpdating);
}

void TestReports::refusesAnEmptySheet_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("updatingAfter");
    QTest::newRow("registry") << 8 << kRegistryRefusal << true;
    QTest::newRow("collections") << 1 << kLedgerRefusal << false;
    QTest::newRow("payments") << 2 << kLedgerRefusal << false;
}

void TestReports::refusesAnEmptySheet()
{
    QFETCH(int, mode);
    QFETCH(QString, text);
    QFETCH(bool, updatingAfter);
    // The other sheets have records: only the printed sheet counts.
    Run r(mode == 8 ? 0 : 3, mode == 1 ? 0 : 3, mode == 2 ? 0 : 3);
    r.run(mode);
    QCOMPARE(int(r.dialogs.shown.size()), 1);
    QCOMPARE(r.dialogs.last().kind, BoxKind::Information);
    QCOMPARE(r.dialogs.last().text, text);
    QCOMPARE(r.dialogs.last().title, QStringLiteral("Contavio "));
    QVERIFY(!r.dialogs.last().isInput);
    QCOMPARE(r.hidden, 1);
    QCOMPARE(r.server.screenUpdating, updatingAfter);
    QVERIFY(r.printers.jobs().empty());
    QVERIFY(r.sheet(sheetOf(mode)).valueAt(1, 52).isEmpty());   // AZ1 untouched
}

void TestReports::zoomAnswer_data()
{
    QTest::addColumn<std::optional<QString>>("answer");   // nullopt: Cancel
    QTest::addColumn<int>("zoom");
    QTest::newRow("typed 85, not rounded to a step") << std::optional<QString>(QStringLiteral("85")) << 85;
    QTest::newRow("blanks around") << std::optional<QString>(QStringLiteral(" 90 ")) << 90;
    QTest::newRow("letters give 0: refused, old zoom kept") << std::optional<QString>(QStringLiteral("abc")) << 55;
    QTest::newRow("a percent sign gives 0") << std::optional<QString>(QStringLiteral("85%")) << 55;
    QTest::newRow("empty answer") << std::optional<QString>(QString()) << 55;
    QTest::newRow("cancel") << std::optional<QString>() << 55;
    QTest::newRow("above 400 refused") << std::optional<QString>(QStringLiteral("500")) << 55;
    QTest::newRow("10 is the smallest kept") << std::optional<QString>(QStringLiteral("10")) << 10;
}

void TestReports::zoomAnswer()
{
    QFETCH(std::optional<QString>, answer);
    QFETCH(int, zoom);
    Run r(5, 0, 0);
    r.sheet(QStringLiteral("Anagrafe")).pageSetup().zoom = 55;
    r.dialogs.queueInput(answer);
    r.run(8);   // the first page question gets No
    QCOMPARE(r.sheet(QStringLiteral("Anagrafe")).pageSetup().zoom, std::optional<int>(zoom));
    // The rest of the set-up went on regardless.
    QCOMPARE(r.sheet(QStringLiteral("Anagrafe")).pageSetup().orientation, store::Orientation::Landscape);
    QCOMPARE(r.questions().size(), 1);
}

void TestReports::noAtTheSecondPageStops()
{
    if (!pdftools::haveTool(QStringLiteral("pdftotext")))
        CONTAVIO_SKIP("pdftotext (poppler-utils) is not installed");
    Run r(0, 150, 0);
    r.dialogs.queueAnswer(Answer::No);    // landscape
    r.dialogs.queueAnswer(Answer::Yes);   // page 1
    r.dialogs.queueAnswer(Answer::No);    // page 2
    r.run(1);
    const int pages = store::horizontalPageBreakCount(r.sheet(QStringLiteral("Incassi"))) + 1;
    QCOMPARE(pages, 3);
    QCOMPARE(r.questions().size(), 3);
    QCOMPARE(r.questions().last(), pageQuestion(2, 3));
    QCOMPARE(int(r.printers.jobs().size()), 1);
    const QStringList text = pdftools::pages(r.printers.jobs()[0].path);
    QCOMPARE(text.size(), 1);
    QCOMPARE(idsOn(text[0]).first(), 1);
    QCOMPARE(r.hidden, 0);                  // the print form stays up
    QVERIFY(!r.server.screenUpdating);      // and screen updating stays off
    QCOMPARE(r.sheet(QStringLiteral("Incassi")).textAt(1, 47), QStringLiteral("2"));
}

void TestReports::printsWhatWasAskedReadably_data()
{
    QTest::addColumn<QString>("printer");   // the print form's printer box
    QTest::addColumn<bool>("portrait");
    QTest::addColumn<QString>("told");      // the one box shown instead of the questions
    QTest::addColumn<int>("jobs");          // Yes to page 1, No to page 2
    const QString chosen = QStringLiteral("Ufficio");
    QTest::newRow("portrait: only the confirmed page, on the chosen printer") << chosen << true << QString() << 1;
    QTest::newRow("landscape: only the confirmed page") << chosen << false << QString() << 1;
    QTest::newRow("no printer chosen: said before the zoom")
        << QStringLiteral("Seleziona la stampante") << false << texts::noPrinterChosen << 0;
    QTest::newRow("empty printer box") << QString() << true << texts::noPrinterChosen << 0;
    QTest::newRow("printer not installed") << QStringLiteral("Sala riunioni") << false
        << texts::printerNotInstalled.arg(QStringLiteral("Sala riunioni")) << 0;
}

void TestReports::printsWhatWasAskedReadably()
{
    QFETCH(QString, printer);
    QFETCH(bool, portrait);
    QFETCH(QString, told);
    QFETCH(int, jobs);
    if (!pdftools::haveTool(QStringLiteral("pdftotext")))
        CONTAVIO_SKIP("pdftotext (poppler-utils) is not installed");
    Run r(0, 250, 0);
    // Entered in this session, after start-up fitted the columns: a long name and a CAP.
    store::Worksheet &ws = r.sheet(QStringLiteral("Incassi"));
    ws.cells(2, 3).setValue(store::Variant::fromText(QStringLiteral("BAR CAFFÈ DELLA STAZIONE")));
    ws.cells(2, 4).setValue(store::Variant::fromText(QStringLiteral("00187")));
    r.printers.setCurrentPrinterName(QStringLiteral("Magazzino"));
    r.printerBox = printer;
    r.dialogs.queueAnswer(portrait ? Answer::Yes : Answer::No);
    r.dialogs.queueAnswer(Answer::Yes);   // page 1
    r.dialogs.queueAnswer(Answer::No);    // page 2
    r.run(1);

    QCOMPARE(int(r.printers.jobs().size()), jobs);
    if (!told.isNull()) {
        QCOMPARE(int(r.dialogs.shown.size()), 1);
        QCOMPARE(r.dialogs.last().kind, BoxKind::Plain);
        QCOMPARE(r.dialogs.last().text, told);
        QCOMPARE(r.dialogs.last().title, QStringLiteral("Contavio"));
        QCOMPARE(r.hidden, 0);                        // left up to choose a printer
        QVERIFY(r.server.screenUpdating);
        QVERIFY(ws.valueAt(1, 52).isEmpty());         // AZ1: the print never began
        return;
    }
    QCOMPARE(r.questions().size(), 3);
    const auto &job = r.printers.jobs()[0];
    QCOMPARE(job.printer, printer);
    const QString page = pdftools::pages(job.path).join(QString());
    QCOMPARE(idsOn(page).first(), 1);
    // The columns were fitted to the records before this print: nothing cut, no "###".
    for (const QString &whole : {QStringLiteral("BAR CAFFÈ DELLA STAZIONE"), QStringLiteral("00187"),
                                 QStringLiteral("10/01/2009"), QStringLiteral("03/03/2009")})
        QVERIFY2(page.contains(whole), qPrintable(whole));
    QVERIFY(!page.contains(QStringLiteral("###")));
}

void TestReports::printAreaEndsAtTheFirstGap()
{
    if (!pdftools::haveTool(QStringLiteral("pdftotext")))
        CONTAVIO_SKIP("pdftotext (poppler-utils) is not installed");
    Run r(0, 4, 0);
    store::Worksheet &ws = r.sheet(QStringLiteral("Incassi"));
    ws.cells(6, 1).setValue(QString());               // no id in row 6
    ws.cells(6, 3).setValue(QStringLiteral("orfano"));
    printworld::addLedgerRecord(ws, 6);                // row 7, below the gap
    r.dialogs.queueAnswer(Answer::No);
    r.dialogs.queueAnswer(Answer::Yes);
    r.run(1);
    QCOMPARE(ws.pageSetup().printArea, QStringLiteral("$A$1:$S$5"));
    QCOMPARE(int(r.printers.jobs().size()), 1);
    const QString text = pdftools::pages(r.printers.jobs()[0].path).join(QString());
    QCOMPARE(idsOn(text), (QList<int>{1, 2, 3, 4}));
    QVERIFY(!text.contains(QStringLiteral("orfano")));
    QVERIFY(!text.contains(QStringLiteral("nota6")));
}

void TestReports::registryWiderThanAPageAsksForEveryPage()
{
    if (!pdftools::haveTool(QStringLiteral("pdftotext")))
        CONTAVIO_SKIP("pdftotext (poppler-utils) is not installed");
    // At 100% columns A to Q need two pages side by side: every page is asked about, and
    // the right-hand pages repeat columns A and B and row 1.
    Run r(100, 0, 0);
    r.dialogs.queueInput(QStringLiteral("100"));
    for (int i = 0; i < 20; ++i)
        r.dialogs.queueAnswer(Answer::Yes);
    r.run(8);
    store::Worksheet &ws = r.sheet(QStringLiteral("Anagrafe"));
    const store::Pagination p = store::paginate(ws);
    const int down = p.horizontalBreaks + 1;
    QCOMPARE(p.verticalBreaks, 1);
    QCOMPARE(r.questions().size(), 2 * down);
    QCOMPARE(r.questions().last(), pageQuestion(2 * down, 2 * down));
    QCOMPARE(int(r.printers.jobs().size()), 2 * down);
    for (int i = 0; i < 2 * down; ++i) {
        const QString text = pdftools::pages(r.printers.jobs()[size_t(i)].path).join(QString());
        const QStringList lines = nonEmptyLines(text);
        QVERIFY2(lines.value(1).startsWith(QStringLiteral("ID C/F ")), qPrintable(lines.value(1)));
        const bool right = i >= down;
        QCOMPARE(lines[1].contains(QStringLiteral("Annot")), right);
        QCOMPARE(lines[1].contains(QStringLiteral("Ragione")), !right);
        // Column B's type letter beside every id.
        const QString firstRecord = lines.value(2);
        const int id = firstRecord.section(QLatin1Char(' '), 0, 0).toInt();
        QCOMPARE(firstRecord.section(QLatin1Char(' '), 1, 1), id % 2 ? QStringLiteral("C") : QStringLiteral("F"));
        QCOMPARE(text.contains(QStringLiteral("Note%1").arg(id)), right);
    }
}

void TestReports::registryKeepsScreenUpdating()
{
    Run r(3, 0, 0);
    r.server.screenUpdating = false;
    r.dialogs.queueAnswer(Answer::Yes);
    r.run(8);
    QVERIFY(!r.server.screenUpdating);
    QCOMPARE(r.hidden, 1);
}

QTEST_MAIN(TestReports)
#include "tst_reports.moc"
