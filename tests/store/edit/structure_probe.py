#!/usr/bin/python3
"""Makes annotated ledger workbooks with a headless office suite (through UNO), makes the
ledger edits our program makes (sort of A2:S65536 by F, deletion of a record's row) with it,
and describes a workbook as that program reads it, for comparison with our own edits.

  structure_probe.py make OUT PASSWORD             an annotated ledger workbook
  structure_probe.py edit IN OUT PASSWORD ID [ID]  sorts Incassi, deletes each record ID's row
  structure_probe.py read FILE PASSWORD            prints the workbook as JSON

One private profile and pipe per process, so that several runs can share the machine.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "xls"))
from office_uno import (cell_range, date_format, merged_rect, prop, read_command, rect, run,  # noqa: E402
                        sort_fields, used_area)

import uno  # noqa: E402

TITLES = ["ID", "ID Cliente", "Cliente", "Fattura", "Data", "Scadenza", "Riscosso", "Importo", "Data",
          "R/Con", "Acconto", "Importo", "Data", "A/Con", "Saldato", "Importo", "Data", "S/Con", "Nota"]
# id, due date (serial), amount; in an order the sort changes
RECORDS = [(1, 39965, 1234.5), (2, 39874, 7), (3, 39935, 0.25), (4, 40000, 300),
           (5, 39900, 45), (6, 39950, 12)]
LAST = 1 + len(RECORDS)


def enum(kind, value):
    return uno.Enum(kind, value)


def make(office, out, password):
    doc, (reg, inc, pag, summary) = office.new_calc("Anagrafe", "Incassi", "Pagamenti", "Riepilogo")
    for c, title in enumerate(["ID", "C/F", "Ragione Sociale/Cognome Nome"]):
        reg.getCellByPosition(c, 0).String = title
    for c, title in enumerate(TITLES):
        inc.getCellByPosition(c, 0).String = title
        pag.getCellByPosition(c, 0).String = title
    key = date_format(doc)
    for i, (rid, due, amount) in enumerate(RECORDS):
        r = i + 1
        cell = inc.getCellByPosition
        cell(0, r).Value = rid
        cell(1, r).Value = 100 + rid
        cell(2, r).String = "Ditta %d" % rid
        cell(3, r).String = "F-%d" % rid
        cell(4, r).Value = 39823
        cell(4, r).NumberFormat = key
        cell(5, r).Value = due
        cell(5, r).NumberFormat = key
        cell(6, r).String = "NO"
        cell(7, r).Value = amount
        cell(10, r).String = "NO"
        cell(14, r).String = "NO"
        cell(18, r).String = "nota %d" % rid
        # the check column beside the records, outside the sorted columns
        cell(20, r).Formula = "=IF(H%d>100;\"alto\";\"basso\")" % (r + 1)
    inc.getCellByPosition(0, 0).CharWeight = 150
    # notes on two records' invoices
    for rid in (3, 5):
        row = [x[0] for x in RECORDS].index(rid) + 1
        inc.Annotations.insertNew(inc.getCellByPosition(3, row).CellAddress, "Nota sulla fattura F-%d" % rid)
    # links on two records' remarks
    for rid in (2, 5):
        row = [x[0] for x in RECORDS].index(rid) + 1
        cell = inc.getCellByPosition(18, row)
        cell.String = ""
        field = doc.createInstance("com.sun.star.text.TextField.URL")
        field.URL = "https://fatture.example.it/F-%d" % rid
        field.Representation = "nota %d" % rid
        cell.Text.insertTextContent(cell.Text.createTextCursor(), field, False)
    # a merged remark below the records
    remark = LAST + 3
    inc.getCellRangeByName("A%d:E%d" % (remark, remark)).merge(True)
    inc.getCellByPosition(0, remark - 1).String = "Controllato dal commercialista"
    inc.getCellByPosition(7, remark - 1).Formula = "=SUM(H2:H%d)" % LAST
    # conditional formatting on the due dates, a validation on the "Riscosso" flags
    rng = inc.getCellRangeByName("F2:F%d" % LAST)
    cf = rng.ConditionalFormat
    cf.addNew((prop("Operator", enum("com.sun.star.sheet.ConditionOperator", "LESS")),
               prop("Formula1", "39930"), prop("StyleName", "Accent")))
    rng.ConditionalFormat = cf
    rng = inc.getCellRangeByName("G2:G%d" % LAST)
    val = rng.Validation
    val.Type = enum("com.sun.star.sheet.ValidationType", "LIST")
    val.setFormula1("\"SI\";\"NO\"")
    rng.Validation = val
    # a named range and a print area over the ledger
    addr = inc.getCellByPosition(0, 0).CellAddress
    doc.NamedRanges.addNewByName("Importi", "$Incassi.$H$2:$H$%d" % LAST, addr, 0)
    inc.setPrintAreas((cell_range(1, 0, 0, LAST + 3, 18),))
    # the summary over the ledger
    summary.getCellByPosition(0, 0).String = "Totale"
    summary.getCellByPosition(1, 0).Formula = "=SUM($Incassi.H2:H%d)" % LAST
    summary.getCellByPosition(0, 1).String = "Aperti"
    summary.getCellByPosition(1, 1).Formula = "=COUNTIF($Incassi.G2:G%d;\"NO\")" % LAST
    summary.getCellByPosition(0, 2).String = "Terza"
    summary.getCellByPosition(1, 2).Formula = "=$Incassi.H4"
    summary.getCellByPosition(0, 3).String = "Per nome"
    summary.getCellByPosition(1, 3).Formula = "=SUM(Importi)"
    summary.getCellByPosition(0, 4).String = "Primo"
    summary.getCellByPosition(1, 4).Formula = "=$Incassi.A2"
    office.save_xls(doc, out, password)
    doc.close(True)


def record_row(sheet, rid):
    for r in range(1, 2000):
        c = sheet.getCellByPosition(0, r)
        if c.Type.value == "EMPTY":
            return -1
        if c.Value == rid:
            return r
    return -1


def first_merged_row(sheet):
    """The first row from 2 down with a merged cell in A..S; 0 when there is none."""
    last_row, _ = used_area(sheet)
    for r in range(1, last_row + 1):
        for c in range(19):
            if sheet.getCellByPosition(c, r).IsMerged:
                return r + 1
    return 0


def edit(office, src, out, password, *ids):
    ids = [float(x) for x in ids]
    doc = office.load(src, password)
    inc = doc.Sheets.getByName("Incassi")
    # This program refuses to sort a range that holds merged cells and says so only in its
    # window. A merged remark below the records has an empty key, so a sort that goes on
    # keeps it, and the rows above it, where they are: the same as sorting the rows above it.
    merged = first_merged_row(inc)
    rng = inc.getCellRangeByName("A2:S%d" % (merged - 1) if merged > 2 else "A2:S65536")
    rng.sort((prop("SortFields", sort_fields(5)), prop("ContainsHeader", False),
              prop("BindFormatsToContent", True)))
    for rid in ids:
        r = record_row(inc, rid)
        if r > 0:
            inc.Rows.removeByIndex(r, 1)
    office.save_xls(doc, out, password)
    doc.close(True)


def ranges_text(ranges):
    return sorted(ranges.RangeAddressesAsString.split(";")) if ranges else []


def describe(doc):
    doc.calculateAll()
    out = {"sheets": [], "names": {}}
    for name in doc.NamedRanges.ElementNames:
        out["names"][name] = doc.NamedRanges.getByName(name).Content
    sheets = doc.Sheets
    for i in range(sheets.Count):
        sh = sheets.getByIndex(i)
        last_row, last_col = used_area(sh)
        last_col = min(last_col, 40)
        cells, merges, validation, conditional, links = [], [], [], [], []
        formulas = sh.getCellRangeByPosition(0, 0, last_col, last_row).getFormulaArray()
        strings = sh.getCellRangeByPosition(0, 0, last_col, last_row).getDataArray()
        for r in range(last_row + 1):
            for c in range(last_col + 1):
                f = formulas[r][c]
                if f == "":
                    continue
                cell = sh.getCellByPosition(c, r)
                entry = [r + 1, c + 1, f if f.startswith("=") else "", cell.String]
                cells.append(entry)
                if cell.Type.value == "TEXT":
                    fields = cell.Text.TextFields.createEnumeration()
                    while fields.hasMoreElements():
                        tf = fields.nextElement()
                        if tf.getPropertySetInfo().hasPropertyByName("URL"):
                            links.append([r + 1, c + 1, tf.URL])
        # merged ranges, validations and formats over the area the ledger may reach
        for r in range(max(last_row, 20) + 1):
            for c in range(min(last_col, 25) + 1):
                cell = sh.getCellByPosition(c, r)
                if cell.Validation.Type.value != "ANY":
                    validation.append([r + 1, c + 1])
                if cell.ConditionalFormat.Count > 0:
                    conditional.append([r + 1, c + 1])
                if cell.IsMerged:
                    merges.append(merged_rect(sh, c, r))
        notes = sorted([a.Position.Row + 1, a.Position.Column + 1, a.String] for a in sh.Annotations)
        areas = [rect(a) for a in sh.getPrintAreas()]
        out["sheets"].append({"name": sh.Name, "cells": cells, "merges": merges, "notes": notes,
                              "conditional": conditional, "validation": validation, "printAreas": areas,
                              "links": links})
    return out


if __name__ == "__main__":
    sys.exit(run({"make": make, "edit": edit, "read": read_command(describe)}))
