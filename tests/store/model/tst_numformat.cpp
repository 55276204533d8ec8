#include "store/model/numformat.h"
#include "store/model/italian.h"

#include <QTest>

#include <cmath>

using namespace store;

Q_DECLARE_METATYPE(store::Variant)

class TstNumformat : public QObject {
    Q_OBJECT
private slots:
    void display_data()
    {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        const Variant may12 = Variant::fromNumber(dateToSerial(QDate(2009, 5, 12), QTime(14, 3, 9)));

        QTest::newRow("general decimal") << Variant::fromNumber(12.5) << "General" << "12,5";
        QTest::newRow("general whole") << Variant::fromNumber(1234567) << "General" << "1234567";
        QTest::newRow("general rounds to eleven characters") << Variant::fromNumber(1.0 / 3) << "General" << "0,333333333";
        QTest::newRow("general large") << Variant::fromNumber(123456789012.0) << "General" << "1,23457E+11";
        QTest::newRow("general tiny") << Variant::fromNumber(0.0000012) << "General" << "1,2E-06";
        QTest::newRow("general negative") << Variant::fromNumber(-2.75) << "General" << "-2,75";
        QTest::newRow("text under general") << Variant::fromText("0123") << "General" << "0123";
        QTest::newRow("true") << Variant::fromBool(true) << "General" << "VERO";
        QTest::newRow("false") << Variant::fromBool(false) << "0.00" << "FALSO";
        QTest::newRow("error") << Variant::fromError(CellError::NA) << "General" << "#N/D";
        QTest::newRow("empty") << Variant() << "0.00" << "";

        QTest::newRow("whole number code") << Variant::fromNumber(12.5) << "0" << "13";
        QTest::newRow("half rounds away from zero") << Variant::fromNumber(2.675) << "0.00" << "2,68";
        QTest::newRow("negative half") << Variant::fromNumber(-0.5) << "0" << "-1";
        QTest::newRow("rounding carries") << Variant::fromNumber(999.996) << "#,##0.00" << "1.000,00";
        QTest::newRow("two decimals") << Variant::fromNumber(12.5) << "0.00" << "12,50";
        QTest::newRow("grouped") << Variant::fromNumber(1234567.4) << "#,##0" << "1.234.567";
        QTest::newRow("grouped decimals") << Variant::fromNumber(-1234.5) << "#,##0.00" << "-1.234,50";
        QTest::newRow("small grouped") << Variant::fromNumber(12) << "#,##0.00" << "12,00";
        QTest::newRow("percent") << Variant::fromNumber(0.256) << "0%" << "26%";
        QTest::newRow("percent decimals") << Variant::fromNumber(0.256) << "0.00%" << "25,60%";
        QTest::newRow("negative section") << Variant::fromNumber(-5) << "0;(0)" << "(5)";
        QTest::newRow("zero section") << Variant::fromNumber(0) << "0;-0;\"zero\"" << "zero";
        QTest::newRow("currency literal") << Variant::fromNumber(1500) << "#,##0.00 \"€\"" << "1.500,00 €";
        QTest::newRow("scientific") << Variant::fromNumber(12345) << "0.00E+00" << "1,23E+04";
        QTest::newRow("infinity under exponent") << Variant::fromNumber(HUGE_VAL) << "0.00E+00" << "#NUM!";
        QTest::newRow("NaN under engineering") << Variant::fromNumber(std::nan("")) << "##0.0E+0" << "#NUM!";
        QTest::newRow("overflow by percent") << Variant::fromNumber(-1e307) << "0%" << "#NUM!";
        QTest::newRow("smallest double scientific") << Variant::fromNumber(5e-324) << "0.00E+00" << "4,94E-324";
        QTest::newRow("number under text code") << Variant::fromNumber(12.5) << "@" << "12,5";
        QTest::newRow("text under text code") << Variant::fromText("0123") << "@" << "0123";
        QTest::newRow("text section") << Variant::fromText("x") << "0;0;0;\"[\"@\"]\"" << "[x]";

        QTest::newRow("date") << may12 << "dd/mm/yyyy" << "12/05/2009";
        QTest::newRow("date short parts") << may12 << "d/m/yy" << "12/5/09";
        QTest::newRow("month name") << may12 << "d-mmm-yy" << "12-mag-09";
        QTest::newRow("long month and weekday") << may12 << "dddd d mmmm yyyy" << "martedì 12 maggio 2009";
        QTest::newRow("time") << may12 << "hh:mm:ss" << "14:03:09";
        QTest::newRow("minutes after hours") << may12 << "h:mm" << "14:03";
        QTest::newRow("date and time") << may12 << "dd/mm/yyyy hh:mm" << "12/05/2009 14:03";
        QTest::newRow("twelve-hour clock") << may12 << "h:mm AM/PM" << "2:03 PM";
        QTest::newRow("elapsed hours") << Variant::fromNumber(1.5) << "[h]:mm" << "36:00";
        QTest::newRow("negative date") << Variant::fromNumber(-1) << "dd/mm/yyyy" << "########";
        QTest::newRow("date variant under general") << Variant::fromDate(39945) << "General" << "12/05/2009";
    }
    void display()
    {
        QFETCH(Variant, value);
        QFETCH(QString, code);
        QFETCH(QString, expected);
        QCOMPARE(displayText(value, code), expected);
    }
};

QTEST_APPLESS_MAIN(TstNumformat)
#include "tst_numformat.moc"
