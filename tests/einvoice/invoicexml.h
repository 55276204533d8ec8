#pragma once

// Small FatturaPA files built the way the schema lays them out, for the import's tests.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testinvoice {

inline const QString kOffice = QStringLiteral("01234567890");   // the office's partita IVA

struct Draft {
    QString sellerVat = QStringLiteral("09876543210");
    QString sellerName = QStringLiteral("Fornitore Alfa Srl");
    QString buyerVat = kOffice;
    QString buyerCf;
    QString buyerName = QStringLiteral("Studio Beta");
    QString type = QStringLiteral("TD01");
    QString number = QStringLiteral("FA/1");
    QString date = QStringLiteral("2024-03-15");
    QString total = QStringLiteral("122.00");
    QStringList details;   // DettaglioPagamento bodies (inner XML); empty: no DatiPagamento
    QString prefix = QStringLiteral("p");   // namespace prefix of the root, empty for none
    int bodies = 1;
};

inline QString party(const char *role, const QString &vat, const QString &cf, const QString &name)
{
    QString ids = vat.isEmpty() ? QString()
                                : QStringLiteral("<IdFiscaleIVA><IdPaese>IT</IdPaese><IdCodice>%1</IdCodice></IdFiscaleIVA>").arg(vat);
    if (!cf.isEmpty())
        ids += QStringLiteral("<CodiceFiscale>%1</CodiceFiscale>").arg(cf);
    return QStringLiteral("<%1><DatiAnagrafici>%2<Anagrafica><Denominazione>%3</Denominazione></Anagrafica>"
                          "<RegimeFiscale>RF01</RegimeFiscale></DatiAnagrafici><Sede><Indirizzo>Via Roma</Indirizzo>"
                          "<NumeroCivico>5</NumeroCivico><CAP>00184</CAP><Comune>Roma</Comune><Provincia>rm</Provincia>"
                          "<Nazione>IT</Nazione></Sede><Contatti><Telefono>06123456</Telefono><Email>a@b.it</Email>"
                          "</Contatti></%1>")
        .arg(QLatin1String(role), ids, name);
}

// A DettaglioPagamento: means, amount and the date elements given (empty ones left out).
inline QString detail(const QString &mp, const QString &amount, const QString &due = {},
                      const QString &from = {}, const QString &days = {}, const QString &iban = {})
{
    QString x = QStringLiteral("<ModalitaPagamento>%1</ModalitaPagamento>").arg(mp);
    if (!from.isEmpty())
        x += QStringLiteral("<DataRiferimentoTerminiPagamento>%1</DataRiferimentoTerminiPagamento>").arg(from);
    if (!days.isEmpty())
        x += QStringLiteral("<GiorniTerminiPagamento>%1</GiorniTerminiPagamento>").arg(days);
    if (!due.isEmpty())
        x += QStringLiteral("<DataScadenzaPagamento>%1</DataScadenzaPagamento>").arg(due);
    x += QStringLiteral("<ImportoPagamento>%1</ImportoPagamento>").arg(amount);
    if (!iban.isEmpty())
        x += QStringLiteral("<IBAN>%1</IBAN>").arg(iban);
    return x;
}

inline QString xml(const Draft &s)
{
    const QString root = s.prefix.isEmpty() ? QStringLiteral("FatturaElettronica") : s.prefix + QStringLiteral(":FatturaElettronica");
    const QString ns = s.prefix.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + s.prefix;
    QString body;
    for (int b = 0; b < s.bodies; ++b) {
        QString payments;
        if (!s.details.isEmpty()) {
            payments = QStringLiteral("<DatiPagamento><CondizioniPagamento>TP0%1</CondizioniPagamento>").arg(s.details.size() > 1 ? 1 : 2);
            for (const QString &d : s.details)
                payments += QStringLiteral("<DettaglioPagamento>%1</DettaglioPagamento>").arg(d);
            payments += QStringLiteral("</DatiPagamento>");
        }
        body += QStringLiteral("<FatturaElettronicaBody><DatiGenerali><DatiGeneraliDocumento><TipoDocumento>%1</TipoDocumento>"
                               "<Divisa>EUR</Divisa><Data>%2</Data><Numero>%3%4</Numero>%5</DatiGeneraliDocumento></DatiGenerali>"
                               "<DatiBeniServizi><DettaglioLinee><NumeroLinea>1</NumeroLinea><Descrizione>x</Descrizione>"
                               "<PrezzoUnitario>100.00</PrezzoUnitario><PrezzoTotale>100.00</PrezzoTotale><AliquotaIVA>22.00</AliquotaIVA>"
                               "</DettaglioLinee><DatiRiepilogo><AliquotaIVA>22.00</AliquotaIVA><ImponibileImporto>100.00</ImponibileImporto>"
                               "<Imposta>22.00</Imposta></DatiRiepilogo></DatiBeniServizi>%6</FatturaElettronicaBody>")
                    .arg(s.type, s.date, s.number, b ? QStringLiteral("-%1").arg(b + 1) : QString(),
                         s.total.isEmpty() ? QString() : QStringLiteral("<ImportoTotaleDocumento>%1</ImportoTotaleDocumento>").arg(s.total),
                         payments);
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<%1 versione=\"FPR12\" %2=\"http://ivaservizi.agenziaentrate.gov.it/docs/xsd/fatture/v1.2\">"
                          "<FatturaElettronicaHeader><DatiTrasmissione><IdTrasmittente><IdPaese>IT</IdPaese><IdCodice>%3</IdCodice>"
                          "</IdTrasmittente><ProgressivoInvio>1</ProgressivoInvio><FormatoTrasmissione>FPR12</FormatoTrasmissione>"
                          "<CodiceDestinatario>0000000</CodiceDestinatario></DatiTrasmissione>%4%5</FatturaElettronicaHeader>%6</%1>")
        .arg(root, ns, s.sellerVat, party("CedentePrestatore", s.sellerVat, {}, s.sellerName),
             party("CessionarioCommittente", s.buyerVat, s.buyerCf, s.buyerName), body);
}

inline QByteArray bytes(const Draft &s) { return xml(s).toUtf8(); }

} // namespace testinvoice
