#include "buttonlooks.h"

#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace controls::buttonlooks {

namespace {

// n / d rounded to the nearest whole number, halves to the even one (n >= 0, d > 0).
int roundHalfEven(int n, int d)
{
    int q = n / d;
    const int twiceRest = 2 * (n % d);
    if (twiceRest > d || (twiceRest == d && (q % 2) != 0))
        ++q;
    return q;
}

// Adds amount to each of red, green and blue, clamped to 0..255.
QColor shifted(const QColor &c, int amount)
{
    auto part = [amount](int v) { return std::clamp(v + amount, 0, 255); };
    return QColor(part(c.red()), part(c.green()), part(c.blue()));
}

constexpr int CaptionFlags =
    Qt::AlignCenter | Qt::TextSingleLine | Qt::TextExpandTabs | Qt::TextShowMnemonic;

// Pixel drawing on the button's surface. Rectangles are (left, top, right, bottom) with the
// right column and bottom row excluded; a line from p1 to p2 covers p1 up to, but not
// including, p2 (every line of the looks is horizontal or vertical). Everything outside
// the surface is clipped.
class Canvas {
public:
    Canvas(QImage &image, const QFont &font) : m_painter(&image) { m_painter.setFont(font); }

    void fill(int l, int t, int r, int b, const QColor &c)
    {
        if (r > l && b > t)
            m_painter.fillRect(QRect(l, t, r - l, b - t), c);
    }

    void frame(int l, int t, int r, int b, const QColor &c)
    {
        if (r <= l || b <= t)
            return;
        fill(l, t, r, t + 1, c);
        fill(l, b - 1, r, b, c);
        fill(l, t, l + 1, b, c);
        fill(r - 1, t, r, b, c);
    }

    void line(int x1, int y1, int x2, int y2, const QColor &c)
    {
        if (y1 == y2) {
            if (x2 > x1)
                fill(x1, y1, x2, y1 + 1, c);
            else if (x2 < x1)
                fill(x2 + 1, y1, x1 + 1, y1 + 1, c);
        } else if (x1 == x2) {
            if (y2 > y1)
                fill(x1, y1, x1 + 1, y2, c);
            else
                fill(x1, y2 + 1, x1 + 1, y1 + 1, c);
        }
    }

    void pixel(int x, int y, const QColor &c) { fill(x, y, x + 1, y + 1, c); }

    void text(const QRect &rect, const QString &caption, const QColor &c)
    {
        if (caption.isEmpty() || rect.isEmpty())
            return;
        m_painter.setPen(c);
        m_painter.drawText(rect, CaptionFlags, caption);
    }

    QRect textBounds(const QRect &rect, const QString &caption)
    {
        return m_painter.boundingRect(rect, CaptionFlags, caption);
    }

    // The dotted focus rectangle: every other pixel of the outline inverted, in a
    // checkerboard fixed to the surface, each pixel once.
    void focusRect(int l, int t, int r, int b)
    {
        if (r <= l || b <= t)
            return;
        m_painter.save();
        m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        auto dot = [this](int x, int y) {
            if ((x + y) % 2 == 0)
                m_painter.fillRect(QRect(x, y, 1, 1), Qt::white);
        };
        for (int x = l; x < r; ++x) {
            dot(x, t);
            if (b - 1 > t)
                dot(x, b - 1);
        }
        for (int y = t + 1; y < b - 1; ++y) {
            dot(l, y);
            if (r - 1 > l)
                dot(r - 1, y);
        }
        m_painter.restore();
    }

private:
    QPainter m_painter;
};

// Draws one look of one style. Colours: F face, L light, H highlight, S shadow,
// D dark shadow, T the text colour.
class LookPainter {
public:
    LookPainter(Canvas &canvas, int width, int height, const XPButton::Colours &colours,
                const QString &text, bool withFocus, bool markedDefault)
        : c(canvas), w(width), h(height), F(colours.face), L(colours.light),
          H(colours.highlight), S(colours.shadow), D(colours.darkShadow), T(colours.text),
          caption(text), focus(withFocus), isDefault(markedDefault), full(0, 0, width, height),
          textRect(2, 2, width - 2, height - 2)
    {}

    void draw(int style, Look look)
    {
        switch (style) {
        case 1: style1(look); break;
        case 2: style2(look); break;
        case 3: style3(look); break;
        case 4: style4(look); break;
        case 5: style5(look); break;
        case 6: style6(look); break;
        case 7: style7(look); break;
        default: break;   // face only
        }
    }

private:
    void captionUp() { c.text(full, caption, T); }
    void captionDown() { c.text(textRect, caption, T); }
    void captionEmbossed()
    {
        c.text(textRect, caption, H);
        c.text(full, caption, S);
    }
    void captionShadow() { c.text(full, caption, S); }
    // The caption of styles 1, 3 and 7: raised when up, moved when down, embossed when off.
    void captionFor(Look look)
    {
        if (look == Look::Up)
            captionUp();
        else if (look == Look::Down)
            captionDown();
        else
            captionEmbossed();
    }
    void focusRect()
    {
        if (focus)
            c.focusRect(4, 4, w - 4, h - 4);
    }

    void style1(Look look)
    {
        const bool down = look == Look::Down;
        captionFor(look);
        c.line(1, 0, w - 1, 0, D);
        c.line(1, h - 1, w - 1, h - 1, D);
        c.line(0, 1, 0, h - 1, D);
        c.line(w - 1, 1, w - 1, h - 1, D);
        const QColor frames = down ? S : H;
        const QColor lines = down ? H : S;
        c.frame(1, 1, w - 1, h - 1, frames);
        c.frame(2, 2, w - 2, h - 2, frames);
        c.line(w - 2, 1, w - 2, h - 1, lines);
        c.line(w - 3, 2, w - 3, h - 2, lines);
        c.line(1, h - 2, w - 1, h - 2, lines);
        c.line(2, h - 3, w - 2, h - 3, lines);
        if (look != Look::Disabled)
            focusRect();
    }

    void style2(Look look)
    {
        if (look == Look::Up) {
            captionUp();
            if (isDefault) {
                c.frame(1, 1, w - 1, h - 1, H);
                c.frame(2, 2, w - 2, h - 2, L);
                c.line(w - 2, 1, w - 2, h - 1, D);
                c.line(1, h - 2, w - 1, h - 2, D);
                c.line(w - 3, 2, w - 3, h - 2, S);
                c.line(2, h - 3, w - 2, h - 3, S);
                focusRect();
                c.frame(0, 0, w, h, D);
            } else {
                c.frame(0, 0, w - 1, h - 1, H);
                c.frame(1, 1, w - 1, h - 1, L);
                c.line(w - 1, 0, w - 1, h, D);
                c.line(0, h - 1, w, h - 1, D);
                c.line(w - 2, 1, w - 2, h - 1, S);
                c.line(1, h - 2, w - 1, h - 2, S);
            }
        } else if (look == Look::Down) {
            captionDown();
            c.frame(0, 0, w, h, D);
            c.frame(1, 1, w - 1, h - 1, S);
            focusRect();
        } else {
            captionEmbossed();
            c.frame(0, 0, w - 1, h - 1, H);
            c.frame(1, 1, w - 1, h - 1, L);
            c.line(w - 1, 0, w - 1, h, D);
            c.line(0, h - 1, w, h - 1, D);
            c.line(w - 2, 1, w - 2, h - 1, S);
        }
    }

    // Row y of a gradient: (255 - r(a*y/h), 255 - r(a*y/h), 255 - r(b*y/h)).
    QColor gradient(int y, int a, int b) const
    {
        const int rg = 255 - roundHalfEven(a * y, h);
        return QColor(rg, rg, 255 - roundHalfEven(b * y, h));
    }

    // The outline with cut corners of styles 3 and 4: the edges stop two pixels short of
    // each corner, where one pixel sits diagonally inside.
    void cutCornerOutline(const QColor &edge, const QColor &corner)
    {
        c.line(2, 0, w - 2, 0, edge);
        c.line(2, h - 1, w - 2, h - 1, edge);
        c.line(0, 2, 0, h - 2, edge);
        c.line(w - 1, 2, w - 1, h - 2, edge);
        c.pixel(1, 1, corner);
        c.pixel(1, h - 2, corner);
        c.pixel(w - 2, 1, corner);
        c.pixel(w - 2, h - 2, corner);
    }

    // Style 3 in one look: a blue gradient from `firstRow` (rows run to h, the last one
    // falls outside the surface), the caption, the outline, an inner frame and three lines.
    struct Style3Look {
        int firstRow;
        int gradientRedGreen, gradientBlue;   // how far each fades over the height
        QColor frame, bottomLine, row1Line, row2Line;
    };

    void style3(Look look)
    {
        static const Style3Look up{1, 75, 50, {140, 174, 231}, {107, 130, 239}, {206, 231, 255}, {189, 215, 247}};
        static const Style3Look down{3, 85, 60, {128, 128, 255}, {64, 64, 64}, {0, 0, 0}, {224, 224, 224}};
        static const Style3Look disabled{1, 60, 40, {153, 186, 253}, {113, 138, 254}, {208, 234, 255}, {191, 217, 250}};
        const Style3Look &t = look == Look::Up ? up : look == Look::Down ? down : disabled;

        for (int y = t.firstRow; y <= h; ++y)
            c.line(0, y, w, y, gradient(y, t.gradientRedGreen, t.gradientBlue));
        captionFor(look);
        cutCornerOutline(QColor(0, 60, 115), QColor(16, 77, 123));
        c.frame(1, 2, w - 1, h - 2, t.frame);
        c.line(2, h - 2, w - 2, h - 2, t.bottomLine);
        c.line(2, 1, w - 2, 1, t.row1Line);
        c.line(1, 2, w - 1, 2, t.row2Line);
        if (look == Look::Down) {
            c.line(2, 3, 2, h - 3, QColor(224, 224, 224));
            c.line(w - 3, 3, w - 3, h - 3, Qt::white);
        } else if (look == Look::Up) {
            // The focus mark: white lines would vanish on the near-white face, so the
            // dotted rectangle, which inverts what lies under it, shows where the focus is.
            focusRect();
        }
    }

    void style4(Look look)
    {
        if (look == Look::Down) {
            const QColor s16 = shifted(S, -16), s32 = shifted(S, -32), s64 = shifted(S, -64);
            c.fill(1, 1, w - 1, h - 1, s16);
            c.text(textRect, caption, L);
            cutCornerOutline(D, D);
            c.frame(1, 1, w - 1, h - 1, s64);
            c.frame(2, 2, w - 2, h - 2, s32);
            c.pixel(2, 2, s64);
            c.pixel(3, 3, s32);
            c.line(w - 3, 1, w - 3, h - 3, S);
            c.line(1, h - 3, w - 2, h - 3, S);
            c.pixel(w - 4, h - 4, S);
            c.line(w - 2, 3, w - 2, h - 2, s16);
            c.line(3, h - 2, w - 2, h - 2, s16);
            for (const QPoint &p : {QPoint(w - 2, h - 3), QPoint(w - 3, h - 2), QPoint(2, h - 2),
                                    QPoint(w - 2, 2)})
                c.pixel(p.x(), p.y(), s32);
            for (const QPoint &p : {QPoint(2, h - 3), QPoint(1, h - 3), QPoint(w - 3, 2),
                                    QPoint(w - 3, 1)})
                c.pixel(p.x(), p.y(), s16);
            return;
        }
        c.fill(1, 1, w - 1, h - 1, L);
        if (look == Look::Up)
            captionUp();
        else
            captionEmbossed();
        cutCornerOutline(D, D);
        c.pixel(1, 2, F);
        c.pixel(2, 1, F);
        c.line(3, 2, w - 3, 2, H);
        c.line(2, 2, 2, h - 3, H);
        c.pixel(3, 3, H);
        c.line(w - 3, 1, w - 3, h - 3, F);
        c.line(1, h - 3, w - 3, h - 3, F);
        c.pixel(w - 4, h - 4, F);
        c.line(w - 2, 3, w - 2, h - 2, S);
        c.line(3, h - 2, w - 2, h - 2, S);
        c.pixel(w - 3, h - 3, S);
        c.pixel(2, h - 2, F);
        c.pixel(2, h - 3, L);
        if (look == Look::Disabled)
            c.pixel(w - 2, 2, F);
    }

    // Style 5's focus mark: a thin outline just around the caption (a small square at the
    // centre when there is no caption), kept inside the button's edges.
    void style5Focus()
    {
        if (!focus)
            return;
        QRect mark = caption.isEmpty() ? QRect(w / 2 - 3, h / 2 - 3, 6, 6)
                                       : c.textBounds(full, caption).adjusted(-2, -1, 2, 1);
        mark &= QRect(3, 3, w - 6, h - 6);
        if (!mark.isEmpty())
            c.frame(mark.left(), mark.top(), mark.right() + 1, mark.bottom() + 1,
                    QColor(153, 153, 204));
    }

    void style5(Look look)
    {
        switch (look) {
        case Look::Up:
            c.fill(1, 1, w, h, shifted(F, 12));
            captionUp();
            c.frame(1, 1, w, h, H);
            c.frame(0, 0, w - 1, h - 1, shifted(S, -26));
            c.pixel(1, h - 2, shifted(S, 26));
            c.pixel(w - 2, 1, shifted(S, 26));
            style5Focus();
            break;
        case Look::Down:
            c.fill(1, 1, w - 1, h - 1, shifted(S, 16));
            c.frame(0, 0, w - 1, h - 1, shifted(S, -26));
            c.line(w - 1, 0, w - 1, h, H);
            c.line(0, h - 1, w, h - 1, H);
            captionUp();
            style5Focus();
            break;
        case Look::Disabled:
            captionShadow();
            c.frame(0, 0, w, h, S);
            break;
        }
    }

    void style6(Look look)
    {
        const QColor l8 = shifted(L, 8);
        const bool down = look == Look::Down;
        if (look == Look::Up)
            captionUp();
        else if (down)
            captionDown();
        else
            captionShadow();
        const QColor frames = down ? S : l8;
        const QColor lines = down ? l8 : S;
        c.frame(0, 0, w, h, frames);
        c.frame(1, 1, w - 1, h - 1, frames);
        c.line(w - 1, 0, w - 1, h, lines);
        c.line(w - 2, 1, w - 2, h - 1, lines);
        c.line(0, h - 1, w, h - 1, lines);
        c.line(1, h - 2, w - 1, h - 2, lines);
        if (look != Look::Disabled)
            focusRect();
    }

    void style7(Look look)
    {
        const bool down = look == Look::Down;
        captionFor(look);
        c.frame(0, 0, w, h, down ? S : H);
        c.line(w - 1, 0, w - 1, h, down ? H : S);
        c.line(0, h - 1, w, h - 1, down ? H : S);
        if (look != Look::Disabled)
            focusRect();
    }

    Canvas &c;
    const int w, h;
    const QColor F, L, H, S, D, T;
    const QString &caption;
    const bool focus, isDefault;
    const QRect full, textRect;
};

} // namespace

XPButton::Colours schemeColours(int scheme, const QColor &back, const QColor &fore,
                                const QPalette &palette)
{
    XPButton::Colours colours;
    switch (scheme) {
    case 2:
        colours.face = back;
        colours.text = fore;
        colours.shadow = shifted(back, -64);
        colours.light = shifted(back, 31);
        colours.highlight = shifted(back, 47);
        colours.darkShadow = shifted(back, -192);
        break;
    case 3:
        colours.face = QColor(192, 192, 192);
        colours.shadow = QColor(128, 128, 128);
        colours.light = QColor(223, 223, 223);
        colours.darkShadow = QColor(0, 0, 0);
        colours.highlight = QColor(255, 255, 255);
        colours.text = QColor(0, 0, 0);
        break;
    default:
        colours.face = palette.color(QPalette::Active, QPalette::Button);
        colours.shadow = palette.color(QPalette::Active, QPalette::Dark);
        colours.light = palette.color(QPalette::Active, QPalette::Midlight);
        colours.darkShadow = palette.color(QPalette::Active, QPalette::Shadow);
        colours.highlight = palette.color(QPalette::Active, QPalette::Light);
        colours.text = palette.color(QPalette::Active, QPalette::ButtonText);
        break;
    }
    return colours;
}

QList<QPoint> cornerCuts(int style, int w, int h)
{
    switch (style) {
    case 1:
        return {{0, 0}, {0, h - 1}, {w - 1, 0}, {w - 1, h - 1}};
    case 3:
    case 4:
        return {{0, 0},     {1, 0},         {0, 1},         {0, h - 1},
                {1, h - 1}, {0, h - 2},     {w - 2, 0},     {w - 1, 0},
                {w - 1, 1}, {w - 2, h - 1}, {w - 1, h - 1}, {w - 1, h - 2}};
    case 5:
        return {{0, h - 1}, {w - 1, 0}};
    default:
        return {};
    }
}

void paint(QImage &surface, const QFont &font, int style, Look look,
           const XPButton::Colours &colours, const QString &caption, bool focus, bool isDefault)
{
    const int w = surface.width(), h = surface.height();
    surface.fill(Qt::black);
    Canvas canvas(surface, font);
    canvas.fill(0, 0, w, h, colours.face);
    LookPainter(canvas, w, h, colours, caption, focus, isDefault).draw(style, look);
}

} // namespace controls::buttonlooks
