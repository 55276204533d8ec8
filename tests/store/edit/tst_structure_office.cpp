// Row deletes and sorts compared with another spreadsheet program's own: it builds an
// annotated ledger (notes, a check column of formulas, a merged remark, a summary sheet, a
// named range, conditional formats, a validation, a print area), sorts the ledger by due
// date and deletes a record's row; the engine does the same on the same file, and the
// program's readings of the two results must agree. Skipped when the program is absent.

#include "support/officecompare.h"

#include "store/model/workbook.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace store;

namespace {

const QString kPassword = QStringLiteral("prova");

// The row of the ledger record with this number (column A), 0 when there is none.
int recordRow(Worksheet &sheet, double id)
{
    for (int row = 2; row <= sheet.lastRow(); ++row)
        if (sheet.valueAt(row, 1) == Variant::fromNumber(id))
            return row;
    return 0;
}

} // namespace

class TestStructureOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        OFFICECOMPARE_SKIP_WITHOUT_OFFICE();
        QVERIFY(m_dir.isValid());
        if (qEnvironmentVariableIsSet("CONTAVIO_KEEP_OFFICE_FILES")) {   // to look at the files by hand
            m_dir.setAutoRemove(false);
            qInfo("files kept in %s", qPrintable(m_dir.path()));
        }
        m_base = m_dir.filePath(QStringLiteral("base.xls"));
        const auto made = officecompare::probe(QStringLiteral(STRUCTURE_PROBE), {QStringLiteral("make"), m_base, kPassword});
        QVERIFY2(made.exitCode == 0, qPrintable(made.err));
    }

    void sortAndDeleteAsTheOtherProgram_data()
    {
        QTest::addColumn<QList<double>>("deleted");
        QTest::newRow("sort only") << QList<double>{};
        QTest::newRow("sort, then delete a noted record") << QList<double>{3};
        QTest::newRow("sort, then delete the first and a noted one") << QList<double>{2, 5};
    }

    void sortAndDeleteAsTheOtherProgram()
    {
        QFETCH(QList<double>, deleted);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_').remove(u',');
        const QString theirs = m_dir.filePath(tag + QStringLiteral("-theirs.xls"));
        const QString ours = m_dir.filePath(tag + QStringLiteral("-ours.xls"));

        QStringList args{QStringLiteral("edit"), m_base, theirs, kPassword};
        for (double id : deleted)
            args << QString::number(id);
        const auto edited = officecompare::probe(QStringLiteral(STRUCTURE_PROBE), args);
        QVERIFY2(edited.exitCode == 0, qPrintable(edited.err));

        {
            Server server;
            Workbook &book = server.open(m_base, kPassword);
            Worksheet &ledger = book.sheet(QStringLiteral("Incassi"));
            SortOptions options;
            options.keyColumn = 6;
            ledger.range(QStringLiteral("A2:S65536")).sort(options);
            for (double id : deleted) {
                const int row = recordRow(ledger, id);
                QVERIFY(row > 0);
                ledger.cells(row, 1).entireRow().deleteRows();
            }
            book.saveAs(ours);
        }

        const QStringList diff = officecompare::readingDifferences(QStringLiteral(STRUCTURE_PROBE), theirs, ours, kPassword);
        QVERIFY2(diff.isEmpty(), qPrintable(diff.join(u'\n')));
    }

private:
    QTemporaryDir m_dir;
    QString m_base;
};

QTEST_GUILESS_MAIN(TestStructureOffice)
#include "tst_structure_office.moc"
