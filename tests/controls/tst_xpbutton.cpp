// The push button drawn pixel by pixel: looks, corner masks, events and stored properties.
#include "controls/xpbutton.h"

#include <QSignalSpy>
#include <QTest>
#include <QStyleHints>
#include <QWindow>
#include <functional>
#include <memory>

using controls::XPButton;

namespace {

const QColor Magenta(255, 0, 255);   // the host's background, seen through clipped corners

// Known system colours for colour scheme 1.
QPalette testPalette()
{
    QPalette p;
    p.setColor(QPalette::Button, QColor(200, 201, 202));
    p.setColor(QPalette::Dark, QColor(100, 101, 102));
    p.setColor(QPalette::Midlight, QColor(210, 211, 212));
    p.setColor(QPalette::Shadow, QColor(10, 11, 12));
    p.setColor(QPalette::Light, QColor(250, 251, 252));
    p.setColor(QPalette::ButtonText, QColor(1, 2, 3));
    p.setColor(QPalette::Window, Magenta);
    return p;
}
const QColor Face(200, 201, 202);

QFont pixelFont()
{
    QFont f(QStringLiteral("DejaVu Sans"), 9);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

// A shown, active window holding one button at (10, 10).
struct Host {
    QWidget top;
    XPButton *b;
    QStringList log;

    explicit Host(int type = 3, QSize size = QSize(60, 21), const QString &caption = {})
    {
        top.setPalette(testPalette());
        top.setAutoFillBackground(true);
        top.resize(200, 120);
        b = new XPButton(caption, &top);
        b->setFont(pixelFont());
        b->setButtonType(type);
        b->setGeometry(QRect(QPoint(10, 10), size));
        QObject::connect(b, &XPButton::clicked, [this] { log << "Click"; });
        QObject::connect(b, &XPButton::mouseDown, [this](int k, int s, int x, int y) {
            log << QString("MouseDown %1 %2 %3 %4").arg(k).arg(s).arg(x).arg(y);
        });
        QObject::connect(b, &XPButton::mouseUp, [this](int k, int s, int x, int y) {
            log << QString("MouseUp %1 %2 %3 %4").arg(k).arg(s).arg(x).arg(y);
        });
        QObject::connect(b, &XPButton::keyDown,
                         [this](int c, int s) { log << QString("KeyDown %1 %2").arg(c).arg(s); });
        QObject::connect(b, &XPButton::keyUp,
                         [this](int c, int s) { log << QString("KeyUp %1 %2").arg(c).arg(s); });
        QObject::connect(b, &XPButton::keyPress, [this](int c) { log << QString("KeyPress %1").arg(c); });
        top.show();
        top.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&top));
        b->clearFocus();   // tests start without focus
    }
    QImage image() const { return b->grab().toImage(); }
    QColor at(int x, int y) const { return image().pixelColor(x, y); }
    // Pixel of the host at button coordinates: what the window really shows there.
    QColor shown(int x, int y) { return top.grab().toImage().pixelColor(10 + x, 10 + y); }
    QWindow *window() const { return top.windowHandle(); }
    QPoint onHost(QPoint p) const { return p + QPoint(10, 10); }
    void move(QPoint p, Qt::MouseButtons held)
    {
        QMouseEvent e(QEvent::MouseMove, p, b->mapToGlobal(p), Qt::NoButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(b, &e);
    }
    // Left press sent to the button itself, with the focus as asked.
    void pressDown(bool focus)
    {
        QMouseEvent e(QEvent::MouseButtonPress, QPoint(5, 5), b->mapToGlobal(QPoint(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(b, &e);
        focus ? b->setFocus() : b->clearFocus();
    }
};

// Points are given from the right or bottom edge when negative (-1 is the last pixel).
QPoint resolve(QPoint p, QSize s)
{
    return QPoint(p.x() < 0 ? s.width() + p.x() : p.x(), p.y() < 0 ? s.height() + p.y() : p.y());
}

// Ink of one colour inside the button's inner area.
QRect inkBounds(const QImage &img, const QColor &c, QList<QPoint> *points = nullptr)
{
    QRect r;
    for (int y = 3; y < img.height() - 3; ++y)
        for (int x = 3; x < img.width() - 3; ++x)
            if (img.pixelColor(x, y) == c) {
                r |= QRect(x, y, 1, 1);
                if (points)
                    points->append(QPoint(x, y));
            }
    return r;
}

enum Look { Up, Down, Disabled };

} // namespace

class TestXPButton : public QObject {
    Q_OBJECT
private slots:
    void style3Pixels_data();
    void style3Pixels();
    void style3FocusMark();
    void captionPlacement();
    void accessCharacterDisplay();
    void otherStyles_data();
    void otherStyles();
    void colourSchemes_data();
    void colourSchemes();
    void cornerMasks_data();
    void cornerMasks();
    void clippedCornerDoesNotPress();
    void clickKeysOrder_data();
    void clickKeysOrder();
    void rightButtonLeavesLook();
    void modifiersAndMiddleButton();
    void dragOutAndIn();
    void doubleClickGivesOneClick();
    void arrowsMoveFocus();
    void keyEvents();
    void disabledButton();
    void accessKeys_data();
    void accessKeys();
    void accessKeyClicks();
    void savedProperties();
    void loadAppliesDefaults();
    void buttonTypeChange();
    void needlessRedrawsSkipped();
    void hostChanges();
};

void TestXPButton::style3Pixels_data()
{
    QTest::addColumn<int>("look");
    QTest::addColumn<int>("height");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("colour");

    // What the window shows, 60 x 21 unless said otherwise. The gradient shows between the
    // inner lines; the corners the region cuts away show the host behind the button.
    QTest::newRow("up: corner cut at the top") << int(Up) << 21 << QPoint(0, 1) << Magenta;
    QTest::newRow("up: corner cut at the origin") << int(Up) << 21 << QPoint(0, 0) << Magenta;
    QTest::newRow("up: inner row 3") << int(Up) << 21 << QPoint(30, 3) << QColor(244, 244, 248);
    QTest::newRow("up: inner row 10") << int(Up) << 21 << QPoint(30, 10) << QColor(219, 219, 231);
    QTest::newRow("up: inner row 17") << int(Up) << 21 << QPoint(30, 17) << QColor(194, 194, 215);
    QTest::newRow("up: corner cut at the bottom") << int(Up) << 21 << QPoint(0, 20) << Magenta;
    QTest::newRow("up: gradient reaches the right inner line") << int(Up) << 21 << QPoint(57, 17) << QColor(194, 194, 215);
    QTest::newRow("up: half rounds to even 22.5") << int(Up) << 20 << QPoint(30, 6) << QColor(233, 233, 240);
    QTest::newRow("up: half rounds to even 52.5") << int(Up) << 20 << QPoint(30, 14) << QColor(203, 203, 220);
    QTest::newRow("up: border top") << int(Up) << 21 << QPoint(2, 0) << QColor(0, 60, 115);
    QTest::newRow("up: border top end") << int(Up) << 21 << QPoint(57, 0) << QColor(0, 60, 115);
    QTest::newRow("up: border stops before the cut at w-2") << int(Up) << 21 << QPoint(58, 0) << Magenta;
    QTest::newRow("up: border left") << int(Up) << 21 << QPoint(0, 18) << QColor(0, 60, 115);
    QTest::newRow("up: border left stops at h-3") << int(Up) << 21 << QPoint(0, 19) << Magenta;
    QTest::newRow("up: border right stops at h-3") << int(Up) << 21 << QPoint(59, 19) << Magenta;
    QTest::newRow("up: border right") << int(Up) << 21 << QPoint(59, 2) << QColor(0, 60, 115);
    QTest::newRow("up: border bottom") << int(Up) << 21 << QPoint(2, 20) << QColor(0, 60, 115);
    QTest::newRow("up: corner pixel top left") << int(Up) << 21 << QPoint(1, 1) << QColor(16, 77, 123);
    QTest::newRow("up: corner pixel bottom right") << int(Up) << 21 << QPoint(58, 19) << QColor(16, 77, 123);
    QTest::newRow("up: frame left") << int(Up) << 21 << QPoint(1, 10) << QColor(140, 174, 231);
    QTest::newRow("up: frame right") << int(Up) << 21 << QPoint(58, 10) << QColor(140, 174, 231);
    QTest::newRow("up: frame bottom") << int(Up) << 21 << QPoint(30, 18) << QColor(140, 174, 231);
    QTest::newRow("up: line h-2") << int(Up) << 21 << QPoint(2, 19) << QColor(107, 130, 239);
    QTest::newRow("up: line row 1") << int(Up) << 21 << QPoint(57, 1) << QColor(206, 231, 255);
    QTest::newRow("up: line row 2 over the frame") << int(Up) << 21 << QPoint(1, 2) << QColor(189, 215, 247);
    QTest::newRow("up: no focus, no line") << int(Up) << 21 << QPoint(2, 10) << QColor(219, 219, 231);

    QTest::newRow("down: corner cut") << int(Down) << 21 << QPoint(59, 1) << Magenta;
    QTest::newRow("down: inner row 3") << int(Down) << 21 << QPoint(30, 3) << QColor(243, 243, 246);
    QTest::newRow("down: inner row 10") << int(Down) << 21 << QPoint(30, 10) << QColor(215, 215, 226);
    QTest::newRow("down: lowest gradient row shown") << int(Down) << 21 << QPoint(30, 17) << QColor(186, 186, 206);
    QTest::newRow("down: border") << int(Down) << 21 << QPoint(2, 0) << QColor(0, 60, 115);
    QTest::newRow("down: corner pixel") << int(Down) << 21 << QPoint(1, 19) << QColor(16, 77, 123);
    QTest::newRow("down: frame") << int(Down) << 21 << QPoint(1, 10) << QColor(128, 128, 255);
    QTest::newRow("down: line h-2") << int(Down) << 21 << QPoint(57, 19) << QColor(64, 64, 64);
    QTest::newRow("down: line row 1") << int(Down) << 21 << QPoint(2, 1) << QColor(0, 0, 0);
    QTest::newRow("down: line row 2") << int(Down) << 21 << QPoint(58, 2) << QColor(224, 224, 224);
    QTest::newRow("down: left inner line") << int(Down) << 21 << QPoint(2, 17) << QColor(224, 224, 224);
    QTest::newRow("down: right inner line") << int(Down) << 21 << QPoint(57, 3) << QColor(255, 255, 255);

    QTest::newRow("disabled: corner cut") << int(Disabled) << 21 << QPoint(1, 20) << Magenta;
    QTest::newRow("disabled: first gradient row shown") << int(Disabled) << 21 << QPoint(30, 3) << QColor(246, 246, 249);
    QTest::newRow("disabled: inner row 10") << int(Disabled) << 21 << QPoint(30, 10) << QColor(226, 226, 236);
    QTest::newRow("disabled: border") << int(Disabled) << 21 << QPoint(59, 18) << QColor(0, 60, 115);
    QTest::newRow("disabled: frame") << int(Disabled) << 21 << QPoint(58, 10) << QColor(153, 186, 253);
    QTest::newRow("disabled: line h-2") << int(Disabled) << 21 << QPoint(2, 19) << QColor(113, 138, 254);
    QTest::newRow("disabled: line row 1") << int(Disabled) << 21 << QPoint(2, 1) << QColor(208, 234, 255);
    QTest::newRow("disabled: line row 2") << int(Disabled) << 21 << QPoint(1, 2) << QColor(191, 217, 250);
}

void TestXPButton::style3Pixels()
{
    QFETCH(int, look);
    QFETCH(int, height);
    QFETCH(QPoint, point);
    QFETCH(QColor, colour);

    Host host(3, QSize(60, height));
    if (look == Down)
        host.pressDown(false);
    if (look == Disabled) {
        host.pressDown(false);   // whatever the state: the disabled look
        host.b->setEnabled(false);
    }
    QCOMPARE(host.shown(point.x(), point.y()), colour);
}

// The focus mark of style 3 is a dotted rectangle that inverts the face: dark on the
// near-white gradient, where the two white lines drawn before could not be seen.
void TestXPButton::style3FocusMark()
{
    Host host;
    const QColor face(219, 219, 231);   // row 10 of the up gradient
    host.b->setFocus();
    QTRY_VERIFY(host.b->hasFocus());
    for (QPoint p : {QPoint(4, 4), QPoint(4, 10), QPoint(55, 15), QPoint(30, 16)}) {
        const QColor c = host.at(p.x(), p.y());
        QVERIFY2(qGray(c.rgb()) < 64, qPrintable(QString("(%1,%2)").arg(p.x()).arg(p.y())));
    }
    QVERIFY(qGray(host.at(4, 11).rgb()) > 200);   // dotted: every other pixel
    QCOMPARE(host.at(2, 10), face);   // no white line any more

    host.b->setShowFocusRect(false);
    QCOMPARE(host.at(4, 10), face);
    host.b->setShowFocusRect(true);
    QVERIFY(qGray(host.at(4, 10).rgb()) < 64);
    host.b->clearFocus();
    QCOMPARE(host.at(4, 10), face);
}

void TestXPButton::captionPlacement()
{
    Host host(3, QSize(80, 23), QStringLiteral("Esci"));
    host.b->setColorScheme(3);   // black text, white highlight, grey shadow
    const QColor black(0, 0, 0), white(255, 255, 255), grey(128, 128, 128);

    const QRect up = inkBounds(host.image(), black);
    QVERIFY(!up.isEmpty());
    QVERIFY2(qAbs(up.left() - (79 - up.right())) <= 2, "centred across");
    QVERIFY2(qAbs(up.top() - (22 - up.bottom())) <= 4, "centred down");

    host.pressDown(false);
    QCOMPARE(inkBounds(host.image(), black), up.translated(1, 1));

    host.b->setEnabled(false);
    const QImage img = host.image();
    QVERIFY(inkBounds(img, black).isEmpty());
    const QRect shadow = inkBounds(img, grey), highlight = inkBounds(img, white);
    QCOMPARE(shadow, up);                                           // full rectangle
    QCOMPARE(highlight.bottomRight(), up.bottomRight() + QPoint(1, 1));   // text rectangle, below
}

void TestXPButton::accessCharacterDisplay()
{
    Host host(3, QSize(90, 23));
    host.b->setColorScheme(3);
    const QColor black(0, 0, 0);
    auto ink = [&](const QString &caption) {
        host.b->setCaption(caption);
        QList<QPoint> points;
        const QRect r = inkBounds(host.image(), black, &points);
        return std::make_pair(r, points);
    };
    const auto [plainBox, plain] = ink(QStringLiteral("Esci"));
    const auto [markedBox, marked] = ink(QStringLiteral("&Esci"));
    for (const QPoint &p : plain)
        QVERIFY(marked.contains(p));
    QVERIFY2(marked.size() > plain.size(), "the access character is underlined");
    for (const QPoint &p : marked)
        if (!plain.contains(p))
            QVERIFY2(p.y() > plainBox.bottom() && p.x() < plainBox.center().x(), "underline below the E");

    const auto [abBox, ab] = ink(QStringLiteral("AB"));
    const auto [ampBox, amp] = ink(QStringLiteral("A&&B"));
    QVERIFY2(ampBox.width() > abBox.width(), "a doubled ampersand shows one");
    QCOMPARE(ampBox.bottom(), abBox.bottom());   // and underlines nothing
}

void TestXPButton::otherStyles_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("look");
    QTest::addColumn<bool>("focus");
    QTest::addColumn<QList<QPoint>>("points");
    QTest::addColumn<QColor>("colour");

    // Colour scheme 3 on 40 x 20: F 192, S 128, L 223, D 0, H 255 (greys).
    auto g = [](int v) { return QColor(v, v, v); };
    const QColor F = g(192), S = g(128), L = g(223), D = g(0), H = g(255);
    using P = QList<QPoint>;
    QTest::newRow("1 up: border inset") << 1 << int(Up) << false << P{{1, 0}, {0, 1}, {-1, -2}} << D;
    QTest::newRow("1 up: H frames") << 1 << int(Up) << false << P{{1, 1}, {2, 2}, {5, 1}} << H;
    QTest::newRow("1 up: S lines") << 1 << int(Up) << false << P{{-2, 5}, {-3, 5}, {5, -2}, {5, -3}} << S;
    QTest::newRow("1 up: no focus") << 1 << int(Up) << false << P{{4, 4}, {4, 6}} << F;
    QTest::newRow("1 up: dotted focus") << 1 << int(Up) << true << P{{4, 4}, {4, 6}, {6, 4}} << g(63);
    QTest::newRow("1 up: focus gaps") << 1 << int(Up) << true << P{{4, 5}, {5, 4}} << F;
    QTest::newRow("1 down: S frames") << 1 << int(Down) << false << P{{1, 1}, {2, 2}} << S;
    QTest::newRow("1 down: H lines") << 1 << int(Down) << false << P{{-2, 5}, {5, -3}} << H;
    QTest::newRow("1 disabled: up frames") << 1 << int(Disabled) << true << P{{1, 1}, {4, 2}} << H;
    QTest::newRow("1 disabled: no focus") << 1 << int(Disabled) << true << P{{4, 4}} << F;

    QTest::newRow("2 up: H frame") << 2 << int(Up) << false << P{{0, 0}, {-2, 0}, {0, -2}} << H;
    QTest::newRow("2 up: L frame") << 2 << int(Up) << false << P{{1, 1}, {5, 1}} << L;
    QTest::newRow("2 up: D lines") << 2 << int(Up) << false << P{{-1, 0}, {-1, 5}, {0, -1}} << D;
    QTest::newRow("2 up: S lines") << 2 << int(Up) << false << P{{-2, 5}, {5, -2}} << S;
    QTest::newRow("2 up: no focus mark") << 2 << int(Up) << true << P{{4, 4}} << F;
    QTest::newRow("2 down: D frame") << 2 << int(Down) << false << P{{0, 0}, {-1, 5}} << D;
    QTest::newRow("2 down: S frame") << 2 << int(Down) << false << P{{1, 1}, {-2, -2}} << S;
    QTest::newRow("2 down: focus") << 2 << int(Down) << true << P{{4, 4}} << g(63);
    QTest::newRow("2 disabled: H frame") << 2 << int(Disabled) << false << P{{0, 0}} << H;
    QTest::newRow("2 disabled: L bottom") << 2 << int(Disabled) << false << P{{1, 1}, {5, -2}} << L;
    QTest::newRow("2 disabled: S right") << 2 << int(Disabled) << false << P{{-2, 5}} << S;

    QTest::newRow("4 up: D outline") << 4 << int(Up) << false << P{{2, 0}, {1, 1}, {-2, -2}, {-1, 5}} << D;
    QTest::newRow("4 up: F pixels and lines") << 4 << int(Up) << false
        << P{{1, 2}, {2, 1}, {-3, 5}, {5, -3}, {-4, -4}, {2, -2}} << F;
    QTest::newRow("4 up: H lines") << 4 << int(Up) << false << P{{3, 2}, {2, 5}, {3, 3}} << H;
    QTest::newRow("4 up: S lines") << 4 << int(Up) << false << P{{-2, 5}, {5, -2}, {-3, -3}} << S;
    QTest::newRow("4 up: L fill") << 4 << int(Up) << false << P{{5, 5}, {2, -3}, {-2, 2}} << L;
    QTest::newRow("4 disabled: F at w-2,2") << 4 << int(Disabled) << false << P{{-2, 2}} << F;
    QTest::newRow("4 down: S-16") << 4 << int(Down) << false << P{{5, 5}, {-2, 5}, {-3, 1}, {1, -3}} << g(112);
    QTest::newRow("4 down: S-64") << 4 << int(Down) << false << P{{1, 1}, {2, 2}, {5, 1}} << g(64);
    QTest::newRow("4 down: S-32") << 4 << int(Down) << false << P{{3, 3}, {-2, 2}, {2, -2}} << g(96);
    QTest::newRow("4 down: S") << 4 << int(Down) << false << P{{-3, 5}, {5, -3}, {-4, -4}} << S;
    QTest::newRow("4 down: D outline") << 4 << int(Down) << false << P{{2, 0}, {0, 2}} << D;

    QTest::newRow("5 up: F+12 fill") << 5 << int(Up) << false << P{{5, 5}} << g(204);
    QTest::newRow("5 up: H frame") << 5 << int(Up) << false << P{{1, 1}, {-1, 5}, {5, -1}} << H;
    QTest::newRow("5 up: S-26 frame") << 5 << int(Up) << false << P{{0, 0}, {-2, 5}, {5, -2}} << g(102);
    QTest::newRow("5 up: S+26 pixels") << 5 << int(Up) << false << P{{1, -2}, {-2, 1}} << g(154);
    QTest::newRow("5 up: focus mark") << 5 << int(Up) << true << P{{17, 7}, {22, 7}, {17, 12}} << QColor(153, 153, 204);
    QTest::newRow("5 down: S+16 fill") << 5 << int(Down) << false << P{{5, 5}} << g(144);
    QTest::newRow("5 down: H lines") << 5 << int(Down) << false << P{{-1, 5}, {5, -1}} << H;
    QTest::newRow("5 disabled: S frame") << 5 << int(Disabled) << false << P{{0, 0}, {-1, -1}} << S;

    QTest::newRow("6 up: L+8 frames") << 6 << int(Up) << false << P{{0, 0}, {1, 1}} << g(231);
    QTest::newRow("6 up: S lines") << 6 << int(Up) << false << P{{-1, 5}, {-2, 5}, {5, -1}, {5, -2}} << S;
    QTest::newRow("6 down: S frames") << 6 << int(Down) << false << P{{0, 0}, {1, 1}} << S;
    QTest::newRow("6 down: L+8 lines") << 6 << int(Down) << false << P{{-1, 5}, {5, -2}} << g(231);
    QTest::newRow("6 disabled: up frames") << 6 << int(Disabled) << true << P{{0, 0}} << g(231);

    QTest::newRow("7 up: H frame") << 7 << int(Up) << false << P{{0, 0}, {5, 0}} << H;
    QTest::newRow("7 up: S lines") << 7 << int(Up) << false << P{{-1, 5}, {5, -1}} << S;
    QTest::newRow("7 down: S frame, H lines") << 7 << int(Down) << false << P{{0, 0}} << S;
    QTest::newRow("7 down: H lines") << 7 << int(Down) << false << P{{-1, 5}, {5, -1}} << H;
    QTest::newRow("7 disabled: H frame") << 7 << int(Disabled) << false << P{{0, 0}} << H;

    QTest::newRow("unknown style: face only") << 9 << int(Up) << true << P{{0, 0}, {4, 4}, {-1, -1}} << F;
    QTest::newRow("unknown style down: face only") << 0 << int(Down) << false << P{{0, 0}, {2, 1}} << F;
}

void TestXPButton::otherStyles()
{
    QFETCH(int, style);
    QFETCH(int, look);
    QFETCH(bool, focus);
    QFETCH(QList<QPoint>, points);
    QFETCH(QColor, colour);

    Host host(style, QSize(40, 20));
    host.b->setColorScheme(3);
    if (look == Down)
        host.pressDown(focus);
    else
        focus ? host.b->setFocus() : host.b->clearFocus();
    if (look == Disabled)
        host.b->setEnabled(false);
    const QImage img = host.image();
    for (QPoint p : points) {
        const QPoint at = resolve(p, img.size());
        QVERIFY2(img.pixelColor(at) == colour,
                 qPrintable(QString("pixel (%1, %2) is %3").arg(at.x()).arg(at.y()).arg(img.pixelColor(at).name())));
    }
}

void TestXPButton::colourSchemes_data()
{
    QTest::addColumn<int>("scheme");
    QTest::addColumn<QColor>("back");
    // Style 2 up: H at (0, 0), L at (1, 1), D at (w-1, 5), S at (w-2, 5), F inside.
    QTest::addColumn<QList<QColor>>("expected");

    QTest::newRow("1: system colours") << 1 << QColor(100, 150, 200)
        << QList<QColor>{{250, 251, 252}, {210, 211, 212}, {10, 11, 12}, {100, 101, 102}, Face};
    QTest::newRow("other values: system colours") << 7 << QColor(100, 150, 200)
        << QList<QColor>{{250, 251, 252}, {210, 211, 212}, {10, 11, 12}, {100, 101, 102}, Face};
    QTest::newRow("2: shifted from BackColor") << 2 << QColor(100, 150, 200)
        << QList<QColor>{{147, 197, 247}, {131, 181, 231}, {0, 0, 8}, {36, 86, 136}, {100, 150, 200}};
    QTest::newRow("2: shifts clamp") << 2 << QColor(250, 10, 128)
        << QList<QColor>{{255, 57, 175}, {255, 41, 159}, {58, 0, 0}, {186, 0, 64}, {250, 10, 128}};
    QTest::newRow("3: fixed greys") << 3 << QColor(100, 150, 200)
        << QList<QColor>{{255, 255, 255}, {223, 223, 223}, {0, 0, 0}, {128, 128, 128}, {192, 192, 192}};
}

void TestXPButton::colourSchemes()
{
    QFETCH(int, scheme);
    QFETCH(QColor, back);
    QFETCH(QList<QColor>, expected);

    Host host(2, QSize(40, 20));
    host.b->setBackColor(back);
    host.b->setColorScheme(scheme);
    const QImage img = host.image();
    QCOMPARE(img.pixelColor(0, 0), expected[0]);
    QCOMPARE(img.pixelColor(1, 1), expected[1]);
    QCOMPARE(img.pixelColor(39, 5), expected[2]);
    QCOMPARE(img.pixelColor(38, 5), expected[3]);
    QCOMPARE(img.pixelColor(20, 10), expected[4]);
}

void TestXPButton::cornerMasks_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QList<QPoint>>("clipped");
    QTest::addColumn<QList<QPoint>>("kept");
    using P = QList<QPoint>;
    QTest::newRow("1: four corner pixels") << 1 << P{{0, 0}, {0, -1}, {-1, 0}, {-1, -1}}
                                           << P{{1, 0}, {0, 1}, {-2, -1}, {-1, -2}};
    const P three{{0, 0}, {1, 0}, {0, 1}, {0, -1}, {1, -1}, {0, -2},
                  {-2, 0}, {-1, 0}, {-1, 1}, {-2, -1}, {-1, -1}, {-1, -2}};
    const P inside{{2, 0}, {1, 1}, {0, 2}, {-2, -2}, {-3, -1}, {-1, -3}};
    QTest::newRow("3: three per corner") << 3 << three << inside;
    QTest::newRow("4: three per corner") << 4 << three << inside;
    QTest::newRow("5: two corners") << 5 << P{{0, -1}, {-1, 0}} << P{{0, 0}, {-1, -1}, {1, -1}};
    QTest::newRow("2: none") << 2 << P{} << P{{0, 0}, {-1, -1}, {0, -1}, {-1, 0}};
    QTest::newRow("6: none") << 6 << P{} << P{{0, 0}, {-1, -1}};
    QTest::newRow("7: none") << 7 << P{} << P{{0, 0}, {-1, -1}};
    QTest::newRow("out of range: none") << 8 << P{} << P{{0, 0}, {-1, -1}};
}

void TestXPButton::cornerMasks()
{
    QFETCH(int, style);
    QFETCH(QList<QPoint>, clipped);
    QFETCH(QList<QPoint>, kept);

    Host host(style, QSize(40, 20));
    const QImage shown = host.top.grab().toImage();
    for (QPoint p : clipped) {
        const QPoint at = resolve(p, host.b->size());
        QVERIFY2(shown.pixelColor(host.onHost(at)) == Magenta, qPrintable(QString("(%1, %2) not clipped").arg(at.x()).arg(at.y())));
    }
    for (QPoint p : kept) {
        const QPoint at = resolve(p, host.b->size());
        QVERIFY2(shown.pixelColor(host.onHost(at)) != Magenta, qPrintable(QString("(%1, %2) clipped").arg(at.x()).arg(at.y())));
    }
}

void TestXPButton::clippedCornerDoesNotPress()
{
    Host host(3, QSize(40, 20));
    for (QPoint corner : {QPoint(0, 0), QPoint(1, 0), QPoint(39, 19)}) {
        QTest::mouseClick(host.window(), Qt::LeftButton, {}, host.onHost(corner));
        QCOMPARE(host.log, QStringList());
    }
    QTest::mouseClick(host.window(), Qt::LeftButton, {}, host.onHost(QPoint(1, 1)));
    QCOMPARE(host.log, (QStringList{"MouseDown 1 0 1 1", "MouseUp 1 0 1 1", "Click"}));
}

void TestXPButton::clickKeysOrder_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("typed");   // the KeyPress the key's character gives, if any
    QTest::newRow("space") << int(Qt::Key_Space) << "32" << "KeyPress 32";
    QTest::newRow("Enter clicks as space does") << int(Qt::Key_Return) << "13" << "KeyPress 13";
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << "13" << "KeyPress 13";
}

void TestXPButton::clickKeysOrder()
{
    QFETCH(int, key);
    QFETCH(QString, code);
    QFETCH(QString, typed);
    Host host(3, QSize(60, 21), QStringLiteral("Chiudi"));
    host.b->setFocus();
    QTRY_VERIFY(host.b->hasFocus());
    QTest::keyPress(host.b, Qt::Key(key));
    const QStringList pressed{"MouseDown 1 1 1 1", "KeyDown " + code + " 0", typed};
    QCOMPARE(host.log, pressed);
    QCOMPARE(host.b->drawnState(), int(XPButton::Down));
    QCOMPARE(host.at(2, 1), QColor(0, 0, 0));   // the down look shows between the keys
    QTest::keyRelease(host.b, Qt::Key(key));
    const QStringList released{"MouseUp 1 1 1 1", "Click", "KeyUp " + code + " 0"};
    QCOMPARE(host.log, pressed + released);
    QCOMPARE(host.at(2, 1), QColor(206, 231, 255));
}

void TestXPButton::rightButtonLeavesLook()
{
    Host host;
    host.b->setFocus();
    QTRY_VERIFY(host.b->hasFocus());
    const QImage before = host.image();
    QTest::mousePress(host.window(), Qt::RightButton, {}, host.onHost(QPoint(20, 10)));
    QCOMPARE(host.image(), before);
    host.move(QPoint(-5, 5), Qt::RightButton);
    host.move(QPoint(20, 5), Qt::RightButton);
    QCOMPARE(host.image(), before);
    QTest::mouseRelease(host.window(), Qt::RightButton, {}, host.onHost(QPoint(20, 10)));
    QCOMPARE(host.image(), before);
    QCOMPARE(host.log, (QStringList{"MouseDown 2 0 20 10", "MouseUp 2 0 20 10"}));
    QCOMPARE(host.b->lastButton(), 2);

    // The right button was the last: a space press/release resets it and clicks.
    QTest::keyClick(host.b, Qt::Key_Space);
    QVERIFY(host.log.contains("Click"));
}

void TestXPButton::modifiersAndMiddleButton()
{
    Host host;
    QTest::mouseClick(host.window(), Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier,
                      host.onHost(QPoint(7, 8)));
    QCOMPARE(host.log, (QStringList{"MouseDown 1 3 7 8", "MouseUp 1 3 7 8", "Click"}));
    host.log.clear();

    QTest::mousePress(host.window(), Qt::MiddleButton, Qt::AltModifier, host.onHost(QPoint(7, 8)));
    QCOMPARE(host.b->drawnState(), int(XPButton::Down));
    QTest::mouseRelease(host.window(), Qt::MiddleButton, Qt::AltModifier, host.onHost(QPoint(7, 8)));
    QCOMPARE(host.b->drawnState(), int(XPButton::Up));
    QCOMPARE(host.log, (QStringList{"MouseDown 4 4 7 8", "MouseUp 4 4 7 8"}));
}

void TestXPButton::dragOutAndIn()
{
    Host host;
    const QPoint in(20, 10);
    QTest::mousePress(host.window(), Qt::LeftButton, {}, host.onHost(in));
    QCOMPARE(host.b->drawnState(), int(XPButton::Down));
    host.move(QPoint(-1, 10), Qt::LeftButton);
    QCOMPARE(host.b->drawnState(), int(XPButton::Up));
    QCOMPARE(host.at(2, 1), QColor(206, 231, 255));
    host.move(in, Qt::LeftButton);
    QCOMPARE(host.b->drawnState(), int(XPButton::Down));
    host.move(QPoint(20, 22), Qt::LeftButton);   // below h
    QCOMPARE(host.b->drawnState(), int(XPButton::Up));
    QTest::mouseRelease(host.window(), Qt::LeftButton, {}, host.onHost(QPoint(20, 30)));
    QCOMPARE(host.log, (QStringList{"MouseDown 1 0 20 10", "MouseUp 1 0 20 30"}));

    // Back inside before letting go: a click.
    host.log.clear();
    QTest::mousePress(host.window(), Qt::LeftButton, {}, host.onHost(in));
    host.move(QPoint(70, 10), Qt::LeftButton);
    host.move(in, Qt::LeftButton);
    QTest::mouseRelease(host.window(), Qt::LeftButton, {}, host.onHost(in));
    QCOMPARE(host.log, (QStringList{"MouseDown 1 0 20 10", "MouseUp 1 0 20 10", "Click"}));
}

void TestXPButton::doubleClickGivesOneClick()
{
    Host host;
    QTest::mouseDClick(host.window(), Qt::LeftButton, {}, host.onHost(QPoint(20, 10)));
    QCOMPARE(host.log, (QStringList{"MouseDown 1 0 20 10", "MouseUp 1 0 20 10", "Click",
                                    "MouseDown 1 1 1 1", "MouseUp 1 0 20 10"}));
    QCOMPARE(host.b->drawnState(), int(XPButton::Up));

    // The next single click clicks again.
    host.log.clear();
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
    QTest::mouseClick(host.window(), Qt::LeftButton, {}, host.onHost(QPoint(20, 10)));
    QCOMPARE(host.log.count("Click"), 1);

    host.log.clear();
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
    QTest::mouseDClick(host.window(), Qt::RightButton, {}, host.onHost(QPoint(20, 10)));
    QCOMPARE(host.log, (QStringList{"MouseDown 2 0 20 10", "MouseUp 2 0 20 10", "MouseUp 2 0 20 10"}));
}

void TestXPButton::arrowsMoveFocus()
{
    Host host;
    auto *second = new XPButton(QStringLiteral("Due"), &host.top);
    auto *third = new XPButton(QStringLiteral("Tre"), &host.top);
    second->setGeometry(10, 40, 60, 21);
    third->setGeometry(10, 70, 60, 21);
    second->show();
    third->show();
    second->setFocus();
    QTRY_VERIFY(second->hasFocus());

    const struct { Qt::Key key; XPButton *from, *to; int code; } moves[] = {
        {Qt::Key_Right, second, third, 39}, {Qt::Key_Left, third, second, 37},
        {Qt::Key_Down, second, third, 40},  {Qt::Key_Up, third, second, 38},
    };
    for (const auto &m : moves) {
        QSignalSpy down(m.from, &XPButton::keyDown);
        QTest::keyClick(m.from, m.key);
        QCOMPARE(down.size(), 1);
        QCOMPARE(down.at(0).at(0).toInt(), m.code);
        QTRY_VERIFY(m.to->hasFocus());
    }
}

void TestXPButton::keyEvents()
{
    Host host;
    host.b->setFocus();
    QTRY_VERIFY(host.b->hasFocus());
    QTest::keyClick(host.b, Qt::Key_A);
    QTest::keyClick(host.b, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(host.b, Qt::Key_F5, Qt::ShiftModifier | Qt::AltModifier);
    // Modifier keys come with their own key down and up; Enter clicks as the space bar does.
    QCOMPARE(host.log, (QStringList{"KeyDown 65 0", "KeyPress 97", "KeyUp 65 0",
                                    "KeyDown 17 2", "MouseDown 1 1 1 1", "KeyDown 13 2", "KeyPress 13",
                                    "MouseUp 1 1 1 1", "Click", "KeyUp 13 2", "KeyUp 17 0",
                                    "KeyDown 16 1", "KeyDown 18 5", "KeyDown 116 5", "KeyUp 116 5",
                                    "KeyUp 18 1", "KeyUp 16 0"}));
    QCOMPARE(host.b->drawnState(), int(XPButton::Up));
}

void TestXPButton::disabledButton()
{
    Host host(3, QSize(60, 21), QStringLiteral("&Modifica"));
    QSignalSpy changed(host.b, &XPButton::propertyChanged);
    host.b->setEnabled(false);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("ENAB"));
    QCOMPARE(host.at(1, 10), QColor(153, 186, 253));
    QTest::mouseClick(host.window(), Qt::LeftButton, {}, host.onHost(QPoint(20, 10)));
    QTest::keyClick(&host.top, Qt::Key_M, Qt::AltModifier);
    QCOMPARE(host.log, QStringList());

    host.b->setEnabled(true);
    QCOMPARE(host.at(1, 10), QColor(140, 174, 231));
    host.top.setEnabled(false);   // a disabled host disables the button with it
    QCOMPARE(host.at(1, 10), QColor(153, 186, 253));
    QCOMPARE(host.b->saveProperties().value("enab").toBool(), true);
}

void TestXPButton::accessKeys_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("key");   // empty: none
    QTest::newRow("leading mark") << "&Esci" << "e";
    QTest::newRow("inner mark") << "Inserisci &Incassi" << "i";
    QTest::newRow("accented letter") << "&Èlenco" << "è";
    QTest::newRow("digit") << "Pagina &2" << "2";
    QTest::newRow("too short") << "&" << "";
    QTest::newRow("one letter") << "E" << "";
    QTest::newRow("no mark") << "Chiudi" << "";
    QTest::newRow("mark at the end") << "Esci&" << "";
    QTest::newRow("only a doubled pair") << "&&" << "";
    QTest::newRow("doubled pair in text") << "Tom && Jerry" << "";
    QTest::newRow("doubled pair then mark") << "A && &Bis" << "b";
    QTest::newRow("pair then mark at once") << "&&&x" << "x";
    QTest::newRow("pair, next mark is a pair") << "&&a&&b" << "";
    QTest::newRow("pair, next mark last") << "&&x&" << "";
    QTest::newRow("first mark wins") << "x&Y&z" << "y";
}

void TestXPButton::accessKeys()
{
    QFETCH(QString, caption);
    QFETCH(QString, key);
    const QChar got = XPButton::accessKeyOf(caption);
    QCOMPARE(got.isNull() ? QString() : QString(got), key);
}

void TestXPButton::accessKeyClicks()
{
    Host host(3, QSize(60, 21), QStringLiteral("&Esci"));
    QCOMPARE(host.b->accessKey(), QChar(u'e'));
    QTest::keyClick(&host.top, Qt::Key_E, Qt::AltModifier);
    QCOMPARE(host.log, QStringList{"Click"});

    host.log.clear();
    host.b->setCaption(QStringLiteral("&Chiudi"));
    QTest::keyClick(&host.top, Qt::Key_E, Qt::AltModifier);
    QCOMPARE(host.log, QStringList());
    QTest::keyClick(&host.top, Qt::Key_C, Qt::AltModifier);
    QCOMPARE(host.log, QStringList{"Click"});

    host.log.clear();
    host.b->setCaption(QStringLiteral("&&"));
    QTest::keyClick(&host.top, Qt::Key_C, Qt::AltModifier);
    QCOMPARE(host.log, QStringList());
}

void TestXPButton::savedProperties()
{
    Host host(5, QSize(60, 21));
    QSignalSpy changed(host.b, &XPButton::propertyChanged);
    const QFont font(QStringLiteral("DejaVu Sans"), 11, QFont::Bold);
    // Each change names, in its signal, the stored key under which the new value is saved,
    // and touches no other key: a host that saves what the signal names keeps every change.
    const std::vector<std::pair<std::function<void()>, QVariant>> edits = {
        {[&] { host.b->setCaption(QStringLiteral("&Prova")); }, QStringLiteral("&Prova")},
        {[&] { host.b->setFont(font); }, font},
        {[&] { host.b->setColorScheme(2); }, 2},
        {[&] { host.b->setShowFocusRect(false); }, false},
        {[&] { host.b->setBackColor(QColor(10, 20, 30)); }, QColor(10, 20, 30)},
        {[&] { host.b->setForeColor(QColor(200, 100, 0)); }, QColor(200, 100, 0)},
        {[&] { host.b->setEnabled(false); }, false},
        {[&] { host.b->setButtonType(4); }, 4},
    };
    QStringList announced;
    for (const auto &[edit, expected] : edits) {
        const QVariantMap before = host.b->saveProperties();
        changed.clear();
        edit();
        QCOMPARE(changed.size(), 1);
        const QString key = changed.at(0).at(0).toString().toLower();
        QVERIFY2(XPButton::storedKeys().contains(key), qPrintable(key));
        const QVariantMap after = host.b->saveProperties();
        QCOMPARE(after.value(key), expected);
        for (const QString &other : XPButton::storedKeys())
            if (other != key)
                QVERIFY2(after.value(other) == before.value(other), qPrintable(other));
        announced << key;
    }
    // Every stored key can be announced, and the saved map holds those keys and no others.
    const QVariantMap saved = host.b->saveProperties();
    announced.sort();
    QCOMPARE(saved.keys(), announced);
    QStringList stored = XPButton::storedKeys();
    stored.sort();
    QCOMPARE(stored, announced);

    // Loaded into another button, the properties give the same button.
    Host other(2, QSize(60, 21));
    other.b->loadProperties(saved);
    QCOMPARE(other.b->saveProperties(), saved);
    QCOMPARE(other.b->accessKey(), QChar(u'p'));
    QCOMPARE(other.b->buttonType(), 4);
    QCOMPARE(other.image(), host.image());
}

void TestXPButton::loadAppliesDefaults()
{
    Host host(6, QSize(60, 21), QStringLiteral("Vecchio"));
    host.b->setColorScheme(3);
    host.b->setShowFocusRect(false);
    host.b->setEnabled(false);
    host.b->setBackColor(Qt::red);
    const QFont font = host.b->font();
    const int drawings = host.b->drawCount();
    QSignalSpy changed(host.b, &XPButton::propertyChanged);

    host.b->loadProperties({{"btype", "tre"}, {"bcol", "non un colore"}, {"font", 42}});
    const QVariantMap p = host.b->saveProperties();
    QCOMPARE(p.value("btype").toInt(), 2);
    QCOMPARE(p.value("tx").toString(), QString());
    QCOMPARE(p.value("enab").toBool(), true);
    QCOMPARE(p.value("font").value<QFont>(), font);
    QCOMPARE(p.value("coltype").toInt(), 1);
    QCOMPARE(p.value("focusr").toBool(), true);
    QCOMPARE(p.value("bcol").value<QColor>(), Face);
    QCOMPARE(p.value("fcol").value<QColor>(), QColor(1, 2, 3));
    QCOMPARE(host.b->drawCount(), drawings + 1);   // one drawing, forced, in the up state
    QCOMPARE(host.b->drawnState(), int(XPButton::Up));
    QCOMPARE(changed.size(), 0);
    QCOMPARE(host.at(0, 0), QColor(250, 251, 252));   // style 2, system colours
}

void TestXPButton::buttonTypeChange()
{
    Host host(2, QSize(40, 20));
    QCOMPARE(host.shown(0, 0), QColor(250, 251, 252));
    host.b->setButtonType(3);
    QCOMPARE(host.at(2, 0), QColor(0, 60, 115));    // new style at once
    QCOMPARE(host.shown(0, 0), Face);               // corner not clipped yet
    host.b->resize(41, 20);
    QCOMPARE(host.shown(0, 0), Magenta);
    QCOMPARE(host.shown(2, 0), QColor(0, 60, 115));
}

void TestXPButton::needlessRedrawsSkipped()
{
    Host host(3, QSize(60, 21), QStringLiteral("Salva"));
    host.b->setFocus();
    QTRY_VERIFY(host.b->hasFocus());
    int n = host.b->drawCount();

    host.pressDown(true);
    QCOMPARE(host.b->drawCount(), ++n);
    for (int x : {10, 11, 30})
        host.move(QPoint(x, 5), Qt::LeftButton);
    QCOMPARE(host.b->drawCount(), n);
    host.move(QPoint(-3, 5), Qt::LeftButton);
    host.move(QPoint(-4, 5), Qt::LeftButton);
    QCOMPARE(host.b->drawCount(), ++n);
    host.move(QPoint(5, 5), Qt::NoButton);   // inside with no button: nothing
    QCOMPARE(host.b->drawCount(), n);

    // A held space bar repeats its key down: MouseDown each time, one drawing.
    host.log.clear();
    QTest::keyPress(host.b, Qt::Key_Space);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QCoreApplication::sendEvent(host.b, &repeat);
    QCOMPARE(host.log.count("MouseDown 1 1 1 1"), 2);
    QCOMPARE(host.b->drawCount(), ++n);

    // Focus and property changes are forced, even with nothing new to show.
    host.b->clearFocus();
    QCOMPARE(host.b->drawCount(), ++n);
    host.b->setCaption(host.b->caption());
    QCOMPARE(host.b->drawCount(), ++n);
}

void TestXPButton::hostChanges()
{
    Host host(2, QSize(40, 20));
    host.b->setColorScheme(1);
    QPalette p = host.b->palette();
    p.setColor(QPalette::Button, QColor(11, 22, 33));
    host.b->setPalette(p);
    QCOMPARE(host.at(20, 10), QColor(11, 22, 33));

    host.b->setDefault(true);   // the host's default button: the framed look
    QCOMPARE(host.at(0, 0), QColor(10, 11, 12));
    QCOMPARE(host.at(1, 1), QColor(250, 251, 252));
    QCOMPARE(host.at(-0 + 38, 5), QColor(10, 11, 12));

    const int n = host.b->drawCount();
    host.b->resize(40, 0);
    QCOMPARE(host.b->drawCount(), n);   // nothing to draw at height 0
    host.b->resize(40, 20);
    QCOMPARE(host.b->drawCount(), n + 1);
}

QTEST_MAIN(TestXPButton)
#include "tst_xpbutton.moc"
