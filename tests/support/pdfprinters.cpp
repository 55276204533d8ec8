#include "pdfprinters.h"

#include <QPdfWriter>

namespace print {

PdfPrintTarget::PdfPrintTarget(const QString &folder, QStringList printers, QString defaultPrinter)
    : m_folder(folder)
    , m_printers(std::move(printers))
    , m_default(defaultPrinter.isEmpty() && !m_printers.isEmpty() ? m_printers.first()
                                                                  : std::move(defaultPrinter))
    , m_current(m_default)
{
    m_folder.mkpath(QStringLiteral("."));
}

PdfPrintTarget::~PdfPrintTarget()
{
    if (m_writer)
        endJob();
}

QPagedPaintDevice *PdfPrintTarget::beginJob(const QString &printer, const QPageLayout &layout,
                                            int copies, const QString &jobName)
{
    if (m_writer)
        endJob();
    if (printer.isEmpty() || !m_printers.contains(printer))
        return nullptr;
    QString safe = printer;
    for (QChar &c : safe)
        if (!c.isLetterOrNumber() && c != u'-' && c != u'_')
            c = u'_';
    m_pending = Job{printer,
                    m_folder.filePath(QStringLiteral("%1-%2.pdf").arg(m_jobs.size() + 1).arg(safe)),
                    copies, jobName, layout};
    m_writer = std::make_unique<QPdfWriter>(m_pending.path);
    m_writer->setPageLayout(layout);
    m_writer->setTitle(jobName);
    m_writer->setCreator(QStringLiteral("Contavio"));
    return m_writer.get();
}

void PdfPrintTarget::endJob()
{
    if (!m_writer)
        return;
    m_writer.reset();   // closes the file
    m_jobs.push_back(m_pending);
}

} // namespace print
