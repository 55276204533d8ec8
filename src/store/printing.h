#pragma once

// Pagination and printing of a sheet, as a spreadsheet prints it: the print area, repeated
// title rows and columns, margins, paper, orientation, zoom or fit-to-pages, the centre
// header and grid lines. Printers are reached through PrintTarget, which the program
// implements with Qt's print support and the tests with PDF files.

#include "workbook.h"

#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <vector>

class QPagedPaintDevice;

namespace store {

class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    virtual QStringList printerNames() const = 0;     // installed printers, in the system's order
    virtual QString defaultPrinterName() const = 0;   // "" when there is none
    // Starts a job on the named printer; nullptr when there is no such printer.
    // The device stays valid until endJob().
    virtual QPagedPaintDevice *beginJob(const QString &printer, const QPageLayout &layout,
                                        int copies, const QString &jobName) = 0;
    virtual void endJob() = 0;
    // The printer used when none is named ("the server's current printer").
    virtual QString currentPrinterName() const { return defaultPrinterName(); }
};

// One printed page: the sheet rows and columns it shows, titles excluded.
struct PageSlice {
    int firstRow, lastRow;
    int firstColumn, lastColumn;
};

struct Pagination {
    RangeRect area;                 // the print area
    std::vector<int> titleRows;     // rows repeated at the top of every page
    std::vector<int> titleColumns;  // columns repeated at the left of every page
    double scale = 1.0;             // zoom / 100, or the fit-to-pages scale
    std::vector<PageSlice> pages;   // in print order (down, then over unless overThenDown)
    int horizontalBreaks = 0;       // page breaks between rows: HPageBreaks.Count
};

// Computes the pages of a sheet from its page set-up. An empty sheet gives one page.
Pagination paginate(const Worksheet &sheet);

// HPageBreaks.Count of the sheet.
int horizontalPageBreakCount(const Worksheet &sheet);

// PrintOut: prints pages from..to (1-based; 0 for "from the first"/"to the last"), copies,
// on the named printer (empty: the target's current printer). Throws StoreError(Invalid)
// when the printer name is not an installed printer; nothing is printed then.
void printOut(const Worksheet &sheet, PrintTarget &target, int from = 0, int to = 0,
              int copies = 1, const QString &printerName = {});

} // namespace store
