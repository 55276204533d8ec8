#include "printtargets.h"

#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>

namespace print {

QtPrintTarget::QtPrintTarget() = default;
QtPrintTarget::~QtPrintTarget() = default;

QStringList QtPrintTarget::printerNames() const
{
    return QPrinterInfo::availablePrinterNames();
}

QString QtPrintTarget::defaultPrinterName() const
{
    return QPrinterInfo::defaultPrinterName();
}

QPagedPaintDevice *QtPrintTarget::beginJob(const QString &printer, const QPageLayout &layout,
                                           int copies, const QString &jobName)
{
    m_printer.reset();
    const QPrinterInfo info = QPrinterInfo::printerInfo(printer);
    if (printer.isEmpty() || info.isNull())
        return nullptr;
    auto device = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    // The engine draws the whole page itself, margins included, in points from the
    // paper's top-left corner.
    device->setFullPage(true);
    QPageLayout full = layout;
    full.setMode(QPageLayout::FullPageMode);
    device->setPageLayout(full);
    device->setCopyCount(std::max(1, copies));
    device->setCollateCopies(true);
    device->setDocName(jobName);
    device->setCreator(QStringLiteral("Contavio"));
    if (!device->isValid())
        return nullptr;
    m_printer = std::move(device);
    return m_printer.get();
}

void QtPrintTarget::endJob()
{
    m_printer.reset();
}

const QString PdfFileTarget::kPrinterName = QStringLiteral("File PDF");

PdfFileTarget::PdfFileTarget(QString path) : m_path(std::move(path)) {}

PdfFileTarget::~PdfFileTarget()
{
    m_writer.reset();
    if (m_file)
        m_file->cancelWriting();
}

QPagedPaintDevice *PdfFileTarget::beginJob(const QString &printer, const QPageLayout &layout, int,
                                           const QString &jobName)
{
    if (printer != kPrinterName || m_started)
        return nullptr;
    m_started = true;
    m_file = std::make_unique<QSaveFile>(m_path);
    if (!m_file->open(QIODevice::WriteOnly)) {
        m_file.reset();
        return nullptr;
    }
    m_writer = std::make_unique<QPdfWriter>(m_file.get());
    QPageLayout full = layout;
    full.setMode(QPageLayout::FullPageMode);
    m_writer->setPageLayout(full);
    m_writer->setTitle(jobName);
    m_writer->setCreator(QStringLiteral("Contavio"));
    return m_writer.get();
}

void PdfFileTarget::endJob()
{
    if (!m_writer)
        return;
    m_writer.reset();   // the document's end goes to the temporary file
    if (m_file->pos() > 0)
        m_written = m_file->commit();
    else
        m_file->cancelWriting();
    m_file.reset();
}

} // namespace print
