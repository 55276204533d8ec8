#pragma once

// One description of a printed page set (a due list, a statement, a reminder letter) and
// the one painter that puts it on paper or into a PDF file: letterhead, title, criteria,
// recipient and text, a table whose heading repeats on every page, totals, closing text,
// and "Pagina i di n" with the date at the foot of each page.

#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

class QPagedPaintDevice;
class QPageLayout;

namespace dueviews {

struct PrintColumn {
    QString title;
    int weight = 1;        // share of the table's width
    bool right = false;    // figures, right-aligned
};

struct PrintDoc {
    QString jobName;              // the print job's name
    bool landscape = false;
    QStringList letterhead;       // the office's lines, first page only; empty: none
    QString title;
    QStringList criteria;         // under the title
    QStringList recipient;        // a letter's addressee, at the right
    QStringList before;           // paragraphs before the table
    std::vector<PrintColumn> columns;
    std::vector<QStringList> rows;
    std::vector<bool> marked;     // rows printed in bold (overdue), parallel to rows
    QStringList totals;           // under the table
    QStringList after;            // paragraphs after the totals
    QDate date;                   // printed at the foot of every page
};

QPageLayout pageLayoutOf(const PrintDoc &doc);
// Paints every page on a device already set to pageLayoutOf(doc); returns the page count.
int paintDoc(const PrintDoc &doc, QPagedPaintDevice &device);
// Writes the document as a PDF file; false when the file cannot be written.
bool writePdf(const PrintDoc &doc, const QString &path);

} // namespace dueviews
