#include "store/model/workbook.h"

#include <QTemporaryDir>
#include <QTest>

using namespace store;

class TstServer : public QObject {
    Q_OBJECT
private slots:
    void openCloseQuit()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString first = dir.filePath(QStringLiteral("Contavio.xls"));
        const QString second = dir.filePath(QStringLiteral("Altro.xls"));
        {
            Workbook book;
            book.protection.password = QStringLiteral("Tevo1963");
            book.sheet(1).range("A1").setValue(QStringLiteral("12,5"));
            book.saveAs(first);
            QCOMPARE(book.name(), QStringLiteral("Contavio.xls"));
            book.protection.password.clear();
            book.saveAs(second);
        }

        Server server;
        QVERIFY(!server.activeWorkbook());
        Workbook &book = server.open(first, QStringLiteral("Tevo1963"));
        QCOMPARE(server.activeWorkbook(), &book);
        QCOMPARE(book.name(), QStringLiteral("Contavio.xls"));
        QCOMPARE(book.sheet(1).range("A1").value().number, 12.5);
        QCOMPARE(server.workbook(QStringLiteral("contavio.xls")), &book);
        QVERIFY(!server.workbook(QStringLiteral("Altro.xls")));

        Workbook &other = server.open(second, QString());
        QCOMPARE(server.activeWorkbook(), &other);
        // Opening a file that is already open gives the open workbook back, active.
        QCOMPARE(&server.open(first, QStringLiteral("Tevo1963")), &book);
        QCOMPARE(server.activeWorkbook(), &book);

        server.close(book);
        QVERIFY(!server.workbook(QStringLiteral("Contavio.xls")));
        QCOMPARE(server.activeWorkbook(), &other);
        server.quit();
        QVERIFY(!server.running());
        QVERIFY(!server.activeWorkbook());
    }

    void failedOpenLeavesNothingOpen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        {
            Workbook book;
            book.protection.password = QStringLiteral("Tevo1963");
            book.saveAs(path);
        }
        Server server;
        bool wrongPassword = false;
        try {
            server.open(path, QStringLiteral("sbagliata"));
        } catch (const StoreError &e) {
            wrongPassword = e.kind() == ErrorKind::WrongPassword;
        }
        QVERIFY(wrongPassword);
        QVERIFY(!server.activeWorkbook());
        bool missing = false;
        try {
            server.open(dir.filePath(QStringLiteral("manca.xls")), QString());
        } catch (const StoreError &) {
            missing = true;
        }
        QVERIFY(missing);
        QVERIFY(!server.activeWorkbook());
    }

    void saveWithoutPathRefused()
    {
        Workbook book;
        bool refused = false;
        try {
            book.save();
        } catch (const StoreError &e) {
            refused = e.kind() == ErrorKind::Io;
        }
        QVERIFY(refused);
    }
};

QTEST_APPLESS_MAIN(TstServer)
#include "tst_server.moc"
