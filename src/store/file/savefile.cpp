#include "store/file/savefile.h"

#include "store/model/errors.h"
#include "store/biff/biff.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
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
    default:
        return QString();
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

} // namespace

void setSaveFaultHook(std::function<int(const char *step)> hook)
{
    faultHook() = std::move(hook);
}

QString saveTempPrefix(const QString &fileName)
{
    return QStringLiteral(".~") + fileName + QStringLiteral(".salvataggio-");
}

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QString target = realTarget(path);
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    QByteArray tmpl = QFile::encodeName(folder + u'/' + saveTempPrefix(info.fileName()) + QStringLiteral("XXXXXX"));

    struct stat original {};
    const bool exists = ::stat(QFile::encodeName(target).constData(), &original) == 0;

    // A file the user made read-only is not replaced behind their back.
    if (exists && ::access(QFile::encodeName(target).constData(), W_OK) != 0) {
        const int err = errno;
        throw StoreError(ErrorKind::Io,
                         QStringLiteral("Impossibile salvare il file %1: il file è in sola lettura.").arg(QFileInfo(path).fileName()),
                         systemReason(err));
    }

    int fd = injectedFault("create") ? -1 : ::mkstemp(tmpl.data());
    if (fd < 0) {
        const int err = errno;
        fail(path, systemReason(err), err);
    }
    const QByteArray tmpName = tmpl;
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tmpName.constData());
        fail(path, systemReason(err), err);
    };

    if (!writeAll(fd, bytes.constData(), bytes.size()))
        abandon(errno);
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
    if (exists && (original.st_uid != ::geteuid() || original.st_gid != ::getegid())) {
        // Keep the owner when we may; a user saving someone else's file keeps it readable
        // through the permissions above.
        [[maybe_unused]] int ignored = ::fchown(fd, original.st_uid, original.st_gid);
    }
    if (injectedFault("fsync") || ::fsync(fd) != 0)
        abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpName.constData());
        fail(path, systemReason(err), err);
    }
    if (injectedFault("rename") || ::rename(tmpName.constData(), QFile::encodeName(target).constData()) != 0) {
        const int err = errno;
        ::unlink(tmpName.constData());
        fail(path, systemReason(err), err);
    }
    // The rename itself reaches the disk with the folder.
    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
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

} // namespace

QString keepBackup(const QString &path, int keep)
{
    const QString target = realTarget(path);
    const QByteArray nativeTarget = QFile::encodeName(target);
    struct stat original {};
    if (::stat(nativeTarget.constData(), &original) != 0)
        return {};
    const QString folder = backupFolder(path);
    const QByteArray nativeFolder = QFile::encodeName(folder);
    if (::mkdir(nativeFolder.constData(), 0777) != 0 && errno != EEXIST)
        backupFailed(path, errno);

    const QFileInfo info(target);
    const QDateTime time = QDateTime::fromSecsSinceEpoch(original.st_mtim.tv_sec);
    const QString stem = info.completeBaseName() + u'-' + time.toString(QStringLiteral("dd-MM-yyyy-HH.mm.ss"));
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QDir dir(folder);
    QString kept = dir.filePath(stem + suffix);
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = dir.filePath(stem + QStringLiteral("-%1").arg(n) + suffix);
    const QByteArray nativeKept = QFile::encodeName(kept);

    int err = injectedFault("link");
    if (err == 0 && ::link(nativeTarget.constData(), nativeKept.constData()) != 0)
        err = errno;
    if (err != 0) {
        // No hard links here (some shares): a copy of the bytes, with the version's time.
        QFile source(target);
        if (!source.open(QIODevice::ReadOnly))
            backupFailed(path, source.error() == QFileDevice::PermissionsError ? EACCES : EIO);
        const QByteArray bytes = source.readAll();
        if (source.error() != QFileDevice::NoError || bytes.size() != qsizetype(original.st_size))
            backupFailed(path, EIO);
        try {
            writeFileAtomically(kept, bytes);
        } catch (const StoreError &error) {
            throw StoreError(ErrorKind::Io,
                             QStringLiteral("Impossibile conservare la versione precedente di %1 nella cartella Backup.")
                                 .arg(QFileInfo(path).fileName()),
                             error.userMessage() + u' ' + error.detail());
        }
        const struct timespec times[2] = {original.st_atim, original.st_mtim};
        ::utimensat(AT_FDCWD, nativeKept.constData(), times, 0);
    }
    keepNewest(folder, info.completeBaseName() + QStringLiteral("-*") + suffix, keep);
    return kept;
}

int keepNewest(const QString &folder, const QString &pattern, int keep)
{
    QDir dir(folder);
    QFileInfoList files = dir.entryInfoList({pattern}, QDir::Files | QDir::Hidden | QDir::System);
    std::sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        const QDateTime ta = a.lastModified(), tb = b.lastModified();
        return ta != tb ? ta > tb : a.fileName() > b.fileName();
    });
    int removed = 0;
    for (qsizetype i = std::max(keep, 0); i < files.size(); ++i) {
        if (QFile::remove(files.at(i).absoluteFilePath()))
            ++removed;
    }
    return removed;
}

} // namespace store
