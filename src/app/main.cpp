// Contavio: receivables, payables and the customer/supplier registry of a small office,
// kept in Contavio.xls beside the program.
//
// Exit codes: 0 normal end; 2 the workbook is open elsewhere; 3 the workbook is missing;
// 4 the workbook could not be read; 5 the workbook cannot be written and the user chose to end.

#include "avvio.h"
#include "formsregistry.h"
#include "italiano.h"

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/session.h"

#include <QApplication>

#include "print/printtargets.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
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

    app::Avvio *avvio = forms.avvio();
    const app::Avvio::LoadResult result = avvio->load();
    if (result != app::Avvio::LoadResult::Ready)
        return app::Avvio::exitCode(result);
    return application.exec();
}
