#include "store/model/styles.h"

#include <QTest>

using namespace store;

namespace {
int le16(const QByteArray &b, int at) { return uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8); }
bool isStyleXf(const QByteArray &xf) { return le16(xf, 4) & 0x0004; }
}

class TstStyles : public QObject {
    Q_OBJECT
private slots:
    void defaultTable()
    {
        const Styles s = Styles::makeDefault();
        QCOMPARE(s.fonts.size(), size_t(5));
        for (const QByteArray &font : s.fonts) {
            QCOMPARE(le16(font, 0), 200);      // 10 points in twips
            QCOMPARE(le16(font, 4), 0x7FFF);   // window text colour
            QCOMPARE(le16(font, 6), 400);      // normal weight
            QCOMPARE(int(uint8_t(font[14])), 5);   // name length, then compressed characters
            QCOMPARE(font.mid(16), QByteArray("Arial"));
            QCOMPARE(font.size(), 21);
        }
        QCOMPARE(s.xfs.size(), size_t(21));
        for (size_t i = 0; i < s.xfs.size(); ++i) {
            QCOMPARE(s.xfs[i].size(), 20);
            QCOMPARE(isStyleXf(s.xfs[i]), i != Styles::kDefaultCellXf);
            if (isStyleXf(s.xfs[i]))
                QCOMPARE(le16(s.xfs[i], 4) >> 4, 0xFFF);   // style XFs have no parent
        }
        QCOMPARE(le16(s.xfs[15], 4) >> 4, 0);              // the default cell format's parent is Normal
        QCOMPARE(s.formatCode(Styles::kDefaultCellXf), QStringLiteral("General"));
        QCOMPARE(s.formatId(20), uint16_t(9));            // the Percent style
        QVERIFY(s.numberFormats.empty());

        QCOMPARE(s.styleRecords.size(), size_t(6));
        bool normal = false;
        for (const QByteArray &style : s.styleRecords) {
            QCOMPARE(style.size(), 4);
            QVERIFY(le16(style, 0) & 0x8000);              // built-in
            const int xf = le16(style, 0) & 0x0FFF;
            QVERIFY(isStyleXf(s.xfs[size_t(xf)]));
            if (uint8_t(style[2]) == 0)
                normal = xf == 0;
        }
        QVERIFY(normal);
    }

    void xfWithFormat()
    {
        Styles s = Styles::makeDefault();
        const uint16_t text = s.xfWithFormat(Styles::kDefaultCellXf, QStringLiteral("@"));
        QCOMPARE(s.formatId(text), uint16_t(49));         // the built-in text format
        QVERIFY(s.isTextFormat(text));
        QVERIFY(!isStyleXf(s.xfs[text]));
        QCOMPARE(s.xfWithFormat(Styles::kDefaultCellXf, QStringLiteral("@")), text);   // reused
        QCOMPARE(s.numberFormats.size(), size_t(0));

        const uint16_t date = s.xfWithFormat(Styles::kDefaultCellXf, QStringLiteral("dd/mm/yyyy"));
        QVERIFY(s.formatId(date) >= 164);
        QCOMPARE(s.numberFormats.at(s.formatId(date)), QStringLiteral("dd/mm/yyyy"));
        QVERIFY(s.isDateFormat(date));
        QCOMPARE(s.xfWithFormat(date, QStringLiteral("dd/mm/yyyy")), date);
        // Back to General from the date XF finds the default XF again.
        QCOMPARE(s.xfWithFormat(date, QStringLiteral("General")), uint16_t(15));

        // The rest of the base's bytes is kept: a bold-font XF stays bold.
        QByteArray bold = s.xfs[15];
        bold[0] = 1;
        s.xfs.push_back(bold);
        const uint16_t boldDate = s.xfWithFormat(uint16_t(s.xfs.size() - 1), QStringLiteral("dd/mm/yyyy"));
        QVERIFY(boldDate != date);
        QCOMPARE(le16(s.xfs[boldDate], 0), 1);
        QCOMPARE(s.formatId(boldDate), s.formatId(date));

        // A style XF as the base gives a cell XF.
        const uint16_t fromStyle = s.xfWithFormat(0, QStringLiteral("0.00"));
        QVERIFY(!isStyleXf(s.xfs[fromStyle]));
        QCOMPARE(s.formatCode(fromStyle), QStringLiteral("0.00"));
    }

    void dateCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("date");
        QTest::newRow("general") << "General" << false;
        QTest::newRow("day month year") << "dd/mm/yyyy" << true;
        QTest::newRow("month name") << "d-mmm" << true;
        QTest::newRow("month and year") << "mmm-yy" << true;
        QTest::newRow("hours and minutes") << "h:mm" << false;
        QTest::newRow("minutes and seconds") << "mm:ss" << false;
        QTest::newRow("twelve-hour time") << "h:mm AM/PM" << false;
        QTest::newRow("date with time") << "dd/mm/yyyy hh:mm" << true;
        QTest::newRow("quoted letters") << "0 \"days\"" << false;
        QTest::newRow("colour") << "[Red]0.00" << false;
        QTest::newRow("currency with locale") << "[$€-410] #,##0.00" << false;
        QTest::newRow("text") << "@" << false;
    }
    void dateCodes()
    {
        QFETCH(QString, code);
        QFETCH(bool, date);
        QCOMPARE(Styles::codeIsDate(code), date);
    }

    void fileFormatsResolve()
    {
        Styles s = Styles::makeDefault();
        // A file that defines its own code under a built-in id wins over the built-in.
        s.numberFormats[14] = QStringLiteral("d/m/yy");
        s.numberFormats[170] = QStringLiteral("#,##0.00 \"€\"");
        QByteArray xf = s.xfs[15];
        xf[2] = 14;
        s.xfs.push_back(xf);
        QCOMPARE(s.formatCode(uint16_t(s.xfs.size() - 1)), QStringLiteral("d/m/yy"));
        QVERIFY(s.isDateFormat(uint16_t(s.xfs.size() - 1)));
        xf[2] = char(170);
        s.xfs.push_back(xf);
        QCOMPARE(s.formatCode(uint16_t(s.xfs.size() - 1)), QStringLiteral("#,##0.00 \"€\""));
        QVERIFY(!s.isDateFormat(uint16_t(s.xfs.size() - 1)));
        // A new custom code takes an id past every one in use.
        const uint16_t custom = s.xfWithFormat(15, QStringLiteral("0.000"));
        QCOMPARE(s.formatId(custom), uint16_t(171));
    }
};

QTEST_APPLESS_MAIN(TstStyles)
#include "tst_styles.moc"
