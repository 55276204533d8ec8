"""A headless office suite driven through UNO, as the probes beside our tests use it.

Each process starts its own suite with a private profile and its own pipe, so that several
probes (and several people's test runs) can share the machine. The probes import this
module from tests/store/xls; a probe's commands run inside one suite:

    sys.exit(office_uno.run({"make": make, "read": read}))
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

    def load(self, path, password, force_writable=True):
        """The document, or None when the suite cannot open it. Unless force_writable is
        False the suite is told not to open it read-only."""
        args = [prop("Hidden", True), prop("Password", password)]
        if force_writable:
            args.append(prop("ReadOnly", False))
        return self.desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                                 tuple(args))

    def new_calc(self, *names):
        """A new spreadsheet whose sheets bear the names given, in order; the document and
        its sheets."""
        doc = self.desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
        sheets = doc.Sheets
        sheets.getByIndex(0).Name = names[0]
        for i, name in enumerate(names[1:], start=1):
            sheets.insertNewByName(name, i)
        return doc, [sheets.getByName(name) for name in names]

    def save_xls(self, doc, path, password):
        args = [prop("FilterName", "MS Excel 97"), prop("Overwrite", True)]
        if password:
            args.append(prop("Password", password))
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(path)), tuple(args))


def date_format(doc):
    """The number format key of DD/MM/YYYY, added to the document when it lacks it."""
    fmt = doc.NumberFormats
    loc = uno.createUnoStruct("com.sun.star.lang.Locale")
    key = fmt.queryKey("DD/MM/YYYY", loc, False)
    if key == -1:
        key = fmt.addNew("DD/MM/YYYY", loc)
    return key


def used_area(sheet):
    """The last used row and column of the sheet, counted from 0."""
    cur = sheet.createCursor()
    cur.gotoEndOfUsedArea(False)
    return cur.RangeAddress.EndRow, cur.RangeAddress.EndColumn


def cell_range(sheet_index, first_row, first_column, last_row, last_column):
    """A CellRangeAddress, rows and columns counted from 0."""
    a = uno.createUnoStruct("com.sun.star.table.CellRangeAddress")
    a.Sheet = sheet_index
    a.StartRow, a.StartColumn, a.EndRow, a.EndColumn = first_row, first_column, last_row, last_column
    return a


def rect(a):
    """[first row, first column, last row, last column] of a CellRangeAddress, from 1."""
    return [a.StartRow + 1, a.StartColumn + 1, a.EndRow + 1, a.EndColumn + 1]


def merged_rect(sheet, column, row):
    """The rect() of the merged area that holds the cell (counted from 0)."""
    cur = sheet.createCursorByRange(sheet.getCellRangeByPosition(column, row, column, row))
    cur.collapseToMergedArea()
    return rect(cur.RangeAddress)


def sort_fields(column):
    """Sort fields for one key column (counted from 0): ascending, case ignored, as our
    program sorts a ledger by due date."""
    field = uno.createUnoStruct("com.sun.star.table.TableSortField")
    field.Field = column
    field.IsAscending = True
    field.IsCaseSensitive = False
    return uno.Any("[]com.sun.star.table.TableSortField", (field,))


def read_command(describe):
    """The command "read FILE PASSWORD": prints describe(document) as JSON, or
    {"error": "not loaded"} with exit code 3 when the suite cannot open the file."""
    def read(office, path, password):
        doc = office.load(path, password)
        if doc is None:
            print(json.dumps({"error": "not loaded"}))
            return 3
        print(json.dumps(describe(doc), ensure_ascii=False))
        doc.close(True)
    return read


def run(commands, argv=None):
    """Runs the command named by the first argument with the rest, inside one suite; its
    result (None counts as 0) is the exit code. An unknown command starts no suite."""
    argv = sys.argv[1:] if argv is None else argv
    if not argv or argv[0] not in commands:
        sys.stderr.write("commands: %s\n" % ", ".join(sorted(commands)))
        return 2
    with Office() as office:
        return commands[argv[0]](office, *argv[1:]) or 0
