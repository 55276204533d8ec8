// Prints the first page of a sample list through the whole print sequence, answering its
// questions from the command line: on a system printer (through Qt's print support) or,
// with --pdf-folder, on a PDF printer. Used by the end-to-end test of a real print queue
// and to look at a printed page.
//
//   print_sample [--printer NAME] [--pdf-folder DIR] [--mode 1|2|8] [--records N]
//                [--zoom N] [--portrait] [--pages N]
// Exit status: 0 printed, 1 bad arguments, 2 printer not found, 3 nothing printed.

#include "controls/clock.h"
#include "support/fakes.h"
#include "print/printtargets.h"
#include "support/pdfprinters.h"
#include "print/reports.h"
#include "printworld.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QCommandLineParser args;
    args.addHelpOption();
    args.addOption({QStringLiteral("printer"), QStringLiteral("Printer name (default: the system default)."), QStringLiteral("name")});
    args.addOption({QStringLiteral("pdf-folder"), QStringLiteral("Print to PDF files in this folder."), QStringLiteral("dir")});
    args.addOption({QStringLiteral("mode"), QStringLiteral("1 collections, 2 payments, 8 registry."), QStringLiteral("n"), QStringLiteral("1")});
    args.addOption({QStringLiteral("records"), QStringLiteral("Records in the list."), QStringLiteral("n"), QStringLiteral("30")});
    args.addOption({QStringLiteral("zoom"), QStringLiteral("Answer to the zoom question."), QStringLiteral("n"), QStringLiteral("70")});
    args.addOption({QStringLiteral("portrait"), QStringLiteral("Answer Yes to the orientation question.")});
    args.addOption({QStringLiteral("pages"), QStringLiteral("Pages to confirm."), QStringLiteral("n"), QStringLiteral("1")});
    args.process(app);
    QTextStream err(stderr);

    const int mode = args.value(QStringLiteral("mode")).toInt();
    const print::Report *report = print::reportForMode(mode);
    if (!report) {
        err << "modo sconosciuto\n";
        return 1;
    }

    std::unique_ptr<store::PrintTarget> target;
    if (args.isSet(QStringLiteral("pdf-folder")))
        target = std::make_unique<print::PdfPrintTarget>(
            args.value(QStringLiteral("pdf-folder")), QStringList{QStringLiteral("PDF")});
    else
        target = std::make_unique<print::QtPrintTarget>();
    QString printer = args.value(QStringLiteral("printer"));
    if (printer.isEmpty())
        printer = target->defaultPrinterName();
    err << "stampanti: " << target->printerNames().join(QStringLiteral(", "))
        << "; predefinita: " << target->defaultPrinterName() << "\n";
    if (!target->printerNames().contains(printer)) {
        err << "stampante non trovata: \"" << printer << "\"\n";
        return 2;
    }

    store::Server server;
    store::Workbook book;
    const int records = args.value(QStringLiteral("records")).toInt();
    printworld::shapeWorkbook(book, mode == 8 ? records : 0, mode == 1 ? records : 0,
                              mode == 2 ? records : 0);
    controls::FakeDialogs dialogs;
    controls::FixedClock clock(QDateTime::currentDateTime());
    dialogs.queueInput(args.value(QStringLiteral("zoom")));
    if (report->asksOrientation)
        dialogs.queueAnswer(args.isSet(QStringLiteral("portrait")) ? controls::Answer::Yes
                                                                   : controls::Answer::No);
    for (int i = 0; i < args.value(QStringLiteral("pages")).toInt(); ++i)
        dialogs.queueAnswer(controls::Answer::Yes);   // then No: the sequence stops

    // Count the jobs that reach the target.
    struct Counting : store::PrintTarget {
        store::PrintTarget &inner;
        int jobs = 0;
        explicit Counting(store::PrintTarget &t) : inner(t) {}
        QStringList printerNames() const override { return inner.printerNames(); }
        QString defaultPrinterName() const override { return inner.defaultPrinterName(); }
        QString currentPrinterName() const override { return inner.currentPrinterName(); }
        QPagedPaintDevice *beginJob(const QString &p, const QPageLayout &l, int c, const QString &n) override
        {
            QPagedPaintDevice *d = inner.beginJob(p, l, c, n);
            jobs += d ? 1 : 0;
            return d;
        }
        void endJob() override { inner.endJob(); }
    } counting(*target);

    print::PrintContext context;
    context.server = &server;
    context.workbook = &book;
    context.dialogs = &dialogs;
    context.clock = &clock;
    context.printers = &counting;
    context.printerName = [printer] { return printer; };
    print::runReport(*report, context);
    err << "lavori inviati: " << counting.jobs << "\n";
    return counting.jobs > 0 ? 0 : 3;
}
