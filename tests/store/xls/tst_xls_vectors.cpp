// Real password-protected workbooks saved by other spreadsheet programs, read in place from
// the shared vectors folder: every protection the format defines, and the values inside.

#include "support/skip.h"
#include "store/model/errors.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

using namespace store;

namespace {

QString vectorsDir() { return QStringLiteral(CONTAVIO_SHARED_DIR "/vectors"); }

// "A1=1;B2=10" style expectations: a number, or text when quoted.
struct Expect {
    QString sheet;
    QString ref;
    Variant value;
};

} // namespace

Q_DECLARE_METATYPE(Protection::Kind)

class TestXlsVectors : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFileInfo(vectorsDir()).isDir())
            CONTAVIO_SKIP("the shared vectors folder is absent: nothing to read");
    }

    void opensWithPassword_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("password");
        QTest::addColumn<Protection::Kind>("kind");
        QTest::addColumn<QStringList>("sheets");
        QTest::addColumn<QStringList>("cells");   // "Sheet!A1=number" or "Sheet!A1='text"

        const QStringList abc = {"Sheet1", "Sheet2", "Sheet3"};
        const QStringList small = {"Sheet1!A1=1", "Sheet1!A2=2", "Sheet1!A3=3", "Sheet1!A4=4", "Sheet1!B2=10"};
        QTest::newRow("cryptoapi 4.2 128-bit") << "msoffcrypto__rc4cryptoapi_password.xls" << "Password1234_"
            << Protection::Kind::Rc4CryptoApi << QStringList{"Sheet1"} << QStringList{"Sheet1!A1='lorem ipsum", "Sheet1!B1=3"};
        QTest::newRow("cryptoapi 4.2 second writer") << "poi__35897-type4.xls" << "freedom"
            << Protection::Kind::Rc4CryptoApi << QStringList{"Sheet1"} << QStringList{"Sheet1!A1='hello there!"};
        QTest::newRow("xor obfuscation short password") << "poi__xor-encryption-abc.xls" << "abc"
            << Protection::Kind::Xor << QStringList{"Sheet1"} << QStringList{"Sheet1!A1=1", "Sheet1!A2=2", "Sheet1!A3=3"};
        QTest::newRow("cryptoapi 2.2 40-bit, properties encrypted") << "sheetjs__password_2002_40_basecrypto.xls" << "password"
            << Protection::Kind::Rc4CryptoApi << abc << small;
        QTest::newRow("cryptoapi 2.2 40-bit, other provider") << "sheetjs__password_2002_40_dss.xls" << "password"
            << Protection::Kind::Rc4CryptoApi << abc << small;
        QTest::newRow("cryptoapi 2.2 128-bit") << "sheetjs__password_2002_128_strong.xls" << "password"
            << Protection::Kind::Rc4CryptoApi << abc << small;
        QTest::newRow("rc4 with zero padding after the last record") << "sheetjs__password_2002_40_972000.xls" << "password"
            << Protection::Kind::Rc4 << abc << small;
        QTest::newRow("xor obfuscation") << "sheetjs__password_2002_40_xor.xls" << "password"
            << Protection::Kind::Xor << abc << small;
    }

    void opensWithPassword()
    {
        QFETCH(QString, file);
        QFETCH(QString, password);
        QFETCH(Protection::Kind, kind);
        QFETCH(QStringList, sheets);
        QFETCH(QStringList, cells);

        auto book = readWorkbook(vectorsDir() + u'/' + file, password);
        QCOMPARE(book->protection.kind, kind);
        QCOMPARE(book->protection.password, password);
        QStringList names;
        for (int i = 1; i <= book->sheetCount(); ++i)
            names << book->sheet(i).name();
        QCOMPARE(names, sheets);
        for (const QString &expected : cells) {
            const QString sheet = expected.section(u'!', 0, 0);
            const QString ref = expected.section(u'!', 1).section(u'=', 0, 0);
            const QString want = expected.section(u'=', 1);
            const Variant v = book->sheet(sheet).range(ref).value();
            if (want.startsWith(u'\'')) {
                QCOMPARE(v.type, Variant::Type::Text);
                QCOMPARE(v.text, want.mid(1));
            } else {
                QCOMPARE(v.type, Variant::Type::Number);
                QCOMPARE(v.number, want.toDouble());
            }
        }
        // Nothing else on the sheets of the small books.
        if (cells.size() == small().size()) {
            int count = 0;
            for (int i = 1; i <= book->sheetCount(); ++i)
                book->sheet(i).forEachCell([&](int, int, const Cell &) { ++count; });
            QCOMPARE(count, 5);
        }
    }

    void refusesWrongPassword_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("password");
        const QStringList files = QDir(vectorsDir()).entryList({QStringLiteral("*.xls")}, QDir::Files, QDir::Name);
        for (const QString &f : files) {
            QTest::newRow(qPrintable(f + QStringLiteral(" wrong"))) << f << QStringLiteral("sbagliata");
            QTest::newRow(qPrintable(f + QStringLiteral(" empty"))) << f << QString();
        }
    }

    void refusesWrongPassword()
    {
        QFETCH(QString, file);
        QFETCH(QString, password);
        try {
            readWorkbook(vectorsDir() + u'/' + file, password);
            QFAIL("a wrong password opened the file");
        } catch (const StoreError &e) {
            QCOMPARE(e.kind(), ErrorKind::WrongPassword);
            QVERIFY(!e.userMessage().isEmpty());
        }
    }

    void xorBookHoldsEveryNumber()
    {
        auto book = readWorkbook(vectorsDir() + QStringLiteral("/msoffcrypto__xor_password_123456789012345.xls"),
                                 QStringLiteral("123456789012345"));
        QCOMPARE(book->sheetCount(), 1);
        Worksheet &ws = book->sheet(1);
        QCOMPARE(ws.name(), QStringLiteral("420"));
        int numbers = 0, outside = 0;
        ws.forEachCell([&](int r, int c, const Cell &cell) {
            if (cell.kind == CellKind::Number)
                ++numbers;
            if (r > 420 || c > 26)
                ++outside;
        });
        QCOMPARE(numbers, 10920);
        QCOMPARE(outside, 0);
        QCOMPARE(ws.lastRow(), 420);
        QCOMPARE(ws.lastColumn(), 26);
    }

    void rc4BookWithCyrillicSheets()
    {
        auto book = readWorkbook(vectorsDir() + QStringLiteral("/poi__password.xls"), QStringLiteral("password"));
        QCOMPARE(book->protection.kind, Protection::Kind::Rc4);
        QCOMPARE(book->sheetCount(), 3);
        for (int i = 1; i <= 3; ++i) {
            bool cyrillic = false;
            for (QChar ch : book->sheet(i).name())
                cyrillic |= ch.unicode() >= 0x0400 && ch.unicode() <= 0x04FF;
            QVERIFY2(cyrillic, qPrintable(book->sheet(i).name()));
        }
        const Variant d5 = book->sheet(1).range(QStringLiteral("D5")).value();
        QCOMPARE(d5.type, Variant::Type::Text);
        QVERIFY(d5.text.startsWith(QStringLiteral("A ZIP bomb is a variant of mail-bombing.")));
        QVERIFY(d5.text.size() > 200);
    }

    // A book read from another program is written back by us and read again: same content.
    void vectorsSurviveOurSave_data() { opensWithPassword_data(); }
    void vectorsSurviveOurSave()
    {
        QFETCH(QString, file);
        QFETCH(QString, password);
        auto book = readWorkbook(vectorsDir() + u'/' + file, password);
        const QByteArray image = workbookBytes(*book);
        auto again = readWorkbookBytes(image, password);
        QCOMPARE(again->protection.kind, Protection::Kind::Rc4CryptoApi);
        QCOMPARE(again->sheetCount(), book->sheetCount());
        for (int i = 1; i <= book->sheetCount(); ++i) {
            Worksheet &a = book->sheet(i);
            Worksheet &b = again->sheet(i);
            QCOMPARE(b.name(), a.name());
            QCOMPARE(b.lastRow(), a.lastRow());
            a.forEachCell([&](int r, int c, const Cell &) {
                QCOMPARE(b.valueAt(r, c), a.valueAt(r, c));
            });
        }
    }

private:
    static QStringList small() { return {"", "", "", "", ""}; }
};

QTEST_GUILESS_MAIN(TestXlsVectors)
#include "tst_xls_vectors.moc"
