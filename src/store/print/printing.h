#pragma once

// Pagination and printing of a sheet, as a spreadsheet prints it: the print area, repeated
// title rows and columns, margins, paper, orientation, zoom or fit-to-pages, the centre
// header and grid lines. Printers are reached through PrintTarget, which the program
// implements with Qt's print support and the tests with PDF files.

#include "store/model/workbook.h"

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

// One printed page: the sheet rows and columns it shows, titles excluded, and the title
// rows and columns repeated on it (those that lie before its first row or column).
struct PageSlice {
    int firstRow, lastRow;
    int firstColumn, lastColumn;
    std::vector<int> titleRows;
    std::vector<int> titleColumns;
};

struct Pagination {
    RangeRect area;                 // the print area
    std::vector<int> titleRows;     // rows repeated at the top of every page
    std::vector<int> titleColumns;  // columns repeated at the left of every page
    double scale = 1.0;             // zoom / 100, or the fit-to-pages scale
    std::vector<PageSlice> pages;   // in print order (down, then over unless overThenDown)
    int horizontalBreaks = 0;       // page breaks between rows: HPageBreaks.Count
    int verticalBreaks = 0;         // page breaks between columns: VPageBreaks.Count
};

// Sizes on paper at 100%, in points. A column width in characters of the default font
// becomes pixels as a spreadsheet shows it (7 px a character plus 5 px of padding, at
// 96 dpi) and then points (0.75 pt a pixel): 8.43 characters = 64 px = 48 pt. A width of 0
// (hidden column) takes no room. Row heights are already points.
double columnWidthPoints(double characters);
// The sheet's paper and orientation, without margins (the engine draws them itself).
QPageLayout pageLayoutOf(const PageSetup &setup);
// The sheet's paper in points, orientation applied (A4 portrait: 595.28 x 841.89).
QSizeF paperPoints(const PageSetup &setup);

// Computes the pages of a sheet from its page set-up. An empty sheet gives one page.
Pagination paginate(const Worksheet &sheet);

// HPageBreaks.Count of the sheet.
int horizontalPageBreakCount(const Worksheet &sheet);

// PrintOut: prints pages from..to (1-based; 0 for "from the first"/"to the last"), copies,
// on the named printer (empty: the target's current printer). Throws StoreError(Invalid)
// when the printer name is not an installed printer or copies is below 1; nothing is
// printed then. A range with no page in it (from past the last page) prints nothing.
// The job asks the target for `copies` copies; each page is drawn once.
void printOut(const Worksheet &sheet, PrintTarget &target, int from = 0, int to = 0,
              int copies = 1, const QString &printerName = {});

// Prints the listed pages (1-based, in the order given) in one job, as printOut does for a
// range: the same checks, nothing printed when no listed page exists. Pages past the last
// are left out.
void printPages(const Worksheet &sheet, PrintTarget &target, const std::vector<int> &pages,
                int copies = 1, const QString &printerName = {});

} // namespace store
