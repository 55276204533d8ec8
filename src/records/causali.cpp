#include "records/causali.h"

#include "records/office.h"
#include "records/layout.h"
#include "store/model/workbook.h"

namespace records {

const QStringList &defaultCausali()
{
    static const QStringList names = {QStringLiteral("Bonifico"), QStringLiteral("Ri.Ba."), QStringLiteral("Contanti"),
                                      QStringLiteral("Assegno"), QStringLiteral("SDD"), QStringLiteral("Carta")};
    return names;
}

QStringList readCausali(const store::Workbook &book)
{
    // findSheet only looks; the workbook's interface has no const overload.
    const store::Worksheet *sheet = const_cast<store::Workbook &>(book).findSheet(kCausaliSheet);
    if (!sheet)
        return defaultCausali();
    QStringList names;
    for (int row = 2; row <= store::kMaxRows; ++row) {
        const QString name = sheet->textAt(row, 1).trimmed();
        if (name.isEmpty())
            break;
        names << name;
    }
    return names;
}

void writeCausali(store::Workbook &book, const QStringList &names)
{
    QStringList kept;
    for (const QString &name : names)
        if (!name.trimmed().isEmpty() && !kept.contains(name.trimmed(), Qt::CaseInsensitive))
            kept << name.trimmed();
    store::Worksheet *sheet = book.findSheet(kCausaliSheet);
    if (!sheet) {
        store::Worksheet *after = book.findSheet(kOfficeSheet);
        for (const records::layout::SheetLayout *layout : records::layout::dataSheets())
            if (store::Worksheet *s = book.findSheet(layout->name))
                if (!after || book.indexOf(*s) > book.indexOf(*after))
                    after = s;
        store::Worksheet &active = book.activeSheet();
        sheet = &book.addSheetAfter(after ? *after : book.sheet(book.sheetCount()));
        sheet->setName(kCausaliSheet);
        book.setActiveSheet(active);
        sheet->cells(1, 1).setValue(store::Variant::fromText(QStringLiteral("Causale")));
        sheet->setColumnWidth(1, 30);
    }
    const int oldLast = sheet->lastRow();
    for (int i = 0; i < kept.size(); ++i)
        sheet->cells(i + 2, 1).setValue(store::Variant::fromText(kept[i]));
    for (int row = int(kept.size()) + 2; row <= oldLast; ++row)
        sheet->cells(row, 1).clearContents();
}

} // namespace records
