#pragma once

// The import of electronic invoices into the workbook, in two steps: plan() reads every
// file (loose, in folders, in signed envelopes, in zip archives), maps each document to
// rows, matches counterparties and drops duplicates, writing nothing; apply() then writes
// the whole plan, or nothing at all when anything fails. Used by the form "Utilità/Causali"
// and by `contavio-xls import-fe`.

#include "einvoice/mapping.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace store {
class Workbook;
}

namespace einvoice {

struct Skipped {
    QString source;    // the file (and the entry of an archive), as the report names it
    QString reason;
};

// A counterparty that the import adds to "Anagrafe".
struct NewCounterparty {
    Direction direction = Direction::Sale;   // "C" for a sale, "F" for a purchase
    Party party;
    QString iban;     // suppliers only
};

struct PlannedInvoice {
    QString source;
    MappedDocument document;
    double counterpartyNumber = 0;   // the existing number and name, when newIndex < 0
    QString counterpartyName;
    int newIndex = -1;               // index into Plan::newCounterparties
};

struct Plan {
    std::vector<PlannedInvoice> invoices;
    std::vector<NewCounterparty> newCounterparties;
    std::vector<Skipped> skipped;
    int filesRead = 0;
    QString error;   // set when the plan cannot be written at all (no sheet, no identity)

    int rowCount(Direction d) const;
    bool isEmpty() const { return invoices.empty(); }
};

struct Applied {
    bool ok = false;
    QString error;   // why nothing was written
    int invoices = 0, rowsIncassi = 0, rowsPagamenti = 0, newCounterparties = 0;
};

// Reads the files and folders (folders with all their subfolders) against the workbook's
// registry and ledgers. Nothing is written.
Plan plan(store::Workbook &book, const Identity &office, const QStringList &paths);

// Writes every planned row and counterparty as the entry forms and the registry form add
// them (first free row, counters moved on). On any failure every written cell is put back.
Applied apply(store::Workbook &book, const Plan &plan);

// The preview's lines: one per invoice to add, then one per file skipped.
QStringList previewLines(const Plan &plan);
// The report after apply (or after a dry run, when `applied` is null).
QString reportText(const Plan &plan, const Applied *applied);

} // namespace einvoice
