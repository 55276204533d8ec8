#include "support/fakes.h"
#include "controls/fieldrules.h"
#include "store/model/italian.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <functional>
#include <QWidget>

using namespace controls;

class TestFieldRules : public QObject {
    Q_OBJECT

private slots:
    void keyFilters_data();
    void keyFilters();
    void dateAccepted_data();
    void dateAccepted();

    void fieldTyping_data();
    void fieldTyping();
    void amountCommaKeepsOrderWithQueuedKeys();
    void editingKeysAlwaysWork();
    void amountsReadAsOneNumber_data();
    void amountsReadAsOneNumber();
    void pasteAndSelectAllObeyTheRules_data();
    void pasteAndSelectAllObeyTheRules();

    void upperCaseWhileTyping();
    void upperCaseInsertInMiddleKeepsCaret();
    void upperCaseTextSetByProgram();
    void upperCaseHandlersSeeFinalTextOnly();
    void upperCaseAccents();
    void upperCaseMultiLine();

    void dateFocusOutRefused_data();
    void dateFocusOutRefused();
    void dateFocusOutAccepted_data();
    void dateFocusOutAccepted();

    void limitAndHint();
    void limitBindsTheUserOnly();

private:
    // The rules named by letters: d digits, a amount, u upper case, 5 a limit of five.
    static void attachRules(QLineEdit *field, const QString &names)
    {
        if (names.contains(u'd'))
            rules::attachDigitFilter(field);
        if (names.contains(u'a'))
            rules::attachAmountFilter(field);
        if (names.contains(u'u'))
            rules::attachUpperCase(field);
        if (names.contains(u'5'))
            rules::applyLimit(field, 5);
    }

    // Two fields in one shown window, the first one focused.
    struct Window {
        QWidget top;
        QLineEdit *field = nullptr;
        QLineEdit *other = nullptr;
        Window()
        {
            auto *layout = new QVBoxLayout(&top);
            field = new QLineEdit(&top);
            other = new QLineEdit(&top);
            layout->addWidget(field);
            layout->addWidget(other);
            top.show();
            top.activateWindow();
        }
        bool ready()
        {
            if (!QTest::qWaitForWindowActive(&top))
                return false;
            field->setFocus();
            return field->hasFocus();
        }
    };
};

void TestFieldRules::keyFilters_data()
{
    QTest::addColumn<int>("filter");   // 0 digits, 1 amount
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("kept");
    QTest::newRow("digits: digit 0") << 0 << int('0') << int('0');
    QTest::newRow("digits: digit 9") << 0 << int('9') << int('9');
    QTest::newRow("digits: comma") << 0 << int(',') << int(',');
    QTest::newRow("digits: backspace") << 0 << 8 << 8;
    QTest::newRow("digits: full stop swallowed") << 0 << int('.') << 0;
    QTest::newRow("digits: space swallowed") << 0 << int(' ') << 0;
    QTest::newRow("digits: letter swallowed") << 0 << int('a') << 0;
    QTest::newRow("digits: plus swallowed") << 0 << int('+') << 0;
    QTest::newRow("digits: enter swallowed") << 0 << 13 << 0;
    QTest::newRow("digits: ctrl-c swallowed") << 0 << 3 << 0;
    QTest::newRow("digits: ctrl-v swallowed") << 0 << 22 << 0;
    QTest::newRow("digits: ctrl-x swallowed") << 0 << 24 << 0;
    QTest::newRow("digits: accented letter swallowed") << 0 << 0xE8 << 0;
    QTest::newRow("digits: null stays null") << 0 << 0 << 0;
    QTest::newRow("amount: digit") << 1 << int('7') << int('7');
    QTest::newRow("amount: comma") << 1 << int(',') << int(',');
    QTest::newRow("amount: backspace") << 1 << 8 << 8;
    QTest::newRow("amount: full stop kept: thousands or decimals, read on leaving") << 1 << int('.') << int('.');
    QTest::newRow("amount: minus swallowed") << 1 << int('-') << 0;
    QTest::newRow("amount: space swallowed") << 1 << int(' ') << 0;
    QTest::newRow("amount: euro-ish letter swallowed") << 1 << int('E') << 0;
    QTest::newRow("amount: enter swallowed") << 1 << 13 << 0;
}

void TestFieldRules::keyFilters()
{
    QFETCH(int, filter);
    QFETCH(int, code);
    QFETCH(int, kept);
    QCOMPARE(filter == 0 ? rules::digitFilter(code) : rules::amountFilter(code), kept);
}

void TestFieldRules::dateAccepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("four-digit year") << QStringLiteral("12/05/2009") << true;
    QTest::newRow("two-digit year") << QStringLiteral("12/05/09") << true;
    QTest::newRow("leap day") << QStringLiteral("29/02/2008") << true;
    QTest::newRow("leap day two-digit 2000s") << QStringLiteral("29/02/08") << true;
    QTest::newRow("last of december") << QStringLiteral("31/12/1999") << true;
    QTest::newRow("one-digit day") << QStringLiteral("5/12/2009") << false;
    QTest::newRow("one-digit day and month") << QStringLiteral("1/5/2009") << false;
    QTest::newRow("dashes") << QStringLiteral("12-05-2009") << false;
    QTest::newRow("letters") << QStringLiteral("ab/cd/efgh") << false;
    QTest::newRow("day that does not exist") << QStringLiteral("31/02/2009") << false;
    QTest::newRow("no leap day in 2009") << QStringLiteral("29/02/2009") << false;
    QTest::newRow("no leap day in 1900") << QStringLiteral("29/02/1900") << false;
    QTest::newRow("month 13") << QStringLiteral("12/13/2009") << false;
    QTest::newRow("day 00") << QStringLiteral("00/05/2009") << false;
    QTest::newRow("three-digit year") << QStringLiteral("12/05/200") << false;
    QTest::newRow("trailing blank") << QStringLiteral("12/05/2009 ") << false;
    QTest::newRow("too short") << QStringLiteral("12/") << false;
    QTest::newRow("slashes only") << QStringLiteral("//////////") << false;
    QTest::newRow("sign in year") << QStringLiteral("12/05/+9") << false;
    // Only dates a record can store pass: its dates start on 01/01/1900.
    QTest::newRow("first storable day") << QStringLiteral("01/01/1900") << true;
    QTest::newRow("day before the first storable") << QStringLiteral("31/12/1899") << false;
    QTest::newRow("year 1009") << QStringLiteral("12/05/1009") << false;
    QTest::newRow("year 0000") << QStringLiteral("12/05/0000") << false;
    QTest::newRow("last day of 9999") << QStringLiteral("31/12/9999") << true;
}

void TestFieldRules::dateAccepted()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(rules::dateAccepted(text), accepted);
    // One rule: what the check lets through is a date the insert converts, never dropped.
    if (accepted && !text.isEmpty())
        QVERIFY(store::parseDate(text).has_value());
}

void TestFieldRules::fieldTyping_data()
{
    QTest::addColumn<QString>("rules");   // as attachRules() reads them
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("digits: full stop swallowed") << "d" << QStringLiteral("12.5") << QStringLiteral("125");
    QTest::newRow("digits: space swallowed") << "d" << QStringLiteral("02 123") << QStringLiteral("02123");
    QTest::newRow("digits: comma accepted") << "d" << QStringLiteral("1,2") << QStringLiteral("1,2");
    QTest::newRow("digits: letters swallowed") << "d" << QStringLiteral("a1b2") << QStringLiteral("12");
    QTest::newRow("amount: full stop kept as typed") << "a" << QStringLiteral("1.234,5") << QStringLiteral("1.234,5");
    QTest::newRow("amount: several commas kept until leaving") << "a" << QStringLiteral("1,2,3") << QStringLiteral("1,2,3");
    QTest::newRow("amount: minus and letters swallowed") << "a" << QStringLiteral("-1e3") << QStringLiteral("13");
    QTest::newRow("amount: no thousands separator added") << "a" << QStringLiteral("1234567,8") << QStringLiteral("1234567,8");
}

void TestFieldRules::fieldTyping()
{
    QFETCH(QString, rules);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Window w;
    attachRules(w.field, rules);
    QVERIFY(w.ready());
    QTest::keyClicks(w.field, typed);
    QCOMPARE(w.field->text(), shown);
}

void TestFieldRules::amountCommaKeepsOrderWithQueuedKeys()
{
    // Keys typed faster than they are handled sit in the queue; the comma of the keypad's
    // decimal key must still land where it was typed.
    Window w;
    rules::attachAmountFilter(w.field);
    QVERIFY(w.ready());
    const QString typed = QStringLiteral("1.2");
    for (const QChar c : typed) {
        const int key = c == QLatin1Char('.') ? int(Qt::Key_Period) : int(c.unicode());
        QCoreApplication::postEvent(w.field, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, QString(c)));
    }
    // The keypad's full stop as well.
    QCoreApplication::postEvent(w.field, new QKeyEvent(QEvent::KeyPress, Qt::Key_Period, Qt::KeypadModifier,
                                                       QStringLiteral(".")));
    QCoreApplication::postEvent(w.field, new QKeyEvent(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier,
                                                       QStringLiteral("5")));
    QCoreApplication::processEvents();
    QCOMPARE(w.field->text(), QStringLiteral("1.2,5"));
}

void TestFieldRules::editingKeysAlwaysWork()
{
    Window w;
    rules::attachDigitFilter(w.field);
    QVERIFY(w.ready());
    QTest::keyClicks(w.field, QStringLiteral("12345"));
    QTest::keyClick(w.field, Qt::Key_Backspace);
    QCOMPARE(w.field->text(), QStringLiteral("1234"));
    QTest::keyClick(w.field, Qt::Key_Home);
    QCOMPARE(w.field->cursorPosition(), 0);
    QTest::keyClick(w.field, Qt::Key_Delete);
    QCOMPARE(w.field->text(), QStringLiteral("234"));
    QTest::keyClick(w.field, Qt::Key_Right);
    QTest::keyClick(w.field, Qt::Key_End);
    QCOMPARE(w.field->cursorPosition(), 3);

    // Same in an amount field.
    Window a;
    rules::attachAmountFilter(a.field);
    QVERIFY(a.ready());
    QTest::keyClicks(a.field, QStringLiteral("9.5"));
    QTest::keyClick(a.field, Qt::Key_Backspace);
    QCOMPARE(a.field->text(), QStringLiteral("9."));
    QTest::keyClick(a.field, Qt::Key_Left);
    QTest::keyClick(a.field, Qt::Key_Delete);
    QCOMPARE(a.field->text(), QStringLiteral("9"));

    // Tab still moves the focus on.
    QTest::keyClick(a.field, Qt::Key_Tab);
    QVERIFY(a.other->hasFocus());
}

void TestFieldRules::amountsReadAsOneNumber_data()
{
    QTest::addColumn<QString>("typed");   // "K" stands for the keypad's decimal key
    QTest::addColumn<QString>("shown");   // after leaving the field
    QTest::addColumn<bool>("refused");
    QTest::newRow("grouped with decimals") << "1.234,56" << "1.234,56" << false;
    QTest::newRow("plain with decimals") << "1234,56" << "1.234,56" << false;
    QTest::newRow("keypad's decimal key") << "1234K56" << "1.234,56" << false;
    QTest::newRow("full stop as decimal point") << "1234.56" << "1.234,56" << false;
    QTest::newRow("one decimal") << "99,9" << "99,90" << false;
    QTest::newRow("whole amount") << "850" << "850,00" << false;
    QTest::newRow("grouped whole amount") << "1.234" << "1.234,00" << false;
    QTest::newRow("empty") << "" << "" << false;
    QTest::newRow("two commas") << "1,2,3" << "1,2,3" << true;
    QTest::newRow("bad grouping") << "12.34.5" << "12.34.5" << true;
    QTest::newRow("three decimals") << "12,345" << "12,345" << true;
}

void TestFieldRules::amountsReadAsOneNumber()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(bool, refused);
    FakeDialogs dialogs;
    Window w;
    rules::attachAmountFilter(w.field);
    rules::attachAmountCheck(w.field, dialogs);
    QVERIFY(w.ready());
    for (const QChar c : typed) {
        if (c == u'K')
            QTest::keyClick(w.field, Qt::Key_Period, Qt::KeypadModifier);
        else
            QTest::keyClicks(w.field, QString(c));
    }
    QTest::keyClick(w.field, Qt::Key_Tab);
    QCOMPARE(w.field->text(), shown);
    QCOMPARE(int(dialogs.shown.size()), refused ? 1 : 0);
    QCOMPARE(w.field->hasFocus(), refused);
    if (refused) {
        QCOMPARE(dialogs.last().text, QStringLiteral("Attenzione inserire un importo come 1.234,56"));
        QCOMPARE(dialogs.last().title, QStringLiteral("Contavio "));
        QTRY_COMPARE(w.field->selectedText(), shown);   // kept, ready to be typed over
    }
}

// Paste (Ctrl+V, Shift+Insert, the context menu) brings in only what typing could, and the
// Ctrl shortcuts work in filtered fields.
void TestFieldRules::pasteAndSelectAllObeyTheRules_data()
{
    QTest::addColumn<QString>("rules");   // as attachRules() reads them
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("shown");
    QTest::newRow("digits: blanks and full stops dropped") << "d" << "" << "06 123.45" << "0612345";
    QTest::newRow("digits: letters dropped, caret kept") << "d" << "12" << "a3b" << "123";
    QTest::newRow("amount: currency and blanks dropped") << "a" << "" << "€ 1.234,56" << "1.234,56";
    QTest::newRow("upper case") << "u" << "" << "via roma" << "VIA ROMA";
    QTest::newRow("limit") << "d5" << "" << "001870" << "00187";
    QTest::newRow("select all, then paste over it") << "d" << "999" << "12" << "12";
}

void TestFieldRules::pasteAndSelectAllObeyTheRules()
{
    QFETCH(QString, rules);
    QFETCH(QString, before);
    QFETCH(QString, pasted);
    QFETCH(QString, shown);
    Window w;
    attachRules(w.field, rules);
    QVERIFY(w.ready());
    QApplication::clipboard()->setText(pasted);
    const bool overAll = QByteArray(QTest::currentDataTag()).startsWith("select all");
    // Ctrl+V, Shift+Insert and the context menu's paste, each on the same field.
    const std::function<void()> pastes[] = {
        [&] { QTest::keyClick(w.field, Qt::Key_V, Qt::ControlModifier); },
        [&] { QTest::keyClick(w.field, Qt::Key_Insert, Qt::ShiftModifier); },
        [&] { w.field->paste(); },
    };
    for (const auto &paste : pastes) {
        w.field->setText(before);
        QTest::keyClick(w.field, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w.field->selectedText(), before);
        if (!overAll)
            QTest::keyClick(w.field, Qt::Key_End);
        paste();
        QCOMPARE(w.field->text(), shown);
    }
}

void TestFieldRules::upperCaseWhileTyping()
{
    Window w;
    rules::attachUpperCase(w.field);
    QVERIFY(w.ready());
    QTest::keyClicks(w.field, QStringLiteral("rossi mario"));
    QCOMPARE(w.field->text(), QStringLiteral("ROSSI MARIO"));
    QCOMPARE(w.field->cursorPosition(), 11);
}

void TestFieldRules::upperCaseInsertInMiddleKeepsCaret()
{
    Window w;
    rules::attachUpperCase(w.field);
    QVERIFY(w.ready());
    QTest::keyClicks(w.field, QStringLiteral("rosi"));
    w.field->setCursorPosition(2);
    QTest::keyClick(w.field, Qt::Key_S);
    QCOMPARE(w.field->text(), QStringLiteral("ROSSI"));
    QCOMPARE(w.field->cursorPosition(), 3);
    QTest::keyClicks(w.field, QStringLiteral("xy"));
    QCOMPARE(w.field->text(), QStringLiteral("ROSXYSI"));
    QCOMPARE(w.field->cursorPosition(), 5);
}

void TestFieldRules::upperCaseTextSetByProgram()
{
    QLineEdit before;
    before.setText(QStringLiteral("via roma 1"));
    rules::attachUpperCase(&before);
    QCOMPARE(before.text(), QStringLiteral("VIA ROMA 1"));

    QLineEdit after;
    rules::attachUpperCase(&after);
    after.setText(QStringLiteral("bianchi srl"));
    QCOMPARE(after.text(), QStringLiteral("BIANCHI SRL"));
    after.setText(QString());
    QCOMPARE(after.text(), QString());
}

void TestFieldRules::upperCaseHandlersSeeFinalTextOnly()
{
    QLineEdit field;
    rules::attachUpperCase(&field);
    QSignalSpy changed(&field, &QLineEdit::textChanged);
    field.setText(QStringLiteral("verdi"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("VERDI"));
}

void TestFieldRules::upperCaseAccents()
{
    QLineEdit field;
    rules::attachUpperCase(&field);
    field.setText(QStringLiteral("città però"));
    QCOMPARE(field.text(), QStringLiteral("CITTÀ PERÒ"));

    Window w;
    rules::attachUpperCase(w.field);
    QVERIFY(w.ready());
    QTest::keyClicks(w.field, QStringLiteral("perch"));
    QTest::sendKeyEvent(QTest::Click, w.field, Qt::Key_Eacute, QStringLiteral("é"), Qt::NoModifier);
    QCOMPARE(w.field->text(), QStringLiteral("PERCHÉ"));
    QCOMPARE(w.field->cursorPosition(), 6);
}

void TestFieldRules::upperCaseMultiLine()
{
    QWidget top;
    auto *layout = new QVBoxLayout(&top);
    auto *notes = new QPlainTextEdit(&top);
    layout->addWidget(notes);
    notes->setPlainText(QStringLiteral("prima riga"));
    rules::attachUpperCase(notes);
    QCOMPARE(notes->toPlainText(), QStringLiteral("PRIMA RIGA"));

    top.show();
    top.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&top));
    notes->setFocus();
    QTextCursor c = notes->textCursor();
    c.setPosition(5);
    notes->setTextCursor(c);
    QTest::keyClicks(notes, QStringLiteral(" a"));
    QCOMPARE(notes->toPlainText(), QStringLiteral("PRIMA A RIGA"));
    QCOMPARE(notes->textCursor().position(), 7);
    QTest::keyClick(notes, Qt::Key_Return);
    QTest::keyClicks(notes, QStringLiteral("due"));
    QCOMPARE(notes->toPlainText(), QStringLiteral("PRIMA A\nDUE RIGA"));
    QCOMPARE(notes->textCursor().position(), 11);

    notes->setPlainText(QStringLiteral("caricata dal foglio"));
    QCOMPARE(notes->toPlainText(), QStringLiteral("CARICATA DAL FOGLIO"));

    // Undo never brings lower case back.
    notes->clear();
    QTest::keyClicks(notes, QStringLiteral("ab"));
    QCOMPARE(notes->toPlainText(), QStringLiteral("AB"));
    notes->undo();
    QCOMPARE(notes->toPlainText(), notes->toPlainText().toUpper());
}

void TestFieldRules::dateFocusOutRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("one-digit day") << QStringLiteral("5/12/2009");
    QTest::newRow("dashes") << QStringLiteral("12-05-2009");
    QTest::newRow("not a calendar day") << QStringLiteral("31/02/2009");
    QTest::newRow("letters") << QStringLiteral("ab/cd/efgh");
    QTest::newRow("a single digit") << QStringLiteral("1");
}

void TestFieldRules::dateFocusOutRefused()
{
    QFETCH(QString, text);
    FakeDialogs dialogs;
    Window w;
    rules::attachDateCheck(w.field, dialogs);
    QVERIFY(w.ready());
    QTest::keyClicks(w.field, text);
    QCOMPARE(w.field->text(), text);   // no key filter on date fields

    QTest::keyClick(w.field, Qt::Key_Tab);
    QCOMPARE(dialogs.shown.size(), size_t(1));
    QCOMPARE(dialogs.last().kind, BoxKind::Plain);
    QCOMPARE(dialogs.last().text, QStringLiteral("Attenzione inserire una data in formato 00/00/0000"));
    QCOMPARE(dialogs.last().title, QStringLiteral("Contavio "));
    QVERIFY(!dialogs.last().isInput);
    QCOMPARE(w.field->text(), QString());
    QVERIFY(w.field->hasFocus());
    QCOMPARE(w.field->cursorPosition(), 0);
    QCOMPARE(w.field->selectionLength(), 0);

    // Emptied, it can now be left without a word.
    w.other->setFocus();
    QVERIFY(w.other->hasFocus());
    QCOMPARE(dialogs.shown.size(), size_t(1));
}

void TestFieldRules::dateFocusOutAccepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("stored");   // put there by the program, as a loaded record
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("four-digit year") << QStringLiteral("12/05/2009") << false;
    QTest::newRow("two-digit year") << QStringLiteral("12/05/09") << false;
    QTest::newRow("stored day that does not exist, passed through") << QStringLiteral("31/02/2009") << true;
    QTest::newRow("stored date before 1900, passed through") << QStringLiteral("12/05/1850") << true;
}

void TestFieldRules::dateFocusOutAccepted()
{
    QFETCH(QString, text);
    QFETCH(bool, stored);
    FakeDialogs dialogs;
    Window w;
    rules::attachDateCheck(w.field, dialogs);
    QVERIFY(w.ready());
    if (stored)
        w.field->setText(text);
    else
        QTest::keyClicks(w.field, text);
    QTest::keyClick(w.field, Qt::Key_Tab);
    QVERIFY(w.other->hasFocus());
    QCOMPARE(dialogs.shown.size(), size_t(0));
    QCOMPARE(w.field->text(), text);
}

void TestFieldRules::limitAndHint()
{
    QLineEdit field;
    rules::applyLimit(&field, 5, QStringLiteral("cinque"));
    QCOMPARE(field.toolTip(), QStringLiteral("cinque"));
    QTest::keyClicks(&field, QStringLiteral("1234567"));
    QCOMPARE(field.text(), QStringLiteral("12345"));
    // Typing in the middle of a full field takes nothing and leaves the caret where it was.
    field.setCursorPosition(2);
    QTest::keyClicks(&field, QStringLiteral("9"));
    QCOMPARE(field.text(), QStringLiteral("12345"));
    QCOMPARE(field.cursorPosition(), 2);
    // Replacing a selection within the limit is typing like any other.
    field.setSelection(1, 3);
    QTest::keyClicks(&field, QStringLiteral("ab"));
    QCOMPARE(field.text(), QStringLiteral("1ab5"));

    QLineEdit plain;
    plain.setToolTip(QStringLiteral("old"));
    rules::applyLimit(&plain, 2);
    QCOMPARE(plain.toolTip(), QString());
}

// The program's own text is never cut: a record written elsewhere is shown whole and can
// be shortened, but the user cannot lengthen it, nor paste past the limit.
void TestFieldRules::limitBindsTheUserOnly()
{
    QLineEdit field;
    rules::applyLimit(&field, 11);
    field.setText(QStringLiteral("IT01234567890"));
    QCOMPARE(field.text(), QStringLiteral("IT01234567890"));
    QTest::keyClicks(&field, QStringLiteral("1"));
    QCOMPARE(field.text(), QStringLiteral("IT01234567890"));
    QTest::keyClick(&field, Qt::Key_Backspace);
    QCOMPARE(field.text(), QStringLiteral("IT0123456789"));
    QTest::keyClicks(&field, QStringLiteral("77"));
    QCOMPARE(field.text(), QStringLiteral("IT0123456789"));
    field.setSelection(0, 2);
    QTest::keyClicks(&field, QStringLiteral("X"));
    QCOMPARE(field.text(), QStringLiteral("X0123456789"));

    field.clear();
    field.insert(QStringLiteral("ab"));
    field.setCursorPosition(1);
    field.insert(QStringLiteral("0123456789xyz"));   // a paste in the middle: what fits
    QCOMPARE(field.text(), QStringLiteral("a012345678b"));
    QCOMPARE(field.cursorPosition(), 10);
    field.setText(QStringLiteral("una riga molto lunga"));
    QCOMPARE(field.text(), QStringLiteral("una riga molto lunga"));

    // Limit and upper case together, in either order, as the registry's fields have them.
    for (bool limitFirst : {true, false}) {
        QLineEdit province;
        if (limitFirst)
            rules::applyLimit(&province, 2);
        rules::attachUpperCase(&province);
        if (!limitFirst)
            rules::applyLimit(&province, 2);
        QTest::keyClicks(&province, QStringLiteral("rmx"));
        QCOMPARE(province.text(), QStringLiteral("RM"));
        province.setText(QStringLiteral("roma"));
        QCOMPARE(province.text(), QStringLiteral("ROMA"));
        QTest::keyClicks(&province, QStringLiteral("x"));
        QCOMPARE(province.text(), QStringLiteral("ROMA"));
    }
}

QTEST_MAIN(TestFieldRules)
#include "tst_fieldrules.moc"
