#pragma once

// The printers the engine prints on: the system's queues through Qt's print support, and a
// PDF file standing in for a printer.

#include "store/print/printing.h"

#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <memory>

class QPdfWriter;
class QPrinter;
class QSaveFile;

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

// One PDF file as the only printer, named kPrinterName. A job's pages go to a temporary file
// beside it, which takes the file's place only when the job ends with something drawn and
// fully written: a failed or empty job leaves the folder as it was. One job a target.
class PdfFileTarget : public store::PrintTarget {
public:
    explicit PdfFileTarget(QString path);
    ~PdfFileTarget() override;

    static const QString kPrinterName;

    QStringList printerNames() const override { return {kPrinterName}; }
    QString defaultPrinterName() const override { return kPrinterName; }
    QPagedPaintDevice *beginJob(const QString &printer, const QPageLayout &layout, int copies,
                                const QString &jobName) override;
    void endJob() override;

    bool started() const { return m_started; }   // a job was begun
    bool written() const { return m_written; }   // and the file is in place

private:
    QString m_path;
    std::unique_ptr<QSaveFile> m_file;
    std::unique_ptr<QPdfWriter> m_writer;
    bool m_started = false;
    bool m_written = false;
};

} // namespace print
