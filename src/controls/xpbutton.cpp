#include "xpbutton.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QShortcut>

#include <algorithm>

namespace controls {

namespace {

// Virtual key codes reported by keyDown/keyUp.
constexpr int VkSpace = 32;
constexpr int VkLeft = 37;
constexpr int VkUp = 38;
constexpr int VkRight = 39;
constexpr int VkDown = 40;

constexpr int ButtonLeft = 1;
constexpr int ButtonRight = 2;
constexpr int ButtonMiddle = 4;

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

int shiftFlags(Qt::KeyboardModifiers m)
{
    int flags = 0;
    if (m & Qt::ShiftModifier)
        flags |= 1;
    if (m & Qt::ControlModifier)
        flags |= 2;
    if (m & Qt::AltModifier)
        flags |= 4;
    return flags;
}

int buttonCode(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton: return ButtonLeft;
    case Qt::RightButton: return ButtonRight;
    case Qt::MiddleButton: return ButtonMiddle;
    default: return 0;
    }
}

int buttonMask(Qt::MouseButtons bs)
{
    int mask = 0;
    if (bs & Qt::LeftButton)
        mask |= ButtonLeft;
    if (bs & Qt::RightButton)
        mask |= ButtonRight;
    if (bs & Qt::MiddleButton)
        mask |= ButtonMiddle;
    return mask;
}

// The classic virtual key code of a Qt key event; 0 for keys without one.
int virtualKey(const QKeyEvent *e)
{
    const int k = e->key();
    const bool keypad = e->modifiers() & Qt::KeypadModifier;
    if (k >= Qt::Key_A && k <= Qt::Key_Z)
        return k;
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        return keypad ? 96 + (k - Qt::Key_0) : k;
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24)
        return 112 + (k - Qt::Key_F1);
    switch (k) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Clear: return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return VkSpace;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return VkLeft;
    case Qt::Key_Up: return VkUp;
    case Qt::Key_Right: return VkRight;
    case Qt::Key_Down: return VkDown;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Meta: return 91;
    case Qt::Key_Menu: return 93;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    case Qt::Key_Asterisk: return keypad ? 106 : 0;
    case Qt::Key_Plus: return keypad ? 107 : 187;
    case Qt::Key_Minus: return keypad ? 109 : 189;
    case Qt::Key_Period: return keypad ? 110 : 190;
    case Qt::Key_Slash: return keypad ? 111 : 191;
    case Qt::Key_Comma: return 188;
    case Qt::Key_Semicolon: return 186;
    case Qt::Key_Equal: return 187;
    case Qt::Key_QuoteLeft: return 192;
    case Qt::Key_BracketLeft: return 219;
    case Qt::Key_Backslash: return 220;
    case Qt::Key_BracketRight: return 221;
    case Qt::Key_Apostrophe: return 222;
    case Qt::Key_Less: return 226;
    default: return 0;
    }
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

enum class Look { Up, Down, Disabled };

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
    void focusRect()
    {
        if (focus)
            c.focusRect(4, 4, w - 4, h - 4);
    }

    void style1(Look look)
    {
        const bool down = look == Look::Down;
        if (look == Look::Up)
            captionUp();
        else if (down)
            captionDown();
        else
            captionEmbossed();
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

    void style3Border()
    {
        const QColor border(0, 60, 115);
        c.line(2, 0, w - 2, 0, border);
        c.line(2, h - 1, w - 2, h - 1, border);
        c.line(0, 2, 0, h - 2, border);
        c.line(w - 1, 2, w - 1, h - 2, border);
        const QColor corner(16, 77, 123);
        c.pixel(1, 1, corner);
        c.pixel(1, h - 2, corner);
        c.pixel(w - 2, 1, corner);
        c.pixel(w - 2, h - 2, corner);
    }

    void style3(Look look)
    {
        // The gradient rows run from 1 to h; row h falls outside the surface.
        switch (look) {
        case Look::Up:
            for (int y = 1; y <= h; ++y)
                c.line(0, y, w, y, gradient(y, 75, 50));
            captionUp();
            style3Border();
            c.frame(1, 2, w - 1, h - 2, QColor(140, 174, 231));
            c.line(2, h - 2, w - 2, h - 2, QColor(107, 130, 239));
            c.line(2, 1, w - 2, 1, QColor(206, 231, 255));
            c.line(1, 2, w - 1, 2, QColor(189, 215, 247));
            if (focus) {
                c.line(2, 3, 2, h - 3, Qt::white);
                c.line(w - 3, 3, w - 3, h - 3, Qt::white);
            }
            break;
        case Look::Down:
            for (int y = 3; y <= h; ++y)
                c.line(0, y, w, y, gradient(y, 85, 60));
            captionDown();
            style3Border();
            c.frame(1, 2, w - 1, h - 2, QColor(128, 128, 255));
            c.line(2, h - 2, w - 2, h - 2, QColor(64, 64, 64));
            c.line(2, 1, w - 2, 1, Qt::black);
            c.line(1, 2, w - 1, 2, QColor(224, 224, 224));
            c.line(2, 3, 2, h - 3, QColor(224, 224, 224));
            c.line(w - 3, 3, w - 3, h - 3, Qt::white);
            break;
        case Look::Disabled:
            for (int y = 1; y <= h; ++y)
                c.line(0, y, w, y, gradient(y, 60, 40));
            captionEmbossed();
            style3Border();
            c.frame(1, 2, w - 1, h - 2, QColor(153, 186, 253));
            c.line(2, h - 2, w - 2, h - 2, QColor(113, 138, 254));
            c.line(2, 1, w - 2, 1, QColor(208, 234, 255));
            c.line(1, 2, w - 1, 2, QColor(191, 217, 250));
            break;
        }
    }

    void style4Outline()
    {
        c.line(2, 0, w - 2, 0, D);
        c.line(2, h - 1, w - 2, h - 1, D);
        c.line(0, 2, 0, h - 2, D);
        c.line(w - 1, 2, w - 1, h - 2, D);
        c.pixel(1, 1, D);
        c.pixel(1, h - 2, D);
        c.pixel(w - 2, 1, D);
        c.pixel(w - 2, h - 2, D);
    }

    void style4(Look look)
    {
        if (look == Look::Down) {
            const QColor s16 = shifted(S, -16), s32 = shifted(S, -32), s64 = shifted(S, -64);
            c.fill(1, 1, w - 1, h - 1, s16);
            c.text(textRect, caption, L);
            style4Outline();
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
        style4Outline();
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
        if (look == Look::Up)
            captionUp();
        else if (down)
            captionDown();
        else
            captionEmbossed();
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

XPButton::XPButton(const QString &caption, QWidget *parent)
    : QWidget(parent), m_caption(caption)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_backColor = palette().color(QPalette::Active, QPalette::Button);
    m_foreColor = palette().color(QPalette::Active, QPalette::ButtonText);

    m_shortcut = new QShortcut(this);
    m_shortcut->setContext(Qt::WindowShortcut);
    m_shortcut->setAutoRepeat(false);
    connect(m_shortcut, &QShortcut::activated, this, &XPButton::onAccessKey);
    // Two buttons of a window with the same access key: the key moves the focus among them.
    connect(m_shortcut, &QShortcut::activatedAmbiguously, this,
            [this] { setFocus(Qt::ShortcutFocusReason); });

    computeColours();
    updateAccessKey();
}

XPButton::~XPButton() = default;

void XPButton::setBackColor(const QColor &colour)
{
    m_backColor = colour;
    computeColours();
    draw(m_state, true);
    emit propertyChanged(QStringLiteral("BCOL"));
}

void XPButton::setForeColor(const QColor &colour)
{
    m_foreColor = colour;
    computeColours();
    draw(m_state, true);
    emit propertyChanged(QStringLiteral("FCOL"));
}

void XPButton::setButtonType(int type)
{
    m_buttonType = type;
    draw(Up, true);
    emit propertyChanged(QStringLiteral("BTYPE"));
}

void XPButton::setCaption(const QString &caption)
{
    m_caption = caption;
    updateAccessKey();
    updateGeometry();
    draw(Up, true);
    emit propertyChanged(QStringLiteral("TX"));
}

void XPButton::setColorScheme(int scheme)
{
    m_colorScheme = scheme;
    computeColours();
    draw(Up, true);
    emit propertyChanged(QStringLiteral("COLTYPE"));
}

void XPButton::setShowFocusRect(bool show)
{
    m_showFocusRect = show;
    draw(m_state, true);
    emit propertyChanged(QStringLiteral("FOCUSR"));
}

void XPButton::setDefault(bool isDefault)
{
    if (m_default == isDefault)
        return;
    m_default = isDefault;
    draw(m_state, true);
}

QChar XPButton::accessKeyOf(const QString &caption)
{
    const qsizetype n = caption.size();
    if (n < 2)
        return {};
    const qsizetype first = caption.indexOf(u'&');
    if (first < 0 || first == n - 1)
        return {};
    const QChar next = caption.at(first + 1);
    if (next != u'&')
        return next.toLower();
    // A doubled "&&" shows one ampersand: look for the next "&" after the pair.
    const qsizetype second = caption.indexOf(u'&', first + 2);
    if (second < 0 || second == n - 1)
        return {};
    const QChar key = caption.at(second + 1);
    if (key == u'&')
        return {};
    return key.toLower();
}

QStringList XPButton::storedKeys()
{
    return {QStringLiteral("btype"), QStringLiteral("tx"),     QStringLiteral("enab"),
            QStringLiteral("font"),  QStringLiteral("coltype"), QStringLiteral("focusr"),
            QStringLiteral("bcol"),  QStringLiteral("fcol")};
}

QVariantMap XPButton::saveProperties() const
{
    QVariantMap p;
    p.insert(QStringLiteral("btype"), m_buttonType);
    p.insert(QStringLiteral("tx"), m_caption);
    // The button's own setting, not whether a disabled parent switches it off.
    p.insert(QStringLiteral("enab"), !testAttribute(Qt::WA_ForceDisabled));
    p.insert(QStringLiteral("font"), font());
    p.insert(QStringLiteral("coltype"), m_colorScheme);
    p.insert(QStringLiteral("focusr"), m_showFocusRect);
    p.insert(QStringLiteral("bcol"), m_backColor);
    p.insert(QStringLiteral("fcol"), m_foreColor);
    return p;
}

void XPButton::loadProperties(const QVariantMap &p)
{
    auto integer = [&p](const char *key, int fallback) {
        bool ok = false;
        const int v = p.value(QLatin1String(key)).toInt(&ok);
        return ok ? v : fallback;
    };
    auto boolean = [&p](const char *key, bool fallback) {
        const QVariant v = p.value(QLatin1String(key));
        return v.isValid() && v.canConvert<bool>() ? v.toBool() : fallback;
    };
    auto colour = [&p](const char *key, const QColor &fallback) {
        const QVariant v = p.value(QLatin1String(key));
        QColor c;
        if (v.metaType() == QMetaType::fromType<QColor>())
            c = v.value<QColor>();
        else if (v.metaType() == QMetaType::fromType<QString>())
            c = QColor::fromString(v.toString());
        return c.isValid() ? c : fallback;
    };

    const QPalette system = palette();
    m_loading = true;
    m_buttonType = integer("btype", 2);
    m_caption = p.value(QStringLiteral("tx")).toString();
    const bool enabled = boolean("enab", true);
    m_colorScheme = integer("coltype", 1);
    m_showFocusRect = boolean("focusr", true);
    m_backColor = colour("bcol", system.color(QPalette::Active, QPalette::Button));
    m_foreColor = colour("fcol", system.color(QPalette::Active, QPalette::ButtonText));

    setEnabled(enabled);
    const QVariant f = p.value(QStringLiteral("font"));
    if (f.metaType() == QMetaType::fromType<QFont>()) {
        setFont(f.value<QFont>());
    } else if (f.metaType() == QMetaType::fromType<QString>()) {
        QFont font;
        if (font.fromString(f.toString()))
            setFont(font);
    }
    m_loading = false;

    computeColours();
    updateAccessKey();
    updateGeometry();
    draw(Up, true);
}

QSize XPButton::sizeHint() const
{
    const QFontMetrics fm(font());
    const QSize text = fm.size(Qt::TextSingleLine | Qt::TextExpandTabs | Qt::TextShowMnemonic,
                               m_caption);
    return QSize(std::max(75, text.width() + 16), std::max(23, text.height() + 8));
}

void XPButton::computeColours()
{
    switch (m_colorScheme) {
    case 2:
        m_colours.face = m_backColor;
        m_colours.text = m_foreColor;
        m_colours.shadow = shifted(m_backColor, -64);
        m_colours.light = shifted(m_backColor, 31);
        m_colours.highlight = shifted(m_backColor, 47);
        m_colours.darkShadow = shifted(m_backColor, -192);
        break;
    case 3:
        m_colours.face = QColor(192, 192, 192);
        m_colours.shadow = QColor(128, 128, 128);
        m_colours.light = QColor(223, 223, 223);
        m_colours.darkShadow = QColor(0, 0, 0);
        m_colours.highlight = QColor(255, 255, 255);
        m_colours.text = QColor(0, 0, 0);
        break;
    default: {
        const QPalette &pal = palette();
        m_colours.face = pal.color(QPalette::Active, QPalette::Button);
        m_colours.shadow = pal.color(QPalette::Active, QPalette::Dark);
        m_colours.light = pal.color(QPalette::Active, QPalette::Midlight);
        m_colours.darkShadow = pal.color(QPalette::Active, QPalette::Shadow);
        m_colours.highlight = pal.color(QPalette::Active, QPalette::Light);
        m_colours.text = pal.color(QPalette::Active, QPalette::ButtonText);
        break;
    }
    }
}

void XPButton::updateAccessKey()
{
    m_accessKey = accessKeyOf(m_caption);
    if (m_accessKey.isNull()) {
        m_shortcut->setKey(QKeySequence());
        m_shortcut->setEnabled(false);
        return;
    }
    const auto key = Qt::Key(m_accessKey.toUpper().unicode());
    m_shortcut->setKey(QKeySequence(QKeyCombination(Qt::AltModifier, key)));
    m_shortcut->setEnabled(true);
}

void XPButton::rebuildMask()
{
    const int w = width(), h = height();
    QList<QPoint> cut;
    switch (m_buttonType) {
    case 1:
        cut = {{0, 0}, {0, h - 1}, {w - 1, 0}, {w - 1, h - 1}};
        break;
    case 3:
    case 4:
        cut = {{0, 0},     {1, 0},         {0, 1},         {0, h - 1},
               {1, h - 1}, {0, h - 2},     {w - 2, 0},     {w - 1, 0},
               {w - 1, 1}, {w - 2, h - 1}, {w - 1, h - 1}, {w - 1, h - 2}};
        break;
    case 5:
        cut = {{0, h - 1}, {w - 1, 0}};
        break;
    default:
        break;
    }
    if (cut.isEmpty() || w <= 0 || h <= 0) {
        clearMask();
        return;
    }
    QRegion region(0, 0, w, h);
    for (const QPoint &p : cut)
        region -= QRegion(p.x(), p.y(), 1, 1);
    setMask(region);
}

void XPButton::draw(int state, bool forced)
{
    if (!forced && state == m_state && m_caption == m_drawnCaption)
        return;
    const int w = width(), h = height();
    if (h <= 0)
        return;
    m_state = state;
    m_drawnCaption = m_caption;
    if (w <= 0) {
        m_surface = QImage();
        return;
    }
    ++m_drawCount;

    if (m_surface.size() != QSize(w, h))
        m_surface = QImage(w, h, QImage::Format_RGB32);
    m_surface.fill(Qt::black);
    {
        Canvas canvas(m_surface, font());
        canvas.fill(0, 0, w, h, m_colours.face);
        const bool focus = m_focus && m_showFocusRect;
        LookPainter looks(canvas, w, h, m_colours, m_caption, focus, m_default);
        if (!isEnabled())
            looks.draw(m_buttonType, Look::Disabled);
        else
            looks.draw(m_buttonType, state == Down ? Look::Down : Look::Up);
    }
    update();
}

void XPButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_surface.isNull())
        p.fillRect(rect(), m_colours.face);
    else
        p.drawImage(0, 0, m_surface);
}

void XPButton::resizeEvent(QResizeEvent *)
{
    rebuildMask();
    draw(Up, true);
}

void XPButton::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (m_loading)
        return;
    switch (event->type()) {
    case QEvent::EnabledChange:
        draw(Up, true);
        emit propertyChanged(QStringLiteral("ENAB"));
        break;
    case QEvent::FontChange:
        updateGeometry();
        draw(Up, true);
        emit propertyChanged(QStringLiteral("FONT"));
        break;
    case QEvent::PaletteChange:
        computeColours();
        draw(m_state, true);
        break;
    default:
        break;
    }
}

void XPButton::focusInEvent(QFocusEvent *)
{
    m_focus = true;
    draw(m_state, true);
}

void XPButton::focusOutEvent(QFocusEvent *)
{
    m_focus = false;
    draw(m_state, true);
}

void XPButton::buttonDown(int button, int shift, int x, int y)
{
    m_lastButton = button;
    if (button != ButtonRight)
        draw(Down, false);
    emit mouseDown(button, shift, x, y);
}

void XPButton::buttonUp(int button, int shift, int x, int y)
{
    if (button != ButtonRight)
        draw(Up, false);
    emit mouseUp(button, shift, x, y);
}

void XPButton::windowClick()
{
    if (m_lastButton != ButtonLeft || !isEnabled())
        return;
    draw(Up, true);
    if (isVisible())
        repaint();
    emit clicked();
}

void XPButton::onAccessKey()
{
    windowClick();
}

void XPButton::mousePressEvent(QMouseEvent *event)
{
    const int button = buttonCode(event->button());
    if (button == 0) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    buttonDown(button, shiftFlags(event->modifiers()), pos.x(), pos.y());
}

void XPButton::mouseMoveEvent(QMouseEvent *event)
{
    const int held = buttonMask(event->buttons());
    if (held != 0 && held != ButtonLeft)
        return;
    const QPoint pos = event->position().toPoint();
    if (pos.x() < 0 || pos.y() < 0 || pos.x() > width() || pos.y() > height())
        draw(Up, false);
    else if (held == ButtonLeft)
        draw(Down, false);
}

void XPButton::mouseReleaseEvent(QMouseEvent *event)
{
    const int button = buttonCode(event->button());
    if (button == 0) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    const QPointer<XPButton> alive(this);   // a handler may delete the button
    buttonUp(button, shiftFlags(event->modifiers()), pos.x(), pos.y());
    if (!alive)
        return;
    if (m_afterDoubleClick) {
        m_afterDoubleClick = false;
        return;
    }
    // A press and release on the button make a click of its window.
    const bool inside = mask().isEmpty() ? rect().contains(pos) : mask().contains(pos);
    if (inside)
        windowClick();
}

void XPButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (buttonCode(event->button()) == 0) {
        event->ignore();
        return;
    }
    // The second press of a double click arrives as this event; its release gives no click.
    m_afterDoubleClick = true;
    if (m_lastButton == ButtonLeft)
        buttonDown(ButtonLeft, 1, 1, 1);
}

void XPButton::keyPressEvent(QKeyEvent *event)
{
    const int code = virtualKey(event);
    const int shift = shiftFlags(event->modifiers());
    const QPointer<XPButton> alive(this);   // a handler may delete the button
    if (code == VkSpace) {
        buttonDown(ButtonLeft, 1, 1, 1);
        if (!alive)
            return;
    } else if (code == VkRight || code == VkDown || code == VkLeft || code == VkUp) {
        // Like a typed Tab (or Shift+Tab): the focus moves once this key is handled.
        const bool forward = code == VkRight || code == VkDown;
        QCoreApplication::postEvent(
            this, new QKeyEvent(QEvent::KeyPress, forward ? Qt::Key_Tab : Qt::Key_Backtab,
                                forward ? Qt::NoModifier : Qt::ShiftModifier));
    }
    emit keyDown(code, shift);
    if (alive && !event->text().isEmpty())
        emit keyPress(event->text().at(0).unicode());
    event->accept();
}

void XPButton::keyReleaseEvent(QKeyEvent *event)
{
    event->accept();
    if (event->isAutoRepeat())
        return;   // a held key ends with one release
    const int code = virtualKey(event);
    const QPointer<XPButton> alive(this);   // a handler may delete the button
    if (code == VkSpace) {
        buttonUp(ButtonLeft, 1, 1, 1);
        if (!alive)
            return;
        m_lastButton = ButtonLeft;
        windowClick();
        if (!alive)
            return;
    }
    emit keyUp(code, shiftFlags(event->modifiers()));
}

} // namespace controls
