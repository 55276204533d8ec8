// Builds a big workbook (5,000 registry rows, 32,766 rows on each ledger sheet, every column
// filled) and times what the program does with it: save encrypted, open, sort a ledger by
// due date, read every cell as text, save again; then the program's whole start-up (lock,
// open, sheets, title rows, text columns, auto-fit) and exit (save, close). Prints wall
// times and the peak memory.
//
//   contavio-bench [--rows N] [folder]
//
// --rows N puts N rows on each ledger sheet (and at most N on the registry) for a quicker
// run, e.g. under valgrind; the folder defaults to a temporary one, removed afterwards.

#include "benchtools.h"

#include "app/shutdown.h"
#include "app/startup.h"
#include "controls/session.h"
#include "records/layout.h"
#include "store/model/italian.h"
#include "store/file/savefile.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

const QString kPassword = records::layout::kWorkbookPassword;
int g_registryRows = 5000;
int g_ledgerRows = 32766;
const bench::Timings kTable(44, 3);

double timed(const char *what, const std::function<void()> &step)
{
    return kTable.timed(what, step);
}

void fillRegistry(store::Worksheet &sheet)
{
    const records::layout::SheetLayout &layout = records::layout::anagrafe();
    for (int c = 1; c <= layout.columnCount(); ++c)
        sheet.cells(1, c).setValue(layout.titles.at(c - 1));
    for (const QString &column : layout.textColumns)
        sheet.range(column + QLatin1Char(':') + column).setNumberFormat(QStringLiteral("@"));
    for (int r = 2; r <= g_registryRows + 1; ++r) {
        const int n = r - 1;
        sheet.cells(r, 1).setValue(double(n));
        sheet.cells(r, 2).setValue(QString(n % 3 ? "C" : "F"));
        sheet.cells(r, 3).setValue(QStringLiteral("CLIENTE NUMERO %1 S.R.L.").arg(n));
        sheet.cells(r, 4).setValue(store::dateText(QDate(2009, 1, 1).addDays(n % 3000)));
        sheet.cells(r, 5).setValue(QStringLiteral("VIA ROMA %1").arg(n));
        sheet.cells(r, 6).setValue(QStringLiteral("%1").arg(n % 100000, 5, 10, QLatin1Char('0')));
        sheet.cells(r, 7).setValue(QStringLiteral("CITTÀ %1").arg(n % 400));
        sheet.cells(r, 8).setValue(QStringLiteral("RM"));
        sheet.cells(r, 9).setValue(QStringLiteral("06%1").arg(1000000 + n));
        sheet.cells(r, 10).setValue(QStringLiteral("06%1").arg(2000000 + n));
        sheet.cells(r, 11).setValue(QStringLiteral("333%1").arg(3000000 + n));
        sheet.cells(r, 12).setValue(QStringLiteral("cliente%1@example.it").arg(n));
        sheet.cells(r, 13).setValue(QStringLiteral("RSSMRA80A01H501%1").arg(QChar('A' + n % 26)));
        sheet.cells(r, 14).setValue(QStringLiteral("%1").arg(10000000000LL + n));
        sheet.cells(r, 15).setValue(QStringLiteral("IT60X0542811101000000%1").arg(100000 + n));
        sheet.cells(r, 16).setValue(QStringLiteral("MARIO ROSSI"));
        sheet.cells(r, 17).setValue(QStringLiteral("NOTE %1").arg(n));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bench::CommandLine line(app.arguments().mid(1), 1, 65534, g_ledgerRows);
    if (!line.ok())
        return 2;
    g_ledgerRows = line.rows();
    g_registryRows = std::min(g_registryRows, g_ledgerRows);
    const QString path = line.workbookPath();

    std::printf("Contavio benchmark: %d registry rows, %d rows on each ledger sheet\n", g_registryRows, g_ledgerRows);

    auto book = std::make_unique<store::Workbook>();
    timed("build the workbook in memory", [&] {
        store::Worksheet &registry = book->sheet(1);
        registry.setName(records::layout::anagrafe().name);
        fillRegistry(registry);
        for (const records::layout::SheetLayout *layout : {&records::layout::incassi(), &records::layout::pagamenti()})
            bench::fillLedger(book->appendSheet(layout->name), *layout, g_ledgerRows, g_registryRows);
        book->protection.password = kPassword;
    });
    timed("save encrypted (first save)", [&] { store::writeWorkbook(*book, path); });
    kTable.value("file size", QFileInfo(path).size() / 1048576.0, "MB");
    book.reset();

    store::Server server;
    store::Workbook *opened = nullptr;
    timed("open (decrypt and read)", [&] { opened = &server.open(path, kPassword); });
    store::Worksheet &ledger = opened->sheet(QStringLiteral("Incassi"));
    timed("sort Incassi A2:S65536 by F", [&] {
        store::SortOptions options;
        options.keyColumn = 6;
        ledger.range(QStringLiteral("A2:S65536")).sort(options);
    });
    qint64 characters = 0;
    timed("read every cell as text (value to text)", [&] {
        for (int s = 1; s <= opened->sheetCount(); ++s) {
            const store::Worksheet &sheet = opened->sheet(s);
            const int rows = sheet.lastRow(), columns = sheet.lastColumn();
            for (int r = 1; r <= rows; ++r)
                for (int c = 1; c <= columns; ++c)
                    characters += store::valueToText(sheet.valueAt(r, c)).size();
        }
    });
    timed("auto-fit the columns of every sheet", [&] {
        for (int s = 1; s <= opened->sheetCount(); ++s)
            opened->sheet(s).usedRange().autoFitColumns();
    });
    timed("save again", [&] { opened->save(); });
    server.close(*opened);

    // The program's own start and end on the same file, as the start form and the way out
    // run them (without windows).
    store::Server programServer;
    app::WorkbookLock lock;
    timed("start-up: lock, open, sheets, titles, fit", [&] {
        if (lock.acquire(path) != app::FileState::Free) {
            std::fprintf(stderr, "il file di prova non si lascia bloccare\n");
            std::exit(1);
        }
        store::removeLeftoverSaveFiles(path);
        store::Workbook &started = programServer.openImage(lock.readAll(), path, kPassword);
        programServer.visible = false;
        app::shapeWorkbook(started);
    });
    app::setEndProgramHandler([](int) {});
    timed("exit: save and close", [&] {
        controls::Session session;
        session.server = &programServer;
        if (!app::leaveProgram(session)) {
            std::fprintf(stderr, "il salvataggio in uscita non è riuscito\n");
            std::exit(1);
        }
    });
    lock.release();
    std::printf("(%lld characters read)\n", static_cast<long long>(characters));
    return 0;
}
