#include "shutdown.h"

#include "controls/dialogs.h"
#include "controls/session.h"
#include "recovery.h"
#include "store/model/errors.h"
#include "store/model/workbook.h"

#include <QCoreApplication>

namespace app {

namespace {

std::function<void(int)> &endHandler()
{
    static std::function<void(int)> handler;
    return handler;
}

QString saveFailedMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("Impossibile salvare il file %1.\n%2\n"
                          "Il programma resta aperto e i dati di questa sessione non sono persi: "
                          "risolto il problema, riprovare a uscire.")
        .arg(path, reason);
}

} // namespace

void endProgram(int code)
{
    if (endHandler())
        endHandler()(code);
    else
        QCoreApplication::exit(code);
}

void setEndProgramHandler(std::function<void(int)> handler)
{
    endHandler() = std::move(handler);
}

bool leaveProgram(controls::Session &session)
{
    store::Server *server = session.server;
    if (server) {
        server->displayAlerts = false;
        if (store::Workbook *book = server->activeWorkbook()) {
            try {
                book->save();
            } catch (const store::StoreError &error) {
                if (session.dialogs)
                    session.dialogs->message(controls::BoxKind::Critical,
                                             saveFailedMessage(book->path(), error.userMessage()),
                                             QStringLiteral("Contavio"));
                return false;
            } catch (const std::exception &error) {
                if (session.dialogs)
                    session.dialogs->message(controls::BoxKind::Critical,
                                             saveFailedMessage(book->path(), QString::fromLocal8Bit(error.what())),
                                             QStringLiteral("Contavio"));
                return false;
            }
            // Saved: the recovery copy has nothing the file lacks.
            if (RecoveryCopy *recovery = RecoveryCopy::current())
                recovery->discard();
            server->close(*book);
        }
        server->quit();
    }
    endProgram(0);
    return true;
}

} // namespace app
