#include "layout.h"

#include "store/model/value.h"
#include "store/model/workbook.h"

namespace records::layout {

namespace {

QStringList ledgerTitles(const QString &counterpartyId, const QString &counterparty,
                         const QString &settled)
{
    return {QStringLiteral("ID"),      counterpartyId,           counterparty,
            QStringLiteral("Fattura"), QStringLiteral("Data"),    QStringLiteral("Scadenza"),
            settled,                   QStringLiteral("Importo"), QStringLiteral("Data"),
            QStringLiteral("R/Con"),   QStringLiteral("Acconto"), QStringLiteral("Importo"),
            QStringLiteral("Data"),    QStringLiteral("A/Con"),   QStringLiteral("Saldato"),
            QStringLiteral("Importo"), QStringLiteral("Data"),    QStringLiteral("S/Con"),
            QStringLiteral("Nota")};
}

} // namespace

QString SheetLayout::lastColumn() const
{
    return store::columnLetters(columnCount());
}

const SheetLayout &anagrafe()
{
    static const SheetLayout layout{
        QStringLiteral("Anagrafe"),
        {QStringLiteral("ID"), QStringLiteral("C/F"), QStringLiteral("Ragione Sociale/Cognome Nome"),
         QStringLiteral("Data"), QStringLiteral("Indirizzo"), QStringLiteral("CAP"),
         QStringLiteral("Località"), QStringLiteral("PR"), QStringLiteral("Telefono"),
         QStringLiteral("Fax"), QStringLiteral("Cellulare"), QStringLiteral("Email"),
         QStringLiteral("Codice Fiscale"), QStringLiteral("Partita IVA"), QStringLiteral("IBAN"),
         QStringLiteral("Referente/Rappresentante"), QStringLiteral("Annotazioni")},
        // Codes and numbers to keep as typed; the postal code (F) too: "00184" keeps its zeros.
        {QStringLiteral("J"), QStringLiteral("K"), QStringLiteral("I"), QStringLiteral("O"),
         QStringLiteral("R"), QStringLiteral("M"), QStringLiteral("N"), QStringLiteral("P"),
         QStringLiteral("F")},
    };
    return layout;
}

const SheetLayout &incassi()
{
    static const SheetLayout layout{
        QStringLiteral("Incassi"),
        ledgerTitles(QStringLiteral("ID Cliente"), QStringLiteral("Cliente"), QStringLiteral("Riscosso")),
        {},
    };
    return layout;
}

const SheetLayout &pagamenti()
{
    static const SheetLayout layout{
        QStringLiteral("Pagamenti"),
        ledgerTitles(QStringLiteral("ID Fornitore"), QStringLiteral("Fornitore"), QStringLiteral("Pagato")),
        {},
    };
    return layout;
}

const std::vector<const SheetLayout *> &dataSheets()
{
    static const std::vector<const SheetLayout *> sheets{&anagrafe(), &incassi(), &pagamenti()};
    return sheets;
}

const SheetLayout *findLayout(const QString &sheetName)
{
    for (const SheetLayout *layout : dataSheets())
        if (layout->name == sheetName)
            return layout;
    return nullptr;
}

bool hasRecords(const store::Worksheet &sheet)
{
    return !sheet.valueAt(kFirstRecordRow, 1).isBlank();
}

void ensureSheet(store::Workbook &book, const QString &name)
{
    if (book.findSheet(name))
        return;
    store::Worksheet &added = book.addSheetAfter(book.sheet(book.sheetCount()));
    added.setName(name);
}

store::Worksheet &writeTitles(store::Workbook &book, const SheetLayout &layout)
{
    store::Worksheet &sheet = book.sheet(layout.name);
    sheet.select();
    writeTitleRow(sheet, layout);
    return sheet;
}

void formatTextColumns(store::Worksheet &sheet, const SheetLayout &layout)
{
    for (const QString &column : layout.textColumns) {
        sheet.range(column + QLatin1Char(':') + column).select();
        sheet.selection().setNumberFormat(QStringLiteral("@"));
    }
    sheet.range(QStringLiteral("A2")).select();
}

void writeTitleRow(store::Worksheet &sheet, const SheetLayout &layout)
{
    sheet.range(QStringLiteral("2:2")).select();
    sheet.freezePanes();
    for (int column = 1; column <= layout.columnCount(); ++column)
        sheet.cells(kTitleRow, column).setValue(store::Variant::fromText(layout.titles.at(column - 1)));
}

} // namespace records::layout
