#pragma once

// Keeping the workbook to ourselves wherever it lives (local disk, NFS, SMB/CIFS, FUSE):
// a record lock on a descriptor opened for reading and writing, the engine reading through
// that same descriptor, and the lock file that office suites honour beside the workbook.
// Where the system refuses every kind of lock, the lock file alone keeps others out.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>

namespace app {

// The state of the workbook file when the program starts.
enum class FileState {
    Free,        // exists, readable, and now locked by us
    InUse,       // another process holds a lock on it
    LockFile,    // nobody holds a lock on it, but another program's lock file sits beside it
    Missing,     // no such file
    Unreadable,  // exists, but the system refuses to open it (permissions and the like)
};

// How the lock is held.
enum class LockKind {
    None,
    Ofd,           // open-file-description record lock (Linux, local disks, NFS, FUSE)
    Posix,         // classic fcntl record lock, where the former is not known
    LockFileOnly,  // the system refuses every lock: the lock file alone
};

// Who keeps a lock file beside the workbook, as the file itself says.
struct LockHolder {
    QString lockFile;    // full path; empty when there is none
    QString user;        // the name the lock file gives
    QString host;        // the machine; empty when the file does not say
    QDateTime since;     // the time the file gives, or its modification time
    bool ours = false;   // written by this program
    bool valid() const { return !lockFile.isEmpty(); }
};

// ".~lock.<name>#" and "~$<name>" beside the workbook.
QString officeLockFilePath(const QString &workbookPath);
QString ownerFilePath(const QString &workbookPath);

// The office suites' lock line: "display,user,host,dd.MM.yyyy HH:mm,url;", fields escaped
// with a backslash before ',' ';' and '\'.
QByteArray officeLockLine(const QStringList &fields);
QStringList parseOfficeLockLine(const QByteArray &line);
// Reads either kind of lock file; an invalid holder when the file is not there.
LockHolder readLockHolder(const QString &lockFile);

QString thisHost();
QString thisUser();

// The other processes of this machine that have the file open (the same file, whatever the
// name they reached it by). The caller's own process is left out.
QList<qint64> processesWithFileOpen(const QString &path);

// What was read from the workbook when it was opened, to tell later whether someone else
// changed or replaced it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    QByteArray hash;   // SHA-256 of the bytes read
};

// The lock on the workbook, held from the in-use test to the end of the run. Not copyable.
class WorkbookLock {
public:
    WorkbookLock() = default;
    ~WorkbookLock();
    WorkbookLock(const WorkbookLock &) = delete;
    WorkbookLock &operator=(const WorkbookLock &) = delete;

    // Takes the lock. On Free the lock is held and our own lock file written (when the folder
    // allows); on LockFile the record lock is held but holder() names the one whose lock file
    // is in the way: the caller may clearStaleLock() and go on, or release(). A lock file of
    // ours left by a crash on this machine is cleared here without asking. On Unreadable,
    // `reason` gets an Italian sentence. `now` dates our lock file.
    FileState acquire(const QString &path, QString *reason = nullptr,
                      const QDateTime &now = QDateTime::currentDateTime());
    // Removes the lock file of holder() and writes ours; false when it cannot be removed.
    bool clearStaleLock(const QDateTime &now = QDateTime::currentDateTime());
    // Unlocks, closes, and removes our lock file when it is still ours.
    void release();

    bool held() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    LockKind kind() const { return m_kind; }
    const LockHolder &holder() const { return m_holder; }
    // The workbook could only be opened for reading (its permissions, a read-only disk).
    bool readOnlyFile() const { return m_readOnly; }
    bool ownLockFileWritten() const { return !m_ownLine.isEmpty(); }

    // Whether the lock file names this machine and no process here has the workbook open:
    // the sign of a program that ended without removing it.
    bool holderLooksStale() const;

    // The whole file through the held descriptor (so that a share that enforces our lock
    // against every other opening still lets us read); remembers its identity. Throws
    // store::StoreError when the read fails.
    QByteArray readAll();
    const FileIdentity &identity() const { return m_identity; }
    // Empty when the file at the path is still the one read, else an Italian reason.
    QString changeOnDisk() const;

    // The lock of this run, for the shutdown; nullptr when none is held.
    static WorkbookLock *current();

    // For tests: asked before each open of the file ("open") and each lock call ("ofd",
    // "posix", "flock") with the flags the
    // descriptor was opened with; a non-zero answer fails that call with that error number
    // (ENOLCK, EBADF, EINVAL ...). Lets a test behave like NFS or SMB on a local disk.
    static void setLockCallHook(std::function<int(const char *call, int openFlags)> hook);

private:
    bool writeOwnLockFile(const QDateTime &now);
    FileState checkLockFiles(const QDateTime &now);

    int m_fd = -1;
    int m_openFlags = 0;
    LockKind m_kind = LockKind::None;
    bool m_readOnly = false;
    QString m_path;
    LockHolder m_holder;
    QByteArray m_ownLine;   // the line of our lock file, empty when we wrote none
    FileIdentity m_identity;
};

} // namespace app
