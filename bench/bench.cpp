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

#include "app/shutdown.h"
#include "app/startup.h"
#include "controls/session.h"
#include "store/model/italian.h"
#include "store/xls/savefile.h"
#include "store/model/workbook.h"
#include "store/xls/xls.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>

namespace {

const QString kPassword = QStringLiteral("Tevo1963");
int g_registryRows = 5000;
int g_ledgerRows = 32766;

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;   // kilobytes on Linux
}

double timed(const char *what, const std::function<void()> &step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%-44s %8.3f s   peak %7.1f MB\n", what, seconds, peakMegabytes());
    std::fflush(stdout);
    return seconds;
}

void fillRegistry(store::Worksheet &sheet)
{
    const QStringList titles = {"ID", "C/F", "Ragione Sociale/Cognome Nome", "Data", "Indirizzo", "CAP",
                                "Località", "PR", "Telefono", "Fax", "Cellulare", "Email", "Codice Fiscale",
                                "Partita IVA", "IBAN", "Referente/Rappresentante", "Annotazioni"};
    for (int c = 0; c < titles.size(); ++c)
        sheet.cells(1, c + 1).setValue(titles[c]);
    for (const char *col : {"I:I", "J:J", "K:K", "M:M", "N:N", "O:O", "P:P", "F:F"})
        sheet.range(QString::fromLatin1(col)).setNumberFormat(QStringLiteral("@"));
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

void fillLedger(store::Worksheet &sheet, bool receivables)
{
    const QStringList titles = {"ID", receivables ? "ID Cliente" : "ID Fornitore", receivables ? "Cliente" : "Fornitore",
                                "Fattura", "Data", "Scadenza", receivables ? "Riscosso" : "Pagato", "Importo", "Data",
                                "R/Con", "Acconto", "Importo", "Data", "A/Con", "Saldato", "Importo", "Data", "S/Con", "Nota"};
    for (int c = 0; c < titles.size(); ++c)
        sheet.cells(1, c + 1).setValue(titles[c]);
    const QDate base(2009, 1, 1);
    for (int r = 2; r <= g_ledgerRows + 1; ++r) {
        const int n = r - 1;
        const auto date = [&](int offset) {
            return store::Variant::fromDate(store::dateToSerial(base.addDays((n * 7919 + offset) % 5000)));
        };
        sheet.cells(r, 1).setValue(double(n));
        sheet.cells(r, 2).setValue(double(n % g_registryRows + 1));
        sheet.cells(r, 3).setValue(QStringLiteral("CLIENTE NUMERO %1 S.R.L.").arg(n % g_registryRows + 1));
        sheet.cells(r, 4).setValue(QStringLiteral("%1/2009").arg(n));
        sheet.cells(r, 5).setValue(date(0));
        sheet.cells(r, 6).setValue(date(60));   // due date: the sort key, out of order
        sheet.cells(r, 7).setValue(QString(n % 2 ? "SI" : "NO"));
        sheet.cells(r, 8).setValue(QStringLiteral("%1,50").arg(n % 9000 + 100));
        sheet.cells(r, 9).setValue(date(61));
        sheet.cells(r, 10).setValue(QStringLiteral("BONIFICO"));
        sheet.cells(r, 11).setValue(QString(n % 3 ? "NO" : "SI"));
        sheet.cells(r, 12).setValue(QStringLiteral("%1,00").arg(n % 500));
        sheet.cells(r, 13).setValue(date(20));
        sheet.cells(r, 14).setValue(QStringLiteral("ASSEGNO"));
        sheet.cells(r, 15).setValue(QString(n % 5 ? "NO" : "SI"));
        sheet.cells(r, 16).setValue(QStringLiteral("%1,25").arg(n % 700));
        sheet.cells(r, 17).setValue(date(90));
        sheet.cells(r, 18).setValue(QStringLiteral("CONTANTI"));
        sheet.cells(r, 19).setValue(QStringLiteral("Nota della registrazione %1").arg(n));
    }
    sheet.range(QStringLiteral("IV1")).setValue(double(g_ledgerRows));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() >= 2 && args.first() == QStringLiteral("--rows")) {
        bool ok = false;
        const int rows = args.at(1).toInt(&ok);
        if (!ok || rows < 1 || rows > 65534) {
            std::fprintf(stderr, "--rows: da 1 a 65534\n");
            return 2;
        }
        g_ledgerRows = rows;
        g_registryRows = std::min(g_registryRows, rows);
        args = args.mid(2);
    }
    QTemporaryDir tmp;
    const QString folder = !args.isEmpty() ? args.first() : tmp.path();
    const QString path = folder + QStringLiteral("/Contavio.xls");

    std::printf("Contavio benchmark: %d registry rows, %d rows on each ledger sheet\n", g_registryRows, g_ledgerRows);

    auto book = std::make_unique<store::Workbook>();
    timed("build the workbook in memory", [&] {
        store::Worksheet &registry = book->sheet(1);
        registry.setName(QStringLiteral("Anagrafe"));
        fillRegistry(registry);
        fillLedger(book->appendSheet(QStringLiteral("Incassi")), true);
        fillLedger(book->appendSheet(QStringLiteral("Pagamenti")), false);
        book->protection.password = kPassword;
    });
    timed("save encrypted (first save)", [&] { store::writeWorkbook(*book, path); });
    std::printf("%-44s %8.1f MB\n", "file size", QFileInfo(path).size() / 1048576.0);
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
