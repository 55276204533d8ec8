#include "output.h"

#include "printdoc.h"

#include "controls/dialogs.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "store/model/workbook.h"
#include "store/print/printing.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace dueviews {

namespace {

void tell(controls::Session &session, const QString &text)
{
    if (session.dialogs)
        session.dialogs->message(controls::BoxKind::Plain, text, controls::titles::kTitle);
}

QString workbookFolder(controls::Session &session)
{
    try {
        const QString path = session.workbook().path();
        if (!path.isEmpty())
            return QFileInfo(path).absolutePath();
    } catch (const std::exception &) {
    }
    return QDir::homePath();
}

} // namespace

bool printOnPrinter(controls::Session &session, const PrintDoc &doc)
{
    store::PrintTarget *printers = session.printers;
    const QString printer = printers ? printers->currentPrinterName() : QString();
    if (printer.isEmpty()) {
        tell(session, QStringLiteral("Nessuna stampante installata: potete salvare il documento con \"PDF\"."));
        return false;
    }
    QPagedPaintDevice *device = printers->beginJob(printer, pageLayoutOf(doc), 1, doc.jobName);
    if (!device) {
        tell(session, QStringLiteral("La stampante \"%1\" non ha accettato la stampa.").arg(printer));
        return false;
    }
    const int pages = paintDoc(doc, *device);
    printers->endJob();
    if (pages == 0) {
        tell(session, QStringLiteral("La stampante \"%1\" non ha accettato la stampa.").arg(printer));
        return false;
    }
    return true;
}

std::optional<QString> askPdfPath(controls::Session &session, const QString &name, QDate date)
{
    if (!session.dialogs)
        return std::nullopt;
    if (!date.isValid())
        date = QDate::currentDate();
    const QString suggested = QDir(workbookFolder(session))
                                  .filePath(QStringLiteral("%1-%2.pdf").arg(name, date.toString(QStringLiteral("dd-MM-yyyy"))));
    std::optional<QString> path = session.dialogs->savePdf(QStringLiteral("Salva il PDF"), suggested);
    if (!path || path->isEmpty())
        return std::nullopt;
    return path;
}

void tellNotWritten(controls::Session &session, const QString &path)
{
    tell(session, QStringLiteral("Impossibile scrivere il file %1: controllate la cartella e i permessi.")
                      .arg(QDir::toNativeSeparators(path)));
}

void offerToOpen(controls::Session &session, const QString &path)
{
    const controls::Answer open = session.dialogs->message(
        controls::BoxKind::Question,
        QStringLiteral("PDF salvato in %1.\nVuoi aprirlo ?").arg(QDir::toNativeSeparators(path)),
        controls::titles::kTitle);
    if (open == controls::Answer::Yes)
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

std::optional<QString> exportPdf(controls::Session &session, const PrintDoc &doc, const QString &name)
{
    const std::optional<QString> path = askPdfPath(session, name, doc.date);
    if (!path)
        return std::nullopt;
    if (!writePdf(doc, *path)) {
        tellNotWritten(session, *path);
        return std::nullopt;
    }
    offerToOpen(session, *path);
    return path;
}

} // namespace dueviews
