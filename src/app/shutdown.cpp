#include "shutdown.h"

#include "controls/dialogs.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "recovery.h"
#include "store/model/errors.h"
#include "store/model/workbook.h"

#include "filelock.h"
#include "store/file/savefile.h"
#include "store/file/workbookfile.h"
#include "controls/clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace app {

namespace {

std::function<void(int)> &endHandler()
{
    static std::function<void(int)> handler;
    return handler;
}

QString saveFailedMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("Impossibile salvare il file %1.\n%2").arg(path, reason);
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

namespace {

enum class SaveOutcome { Saved, Failed };

void tell(controls::Session &session, controls::BoxKind kind, const QString &text)
{
    if (session.dialogs)
        session.dialogs->message(kind, text, controls::titles::kTitle);
}

QString reasonOf(const std::exception &error)
{
    if (const auto *store = dynamic_cast<const store::StoreError *>(&error))
        return store->userMessage();
    if (dynamic_cast<const std::bad_alloc *>(&error))
        return QStringLiteral("Memoria insufficiente.");
    return QStringLiteral("Errore inatteso: %1").arg(QString::fromLocal8Bit(error.what()));
}

// Writes `book` to `path` (its own or the dated copy); on failure the user is told why.
// `heldFd`: the locked descriptor of the workbook, for a save in place.
bool writeOrTell(controls::Session &session, const store::Workbook &book, const QString &path, int heldFd = -1)
{
    try {
        store::writeFileAtomically(path, store::workbookBytes(book), heldFd);
        return true;
    } catch (const std::exception &error) {
        tell(session, controls::BoxKind::Critical, saveFailedMessage(path, reasonOf(error)));
    }
    return false;
}

SaveOutcome saveWorkbook(controls::Session &session, store::Workbook &book)
{
    const QDateTime now = session.clock ? session.clock->now() : QDateTime::currentDateTime();
    // Another program changed or replaced the file since we read it: its work stays, ours
    // goes beside it.
    const WorkbookLock *lock = WorkbookLock::current();
    const bool held = lock && lock->held();
    const QString change = held ? lock->changeOnDisk() : QString();
    if (!change.isEmpty()) {
        const QString dated = datedCopyPath(book.path(), now);
        if (!writeOrTell(session, book, dated))
            return SaveOutcome::Failed;
        book.markSaved();
        tell(session, controls::BoxKind::Information, changedOnDiskMessage(book.path(), change, dated));
        return SaveOutcome::Saved;
    }

    // The version being replaced goes to the Backup folder once the save has succeeded.
    QString backupProblem;
    store::FileVersion replaced;
    try {
        replaced = store::currentVersion(book.path(), held ? lock->descriptor() : -1);
    } catch (const store::StoreError &error) {
        backupProblem = error.userMessage();
    }
    if (!writeOrTell(session, book, book.path(), held ? lock->descriptor() : -1))
        return SaveOutcome::Failed;
    book.markSaved();
    if (backupProblem.isEmpty()) {
        try {
            store::keepVersion(book.path(), replaced);
        } catch (const store::StoreError &error) {
            backupProblem = error.userMessage();
        }
    }
    if (!backupProblem.isEmpty())
        tell(session, controls::BoxKind::Information,
             QStringLiteral("Il file %1 è stato salvato.\n%2\nLa versione che c'era prima non è stata conservata.")
                 .arg(book.path(), backupProblem));
    return SaveOutcome::Saved;
}

// After a failed save: may the program end all the same? Enter answers No.
bool leaveWithoutSaving(controls::Session &session, store::Workbook &book)
{
    if (!session.dialogs)
        return false;
    QString kept;
    if (RecoveryCopy *recovery = RecoveryCopy::current()) {
        recovery->check();
        recovery->waitForWriter();
        if (recovery->lastError().isEmpty() && QFileInfo::exists(recovery->path()))
            kept = recovery->path();
    }
    return session.dialogs->message(controls::BoxKind::Question, leaveUnsavedQuestion(book.path(), kept),
                                    controls::titles::kTitle, controls::Answer::No)
        == controls::Answer::Yes;
}

} // namespace

QString nothingSavedMessage(const QString &workbookPath)
{
    return QStringLiteral("Nessuna modifica è stata salvata: il file %1 si può solo leggere.").arg(workbookPath);
}

QString datedCopyPath(const QString &workbookPath, const QDateTime &when)
{
    const QFileInfo info(workbookPath);
    const QDir folder = info.absoluteDir();
    const QString stem = info.completeBaseName() + u'-' + when.toString(QStringLiteral("dd-MM-yyyy-HH.mm.ss"));
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString candidate = folder.filePath(stem + suffix);
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = folder.filePath(stem + QStringLiteral("-%1").arg(n) + suffix);
    return candidate;
}

QString changedOnDiskMessage(const QString &workbookPath, const QString &change, const QString &datedPath)
{
    const QString name = QFileInfo(workbookPath).fileName();
    return QStringLiteral("Dopo l'apertura il file %1 è stato cambiato da un altro programma (%2).\n"
                          "Per non perdere quelle modifiche il file non è stato sovrascritto:\n"
                          "- %3 contiene le modifiche dell'altro programma;\n"
                          "- %4 contiene il lavoro di questa sessione.\n"
                          "Per riunire i dati aprire i due file con un foglio di calcolo.")
        .arg(name, change, workbookPath, datedPath);
}

QString leaveUnsavedQuestion(const QString &workbookPath, const QString &recoveryPath)
{
    QString text = QStringLiteral("Vuoi uscire senza salvare ?\n"
                                  "Sì: tutto ciò che è stato inserito, cambiato o eliminato in questa sessione "
                                  "non viene scritto in %1, che resta com'era all'apertura.")
                       .arg(workbookPath);
    if (recoveryPath.isEmpty())
        text += QStringLiteral(" Quel lavoro va perso.");
    else
        text += QStringLiteral(" Quel lavoro resta solo nella copia di ripristino %1, che verrà proposta "
                               "al prossimo avvio.")
                    .arg(recoveryPath);
    text += QStringLiteral("\nNo: il programma resta aperto con i dati; risolto il problema, riprovare a uscire.");
    return text;
}

bool leaveProgram(controls::Session &session)
{
    store::Server *server = session.server;
    WorkbookLock *lock = WorkbookLock::current();
    if (server) {
        server->displayAlerts = false;
        if (store::Workbook *book = server->activeWorkbook()) {
            RecoveryCopy *recovery = RecoveryCopy::current();
            if (lock && lock->held() && lock->readOnlyFile()) {
                // The user chose at the start to go on without saving: no attempt now.
                tell(session, controls::BoxKind::Information, nothingSavedMessage(book->path()));
                if (recovery)
                    recovery->discard();
            } else if (!book->changedSinceSave()) {
                // Nothing to write: the file and its backups stay as they are.
                if (recovery)
                    recovery->discard();
            } else if (saveWorkbook(session, *book) == SaveOutcome::Saved) {
                // Saved: the recovery copy has nothing the file lacks.
                if (recovery)
                    recovery->discard();
            } else if (!leaveWithoutSaving(session, *book)) {
                return false;
            }
            server->close(*book);
        }
        server->quit();
    }
    // Our lock file goes with us.
    if (lock)
        lock->release();
    endProgram(0);
    return true;
}

} // namespace app
