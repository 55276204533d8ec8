// What the recovery copy costs: for a workbook of the benchmark's size (5,000 registry rows,
// 32,766 rows on each ledger) and for one of 2,000 records a sheet, the part the user could
// feel (serialising and encrypting on the user-interface thread, after a one-record change)
// and the part done on the writer thread (writing the copy and flushing it to disk).
//
//   contavio-bench-recovery [folder]      (default: a temporary folder, removed afterwards)

#include "app/recovery.h"
#include "controls/session.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"
#include "records/layout.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void fill(store::Worksheet &sheet, int rows, int columns)
{
    const QDate base(2009, 1, 1);
    for (int r = 2; r <= rows + 1; ++r) {
        const int n = r - 1;
        sheet.cells(r, 1).setValue(double(n));
        sheet.cells(r, 2).setValue(double(n % 5000 + 1));
        sheet.cells(r, 3).setValue(QStringLiteral("CLIENTE NUMERO %1 S.R.L.").arg(n % 5000 + 1));
        for (int c = 4; c <= columns; ++c) {
            switch (c % 4) {
            case 0: sheet.cells(r, c).setValue(QStringLiteral("%1/2009").arg(n)); break;
            case 1: sheet.cells(r, c).setValue(store::Variant::fromDate(store::dateToSerial(base.addDays((n * 7919 + c) % 5000)))); break;
            case 2: sheet.cells(r, c).setValue(QStringLiteral("%1,50").arg(n % 9000 + c)); break;
            default: sheet.cells(r, c).setValue(QStringLiteral("Nota %1 della registrazione").arg(n)); break;
            }
        }
    }
    sheet.cells(1, 256).setValue(double(rows));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void measure(const char *title, int registryRows, int ledgerRows, const QString &folder)
{
    store::Server server;
    {
        store::Workbook book;
        book.sheet(1).setName(QStringLiteral("Anagrafe"));
        fill(book.sheet(1), registryRows, 17);
        fill(book.appendSheet(QStringLiteral("Incassi")), ledgerRows, 19);
        fill(book.appendSheet(QStringLiteral("Pagamenti")), ledgerRows, 19);
        book.protection.password = records::layout::kWorkbookPassword;
        store::writeWorkbook(book, folder + QStringLiteral("/Contavio.xls"));
    }
    store::Workbook &book = server.open(folder + QStringLiteral("/Contavio.xls"), records::layout::kWorkbookPassword);
    controls::Session session;
    session.server = &server;
    app::RecoveryCopy recovery(session, book.path());
    recovery.start(1 << 30);   // checked by hand below

    std::vector<double> serialise, write;
    for (int round = 0; round < 5; ++round) {
        // One record changed, as an entry form does.
        book.sheet(2).cells(2, 8).setValue(QStringLiteral("%1,00").arg(round));
        QElapsedTimer timer;
        timer.start();
        recovery.check();
        serialise.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        recovery.waitForWriter();
        write.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%s (%d registry rows, %d rows on each ledger)\n", title, registryRows, ledgerRows);
    std::printf("  copy size                                   %8.1f MB\n", QFileInfo(recovery.path()).size() / 1048576.0);
    std::printf("  snapshot of the model (user's thread)       %8.1f ms median, %.1f ms worst of 5\n",
                median(serialise), *std::max_element(serialise.begin(), serialise.end()));
    std::printf("  encode, encrypt, write (writer thread)      %8.1f ms median, %.1f ms worst of 5\n",
                median(write), *std::max_element(write.begin(), write.end()));
    std::fflush(stdout);
    recovery.discard();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir tmp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    measure("2,000 records a sheet", 2000, 2000, folder);
    measure("benchmark workbook", 5000, 32766, folder);
    return 0;
}
