// contavio-xls end to end: every subcommand run as a process on real files.

#include "support/runprogram.h"
#include "support/files.h"

#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace store;

namespace {

using testrun::Run;

Run tool(const QStringList &args)
{
    return testrun::runProgram(QStringLiteral(CONTAVIO_XLS), args, 60000);
}

// A failure: non-zero exit and exactly one line on stderr.
void expectFailure(const Run &r)
{
    QVERIFY2(r.exitCode > 0, qPrintable(r.err));
    QCOMPARE(r.err.count(u'\n'), 1);
    QVERIFY(r.err.endsWith(u'\n'));
    QVERIFY(r.err.size() > 10);
}

QString sampleBook(const QTemporaryDir &dir, const QString &password)
{
    Workbook book;
    Worksheet &ws = book.sheet(1);
    ws.setName(QStringLiteral("Incassi"));
    ws.cells(1, 1).setValue(Variant::fromText(QStringLiteral("ID")));
    ws.cells(2, 8).setValue(QStringLiteral("12,5"));
    ws.cells(2, 5).setValue(QStringLiteral("12/05/2009"));
    ws.cells(2, 6).setValue(Variant::fromDate(39945.5));
    ws.range(QStringLiteral("F2")).setNumberFormat(QStringLiteral("dd/mm/yyyy hh:mm:ss"));
    ws.cells(2, 7).setValue(Variant::fromBool(true));
    ws.cells(9, 2).setValue(Variant::fromError(CellError::NA));
    ws.cells(3, 3).setValue(Variant::fromText(QStringLiteral("Rossi; \"Bianchi\" è €")));
    Worksheet &second = book.appendSheet(QStringLiteral("Vuoto"));
    Q_UNUSED(second);
    book.protection.password = password;
    const QString path = dir.filePath(QStringLiteral("campione.xls"));
    writeWorkbook(book, path);
    return path;
}

} // namespace

class TestContavioXls : public QObject {
    Q_OBJECT

private slots:
    void newMakesTheStarterWorkbook()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        Run r = tool({QStringLiteral("new"), path});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!testfiles::read(path).contains("Anagrafe"));   // encrypted

        auto book = readWorkbook(path, QStringLiteral("Tevo1963"));   // the default password
        QCOMPARE(book->sheetCount(), 3);
        QCOMPARE(book->sheet(1).name(), QStringLiteral("Anagrafe"));
        QCOMPARE(book->sheet(2).name(), QStringLiteral("Incassi"));
        QCOMPARE(book->sheet(3).name(), QStringLiteral("Pagamenti"));
        Worksheet &a = book->sheet(1);
        QCOMPARE(a.valueAt(1, 3).text, QStringLiteral("Ragione Sociale/Cognome Nome"));
        QCOMPARE(a.valueAt(1, 7).text, QStringLiteral("Località"));
        QCOMPARE(a.valueAt(1, 17).text, QStringLiteral("Annotazioni"));
        QVERIFY(a.valueAt(1, 18).isEmpty());
        QCOMPARE(book->sheet(2).valueAt(1, 2).text, QStringLiteral("ID Cliente"));
        QCOMPARE(book->sheet(2).valueAt(1, 19).text, QStringLiteral("Nota"));
        QCOMPARE(book->sheet(3).valueAt(1, 3).text, QStringLiteral("Fornitore"));
        QCOMPARE(book->sheet(3).valueAt(1, 7).text, QStringLiteral("Pagato"));
        for (int c : {6, 9, 10, 11, 13, 14, 15, 16, 18})
            QVERIFY2(book->styles.isTextFormat(a.cellXf(100, c)), qPrintable(columnLetters(c)));
        for (int c : {1, 2, 3, 4, 5, 7, 8, 12, 17})
            QVERIFY2(!book->styles.isTextFormat(a.cellXf(100, c)), qPrintable(columnLetters(c)));
        for (int i = 1; i <= 3; ++i) {
            QVERIFY(book->sheet(i).view().frozen);
            QCOMPARE(book->sheet(i).view().frozenAt, (CellAddress{2, 1}));
        }

        // A second "new" never overwrites.
        const QByteArray before = testfiles::read(path);
        expectFailure(tool({QStringLiteral("new"), path}));
        QCOMPARE(testfiles::read(path), before);
    }

    void newWithOwnPassword()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("altro.xls"));
        QCOMPARE(tool({QStringLiteral("new"), path, QStringLiteral("--password"), QStringLiteral("segreta")}).exitCode, 0);
        QCOMPARE(readWorkbook(path, QStringLiteral("segreta"))->sheetCount(), 3);
        expectFailure(tool({QStringLiteral("check"), path}));

        // An empty password, in the "=" spelling, makes a starter workbook anyone can open.
        const QString plain = dir.filePath(QStringLiteral("libera.xls"));
        QCOMPARE(tool({QStringLiteral("new"), plain, QStringLiteral("--password=")}).exitCode, 0);
        QVERIFY(testfiles::read(plain).contains("Anagrafe"));
        auto book = readWorkbook(plain, QString());
        QCOMPARE(book->protection.kind, Protection::Kind::None);
        QCOMPARE(book->sheet(2).valueAt(1, 3).text, QStringLiteral("Cliente"));
    }

    void dumpGivesJson()
    {
        QTemporaryDir dir;
        const QString path = sampleBook(dir, QStringLiteral("Tevo1963"));
        Run r = tool({QStringLiteral("dump"), path});
        QCOMPARE(r.exitCode, 0);
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray sheets = doc.object().value(QStringLiteral("sheets")).toArray();
        QCOMPARE(sheets.size(), 2);
        QCOMPARE(sheets[0].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Incassi"));
        QCOMPARE(sheets[1].toObject().value(QStringLiteral("cells")).toArray().size(), 0);
        const QJsonArray cells = sheets[0].toObject().value(QStringLiteral("cells")).toArray();
        QStringList refs;
        for (const QJsonValue &c : cells)
            refs << c.toObject().value(QStringLiteral("ref")).toString();
        QCOMPARE(refs, (QStringList{"A1", "E2", "F2", "G2", "H2", "C3", "B9"}));   // row by row
        auto cell = [&](int i) { return cells[i].toObject(); };
        QCOMPARE(cell(0).value(QStringLiteral("type")).toString(), QStringLiteral("text"));
        QCOMPARE(cell(0).value(QStringLiteral("value")).toString(), QStringLiteral("ID"));
        QCOMPARE(cell(1).value(QStringLiteral("type")).toString(), QStringLiteral("date"));
        QCOMPARE(cell(1).value(QStringLiteral("value")).toString(), QStringLiteral("2009-05-12"));
        QCOMPARE(cell(2).value(QStringLiteral("value")).toString(), QStringLiteral("2009-05-12T12:00:00"));
        QCOMPARE(cell(3).value(QStringLiteral("type")).toString(), QStringLiteral("boolean"));
        QCOMPARE(cell(3).value(QStringLiteral("value")).toBool(), true);
        QCOMPARE(cell(4).value(QStringLiteral("type")).toString(), QStringLiteral("number"));
        QCOMPARE(cell(4).value(QStringLiteral("value")).toDouble(), 12.5);
        QCOMPARE(cell(5).value(QStringLiteral("value")).toString(), QStringLiteral("Rossi; \"Bianchi\" è €"));
        QCOMPARE(cell(6).value(QStringLiteral("type")).toString(), QStringLiteral("error"));
        QCOMPARE(cell(6).value(QStringLiteral("value")).toString(), QStringLiteral("#N/A"));
        // The exact shape of one cell, as scripts read it.
        QVERIFY(r.out.contains(R"({"ref":"H2","type":"number","value":12.5})"));
    }

    void csvGivesDisplayedValues()
    {
        QTemporaryDir dir;
        const QString path = sampleBook(dir, QStringLiteral("x"));
        Run r = tool({QStringLiteral("csv"), path, QStringLiteral("Incassi"), QStringLiteral("--password"), QStringLiteral("x")});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = QString::fromUtf8(r.out).split(u'\n');
        QCOMPARE(lines.size(), 10);   // nine rows and the final newline
        QCOMPARE(lines[0], QStringLiteral("ID;;;;;;;"));
        QCOMPARE(lines[1], QStringLiteral(";;;;12/05/2009;12/05/2009 12:00:00;VERO;12,5"));
        QCOMPARE(lines[2], QStringLiteral(";;\"Rossi; \"\"Bianchi\"\" è €\";;;;;"));
        QCOMPARE(lines[8], QStringLiteral(";#N/D;;;;;;"));
        expectFailure(tool({QStringLiteral("csv"), path, QStringLiteral("Manca"), QStringLiteral("--password"), QStringLiteral("x")}));
    }

    void copyKeepsOrChangesThePassword()
    {
        QTemporaryDir dir;
        const QString path = sampleBook(dir, QStringLiteral("Tevo1963"));
        const QString same = dir.filePath(QStringLiteral("stessa.xls"));
        const QString other = dir.filePath(QStringLiteral("nuova.xls"));
        const QString plain = dir.filePath(QStringLiteral("libera.xls"));
        QCOMPARE(tool({QStringLiteral("copy"), path, same}).exitCode, 0);
        QCOMPARE(readWorkbook(same, QStringLiteral("Tevo1963"))->sheet(1).valueAt(2, 8).number, 12.5);
        QCOMPARE(tool({QStringLiteral("copy"), path, other, QStringLiteral("--new-password"), QStringLiteral("Nuova€")}).exitCode, 0);
        QCOMPARE(readWorkbook(other, QStringLiteral("Nuova€"))->sheet(1).valueAt(3, 3).text, QStringLiteral("Rossi; \"Bianchi\" è €"));
        expectFailure(tool({QStringLiteral("check"), other}));
        QCOMPARE(tool({QStringLiteral("copy"), path, plain, QStringLiteral("--new-password"), QString()}).exitCode, 0);
        auto book = readWorkbook(plain, QString());
        QCOMPARE(book->protection.kind, Protection::Kind::None);
        QVERIFY(testfiles::read(plain).contains("Incassi"));
        // A plain file stays plain through a copy.
        const QString plainCopy = dir.filePath(QStringLiteral("libera2.xls"));
        QCOMPARE(tool({QStringLiteral("copy"), plain, plainCopy}).exitCode, 0);
        QCOMPARE(readWorkbook(plainCopy, QString())->protection.kind, Protection::Kind::None);
    }

    void checkTellsWhy_data()
    {
        QTest::addColumn<QString>("content");     // "" = a good workbook
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("opens");
        QTest::newRow("good") << QString() << QStringLiteral("Tevo1963") << true;
        QTest::newRow("wrong password") << QString() << QStringLiteral("sbagliata") << false;
        QTest::newRow("not a workbook") << QStringLiteral("ciao") << QStringLiteral("Tevo1963") << false;
        QTest::newRow("missing file") << QStringLiteral("-") << QStringLiteral("Tevo1963") << false;
    }

    void checkTellsWhy()
    {
        QFETCH(QString, content);
        QFETCH(QString, password);
        QFETCH(bool, opens);
        QTemporaryDir dir;
        QString path = sampleBook(dir, QStringLiteral("Tevo1963"));
        if (content == QLatin1String("-")) {
            path = dir.filePath(QStringLiteral("manca.xls"));
        } else if (!content.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content.toUtf8());
        }
        Run r = tool({QStringLiteral("check"), path, QStringLiteral("--password"), password});
        if (opens) {
            QCOMPARE(r.exitCode, 0);
            QVERIFY(r.out.startsWith("Il file si apre"));
        } else {
            expectFailure(r);
        }
    }

    void usageErrors()
    {
        expectFailure(tool({}));
        expectFailure(tool({QStringLiteral("boh"), QStringLiteral("x.xls")}));
        expectFailure(tool({QStringLiteral("dump")}));
        expectFailure(tool({QStringLiteral("dump"), QStringLiteral("x.xls"), QStringLiteral("--password")}));
        expectFailure(tool({QStringLiteral("dump"), QStringLiteral("x.xls"), QStringLiteral("--pasword"), QStringLiteral("p")}));
        expectFailure(tool({QStringLiteral("copy"), QStringLiteral("a.xls")}));
    }

    // The new password belongs to copy alone: any other command refuses it before it
    // touches a file, so a "new" never makes a workbook under the wrong password.
    void newPasswordOnlyForCopy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        expectFailure(tool({QStringLiteral("new"), path, QStringLiteral("--new-password"), QStringLiteral("q")}));
        QVERIFY(!QFile::exists(path));
        const QString sample = sampleBook(dir, QStringLiteral("Tevo1963"));
        const QByteArray before = testfiles::read(sample);
        expectFailure(tool({QStringLiteral("check"), sample, QStringLiteral("--new-password=q")}));
        QCOMPARE(testfiles::read(sample), before);

        const QString copied = dir.filePath(QStringLiteral("copia.xls"));
        QCOMPARE(tool({QStringLiteral("copy"), sample, copied, QStringLiteral("--new-password=Altra1")}).exitCode, 0);
        QCOMPARE(readWorkbook(copied, QStringLiteral("Altra1"))->sheet(1).valueAt(2, 8).number, 12.5);
        QCOMPARE(testfiles::read(sample), before);
    }
};

QTEST_GUILESS_MAIN(TestContavioXls)
#include "tst_contavio_xls.moc"
