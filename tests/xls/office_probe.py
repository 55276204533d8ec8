#!/usr/bin/python3
"""Drives a headless office suite through UNO to check our .xls files against another
spreadsheet program, and to make small password-protected test files with it.

  office_probe.py read FILE PASSWORD          prints the workbook as JSON (sheets, cells, merges)
  office_probe.py make OUT PASSWORD           writes a formatted test workbook
  office_probe.py roundtrip IN OUT PASSWORD   opens IN and saves it as OUT with the password
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


class Office:
    def __enter__(self):
        self.profile = tempfile.mkdtemp(prefix="office-probe-")
        self.pipe = "probe%d" % os.getpid()
        self.proc = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
             "-env:UserInstallation=file://" + self.profile,
             "--accept=pipe,name=%s;urp;" % self.pipe],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.time() + 90
        while True:
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                break
            except NoConnectException:
                if time.time() > deadline or self.proc.poll() is not None:
                    raise
                time.sleep(0.3)
        self.desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        return self

    def __exit__(self, *exc):
        try:
            self.desktop.terminate()
        except Exception:
            pass
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        shutil.rmtree(self.profile, ignore_errors=True)

    def load(self, path, password):
        args = (prop("Hidden", True), prop("Password", password), prop("ReadOnly", False))
        return self.desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0, args)

    def save_xls(self, doc, path, password):
        args = [prop("FilterName", "MS Excel 97"), prop("Overwrite", True)]
        if password:
            args.append(prop("Password", password))
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(path)), tuple(args))


def describe(doc):
    from com.sun.star.table.CellContentType import EMPTY, VALUE, TEXT
    out = {"sheets": []}
    sheets = doc.Sheets
    for i in range(sheets.Count):
        sh = sheets.getByIndex(i)
        cur = sh.createCursor()
        cur.gotoEndOfUsedArea(False)
        last_row = cur.RangeAddress.EndRow
        last_col = cur.RangeAddress.EndColumn
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
                cur2 = sh.createCursorByRange(sh.getCellRangeByPosition(c, r, c, r))
                cur2.collapseToMergedArea()
                a = cur2.RangeAddress
                if a.EndRow > a.StartRow or a.EndColumn > a.StartColumn:
                    merges.append([a.StartRow + 1, a.StartColumn + 1, a.EndRow + 1, a.EndColumn + 1])
        notes = [[a.Position.Row + 1, a.Position.Column + 1, a.String] for a in sh.Annotations]
        out["sheets"].append({"name": sh.Name, "cells": cells, "merges": merges, "notes": notes,
                              "conditional": conditional, "validation": validation, "bold": bold})
    return out


def make(office, out, password):
    doc = office.desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
    sheets = doc.Sheets
    first = sheets.getByIndex(0)
    first.Name = "Dati"
    sheets.insertNewByName("Altro foglio", 1)
    other = sheets.getByName("Altro foglio")
    first.getCellByPosition(0, 0).String = "Città"
    first.getCellByPosition(1, 0).String = "Importo €"
    first.getCellByPosition(0, 1).String = "Forlì"
    first.getCellByPosition(1, 1).Value = 12.5
    first.getCellByPosition(0, 2).String = "Pèsaro"
    first.getCellByPosition(1, 2).Value = 1234567.891
    first.getCellByPosition(1, 3).Formula = "=SUM(B2:B3)"
    first.getCellByPosition(2, 1).Formula = "=A2&\" centro\""
    # a date with a date format
    fmt = doc.NumberFormats
    loc = uno.createUnoStruct("com.sun.star.lang.Locale")
    key = fmt.queryKey("DD/MM/YYYY", loc, False)
    if key == -1:
        key = fmt.addNew("DD/MM/YYYY", loc)
    d = first.getCellByPosition(3, 1)
    d.Value = 39945   # 12/05/2009
    d.NumberFormat = key
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


def main():
    cmd = sys.argv[1]
    with Office() as office:
        if cmd == "read":
            doc = office.load(sys.argv[2], sys.argv[3])
            if doc is None:
                print(json.dumps({"error": "not loaded"}))
                return 3
            print(json.dumps(describe(doc), ensure_ascii=False))
            doc.close(True)
        elif cmd == "make":
            make(office, sys.argv[2], sys.argv[3])
        elif cmd == "roundtrip":
            doc = office.load(sys.argv[2], sys.argv[4])
            office.save_xls(doc, sys.argv[3], sys.argv[4])
            doc.close(True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
