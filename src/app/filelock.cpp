#include "filelock.h"

#include "store/file/savefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace app {

namespace {

std::function<int(const char *, int)> &lockHook()
{
    static std::function<int(const char *, int)> hook;
    return hook;
}

WorkbookLock *&currentLock()
{
    static WorkbookLock *lock = nullptr;
    return lock;
}

// The error a test wants this lock call to fail with, 0 for none.
int injected(const char *call, int openFlags)
{
    const auto &hook = lockHook();
    return hook ? hook(call, openFlags) : 0;
}

// A record lock over the whole file; 0 or an error number.
int recordLock(int fd, int cmd, short type, const char *call, int openFlags)
{
    if (const int err = injected(call, openFlags))
        return err;
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    lock.l_pid = 0;
    return ::fcntl(fd, cmd, &lock) == 0 ? 0 : errno;
}

bool heldByOther(int err) { return err == EAGAIN || err == EACCES; }

bool sharingViolation(int err) { return err == EBUSY || err == ETXTBSY; }

// Network and user-space file systems, where a flock is turned into something else (a
// record lock on NFS, a mandatory lock on SMB): the probe for flocks is for local disks.
bool localFileSystem(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:       // NFS
    case 0x517BUL:       // SMB
    case 0xFF534D42UL:   // CIFS
    case 0xFE534D42UL:   // SMB2
    case 0x65735546UL:   // FUSE
        return false;
    default:
        return true;
    }
}

QString systemReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("Il programma non ha il permesso di leggere il file.");
    case EISDIR:
        return QStringLiteral("Al posto del file c'è una cartella.");
    default:
        return QStringLiteral("Il sistema non consente di aprire il file (errore %1).").arg(error);
    }
}

QByteArray readFile(const QString &path, qint64 limit)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(limit);
}

qint64 mtimeNs(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

// Our own lock files carry this in their last field, with the process number.
const QString kOwnMark = QStringLiteral("contavio:");

} // namespace

QString officeLockFilePath(const QString &workbookPath)
{
    const QFileInfo info(workbookPath);
    return info.absoluteDir().filePath(QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#'));
}

QString ownerFilePath(const QString &workbookPath)
{
    const QFileInfo info(workbookPath);
    return info.absoluteDir().filePath(QStringLiteral("~$") + info.fileName());
}

QByteArray officeLockLine(const QStringList &fields)
{
    QString line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += QLatin1Char(',');
        for (const QChar c : fields.at(i)) {
            if (c == QLatin1Char(',') || c == QLatin1Char(';') || c == QLatin1Char('\\'))
                line += QLatin1Char('\\');
            line += c;
        }
    }
    line += QLatin1Char(';');
    return line.toUtf8();
}

QStringList parseOfficeLockLine(const QByteArray &bytes)
{
    const QString line = QString::fromUtf8(bytes);
    QStringList fields;
    QString field;
    bool escaped = false;
    for (const QChar c : line) {
        if (escaped) {
            field += c;
            escaped = false;
        } else if (c == QLatin1Char('\\')) {
            escaped = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else if (c == QLatin1Char(';')) {
            break;
        } else if (c != QLatin1Char('\n') && c != QLatin1Char('\r')) {
            field += c;
        }
    }
    fields << field;
    return fields;
}

LockHolder readLockHolder(const QString &lockFile)
{
    LockHolder holder;
    const QFileInfo info(lockFile);
    if (!info.exists() && !info.isSymLink())
        return holder;
    holder.lockFile = info.absoluteFilePath();
    holder.since = info.lastModified();
    const QByteArray bytes = readFile(lockFile, 4096);
    if (info.fileName().startsWith(QStringLiteral("~$"))) {
        // The other suite's owner file: the user's name in its first byte's length, then
        // again as UTF-16 from byte 54; no machine.
        const int length = bytes.isEmpty() ? 0 : quint8(bytes.at(0));
        if (length > 0 && length <= 53 && bytes.size() > length)
            holder.user = QString::fromLatin1(bytes.mid(1, length));
        if (bytes.size() >= 56) {
            const int wide = quint8(bytes.at(54)) | (quint8(bytes.at(55)) << 8);
            if (wide > 0 && wide <= 54 && bytes.size() >= 56 + 2 * wide)
                holder.user = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 56), wide);
        }
        return holder;
    }
    const QStringList fields = parseOfficeLockLine(bytes);
    if (fields.size() >= 3) {
        holder.user = fields.at(0).trimmed().isEmpty() ? fields.at(1).trimmed() : fields.at(0).trimmed();
        holder.host = fields.at(2).trimmed();
    }
    if (fields.size() >= 4) {
        const QDateTime written = QDateTime::fromString(fields.at(3).trimmed(), QStringLiteral("dd.MM.yyyy HH:mm"));
        if (written.isValid())
            holder.since = written;
    }
    holder.ours = fields.size() >= 5 && fields.at(4).startsWith(kOwnMark);
    return holder;
}

QString thisHost()
{
    return QSysInfo::machineHostName();
}

QString thisUser()
{
    if (const struct passwd *entry = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(::geteuid());
}

QList<qint64> processesWithFileOpen(const QString &path)
{
    QList<qint64> found;
    struct stat target {};
    if (::stat(QFile::encodeName(path).constData(), &target) != 0)
        return found;
    const qint64 self = ::getpid();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : pids) {
        bool number = false;
        const qint64 pid = name.toLongLong(&number);
        if (!number || pid == self)
            continue;
        const QString fdFolder = QStringLiteral("/proc/%1/fd").arg(pid);
        const QStringList fds = QDir(fdFolder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            struct stat st {};
            if (::stat(QFile::encodeName(fdFolder + QLatin1Char('/') + fd).constData(), &st) == 0
                && st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
                found << pid;
                break;
            }
        }
    }
    return found;
}

// ---------------------------------------------------------------------------------------

WorkbookLock::~WorkbookLock()
{
    release();
}

WorkbookLock *WorkbookLock::current()
{
    return currentLock();
}

void WorkbookLock::setLockCallHook(std::function<int(const char *, int)> hook)
{
    lockHook() = std::move(hook);
}

FileState WorkbookLock::acquire(const QString &path, QString *reason, const QDateTime &now)
{
    release();
    m_path = QFileInfo(path).absoluteFilePath();
    const QByteArray native = QFile::encodeName(m_path);
    if (QFileInfo(m_path).isDir()) {
        if (reason)
            *reason = systemReason(EISDIR);
        return FileState::Unreadable;
    }

    // For reading and writing: NFS refuses a write lock on a descriptor opened only for
    // reading. A file we may not write is still opened, for reading, and locked for reading.
    // A share that another program holds open answers with a sharing violation (EBUSY, or
    // ETXTBSY): the file is in use, not unreadable.
    auto openFile = [&](int how) {
        if (const int err = injected("open", how)) {
            errno = err;
            return -1;
        }
        return ::open(native.constData(), how);
    };
    int flags = O_RDWR | O_CLOEXEC | O_NOCTTY;
    int fd = openFile(flags);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        flags = O_RDONLY | O_CLOEXEC | O_NOCTTY;
        fd = openFile(flags);
        m_readOnly = fd >= 0;
    }
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return FileState::Missing;
        if (sharingViolation(error))
            return FileState::InUse;
        if (reason)
            *reason = systemReason(error);
        return FileState::Unreadable;
    }
    const short type = m_readOnly ? F_RDLCK : F_WRLCK;

    int err = recordLock(fd, F_OFD_SETLK, type, "ofd", flags);
    LockKind kind = LockKind::Ofd;
    if (err != 0 && !heldByOther(err)) {
        err = recordLock(fd, F_SETLK, type, "posix", flags);
        kind = LockKind::Posix;
        if (err != 0 && !heldByOther(err)) {
            // Nothing here keeps a lock (ENOLCK, EOPNOTSUPP, EINVAL ...): the lock file alone.
            err = 0;
            kind = LockKind::LockFileOnly;
        }
    }
    if (err != 0) {
        ::close(fd);
        m_readOnly = false;
        return FileState::InUse;
    }
    // On a local disk a whole-file flock too, for the programs that look for that one.
    // (Not elsewhere: NFS turns it into a record lock that would clash with ours, SMB into
    // a mandatory lock.)
    if (kind != LockKind::LockFileOnly && localFileSystem(fd)) {
        int flockErr = injected("flock", flags);
        if (flockErr == 0)
            flockErr = ::flock(fd, (m_readOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0 ? 0 : errno;
        if (flockErr == EWOULDBLOCK) {
            ::close(fd);
            m_readOnly = false;
            return FileState::InUse;
        }
    }
    m_fd = fd;
    m_openFlags = flags;
    m_kind = kind;
    currentLock() = this;

    const FileState state = checkLockFiles(now);
    if (state == FileState::InUse)
        release();
    return state;
}

FileState WorkbookLock::checkLockFiles(const QDateTime &now)
{
    m_holder = {};
    for (const QString &file : {officeLockFilePath(m_path), ownerFilePath(m_path)}) {
        LockHolder holder = readLockHolder(file);
        if (!holder.valid())
            continue;
        if (holder.ours && holder.host == thisHost() && processesWithFileOpen(m_path).isEmpty()) {
            // Left by a run of ours that crashed: nothing of ours has the file open.
            if (QFile::remove(file))
                continue;
        }
        m_holder = holder;
        return FileState::LockFile;
    }
    if (!writeOwnLockFile(now) && m_kind == LockKind::LockFileOnly
        && QFileInfo::exists(officeLockFilePath(m_path))) {
        // Without record locks the lock file is the only guard, and someone was faster.
        m_holder = readLockHolder(officeLockFilePath(m_path));
        return FileState::InUse;
    }
    return FileState::Free;
}

bool WorkbookLock::holderLooksStale() const
{
    return m_holder.valid() && !m_holder.host.isEmpty()
        && m_holder.host.compare(thisHost(), Qt::CaseInsensitive) == 0
        && processesWithFileOpen(m_path).isEmpty();
}

bool WorkbookLock::clearStaleLock(const QDateTime &now)
{
    if (!m_holder.valid() || !held())
        return false;
    if (!QFile::remove(m_holder.lockFile) && QFileInfo::exists(m_holder.lockFile))
        return false;
    m_holder = {};
    return checkLockFiles(now) == FileState::Free;
}

bool WorkbookLock::writeOwnLockFile(const QDateTime &now)
{
    const QString user = thisUser();
    const QByteArray line = officeLockLine({QStringLiteral("Contavio (%1)").arg(user), user, thisHost(),
                                            now.toString(QStringLiteral("dd.MM.yyyy HH:mm")),
                                            kOwnMark + QString::number(::getpid())});
    const QByteArray native = QFile::encodeName(officeLockFilePath(m_path));
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, line.constData(), size_t(line.size())) == line.size();
    ::close(fd);
    if (!written) {
        ::unlink(native.constData());
        return false;
    }
    m_ownLine = line;
    return true;
}

void WorkbookLock::release()
{
    if (!m_ownLine.isEmpty()) {
        const QString file = officeLockFilePath(m_path);
        if (readFile(file, 4096) == m_ownLine)
            QFile::remove(file);
        m_ownLine.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);   // the locks go with the descriptor
        m_fd = -1;
    }
    if (currentLock() == this)
        currentLock() = nullptr;
    m_kind = LockKind::None;
    m_readOnly = false;
    m_holder = {};
}

QByteArray WorkbookLock::readAll()
{
    if (m_fd < 0)
        return {};
    QByteArray bytes = store::readDescriptor(m_fd, m_path);
    struct stat st {};
    if (::fstat(m_fd, &st) == 0) {
        m_identity.device = st.st_dev;
        m_identity.inode = st.st_ino;
        m_identity.mtimeNs = mtimeNs(st);
    }
    m_identity.size = bytes.size();
    m_identity.hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return bytes;
}

QString WorkbookLock::changeOnDisk() const
{
    if (m_fd < 0 || m_identity.size < 0)
        return {};
    struct stat st {};
    if (::stat(QFile::encodeName(QFileInfo(m_path).canonicalFilePath().isEmpty()
                                     ? m_path : QFileInfo(m_path).canonicalFilePath()).constData(), &st) != 0)
        return QStringLiteral("il file non c'è più");
    if (st.st_dev != m_identity.device || st.st_ino != m_identity.inode)
        return QStringLiteral("il file è stato sostituito");
    if (qint64(st.st_size) != m_identity.size || mtimeNs(st) != m_identity.mtimeNs)
        return QStringLiteral("il file è stato riscritto");
    // Same size and time: the bytes themselves, through our descriptor on the same file.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    qint64 offset = 0;
    for (;;) {
        const ssize_t n = ::pread(m_fd, chunk.data(), size_t(chunk.size()), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return QStringLiteral("il file non si può più leggere");
        if (n == 0)
            break;
        hash.addData(QByteArrayView(chunk.constData(), n));
        offset += n;
    }
    if (hash.result() != m_identity.hash)
        return QStringLiteral("il contenuto del file è cambiato");
    return {};
}

} // namespace app
