#include "recovery.h"

#include "controls/dialogs.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "shutdown.h"
#include "startup.h"
#include "store/model/errors.h"
#include "store/file/savefile.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace app {

namespace {

RecoveryCopy *&currentCopy()
{
    static RecoveryCopy *copy = nullptr;
    return copy;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Moves the copy out of the way, keeping the newest few of those set aside before; false when
// the folder refuses (it is then offered again).
bool keepAside(const QString &workbookPath, const QString &copy, const QString &aside)
{
    if (!QFile::rename(copy, aside))
        return false;
    const QFileInfo info(workbookPath);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    store::keepNewest(info.absolutePath(), info.completeBaseName() + QStringLiteral("-ripristino-*") + suffix,
                      kAsideCopiesKept);
    return true;
}

QString italianDate(const QDateTime &t) { return t.toString(QStringLiteral("dd/MM/yyyy")); }
QString italianTime(const QDateTime &t) { return t.toString(QStringLiteral("HH:mm:ss")); }

} // namespace

QString recoveryCopyPath(const QString &workbookPath)
{
    const QFileInfo info(workbookPath);
    return info.absoluteDir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".ripristino"));
}

QString keptAsidePath(const QString &workbookPath, const QDateTime &copyTime)
{
    const QFileInfo info(workbookPath);
    const QDir folder = info.absoluteDir();
    const QString stem = info.completeBaseName() + QStringLiteral("-ripristino-")
        + copyTime.toString(QStringLiteral("dd-MM-yyyy-HH.mm.ss"));
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString candidate = folder.filePath(stem + suffix);
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = folder.filePath(stem + QStringLiteral("-%1").arg(n) + suffix);
    return candidate;
}

QString recoveryQuestion(const QString &workbookPath, const QDateTime &copyTime, const QString &asidePath)
{
    return QStringLiteral("Il programma non è stato chiuso correttamente l'ultima volta.\n"
                          "Esiste una copia di ripristino di %1 del %2 alle %3, più recente del file.\n"
                          "Vuoi recuperare il lavoro non salvato ?\n"
                          "Sì: la copia prende il posto del file.\n"
                          "No: il file resta com'è e la copia viene conservata come %4.")
        .arg(QFileInfo(workbookPath).fileName(), italianDate(copyTime), italianTime(copyTime),
             QFileInfo(asidePath).fileName());
}

QString damagedWorkbookQuestion(const QString &workbookPath, const QString &problem, const QDateTime &copyTime,
                                const QString &asidePath)
{
    return QStringLiteral("Il programma non è stato chiuso correttamente l'ultima volta e il file %1 non si apre:\n"
                          "%2\n"
                          "Esiste una copia di ripristino del %3 alle %4.\n"
                          "Vuoi recuperare il lavoro non salvato ?\n"
                          "Sì: la copia prende il posto del file, che viene conservato nella cartella Backup.\n"
                          "No: il file resta com'è e la copia viene conservata come %5.")
        .arg(QFileInfo(workbookPath).fileName(), problem, italianDate(copyTime), italianTime(copyTime),
             QFileInfo(asidePath).fileName());
}

QString setAsideMessage(const QString &workbookPath, const QDateTime &copyTime, const QString &asidePath)
{
    return QStringLiteral("Il programma non è stato chiuso correttamente l'ultima volta.\n"
                          "La copia di ripristino del %1 alle %2 è più vecchia del file %3, che è stato "
                          "salvato dopo: è stata conservata come %4.")
        .arg(italianDate(copyTime), italianTime(copyTime), QFileInfo(workbookPath).fileName(), asidePath);
}

RecoveryOutcome offerRecovery(const QString &workbookPath, const QString &password, controls::Dialogs &dialogs)
{
    const QString copy = recoveryCopyPath(workbookPath);
    store::removeLeftoverSaveFiles(copy);
    const QFileInfo copyInfo(copy);
    if (!copyInfo.exists() || !copyInfo.isFile())
        return RecoveryOutcome::NoCopy;
    if (copyInfo.size() == 0) {
        // Made ready by a run that ended before its first copy: nothing in it.
        QFile::remove(copy);
        return RecoveryOutcome::NoCopy;
    }
    const QDateTime copyTime = copyInfo.lastModified();
    const QString aside = keptAsidePath(workbookPath, copyTime);
    // A workbook that no longer opens (a save cut off half-way, say) loses nothing to the
    // copy, whatever the file times say.
    const bool savedAfterCopy = copyTime <= QFileInfo(workbookPath).lastModified();
    QString workbookProblem;
    if (savedAfterCopy) {
        try {
            (void)store::readWorkbook(workbookPath, password);
        } catch (const store::StoreError &error) {
            workbookProblem = error.userMessage();
        }
    }
    if (savedAfterCopy && workbookProblem.isEmpty()) {
        // The workbook was saved after the copy: the copy holds nothing newer, but it is the
        // work of a run that did not end, and the user is told where it went.
        if (keepAside(workbookPath, copy, aside))
            dialogs.message(controls::BoxKind::Information, setAsideMessage(workbookPath, copyTime, aside),
                            controls::titles::kTitle);
        return RecoveryOutcome::KeptAside;
    }

    const QByteArray bytes = readAll(copy);
    try {
        (void)store::readWorkbookBytes(bytes, password);
    } catch (const store::StoreError &error) {
        keepAside(workbookPath, copy, aside);
        dialogs.message(controls::BoxKind::Critical,
                        QStringLiteral("La copia di ripristino di %1 è danneggiata e non può essere usata.\n%2\n"
                                       "È stata conservata come %3; il file %1 resta com'era.")
                            .arg(QFileInfo(workbookPath).fileName(), error.userMessage(), QFileInfo(aside).fileName()),
                        controls::titles::kTitle);
        return RecoveryOutcome::KeptAside;
    }

    const QString question = workbookProblem.isEmpty()
        ? recoveryQuestion(workbookPath, copyTime, aside)
        : damagedWorkbookQuestion(workbookPath, workbookProblem, copyTime, aside);
    if (dialogs.message(controls::BoxKind::Question, question, controls::titles::kTitle) != controls::Answer::Yes) {
        keepAside(workbookPath, copy, aside);
        return RecoveryOutcome::KeptAside;
    }
    store::FileVersion replaced;
    try {
        replaced = store::currentVersion(workbookPath);
        store::writeFileAtomically(workbookPath, bytes);
    } catch (const store::StoreError &error) {
        keepAside(workbookPath, copy, aside);
        dialogs.message(controls::BoxKind::Critical,
                        QStringLiteral("Impossibile recuperare il lavoro non salvato.\n%1\n"
                                       "La copia di ripristino è stata conservata come %2; il file %3 resta com'era.")
                            .arg(error.userMessage(), QFileInfo(aside).fileName(), QFileInfo(workbookPath).fileName()),
                        controls::titles::kTitle);
        return RecoveryOutcome::KeptAside;
    }
    QFile::remove(copy);
    try {
        store::keepVersion(workbookPath, replaced);
    } catch (const store::StoreError &error) {
        dialogs.message(controls::BoxKind::Information,
                        QStringLiteral("Il lavoro non salvato è stato recuperato in %1.\n%2\n"
                                       "La versione che c'era prima non è stata conservata.")
                            .arg(QFileInfo(workbookPath).fileName(), error.userMessage()),
                        controls::titles::kTitle);
    }
    return RecoveryOutcome::Recovered;
}

// ---------------------------------------------------------------------------------------

RecoveryCopy::RecoveryCopy(controls::Session &session, QString workbookPath, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_workbookPath(std::move(workbookPath))
    , m_copyPath(recoveryCopyPath(m_workbookPath))
{
    connect(&m_timer, &QTimer::timeout, this, &RecoveryCopy::check);
    m_writer = std::thread([this] { writerLoop(); });
}

RecoveryCopy::~RecoveryCopy()
{
    m_timer.stop();
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_writer.join();
    if (currentCopy() == this)
        currentCopy() = nullptr;
}

RecoveryCopy *RecoveryCopy::current()
{
    return currentCopy();
}

void RecoveryCopy::start(int intervalMs)
{
    store::Workbook *book = m_session.server ? m_session.server->activeWorkbook() : nullptr;
    m_watched = book;
    m_copiedRevision = book ? book->revision() : 0;
    currentCopy() = this;
    m_timer.start(intervalMs);
}

bool RecoveryCopy::check()
{
    store::Workbook *book = m_session.server ? m_session.server->activeWorkbook() : nullptr;
    if (!book)
        return false;
    if (book != m_watched) {
        m_watched = book;
        m_copiedRevision = book->revision();
        return false;
    }
    reportFailureOnce();
    if (book->revision() == m_copiedRevision)
        return false;
    // A timer's slot: nothing may leave it. A copy that cannot be made (memory) is a failure
    // of the copy, told once like a failing disk; the workbook itself is untouched.
    std::unique_ptr<store::Workbook> copy;
    try {
        copy = book->clone();
    } catch (const std::exception &error) {
        {
            std::lock_guard lock(m_mutex);
            m_error = QStringLiteral("Memoria insufficiente per la copia (%1).").arg(QString::fromLocal8Bit(error.what()));
        }
        reportFailureOnce();
        return false;
    }
    m_copiedRevision = book->revision();
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(copy);   // a snapshot still waiting is replaced by the newer one
    }
    m_wake.notify_one();
    return true;
}

void RecoveryCopy::reportFailureOnce()
{
    if (m_reported || !m_session.dialogs)
        return;
    const QString error = lastError();
    if (error.isEmpty())
        return;
    m_reported = true;
    m_session.dialogs->message(controls::BoxKind::Critical, recoveryFailedMessage(m_copyPath, error),
                               controls::titles::kTitle);
}

QString recoveryFailedMessage(const QString &copyPath, const QString &reason)
{
    return QStringLiteral("Impossibile scrivere la copia di ripristino %1.\n%2\n"
                          "Si può continuare a lavorare, ma se il programma si interrompe le modifiche "
                          "non ancora salvate andranno perse. L'avviso non verrà ripetuto.")
        .arg(copyPath, reason);
}

void RecoveryCopy::waitForWriter()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_writing; });
}

void RecoveryCopy::discard()
{
    m_timer.stop();
    m_watched = nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_pending.reset();
    }
    waitForWriter();
    QFile::remove(m_copyPath);
    store::removeLeftoverSaveFiles(m_copyPath);
}

int RecoveryCopy::copiesWritten() const
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

QString RecoveryCopy::lastError() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

void RecoveryCopy::writerLoop()
{
    const QByteArray native = QFile::encodeName(m_copyPath);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_pending; });
        if (!m_pending)
            return;   // stopping with nothing left to write
        std::unique_ptr<store::Workbook> book = std::move(m_pending);
        m_writing = true;
        lock.unlock();

        QString error;
        try {
            // The copy is always encrypted, even for a workbook without a password of its own.
            if (book->protection.password.isEmpty())
                book->protection.password = kWorkbookPassword;
            const QByteArray bytes = store::workbookBytes(*book);
            book.reset();
            // Readable by the owner only, whatever the workbook allows: a new copy starts as
            // an empty private file whose permissions the atomic write then keeps.
            const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0)
                ::close(fd);
            store::writeFileAtomically(m_copyPath, bytes);
        } catch (const store::StoreError &e) {
            error = e.userMessage();
        } catch (const std::exception &e) {
            error = QStringLiteral("Errore inatteso: %1").arg(QString::fromLocal8Bit(e.what()));
        }

        lock.lock();
        m_writing = false;
        if (error.isEmpty())
            ++m_written;
        else
            m_error = error;
        m_idle.notify_all();
    }
}

} // namespace app
