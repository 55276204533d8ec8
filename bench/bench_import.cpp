// Times the import of electronic invoices into a full workbook: 5,000 counterparties on
// "Anagrafe" and 32,000 records on each ledger, then 1,000 invoice files (half issued, half
// received; half to counterparties already in the registry, a third with two instalments)
// read from a folder, planned, written, and the workbook saved; then the same folder again,
// which adds nothing.
//
//   contavio-bench-import [--rows N] [folder]     N invoice files (default 1,000)

#include "benchtools.h"

#include "einvoice/importer.h"
#include "records/layout.h"
#include "store/model/workbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

constexpr int kCounterparties = 5000;
constexpr int kLedgerRecords = 32000;
const QString kOffice = QStringLiteral("01234567890");

const bench::Timings kTable(44, 3);

QString vatOf(int n)
{
    return QStringLiteral("%1").arg(20000000000LL + n, 11, 10, QLatin1Char('0'));
}

QString party(const char *role, const QString &vat, const QString &name)
{
    return QStringLiteral("<%1><DatiAnagrafici><IdFiscaleIVA><IdPaese>IT</IdPaese><IdCodice>%2</IdCodice></IdFiscaleIVA>"
                          "<Anagrafica><Denominazione>%3</Denominazione></Anagrafica><RegimeFiscale>RF01</RegimeFiscale>"
                          "</DatiAnagrafici><Sede><Indirizzo>Via Verdi</Indirizzo><NumeroCivico>%4</NumeroCivico><CAP>20100</CAP>"
                          "<Comune>Milano</Comune><Provincia>MI</Provincia><Nazione>IT</Nazione></Sede></%1>")
        .arg(QLatin1String(role), vat, name).arg(vat.right(2));
}

// Invoice n: issued when n is even, to or from counterparty n (in the registry when n < half).
QByteArray invoice(int n, int files)
{
    const int counterparty = n < files / 2 ? n % kCounterparties + 1 : kCounterparties + n;
    const QString other = vatOf(counterparty);
    const QString name = QStringLiteral("Ditta %1 srl").arg(counterparty);
    const bool issued = n % 2 == 0;
    QString rates = QStringLiteral("<DettaglioPagamento><ModalitaPagamento>MP05</ModalitaPagamento>"
                                   "<DataScadenzaPagamento>2024-05-31</DataScadenzaPagamento>"
                                   "<ImportoPagamento>61.00</ImportoPagamento></DettaglioPagamento>");
    if (n % 3 == 0)
        rates += QStringLiteral("<DettaglioPagamento><ModalitaPagamento>MP12</ModalitaPagamento>"
                                "<DataRiferimentoTerminiPagamento>2024-03-31</DataRiferimentoTerminiPagamento>"
                                "<GiorniTerminiPagamento>60</GiorniTerminiPagamento>"
                                "<ImportoPagamento>61.00</ImportoPagamento></DettaglioPagamento>");
    const QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><p:FatturaElettronica versione=\"FPR12\" "
        "xmlns:p=\"http://ivaservizi.agenziaentrate.gov.it/docs/xsd/fatture/v1.2\"><FatturaElettronicaHeader>"
        "<DatiTrasmissione><IdTrasmittente><IdPaese>IT</IdPaese><IdCodice>%1</IdCodice></IdTrasmittente>"
        "<ProgressivoInvio>%2</ProgressivoInvio><FormatoTrasmissione>FPR12</FormatoTrasmissione>"
        "<CodiceDestinatario>0000000</CodiceDestinatario></DatiTrasmissione>%3%4</FatturaElettronicaHeader>"
        "<FatturaElettronicaBody><DatiGenerali><DatiGeneraliDocumento><TipoDocumento>TD01</TipoDocumento>"
        "<Divisa>EUR</Divisa><Data>2024-03-15</Data><Numero>%2/2024</Numero>"
        "<ImportoTotaleDocumento>122.00</ImportoTotaleDocumento></DatiGeneraliDocumento></DatiGenerali>"
        "<DatiBeniServizi><DettaglioLinee><NumeroLinea>1</NumeroLinea><Descrizione>Consulenza</Descrizione>"
        "<PrezzoUnitario>100.00</PrezzoUnitario><PrezzoTotale>100.00</PrezzoTotale><AliquotaIVA>22.00</AliquotaIVA>"
        "</DettaglioLinee><DatiRiepilogo><AliquotaIVA>22.00</AliquotaIVA><ImponibileImporto>100.00</ImponibileImporto>"
        "<Imposta>22.00</Imposta></DatiRiepilogo></DatiBeniServizi><DatiPagamento><CondizioniPagamento>TP01"
        "</CondizioniPagamento>%5</DatiPagamento></FatturaElettronicaBody></p:FatturaElettronica>")
        .arg(kOffice).arg(n + 1)
        .arg(issued ? party("CedentePrestatore", kOffice, "Studio") : party("CedentePrestatore", other, name),
             issued ? party("CessionarioCommittente", other, name) : party("CessionarioCommittente", kOffice, "Studio"),
             rates);
    return xml.toUtf8();
}

void fillRegistry(store::Worksheet &sheet)
{
    namespace layout = records::layout;
    for (int c = 1; c <= layout::anagrafe().columnCount(); ++c)
        sheet.cells(1, c).setValue(store::Variant::fromText(layout::anagrafe().titles.at(c - 1)));
    for (int n = 1; n <= kCounterparties; ++n) {
        sheet.cells(n + 1, 1).setValue(double(n));
        sheet.cells(n + 1, 2).setValue(store::Variant::fromText(n % 2 ? QStringLiteral("C") : QStringLiteral("F")));
        sheet.cells(n + 1, 3).setValue(store::Variant::fromText(QStringLiteral("DITTA %1 SRL").arg(n)));
        sheet.cells(n + 1, 14).setValue(store::Variant::fromText(vatOf(n)));
    }
    sheet.cells(1, 256).setValue(double(kCounterparties + 1));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::CommandLine args(app.arguments().mid(1), 1, 5000, 1000);
    if (!args.ok())
        return 2;
    const int files = args.rows();
    const QString folder = QDir(args.folder()).filePath(QStringLiteral("fatture"));
    QDir().mkpath(folder);

    std::printf("Contavio import benchmark: %d invoice files into %d counterparties and %d records a ledger\n",
                files, kCounterparties, kLedgerRecords);
    store::Workbook book;
    kTable.timed("build the full workbook", [&] {
        namespace layout = records::layout;
        book.sheet(1).setName(layout::anagrafe().name);
        fillRegistry(book.sheet(1));
        bench::fillLedger(book.appendSheet(layout::incassi().name), layout::incassi(), kLedgerRecords, kCounterparties);
        bench::fillLedger(book.appendSheet(layout::pagamenti().name), layout::pagamenti(), kLedgerRecords, kCounterparties);
    });
    kTable.timed("write the invoice files", [&] {
        for (int n = 0; n < files; ++n) {
            QFile f(QDir(folder).filePath(QStringLiteral("IT%1_%2.xml").arg(kOffice).arg(n + 1, 5, 10, QLatin1Char('0'))));
            f.open(QIODevice::WriteOnly);
            f.write(invoice(n, files));
        }
    });

    const einvoice::Identity office{kOffice, {}};
    einvoice::Plan plan;
    einvoice::Applied applied;
    const double planSeconds = kTable.timed("read and plan (preview)", [&] { plan = einvoice::plan(book, office, {folder}); });
    const double applySeconds = kTable.timed("write rows and counterparties", [&] { applied = einvoice::apply(book, plan); });
    if (!applied.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(applied.error));
        return 1;
    }
    const double saveSeconds = kTable.timed("save the workbook", [&] { book.saveAs(args.workbookPath()); });
    kTable.value("import, preview to saved file", planSeconds + applySeconds + saveSeconds, "s");
    kTable.value("invoices imported", applied.invoices, "");
    kTable.value("rows written", applied.rowsIncassi + applied.rowsPagamenti, "");
    kTable.value("new counterparties", applied.newCounterparties, "");
    einvoice::Plan again;
    kTable.timed("the same folder again (adds nothing)", [&] { again = einvoice::plan(book, office, {folder}); });
    kTable.value("invoices planned the second time", double(again.invoices.size()), "");
    kTable.value("peak memory", bench::peakMegabytes(), "MB");
    return again.invoices.empty() ? 0 : 1;
}
