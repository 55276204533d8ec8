// Formulas, names and print areas after the program's own row deletes and sorts, compared
// with what another spreadsheet program makes of the same edit on the same file
// (ledger_probe.py drives it headless). Skipped when no such program is installed.

#include "support/officecompare.h"

#include "store/model/workbook.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace store;

namespace {

// Runs the probe; false (with what it said on stderr) when it fails.
bool runProbe(const QStringList &args, QByteArray *out = nullptr)
{
    const officecompare::Run run = officecompare::probe(QStringLiteral(LEDGER_PROBE), args);
    if (out)
        *out = run.out;
    if (run.exitCode != 0) {
        qWarning().noquote() << run.err;
        return false;
    }
    return true;
}

// What the other program reads in each file, in order.
QJsonArray readAll(const QString &mode, const QStringList &files)
{
    QByteArray out;
    if (!runProbe(QStringList{QStringLiteral("read"), mode} + files, &out))
        return {};
    return QJsonDocument::fromJson(out).array();
}

// Lines "sheet!cell: what differs" between two readings, empty when they agree.
QStringList differences(const QJsonObject &ours, const QJsonObject &theirs)
{
    QStringList out;
    const QJsonArray a = ours.value(QStringLiteral("sheets")).toArray();
    const QJsonArray b = theirs.value(QStringLiteral("sheets")).toArray();
    if (a.size() != b.size())
        out << QStringLiteral("sheet count %1 / %2").arg(a.size()).arg(b.size());
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) {
        const QJsonObject x = a[i].toObject(), y = b[i].toObject();
        const QString sheet = x.value(QStringLiteral("name")).toString();
        const QJsonObject cx = x.value(QStringLiteral("cells")).toObject();
        const QJsonObject cy = y.value(QStringLiteral("cells")).toObject();
        QStringList keys = cx.keys() + cy.keys();
        keys.removeDuplicates();
        for (const QString &k : keys)
            if (cx.value(k) != cy.value(k))
                out << QStringLiteral("%1!%2: %3 / %4").arg(sheet, k,
                    QString::fromUtf8(QJsonDocument(cx.value(k).toObject()).toJson(QJsonDocument::Compact)),
                    QString::fromUtf8(QJsonDocument(cy.value(k).toObject()).toJson(QJsonDocument::Compact)));
        for (const QString &k : {QStringLiteral("printAreas"), QStringLiteral("titleRows")})
            if (x.value(k) != y.value(k))
                out << QStringLiteral("%1 %2: %3 / %4").arg(sheet, k, x.value(k).toVariant().toString(),
                                                            y.value(k).toVariant().toString());
    }
    if (ours.value(QStringLiteral("names")) != theirs.value(QStringLiteral("names")))
        out << QStringLiteral("names: %1 / %2").arg(
            QString::fromUtf8(QJsonDocument(ours.value(QStringLiteral("names")).toObject()).toJson(QJsonDocument::Compact)),
            QString::fromUtf8(QJsonDocument(theirs.value(QStringLiteral("names")).toObject()).toJson(QJsonDocument::Compact)));
    return out;
}

} // namespace

class TstFormulaOffice : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_ledger;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // The program's edit of the ledger, saved as `name`.
    void engineEdit(const QString &name, const std::function<void(Worksheet &)> &edit)
    {
        Server server;
        Workbook &book = server.open(m_ledger, QString());
        edit(book.sheet(QStringLiteral("Incassi")));
        book.saveAs(path(name));
    }

    // The other program reads the same in both files once it recalculated them. (It also
    // recalculates a .xls as it opens it, so it cannot show whether our cached results
    // are marked stale: tst_bookshift checks the marks.)
    void compare(const QString &ours, const QString &theirs)
    {
        const QJsonArray read = readAll(QStringLiteral("recalc"), {ours, theirs});
        QCOMPARE(read.size(), 2);
        const QStringList diff = differences(read[0].toObject(), read[1].toObject());
        for (const QString &d : diff)
            qWarning().noquote() << d;
        QCOMPARE(diff, QStringList());
    }

private slots:
    void initTestCase()
    {
        OFFICECOMPARE_SKIP_WITHOUT_OFFICE();
        QVERIFY(m_dir.isValid());
        m_ledger = path(QStringLiteral("ledger.xls"));
        QVERIFY(runProbe({QStringLiteral("make"), m_ledger}));
    }

    // Deleting a record's row: references below move up, references to it become #REF!,
    // ranges over it shrink (=SUM(B2:B3) above the deleted row 2 does not take in itself),
    // the summary sheet, the name and the print area follow.
    void deleteRows_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("a record inside the sum") << 2 << 2;
        QTest::newRow("the record under a reference") << 3 << 3;
        QTest::newRow("several rows with the subtotal") << 3 << 5;
    }
    void deleteRows()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        const QString tag = QStringLiteral("del%1-%2").arg(first).arg(last);
        const QString theirs = path(tag + QStringLiteral("-lo.xls"));
        const QString ours = path(tag + QStringLiteral("-ours.xls"));
        QVERIFY(runProbe({QStringLiteral("delete"), m_ledger, theirs, QString::number(first), QString::number(last)}));
        engineEdit(QFileInfo(ours).fileName(), [&](Worksheet &s) {
            s.range(QStringLiteral("%1:%2").arg(first).arg(last)).deleteRows();
        });
        compare(ours, theirs);
    }

    // Sorting A2:S65536 by the customer: formulas outside the sorted columns keep their
    // references, the subtotal that moved with its row keeps its offsets.
    void sortLedger()
    {
        const QString theirs = path(QStringLiteral("sort-lo.xls"));
        const QString ours = path(QStringLiteral("sort-ours.xls"));
        QVERIFY(runProbe({QStringLiteral("sort"), m_ledger, theirs}));
        engineEdit(QFileInfo(ours).fileName(), [](Worksheet &s) {
            SortOptions o;
            o.keyColumn = 6;
            s.range(QStringLiteral("A2:S65536")).sort(o);
        });
        compare(ours, theirs);
    }
};

QTEST_GUILESS_MAIN(TstFormulaOffice)
#include "tst_formula_office.moc"
