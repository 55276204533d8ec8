#pragma once

// What the start form does to the workbook before any window appears: the in-use test and
// the lock that keeps a second copy out, the sheets and their title rows, the column widths.
// No widgets here, so the steps can be tested on their own.

#include "filelock.h"
#include "records/layout.h"

#include <QString>
#include <QStringList>

namespace store { class Workbook; class Worksheet; }

namespace app {

using records::layout::kWorkbookName;
using records::layout::kWorkbookPassword;

// The messages of the start-up checks.
QString alreadyOpenMessage();
QString notFoundMessage(const QString &path);
QString openFailedMessage(const QString &path, const QString &reason);
// The already-open message, with who holds the lock file and since when when there is one.
QString inUseMessage(const LockHolder &holder);
// The same for a lock file of this machine that no running program holds, asking whether
// to open the workbook anyway.
QString staleLockQuestion(const LockHolder &holder);
// The lock file that still blocks after the stale one was to go (it could not be removed,
// or another one is behind it).
QString staleLockNotRemovedMessage(const LockHolder &holder);
// The workbook, or its folder, cannot be written: go on without saving, or end.
QString readOnlyQuestion(const QString &path, bool fileReadOnly, bool folderReadOnly);

// Adds the sheet after the last one when the workbook has none of that name.
void ensureSheet(store::Workbook &book, const QString &name);

// Title rows (records/layout.h): each makes its sheet active, freezes row 1 and
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
