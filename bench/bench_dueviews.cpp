// Times the due views on the full benchmark workbook: 5,000 counterparties and 32,766
// records on each ledger. The menu's overdue line, the opening of "Scadenze/Insoluti" (read
// both ledgers, select, total, chart, show), each change of its filters, and a 40-page PDF
// of the due list.
//
//   contavio-bench-dueviews

#include "benchtools.h"

#include "app/contavio.h"
#include "benchsession.h"
#include "controls/session.h"
#include "dueviews/duelistmodel.h"
#include "dueviews/duesource.h"
#include "dueviews/printdoc.h"
#include "dueviews/scadenze.h"
#include "records/layout.h"
#include "store/model/workbook.h"

#include <QApplication>
#include <QFileInfo>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>
#include <ctime>
#include <functional>
#include <map>

namespace {

constexpr int kLedgerRows = 32766;
constexpr int kCounterparties = 5000;

const bench::Timings kTable(52, 3);

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

// The wall time, and the processor time of this process beside it: on a busy machine the
// wall time includes the waits for a processor.
void timed(const char *what, const std::function<void()> &step)
{
    const double cpu = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    step();
    const double seconds = wall.nsecsElapsed() / 1e9;
    std::printf("%-52s %8.3f s   cpu %8.3f s   peak %7.1f MB\n", what, seconds, cpuSeconds() - cpu,
                bench::peakMegabytes());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("Contavio.xls"));
    namespace layout = records::layout;

    std::printf("Contavio due views benchmark: %d counterparties, %d records a ledger\n", kCounterparties, kLedgerRows);
    {
        store::Workbook book;
        store::Worksheet &registry = book.sheet(1);
        registry.setName(layout::anagrafe().name);
        for (int i = 1; i <= kCounterparties; ++i) {
            registry.cells(i + 1, 1).setValue(double(i));
            registry.cells(i + 1, 2).setValue(store::Variant::fromText(i % 2 ? QStringLiteral("C") : QStringLiteral("F")));
            registry.cells(i + 1, 3).setValue(store::Variant::fromText(QStringLiteral("CLIENTE NUMERO %1 S.R.L.").arg(i)));
        }
        bench::fillLedger(book.appendSheet(layout::incassi().name), layout::incassi(), kLedgerRows, kCounterparties);
        bench::fillLedger(book.appendSheet(layout::pagamenti().name), layout::pagamenti(), kLedgerRows, kCounterparties);
        book.saveAs(path);
    }
    bench::FixedClock clock(QDateTime(QDate(2015, 6, 1), QTime(9, 0)));
    bench::BenchSession world(path, clock);
    controls::Session &session = world.session;
    bench::OneForms &forms = world.forms;

    timed("read both ledgers as due records", [&] { dueviews::readDueRecords(session.workbook()); });

    auto *menu = new app::Contavio(session);
    forms.forms[controls::FormId::Contavio] = menu;
    timed("menu: overdue line", [&] { menu->refreshOverdueLine(); });
    std::printf("  %s\n", qPrintable(menu->LabelScaduti->text()));

    dueviews::Scadenze *form = nullptr;
    timed("open Scadenze/Insoluti, first time (form built)", [&] {
        form = new dueviews::Scadenze(session);
        forms.forms[controls::FormId::Scadenze] = form;
        form->show();
        form->activate();
        QApplication::processEvents();
        form->repaint();
    });
    form->hide();
    QApplication::processEvents();
    timed("open Scadenze/Insoluti again, workbook unchanged", [&] {
        form->show();
        form->activate();
        QApplication::processEvents();
        form->repaint();
    });
    form->hide();
    QApplication::processEvents();
    session.workbook().noteChange();   // as after a change in an entry form
    timed("open Scadenze/Insoluti again, workbook changed", [&] {
        form->show();
        form->activate();
        QApplication::processEvents();
        form->repaint();
    });
    timed("  of which: read, list, totals, chart", [&] { form->reload(); });
    std::printf("%-52s %8d\n", "  records listed", form->listModel()->rowCount());

    const char *const periods[] = {"period: Scadute", "period: entro 7 giorni", "period: entro 30 giorni",
                                   "period: entro 90 giorni", "period: tutte le aperte"};
    for (int i = 0; i < 5; ++i)
        timed(periods[i], [&] {
            form->ComboPeriod->setCurrentIndex(i);
            form->List->viewport()->repaint();
        });
    timed("ledger: Incassi", [&] { form->ComboLedger->setCurrentIndex(1); });
    timed("ledger: Entrambi", [&] { form->ComboLedger->setCurrentIndex(0); });
    timed("counterparty: one of 5,000", [&] { form->ComboCounterparty->setCurrentIndex(1234); });
    timed("counterparty: all", [&] { form->ComboCounterparty->setCurrentIndex(0); });
    timed("search: typing \"numero 12\" (last keystroke)", [&] { form->TextSearch->setText(QStringLiteral("numero 12")); });
    timed("search: cleared", [&] { form->TextSearch->clear(); });
    timed("chart bar: next month", [&] { form->selectChartBar(2); });
    timed("chart bar: off", [&] { form->selectChartBar(2); });
    timed("sort by residual", [&] { form->List->sortByColumn(dueviews::DueListModel::ColResidual, Qt::DescendingOrder); });
    timed("sort by due date", [&] { form->List->sortByColumn(dueviews::DueListModel::ColDue, Qt::AscendingOrder); });

    // The due list as shown, cut to 40 landscape pages.
    dueviews::PrintDoc doc = form->document();
    const size_t rows = 40 * 39;
    if (doc.rows.size() > rows) {
        doc.rows.resize(rows);
        doc.marked.resize(rows);
    }
    const QString pdf = tmp.filePath(QStringLiteral("scadenze.pdf"));
    int pages = 0;
    timed("PDF of the due list", [&] {
        QPdfWriter writer(pdf);
        writer.setPageLayout(dueviews::pageLayoutOf(doc));
        writer.setResolution(300);
        pages = dueviews::paintDoc(doc, writer);
    });
    std::printf("%-52s %8d\n", "  pages", pages);
    kTable.value("  PDF size", double(QFileInfo(pdf).size()) / 1e6, "MB");
    kTable.value("peak memory", bench::peakMegabytes(), "MB");

    delete form;
    delete menu;
    return 0;
}
