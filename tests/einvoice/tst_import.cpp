// The import into a workbook: rows and counterparties written as the forms write them,
// counterparties matched by partita IVA, duplicates skipped (also a second run), nothing
// written when the plan cannot go in whole; the shared invoices; contavio-xls import-fe.
#include "einvoice/importer.h"
#include "invoicexml.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"
#include "support/starterbook.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>

using namespace einvoice;
using testinvoice::detail;
using testinvoice::Draft;

class TstImport : public QObject {
    Q_OBJECT
private slots:
    void writesRowsAndCounterparties();
    void refusedWhole_data();
    void refusedWhole();
    void sharedInvoices_data();
    void sharedInvoices();
    void commandLine();
};

namespace {

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void putZip(const QString &path, const QByteArray &name, const QByteArray &bytes)
{
    int err = 0;
    zip_t *z = zip_open(path.toLocal8Bit().constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    zip_file_add(z, name.constData(), zip_source_buffer(z, bytes.constData(), zip_uint64_t(bytes.size()), 0), 0);
    zip_close(z);
}

// A starter workbook with one supplier typed by hand (partita IVA without "IT"), its
// counter at 8, and one collection record numbered 5.
std::unique_ptr<store::Workbook> book()
{
    auto b = std::make_unique<store::Workbook>();
    testworld::shapeStarterBook(*b);
    store::Worksheet &registry = b->sheet("Anagrafe");
    testworld::writeCounterparty(registry, 2, 7, "F", "FORNITORE ALFA SRL");
    registry.cells(2, 14).setValue(QStringLiteral("09876543210"));
    registry.cells(1, 256).setValue(8.0);
    testworld::writeLedgerRecord(b->sheet("Incassi"), 2, {5, 3, "X", "9", QDate(2024, 1, 1), QDate(2024, 2, 1), 10, {}});
    b->sheet("Incassi").cells(1, 256).setValue(5.0);
    return b;
}

// Every cell of the three sheets, to tell that nothing changed.
QStringList contents(store::Workbook &b)
{
    QStringList all;
    for (const char *name : {"Anagrafe", "Incassi", "Pagamenti"}) {
        store::Worksheet &s = b.sheet(name);
        s.forEachCell([&](int r, int c, const store::Cell &) { all << QStringLiteral("%1!%2,%3=%4").arg(name).arg(r).arg(c).arg(s.textAt(r, c)); });
    }
    return all;
}

} // namespace

void TstImport::writesRowsAndCounterparties()
{
    QTemporaryDir dir;
    Draft bought;   // from the supplier typed by hand: two instalments
    bought.details = {detail("MP05", "61.00", "2024-04-30", {}, {}, "IT60X0542811101000000123456"),
                      detail("MP05", "61.00", "2024-05-31")};
    Draft sold;     // to a new customer
    sold.sellerVat = testinvoice::kOffice;
    sold.sellerName = QStringLiteral("Studio Beta");
    sold.buyerVat = QStringLiteral("11223344556");
    sold.buyerName = QStringLiteral("Cliente Gamma spa");
    sold.number = QStringLiteral("007");
    sold.details = {detail("MP12", "122.00", "2024-06-30")};
    put(dir.filePath("a.xml"), testinvoice::bytes(bought));
    put(dir.filePath("b.xml"), testinvoice::bytes(sold));
    putZip(dir.filePath("c.zip"), "again/a.xml", testinvoice::bytes(bought));   // the same invoice again
    put(dir.filePath("d_RC_001.xml"), "<RicevutaConsegna/>");

    auto b = book();
    const Identity office{QStringLiteral("IT") + testinvoice::kOffice, {}};
    const Plan p = plan(*b, office, {dir.path()});
    QCOMPARE(int(p.invoices.size()), 2);
    QCOMPARE(int(p.skipped.size()), 2);
    QVERIFY(p.skipped[0].reason.contains("già letta in questa importazione"));
    QVERIFY(p.skipped[1].reason.contains("RicevutaConsegna"));
    const Applied a = apply(*b, p);
    QVERIFY2(a.ok, qPrintable(a.error));
    QCOMPARE(a.newCounterparties, 1);

    store::Worksheet &pag = b->sheet("Pagamenti");
    QCOMPARE(testworld::rowTexts(pag, 2, 19).join('|'),
             "1|7|FORNITORE ALFA SRL|FA/1|15/03/2024|30/04/2024|NO|61,00|||NO||||NO||||Fattura TD01, rata 1/2, Bonifico");
    QCOMPARE(testworld::rowTexts(pag, 3, 6).join('|'), "2|7|FORNITORE ALFA SRL|FA/1|15/03/2024|31/05/2024");
    QCOMPARE(pag.valueAt(2, 5).type, store::Variant::Type::Date);
    QCOMPARE(pag.valueAt(1, 256).number, 2.0);
    store::Worksheet &inc = b->sheet("Incassi");
    QCOMPARE(testworld::rowTexts(inc, 3, 8).join('|'), "6|8|CLIENTE GAMMA SPA|007|15/03/2024|30/06/2024|NO|122,00");
    QCOMPARE(inc.valueAt(1, 256).number, 6.0);
    store::Worksheet &reg = b->sheet("Anagrafe");
    QCOMPARE(testworld::rowTexts(reg, 3, 15).join('|'),
             "8|C|CLIENTE GAMMA SPA||VIA ROMA 5|00184|ROMA|RM||||||11223344556|");   // a customer: no contacts, no IBAN
    QCOMPARE(reg.valueAt(1, 256).number, 9.0);

    // The same folder again adds nothing.
    const Plan again = plan(*b, office, {dir.path()});
    QCOMPARE(int(again.invoices.size()), 0);
    QVERIFY(again.skipped[0].reason.contains("già presente in Pagamenti"));
}

void TstImport::refusedWhole_data()
{
    QTest::addColumn<int>("fullRow");         // column A filled from row 2 to this row of "Pagamenti"
    QTest::addColumn<QString>("counter");     // IV1 of "Anagrafe"
    QTest::addColumn<QString>("error");
    QTest::newRow("ledger full") << store::kMaxRows - 1 << "8" << "non ha posto";
    QTest::newRow("registry counter not a number") << 0 << "otto" << "non è un numero intero";
}

void TstImport::refusedWhole()
{
    QFETCH(int, fullRow);
    QFETCH(QString, counter);
    QFETCH(QString, error);
    QTemporaryDir dir;
    Draft s;
    s.sellerVat = QStringLiteral("55555555555");   // a new supplier
    s.details = {detail("MP05", "1.00", "2024-04-30"), detail("MP05", "1.00", "2024-05-30")};
    put(dir.filePath("a.xml"), testinvoice::bytes(s));
    auto b = book();
    for (int row = 2; row <= fullRow; ++row)
        b->sheet("Pagamenti").cells(row, 1).setValue(double(row));
    b->sheet("Anagrafe").cells(1, 256).setValue(counter);
    const QStringList before = contents(*b);
    const Plan p = plan(*b, {testinvoice::kOffice, {}}, {dir.path()});
    QCOMPARE(int(p.invoices.size()), 1);
    const Applied a = apply(*b, p);
    QVERIFY(!a.ok);
    QVERIFY2(a.error.contains(error), qPrintable(a.error));
    QCOMPARE(contents(*b), before);
}

void TstImport::sharedInvoices_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("ownVat");
    QTest::addColumn<QString>("rows");   // "sheet row: A..H and S" of the first and last row written
    QTest::newRow("three instalments") << "oca-l10n-italy/IT02780790107_11004.xml" << "02780790107"
        << "1|1|AMMINISTRAZIONE BETA|123|18/12/2014|30/04/2015|NO|20,00|Fattura TD01, rata 1/3, Bonifico/"
           "3|1|AMMINISTRAZIONE BETA|123|18/12/2014|30/06/2015|NO|1,50|Fattura TD01, rata 3/3, Bonifico";
    QTest::newRow("two bodies") << "oca-l10n-italy/IT01234567890_FPR03.xml" << "02780790107"
        << "1|1|BETA GAMMA|123|18/12/2014|30/01/2015|NO|32,50|Fattura TD01, Contanti/"
           "2|1|BETA GAMMA|456|20/12/2014|28/01/2015|NO|2.440,00|Fattura TD01, SDD";
    QTest::newRow("credit note") << "invopop-gobl-fatturapa/invoice-credit-note.xml" << "12345678903"
        << "1|1|MARIO LEONI|CN-001|09/10/2024|09/10/2024|NO|-1.388,40|Nota di credito TD04, Carta di pagamento, scadenza non indicata/"
           "1|1|MARIO LEONI|CN-001|09/10/2024|09/10/2024|NO|-1.388,40|Nota di credito TD04, Carta di pagamento, scadenza non indicata";
    QTest::newRow("base64 envelope, no payment data") << "fatturaelettronica-net/IT02182030391_31.Base64.xml.p7m" << "02182030391"
        << "1|1|CIR 2000 SNC|2|08/06/2018|08/06/2018|NO|122,00|Fattura TD01, scadenza non indicata, importo da verificare/"
           "1|1|CIR 2000 SNC|2|08/06/2018|08/06/2018|NO|122,00|Fattura TD01, scadenza non indicata, importo da verificare";
    QTest::newRow("office buys: Pagamenti") << "fatturaelettronicaphp/ESEMPIO TD24.xml" << "01401234567"
        << "1|1|ACME SRL|90|24/02/2021|30/04/2021|NO|3.214,29|Fattura differita TD24, Bonifico/"
           "1|1|ACME SRL|90|24/02/2021|30/04/2021|NO|3.214,29|Fattura differita TD24, Bonifico";
}

void TstImport::sharedInvoices()
{
    QFETCH(QString, file);
    QFETCH(QString, ownVat);
    QFETCH(QString, rows);
    const QString path = QStringLiteral(CONTAVIO_SHARED_DIR "/einvoice/") + file;
    if (!QFile::exists(path))
        QSKIP("the shared electronic invoices are not here");
    auto b = std::make_unique<store::Workbook>();
    testworld::shapeStarterBook(*b);
    const Plan p = plan(*b, {ownVat, {}}, {path});
    QVERIFY(p.skipped.empty());
    const Applied a = apply(*b, p);
    QVERIFY2(a.ok, qPrintable(a.error));
    store::Worksheet &sheet = b->sheet(a.rowsIncassi ? "Incassi" : "Pagamenti");
    const auto shown = [&](int row) {
        return (testworld::rowTexts(sheet, row, 8) << sheet.textAt(row, 19)).join('|');
    };
    QCOMPARE(shown(2) + '/' + shown(sheet.lastRow()), rows);
    QVERIFY(plan(*b, {ownVat, {}}, {path}).invoices.empty());
}

void TstImport::commandLine()
{
    QTemporaryDir dir;
    const QString xls = dir.filePath("C.xls");
    Draft s;
    s.details = {detail("MP05", "10.00", "2024-04-30")};
    QDir(dir.path()).mkdir("in");
    put(dir.filePath("in/a.xml"), testinvoice::bytes(s));
    const auto run = [](const QStringList &args) {
        QProcess p;
        p.start(QStringLiteral(CONTAVIO_XLS), args);
        p.waitForFinished(60000);
        return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()));
    };
    QCOMPARE(run({"new", xls}).first, 0);
    const QStringList import = {"import-fe", xls, dir.filePath("in"), "--own-vat", "IT" + testinvoice::kOffice};
    auto [code, out] = run(import + QStringList{"--dry-run"});
    QCOMPARE(code, 0);
    QVERIFY2(out.contains("Fatture da importare: 1"), qPrintable(out));
    std::tie(code, out) = run(import);
    QCOMPARE(code, 0);
    QVERIFY2(out.contains("Fatture importate: 1") && out.contains("Righe in Incassi: 0; righe in Pagamenti: 1"), qPrintable(out));
    QVERIFY(out.contains("non sono verificate"));
    const QByteArray saved = [&] { QFile f(xls); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    std::tie(code, out) = run(import);
    QVERIFY2(out.contains("Fatture importate: 0") && out.contains("già presente in Pagamenti"), qPrintable(out));
    QFile f(xls);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), saved);   // nothing to add: the file is not rewritten
    auto b = store::readWorkbook(xls, testworld::kPassword);
    QCOMPARE(testworld::rowTexts(b->sheet("Pagamenti"), 2, 8).join('|'), "1|1|FORNITORE ALFA SRL|FA/1|15/03/2024|30/04/2024|NO|10,00");
    QCOMPARE(run({"import-fe", xls, dir.filePath("in")}).first, 2);   // no identity anywhere
}

QTEST_GUILESS_MAIN(TstImport)
#include "tst_import.moc"
