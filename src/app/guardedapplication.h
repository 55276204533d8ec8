#pragma once

// The last guard of the event loop: an exception that escapes an event handler, a timer or
// a slot is caught here instead of ending the program. The user is told in Italian what went
// wrong; the workbook stays open with everything typed in the session (the recovery copy goes
// on), so that "Chiudi" can still save it.

#include <QApplication>

#include <exception>

namespace controls { struct Session; }

namespace app {

// The text of the box for an exception that reached the guard.
QString unexpectedErrorMessage(const QString &reason);
// Tells the user about `error` through the session's dialogs (or on standard error when
// there are none, or while a report is already on screen). Never throws.
void reportEscapedException(controls::Session *session, const std::exception_ptr &error);

class GuardedApplication : public QApplication {
    Q_OBJECT
public:
    GuardedApplication(int &argc, char **argv);
    // The session whose dialogs show the report; nullptr: standard error only.
    void setSession(controls::Session *session) { m_session = session; }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    controls::Session *m_session = nullptr;
};

} // namespace app
