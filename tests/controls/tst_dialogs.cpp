#include "app/italiano.h"
#include "support/fakes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

using controls::Answer;
using controls::BoxKind;

namespace {

// Runs `act` on the modal dialog once it is up; closes it at the deadline so that a missing
// dialog fails the test instead of hanging it.
void whenModal(std::function<void(QWidget *)> act)
{
    auto *deadline = new QTimer;
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, [deadline] {
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();
        deadline->deleteLater();
    });
    deadline->start(5000);
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act, deadline] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            deadline->stop();
            deadline->deleteLater();
            act(w);
        }
    });
    poll->start(10);
}

QStringList buttonTexts(QWidget *dialog)
{
    QStringList texts;
    for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>()) {
        if (b->isVisible())
            texts << b->text().remove(QLatin1Char('&'));
    }
    texts.sort();
    return texts;
}

QAbstractButton *buttonWithText(QWidget *dialog, const QString &text)
{
    for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>()) {
        if (b->text().remove(QLatin1Char('&')) == text)
            return b;
    }
    return nullptr;
}

// What a message box showed when it came up.
struct SeenBox {
    QString title;
    QString text;
    int icon = -1;
    QStringList buttons;
    int width = 0;
};

// Records the next message box into `seen` and presses its button `press`.
void pressInBox(SeenBox &seen, const QString &press)
{
    whenModal([&seen, press](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box)
            return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = buttonTexts(box);
        seen.width = box->width();
        if (QAbstractButton *b = buttonWithText(box, press))
            b->click();
    });
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void italianCalendar();
    void questionBox_data();
    void questionBox();
    void enterGivesTheDefault_data();
    void enterGivesTheDefault();
    void plainAndCriticalBoxes_data();
    void plainAndCriticalBoxes();
    void inputBox_data();
    void inputBox();
    void fakeDialogsScript();
};

void TestDialogs::initTestCase()
{
    QVERIFY2(app::installItalian(*qApp), "Qt's Italian translations (qt6-translations-l10n) are missing");
}

void TestDialogs::italianCalendar()
{
    QCalendarWidget calendar;
    QCOMPARE(calendar.firstDayOfWeek(), Qt::Monday);
    QCOMPARE(calendar.locale().monthName(1), QStringLiteral("gennaio"));
    QCOMPARE(calendar.locale().dayName(1), QStringLiteral("lunedì"));
}

void TestDialogs::questionBox_data()
{
    QTest::addColumn<QString>("press");
    QTest::addColumn<int>("answer");
    QTest::newRow("yes") << QStringLiteral("Sì") << int(Answer::Yes);
    QTest::newRow("no") << QStringLiteral("No") << int(Answer::No);
}

void TestDialogs::questionBox()
{
    QFETCH(QString, press);
    QFETCH(int, answer);
    controls::QtDialogs dialogs;
    SeenBox seen;
    pressInBox(seen, press);
    const Answer got = dialogs.message(BoxKind::Question, QStringLiteral(" Vuoi Inserire questa Registrazione ?"),
                                       QStringLiteral(" Contavio"));
    QCOMPARE(int(got), answer);
    QCOMPARE(seen.title, QStringLiteral(" Contavio"));
    QCOMPARE(seen.text, QStringLiteral(" Vuoi Inserire questa Registrazione ?"));
    QCOMPARE(seen.icon, int(QMessageBox::NoIcon));
    QCOMPARE(seen.buttons, (QStringList{QStringLiteral("No"), QStringLiteral("Sì")}));
}

// Enter answers with the default button: No where the caller asks for it (a question whose
// Yes loses data), Yes otherwise.
void TestDialogs::enterGivesTheDefault_data()
{
    QTest::addColumn<int>("defaultButton");
    QTest::newRow("yes by default") << int(Answer::Yes);
    QTest::newRow("no where yes loses data") << int(Answer::No);
}

void TestDialogs::enterGivesTheDefault()
{
    QFETCH(int, defaultButton);
    controls::QtDialogs dialogs;
    whenModal([](QWidget *w) { QTest::keyClick(w, Qt::Key_Return); });
    QCOMPARE(int(dialogs.message(BoxKind::Question, QStringLiteral("Vuoi uscire senza salvare ?"), QString(),
                                 Answer(defaultButton))),
             defaultButton);
}

void TestDialogs::plainAndCriticalBoxes_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("icon");
    QTest::newRow("plain") << int(BoxKind::Plain) << int(QMessageBox::NoIcon);
    QTest::newRow("information") << int(BoxKind::Information) << int(QMessageBox::Information);
    QTest::newRow("critical") << int(BoxKind::Critical) << int(QMessageBox::Critical);
}

void TestDialogs::plainAndCriticalBoxes()
{
    QFETCH(int, kind);
    QFETCH(int, icon);
    controls::QtDialogs dialogs;
    // A short text in a box whose title would not fit a box as narrow as the text: the box
    // leaves room for the whole title, the window's icon and the title bar's three buttons
    // (some 100 pixels).
    SeenBox shortBox;
    pressInBox(shortBox, QStringLiteral("OK"));
    dialogs.message(BoxKind(kind), QStringLiteral("Fatto"), QStringLiteral("Stampa Risultato "));
    const QFontMetrics fm(QApplication::font());
    QVERIFY2(shortBox.width >= fm.horizontalAdvance(shortBox.title) + 100,
             qPrintable(QString::number(shortBox.width)));

    SeenBox seen;
    pressInBox(seen, QStringLiteral("OK"));
    const Answer got = dialogs.message(BoxKind(kind), QStringLiteral("Impossibile eseguire il programma\r\nIl file x non è stato trovato."),
                                       QString());
    QCOMPARE(got, Answer::Ok);
    QCOMPARE(seen.title, QStringLiteral("Contavio"));   // an empty title shows the program's name
    QCOMPARE(seen.text, QStringLiteral("Impossibile eseguire il programma\nIl file x non è stato trovato."));
    QCOMPARE(seen.icon, icon);
    QCOMPARE(seen.buttons, QStringList{QStringLiteral("OK")});
}

void TestDialogs::inputBox_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("expected");
    QTest::newRow("default kept") << QString() << false << QStringLiteral("85");
    QTest::newRow("typed answer") << QStringLiteral("120") << false << QStringLiteral("120");
    QTest::newRow("cancelled") << QStringLiteral("120") << true << QString();
}

void TestDialogs::inputBox()
{
    QFETCH(QString, typed);
    QFETCH(bool, cancel);
    QFETCH(QString, expected);
    controls::QtDialogs dialogs;
    QString title, label;
    QStringList buttons;
    whenModal([&](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        if (!dialog)
            return;
        title = dialog->windowTitle();
        label = dialog->labelText();
        buttons = buttonTexts(dialog);
        if (!typed.isEmpty())
            dialog->setTextValue(typed);
        if (cancel)
            dialog->reject();
        else
            dialog->accept();
    });
    const auto got = dialogs.input(QStringLiteral("Percentuale di zoom"), QStringLiteral("Contavio "), QStringLiteral("85"));
    QCOMPARE(title, QStringLiteral("Contavio "));
    QCOMPARE(label, QStringLiteral("Percentuale di zoom"));
    QCOMPARE(buttons, (QStringList{QStringLiteral("Annulla"), QStringLiteral("OK")}));
    if (cancel) {
        QVERIFY(!got.has_value());
    } else {
        QVERIFY(got.has_value());
        QCOMPARE(*got, expected);
    }
}

void TestDialogs::fakeDialogsScript()
{
    controls::FakeDialogs fake;
    fake.queueAnswer(Answer::Yes);
    fake.queueInput(QStringLiteral("7"));
    fake.queueInput(std::nullopt);
    QCOMPARE(fake.message(BoxKind::Plain, QStringLiteral("a"), QStringLiteral("t")), Answer::Ok);
    QCOMPARE(fake.message(BoxKind::Question, QStringLiteral("b"), QString()), Answer::Yes);
    QCOMPARE(fake.message(BoxKind::Question, QStringLiteral("c"), QString()), Answer::No);   // none queued
    QCOMPARE(fake.input(QStringLiteral("p"), QString(), QStringLiteral("d")), std::optional<QString>(QStringLiteral("7")));
    QCOMPARE(fake.input(QStringLiteral("p"), QString(), QStringLiteral("d")), std::optional<QString>());
    QCOMPARE(fake.input(QStringLiteral("p"), QString(), QStringLiteral("d")), std::optional<QString>(QStringLiteral("d")));
    QCOMPARE(fake.shown.size(), size_t(6));
    QCOMPARE(fake.shown.at(0).kind, BoxKind::Plain);
    QCOMPARE(fake.shown.at(0).title, QStringLiteral("t"));
    QVERIFY(fake.shown.at(3).isInput);
    QCOMPARE(fake.shown.at(3).defaultAnswer, QStringLiteral("d"));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
