#include "store/file/savefile.h"

#include "store/model/errors.h"
#include "store/biff/biff.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace store {

namespace {

std::function<int(const char *)> &faultHook()
{
    static std::function<int(const char *)> hook;
    return hook;
}

// The error a test wants this step to fail with, 0 for none.
int injectedFault(const char *step)
{
    const auto &hook = faultHook();
    if (!hook)
        return 0;
    const int err = hook(step);
    if (err != 0)
        errno = err;
    return err;
}

QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// The common reasons a save fails, told to the user; the system's own text stays in the detail.
QString italianReason(int err)
{
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral(": il disco è pieno");
    case EACCES:
    case EPERM:
        return QStringLiteral(": manca il permesso di scrivere nella cartella del file");
    case EROFS:
        return QStringLiteral(": il disco è in sola lettura");
    case EIO:
        return QStringLiteral(": errore di scrittura sul disco");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral(": il file è in uso da un altro programma");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral(": la cartella del file non c'è più");
    case EFBIG:
        return QStringLiteral(": il file è troppo grande per il disco");
    case ENAMETOOLONG:
        return QStringLiteral(": il nome del file è troppo lungo");
    case EISDIR:
        return QStringLiteral(": al posto del file c'è una cartella");
    case ESTALE:
    case ENOTCONN:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ETIMEDOUT:
    case ECONNRESET:
        return QStringLiteral(": la cartella di rete non è raggiungibile");
    case ENOMEM:
        return QStringLiteral(": memoria insufficiente");
    case 0:
        return QString();
    default:
        return QStringLiteral(": ") + systemReason(err);
    }
}

[[noreturn]] void fail(const QString &path, const QString &detail, int err = 0)
{
    throw StoreError(ErrorKind::Io,
                     QStringLiteral("Impossibile salvare il file %1%2.").arg(QFileInfo(path).fileName(), italianReason(err)),
                     detail);
}

// The file a save really replaces: the target of a symbolic link (followed to its end), or
// the path itself.
QString realTarget(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        QString target = info.symLinkTarget();   // absolute
        if (target.isEmpty())
            return current;
        current = target;
    }
    fail(path, QStringLiteral("troppi collegamenti simbolici"));
}

bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        if (injectedFault("write"))
            return false;
        const ssize_t n = ::write(fd, data, size_t(std::min<qsizetype>(size, 1 << 20)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// The same at an offset, without moving the descriptor's own.
bool writeAllAt(int fd, const char *data, qsizetype size, off_t offset)
{
    while (size > 0) {
        if (injectedFault("write"))
            return false;
        const ssize_t n = ::pwrite(fd, data, size_t(std::min<qsizetype>(size, 1 << 20)), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

thread_local SaveMethod lastMethod = SaveMethod::Rename;

// Every extended attribute of `from` (ACLs are among them) onto `to`; false when one cannot
// be set there. A file system without attributes has nothing to copy.
bool copyAttributes(const QByteArray &from, int to)
{
    ssize_t size = ::listxattr(from.constData(), nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP;
    if (size == 0)
        return true;
    QByteArray names(size, Qt::Uninitialized);
    size = ::listxattr(from.constData(), names.data(), size_t(names.size()));
    if (size < 0)
        return false;
    for (const QByteArray &name : names.left(size).split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = ::getxattr(from.constData(), name.constData(), nullptr, 0);
        if (length < 0)
            return false;
        QByteArray value(length, Qt::Uninitialized);
        const ssize_t got = ::getxattr(from.constData(), name.constData(), value.data(), size_t(value.size()));
        if (got < 0 || ::fsetxattr(to, name.constData(), value.constData(), size_t(got), 0) != 0)
            return false;
    }
    return true;
}

void syncFolder(const QString &folder)
{
    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

// The name an in-place save gives the old version it puts aside, before its six random letters.
QString asideCopyPrefix(const QString &fileName)
{
    return QStringLiteral(".~") + fileName + QStringLiteral(".originale-");
}

// A private file holding `bytes`, flushed: in `folder` when it takes new files, else in the
// system's temporary folder. Empty when neither does.
QByteArray writeAsideCopy(const QStringList &folders, const QString &fileName, const QByteArray &bytes,
                          const struct timespec &modified)
{
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        ::mkdir(QFile::encodeName(folder).constData(), 0777);
        QByteArray name = QFile::encodeName(folder + u'/' + asideCopyPrefix(fileName) + QStringLiteral("XXXXXX"));
        if (injectedFault("aside"))
            return {};
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0)
            continue;
        // With the old version's own time, so that a copy left by a save cut off half-way is
        // later kept in Backup under the name of that version.
        const struct timespec times[2] = {{0, UTIME_OMIT}, modified};
        const bool written = writeAll(fd, bytes.constData(), bytes.size()) && ::futimens(fd, times) == 0
            && ::fsync(fd) == 0;
        ::close(fd);
        if (written)
            return name;
        ::unlink(name.constData());
    }
    return {};
}

// The in-place save: the old version aside, the new bytes through the file itself, the old
// ones written back when that fails.
void saveInPlace(const QString &path, const QString &target, const QByteArray &bytes, int heldFd)
{
    lastMethod = SaveMethod::InPlace;
    const QByteArray native = QFile::encodeName(target);
    const int fd = heldFd >= 0 ? heldFd : ::open(native.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        fail(path, systemReason(err), err);
    }
    auto closeOwn = [&] {
        if (fd != heldFd)
            ::close(fd);
    };
    QByteArray old;
    struct stat oldStat {};
    oldStat.st_mtim = {0, UTIME_OMIT};   // the copy's own time, should the system not say
    ::fstat(fd, &oldStat);
    try {
        old = readDescriptor(fd, path);
    } catch (const StoreError &error) {
        closeOwn();
        fail(path, error.detail(), EIO);
    }
    const QFileInfo info(target);
    const QByteArray aside = writeAsideCopy({backupFolder(target), QDir::tempPath()},
                                            info.fileName(), old, oldStat.st_mtim);
    if (aside.isEmpty()) {
        closeOwn();
        throw StoreError(ErrorKind::Io,
                         QStringLiteral("Impossibile salvare il file %1: non c'è posto per una copia di sicurezza "
                                        "della versione attuale.").arg(QFileInfo(path).fileName()),
                         target);
    }
    int err = injectedFault("inplace");
    if (err == 0 && !writeAllAt(fd, bytes.constData(), bytes.size(), 0))
        err = errno;
    if (err == 0 && ::ftruncate(fd, off_t(bytes.size())) != 0)
        err = errno;
    if (err == 0 && (injectedFault("fsync") || ::fsync(fd) != 0))
        err = errno;
    if (err != 0) {
        // The old version goes back; when even that fails, the copy aside is left for the user.
        const bool restored = writeAllAt(fd, old.constData(), old.size(), 0)
            && ::ftruncate(fd, off_t(old.size())) == 0 && ::fsync(fd) == 0;
        closeOwn();
        if (!restored)
            throw StoreError(ErrorKind::Io,
                             QStringLiteral("Impossibile salvare il file %1%2. Anche la versione precedente non è "
                                            "stata rimessa a posto: se ne trova una copia in %3.")
                                 .arg(QFileInfo(path).fileName(), italianReason(err), QFile::decodeName(aside)),
                             systemReason(err));
        ::unlink(aside.constData());
        fail(path, systemReason(err), err);
    }
    closeOwn();
    ::unlink(aside.constData());
}

} // namespace

void setSaveFaultHook(std::function<int(const char *step)> hook)
{
    faultHook() = std::move(hook);
}

QString saveTempPrefix(const QString &fileName)
{
    return QStringLiteral(".~") + fileName + QStringLiteral(".salvataggio-");
}

SaveMethod lastSaveMethod()
{
    return lastMethod;
}

QString italianCause(int err)
{
    const QString reason = italianReason(err);
    return reason.startsWith(u':') ? reason.mid(2) : reason;
}

void writeFileAtomically(const QString &path, const QByteArray &bytes, int heldFd)
{
    lastMethod = SaveMethod::Rename;
    const QString target = realTarget(path);
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    const QByteArray nativeTarget = QFile::encodeName(target);
    QByteArray tmpl = QFile::encodeName(folder + u'/' + saveTempPrefix(info.fileName()) + QStringLiteral("XXXXXX"));

    struct stat original {};
    const bool exists = ::stat(nativeTarget.constData(), &original) == 0;

    // A file the user made read-only is not replaced behind their back.
    if (exists && ::access(nativeTarget.constData(), W_OK) != 0) {
        const int err = errno;
        throw StoreError(ErrorKind::Io,
                         QStringLiteral("Impossibile salvare il file %1: il file è in sola lettura.").arg(QFileInfo(path).fileName()),
                         systemReason(err));
    }
    if (exists && S_ISDIR(original.st_mode))
        fail(path, systemReason(EISDIR), EISDIR);
    // Hard links would keep the old version under their other names.
    if (exists && original.st_nlink > 1)
        return saveInPlace(path, target, bytes, heldFd);

    int fd = injectedFault("create") ? -1 : ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        // A folder that takes no new files, but the file itself may be written.
        if (exists && (err == EACCES || err == EPERM))
            return saveInPlace(path, target, bytes, heldFd);
        fail(path, systemReason(err), err);
    }
    const QByteArray tmpName = tmpl;
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tmpName.constData());
        fail(path, systemReason(err), err);
    };
    // The temporary file cannot become the same file as the original: saved in place instead.
    auto inPlaceInstead = [&] {
        ::close(fd);
        ::unlink(tmpName.constData());
        saveInPlace(path, target, bytes, heldFd);
    };

    if (!writeAll(fd, bytes.constData(), bytes.size()))
        abandon(errno);
    if (exists && (original.st_uid != ::geteuid() || original.st_gid != ::getegid())
        && ::fchown(fd, original.st_uid, original.st_gid) != 0)
        return inPlaceInstead();   // another user's file, or a group we are not in
    mode_t mode;
    if (exists) {
        mode = original.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        abandon(errno);
    if (exists && !copyAttributes(nativeTarget, fd))
        return inPlaceInstead();
    if (injectedFault("fsync") || ::fsync(fd) != 0)
        abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpName.constData());
        fail(path, systemReason(err), err);
    }
    if (injectedFault("rename") || ::rename(tmpName.constData(), nativeTarget.constData()) != 0) {
        const int err = errno;
        ::unlink(tmpName.constData());
        // A sticky folder refuses to replace another user's file, which we may still write.
        if (exists && err == EPERM)
            return saveInPlace(path, target, bytes, heldFd);
        fail(path, systemReason(err), err);
    }
    // The rename itself reaches the disk with the folder.
    syncFolder(folder);
}

int removeLeftoverSaveFiles(const QString &path)
{
    const QFileInfo info(realTarget(path));
    QDir dir(info.absolutePath());
    const QString prefix = saveTempPrefix(info.fileName());
    int removed = 0;
    const QStringList names = dir.entryList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name.size() == prefix.size() + 6 && dir.remove(name))
            ++removed;
    }
    return removed;
}

QByteArray readDescriptor(int fd, const QString &path, qint64 limit)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile leggere il file %1.").arg(QFileInfo(path).fileName()),
                         systemReason(err));
    }
    if (st.st_size > limit)
        throw StoreError(ErrorKind::Limit, QStringLiteral("Il file %1 è troppo grande.").arg(QFileInfo(path).fileName()),
                         QStringLiteral("%1 byte").arg(qint64(st.st_size)));
    QByteArray bytes = biff::largeBuffer(qsizetype(st.st_size));
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile leggere il file %1.").arg(QFileInfo(path).fileName()),
                             systemReason(err));
        }
        if (n == 0)
            break;   // a file that shrank while being read is judged on what was read
        got += n;
    }
    bytes.truncate(qsizetype(got));
    return bytes;
}

QByteArray readWholeFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = (fd < 0 || !S_ISDIR(st.st_mode)) ? errno : EISDIR;
        if (fd >= 0)
            ::close(fd);
        throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile aprire il file %1.").arg(QFileInfo(path).fileName()),
                         systemReason(err));
    }
    try {
        QByteArray bytes = readDescriptor(fd, path);
        ::close(fd);
        return bytes;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

QString backupFolder(const QString &path)
{
    return QFileInfo(realTarget(path)).absoluteDir().filePath(QStringLiteral("Backup"));
}

namespace {

[[noreturn]] void backupFailed(const QString &path, int err)
{
    throw StoreError(ErrorKind::Io,
                     QStringLiteral("Impossibile conservare la versione precedente di %1 nella cartella Backup%2.")
                         .arg(QFileInfo(path).fileName(), italianReason(err)),
                     systemReason(err));
}

QFileInfoList newestFirst(const QString &folder, const QString &pattern)
{
    QFileInfoList files = QDir(folder).entryInfoList({pattern}, QDir::Files | QDir::Hidden | QDir::System);
    std::sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        const QDateTime ta = a.lastModified(), tb = b.lastModified();
        return ta != tb ? ta > tb : a.fileName() > b.fileName();
    });
    return files;
}

qint64 nanoseconds(const struct timespec &t)
{
    return qint64(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

} // namespace

FileVersion currentVersion(const QString &path, int fd)
{
    FileVersion version;
    const QString target = realTarget(path);
    struct stat st {};
    if (fd >= 0 ? ::fstat(fd, &st) != 0 : ::stat(QFile::encodeName(target).constData(), &st) != 0)
        return version;
    version.exists = true;
    version.modifiedNs = nanoseconds(st.st_mtim);
    version.bytes = fd >= 0 ? readDescriptor(fd, path) : readWholeFile(target);
    return version;
}

QString keepVersion(const QString &path, const FileVersion &version, const QDateTime &now)
{
    if (!version.exists)
        return {};
    const QString folder = backupFolder(path);
    const QByteArray nativeFolder = QFile::encodeName(folder);
    if (::mkdir(nativeFolder.constData(), 0777) != 0 && errno != EEXIST)
        backupFailed(path, errno);

    const QFileInfo info(realTarget(path));
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QString pattern = info.completeBaseName() + QStringLiteral("-*") + suffix;
    // A version kept already (the same bytes) is not kept twice.
    for (const QFileInfo &kept : newestFirst(folder, pattern)) {
        if (kept.size() != version.bytes.size())
            continue;
        QFile file(kept.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly) && file.readAll() == version.bytes)
            return kept.absoluteFilePath();
    }

    const QDateTime time = QDateTime::fromMSecsSinceEpoch(version.modifiedNs / 1000000);
    const QString stem = info.completeBaseName() + u'-' + time.toString(QStringLiteral("dd-MM-yyyy-HH.mm.ss"));
    const QDir dir(folder);
    QString kept = dir.filePath(stem + suffix);
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = dir.filePath(stem + QStringLiteral("-%1").arg(n) + suffix);
    try {
        writeFileAtomically(kept, version.bytes);
    } catch (const StoreError &error) {
        throw StoreError(ErrorKind::Io,
                         QStringLiteral("Impossibile conservare la versione precedente di %1 nella cartella Backup.")
                             .arg(QFileInfo(path).fileName()),
                         error.userMessage() + u' ' + error.detail());
    }
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {time_t(version.modifiedNs / 1000000000LL), long(version.modifiedNs % 1000000000LL)}};
    ::utimensat(AT_FDCWD, QFile::encodeName(kept).constData(), times, 0);
    pruneVersions(folder, pattern, kBackupsNewest, kBackupDays, now);
    return kept;
}

int pruneVersions(const QString &folder, const QString &pattern, int newest, int days, const QDateTime &now)
{
    const QDate today = (now.isValid() ? now : QDateTime::currentDateTime()).date();
    const QDate firstDay = today.addDays(-(days - 1));
    const QFileInfoList files = newestFirst(folder, pattern);
    QSet<QDate> daysKept;
    int removed = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QDate day = files.at(i).lastModified().date();
        const bool newestOfItsDay = day >= firstDay && day <= today && !daysKept.contains(day);
        if (newestOfItsDay)
            daysKept.insert(day);
        if (i < newest || newestOfItsDay)
            continue;
        if (QFile::remove(files.at(i).absoluteFilePath()))
            ++removed;
    }
    return removed;
}

int keepNewest(const QString &folder, const QString &pattern, int keep)
{
    const QFileInfoList files = newestFirst(folder, pattern);
    int removed = 0;
    for (qsizetype i = std::max(keep, 0); i < files.size(); ++i) {
        if (QFile::remove(files.at(i).absoluteFilePath()))
            ++removed;
    }
    return removed;
}

int fileLeftoverOriginals(const QString &path)
{
    const QDir backups(backupFolder(path));
    const QString prefix = asideCopyPrefix(QFileInfo(realTarget(path)).fileName());
    int filed = 0;
    for (const QString &name : backups.entryList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System)) {
        const QString leftover = backups.filePath(name);
        struct stat st {};
        if (name.size() != prefix.size() + 6 || ::stat(QFile::encodeName(leftover).constData(), &st) != 0)
            continue;
        try {
            keepVersion(path, FileVersion{true, readWholeFile(leftover), nanoseconds(st.st_mtim)});
        } catch (const StoreError &) {
            continue;   // left where it is, for the next start
        }
        if (QFile::remove(leftover))
            ++filed;
    }
    return filed;
}

} // namespace store
