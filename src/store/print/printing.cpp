#include "store/print/printing.h"

#include "store/model/errors.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace store {

namespace {

constexpr double kEpsilon = 1e-6;
constexpr int kMinFitPercent = 10;      // the smallest scale fit-to-pages goes down to
constexpr double kCellPadding = 2.25;   // points between a cell's border and its text (3 px)
constexpr double kGridPen = 0.5;        // points
constexpr double kBaseFontPoints = 10;  // the default font of a new workbook
constexpr double kDigitPoints = 5.25;   // its digit width: 7 px at 96 dpi

QPageSize::PageSizeId paperId(int code)
{
    switch (code) {
    case 1: return QPageSize::Letter;
    case 5: return QPageSize::Legal;
    case 8: return QPageSize::A3;
    case 11: return QPageSize::A5;
    case 9:
    default: return QPageSize::A4;
    }
}

// A reference of the page set-up, corners in either order; nullopt when empty or malformed.
std::optional<RangeRect> referenceOf(const QString &text)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    std::optional<RangeRect> r = parseReference(text.trimmed());
    if (!r)
        return std::nullopt;
    if (r->top > r->bottom)
        std::swap(r->top, r->bottom);
    if (r->left > r->right)
        std::swap(r->left, r->right);
    return r;
}

std::vector<int> span(const std::optional<RangeRect> &r, bool rows)
{
    std::vector<int> out;
    if (!r)
        return out;
    const int from = rows ? r->top : r->left;
    const int to = rows ? r->bottom : r->right;
    for (int i = from; i <= to; ++i)
        out.push_back(i);
    return out;
}

// One direction of the grid: sizes in points at 100% of the items first..last and of
// every title item.
struct Axis {
    int first = 1, last = 1;
    std::vector<double> sizes;          // index i - first
    std::vector<int> titles;
    std::vector<double> titleSizes;

    double size(int i) const { return sizes[size_t(i - first)]; }
    double total() const
    {
        double t = 0;
        for (double s : sizes)
            t += s;
        return t;
    }
};

struct Band {
    int first, last;
    std::vector<int> titles;
};

// Greedy breaking: each band takes as many items as fit in `room` after the titles that
// lie before its first item; an item larger than a page gets a band of its own.
std::vector<Band> bands(const Axis &axis, double room, double scale)
{
    std::vector<Band> out;
    int i = axis.first;
    while (i <= axis.last) {
        Band band{i, i, {}};
        double titleSize = 0;
        for (size_t t = 0; t < axis.titles.size(); ++t) {
            if (axis.titles[t] < i && axis.titleSizes[t] > 0) {
                band.titles.push_back(axis.titles[t]);
                titleSize += axis.titleSizes[t] * scale;
            }
        }
        const double left = room - titleSize;
        double used = 0;
        while (i <= axis.last) {
            const double s = axis.size(i) * scale;
            if (i != band.first && used + s > left + kEpsilon)
                break;
            used += s;
            ++i;
        }
        band.last = i - 1;
        out.push_back(std::move(band));
    }
    return out;
}

struct Printable {
    QSizeF paper;      // points, orientation applied
    double width = 0;  // the room between the margins
    double height = 0;
};

Printable printableOf(const PageSetup &setup)
{
    Printable p;
    p.paper = paperPoints(setup);
    p.width = std::max(1.0, p.paper.width() - setup.leftMargin - setup.rightMargin);
    p.height = std::max(1.0, p.paper.height() - setup.topMargin - setup.bottomMargin);
    return p;
}

struct Layout {
    Pagination pagination;
    Axis rows, columns;
    Printable printable;
};

// The sizes of the area's rows and columns and of the title rows and columns, in points.
void measureAxes(const Worksheet &sheet, const Pagination &p, Axis &rows, Axis &columns)
{
    rows.first = p.area.top;
    rows.last = p.area.bottom;
    rows.sizes.reserve(size_t(p.area.rows()));
    for (int r = rows.first; r <= rows.last; ++r)
        rows.sizes.push_back(std::max(0.0, sheet.rowHeight(r)));
    rows.titles = p.titleRows;
    for (int r : rows.titles)
        rows.titleSizes.push_back(std::max(0.0, sheet.rowHeight(r)));

    columns.first = p.area.left;
    columns.last = p.area.right;
    for (int c = columns.first; c <= columns.last; ++c)
        columns.sizes.push_back(columnWidthPoints(sheet.columnWidth(c)));
    columns.titles = p.titleColumns;
    for (int c : columns.titles)
        columns.titleSizes.push_back(columnWidthPoints(sheet.columnWidth(c)));
}

// Fit to pages: the largest whole percentage, never above 100, that lays the area out in at
// most fitToPagesWide x fitToPagesTall pages (0 leaves that way free); the bands at that scale.
int fitPercent(const Layout &layout, const PageSetup &setup, std::vector<Band> &rowBands,
               std::vector<Band> &columnBands)
{
    const double roomW = layout.printable.width;
    const double roomH = layout.printable.height;
    const int wide = setup.fitToPagesWide;
    const int tall = setup.fitToPagesTall;
    auto estimate = [&](double total, double room, int pages) {
        if (pages <= 0 || total <= 0)
            return 100;
        return int(std::floor(100.0 * room * pages / total)) + 1;
    };
    int percent = std::min({100, estimate(layout.rows.total(), roomH, tall),
                            estimate(layout.columns.total(), roomW, wide)});
    percent = std::max(percent, kMinFitPercent);
    for (;; --percent) {
        const double scale = percent / 100.0;
        rowBands = bands(layout.rows, roomH, scale);
        columnBands = bands(layout.columns, roomW, scale);
        const bool fits = (tall <= 0 || int(rowBands.size()) <= tall)
                          && (wide <= 0 || int(columnBands.size()) <= wide);
        if (fits || percent == kMinFitPercent)
            return percent;
    }
}

// One page for each band of rows and band of columns, across then down or down then across.
void addPages(Pagination &p, const std::vector<Band> &rowBands, const std::vector<Band> &columnBands,
              bool overThenDown)
{
    auto addPage = [&](const Band &rb, const Band &cb) {
        p.pages.push_back({rb.first, rb.last, cb.first, cb.last, rb.titles, cb.titles});
    };
    if (overThenDown) {
        for (const Band &rb : rowBands)
            for (const Band &cb : columnBands)
                addPage(rb, cb);
    } else {
        for (const Band &cb : columnBands)
            for (const Band &rb : rowBands)
                addPage(rb, cb);
    }
    p.horizontalBreaks = int(rowBands.size()) - 1;
    p.verticalBreaks = int(columnBands.size()) - 1;
}

Layout layOut(const Worksheet &sheet)
{
    Layout out;
    const PageSetup &setup = sheet.pageSetup();
    Pagination &p = out.pagination;

    if (std::optional<RangeRect> area = referenceOf(setup.printArea))
        p.area = *area;
    else
        p.area = sheet.usedRange().rect();
    p.area.bottom = std::min(p.area.bottom, kMaxRows);
    p.area.right = std::min(p.area.right, kMaxColumns);
    p.titleRows = span(referenceOf(setup.printTitleRows), true);
    p.titleColumns = span(referenceOf(setup.printTitleColumns), false);
    measureAxes(sheet, p, out.rows, out.columns);
    out.printable = printableOf(setup);

    std::vector<Band> rowBands, columnBands;
    if (setup.zoom) {
        p.scale = std::clamp(*setup.zoom, 10, 400) / 100.0;
        rowBands = bands(out.rows, out.printable.height, p.scale);
        columnBands = bands(out.columns, out.printable.width, p.scale);
    } else {
        p.scale = fitPercent(out, setup, rowBands, columnBands) / 100.0;
    }
    addPages(p, rowBands, columnBands, setup.overThenDown);
    return out;
}

// The horizontal alignment a cell's format asks for: XF byte 6, bits 0-2.
enum class Align { General, Left, Center, Right };

Align formatAlignment(const Workbook &book, const Cell *cell)
{
    if (!cell || cell->xf >= book.styles.xfs.size())
        return Align::General;
    const QByteArray &xf = book.styles.xfs[cell->xf];
    if (xf.size() < 7)
        return Align::General;
    switch (uint8_t(xf[6]) & 0x07) {
    case 1: return Align::Left;
    case 2: return Align::Center;
    case 3: return Align::Right;
    default: return Align::General;
    }
}

// The header text: "&&" is an ampersand, "&P" the page number, "&N" the page count.
QString headerText(const QString &code, int page, int pages)
{
    QString out;
    for (int i = 0; i < code.size(); ++i) {
        if (code[i] == u'&' && i + 1 < code.size()) {
            const QChar next = code[i + 1].toUpper();
            if (next == u'&') { out += u'&'; ++i; continue; }
            if (next == u'P') { out += QString::number(page); ++i; continue; }
            if (next == u'N') { out += QString::number(pages); ++i; continue; }
        }
        out += code[i];
    }
    return out;
}

QFont sheetFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(kBaseFontPoints);
    return font;
}

class PageRenderer {
public:
    PageRenderer(const Worksheet &sheet, const Layout &layout, QPainter &painter,
                 QPagedPaintDevice &device)
        : m_sheet(sheet), m_layout(layout), m_painter(painter)
        , m_k(device.logicalDpiY() / 72.0)
    {
        // Cell text keeps the proportion of the column widths: when the font found is wider
        // than the spreadsheet's default font, it is made smaller to the same digit width.
        QFont font = sheetFont();
        const double digit = QFontMetricsF(font, &device).horizontalAdvance(u'0') / m_k;
        double points = kBaseFontPoints;
        if (digit > kDigitPoints * 1.02)
            points *= kDigitPoints / digit;
        m_cellFont = font;
        m_cellFont.setPointSizeF(std::max(1.0, points * layout.pagination.scale));
        m_headerFont = font;
    }

    void render(const PageSlice &page, int number, int count)
    {
        const PageSetup &setup = m_sheet.pageSetup();
        const double scale = m_layout.pagination.scale;

        std::vector<int> rows = page.titleRows;
        for (int r = page.firstRow; r <= page.lastRow; ++r)
            rows.push_back(r);
        std::vector<int> columns = page.titleColumns;
        for (int c = page.firstColumn; c <= page.lastColumn; ++c)
            columns.push_back(c);

        std::vector<double> ys{0}, xs{0};
        std::vector<int> shownRows, shownColumns;
        for (int r : rows) {
            const double h = std::max(0.0, m_sheet.rowHeight(r)) * scale;
            if (h <= 0)
                continue;
            shownRows.push_back(r);
            ys.push_back(ys.back() + h);
        }
        for (int c : columns) {
            const double w = columnWidthPoints(m_sheet.columnWidth(c)) * scale;
            if (w <= 0)
                continue;
            shownColumns.push_back(c);
            xs.push_back(xs.back() + w);
        }

        double x0 = setup.leftMargin;
        double y0 = setup.topMargin;
        if (setup.centerHorizontally)
            x0 += std::max(0.0, (m_layout.printable.width - xs.back()) / 2);
        if (setup.centerVertically)
            y0 += std::max(0.0, (m_layout.printable.height - ys.back()) / 2);

        drawHeader(headerText(setup.centerHeader, pageNumber(number), count));

        m_painter.setFont(m_cellFont);
        const QFontMetricsF metrics(m_cellFont, m_painter.device());
        for (size_t ri = 0; ri < shownRows.size(); ++ri) {
            for (size_t ci = 0; ci < shownColumns.size(); ++ci) {
                const QRectF cell(pt(x0 + xs[ci]), pt(y0 + ys[ri]),
                                  pt(xs[ci + 1] - xs[ci]), pt(ys[ri + 1] - ys[ri]));
                drawCell(shownRows[ri], shownColumns[ci], cell, metrics);
            }
        }

        if (setup.printGridlines && !shownRows.empty() && !shownColumns.empty()) {
            QPen pen(Qt::black);
            pen.setWidthF(pt(kGridPen));
            m_painter.setPen(pen);
            const double left = pt(x0), right = pt(x0 + xs.back());
            const double top = pt(y0), bottom = pt(y0 + ys.back());
            for (double y : ys)
                m_painter.drawLine(QPointF(left, pt(y0 + y)), QPointF(right, pt(y0 + y)));
            for (double x : xs)
                m_painter.drawLine(QPointF(pt(x0 + x), top), QPointF(pt(x0 + x), bottom));
        }
    }

private:
    double pt(double points) const { return points * m_k; }

    int pageNumber(int number) const
    {
        const std::optional<int> &first = m_sheet.pageSetup().firstPageNumber;
        return first ? *first + number - 1 : number;
    }

    void drawHeader(const QString &text)
    {
        if (text.isEmpty())
            return;
        const PageSetup &setup = m_sheet.pageSetup();
        const QSizeF paper = m_layout.printable.paper;
        m_painter.setFont(m_headerFont);
        m_painter.setPen(Qt::black);
        const QRectF box(pt(setup.leftMargin), pt(setup.headerMargin),
                         pt(paper.width() - setup.leftMargin - setup.rightMargin),
                         pt(std::max(1.0, setup.topMargin - setup.headerMargin)));
        m_painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text);
    }

    void drawCell(int row, int column, const QRectF &cell, const QFontMetricsF &metrics)
    {
        const Cell *raw = m_sheet.cellAt(row, column);
        if (!raw || raw->isEmpty())
            return;
        QString text = m_sheet.textAt(row, column);
        if (text.isEmpty())
            return;
        text.replace(u'\n', u' ').replace(u'\r', u' ');

        const bool numeric = raw->kind == CellKind::Number;
        Align align = formatAlignment(m_sheet.workbook(), raw);
        if (align == Align::General) {
            if (numeric)
                align = Align::Right;
            else if (raw->kind == CellKind::Boolean || raw->kind == CellKind::Error)
                align = Align::Center;
            else
                align = Align::Left;
        }

        const double pad = pt(kCellPadding * m_layout.pagination.scale);
        QRectF inner = cell.adjusted(pad, 0, -pad, -pt(1.0 * m_layout.pagination.scale));
        if (inner.width() <= 0)
            return;
        double width = metrics.horizontalAdvance(text);
        // A number that fits the cell but not its padding gives up the padding; one that
        // does not fit at all is shown as #### rather than cut to misleading digits.
        if (numeric && width > inner.width() && width <= cell.width()) {
            const double tight = (cell.width() - width) / 2;
            inner.setLeft(cell.left() + tight);
            inner.setRight(cell.right() - tight);
        }
        if (numeric && width > inner.width()) {
            const double hash = metrics.horizontalAdvance(u'#');
            text = QString(std::max(1, int(inner.width() / std::max(hash, 0.01))), u'#');
            width = metrics.horizontalAdvance(text);
        }
        const Qt::Alignment flags = Qt::AlignBottom
            | (align == Align::Right ? Qt::AlignRight
               : align == Align::Center ? Qt::AlignHCenter : Qt::AlignLeft);

        // A text wider than its cell shows the characters that fit whole, from the side
        // it is aligned to; what would cross into the next cell is not printed at all.
        if (width > inner.width()) {
            text = fitting(text, inner.width(), metrics, align == Align::Right);
            width = metrics.horizontalAdvance(text);
        }
        if (text.isEmpty())
            return;
        m_painter.setPen(Qt::black);
        const bool clip = metrics.height() > cell.height();
        if (clip) {
            m_painter.save();
            m_painter.setClipRect(cell);
        }
        m_painter.drawText(inner, int(flags) | Qt::TextSingleLine | Qt::TextDontClip, text);
        if (clip)
            m_painter.restore();
    }

    static QString fitting(const QString &text, double room, const QFontMetricsF &metrics,
                           bool fromTheEnd)
    {
        int lo = 0, hi = int(text.size());   // the longest part that fits has lo characters
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            const QString part = fromTheEnd ? text.right(mid) : text.left(mid);
            if (metrics.horizontalAdvance(part) <= room)
                lo = mid;
            else
                hi = mid - 1;
        }
        return fromTheEnd ? text.right(lo) : text.left(lo);
    }

    const Worksheet &m_sheet;
    const Layout &m_layout;
    QPainter &m_painter;
    double m_k;   // device units per point
    QFont m_cellFont;
    QFont m_headerFont;
};

} // namespace

double columnWidthPoints(double characters)
{
    if (!(characters > 0))
        return 0;
    return 0.75 * (std::floor(characters * 7 + 0.5) + 5);
}

QPageLayout pageLayoutOf(const PageSetup &setup)
{
    return QPageLayout(QPageSize(paperId(setup.paperSize)),
                       setup.orientation == Orientation::Landscape ? QPageLayout::Landscape
                                                                   : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Point);
}

QSizeF paperPoints(const PageSetup &setup)
{
    // From millimetres: the point sizes Qt keeps are rounded to whole points.
    QSizeF paper = QPageSize(paperId(setup.paperSize)).size(QPageSize::Millimeter) * (72 / 25.4);
    if (setup.orientation == Orientation::Landscape)
        paper.transpose();
    return paper;
}

Pagination paginate(const Worksheet &sheet)
{
    return layOut(sheet).pagination;
}

int horizontalPageBreakCount(const Worksheet &sheet)
{
    return layOut(sheet).pagination.horizontalBreaks;
}

namespace {

// The printer a print names, or the target's current one; throws when it is not installed
// or the copies are below 1.
QString checkedPrinter(PrintTarget &target, int copies, const QString &printerName)
{
    const QString printer = printerName.isEmpty() ? target.currentPrinterName() : printerName;
    if (printer.isEmpty() || !target.printerNames().contains(printer))
        throw StoreError(ErrorKind::Invalid,
                         QStringLiteral("La stampante \"%1\" non è installata.").arg(printer));
    if (copies < 1)
        throw StoreError(ErrorKind::Invalid,
                         QStringLiteral("Il numero di copie deve essere almeno 1."));
    return printer;
}

// One job with the given pages of the layout, each a valid 1-based page number.
void printJob(const Worksheet &sheet, const Layout &layout, PrintTarget &target,
              const std::vector<int> &pages, int copies, const QString &printer)
{
    const int count = int(layout.pagination.pages.size());
    const QString jobName = QStringLiteral("Contavio - %1").arg(sheet.name());
    QPagedPaintDevice *device = target.beginJob(printer, pageLayoutOf(sheet.pageSetup()),
                                                copies, jobName);
    if (!device)
        throw StoreError(ErrorKind::Invalid,
                         QStringLiteral("La stampante \"%1\" non è installata.").arg(printer));

    // Ends the job on every way out; the painter, declared after it, ends first.
    struct JobEnd {
        PrintTarget &target;
        ~JobEnd() { target.endJob(); }
    } jobEnd{target};
    QPainter painter;
    if (!painter.begin(device)) {
        throw StoreError(ErrorKind::Io,
                         QStringLiteral("La stampa su \"%1\" non può essere avviata.").arg(printer));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    PageRenderer renderer(sheet, layout, painter, *device);
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0)
            device->newPage();
        renderer.render(layout.pagination.pages[size_t(pages[i] - 1)], pages[i], count);
    }
    painter.end();
}

} // namespace

void printOut(const Worksheet &sheet, PrintTarget &target, int from, int to, int copies,
              const QString &printerName)
{
    const QString printer = checkedPrinter(target, copies, printerName);
    const Layout layout = layOut(sheet);
    const int count = int(layout.pagination.pages.size());
    const int first = from <= 0 ? 1 : from;
    const int last = (to <= 0 || to > count) ? count : to;
    std::vector<int> pages;
    for (int page = first; page <= last; ++page)
        pages.push_back(page);
    if (!pages.empty())
        printJob(sheet, layout, target, pages, copies, printer);
}

void printPages(const Worksheet &sheet, PrintTarget &target, const std::vector<int> &pages,
                int copies, const QString &printerName)
{
    const QString printer = checkedPrinter(target, copies, printerName);
    const Layout layout = layOut(sheet);
    const int count = int(layout.pagination.pages.size());
    std::vector<int> kept;
    std::copy_if(pages.begin(), pages.end(), std::back_inserter(kept),
                 [count](int page) { return page >= 1 && page <= count; });
    if (!kept.empty())
        printJob(sheet, layout, target, kept, copies, printer);
}

} // namespace store
