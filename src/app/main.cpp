// Contavio: receivables, payables and the customer/supplier registry of a small office,
// kept in Contavio.xls beside the program.
//
// Exit codes: 0 normal end; 2 the workbook is open elsewhere; 3 the workbook is missing;
// 4 the workbook could not be read; 5 the workbook cannot be written and the user chose to end.

#include "avvio.h"
#include "formsregistry.h"
#include "guardedapplication.h"
#include "italiano.h"

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/session.h"

#include <QApplication>

#include "print/printtargets.h"

int main(int argc, char *argv[])
{
    // An exception that escapes a form's handler is reported, never the end of the session.
    app::GuardedApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Contavio"));
    // Forms are hidden, not closed, and the print form closes while others are hidden:
    // only "Chiudi" (or closing the start form) ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    app::installItalian(application);

    controls::QtDialogs dialogs;
    controls::SystemClock clock;
    controls::Session session;
    session.dialogs = &dialogs;
    session.clock = &clock;
    print::QtPrintTarget printers;
    session.printers = &printers;
    app::FormsRegistry forms(session);
    session.forms = &forms;
    application.setSession(&session);

    app::Avvio *avvio = forms.avvio();
    const app::Avvio::LoadResult result = avvio->load();
    const int code = result == app::Avvio::LoadResult::Ready ? application.exec() : app::Avvio::exitCode(result);
    application.setSession(nullptr);   // the session ends before the application
    return code;
}
