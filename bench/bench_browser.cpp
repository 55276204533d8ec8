// Times the record browser on a full ledger: 32,766 records on "Incassi", due dates out of
// order. The build is what each opening of the browser does: sort A2:S65536 by F in place and
// rebuild the 20-column list. Also times the first showing of the list and an insert through
// the entry form, whose free-row search walks the whole column A, and the reading of every
// record as typed records (what the due-date views do).
//
//   contavio-bench-browser

#include "benchtools.h"
#include "benchsession.h"

#include "browser/recordlistmodel.h"
#include "browser/visualizza.h"
#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/session.h"
#include "ledger/entrata.h"
#include "records/layout.h"
#include "records/ledger.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>
#include <functional>
#include <map>
#include <utility>

namespace {

constexpr int kLedgerRows = 32766;

const bench::Timings kTable(48, 3);

double timed(const char *what, const std::function<void()> &step)
{
    return kTable.timed(what, step);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("Contavio.xls"));

    std::printf("Contavio browser benchmark: %d records on \"Incassi\"\n", kLedgerRows);
    {
        store::Workbook book;
        namespace layout = records::layout;
        book.sheet(1).setName(layout::anagrafe().name);
        bench::fillLedger(book.appendSheet(layout::incassi().name), layout::incassi(), kLedgerRows, 5000);
        book.appendSheet(layout::pagamenti().name);
        book.saveAs(path);
    }
    controls::SystemClock clock;
    bench::BenchSession world(path, clock, true);
    controls::Session &session = world.session;
    bench::OneForms &forms = world.forms;

    auto *menu = new controls::Form(session);
    forms.forms[controls::FormId::Contavio] = menu;
    auto *entrata = new ledger::Entrata(session);
    forms.forms[controls::FormId::Entrata] = entrata;
    auto *browser = new browser::Visualizza(session);
    forms.forms[controls::FormId::Visualizza] = browser;
    browser->Text1->setText(QStringLiteral("1"));

    timed("browser build, records out of order (sort+list)", [&] { browser->activate(); });
    timed("browser build, records already sorted", [&] { browser->activate(); });
    timed("first showing of the list", [&] {
        browser->show();
        QApplication::processEvents();
        browser->ListView3->viewport()->repaint();
    });
    timed("browser build while shown", [&] { browser->activate(); });
    std::printf("%-48s %8d\n", "records listed", browser->listModel()->rowCount());

    // What a due-date view reads: every record of the ledger, typed.
    const records::Ledger incassi = records::Ledger::of(*world.server.activeWorkbook(), records::layout::incassi().name);
    size_t read = 0;
    timed("read every record as typed records", [&] { read = incassi.readAll().size(); });
    double due = 0;
    timed("read every record and its due date", [&] {
        for (const records::LedgerRecord &record : incassi.readAll())
            due += record.dueDate().date().read() ? 1 : 0;
    });
    std::printf("%-48s %8zu %8.0f\n", "records read, due dates read", read, due);

    browser->ListView3->setCurrentIndex(browser->listModel()->index(kLedgerRows - 1, 2));
    timed("hand the last record to the entry form", [&] { browser->itemClick(); });

    entrata->setButtonsForNewEntry();
    entrata->activate();
    entrata->Combo1->setEditText(QStringLiteral("CLIENTE"));
    entrata->Text1->setText(QStringLiteral("X/2009"));
    entrata->Text2->setText(QStringLiteral("12/05/2009"));
    entrata->Text3->setText(QStringLiteral("30/06/2009"));
    timed("insert under 32,766 records (free-row search)", [&] { entrata->inserisci(); });
    std::printf("%-48s %8s\n", "new record number", qPrintable(store::valueToText(
        world.server.activeWorkbook()->sheet(QStringLiteral("Incassi")).valueAt(1, 256))));

    delete browser;
    delete entrata;
    delete menu;
    return 0;
}
