// Times the record browser on a full ledger: 32,766 records on "Incassi", due dates out of
// order. The build is what each opening of the browser does: sort A2:S65536 by F in place and
// rebuild the 20-column list. Also times the first showing of the list and an insert through
// the entry form, whose free-row search walks the whole column A.
//
//   contavio-bench-browser

#include "browser/recordlistmodel.h"
#include "browser/visualizza.h"
#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/session.h"
#include "ledger/entrata.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>
#include <functional>
#include <map>
#include <sys/resource.h>

namespace {

constexpr int kLedgerRows = 32766;

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double timed(const char *what, const std::function<void()> &step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%-48s %8.3f s   peak %7.1f MB\n", what, seconds, peakMegabytes());
    std::fflush(stdout);
    return seconds;
}

class OneForms : public controls::Forms {
public:
    std::map<controls::FormId, QWidget *> forms;
    QWidget *form(controls::FormId id) override { return forms.count(id) ? forms[id] : nullptr; }
    bool isLoaded(controls::FormId id) const override { return forms.count(id) != 0; }
    void unload(controls::FormId) override {}
};

void fillLedger(store::Worksheet &sheet)
{
    const QStringList titles = {"ID", "ID Cliente", "Cliente", "Fattura", "Data", "Scadenza", "Riscosso", "Importo",
                                "Data", "R/Con", "Acconto", "Importo", "Data", "A/Con", "Saldato", "Importo", "Data",
                                "S/Con", "Nota"};
    for (int c = 0; c < titles.size(); ++c)
        sheet.cells(1, c + 1).setValue(titles[c]);
    const QDate base(2009, 1, 1);
    for (int r = 2; r <= kLedgerRows + 1; ++r) {
        const int n = r - 1;
        const auto date = [&](int offset) {
            return store::Variant::fromDate(store::dateToSerial(base.addDays((n * 7919 + offset) % 5000)));
        };
        sheet.cells(r, 1).setValue(double(n));
        sheet.cells(r, 2).setValue(double(n % 5000 + 1));
        sheet.cells(r, 3).setValue(store::Variant::fromText(QStringLiteral("CLIENTE NUMERO %1 S.R.L.").arg(n % 5000 + 1)));
        sheet.cells(r, 4).setValue(store::Variant::fromText(QStringLiteral("%1/2009").arg(n)));
        sheet.cells(r, 5).setValue(date(0));
        sheet.cells(r, 6).setValue(date(60));
        sheet.cells(r, 7).setValue(store::Variant::fromText(n % 2 ? "SI" : "NO"));
        sheet.cells(r, 8).setValue(double(n % 9000) + 0.5);
        sheet.cells(r, 9).setValue(date(61));
        sheet.cells(r, 10).setValue(store::Variant::fromText(QStringLiteral("BONIFICO")));
        sheet.cells(r, 11).setValue(store::Variant::fromText(n % 3 ? "NO" : "SI"));
        sheet.cells(r, 12).setValue(double(n % 500));
        sheet.cells(r, 13).setValue(date(20));
        sheet.cells(r, 14).setValue(store::Variant::fromText(QStringLiteral("ASSEGNO")));
        sheet.cells(r, 15).setValue(store::Variant::fromText(n % 5 ? "NO" : "SI"));
        sheet.cells(r, 16).setValue(double(n % 700) + 0.25);
        sheet.cells(r, 17).setValue(date(90));
        sheet.cells(r, 18).setValue(store::Variant::fromText(QStringLiteral("CONTANTI")));
        sheet.cells(r, 19).setValue(store::Variant::fromText(QStringLiteral("Nota della registrazione %1").arg(n)));
    }
    sheet.range(QStringLiteral("IV1")).setValue(double(kLedgerRows));
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
        book.sheet(1).setName(QStringLiteral("Anagrafe"));
        fillLedger(book.appendSheet(QStringLiteral("Incassi")));
        book.appendSheet(QStringLiteral("Pagamenti"));
        book.saveAs(path);
    }
    store::Server server;
    server.open(path, QString());

    controls::FakeDialogs dialogs;
    controls::SystemClock clock;
    OneForms forms;
    controls::Session session;
    session.server = &server;
    session.dialogs = &dialogs;
    session.clock = &clock;
    session.forms = &forms;

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

    browser->ListView3->setCurrentIndex(browser->listModel()->index(kLedgerRows - 1, 2));
    timed("hand the last record to the entry form", [&] { browser->itemClick(); });

    entrata->setButtonsForNewEntry();
    entrata->activate();
    entrata->Combo1->setEditText(QStringLiteral("CLIENTE"));
    entrata->Text1->setText(QStringLiteral("X/2009"));
    entrata->Text2->setText(QStringLiteral("12/05/2009"));
    entrata->Text3->setText(QStringLiteral("30/06/2009"));
    dialogs.queueAnswer(controls::Answer::Yes);
    timed("insert under 32,766 records (free-row search)", [&] { entrata->inserisci(); });
    std::printf("%-48s %8s\n", "new record number", qPrintable(store::valueToText(
        server.activeWorkbook()->sheet(QStringLiteral("Incassi")).valueAt(1, 256))));

    delete browser;
    delete entrata;
    delete menu;
    return 0;
}
