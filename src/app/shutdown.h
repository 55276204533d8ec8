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

// The way out: server alerts off, save the active workbook, close it, quit the server,
// end the program, our lock file removed.
// - A workbook where nothing changed since it was read is not written: the file and its
//   backups stay as they are.
// - When the user chose at the start to go on where the file cannot be written, nothing is
//   tried: one line says that nothing was saved.
// - Before the save, the file on disk must still be the one read at the start: when another
//   program changed or replaced it, it is left alone and the workbook goes beside it under
//   datedCopyPath(), and the user is told which file holds what.
// - Once the save has succeeded, the version it replaced is kept in the Backup folder
//   (store::keepVersion).
// - When the save fails, the user is told why in a critical box and then asked whether to
//   leave without saving (No is the default); on No the program goes on with the workbook
//   still open, so nothing typed in this run is lost, and the answer is false.
bool leaveProgram(controls::Session &session);

// "<stem>-dd-MM-yyyy-HH.mm.ss.xls" beside the workbook, a number added when taken.
QString datedCopyPath(const QString &workbookPath, const QDateTime &when);
QString changedOnDiskMessage(const QString &workbookPath, const QString &change, const QString &datedPath);
QString nothingSavedMessage(const QString &workbookPath);
// `recoveryPath`: the recovery copy that outlives the run, empty when none.
QString leaveUnsavedQuestion(const QString &workbookPath, const QString &recoveryPath);

} // namespace app
