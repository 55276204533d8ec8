#include "startup.h"

#include "store/layout/sheets.h"
#include "store/model/workbook.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace app {

QString alreadyOpenMessage()
{
    return QStringLiteral("ERRORE: Risulta che il database Contavio.xls è già aperto")
        + QLatin1Char('\n')
        + QStringLiteral(" Occorre chiuderlo e  poi si potrà riaprire l'applicazione !");
}

QString notFoundMessage(const QString &path)
{
    return QStringLiteral("Impossibile eseguire il programma\r\nIl file ") + path
        + QStringLiteral(" non è stato trovato.");
}

QString openFailedMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("Impossibile aprire il file %1.\n%2\nIl file non è stato modificato.")
        .arg(path, reason);
}

namespace {

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

// Whether another process holds a POSIX record lock on the open file.
bool recordLockedElsewhere(int fd)
{
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;   // the whole file
    if (fcntl(fd, F_GETLK, &probe) != 0)
        return false;
    return probe.l_type != F_UNLCK;
}

} // namespace

WorkbookLock::~WorkbookLock()
{
    release();
}

QStringList WorkbookLock::foreignLockFiles(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath() + QLatin1Char('/');
    return {folder + QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#'),
            folder + QStringLiteral("~$") + info.fileName()};
}

FileState WorkbookLock::acquire(const QString &path, QString *reason)
{
    release();
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return FileState::Missing;
        if (reason)
            *reason = systemReason(error);
        return FileState::Unreadable;
    }
    if (QFileInfo(path).isDir()) {
        ::close(fd);
        if (reason)
            *reason = systemReason(EISDIR);
        return FileState::Unreadable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return FileState::InUse;
    }
    if (recordLockedElsewhere(fd)) {
        ::flock(fd, LOCK_UN);
        ::close(fd);
        return FileState::InUse;
    }
    for (const QString &lockFile : foreignLockFiles(path)) {
        if (QFileInfo::exists(lockFile)) {
            ::flock(fd, LOCK_UN);
            ::close(fd);
            return FileState::InUse;
        }
    }
    m_fd = fd;
    return FileState::Free;
}

void WorkbookLock::release()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

void ensureSheet(store::Workbook &book, const QString &name)
{
    if (book.findSheet(name))
        return;
    store::Worksheet &added = book.addSheetAfter(book.sheet(book.sheetCount()));
    added.setName(name);
}

namespace {

// Active sheet, row 2 selected and frozen below the titles, titles over row 1 from A.
store::Worksheet &writeTitles(store::Workbook &book, const store::layout::SheetLayout &layout)
{
    store::Worksheet &sheet = book.sheet(layout.name);
    sheet.select();
    store::layout::writeTitleRow(sheet, layout);
    return sheet;
}

} // namespace

void writeIncassiTitles(store::Workbook &book)
{
    writeTitles(book, store::layout::incassi());
}

void writePagamentiTitles(store::Workbook &book)
{
    writeTitles(book, store::layout::pagamenti());
}

void apertura(store::Workbook &book)
{
    const store::layout::SheetLayout &layout = store::layout::anagrafe();
    store::Worksheet &sheet = writeTitles(book, layout);
    for (const QString &column : layout.textColumns) {
        sheet.range(column + QLatin1Char(':') + column).select();
        sheet.selection().setNumberFormat(QStringLiteral("@"));
    }
    sheet.range(QStringLiteral("A2")).select();
}

void fitColumns(store::Workbook &book)
{
    for (int index = 1; index <= book.sheetCount(); ++index)
        book.sheet(index).usedRange().autoFitColumns();
}

void shapeWorkbook(store::Workbook &book)
{
    for (const store::layout::SheetLayout *layout : store::layout::dataSheets())
        ensureSheet(book, layout->name);
    writeIncassiTitles(book);
    writePagamentiTitles(book);
    apertura(book);
    fitColumns(book);
}

} // namespace app
