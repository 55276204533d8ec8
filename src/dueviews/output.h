#pragma once

// Where a document of these views goes: the current printer, or a PDF file the user names
// (then offered to open). Failures are told in the program's boxes; nothing is half-written.

#include <QDate>
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

// The two halves of that, for any PDF: the save box with the suggested name (nullopt when
// cancelled), and the offer to open what was written.
std::optional<QString> askPdfPath(controls::Session &session, const QString &name, QDate date);
void offerToOpen(controls::Session &session, const QString &path);
// The box telling that `path` could not be written.
void tellNotWritten(controls::Session &session, const QString &path);

} // namespace dueviews
