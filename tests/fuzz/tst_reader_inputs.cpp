// Inputs that once upset the workbook reader, and the fuzzing corpus: each either opens or is
// refused with a StoreError, never anything else; an input named "refused-..." must be
// refused (a lie the reader once took), one named "opens-..." must open (a real file's shape
// the reader once refused). The first byte of every input chooses the
// password tried (0 none, 1 the program's own, 2 "password"), the rest is the file.

#include "store/model/errors.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

class ReaderInputsTest : public QObject {
    Q_OBJECT

private slots:
    void inputOpensOrIsRefused_data()
    {
        QTest::addColumn<QString>("path");
        int rows = 0;
        for (const QString &folder : {QStringLiteral(CONTAVIO_TEST_DATA), QStringLiteral(FUZZ_CORPUS)}) {
            const QDir dir(folder);
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                if (name.endsWith(QLatin1String(".md")))
                    continue;
                QTest::newRow(qPrintable(dir.dirName() + u'/' + name)) << dir.filePath(name);
                ++rows;
            }
        }
        if (rows == 0)
            QTest::newRow("no inputs") << QString();
    }
    void inputOpensOrIsRefused()
    {
        QFETCH(QString, path);
        if (path.isEmpty())
            QFAIL("neither the regression inputs nor the fuzzing corpus were found");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray input = f.readAll();
        QVERIFY(!input.isEmpty());
        static const QString passwords[] = {QString(), QStringLiteral("Tevo1963"), QStringLiteral("password")};
        const QString password = passwords[uint8_t(input[0]) % 3];
        const QString name = QFileInfo(path).fileName();
        try {
            auto book = store::readWorkbookBytes(input.mid(1), password);
            QVERIFY2(!name.startsWith(QLatin1String("refused-")), "a lie was read");
            QVERIFY(book->sheetCount() >= 1);
            // What was read can be written again.
            QVERIFY(!store::workbookBytes(*book).isEmpty());
        } catch (const store::StoreError &e) {
            QVERIFY2(!name.startsWith(QLatin1String("opens-")), qPrintable(e.detail()));
            QVERIFY(!e.userMessage().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(ReaderInputsTest)
#include "tst_reader_inputs.moc"
