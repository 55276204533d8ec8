// The FatturaPA reader and the mapping of a document to ledger rows: encodings and prefixes,
// hostile XML refused, direction, kinds, instalments and due dates, credit notes.
#include "einvoice/fatturapa.h"
#include "einvoice/mapping.h"
#include "invoicexml.h"

#include <QStringEncoder>
#include <QtTest>

using namespace einvoice;
using testinvoice::Draft;

class TstFatturapa : public QObject {
    Q_OBJECT
private slots:
    void reads_data();
    void reads();
    void refuses_data();
    void refuses();
    void maps_data();
    void maps();
};

namespace {
QByteArray withPrefix(const QString &prefix)
{
    Draft s;
    s.prefix = prefix;
    return testinvoice::bytes(s);
}
} // namespace

void TstFatturapa::reads_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("seller");
    QTest::addColumn<int>("bodies");
    const QByteArray plain = withPrefix({});
    QTest::newRow("no prefix") << plain << "Fornitore Alfa Srl" << 1;
    QTest::newRow("prefix ns3") << withPrefix("ns3") << "Fornitore Alfa Srl" << 1;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF") + plain << "Fornitore Alfa Srl" << 1;
    QByteArray bare = plain;
    QTest::newRow("no declaration") << bare.remove(0, bare.indexOf('\n') + 1) << "Fornitore Alfa Srl" << 1;
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    QString utf16Text = QString::fromUtf8(plain).replace("UTF-8", "UTF-16");
    QTest::newRow("UTF-16 with mark") << QByteArray(utf16(utf16Text)) << "Fornitore Alfa Srl" << 1;
    Draft accented;
    accented.sellerName = QStringLiteral("Caffè Società");
    QByteArray latin = testinvoice::xml(accented).replace("UTF-8", "windows-1252").toLatin1();
    QTest::newRow("windows-1252") << latin << "Caffè Società" << 1;
    QTest::newRow("ISO-8859-1") << testinvoice::xml(accented).replace("UTF-8", "ISO-8859-1").toLatin1() << "Caffè Società" << 1;
    Draft two;
    two.bodies = 3;
    QTest::newRow("three bodies") << testinvoice::bytes(two) << "Fornitore Alfa Srl" << 3;
}

void TstFatturapa::reads()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, seller);
    QFETCH(int, bodies);
    const ParseResult r = parseInvoice(bytes);
    QVERIFY2(r.invoice, qPrintable(r.error));
    QCOMPARE(r.invoice->seller.name, seller);
    QCOMPARE(int(r.invoice->bodies.size()), bodies);
    QCOMPARE(r.invoice->buyer.address, QStringLiteral("Via Roma 5"));
    QCOMPARE(r.invoice->bodies[0].total, std::optional<Cents>(12200));
}

void TstFatturapa::refuses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray invoice = withPrefix("p");
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>"
                        "<FatturaElettronica>&b;</FatturaElettronica>";
    QTest::newRow("entity bomb") << laughs << "DTD";
    QTest::newRow("external entity") << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE f [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                                                   "<FatturaElettronica>&x;</FatturaElettronica>") << "DTD";
    QTest::newRow("deep nesting") << QByteArray("<FatturaElettronica>") + QByteArray("<a>").repeated(200) << "annidata";
    QTest::newRow("oversize") << QByteArray(kMaxXmlBytes + 1, ' ') << "troppo grande";
    QTest::newRow("malformed") << invoice.left(invoice.size() / 2) << "XML non valido";
    QTest::newRow("receipt") << QByteArray("<ns2:RicevutaConsegna xmlns:ns2=\"x\"><IdentificativoSdI>1</IdentificativoSdI></ns2:RicevutaConsegna>")
                             << "non è una fattura elettronica (RicevutaConsegna)";
    QTest::newRow("undeclared encoding bytes") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><FatturaElettronica>\xE8</FatturaElettronica>")
                                               << "caratteri non validi";
    QTest::newRow("not XML") << QByteArray("just text") << "XML non valido";
}

void TstFatturapa::refuses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const ParseResult r = parseInvoice(bytes);
    QVERIFY(!r.invoice);
    QVERIFY2(r.error.contains(reason), qPrintable(r.error));
}

void TstFatturapa::maps_data()
{
    using testinvoice::detail;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("ownVat");
    QTest::addColumn<QString>("ownCf");
    QTest::addColumn<QString>("expected");   // "skip: reason" or the rows "ledger;due;cents;note|..."
    Draft bought;
    bought.details = {detail("MP05", "122.00", "2024-04-30")};
    QTest::newRow("office buys: Pagamenti") << testinvoice::bytes(bought) << "IT01234567890" << ""
                                            << "P;30/04/2024;12200;Fattura TD01, Bonifico";
    QTest::newRow("office sells: Incassi") << testinvoice::bytes(bought) << "09876543210" << ""
                                           << "I;30/04/2024;12200;Fattura TD01, Bonifico";
    Draft byCf = bought;
    byCf.buyerVat.clear();
    byCf.buyerCf = QStringLiteral("RSSMRA70A01H501U");
    QTest::newRow("office by codice fiscale") << testinvoice::bytes(byCf) << "" << "rssmra70a01h501u"
                                              << "P;30/04/2024;12200;Fattura TD01, Bonifico";
    QTest::newRow("neither party") << testinvoice::bytes(bought) << "11111111111" << "" << "skip: fattura non intestata allo studio";
    Draft rates = bought;
    rates.details = {detail("MP12", "40.00", "2024-04-30"), detail("MP12", "40.00", {}, "2024-03-31", "60"),
                     detail("MP05", "42.00", {}, "2024-05-10"), detail("MP01", "0.004", {}, {}, "10")};
    QTest::newRow("instalments and terms") << testinvoice::bytes(rates) << "01234567890" << ""
        << "P;30/04/2024;4000;Fattura TD01, rata 1/4, Ri.Ba.|P;30/05/2024;4000;Fattura TD01, rata 2/4, Ri.Ba.|"
           "P;10/05/2024;4200;Fattura TD01, rata 3/4, Bonifico|P;25/03/2024;0;Fattura TD01, rata 4/4, Contanti";
    Draft undated = bought;
    undated.details = {detail("MP05", "10.005")};
    QTest::newRow("no due date") << testinvoice::bytes(undated) << "01234567890" << ""
                                 << "P;15/03/2024;1001;Fattura TD01, Bonifico, scadenza non indicata";
    Draft credit = bought;
    credit.type = QStringLiteral("TD04");
    QTest::newRow("credit note negative") << testinvoice::bytes(credit) << "01234567890" << ""
                                          << "P;30/04/2024;-12200;Nota di credito TD04, Bonifico";
    Draft noPayment;
    QTest::newRow("no DatiPagamento: total") << testinvoice::bytes(noPayment) << "01234567890" << ""
        << "P;15/03/2024;12200;Fattura TD01, scadenza non indicata, importo da verificare";
    noPayment.total.clear();
    noPayment.type = QStringLiteral("TD06");
    QTest::newRow("no total: summary") << testinvoice::bytes(noPayment) << "01234567890" << ""
        << "P;15/03/2024;12200;Parcella TD06, scadenza non indicata, importo da verificare";
    Draft selfInvoice = bought;
    selfInvoice.type = QStringLiteral("TD17");
    QTest::newRow("TD17 skipped") << testinvoice::bytes(selfInvoice) << "01234567890" << "" << "skip: documento TD17";
    Draft simplified = bought;
    simplified.type = QStringLiteral("TD07");
    QTest::newRow("simplified skipped") << testinvoice::bytes(simplified) << "01234567890" << "" << "skip: fattura semplificata";
}

void TstFatturapa::maps()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, ownVat);
    QFETCH(QString, ownCf);
    QFETCH(QString, expected);
    const ParseResult r = parseInvoice(bytes);
    QVERIFY2(r.invoice, qPrintable(r.error));
    const Mapping m = mapDocument(*r.invoice, r.invoice->bodies[0], Identity{ownVat, ownCf});
    if (expected.startsWith(QLatin1String("skip: "))) {
        QVERIFY(!m.document);
        QVERIFY2(m.skipReason.startsWith(expected.mid(6)), qPrintable(m.skipReason));
        return;
    }
    QVERIFY2(m.document, qPrintable(m.skipReason));
    QStringList rows;
    for (const Row &row : m.document->rows)
        rows << QStringLiteral("%1;%2;%3;%4").arg(m.document->direction == Direction::Sale ? "I" : "P",
                                                  row.due.toString("dd/MM/yyyy")).arg(row.amount).arg(row.note);
    QCOMPARE(rows.join('|'), expected);
}

QTEST_GUILESS_MAIN(TstFatturapa)
#include "tst_fatturapa.moc"
