#include "store/model/italian.h"

#include <QTest>

using namespace store;

Q_DECLARE_METATYPE(store::Variant)

namespace {
double serialOf(int y, int m, int d) { return dateToSerial(QDate(y, m, d)); }
}

class TstItalian : public QObject {
    Q_OBJECT
private slots:
    void parseTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Variant>("expected");
        QTest::newRow("decimal comma") << "12,5" << Variant::fromNumber(12.5);
        QTest::newRow("grouped thousands") << "1.234,5" << Variant::fromNumber(1234.5);
        QTest::newRow("two groups") << "1.234.567" << Variant::fromNumber(1234567);
        QTest::newRow("negative") << "-3" << Variant::fromNumber(-3);
        QTest::newRow("leading zero dropped") << "0123" << Variant::fromNumber(123);
        QTest::newRow("blanks around a number") << "  42 " << Variant::fromNumber(42);
        QTest::newRow("comma without digits before") << ",5" << Variant::fromNumber(0.5);
        QTest::newRow("full stop is not a decimal separator") << "12.5" << Variant::fromText("12.5");
        QTest::newRow("bad grouping stays text") << "1.23,4" << Variant::fromText("1.23,4");
        QTest::newRow("four-digit year") << "12/05/2009" << Variant::fromDate(serialOf(2009, 5, 12));
        QTest::newRow("two-digit year") << "12/05/09" << Variant::fromDate(serialOf(2009, 5, 12));
        QTest::newRow("single digits") << "1/5/2009" << Variant::fromDate(serialOf(2009, 5, 1));
        QTest::newRow("dashes") << "01-12-1999" << Variant::fromDate(serialOf(1999, 12, 1));
        QTest::newRow("no such day stays text") << "31/02/2009" << Variant::fromText("31/02/2009");
        QTest::newRow("month 13 stays text") << "12/13/2009" << Variant::fromText("12/13/2009");
        QTest::newRow("flag stays text") << "SI" << Variant::fromText("SI");
        QTest::newRow("true") << "VERO" << Variant::fromBool(true);
        QTest::newRow("false lower case") << "falso" << Variant::fromBool(false);
        QTest::newRow("empty") << "" << Variant();
        QTest::newRow("blanks only stay text") << "  " << Variant::fromText("  ");
        QTest::newRow("leading blanks kept in text") << " Rossi" << Variant::fromText(" Rossi");
        QTest::newRow("invoice with letters") << "12/A" << Variant::fromText("12/A");
        QTest::newRow("lone comma") << "," << Variant::fromText(",");
        QTest::newRow("lone minus") << "-" << Variant::fromText("-");
    }
    void parseTyped()
    {
        QFETCH(QString, typed);
        QFETCH(Variant, expected);
        const Variant got = store::parseTyped(typed);
        QCOMPARE(int(got.type), int(expected.type));
        QCOMPARE(got.number, expected.number);
        QCOMPARE(got.text, expected.text);
    }

    void parseDate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("year 00 is 2000") << "01/01/00" << QDate(2000, 1, 1);
        QTest::newRow("year 29 is 2029") << "01/01/29" << QDate(2029, 1, 1);
        QTest::newRow("year 30 is 1930") << "01/01/30" << QDate(1930, 1, 1);
        QTest::newRow("year 99 is 1999") << "31/12/99" << QDate(1999, 12, 31);
        QTest::newRow("leap day") << "29/02/2008" << QDate(2008, 2, 29);
        QTest::newRow("no leap day") << "29/02/2009" << QDate();
        QTest::newRow("day zero") << "00/05/2009" << QDate();
        QTest::newRow("mixed separators") << "12/05-2009" << QDate();
        QTest::newRow("three-digit year") << "12/05/209" << QDate();
        QTest::newRow("text") << "domani" << QDate();
    }
    void parseDate()
    {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        const auto got = store::parseDate(text);
        QCOMPARE(got.has_value(), expected.isValid());
        if (got)
            QCOMPARE(*got, expected);
    }

    void serials()
    {
        QCOMPARE(dateToSerial(QDate(1899, 12, 30)), 0.0);
        QCOMPARE(dateToSerial(QDate(2009, 5, 12)), 39945.0);
        QCOMPARE(dateToSerial(QDate(2009, 5, 12), QTime(18, 0)), 39945.75);
        QCOMPARE(serialToDateTime(39945.75), QDateTime(QDate(2009, 5, 12), QTime(18, 0)));
        // A fraction a hair below midnight rounds to the next day, not to 24:00:00.
        QCOMPARE(serialToDateTime(39945.999999999), QDateTime(QDate(2009, 5, 13), QTime(0, 0)));
    }

    void numberToText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("decimal") << 12.5 << "12,5";
        QTest::newRow("whole") << 3.0 << "3";
        QTest::newRow("negative fraction") << -0.25 << "-0,25";
        QTest::newRow("no grouping") << 1234567.0 << "1234567";
        QTest::newRow("fifteen digits") << 0.1 + 0.2 << "0,3";
        QTest::newRow("large") << 1e20 << "1E+20";
        QTest::newRow("tiny") << 0.00001 << "1E-05";
        QTest::newRow("negative zero") << -0.0 << "0";
    }
    void numberToText()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(store::numberToText(value), expected);
    }

    void valueToText_data()
    {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << Variant() << "";
        QTest::newRow("true") << Variant::fromBool(true) << "Vero";
        QTest::newRow("false") << Variant::fromBool(false) << "Falso";
        QTest::newRow("date") << Variant::fromDate(39945) << "12/05/2009";
        QTest::newRow("date and time") << Variant::fromDate(39945.5) << "12/05/2009 12:00:00";
        QTest::newRow("number") << Variant::fromNumber(12.5) << "12,5";
        QTest::newRow("text") << Variant::fromText("Rossi") << "Rossi";
        QTest::newRow("error") << Variant::fromError(CellError::NA) << "#N/D";
        QTest::newRow("division error") << Variant::fromError(CellError::Div0) << "#DIV/0!";
    }
    void valueToText()
    {
        QFETCH(Variant, value);
        QFETCH(QString, expected);
        QCOMPARE(store::valueToText(value), expected);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("whole") << "12" << 12.0;
        QTest::newRow("digits then letters") << "12abc" << 12.0;
        QTest::newRow("blanks first") << "   7" << 7.0;
        QTest::newRow("fraction with full stop") << "3.5x" << 3.5;
        QTest::newRow("comma ends the number") << "12,5" << 12.0;
        QTest::newRow("negative") << "-4" << -4.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters only") << "abc" << 0.0;
        QTest::newRow("sign only") << "-" << 0.0;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(store::leadingNumber(text), expected);
    }

    void toWholeNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");   // -1: no number
        QTest::newRow("seventy") << "70" << 70;
        QTest::newRow("blanks around") << " 85 " << 85;
        QTest::newRow("half rounds to even up") << "85,5" << 86;
        QTest::newRow("half rounds to even down") << "84,5" << 84;
        QTest::newRow("above half") << "84,51" << 85;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("letters") << "abc" << -1;
        QTest::newRow("percent sign") << "85%" << -1;
        QTest::newRow("too large") << "99999999999" << -1;
    }
    void toWholeNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const auto got = store::toWholeNumber(text);
        QCOMPARE(got.value_or(-1), expected);
    }

    void amountAndCountText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("count");   // of the value as a whole number
        QTest::newRow("units") << 7.0 << "7,00" << "7";
        QTest::newRow("three digits, no point") << 999.0 << "999,00" << "999";
        QTest::newRow("thousands") << 6140.0 << "6.140,00" << "6.140";
        QTest::newRow("millions") << 26010234.0 << "26.010.234,00" << "26.010.234";
        QTest::newRow("negative") << -1000.0 << "-1.000,00" << "-1.000";
        QTest::newRow("cents") << 1234.56 << "1.234,56" << "1.234";
    }
    void amountAndCountText()
    {
        QFETCH(double, value);
        QFETCH(QString, amount);
        QFETCH(QString, count);
        QCOMPARE(store::amountText(value), amount);
        QCOMPARE(store::countText((long long)value), count);
    }

    void clockLine()
    {
        const QDateTime now(QDate(2009, 5, 2), QTime(9, 5, 7));
        QCOMPARE(store::clockLine(now), QStringLiteral("Ore...09:05:07   del   02/05/2009"));
        QCOMPARE(store::clockLine(now, ClockStyle::Registry), QStringLiteral("Ore...09:05:07 del 02/05/2009"));
    }
};

QTEST_APPLESS_MAIN(TstItalian)
#include "tst_italian.moc"
