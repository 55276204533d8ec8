#include "records/office.h"

#include "records/layout.h"
#include "store/model/workbook.h"

#include <array>

namespace records {

namespace {

struct Field {
    const char *label;
    QString Office::*member;
};

// The rows of "Studio", in the order a new sheet shows them.
const std::array<Field, 10> &fields()
{
    static const std::array<Field, 10> list{{
        {"Ragione sociale", &Office::name},
        {"Partita IVA", &Office::vat},
        {"Codice fiscale", &Office::taxCode},
        {"Indirizzo", &Office::address},
        {"CAP", &Office::postCode},
        {"Città", &Office::town},
        {"Provincia", &Office::province},
        {"Telefono", &Office::phone},
        {"E-mail", &Office::email},
        {"IBAN", &Office::iban},
    }};
    return list;
}

const QString kTitle = QStringLiteral("Dati dello studio");

// The row of a label in column A, 0 when absent.
int rowOf(const store::Worksheet &sheet, const QString &label)
{
    const int last = sheet.lastRow();
    for (int row = 1; row <= last; ++row)
        if (sheet.textAt(row, 1).trimmed().compare(label, Qt::CaseInsensitive) == 0)
            return row;
    return 0;
}

QString cellText(const store::Worksheet &sheet, int row)
{
    const store::Variant v = sheet.valueAt(row, 2);
    switch (v.type) {
    case store::Variant::Type::Text:
        return v.text.trimmed();
    case store::Variant::Type::Number:
        // A partita IVA or CAP typed into a general cell became a number: its digits.
        return QString::number(v.number, 'f', 0);
    case store::Variant::Type::Empty:
        return {};
    default:
        return sheet.textAt(row, 2).trimmed();
    }
}

store::Worksheet &addOfficeSheet(store::Workbook &book)
{
    store::Worksheet *after = nullptr;
    for (const records::layout::SheetLayout *layout : records::layout::dataSheets())
        if (store::Worksheet *s = book.findSheet(layout->name))
            if (!after || book.indexOf(*s) > book.indexOf(*after))
                after = s;
    if (!after)
        after = &book.sheet(book.sheetCount());
    store::Worksheet &active = book.activeSheet();
    store::Worksheet &sheet = book.addSheetAfter(*after);
    sheet.setName(kOfficeSheet);
    book.setActiveSheet(active);
    sheet.cells(1, 1).setValue(store::Variant::fromText(kTitle));
    sheet.setColumnWidth(1, 18);
    sheet.setColumnWidth(2, 40);
    return sheet;
}

} // namespace

bool Office::isEmpty() const
{
    for (const Field &f : fields())
        if (!(this->*f.member).trimmed().isEmpty())
            return false;
    return true;
}

Office readOffice(const store::Workbook &book)
{
    Office office;
    // findSheet only looks; the workbook's interface has no const overload.
    const store::Worksheet *sheet = const_cast<store::Workbook &>(book).findSheet(kOfficeSheet);
    if (!sheet)
        return office;
    for (const Field &f : fields())
        if (const int row = rowOf(*sheet, QString::fromUtf8(f.label)))
            office.*f.member = cellText(*sheet, row);
    return office;
}

void writeOffice(store::Workbook &book, const Office &office)
{
    store::Worksheet *found = book.findSheet(kOfficeSheet);
    store::Worksheet &sheet = found ? *found : addOfficeSheet(book);
    int next = std::max(sheet.lastRow(), 1) + 1;
    for (const Field &f : fields()) {
        const QString label = QString::fromUtf8(f.label);
        int row = rowOf(sheet, label);
        if (!row) {
            row = next++;
            sheet.cells(row, 1).setValue(store::Variant::fromText(label));
        }
        const QString value = (office.*f.member).trimmed();
        if (value.isEmpty())
            sheet.cells(row, 2).clearContents();
        else
            sheet.cells(row, 2).setValue(store::Variant::fromText(value));
    }
}

} // namespace records
