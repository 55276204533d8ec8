#pragma once

#include <functional>

namespace controls { struct Session; }

namespace app {

// Ends the program with an exit code: by default QCoreApplication::exit(code). Tests put
// their own handler in place to see the end without leaving.
void endProgram(int code);
void setEndProgramHandler(std::function<void(int)> handler);   // empty: back to the default

// The way out: server alerts off, save the active workbook, close it, quit the server,
// end the program. When the save fails, the user is told why in a critical box and the
// program goes on with the workbook still open, so nothing typed in this run is lost;
// the answer is then false.
bool leaveProgram(controls::Session &session);

} // namespace app
