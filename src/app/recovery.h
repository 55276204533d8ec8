#pragma once

// The recovery copy: while the program runs, every completed change of the workbook is
// written, encrypted and atomically, to a hidden file beside it (".Contavio.xls.ripristino"),
// so that a crash or a power cut loses at most the last second of work. A clean exit removes
// the copy; at the next start a copy that is still there, and newer than the workbook, is
// offered back to the user.

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <condition_variable>
#include <mutex>
#include <memory>
#include <thread>

namespace controls { class Dialogs; struct Session; }
namespace store { class Workbook; }

namespace app {

// ".<name>.ripristino" in the workbook's folder.
QString recoveryCopyPath(const QString &workbookPath);
// Where a copy the user did not take back is kept: "<stem>-ripristino-dd-MM-yyyy-HH.mm.ss.xls"
// beside the workbook, the time being the copy's own (a number is added when taken).
QString keptAsidePath(const QString &workbookPath, const QDateTime &copyTime);

// How many of the copies set aside are kept beside the workbook.
constexpr int kAsideCopiesKept = 5;
// The critical box of a copy that cannot be written, shown once in a run.
QString recoveryFailedMessage(const QString &copyPath, const QString &reason);

enum class RecoveryOutcome {
    NoCopy,      // nothing to offer
    Recovered,   // the copy took the workbook's place
    KeptAside,   // the user said No, or the copy was older than the workbook or unreadable
};

// Start-up, with the workbook checked and locked but not yet opened. A recovery copy newer
// than the workbook, or any copy when the workbook does not open, is offered with a question;
// on Yes it replaces the workbook (which keeps its permissions, owner and links; a workbook
// that did not open goes to the Backup folder), on No it is renamed with its date. A copy
// older than a workbook that opens, or one that does not open with the password, is renamed
// the same way without a question but with a box that names where it went (an unreadable one
// with a critical box). Leftovers of interrupted copies go.
RecoveryOutcome offerRecovery(const QString &workbookPath, const QString &password,
                              controls::Dialogs &dialogs);
// A copy older than the workbook, set aside without a question: where it went.
QString setAsideMessage(const QString &workbookPath, const QDateTime &copyTime, const QString &asidePath);
QString recoveryQuestion(const QString &workbookPath, const QDateTime &copyTime, const QString &asidePath);
// The question when the workbook itself does not open (`problem` says why): the copy is
// offered whatever its time.
QString damagedWorkbookQuestion(const QString &workbookPath, const QString &problem, const QDateTime &copyTime,
                                const QString &asidePath);

// Watches the server's active workbook and keeps its recovery copy up to date. The caller's
// thread, where the workbook lives, only takes the workbook's own deep copy
// (store::Workbook::clone()); encoding, encrypting and writing to disk happen on a thread of its own,
// so the user waits neither for the encoder nor for the disk.
class RecoveryCopy : public QObject {
    Q_OBJECT
public:
    RecoveryCopy(controls::Session &session, QString workbookPath, QObject *parent = nullptr);
    // Waits for a copy being written and leaves it on disk: only discard() means a clean end.
    ~RecoveryCopy() override;

    // Takes the workbook as it is now as the saved state and checks it every `intervalMs`.
    void start(int intervalMs = 1000);
    // One check: when the workbook changed since the last copy, its image goes to the writer.
    // True when a new copy was started. The first failure of the writer is reported here,
    // on the user's thread, once in the run.
    bool check();
    // Blocks until the writer has nothing left to write.
    void waitForWriter();
    // The clean end, after the workbook was saved: stops watching and removes the copy.
    void discard();

    QString path() const { return m_copyPath; }
    int copiesWritten() const;
    // The last failure of the writer (in Italian), empty when none.
    QString lastError() const;

    // The copy of this run, for the shutdown; nullptr when none is running.
    static RecoveryCopy *current();

private:
    void writerLoop();
    void reportFailureOnce();

    controls::Session &m_session;
    QString m_workbookPath;
    QString m_copyPath;
    QTimer m_timer;
    quint64 m_copiedRevision = 0;
    bool m_reported = false;
    const store::Workbook *m_watched = nullptr;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::unique_ptr<store::Workbook> m_pending;
    bool m_writing = false;
    bool m_stop = false;
    int m_written = 0;
    QString m_error;
    std::thread m_writer;
};

} // namespace app
