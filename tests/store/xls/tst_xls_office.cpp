// Compatibility with another spreadsheet program, driven headless through its scripting
// bridge (office_probe.py): it opens what we write with the password and sees the same
// sheets, values, types and formats; a book it made survives our load and save.
// Skipped when no such program is installed.

#include "support/officecompare.h"

#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace store;

namespace {

struct ProbeResult {
    int exitCode = -1;
    QJsonObject json;
};

ProbeResult probe(const QStringList &args)
{
    const officecompare::Run run = officecompare::probe(QStringLiteral(OFFICE_PROBE), args);
    return {run.exitCode, QJsonDocument::fromJson(run.out).object()};
}

QJsonObject sheetNamed(const QJsonObject &doc, const QString &name)
{
    for (const QJsonValue &s : doc.value(QStringLiteral("sheets")).toArray())
        if (s.toObject().value(QStringLiteral("name")).toString() == name)
            return s.toObject();
    return {};
}

QJsonObject cellAt(const QJsonObject &sheet, int row, int col)
{
    for (const QJsonValue &c : sheet.value(QStringLiteral("cells")).toArray()) {
        const QJsonObject o = c.toObject();
        if (o.value(QStringLiteral("row")).toInt() == row && o.value(QStringLiteral("col")).toInt() == col)
            return o;
    }
    return {};
}

} // namespace

class TestXlsOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        OFFICECOMPARE_SKIP_WITHOUT_OFFICE();
    }

    void ourEncryptedBookOpensThere()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        Workbook book;
        Worksheet &a = book.sheet(1);
        a.setName(QStringLiteral("Anagrafe"));
        Worksheet &inc = book.appendSheet(QStringLiteral("Incassi"));
        a.range(QStringLiteral("F:F")).setNumberFormat(QStringLiteral("@"));
        a.cells(1, 1).setValue(Variant::fromText(QStringLiteral("ID")));
        a.cells(1, 7).setValue(Variant::fromText(QStringLiteral("Località")));
        a.cells(2, 1).setValue(QStringLiteral("1"));
        a.cells(2, 3).setValue(Variant::fromText(QStringLiteral("Caffè Forlì & C. — 5 €")));
        a.cells(2, 6).setValue(QStringLiteral("00123"));
        a.range(QStringLiteral("2:2")).select();
        a.freezePanes();
        inc.cells(2, 5).setValue(QStringLiteral("12/05/2009"));
        inc.cells(2, 8).setValue(QStringLiteral("12,5"));
        inc.cells(2, 7).setValue(Variant::fromBool(true));
        inc.cells(3, 1).setValue(9876543210.25);
        for (int r = 10; r < 800; ++r)   // enough strings for a continued string table
            inc.cells(r, 3).setValue(Variant::fromText(QStringLiteral("Cliente numero %1 à è é ì ò ù €").arg(r)));
        book.protection.password = QStringLiteral("Tevo1963");
        writeWorkbook(book, path);

        const ProbeResult r = probe({QStringLiteral("read"), path, QStringLiteral("Tevo1963")});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject an = sheetNamed(r.json, QStringLiteral("Anagrafe"));
        const QJsonObject in = sheetNamed(r.json, QStringLiteral("Incassi"));
        QVERIFY(!an.isEmpty());
        QVERIFY(!in.isEmpty());
        QCOMPARE(r.json.value(QStringLiteral("sheets")).toArray().size(), 2);
        QCOMPARE(cellAt(an, 1, 7).value(QStringLiteral("string")).toString(), QStringLiteral("Località"));
        QCOMPARE(cellAt(an, 2, 1).value(QStringLiteral("type")).toString(), QStringLiteral("number"));
        QCOMPARE(cellAt(an, 2, 1).value(QStringLiteral("value")).toDouble(), 1.0);
        QCOMPARE(cellAt(an, 2, 3).value(QStringLiteral("string")).toString(), QStringLiteral("Caffè Forlì & C. — 5 €"));
        QCOMPARE(cellAt(an, 2, 6).value(QStringLiteral("type")).toString(), QStringLiteral("text"));
        QCOMPARE(cellAt(an, 2, 6).value(QStringLiteral("string")).toString(), QStringLiteral("00123"));
        QCOMPARE(cellAt(an, 2, 6).value(QStringLiteral("format")).toString(), QStringLiteral("@"));
        const QJsonObject date = cellAt(in, 2, 5);
        QCOMPARE(date.value(QStringLiteral("value")).toDouble(), 39945.0);
        QCOMPARE(date.value(QStringLiteral("string")).toString(), QStringLiteral("12/05/2009"));
        QCOMPARE(cellAt(in, 2, 8).value(QStringLiteral("value")).toDouble(), 12.5);
        QCOMPARE(cellAt(in, 2, 7).value(QStringLiteral("value")).toDouble(), 1.0);
        QCOMPARE(cellAt(in, 3, 1).value(QStringLiteral("value")).toDouble(), 9876543210.25);
        QCOMPARE(cellAt(in, 799, 3).value(QStringLiteral("string")).toString(),
                 QStringLiteral("Cliente numero 799 à è é ì ò ù €"));

        const ProbeResult wrong = probe({QStringLiteral("read"), path, QStringLiteral("tevo1963")});
        QVERIFY(wrong.exitCode != 0);
        QVERIFY(!wrong.json.contains(QStringLiteral("sheets")));
    }

    // A book made there (formats, merged cells, formulas, a comment, a conditional format,
    // validation, a second sheet) goes through our load and save and reads the same there,
    // with our additions on top.
    void theirBookSurvivesOurSave()
    {
        QTemporaryDir dir;
        const QString original = QStringLiteral(CONTAVIO_TEST_DATA "/office_formatted.xls");
        const QString ours = dir.filePath(QStringLiteral("nostro.xls"));
        const QString password = QStringLiteral("Prova€1");
        auto book = readWorkbook(original, password);
        book->appendSheet(QStringLiteral("Anagrafe")).cells(1, 1).setValue(Variant::fromText(QStringLiteral("ID")));
        book->sheet(1).pageSetup().printArea = QStringLiteral("$A$1:$D$6");
        writeWorkbook(*book, ours);

        const ProbeResult before = probe({QStringLiteral("read"), original, password});
        const ProbeResult after = probe({QStringLiteral("read"), ours, password});
        QCOMPARE(before.exitCode, 0);
        QCOMPARE(after.exitCode, 0);
        const QJsonArray b = before.json.value(QStringLiteral("sheets")).toArray();
        const QJsonArray a = after.json.value(QStringLiteral("sheets")).toArray();
        QCOMPARE(a.size(), b.size() + 1);
        for (int i = 0; i < b.size(); ++i)
            QCOMPARE(a[i].toObject(), b[i].toObject());
        QCOMPARE(a[b.size()].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Anagrafe"));
        // The things this check looks at are really there.
        const QJsonObject dati = b[0].toObject();
        QCOMPARE(dati.value(QStringLiteral("merges")).toArray().size(), 1);
        QCOMPARE(dati.value(QStringLiteral("notes")).toArray().size(), 1);
        QVERIFY(!dati.value(QStringLiteral("conditional")).toArray().isEmpty());
        QVERIFY(!dati.value(QStringLiteral("validation")).toArray().isEmpty());
        QCOMPARE(cellAt(b[1].toObject(), 1, 2).value(QStringLiteral("formula")).toString(), QStringLiteral("=$Dati.B2*2"));
    }
};

QTEST_GUILESS_MAIN(TestXlsOffice)
#include "tst_xls_office.moc"
