#include "controls/form.h"
#include "controls/session.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

// A form that reads what its opener wrote, as the browser reads its mode field.
class ModeForm : public controls::Form {
public:
    explicit ModeForm(controls::Session &session) : Form(session)
    {
        mode = new QLineEdit(this);
    }
    void activate() override { seen << mode->text(); }
    bool queryUnload() override
    {
        ++closeRequests;
        return refuseClose;
    }

    QLineEdit *mode = nullptr;
    QStringList seen;
    int closeRequests = 0;
    bool refuseClose = true;
};

} // namespace

class TestForm : public QObject {
    Q_OBJECT

private slots:
    void activationSeesWhatTheOpenerSet();
    void activationOnEachReturn();
    void closeRequests();
    void placedWhollyOnScreen_data();
    void placedWhollyOnScreen();
};

void TestForm::placedWhollyOnScreen_data()
{
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("expected");
    // A desktop with a panel along the top, and a second screen to the right of the first.
    QTest::newRow("registry on 1280x900") << QSize(776, 600) << QRect(0, 28, 1280, 872) << QPoint(252, 164);
    QTest::newRow("browser on 1024x768") << QSize(976, 600) << QRect(0, 28, 1024, 740) << QPoint(24, 98);
    QTest::newRow("second screen") << QSize(776, 600) << QRect(1280, 0, 1024, 768) << QPoint(1404, 84);
    QTest::newRow("taller than the screen keeps its title bar on it")
        << QSize(700, 900) << QRect(0, 28, 1024, 740) << QPoint(162, 28);
}

void TestForm::placedWhollyOnScreen()
{
    QFETCH(QSize, frame);
    QFETCH(QRect, available);
    QFETCH(QPoint, expected);
    const QPoint at = controls::placeCentred(frame, available);
    QCOMPARE(at, expected);
    if (frame.height() <= available.height())
        QVERIFY(available.contains(QRect(at, frame)));
}

void TestForm::activationSeesWhatTheOpenerSet()
{
    controls::Session session;
    ModeForm form(session);
    QSignalSpy activated(&form, &controls::Form::activated);
    form.showForm();
    form.mode->setText(QStringLiteral("2"));   // written right after showing
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(form.seen, QStringList{QStringLiteral("2")});
    QCOMPARE(activated.count(), 1);
}

void TestForm::activationOnEachReturn()
{
    controls::Session session;
    ModeForm first(session);
    ModeForm second(session);
    first.showForm();
    QVERIFY(QTest::qWaitForWindowActive(&first));
    second.showForm();
    QVERIFY(QTest::qWaitForWindowActive(&second));
    second.hide();
    first.mode->setText(QStringLiteral("1"));
    first.showForm();
    QVERIFY(QTest::qWaitForWindowActive(&first));
    QTRY_COMPARE(first.seen.size(), 2);
    QCOMPARE(first.seen.last(), QStringLiteral("1"));
    QCOMPARE(second.seen.size(), 1);
}

void TestForm::closeRequests()
{
    controls::Session session;
    ModeForm form(session);
    form.show();
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(form.closeRequests, 1);
    form.refuseClose = false;
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
    QCOMPARE(form.closeRequests, 2);
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
