// The page painter: a long table goes on over pages with its heading repeated, the foot
// numbers the pages, the totals close the last one; a file that cannot be written is refused.

#include "dueworld.h"

#include "dueviews/printdoc.h"

#include <QTemporaryDir>
#include <QTest>

using namespace dueviews;

class TestPrintDoc : public QObject {
    Q_OBJECT
private slots:
    void pages();
    void unwritableFile();
};

void TestPrintDoc::pages()
{
    PrintDoc doc;
    doc.title = QStringLiteral("Elenco di prova");
    doc.criteria << QStringLiteral("criteri in parole");
    doc.columns = {{QStringLiteral("Colonna"), 1, false}, {QStringLiteral("Cifra"), 1, true}};
    for (int i = 1; i <= 150; ++i)
        doc.rows.push_back({QStringLiteral("riga%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("%1,00").arg(i)});
    doc.totals << QStringLiteral("Totale 11.325,00");
    doc.date = QDate(2009, 5, 12);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("prova.pdf"));
    QVERIFY(writePdf(doc, path));

    const QString text = dueworld::pdfText(path);
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QVERIFY2(pages.size() >= 3, qPrintable(text));
    int expected = 1;
    for (int p = 0; p < pages.size(); ++p) {
        const QString &page = pages[p];
        QVERIFY(page.contains(QStringLiteral("Colonna")));   // the heading, on every page
        QVERIFY(page.contains(QStringLiteral("Pagina %1 di %2").arg(p + 1).arg(pages.size())));
        QVERIFY(page.contains(QStringLiteral("12/05/2009")));
        // Every row once, in order, page after page.
        while (expected <= 150 && page.contains(QStringLiteral("riga%1").arg(expected, 3, 10, QLatin1Char('0'))))
            ++expected;
    }
    QCOMPARE(expected, 151);
    QVERIFY(pages.first().contains(QStringLiteral("criteri in parole")));
    QVERIFY(pages.last().contains(QStringLiteral("Totale 11.325,00")));
}

void TestPrintDoc::unwritableFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("manca/prova.pdf"));
    PrintDoc doc;
    doc.title = QStringLiteral("x");
    QVERIFY(!writePdf(doc, path));
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TestPrintDoc)
#include "tst_printdoc.moc"
