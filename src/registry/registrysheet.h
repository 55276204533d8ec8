#pragma once

// The counterparty sheet "Anagrafe" as the registry form uses it: one row per customer or
// supplier from row 2 down, the progressive number in column A, the type letter in B, the
// fields in C..Q, and the next progressive number in the counter cell IV1.
//
// Every method goes straight to the cells; nothing is cached. Engine failures surface as
// store::StoreError so that the form decides whether a step is skipped or reported.

#include "store/model/value.h"

#include <QString>
#include <optional>
#include <vector>

namespace store { class Worksheet; class Workbook; }

namespace registry {

inline const QString kSheetName = QStringLiteral("Anagrafe");

// Columns of a counterparty row (1-based, A = 1).
enum Column : int {
    ColId = 1,          // A  progressive number
    ColType = 2,        // B  "C" customer, "F" supplier
    ColName = 3,        // C  company name, or surname and name
    ColDate = 4,        // D
    ColAddress = 5,     // E
    ColPostCode = 6,    // F  postal code, kept as text ("00184")
    ColTown = 7,        // G
    ColProvince = 8,    // H
    ColPhone = 9,       // I
    ColFax = 10,        // J
    ColMobile = 11,     // K
    ColEmail = 12,      // L
    ColTaxCode = 13,    // M
    ColVat = 14,        // N
    ColIban = 15,       // O
    ColContact = 16,    // P
    ColNotes = 17,      // Q
};

constexpr int kCounterRow = 1;
constexpr int kCounterColumn = 256;   // IV

// One entry of a selection list: the name and the sheet row it was read from.
struct Entry {
    QString name;
    int row = 0;
};

// The progressive number a value stands for: a whole number from 1 to 999,999,999, stored
// as a number or as a text that reads as one ("12", "1.000"). Dates, fractions, other texts
// and the empty value stand for none.
std::optional<double> progressiveIn(const store::Variant &value);
// The same for a number as the user typed it, read once by the conversion a cell applies.
std::optional<double> typedProgressive(const QString &typed);

class RegistrySheet {
public:
    explicit RegistrySheet(store::Worksheet &sheet) : m_sheet(sheet) {}
    // The sheet "Anagrafe" of the workbook; throws StoreError(NotFound) when it is missing.
    static RegistrySheet of(store::Workbook &book);

    store::Worksheet &worksheet() const { return m_sheet; }

    // The counter cell IV1.
    store::Variant counter() const;
    QString counterText() const;
    bool counterEmpty() const;
    void setCounter(double number) const;
    void setCounterTyped(const QString &typed) const;   // converted as typed ("100" is a number)

    // The names of the rows whose column B holds `typeLetter`, in sheet order, walking
    // column C down from C2 and stopping at the first empty name.
    std::vector<Entry> entries(const QString &typeLetter) const;

    // The first row, counting from row 1, whose column A is empty; nullopt when every row of
    // the sheet is taken.
    std::optional<int> freeRow() const;

    // The first row from A2 down to the end jump from A2 whose column A holds `number`.
    // Empty cells are nobody's number and never match.
    std::optional<int> findNumber(double number) const;

    void deleteRow(int row) const;

    // Column A of `row` as it is stored, and whether it still holds `id` (two empty cells
    // count as the same).
    store::Variant idAt(int row) const;
    bool carries(int row, const store::Variant &id) const;

    // A cell as the form shows it: the value turned into text by the Italian conventions
    // (dates dd/MM/yyyy, decimal comma). nullopt when the cell holds an error value, which
    // has no text to show.
    std::optional<QString> cellText(int row, int column) const;

    // Writes a field's text into a cell, converted as typed; the postal code column is
    // always stored as text so that leading zeros survive.
    void writeField(int row, int column, const QString &text) const;

private:
    store::Worksheet &m_sheet;
};

} // namespace registry
