// One run of the program in a process of its own, for the tests of shared folders, locks and
// read-only places (run as another user, or beside another copy of itself):
//
//   reliability_office FOLDER ANSWERS [OPTIONS...]
//
// ANSWERS: the answers to the questions, in order, "Y" or "N" each ("-" for none).
// OPTIONS: "nolocks" (the system refuses every lock), "write" (puts a receivable in
// "Incassi"), "throw" (a timer's slot throws, as a fault in a form's handler would),
// "leave" (the menu's "Chiudi"), "wait" (says "ready" and waits for a line on standard input
// before going on).
// Every box shown is printed as "BOX <kind> <text>" (new lines as "|"), then "LOAD <n>" with
// the start's exit code and, after "leave", "LEFT 0" or "LEFT 1". The exit code is the start's.

#include "childprogram.h"

#include "app/avvio.h"
#include "app/filelock.h"
#include "app/guardedapplication.h"
#include "app/shutdown.h"
#include "store/model/workbook.h"

#include <QApplication>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char **argv)
{
    app::GuardedApplication application(argc, argv);
    if (argc < 3)
        return 64;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString answers = QString::fromLocal8Bit(argv[2]);
    QStringList options;
    for (int i = 3; i < argc; ++i)
        options << QString::fromLocal8Bit(argv[i]);
    if (options.contains(QStringLiteral("nolocks")))
        app::WorkbookLock::setLockCallHook([](const char *call, int) { return qstrcmp(call, "open") ? ENOLCK : 0; });

    ChildProgram program;
    application.setSession(&program.session);
    controls::FakeDialogs &dialogs = program.dialogs;
    controls::Session &session = program.session;
    for (const QChar c : answers) {
        if (c == QLatin1Char('Y'))
            dialogs.queueAnswer(controls::Answer::Yes);
        else if (c == QLatin1Char('N'))
            dialogs.queueAnswer(controls::Answer::No);
    }
    app::setEndProgramHandler([](int) {});

    size_t printed = 0;
    auto printBoxes = [&] {
        for (; printed < dialogs.shown.size(); ++printed) {
            const auto &box = dialogs.shown[printed];
            QString text = box.text;
            text.replace(QLatin1Char('\n'), QLatin1Char('|'));
            std::printf("BOX %d %s\n", int(box.kind), text.toUtf8().constData());
        }
        std::fflush(stdout);
    };

    app::Avvio *avvio = program.forms.avvio();
    const app::Avvio::LoadResult result = avvio->load(folder);
    printBoxes();
    const int code = app::Avvio::exitCode(result);
    std::printf("LOAD %d\n", code);
    std::fflush(stdout);
    if (result != app::Avvio::LoadResult::Ready)
        return code;

    if (options.contains(QStringLiteral("write"))) {
        store::Worksheet &incassi = session.workbook().sheet(QStringLiteral("Incassi"));
        incassi.cells(2, 1).setValue(1.0);
        incassi.cells(2, 3).setValue(QStringLiteral("ROSSI MARIO"));
        incassi.cells(1, 256).setValue(1.0);
    }
    if (options.contains(QStringLiteral("throw"))) {
        bool ran = false;
        QTimer::singleShot(0, &application, [&ran] {
            ran = true;
            throw store::StoreError(store::ErrorKind::Invalid, QStringLiteral("Guasto di prova."));
        });
        while (!ran)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        printBoxes();
    }
    if (options.contains(QStringLiteral("wait"))) {
        std::printf("ready\n");
        std::fflush(stdout);
        std::string line;
        std::getline(std::cin, line);
    }
    if (options.contains(QStringLiteral("leave"))) {
        const bool left = app::leaveProgram(session);
        printBoxes();
        std::printf("LEFT %d\n", left ? 0 : 1);
        std::fflush(stdout);
    }
    application.setSession(nullptr);
    return code;
}
