#include "guardedapplication.h"

#include "controls/dialogs.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "store/model/errors.h"

#include <cstdio>
#include <new>

namespace app {

namespace {

QString reasonOf(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const store::StoreError &e) {
        return e.detail().isEmpty() ? e.userMessage() : e.userMessage() + QStringLiteral(" (") + e.detail() + u')';
    } catch (const std::bad_alloc &) {
        return QStringLiteral("memoria insufficiente.");
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("errore sconosciuto.");
    }
}

bool &reporting()
{
    static bool busy = false;
    return busy;
}

} // namespace

QString unexpectedErrorMessage(const QString &reason)
{
    return QStringLiteral("Si è verificato un errore imprevisto e l'operazione in corso non è stata completata.\n%1\n"
                          "I dati di questa sessione sono ancora aperti: si può continuare a lavorare, "
                          "e \"Chiudi\" del menu li salva.")
        .arg(reason);
}

void reportEscapedException(controls::Session *session, const std::exception_ptr &error)
{
    try {
        const QString text = unexpectedErrorMessage(reasonOf(error));
        std::fprintf(stderr, "Contavio: %s\n", text.toLocal8Bit().constData());
        // One box at a time: an error raised while the box is on screen is only written out.
        if (!session || !session->dialogs || reporting())
            return;
        reporting() = true;
        session->dialogs->message(controls::BoxKind::Critical, text, controls::titles::kTitle);
        reporting() = false;
    } catch (...) {
        reporting() = false;
    }
}

GuardedApplication::GuardedApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool GuardedApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportEscapedException(m_session, std::current_exception());
    }
    return false;
}

} // namespace app
