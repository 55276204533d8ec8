#!/usr/bin/python3
"""A workbook as another spreadsheet program writes it (headless, through UNO), with what our
own setters would refuse but a read keeps:

  longname_probe.py make OUT PASSWORD

the program's three sheets with a few records, a fourth sheet whose name is longer than 31
characters, a named range, a column of formulas filled down (shared formulas in the file) and
a row height far below the used range.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "store", "xls"))
from office_uno import run  # noqa: E402

import uno  # noqa: E402

LONG_NAME = "Riepilogo dei movimenti per cliente dell'anno in corso"


def make(office, out, password):
    doc, (anagrafe, incassi, pagamenti, riepilogo) = office.new_calc(
        "Anagrafe", "Incassi", "Pagamenti", LONG_NAME)
    for sheet, titles in ((anagrafe, ("ID", "Tipo", "Nome")), (incassi, ("N.", "ID", "Cliente", "Fattura")),
                          (pagamenti, ("N.", "ID", "Fornitore", "Fattura"))):
        for c, title in enumerate(titles):
            sheet.getCellByPosition(c, 0).String = title
    for r in range(1, 6):
        anagrafe.getCellByPosition(0, r).Value = r
        anagrafe.getCellByPosition(1, r).String = "C"
        anagrafe.getCellByPosition(2, r).String = "CLIENTE %d" % r
        incassi.getCellByPosition(0, r).Value = r
        incassi.getCellByPosition(1, r).Value = r
        incassi.getCellByPosition(2, r).String = "CLIENTE %d" % r
        incassi.getCellByPosition(3, r).String = "FT/%d" % r
        incassi.getCellByPosition(7, r).Value = 100 * r + 0.5
    # A column of formulas filled down: the file keeps them as shared formulas.
    riepilogo.getCellByPosition(0, 0).String = "Totale"
    for r in range(1, 6):
        riepilogo.getCellByPosition(0, r).Formula = "=$Incassi.H%d*2" % (r + 1)
    riepilogo.getCellByPosition(1, 1).Formula = "=A2+1"
    riepilogo.getCellRangeByPosition(1, 1, 1, 5).fillAuto(uno.Enum("com.sun.star.sheet.FillDirection", "TO_BOTTOM"), 1)
    addr = uno.createUnoStruct("com.sun.star.table.CellAddress")
    doc.NamedRanges.addNewByName("Totali", "$'%s'.$A$2:$A$6" % LONG_NAME.replace("'", "''"), addr, 0)
    incassi.getRows().getByIndex(39).Height = 1500
    office.save_xls(doc, out, password)
    doc.close(True)


if __name__ == "__main__":
    sys.exit(run({"make": make}))
