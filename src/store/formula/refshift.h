#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// References in parsed formulas (BIFF8 "rgce" token arrays) and how they follow a structural
// edit of a sheet: rows deleted, or rows of a block sorted. One shifter serves every place
// that holds a formula: cell formulas, shared/array/table formulas, defined names, chart
// series, conditional formats and validations.

#include "store/model/workbook.h"
#include "store/biff/biff.h"

#include <QByteArray>
#include <optional>
#include <vector>

namespace store {

// What happened to the rows of one sheet, as formulas see it.
struct RowShift {
    int sheetTab = -1;   // 0-based position of the edited sheet among all tabs, as the
                         // workbook's EXTERNSHEET (XTI) entries count them
    enum Kind { Delete, Sort } kind = Delete;
    int first = 1, last = 1;          // 1-based, inclusive: the deleted rows, or the sorted block
    int left = 1, right = kMaxColumns;   // Sort: the sorted columns
    std::vector<int> newRowOf;        // Sort: newRowOf[i] = new row of the old row first + i

    // The row a cell of the edited sheet moved to; 0 when its row was deleted. Columns
    // outside left..right do not move in a sort.
    int rowAfter(int row, int column) const;
};

// Where an expression lives, BEFORE the edit: its sheet tab and cell. Relative tokens of the
// offset kinds (ptgRefN, ptgAreaN, and 3-D tokens of shared formulas) count from the cell.
// Names and chart series have no cell: their relative parts are left alone.
struct Site {
    int sheetTab = -1;
    int row = 0;      // 1-based; 0: no cell
    int column = 0;
    // Cell: a cell formula (array formulas, conditional formats and validations read the same
    // way): ptgRef/ptgArea hold positions. Shared: 3-D tokens with relative flags hold
    // offsets from the cell too. Name: a defined name or a chart series.
    enum class Form : uint8_t { Cell, Shared, Name } form = Form::Cell;
};

// The workbook's EXTERNSHEET table, as 3-D tokens address it.
struct XtiTable {
    std::vector<biff::Xti> xtis;
    int internalSupBook = -1;   // index of the SUPBOOK that stands for this workbook

    static XtiTable of(const BiffExtras &bookExtras);
    // The one sheet tab of this workbook that entry ixti names; -1 for other workbooks,
    // add-ins, several sheets or an index out of range.
    int singleTab(int ixti) const;
};

enum class ShiftResult { Unchanged, Changed };

// Rewrites one parsed expression (rgce of cce bytes plus the trailing extra data, e.g.
// array constants) in place for the shift. References into deleted cells become #REF!
// tokens (ptgRefErr, ptgAreaErr, ptgRefErr3d, ptgAreaErr3d); ranges that span the deleted
// rows shrink. In a sort, references keep their positions, except the relative references
// of a formula that moved with its sorted row, which keep their offsets from it.
// Handles every token kind: ptgExp/ptgTbl, ptgAttr (choose/skip offsets), ptgMem* (size of
// the sub-expression), ptgRefN/AreaN (relative to the site), 3-D tokens through the XTI
// table. A malformed expression is left as it is (Unchanged).
ShiftResult shiftExpression(QByteArray &rgce, qsizetype cce, const Site &site, const RowShift &shift,
                            const XtiTable &xtis);

// The same over an expression in place: cce bytes of tokens at rgce.
ShiftResult shiftExpression(uint8_t *rgce, qsizetype cce, const Site &site, const RowShift &shift,
                            const XtiTable &xtis);

// Whether the expression reads any cell of the edited sheet that moved or was deleted:
// its result may change even when its tokens do not (a sort keeps references in place).
bool readsMovedCells(const QByteArray &rgce, qsizetype cce, const Site &site, const RowShift &shift,
                     const XtiTable &xtis);

bool readsMovedCells(const uint8_t *rgce, qsizetype cce, const Site &site, const RowShift &shift,
                     const XtiTable &xtis);

// A range of the edited sheet after the shift (nullopt: wholly deleted). A sort keeps it.
std::optional<RangeRect> shiftRange(const RangeRect &range, const RowShift &shift);

// The workbook-wide pass: every formula-bearing place of the workbook follows the shift
// (cell formulas of every sheet, the formulas that moved with their rows, shared, array and
// table formulas, NAME records with the page set-up's print area and titles, chart series),
// and formulas whose inputs moved are marked to be recalculated when another program opens
// the file. `sheet` is the edited sheet; its cells have already moved.
void shiftFormulas(Workbook &book, Worksheet &sheet, const RowShift &shift);
// The same for a shift whose sheetTab names the edited sheet's original tab.
void shiftFormulas(Workbook &book, const RowShift &shift);

// The RowShift for an edit of `sheet` (sheetTab from the file's tab numbering).
RowShift rowShiftFor(const Worksheet &sheet, RowShift::Kind kind, int first, int last);

} // namespace store
