#!/usr/bin/python3
"""Makes a small ledger workbook with formulas in a headless office suite, makes the suite's
own structural edits on it, and reads back what the formulas, names and print areas say.

  ledger_probe.py make OUT                      writes the ledger (.xls, no password)
  ledger_probe.py delete IN OUT FIRST LAST      deletes rows FIRST..LAST of "Incassi"
  ledger_probe.py sort IN OUT                   sorts Incassi!A2:S65536 by F, ascending
  ledger_probe.py read MODE FILE...             prints, for each file, its formulas, values,
                                                names and print areas as a JSON list; MODE
                                                recalc computes every formula first, cached
                                                shows the results the file holds
"""
import json
import os
import sys

import uno

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "xls"))
from office_uno import cell_range, run, sort_fields, used_area  # noqa: E402


def make(office, out):
    doc, (led, summary) = office.new_calc("Incassi", "Riepilogo")
    for c, title in enumerate(["Numero", "Importo", "", "", "", "Cliente", "", "Totale"]):
        if title:
            led.getCellByPosition(c, 0).String = title
    keys = {2: "Rossi", 3: "bianchi", 5: "Verdi", 6: "Azzurri", 7: "neri", 8: "Gialli"}
    for row in range(2, 9):
        if row == 4:
            led.getCellByPosition(1, 3).Formula = "=SUM(B2:B3)"
            continue
        led.getCellByPosition(0, row - 1).Value = row * 100 + 1
        led.getCellByPosition(1, row - 1).Value = row * 10
        led.getCellByPosition(5, row - 1).String = keys[row]
        led.getCellByPosition(7, row - 1).Value = row + 0.5
    for row in range(2, 9):   # a check column beside the records
        led.getCellByPosition(20, row - 1).Formula = "=H%d*2+$B$2" % row
    led.getCellByPosition(22, 1).Formula = "=SUM(H2:H8)"
    led.getCellByPosition(22, 2).Formula = "=$H$5"
    led.getCellByPosition(22, 3).Formula = "=H3+1"
    led.getCellByPosition(22, 4).Formula = "=SUM(Totali)"
    led.getCellByPosition(22, 5).Formula = "=SUM(H3:H3)"
    addr = uno.createUnoStruct("com.sun.star.table.CellAddress")
    doc.NamedRanges.addNewByName("Totali", "$Incassi.$H$2:$H$8", addr, 0)
    led.setPrintAreas((cell_range(0, 0, 0, 7, 18),))
    led.setTitleRows(cell_range(0, 0, 0, 0, 0))
    led.setPrintTitleRows(True)
    summary.getCellByPosition(0, 0).Formula = "=SUM(Incassi.H2:H100)"
    summary.getCellByPosition(0, 1).Formula = "=Incassi.H6"
    summary.getCellByPosition(0, 2).Formula = "=COUNT(Incassi.A2:A8)"
    summary.getCellByPosition(0, 3).Formula = "=CHOOSE(2;Incassi.B5;Incassi.B6)+Incassi.H7"
    summary.getCellByPosition(0, 4).Formula = "=IF(Incassi.B7>0;Incassi.B8;0)"
    summary.getCellByPosition(0, 5).Formula = "=Incassi.H3"
    summary.getCellByPosition(0, 6).Formula = "=SUM(Totali)"
    office.save_xls(doc, out, "")
    doc.close(True)


def delete(office, src, out, first, last):
    first, last = int(first), int(last)
    doc = office.load(src, "")
    led = doc.Sheets.getByName("Incassi")
    led.Rows.removeByIndex(first - 1, last - first + 1)
    office.save_xls(doc, out, "")
    doc.close(True)


def sort(office, src, out):
    doc = office.load(src, "")
    led = doc.Sheets.getByName("Incassi")
    rng = led.getCellRangeByName("A2:S65536")
    desc = rng.createSortDescriptor()
    for p in desc:
        if p.Name == "SortFields":
            p.Value = sort_fields(5)
        elif p.Name == "ContainsHeader":
            p.Value = False
    uno.invoke(rng, "sort", (desc,))
    office.save_xls(doc, out, "")
    doc.close(True)


def address(a):
    def col(c):
        s = ""
        c += 1
        while c:
            c, r = divmod(c - 1, 26)
            s = chr(65 + r) + s
        return s
    return "%s%d:%s%d" % (col(a.StartColumn), a.StartRow + 1, col(a.EndColumn), a.EndRow + 1)


def read(office, path, mode):
    doc = office.load(path, "")
    if mode == "recalc":
        doc.calculateAll()
    out = {"sheets": [], "names": {}}
    for i in range(doc.Sheets.Count):
        sh = doc.Sheets.getByIndex(i)
        last_row, last_col = used_area(sh)
        cells = {}
        for r in range(last_row + 1):
            for c in range(last_col + 1):
                cell = sh.getCellByPosition(c, r)
                f = cell.Formula
                if f == "":
                    continue
                name = cell.AbsoluteName.split(".")[-1].replace("$", "")
                cells[name] = {"formula": f, "value": cell.String}
        entry = {"name": sh.Name, "cells": cells,
                 "printAreas": [address(a) for a in sh.getPrintAreas()]}
        if sh.PrintTitleRows:
            entry["titleRows"] = address(sh.TitleRows)
        out["sheets"].append(entry)
    for n in doc.NamedRanges.ElementNames:
        out["names"][n] = doc.NamedRanges.getByName(n).Content
    doc.close(True)
    return out


def read_all(office, mode, *paths):
    print(json.dumps([read(office, path, mode) for path in paths], ensure_ascii=False, sort_keys=True))


if __name__ == "__main__":
    sys.exit(run({"make": make, "delete": delete, "sort": sort, "read": read_all}))
