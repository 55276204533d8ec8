#include "printdoc.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace dueviews {

namespace {

// Sizes in points; the painter works in device pixels (dpi / 72 to a point).
constexpr double kMargin = 36;          // left, right and top
constexpr double kFootRoom = 40;        // the bottom margin with the page's foot line
constexpr double kCellPadding = 3;

QFont font(double points, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Places the document's parts one under the other, page after page. The first run only
// counts the pages (no painter); the second paints them, knowing the count for the foot.
class Layouter {
public:
    Layouter(const PrintDoc &doc, QPagedPaintDevice &device, QPainter *painter, int pageCount)
        : m_doc(doc), m_device(device), m_painter(painter), m_pages(pageCount)
        , m_unit(device.logicalDpiY() / 72.0)
        , m_width(device.width()), m_height(device.height())
        , m_left(kMargin * m_unit), m_right(m_width - kMargin * m_unit)
        , m_bottom(m_height - kFootRoom * m_unit)
        , m_body(font(9)), m_bold(font(9, true)), m_title(font(14, true)), m_small(font(8))
        , m_smallBold(font(8, true))
    {
    }

    int run()
    {
        startPage();
        for (const QString &line : m_doc.letterhead)
            textLine(line, line == m_doc.letterhead.first() ? m_bold : m_body);
        if (!m_doc.letterhead.isEmpty())
            m_y += 12 * m_unit;
        for (const QString &line : m_doc.recipient)
            textLine(line, m_body, Qt::AlignRight);
        if (!m_doc.recipient.isEmpty())
            m_y += 12 * m_unit;
        if (!m_doc.title.isEmpty())
            paragraph(m_doc.title, m_title);
        for (const QString &line : m_doc.criteria)
            paragraph(line, m_body);
        m_y += 6 * m_unit;
        for (const QString &text : m_doc.before)
            paragraph(text, m_body, 6);
        table();
        m_y += 6 * m_unit;
        for (const QString &line : m_doc.totals)
            paragraph(line, m_bold);
        m_y += 6 * m_unit;
        for (const QString &text : m_doc.after)
            paragraph(text, m_body, 6);
        foot();
        return m_page;
    }

private:
    void startPage()
    {
        ++m_page;
        m_y = kMargin * m_unit;
    }

    void newPage()
    {
        foot();
        if (m_painter)
            m_device.newPage();
        startPage();
    }

    // "Pagina i di n" at the right, the date at the left, under a thin rule.
    void foot()
    {
        if (!m_painter)
            return;
        m_painter->setFont(m_small);
        const double y = m_height - (kFootRoom - 12) * m_unit;
        m_painter->drawLine(QPointF(m_left, y), QPointF(m_right, y));
        const QRectF box(m_left, y + 2 * m_unit, m_right - m_left, 14 * m_unit);
        if (m_doc.date.isValid())
            m_painter->drawText(box, Qt::AlignLeft | Qt::AlignTop,
                                m_doc.date.toString(QStringLiteral("dd/MM/yyyy")));
        m_painter->drawText(box, Qt::AlignRight | Qt::AlignTop,
                            QStringLiteral("Pagina %1 di %2").arg(m_page).arg(m_pages));
    }

    void ensure(double height)
    {
        if (m_y + height > m_bottom && m_y > kMargin * m_unit + 1)
            newPage();
    }

    void textLine(const QString &text, const QFont &f, Qt::Alignment align = Qt::AlignLeft)
    {
        const double h = QFontMetricsF(f, &m_device).height();
        ensure(h);
        if (m_painter) {
            m_painter->setFont(f);
            m_painter->drawText(QRectF(m_left, m_y, m_right - m_left, h), align | Qt::AlignTop, text);
        }
        m_y += h;
    }

    void paragraph(const QString &text, const QFont &f, double spaceAfter = 0)
    {
        const QRectF room(m_left, 0, m_right - m_left, m_height);
        const QRectF needed = QFontMetricsF(f, &m_device).boundingRect(room, Qt::TextWordWrap, text);
        ensure(needed.height());
        if (m_painter) {
            m_painter->setFont(f);
            m_painter->drawText(QRectF(m_left, m_y, m_right - m_left, needed.height()),
                                Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        }
        m_y += needed.height() + spaceAfter * m_unit;
    }

    void computeColumns()
    {
        int weights = 0;
        for (const PrintColumn &c : m_doc.columns)
            weights += std::max(1, c.weight);
        double x = m_left;
        m_columnX.clear();
        for (const PrintColumn &c : m_doc.columns) {
            m_columnX.push_back(x);
            x += (m_right - m_left) * std::max(1, c.weight) / std::max(1, weights);
        }
        m_columnX.push_back(m_right);
    }

    void row(const QStringList &cells, const QFont &f, bool heading)
    {
        if (m_painter) {
            m_painter->setFont(f);
            const QFontMetricsF metrics(f, &m_device);
            const double pad = kCellPadding * m_unit;
            for (int c = 0; c < int(m_doc.columns.size()) && c < cells.size(); ++c) {
                const QRectF cell(m_columnX[size_t(c)] + pad, m_y, m_columnX[size_t(c) + 1] - m_columnX[size_t(c)] - 2 * pad, m_rowHeight);
                const QString shown = metrics.elidedText(cells[c], Qt::ElideRight, cell.width());
                m_painter->drawText(cell, Qt::AlignVCenter | (m_doc.columns[size_t(c)].right ? Qt::AlignRight : Qt::AlignLeft), shown);
            }
            if (heading)
                m_painter->drawLine(QPointF(m_left, m_y + m_rowHeight), QPointF(m_right, m_y + m_rowHeight));
        }
        m_y += m_rowHeight;
    }

    void heading()
    {
        QStringList titles;
        for (const PrintColumn &c : m_doc.columns)
            titles << c.title;
        row(titles, m_smallBold, true);
    }

    void table()
    {
        if (m_doc.columns.empty())
            return;
        computeColumns();
        m_rowHeight = QFontMetricsF(m_small, &m_device).height() * 1.35;
        ensure(2 * m_rowHeight);
        heading();
        for (size_t i = 0; i < m_doc.rows.size(); ++i) {
            if (m_y + m_rowHeight > m_bottom) {
                newPage();
                heading();
            }
            const bool marked = i < m_doc.marked.size() && m_doc.marked[i];
            row(m_doc.rows[i], marked ? m_smallBold : m_small, false);
        }
        if (m_painter)
            m_painter->drawLine(QPointF(m_left, m_y), QPointF(m_right, m_y));
    }

    const PrintDoc &m_doc;
    QPagedPaintDevice &m_device;
    QPainter *m_painter;
    int m_pages;
    double m_unit, m_width, m_height, m_left, m_right, m_bottom;
    QFont m_body, m_bold, m_title, m_small, m_smallBold;
    int m_page = 0;
    double m_y = 0;
    double m_rowHeight = 0;
    std::vector<double> m_columnX;
};

} // namespace

QPageLayout pageLayoutOf(const PrintDoc &doc)
{
    QPageLayout layout(QPageSize(QPageSize::A4),
                       doc.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
    layout.setMode(QPageLayout::FullPageMode);
    return layout;
}

int paintDoc(const PrintDoc &doc, QPagedPaintDevice &device)
{
    const int pages = Layouter(doc, device, nullptr, 0).run();
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    Layouter(doc, device, &painter, pages).run();
    painter.end();
    return pages;
}

bool writePdf(const PrintDoc &doc, const QString &path)
{
    // Through a temporary file beside it: a failed or empty document leaves the folder as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(pageLayoutOf(doc));
        writer.setTitle(doc.jobName.isEmpty() ? doc.title : doc.jobName);
        writer.setCreator(QStringLiteral("Contavio"));
        writer.setResolution(300);
        pages = paintDoc(doc, writer);
    }
    if (pages == 0) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace dueviews
