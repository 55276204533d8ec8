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
};

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
