#!/usr/bin/python3
"""What a save must keep, as another spreadsheet program sees it (headless, through UNO).

  office_kept.py make OUT           writes a workbook with sheet protection, hidden and grouped
                                    rows, a print area of two areas and page settings
  office_kept.py read FILE [FILE..] prints, for each file, what the test compares (JSON list)

Row outline levels and row formats come from xlrd, which reads them from the ROW records.
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from office_uno import cell_range, rect, run, used_area  # noqa: E402

import uno  # noqa: E402
import xlrd  # noqa: E402


def make(office, out):
    doc, (first, second) = office.new_calc("Incassi", "Riepilogo")
    for r in range(12):
        first.getCellByPosition(0, r).String = "Cliente %d" % (r + 1)
        first.getCellByPosition(1, r).Value = 10 * (r + 1)
    first.getCellByPosition(2, 0).Formula = "=SUBTOTAL(109;B1:B12)"
    first.getRows().getByIndex(2).IsVisible = False
    first.getRows().getByIndex(3).IsVisible = False
    first.group(cell_range(0, 5, 0, 7, 0), uno.Enum("com.sun.star.table.TableOrientation", "ROWS"))
    first.getRows().getByIndex(9).Height = 1200
    first.setPrintAreas((cell_range(0, 0, 0, 5, 1), cell_range(0, 7, 0, 11, 2)))
    first.protect("")
    second.getCellByPosition(0, 0).Formula = "=SUM($Incassi.B1:B12)"
    styles = doc.StyleFamilies.getByName("PageStyles")
    landscape = styles.getByName(first.PageStyle)
    landscape.IsLandscape = True
    w, h = landscape.Width, landscape.Height
    landscape.Width, landscape.Height = max(w, h), min(w, h)
    landscape.ScaleToPagesX = 1
    landscape.ScaleToPagesY = 2
    landscape.LeftMargin = 1234
    landscape.TopMargin = 2345
    styles.insertByName("Riepilogo", doc.createInstance("com.sun.star.style.PageStyle"))
    zoomed = styles.getByName("Riepilogo")
    zoomed.PageScale = 75
    zoomed.Width, zoomed.Height = 21590, 27940   # Letter
    second.PageStyle = "Riepilogo"
    office.save_xls(doc, out, "")
    doc.close(True)


def describe(office, path):
    doc = office.load(path, "")
    if doc is None:
        return {"error": "not loaded"}
    out = {"sheets": []}
    styles = doc.StyleFamilies.getByName("PageStyles")
    for i in range(doc.Sheets.Count):
        sh = doc.Sheets.getByIndex(i)
        rows = sh.getRows()
        hidden = [r + 1 for r in range(40) if not rows.getByIndex(r).IsVisible]
        heights = [rows.getByIndex(r).Height for r in range(40)]
        st = styles.getByName(sh.PageStyle)
        page = {"landscape": st.IsLandscape, "width": st.Width, "height": st.Height,
                "scale": st.PageScale, "pagesX": st.ScaleToPagesX, "pagesY": st.ScaleToPagesY,
                "margins": [st.LeftMargin, st.RightMargin, st.TopMargin, st.BottomMargin]}
        areas = [rect(a) for a in sh.getPrintAreas()]
        last_row, last_col = used_area(sh)
        data = sh.getCellRangeByPosition(0, 0, last_col, last_row).getDataArray()
        out["sheets"].append({"name": sh.Name, "protected": sh.isProtected(), "hidden": hidden,
                              "heights": heights, "page": page, "printAreas": areas,
                              "cells": [list(r) for r in data]})
    doc.close(True)
    try:
        book = xlrd.open_workbook(path, formatting_info=True)
        for s, sheet in zip(out["sheets"], book.sheets()):
            s["outline"] = {str(r + 1): [i.outline_level, bool(i.hidden)]
                            for r, i in sorted(sheet.rowinfo_map.items()) if i.outline_level or i.hidden}
    except Exception as e:   # xlrd sees worksheets only; a missing detail is compared as absent
        out["xlrd"] = str(e)[:100]
    return out


def read_all(office, *paths):
    print(json.dumps([describe(office, p) for p in paths], ensure_ascii=False))


if __name__ == "__main__":
    sys.exit(run({"make": make, "read": read_all}))
