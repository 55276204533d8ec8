#pragma once

// The program's two ledgers and what the forms that serve both of them need to know of
// each: the sheet, the entry form, and the mode number the browser and the print form
// read in their Text1.

#include "controls/session.h"
#include "records/layout.h"

#include <QString>
#include <optional>

namespace ledger {

enum class Ledger { Incassi, Pagamenti };

inline const records::layout::SheetLayout &sheetOf(Ledger which)
{
    return which == Ledger::Incassi ? records::layout::incassi() : records::layout::pagamenti();
}

inline controls::FormId entryFormOf(Ledger which)
{
    return which == Ledger::Incassi ? controls::FormId::Entrata : controls::FormId::Pagamenti;
}

// "1" the receivables, "2" the payables.
inline QString modeText(Ledger which)
{
    return which == Ledger::Incassi ? QStringLiteral("1") : QStringLiteral("2");
}

// The ledger of a mode number; none for any other number.
inline std::optional<Ledger> ledgerOfMode(int mode)
{
    if (mode == 1)
        return Ledger::Incassi;
    if (mode == 2)
        return Ledger::Pagamenti;
    return std::nullopt;
}

} // namespace ledger
