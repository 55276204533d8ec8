#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// What keeps the carried records of a workbook in step with its cells when the forms delete
// rows or sort a ledger: notes with their drawing objects, merged ranges, hyperlinks,
// conditional formats, validations, page breaks; the formulas through the reference shifter.

#include "store/formula/refshift.h"
#include "store/model/structure.h"

#include <memory>

namespace store {

// The observer the file layer installs in every workbook it reads.
std::shared_ptr<StructureEdits> makeStructureEdits();

namespace edit {

// The range-bearing records carried for `sheet` (its BiffExtras) follow the shift; the
// formulas in conditional formats and validations of every sheet go through the reference
// shifter. The drawing records are left to shiftDrawing().
void shiftSheetRecords(Workbook &book, Worksheet &sheet, const RowShift &shift, const XtiTable &xtis);

// Notes and the drawing objects of `sheet`: a deleted row takes its notes with it (NOTE, OBJ,
// the shape in MSODRAWING, TXO), the others move with their cells; shape counts stay right.
// A drawing that cannot be read is left as it is, notes included.
void shiftDrawing(Workbook &book, Worksheet &sheet, const RowShift &shift);

} // namespace edit
} // namespace store
