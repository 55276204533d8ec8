#pragma once

// The office's own data, kept in the sheet "Studio" of the workbook: one labelled row per
// field (label in column A, value in column B as text), so that a spreadsheet program shows
// it plainly. The import of electronic invoices needs the partita IVA or codice fiscale; the
// letterheads use the rest.

#include <QString>

namespace store {
class Workbook;
}

namespace records {

inline const QString kOfficeSheet = QStringLiteral("Studio");

struct Office {
    QString name, vat, taxCode, address, postCode, town, province, phone, email, iban;

    bool isEmpty() const;
    bool operator==(const Office &) const = default;
};

// The office as the sheet "Studio" holds it; empty when the sheet is missing. Rows are
// found by their label, wherever they stand; a value typed as a number reads as its digits.
Office readOffice(const store::Workbook &book);

// Writes every field into "Studio", adding the sheet after the data sheets when it is
// missing (the active sheet stays the active one). Rows whose label is known are rewritten
// in place; the others are left as they are.
void writeOffice(store::Workbook &book, const Office &office);

} // namespace records
