#include "starterbook.h"

#include "records/layout.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

namespace testworld {

void shapeStarterBook(store::Workbook &book)
{
    const auto &layouts = records::layout::dataSheets();
    for (size_t i = 0; i < layouts.size(); ++i) {
        const records::layout::SheetLayout &layout = *layouts[i];
        if (i == 0)
            book.sheet(1).setName(layout.name);
        else
            book.appendSheet(layout.name);
        store::Worksheet &sheet = book.sheet(layout.name);
        records::layout::writeTitleRow(sheet, layout);
        for (const QString &column : layout.textColumns)
            sheet.range(column + QLatin1Char(':') + column).setNumberFormat(QStringLiteral("@"));
    }
}

std::unique_ptr<store::Workbook> bareBook(const QStringList &sheets)
{
    auto book = std::make_unique<store::Workbook>();
    book->sheet(1).setName(sheets.value(0, QStringLiteral("Foglio1")));
    for (int i = 1; i < sheets.size(); ++i)
        book->appendSheet(sheets.at(i));
    book->protection.password = kPassword;
    return book;
}

void writeLedgerRecord(store::Worksheet &sheet, int row, const LedgerRecord &record)
{
    using store::Variant;
    const auto text = [&](int column, const QString &value) {
        if (!value.isEmpty())
            sheet.cells(row, column).setValue(Variant::fromText(value));
    };
    const auto date = [&](int column, const QDate &value) {
        if (value.isValid())
            sheet.cells(row, column).setValue(Variant::fromDate(store::dateToSerial(value)));
    };
    sheet.cells(row, 1).setValue(record.id);
    sheet.cells(row, 2).setValue(record.counterpartyId);
    text(3, record.counterparty);
    text(4, record.invoice);
    date(5, record.invoiceDate);
    date(6, record.due);
    text(7, QStringLiteral("NO"));
    sheet.cells(row, 8).setValue(record.amount);
    text(11, QStringLiteral("NO"));
    text(15, QStringLiteral("NO"));
    text(19, record.note);
}

void writeCounterparty(store::Worksheet &sheet, int row, double id, const QString &kind,
                       const QString &name)
{
    sheet.cells(row, 1).setValue(id);
    sheet.cells(row, 2).setValue(store::Variant::fromText(kind));
    sheet.cells(row, 3).setValue(store::Variant::fromText(name));
}

QList<double> idsOf(store::Worksheet &sheet)
{
    QList<double> out;
    for (int row = 2; !sheet.valueAt(row, 1).isEmpty(); ++row)
        out.append(sheet.valueAt(row, 1).number);
    return out;
}

QStringList rowTexts(store::Worksheet &sheet, int row, int columns)
{
    QStringList texts;
    for (int c = 1; c <= columns; ++c)
        texts << sheet.textAt(row, c);
    return texts;
}

QStringList sheetNames(store::Workbook &book)
{
    QStringList names;
    for (int i = 1; i <= book.sheetCount(); ++i)
        names << book.sheet(i).name();
    return names;
}

QStringList workbookTexts(store::Workbook &book)
{
    QStringList out;
    for (int index = 1; index <= book.sheetCount(); ++index) {
        store::Worksheet &sheet = book.sheet(index);
        out << sheet.name();
        const int rows = sheet.lastRow(), columns = sheet.lastColumn();
        for (int row = 1; row <= rows; ++row)
            for (int column = 1; column <= columns; ++column)
                if (const QString text = sheet.textAt(row, column); !text.isEmpty())
                    out << QStringLiteral("%1,%2=%3").arg(row).arg(column).arg(text);
    }
    return out;
}

} // namespace testworld
