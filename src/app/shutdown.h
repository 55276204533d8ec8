#pragma once

#include <QString>

#include <functional>

class QDateTime;

namespace controls { struct Session; }

namespace app {

// Ends the program with an exit code: by default QCoreApplication::exit(code). Tests put
// their own handler in place to see the end without leaving.
void endProgram(int code);
void setEndProgramHandler(std::function<void(int)> handler);   // empty: back to the default

// How many replaced versions the Backup folder keeps.
constexpr int kBackupsKept = 20;

// The way out: server alerts off, save the active workbook, close it, quit the server,
// end the program, our lock file removed.
// - Before the save, the file on disk must still be the one read at the start: when another
//   program changed or replaced it, it is left alone and the workbook goes beside it under
//   datedCopyPath(), and the user is told which file holds what.
// - The version the save replaces is first kept in the Backup folder.
// - When the save fails, the user is told why in a critical box and then asked whether to
//   leave without saving; on No the program goes on with the workbook still open, so
//   nothing typed in this run is lost, and the answer is false.
bool leaveProgram(controls::Session &session);

// "<stem>-dd-MM-yyyy-HH.mm.ss.xls" beside the workbook, a number added when taken.
QString datedCopyPath(const QString &workbookPath, const QDateTime &when);
QString changedOnDiskMessage(const QString &workbookPath, const QString &change, const QString &datedPath);
// `recoveryPath`: the recovery copy that outlives the run, empty when none.
QString leaveUnsavedQuestion(const QString &workbookPath, const QString &recoveryPath);

} // namespace app
