#pragma once

// Where a document of these views goes: the current printer, or a PDF file the user names
// (then offered to open). Failures are told in the program's boxes; nothing is half-written.

#include <QString>

#include <optional>

namespace controls { struct Session; }

namespace dueviews {

struct PrintDoc;

// On the printer the system prints to when none is named. False when nothing was printed.
bool printOnPrinter(controls::Session &session, const PrintDoc &doc);
// Asks where, beside the workbook as "<name>-dd-MM-yyyy.pdf", writes the file and offers to
// open it. The path written; nullopt when cancelled or not written.
std::optional<QString> exportPdf(controls::Session &session, const PrintDoc &doc, const QString &name);

} // namespace dueviews
