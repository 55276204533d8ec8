#include "printtargets.h"

#include <QPrinter>
#include <QPrinterInfo>

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

} // namespace print
