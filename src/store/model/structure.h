#pragma once

// The model's word to whoever keeps things that sit on cells without being cells (notes,
// merged ranges, hyperlinks, formats and validations by range, formulas, names): rows of a
// sheet were deleted or sorted. The model calls it after it moved the cells.

#include "store/model/workbook.h"

#include <vector>

namespace store {

struct RowsDeleted {
    int first = 1, last = 1;   // 1-based, inclusive
};

struct RowsSorted {
    RangeRect range;               // the rows and columns that were sorted (header excluded)
    std::vector<int> newRowOf;     // newRowOf[i]: the new row of the old row range.top + i
};

class StructureEdits {
public:
    virtual ~StructureEdits();
    virtual void rowsDeleted(Worksheet &sheet, const RowsDeleted &edit) = 0;
    virtual void rowsSorted(Worksheet &sheet, const RowsSorted &edit) = 0;
};

} // namespace store
