#pragma once

// The due views' test world: the form world on 12/05/2009 with cells written as a user or
// another program may leave them ("n:12,5" a number, "d:01/05/2009" a date value,
// "t:..." a text, "" nothing), and the text of a PDF read back with pdftotext.

#include "support/formworld.h"

#include "store/model/italian.h"

#include <QProcess>

namespace dueworld {

inline store::Variant cell(const QString &code)
{
    const QString rest = code.mid(2);
    if (code.startsWith(QLatin1String("n:")))
        return store::Variant::fromNumber(rest.toDouble());
    if (code.startsWith(QLatin1String("d:")))
        return store::Variant::fromDate(store::dateToSerial(QDate::fromString(rest, QStringLiteral("dd/MM/yyyy"))));
    if (code.startsWith(QLatin1String("t:")))
        return store::Variant::fromText(rest);
    return store::Variant();
}

// Record `id` on `row`: B number, C name, D invoice, F due, G, H, K, L, O, E as specs.
struct Cells {
    QString number, name, invoice, due, g = QStringLiteral("t:NO"), h, k = QStringLiteral("t:NO"), l,
        o = QStringLiteral("t:NO"), date = QStringLiteral("d:10/01/2009");
};

inline void writeRecord(store::Worksheet &sheet, int row, double id, const Cells &c)
{
    sheet.cells(row, 1).setValue(id);
    const std::pair<int, QString> cells[] = {{2, c.number}, {3, c.name}, {4, c.invoice}, {6, c.due}, {7, c.g},
                                             {8, c.h}, {11, c.k}, {12, c.l}, {15, c.o}, {5, c.date}};
    for (const auto &[column, code] : cells)
        if (!code.isEmpty())
            sheet.cells(row, column).setValue(cell(code));
}

// The text of a PDF, "" when pdftotext cannot read it.
inline QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000))
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace dueworld
