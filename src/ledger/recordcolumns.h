#pragma once

// Which control of an entry form shows each column A..S of a ledger record ("Incassi" and
// "Pagamenti" alike; their titles are in records/layout.h). Insert, change, the
// loading of a record handed over by the browser, and the tests read this one table.

#include <array>

namespace ledger {

// How a column is shown: a line of text, a date typed as dd/MM/yyyy (insert stores a
// real date, change the text as typed), an editable list, a tick box that stores "SI" or
// "NO", or the multi-line note.
enum class Shown { Text, Date, Choice, Flag, Note };

struct RecordColumn {
    int column;            // 1 = A
    const char *control;   // the control's name on the form
    Shown shown;
};

// In the order a record is loaded into the form: each flag comes after the amount beside
// it (H before G, L before K, P before O).
inline constexpr std::array<RecordColumn, 19> kRecordColumns{{
    {1, "Text10", Shown::Text},     // A record number
    {2, "Text12", Shown::Text},     // B counterparty number
    {3, "Combo1", Shown::Choice},   // C counterparty
    {4, "Text1", Shown::Text},      // D invoice
    {5, "Text2", Shown::Date},      // E invoice date
    {6, "Text3", Shown::Date},      // F due date
    {8, "Text4", Shown::Text},      // H amount
    {7, "Check2", Shown::Flag},     // G collected / paid
    {9, "Text5", Shown::Date},      // I date
    {10, "Combo2", Shown::Choice},  // J means
    {12, "Text7", Shown::Text},     // L deposit amount
    {11, "Check4", Shown::Flag},    // K deposit
    {13, "Text6", Shown::Date},     // M deposit date
    {14, "Combo3", Shown::Choice},  // N deposit means
    {16, "Text9", Shown::Text},     // P balance amount
    {15, "Check6", Shown::Flag},    // O settled
    {17, "Text8", Shown::Date},     // Q balance date
    {18, "Combo4", Shown::Choice},  // R balance means
    {19, "Text11", Shown::Note},    // S note
}};

} // namespace ledger
