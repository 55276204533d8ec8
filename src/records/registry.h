#pragma once

// The counterparty sheet "Anagrafe": one row per customer or supplier from row 2 down, the
// progressive number in column A, the type letter in B ("C" customer, "F" supplier), the
// name and the other fields in C..Q, and the number the next counterparty will receive in
// the counter cell IV1.
//
// Every method goes straight to the cells; nothing is cached. Engine failures surface as
// store::StoreError, except inside insert and change, whose failing writes are passed over
// one by one as the registry form has always done.

#include "records/field.h"
#include "records/layout.h"

#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace store { class Worksheet; class Workbook; }

namespace records {

// One counterparty as stored: the sheet row it was read from and columns A..Q.
struct Counterparty {
    static constexpr int kColumns = 17;

    int row = 0;
    std::array<Field, kColumns> fields;

    const Field &operator[](int column) const { return fields[size_t(column - 1)]; }
    Field &operator[](int column) { return fields[size_t(column - 1)]; }

    const Field &number() const { return fields[0]; }
    const Field &type() const { return fields[1]; }
    const Field &name() const { return fields[2]; }
    bool isCustomer() const { return type().text() == QLatin1String("C"); }
    bool isSupplier() const { return type().text() == QLatin1String("F"); }
};

// A counterparty as a form or an import hands it over: each column's text as typed, A the
// number, B the type letter.
struct CounterpartyEntry {
    std::array<QString, Counterparty::kColumns> texts;

    const QString &operator[](int column) const { return texts[size_t(column - 1)]; }
    QString &operator[](int column) { return texts[size_t(column - 1)]; }
};

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

class Registry {
public:
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
        ColTaxCode = 13,    // M  codice fiscale
        ColVat = 14,        // N  partita IVA
        ColIban = 15,       // O
        ColContact = 16,    // P
        ColNotes = 17,      // Q
    };

    static const QString &sheetName() { return layout::anagrafe().name; }

    explicit Registry(store::Worksheet &sheet) : m_sheet(sheet) {}
    // The sheet "Anagrafe" of the workbook; throws StoreError(NotFound) when it is missing.
    static Registry of(store::Workbook &book);

    store::Worksheet &worksheet() const { return m_sheet; }
    // Makes "Anagrafe" the workbook's active sheet, as the lists do when they are filled.
    void select() const;

    // ---- The counter cell IV1: the number the next counterparty receives.
    store::Variant counter() const;
    QString counterText() const;
    bool counterEmpty() const;
    void setCounter(double number) const;
    void setCounterTyped(const QString &typed) const;   // converted as typed ("100" is a number)
    // Writes 1 into an empty counter; true when it did.
    bool ensureCounter() const;
    // The number the next counterparty receives: the counter's, passed on while a
    // counterparty carries it; nullopt when the counter is no progressive number.
    std::optional<double> proposedNumber() const;

    // ---- Reading.
    // The names of the rows whose column B holds `typeLetter`, in sheet order, walking
    // column C down from C2 and stopping at the first empty name.
    std::vector<Entry> entries(const QString &typeLetter) const;
    // The same walk, whole records.
    std::vector<Counterparty> list(const QString &typeLetter) const;
    Counterparty read(int row) const;

    // The first row from A2 down to the end jump from A2 whose column A holds `number`.
    // Empty cells are nobody's number and never match.
    std::optional<int> findNumber(double number) const;
    std::optional<Counterparty> find(double number) const;
    // The first counterparty (walking the names from C2) whose partita IVA, or whose codice
    // fiscale when it is all digits (a company's), has the digits of `vatNumber` ("IT",
    // blanks and leading zeros, which a cell holding the code as a number has lost, do not
    // count). nullopt for a code without digits.
    std::optional<Counterparty> findByVatNumber(const QString &vatNumber) const;
    // The first counterparty whose codice fiscale is `taxCode`, letters and digits compared
    // without regard to case and blanks.
    std::optional<Counterparty> findByTaxCode(const QString &taxCode) const;

    // Column A of `row` as it is stored, and whether it still holds `id` (two empty cells
    // count as the same).
    store::Variant idAt(int row) const;
    bool carries(int row, const store::Variant &id) const;

    // A cell as the form shows it: the value turned into text by the Italian conventions
    // (dates dd/MM/yyyy, decimal comma). nullopt when the cell holds an error value, which
    // has no text to show.
    std::optional<QString> cellText(int row, int column) const;

    // ---- Writing.
    // The first row, counting from row 1, whose column A is empty; nullopt when every row of
    // the sheet is taken.
    std::optional<int> freeRow() const;

    // Writes a field's text into a cell, converted as typed; the postal code column is
    // always stored as text so that leading zeros survive.
    void writeField(int row, int column, const QString &text) const;
    // Writes B, then A when `withNumber`, then C..Q in column order; a write that fails is
    // passed over and the next one made.
    void writeCounterparty(int row, const CounterpartyEntry &entry, bool withNumber) const;

    enum class Inserted { Done, CounterNotWhole, SheetFull };
    struct InsertResult {
        Inserted outcome = Inserted::Done;
        QString number;   // the counter's text the new row was numbered with
        int row = 0;
    };
    // A new counterparty as "Inserisci" adds it: an empty counter becomes 1; a counter that
    // is no whole number refuses; the row is the first free one; column A takes the
    // proposed number (the entry's column A is not used); then the counter moves on past it.
    // Nothing is written when it refuses.
    InsertResult insert(const CounterpartyEntry &entry) const;
    // Rewrites B..Q of `row` from the entry; column A keeps its number.
    void change(int row, const CounterpartyEntry &entry) const;
    // Deletes the whole row; the rows below move up one.
    void deleteRow(int row) const;

private:
    template <typename Match>
    std::optional<Counterparty> findFirst(Match match) const;

    store::Worksheet &m_sheet;
};

} // namespace records
