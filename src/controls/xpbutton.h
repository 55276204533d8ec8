#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

class QShortcut;

namespace controls {

// The program's own push button. It paints itself pixel by pixel into a persistent image
// (redrawn only when its state, caption, a property, its size or its focus changes; the
// paint event just copies that image), in one of seven outline styles and three colour
// schemes, and clips its corners with a window mask.
//
// All coordinates are pixels of the widget. Every form uses style 3 with colour scheme 1:
//
//     auto *b = new XPButton(QStringLiteral("&Esci"), this);
//     b->setButtonType(XPButton::FormStyle);
//     connect(b, &XPButton::clicked, this, &MyForm::onEsci);
//
// Enabled state and font are the widget's own (setEnabled/isEnabled, setFont/font); a change
// of either redraws the button at once. The tool tip is the ordinary one.
//
// Events reach the form as signals. Button codes: 1 left, 2 right, 4 middle; shift flags:
// 1 Shift, 2 Ctrl, 4 Alt; key codes are the classic virtual key codes (65 'A', 32 space,
// 37..40 left/up/right/down, 13 Enter, 27 Esc, 112.. F1..). A key press gives keyDown, then
// keyPress with the character code when the key types one; its release gives keyUp.
//
// Host-related choices:
//  * Style 2 draws its framed "default button" look when the host marks the button as its
//    default button (setDefault(true)); the flag is read at every drawing, and changing it
//    redraws the current state at once.
//  * A palette change of the host (changeEvent with QEvent::PaletteChange, which carries the
//    event as its one argument) recomputes the colours and redraws the current state,
//    forced, so colour scheme 1 follows the system colours.
class XPButton : public QWidget {
    Q_OBJECT
public:
    // The style and scheme every form of the program uses.
    static constexpr int FormStyle = 3;
    static constexpr int FormScheme = 1;

    // Drawn states.
    enum State { Up = 0, Down = 2 };

    // The six colours the looks are drawn with.
    struct Colours {
        QColor face, light, highlight, shadow, darkShadow, text;
    };

    explicit XPButton(const QString &caption = {}, QWidget *parent = nullptr);
    ~XPButton() override;

    // Colours used by colour scheme 2 (defaults: the system button face and button text).
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor &colour);
    QColor foreColor() const { return m_foreColor; }
    void setForeColor(const QColor &colour);

    // Outline style, 1 to 7 (2 for a new button). Redraws at once in the up state; the
    // corner clipping follows at the next resize. Other values draw the face only.
    int buttonType() const { return m_buttonType; }
    void setButtonType(int type);

    // Single-line caption; "&" marks the access character ("&&" shows "&").
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

    // 1 system colours (also any value other than 2 and 3), 2 from backColor/foreColor,
    // 3 fixed greys.
    int colorScheme() const { return m_colorScheme; }
    void setColorScheme(int scheme);

    bool showFocusRect() const { return m_showFocusRect; }
    void setShowFocusRect(bool show);

    // The host's default-button mark (style 2's framed look).
    bool isDefault() const { return m_default; }
    void setDefault(bool isDefault);

    // The access key of the caption, in lower case; a null QChar when it has none.
    // Alt + that key acts as a click.
    QChar accessKey() const { return m_accessKey; }
    static QChar accessKeyOf(const QString &caption);

    // Stored properties: the eight keys, always all of them, in the order a host writes
    // them: btype, tx, enab, font, coltype, focusr, bcol, fcol. (A QVariantMap keeps its
    // keys sorted, so storedKeys() gives that order.)
    static QStringList storedKeys();
    QVariantMap saveProperties() const;
    // Missing or unusable values take their defaults (a missing font keeps the current
    // one). Draws the up state.
    void loadProperties(const QVariantMap &properties);

    // What is drawn: the palette in use, the last drawn state, how many drawings were made
    // (needless redraws are skipped), the last mouse button pressed, the drawing surface.
    const Colours &colours() const { return m_colours; }
    int drawnState() const { return m_state; }
    int drawCount() const { return m_drawCount; }
    int lastButton() const { return m_lastButton; }
    const QImage &surface() const { return m_surface; }

    QSize sizeHint() const override;

signals:
    void clicked();
    void mouseDown(int button, int shift, int x, int y);
    void mouseUp(int button, int shift, int x, int y);
    void keyPress(int code);
    void keyDown(int code, int shift);
    void keyUp(int code, int shift);
    // A property was set; key is its stored key in upper case ("BTYPE", "TX", ...).
    void propertyChanged(const QString &key);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    // After a property is set: the palette worked out again when it depends on it, the
    // button drawn again (in its current state, or raised for a new outline, caption or
    // scheme) and the change announced under its stored key.
    enum class Recolour { No, Yes };
    enum class Redraw { InState, Raised };
    void afterSet(const QString &key, Recolour recolour, Redraw redraw);
    void computeColours();
    void updateAccessKey();
    void rebuildMask();
    // Draws the given state into the surface; skipped unless forced or the state or the
    // caption differs from the last drawing, and when the height is 0.
    void draw(int state, bool forced);
    void buttonDown(int button, int shift, int x, int y);
    void buttonUp(int button, int shift, int x, int y);
    void windowClick();
    void onAccessKey();

    QColor m_backColor;
    QColor m_foreColor;
    int m_buttonType = 2;
    QString m_caption;
    int m_colorScheme = 1;
    bool m_showFocusRect = true;
    bool m_default = false;

    Colours m_colours;
    QChar m_accessKey;
    QShortcut *m_shortcut = nullptr;

    QImage m_surface;
    int m_state = Up;
    QString m_drawnCaption;
    int m_drawCount = 0;

    int m_lastButton = 1;
    bool m_focus = false;
    bool m_afterDoubleClick = false;    // the coming release ends a double click: no click
    bool m_loading = false;             // loadProperties() at work: no drawing, no signals
};

} // namespace controls
