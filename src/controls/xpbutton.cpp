#include "xpbutton.h"

#include "buttonlooks.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QShortcut>

#include <algorithm>
#include <optional>

namespace controls {

namespace {

// Virtual key codes reported by keyDown/keyUp.
constexpr int VkSpace = 32;
constexpr int VkLeft = 37;
constexpr int VkUp = 38;
constexpr int VkRight = 39;
constexpr int VkDown = 40;
constexpr int VkReturn = 13;

// The keys that press the focused button and click it when released: the space bar, and
// Enter (main keyboard or keypad), which a user expects to act on the button shown focused.
bool clicksOnRelease(int code)
{
    return code == VkSpace || code == VkReturn;
}

constexpr int ButtonLeft = 1;
constexpr int ButtonRight = 2;
constexpr int ButtonMiddle = 4;

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

// A press or release as the mouse events report it: the button's code, the shift flags and
// the position. nullopt, with the event ignored, for a button that has no code.
struct MouseArgs {
    int button;
    int shift;
    QPoint pos;
};

std::optional<MouseArgs> mouseArgs(QMouseEvent *event)
{
    const int button = buttonCode(event->button());
    if (button == 0) {
        event->ignore();
        return std::nullopt;
    }
    return MouseArgs{button, shiftFlags(event->modifiers()), event->position().toPoint()};
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
    case Qt::Key_Enter: return VkReturn;
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
    afterSet(QStringLiteral("BCOL"), Recolour::Yes, Redraw::InState);
}

void XPButton::setForeColor(const QColor &colour)
{
    m_foreColor = colour;
    afterSet(QStringLiteral("FCOL"), Recolour::Yes, Redraw::InState);
}

void XPButton::setButtonType(int type)
{
    m_buttonType = type;
    afterSet(QStringLiteral("BTYPE"), Recolour::No, Redraw::Raised);
}

void XPButton::setCaption(const QString &caption)
{
    m_caption = caption;
    updateAccessKey();
    updateGeometry();
    afterSet(QStringLiteral("TX"), Recolour::No, Redraw::Raised);
}

void XPButton::setColorScheme(int scheme)
{
    m_colorScheme = scheme;
    afterSet(QStringLiteral("COLTYPE"), Recolour::Yes, Redraw::Raised);
}

void XPButton::setShowFocusRect(bool show)
{
    m_showFocusRect = show;
    afterSet(QStringLiteral("FOCUSR"), Recolour::No, Redraw::InState);
}

void XPButton::afterSet(const QString &key, Recolour recolour, Redraw redraw)
{
    if (recolour == Recolour::Yes)
        computeColours();
    draw(redraw == Redraw::Raised ? Up : m_state, true);
    emit propertyChanged(key);
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
    m_colours = buttonlooks::schemeColours(m_colorScheme, m_backColor, m_foreColor, palette());
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
    const QList<QPoint> cut = buttonlooks::cornerCuts(m_buttonType, w, h);
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
    using buttonlooks::Look;
    const Look look = !isEnabled() ? Look::Disabled : state == Down ? Look::Down : Look::Up;
    buttonlooks::paint(m_surface, font(), m_buttonType, look, m_colours, m_caption,
                       m_focus && m_showFocusRect, m_default);
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
        afterSet(QStringLiteral("ENAB"), Recolour::No, Redraw::Raised);
        break;
    case QEvent::FontChange:
        updateGeometry();
        afterSet(QStringLiteral("FONT"), Recolour::No, Redraw::Raised);
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
    if (const std::optional<MouseArgs> m = mouseArgs(event))
        buttonDown(m->button, m->shift, m->pos.x(), m->pos.y());
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
    const std::optional<MouseArgs> m = mouseArgs(event);
    if (!m)
        return;
    const QPoint pos = m->pos;
    const QPointer<XPButton> alive(this);   // a handler may delete the button
    buttonUp(m->button, m->shift, pos.x(), pos.y());
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
    if (clicksOnRelease(code)) {
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
    if (clicksOnRelease(code)) {
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
