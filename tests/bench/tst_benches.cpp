// The benchmarks still run and measure what they say, on small sizes: each step's line in
// its column layout, the workbook they leave behind really sorted and saved, bad sizes
// refused. No time is asserted: the numbers themselves are read by people.

#include "support/runprogram.h"

#include "records/layout.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace store;

namespace {

struct Run {
    int exitCode = -1;
    QStringList lines;   // standard output
    QString err;
};

Run bench(const QString &program, const QStringList &args)
{
    const testrun::Run run = testrun::runProgram(program, args, 300000);
    return {run.exitCode, QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts), run.err};
}

// The timing lines, label first, padded to `width`, then seconds with `decimals` places.
QStringList timedLabels(const QStringList &lines, int width, int decimals)
{
    const QRegularExpression re(QStringLiteral("^(.{%1}) +\\d+\\.\\d{%2} s   peak +\\d+\\.\\d MB$").arg(width).arg(decimals));
    QStringList labels;
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = re.match(line);
        if (m.hasMatch())
            labels << m.captured(1).trimmed();
    }
    return labels;
}

} // namespace

class TestBenches : public QObject {
    Q_OBJECT

private slots:
    void bigWorkbookBench()
    {
        QTemporaryDir dir;
        const Run r = bench(QStringLiteral(CONTAVIO_BENCH), {QStringLiteral("--rows"), QStringLiteral("30"), dir.path()});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.lines.value(0), QStringLiteral("Contavio benchmark: 30 registry rows, 30 rows on each ledger sheet"));
        QCOMPARE(timedLabels(r.lines, 44, 3),
                 (QStringList{"build the workbook in memory", "save encrypted (first save)", "open (decrypt and read)",
                              "sort Incassi A2:S65536 by F", "read every cell as text (value to text)",
                              "auto-fit the columns of every sheet", "save again",
                              "start-up: lock, open, sheets, titles, fit", "exit: save and close"}));
        QVERIFY(r.lines.filter(QRegularExpression(QStringLiteral("^file size {35} +\\d+\\.\\d MB$"))).size() == 1);

        // What it left: the ledgers sorted by due date and saved, under the program's titles.
        auto book = readWorkbook(dir.filePath(QStringLiteral("Contavio.xls")), QStringLiteral("Tevo1963"));
        for (const records::layout::SheetLayout *sheetLayout : records::layout::dataSheets()) {
            const Worksheet &sheet = book->sheet(sheetLayout->name);
            for (int c = 1; c <= sheetLayout->columnCount(); ++c)
                QCOMPARE(sheet.valueAt(1, c).text, sheetLayout->titles.at(c - 1));
        }
        const Worksheet &incassi = book->sheet(QStringLiteral("Incassi"));
        QCOMPARE(incassi.valueAt(1, 256).number, 30.0);
        QCOMPARE(incassi.lastRow(), 31);
        for (int row = 3; row <= 31; ++row)
            QVERIFY2(incassi.valueAt(row - 1, 6).number <= incassi.valueAt(row, 6).number, qPrintable(QString::number(row)));
        QCOMPARE(book->sheet(QStringLiteral("Pagamenti")).valueAt(31, 19).text.left(24), QStringLiteral("Nota della registrazione"));
    }

    void annotatedBench()
    {
        QTemporaryDir dir;
        const Run r = bench(QStringLiteral(CONTAVIO_BENCH_ANNOTATED), {QStringLiteral("--rows"), QStringLiteral("40"), dir.path()});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(timedLabels(r.lines, 44, 4),
                 (QStringList{"open the annotated workbook", "sort Incassi A2:S65536 by F", "delete a record's row (Elimina)",
                              "delete the first record's row", "save the annotated workbook", "sort, cells only",
                              "delete the first record's row, cells only"}));
        // One note per record on 40 records; the annotated pass deletes two records, their
        // notes with them, and saves; the cells-only pass leaves the note records as read.
        QCOMPARE(r.lines.last(), QStringLiteral("(38 notes left)"));
    }

    void sizesOutOfRangeRefused_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("message");
        QTest::newRow("no ledger rows") << QStringLiteral(CONTAVIO_BENCH) << QStringLiteral("0") << QStringLiteral("--rows: da 1 a 65534\n");
        QTest::newRow("past the sheet") << QStringLiteral(CONTAVIO_BENCH) << QStringLiteral("65535") << QStringLiteral("--rows: da 1 a 65534\n");
        QTest::newRow("not a number") << QStringLiteral(CONTAVIO_BENCH) << QStringLiteral("molte") << QStringLiteral("--rows: da 1 a 65534\n");
        QTest::newRow("count missing") << QStringLiteral(CONTAVIO_BENCH) << QString() << QStringLiteral("--rows: da 1 a 65534\n");
        QTest::newRow("too few to annotate") << QStringLiteral(CONTAVIO_BENCH_ANNOTATED) << QStringLiteral("9") << QStringLiteral("--rows: da 10 a 65534\n");
    }

    void sizesOutOfRangeRefused()
    {
        QFETCH(QString, program);
        QFETCH(QString, rows);
        QFETCH(QString, message);
        QTemporaryDir dir;
        // An empty count stands for "--rows" with nothing after it.
        const Run r = bench(program, rows.isEmpty() ? QStringList{QStringLiteral("--rows")}
                                                    : QStringList{QStringLiteral("--rows"), rows, dir.path()});
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.err, message);
        QVERIFY(r.lines.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("Contavio.xls"))));
    }
};

QTEST_GUILESS_MAIN(TestBenches)
#include "tst_benches.moc"
