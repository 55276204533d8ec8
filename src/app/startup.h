#pragma once

// What the start form does to the workbook before any window appears: the in-use test and
// the lock that keeps a second copy out, the sheets and their title rows, the column widths.
// No widgets here, so the steps can be tested on their own.

#include <QString>
#include <QStringList>

namespace store { class Workbook; class Worksheet; }

namespace app {

inline const QString kWorkbookName = QStringLiteral("Contavio.xls");
inline const QString kWorkbookPassword = QStringLiteral("Tevo1963");

// The messages of the start-up checks.
QString alreadyOpenMessage();
QString notFoundMessage(const QString &path);
QString openFailedMessage(const QString &path, const QString &reason);

// The state of the workbook file when the program starts.
enum class FileState {
    Free,        // exists, readable, and now locked by us
    InUse,       // another process holds a lock on it, or another office program's lock file sits beside it
    Missing,     // no such file
    Unreadable,  // exists, but the system refuses to open it (permissions and the like)
};

// An exclusive advisory lock (flock) on the workbook, held from the in-use test to the end
// of the run. A second copy of the program finds the file locked. The lock also answers
// for POSIX record locks that other programs put on a file they keep open.
class WorkbookLock {
public:
    WorkbookLock() = default;
    ~WorkbookLock();
    WorkbookLock(const WorkbookLock &) = delete;
    WorkbookLock &operator=(const WorkbookLock &) = delete;

    // Tries to take the lock. On Unreadable, `reason` gets an Italian sentence.
    FileState acquire(const QString &path, QString *reason = nullptr);
    void release();
    bool held() const { return m_fd >= 0; }

    // The lock files other office programs keep beside a document they have open.
    static QStringList foreignLockFiles(const QString &path);

private:
    int m_fd = -1;
};

// Adds the sheet after the last one when the workbook has none of that name.
void ensureSheet(store::Workbook &book, const QString &name);

// Title rows (store/layout/sheets.h): each makes its sheet active, freezes row 1 and
// rewrites row 1.
void writeIncassiTitles(store::Workbook &book);
void writePagamentiTitles(store::Workbook &book);
// "Anagrafe": titles, the text columns, A2 selected; the sheet is left active.
void apertura(store::Workbook &book);

// Auto-fits the used range of every sheet, in workbook order.
void fitColumns(store::Workbook &book);

// Steps 7 to 9 of the start: sheets, title rows, column widths.
void shapeWorkbook(store::Workbook &book);

} // namespace app
