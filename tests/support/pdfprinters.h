#pragma once

// Printers for the tests: each job a PDF file in a folder, under printer names of our
// choosing, behind the engine's print-target interface.

#include "store/print/printing.h"

#include <QDir>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QPdfWriter;

namespace print {

// Each job becomes one PDF file in `folder`, named "<n>-<printer>.pdf" (n counts the jobs
// from 1). Only the configured names are printers; the first is the default unless set.
class PdfPrintTarget : public store::PrintTarget {
public:
    struct Job {
        QString printer;
        QString path;
        int copies = 1;
        QString jobName;
        QPageLayout layout;
    };

    PdfPrintTarget(const QString &folder, QStringList printers, QString defaultPrinter = {});
    ~PdfPrintTarget() override;

    QStringList printerNames() const override { return m_printers; }
    void setPrinterNames(QStringList names) { m_printers = std::move(names); }
    QString defaultPrinterName() const override { return m_default; }
    void setDefaultPrinterName(const QString &name) { m_default = name; }
    QString currentPrinterName() const override { return m_current; }
    void setCurrentPrinterName(const QString &name) { m_current = name; }

    QPagedPaintDevice *beginJob(const QString &printer, const QPageLayout &layout, int copies,
                                const QString &jobName) override;
    void endJob() override;

    const std::vector<Job> &jobs() const { return m_jobs; }   // finished jobs, in order

private:
    QDir m_folder;
    QStringList m_printers;
    QString m_default;
    QString m_current;
    std::unique_ptr<QPdfWriter> m_writer;
    Job m_pending;
    std::vector<Job> m_jobs;
};

} // namespace print
