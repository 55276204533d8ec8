#!/usr/bin/python3
"""Drives a headless office suite through UNO to check our .xls files against another
spreadsheet program, and to make small password-protected test files with it.

  office_probe.py read FILE PASSWORD          prints the workbook as JSON (sheets, cells, merges)
  office_probe.py make OUT PASSWORD           writes a formatted test workbook
  office_probe.py roundtrip IN OUT PASSWORD   opens IN and saves it as OUT with the password
"""
import sys

import uno

from office_uno import date_format, merged_rect, prop, read_command, run, used_area


def describe(doc):
    from com.sun.star.table.CellContentType import EMPTY, VALUE, TEXT
    out = {"sheets": []}
    sheets = doc.Sheets
    for i in range(sheets.Count):
        sh = sheets.getByIndex(i)
        last_row, last_col = used_area(sh)
        data = sh.getCellRangeByPosition(0, 0, last_col, last_row).getDataArray()
        cells, merges, conditional, validation, bold = [], [], [], [], []
        for r, row in enumerate(data):
            for c, v in enumerate(row):
                if v == "":
                    continue
                cell = sh.getCellByPosition(c, r)
                t = cell.Type
                if t == EMPTY:
                    continue
                entry = {"row": r + 1, "col": c + 1, "string": cell.String, "value": cell.Value,
                         "format": doc.NumberFormats.getByKey(cell.NumberFormat).FormatString}
                if t == TEXT:
                    entry["type"] = "text"
                elif t == VALUE:
                    entry["type"] = "number"
                else:
                    entry["type"] = "formula"
                    entry["formula"] = cell.Formula
                cells.append(entry)
                if cell.CharWeight > 100:
                    bold.append([r + 1, c + 1])
                if cell.ConditionalFormat.Count > 0:
                    conditional.append([r + 1, c + 1])
                if cell.Validation.Type.value != "ANY":
                    validation.append([r + 1, c + 1])
                area = merged_rect(sh, c, r)
                if area[2] > area[0] or area[3] > area[1]:
                    merges.append(area)
        notes = [[a.Position.Row + 1, a.Position.Column + 1, a.String] for a in sh.Annotations]
        out["sheets"].append({"name": sh.Name, "cells": cells, "merges": merges, "notes": notes,
                              "conditional": conditional, "validation": validation, "bold": bold})
    return out


def make(office, out, password):
    doc, (first, other) = office.new_calc("Dati", "Altro foglio")
    first.getCellByPosition(0, 0).String = "Città"
    first.getCellByPosition(1, 0).String = "Importo €"
    first.getCellByPosition(0, 1).String = "Forlì"
    first.getCellByPosition(1, 1).Value = 12.5
    first.getCellByPosition(0, 2).String = "Pèsaro"
    first.getCellByPosition(1, 2).Value = 1234567.891
    first.getCellByPosition(1, 3).Formula = "=SUM(B2:B3)"
    first.getCellByPosition(2, 1).Formula = "=A2&\" centro\""
    # a date with a date format
    d = first.getCellByPosition(3, 1)
    d.Value = 39945   # 12/05/2009
    d.NumberFormat = date_format(doc)
    # bold, background colour, merged title
    first.getCellByPosition(0, 0).CharWeight = 150
    first.getCellByPosition(1, 0).CellBackColor = 0xFFFF00
    title = first.getCellRangeByName("A6:C6")
    title.merge(True)
    first.getCellByPosition(0, 5).String = "Titolo unito"
    # a conditional format, a validation rule and a comment
    cf = first.getCellRangeByName("B2:B3").ConditionalFormat
    cf.addNew((prop("Operator", uno.Enum("com.sun.star.sheet.ConditionOperator", "GREATER")),
               prop("Formula1", "100"), prop("StyleName", "Accent")))
    first.getCellRangeByName("B2:B3").ConditionalFormat = cf
    val = first.getCellRangeByName("D2:D4").Validation
    val.Type = uno.Enum("com.sun.star.sheet.ValidationType", "WHOLE")
    val.setOperator(uno.Enum("com.sun.star.sheet.ConditionOperator", "BETWEEN"))
    val.setFormula1("1")
    val.setFormula2("50000")
    first.getCellRangeByName("D2:D4").Validation = val
    addr = first.getCellByPosition(0, 1).CellAddress
    first.Annotations.insertNew(addr, "Nota su Forlì")
    other.getCellByPosition(0, 0).String = "Riferimento"
    other.getCellByPosition(1, 0).Formula = "=Dati.B2*2"
    office.save_xls(doc, out, password)
    doc.close(True)


def roundtrip(office, src, out, password):
    doc = office.load(src, password)
    office.save_xls(doc, out, password)
    doc.close(True)


if __name__ == "__main__":
    sys.exit(run({"read": read_command(describe), "make": make, "roundtrip": roundtrip}))
