#pragma once

// The printers the engine prints on: the system's queues through Qt's print support.

#include "store/print/printing.h"

#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <memory>

class QPrinter;

namespace print {

// The installed printers as the system lists them (CUPS queues on Linux).
class QtPrintTarget : public store::PrintTarget {
public:
    QtPrintTarget();
    ~QtPrintTarget() override;

    QStringList printerNames() const override;
    QString defaultPrinterName() const override;
    QPagedPaintDevice *beginJob(const QString &printer, const QPageLayout &layout, int copies,
                                const QString &jobName) override;
    void endJob() override;

private:
    std::unique_ptr<QPrinter> m_printer;
};

} // namespace print
