#pragma once

// The ledger sheets "Incassi" and "Pagamenti": one row per invoice from row 2 down to the
// first empty cell of column A, columns A..S, and the last record number used in the
// counter cell IV1. One class serves both: they differ only in their titles.
//
// A record keeps every cell as it is stored (records written by the forms hold dates as
// date values or texts, amounts as numbers or texts; other programs leave what they like),
// and reads them as dates, amounts, flags and numbers on demand (field.h). Every method
// goes straight to the cells; nothing is cached. Engine failures surface as
// store::StoreError, except inside insertAt, whose failing writes are passed over one by
// one as the entry forms have always done.

#include "records/field.h"
#include "records/layout.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace store { class Worksheet; class Workbook; }

namespace records {

// The three settlement groups of a record, each a flag, an amount, a date and a means:
// collected (paid) G..J, advance K..N, settled O..R.
enum class Group { Collected, Advance, Settled };
inline constexpr std::array<Group, 3> kGroups{Group::Collected, Group::Advance, Group::Settled};

struct LedgerRecord {
    static constexpr int kColumns = 19;   // A..S

    int row = 0;   // the sheet row it was read from
    std::array<Field, kColumns> fields;

    const Field &operator[](int column) const { return fields[size_t(column - 1)]; }
    Field &operator[](int column) { return fields[size_t(column - 1)]; }

    const Field &number() const { return fields[0]; }               // A
    const Field &counterpartyNumber() const { return fields[1]; }   // B
    const Field &counterparty() const { return fields[2]; }         // C
    const Field &invoice() const { return fields[3]; }              // D
    const Field &invoiceDate() const { return fields[4]; }          // E
    const Field &dueDate() const { return fields[5]; }              // F
    const Field &flag(Group g) const { return fields[size_t(6 + 4 * int(g))]; }
    const Field &amount(Group g) const { return fields[size_t(7 + 4 * int(g))]; }
    const Field &date(Group g) const { return fields[size_t(8 + 4 * int(g))]; }
    const Field &means(Group g) const { return fields[size_t(9 + 4 * int(g))]; }
    const Field &note() const { return fields[18]; }                // S
};

// A record as a form or an import hands it over: each column's text as typed, flags "SI"
// or "NO", dates as day/month/year texts.
struct LedgerEntry {
    std::array<QString, LedgerRecord::kColumns> texts;

    const QString &operator[](int column) const { return texts[size_t(column - 1)]; }
    QString &operator[](int column) { return texts[size_t(column - 1)]; }
};

class Ledger {
public:
    // Columns of a record (1-based, A = 1).
    enum Column : int {
        ColNumber = 1,              // A  record number, the key
        ColCounterpartyNumber = 2,  // B  the counterparty's number in "Anagrafe"
        ColCounterparty = 3,        // C  its name at the time of entry
        ColInvoice = 4,             // D
        ColInvoiceDate = 5,         // E
        ColDueDate = 6,             // F  the sort key
        ColCollected = 7,           // G  "SI"/"NO"; H amount, I date, J means
        ColAdvance = 11,            // K  "SI"/"NO"; L amount, M date, N means
        ColSettled = 15,            // O  "SI"/"NO"; P amount, Q date, R means
        ColNote = 19,               // S
    };
    static constexpr int flagColumn(Group g) { return ColCollected + 4 * int(g); }
    static constexpr int amountColumn(Group g) { return flagColumn(g) + 1; }
    static constexpr int dateColumn(Group g) { return flagColumn(g) + 2; }
    static constexpr int meansColumn(Group g) { return flagColumn(g) + 3; }
    // H, L and P: amounts, stored as numbers shown as money when they read as one.
    static constexpr bool isAmountColumn(int column)
    {
        return column >= ColCollected && column < ColNote && (column - ColCollected) % 4 == 1;
    }
    // E, F, I, M and Q: a new record stores them as date values.
    static constexpr bool isDateColumn(int column)
    {
        return column == ColInvoiceDate || column == ColDueDate
               || (column >= ColCollected && column < ColNote && (column - ColCollected) % 4 == 2);
    }

    explicit Ledger(store::Worksheet &sheet) : m_sheet(&sheet) {}
    // The named ledger sheet ("Incassi" or "Pagamenti"); throws StoreError(NotFound) when
    // it is missing.
    static Ledger of(store::Workbook &book, const QString &sheetName);
    // nullopt when the sheet is missing.
    static std::optional<Ledger> find(store::Workbook &book, const QString &sheetName);

    store::Worksheet &worksheet() const { return *m_sheet; }
    QString name() const;
    // Makes the sheet the workbook's active one.
    void select() const;

    // ---- Reading.
    // The records run from row 2 down to the first empty cell of column A.
    int recordCount() const;
    bool hasRecords() const;   // A2 holds something
    std::vector<LedgerRecord> readAll() const;
    LedgerRecord read(int row) const;
    // Any cell of a record's row, also beyond S.
    Field cell(int row, int column) const;
    // The texts row 1 shows, columns 1..`columns`.
    QStringList titles(int columns) const;

    // The row of the first record whose column A carries `number` (recordnumber.h).
    std::optional<int> findRow(double number) const;
    std::optional<LedgerRecord> find(double number) const;

    // ---- The counter cell IV1: the last record number used.
    store::Variant counter() const;
    // Writes 0 into an empty counter, as a form opening for a new record does; true when it did.
    bool ensureCounter() const;
    // The number the next record is offered: the counter plus 1 (an empty counter counts as
    // 0); nullopt when the counter holds no number.
    std::optional<double> nextNumber() const;
    // The number a form proposes for a new record: nextNumber() (1 when the counter holds
    // no number), passed on while a record of the sheet carries it, so the proposal is
    // never a number in use.
    std::optional<double> proposedNumber() const;

    // ---- Writing.
    // The first row, counting from row 1, whose column A is empty; nullopt when every row of
    // the sheet is taken.
    std::optional<int> freeRow() const;
    // Writes a new record into `row` as "Inserisci" does, every cell of A..S: column A the
    // number, the date columns as date values (a text that is no date stays as typed, an
    // empty one clears its cell), the amounts as numbers shown as money, every other column
    // the entry's text converted as typed; then the counter, which never goes back. Each
    // write that fails is passed over and the next one made.
    void insertAt(int row, double number, const LedgerEntry &entry) const;

    enum class Inserted { Done, NumberTaken, SheetFull };
    struct InsertResult {
        Inserted outcome = Inserted::Done;
        int row = 0;
    };
    // A new record under `number`: refused when a record carries it already or when the
    // sheet has no free row; otherwise insertAt() the first free row.
    InsertResult insert(double number, const LedgerEntry &entry) const;

    // Rewrites B..S of `row` with the entry's texts converted as typed (dates stay as typed,
    // amounts become numbers shown as money); column A keeps its number.
    void change(int row, const LedgerEntry &entry) const;
    // Deletes the whole row; the rows below move up one.
    void remove(int row) const;

    // Sorts A2:S65536 by the due date (column F), ascending, as the browser shows a ledger,
    // leaving E1 selected.
    void sortByDueDate() const;

private:
    // One column's text, converted as typed; an amount as a number with the money format.
    void writeCell(int row, int column, const QString &text) const;

    store::Worksheet *m_sheet;
};

} // namespace records
