// A whole program run that ends badly: starts in the folder given (scripted dialogs that
// accept everything), enters `count` receivables the way the entry form writes them, waits
// until the recovery copy holds them, says "copied" on standard output, and then waits to be
// killed.
//
//   reliability_session FOLDER COUNT

#include "childprogram.h"

#include "app/avvio.h"
#include "app/recovery.h"
#include "store/model/workbook.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (argc != 3)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = QString::fromLocal8Bit(argv[2]).toInt();

    ChildProgram program;
    app::Avvio *avvio = program.forms.avvio();
    if (avvio->load(folder) != app::Avvio::LoadResult::Ready)
        return 3;

    store::Worksheet &incassi = program.session.workbook().sheet(QStringLiteral("Incassi"));
    for (int n = 1; n <= count; ++n) {
        const int row = n + 1;
        incassi.cells(row, 1).setValue(double(n));
        incassi.cells(row, 2).setValue(QStringLiteral("1"));
        incassi.cells(row, 3).setValue(QStringLiteral("ROSSI MARIO"));
        incassi.cells(row, 4).setValue(QStringLiteral("FT/%1").arg(n));
        incassi.cells(row, 6).setValue(QStringLiteral("31/01/2027"));
        incassi.cells(row, 8).setValue(QStringLiteral("%1,50").arg(100 * n));
        incassi.cells(1, 256).setValue(double(n));
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        app::RecoveryCopy *recovery = avvio->recovery();
        if (recovery && recovery->copiesWritten() > 0) {
            poll.stop();
            std::printf("copied\n");
            std::fflush(stdout);
        }
    });
    poll.start(20);
    return application.exec();
}
