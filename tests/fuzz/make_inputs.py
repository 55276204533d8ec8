#!/usr/bin/python3
"""Builds the crafted inputs of data/: workbooks whose container or records lie, real files'
odd shapes, and inputs too big to write by hand. Each starts from a small workbook that
LibreOffice saved (made through UNO when --base is not given) and changes what its name
says. The first byte of every output chooses the password tried (see data/README.md).

    /usr/bin/python3 tests/fuzz/make_inputs.py tests/fuzz/data [--base FILE]
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

import olefile

END, FREE, FATSECT = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD
BOF, EOF, BOUNDSHEET, SST, LABELSST, LABEL, CONTINUE = 0x0809, 0x000A, 0x0085, 0x00FC, 0x00FD, 0x0204, 0x003C
FILEPASS, FORMAT, XF, NUMBER, USERSVIEWBEGIN, EXTSST = 0x002F, 0x041E, 0x00E0, 0x0203, 0x01AA, 0x00FF


# ---- records of a Workbook stream -------------------------------------------------------

def records(stream):
    out, i = [], 0
    while i + 4 <= len(stream):
        t, n = struct.unpack_from('<HH', stream, i)
        out.append([t, stream[i + 4:i + 4 + n]])
        i += 4 + n
    return out


def join(recs):
    return b''.join(struct.pack('<HH', t, len(d)) + d for t, d in recs)


def bof(kind, version=0x0600):
    return [BOF, struct.pack('<HHHHII', version, kind, 0x0DBB, 0x07CC, 0, 6)]


def split(recs):
    """The globals and the sheet substreams (each a list of records, nested ones inside)."""
    parts, depth = [[]], 0
    for r in recs:
        if r[0] == BOF and depth == 0 and parts[-1]:
            parts.append([])
        parts[-1].append(r)
        depth += 1 if r[0] == BOF else -1 if r[0] == EOF else 0
    return parts[0], parts[1:]


def assemble(globs, sheets, extra=b''):
    """The stream with each BOUNDSHEET pointing at its sheet, in order (a BOUNDSHEET whose
    position is already set to nonzero keeps it, offset by the globals' new size when
    `relative`)."""
    entries = [r for r in globs if r[0] == BOUNDSHEET]
    at = len(join(globs))
    for entry, sheet in zip(entries, sheets):
        entry[1] = struct.pack('<I', at) + entry[1][4:]
        at += len(join(sheet))
    return join(globs) + b''.join(join(s) for s in sheets) + extra


def boundsheet(name, kind=0, position=0):
    n = name.encode('latin-1')
    return [BOUNDSHEET, struct.pack('<IBBBB', position, 0, kind, len(n), 0) + n]


def string16(text):
    return struct.pack('<HB', len(text), 0) + text.encode('latin-1')


# ---- the compound file ------------------------------------------------------------------

def cfb(streams):
    """A version-3 compound file holding `streams` (name -> bytes) at its top level; streams
    under 4,096 bytes go into the mini stream, as the format wants."""
    ss = 512
    small = {n: d for n, d in streams.items() if len(d) < 4096}
    big = {n: d for n, d in streams.items() if len(d) >= 4096}
    mini, minifat, mstart = b'', [], {}
    for n, d in small.items():
        count = (len(d) + 63) // 64
        mstart[n] = len(minifat) if d else END
        minifat += [len(minifat) + k + 1 for k in range(count - 1)] + ([END] if count else [])
        mini += d + b'\0' * (count * 64 - len(d))
    layout = []  # (what, sector count)
    names = list(streams)
    layout.append(('dir', (len(names) + 1 + 3) // 4))
    layout.append(('minifat', (len(minifat) * 4 + ss - 1) // ss))
    layout.append(('ministream', (len(mini) + ss - 1) // ss))
    for n, d in big.items():
        layout.append((n, (len(d) + ss - 1) // ss))
    data_sectors = sum(c for _, c in layout)
    fat_sectors = 1
    while (data_sectors + fat_sectors) > fat_sectors * 128:
        fat_sectors += 1
    assert fat_sectors <= 109
    fat, start, sector = [FATSECT] * fat_sectors, {}, fat_sectors
    for what, count in layout:
        start[what] = sector if count else END
        fat += [sector + k + 1 for k in range(count - 1)] + ([END] if count else [])
        sector += count
    fat += [FREE] * (-len(fat) % 128)

    def entry(name, kind, first, size, child=FREE, right=FREE):
        e = bytearray(128)
        u = (name + '\0').encode('utf-16-le')
        e[:len(u)] = u
        struct.pack_into('<HBBIII', e, 64, len(u), kind, 1, FREE, right, child)
        struct.pack_into('<II', e, 116, first, size)
        return bytes(e)

    dirents = [entry('Root Entry', 5, start['ministream'], len(mini), child=1 if names else FREE)]
    for i, n in enumerate(names):
        first = mstart[n] if n in small else start[n]
        dirents.append(entry(n, 2, first, len(streams[n]), right=i + 2 if i + 1 < len(names) else FREE))
    head = bytearray(512)
    head[:8] = bytes([0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1])
    struct.pack_into('<HHHHH', head, 24, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into('<IIIIIIIII', head, 40, 0, fat_sectors, start['dir'], 0, 4096, start['minifat'],
                     layout[1][1], END, 0)
    for i in range(109):
        struct.pack_into('<I', head, 76 + 4 * i, i if i < fat_sectors else FREE)

    def pad(b):
        return b + b'\0' * (-len(b) % ss)
    body = b''.join(struct.pack('<I', x) for x in fat)
    body += pad(b''.join(dirents)) + pad(b''.join(struct.pack('<I', x) for x in minifat)) + pad(mini)
    for n, d in big.items():
        body += pad(d)
    return bytes(head) + body


def long_minifat_chain():
    """64 KB sectors, a header that counts one mini-FAT sector, and a FAT whose mini-FAT
    chain runs 6,000 sectors past the end of the file: the container library once sized a
    bitmap on the stack from that chain (10 MB) and crashed."""
    ss, chain = 1 << 16, 6000
    head = bytearray(ss)
    head[:8] = bytes([0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1])
    struct.pack_into('<HHHHH', head, 24, 0x3E, 4, 0xFFFE, 16, 6)
    struct.pack_into('<IIIIIIIII', head, 40, 0, 1, 1, 0, 4096, 2, 1, END, 0)
    struct.pack_into('<109I', head, 76, 0, *([FREE] * 108))
    fat = [FATSECT, END] + [3 + i for i in range(chain - 1)] + [END]
    fat = bytearray(b''.join(struct.pack('<I', x) for x in fat))
    fat += b'\xff' * (ss - len(fat))
    directory = bytearray(ss)
    for i, (name, kind, start, size, child) in enumerate([('Root Entry', 5, 3, 64, 1), ('Workbook', 2, 0, 100, FREE)]):
        u = (name + '\0').encode('utf-16-le')
        directory[128 * i:128 * i + len(u)] = u
        struct.pack_into('<HBBIII', directory, 128 * i + 64, len(u), kind, 1, FREE, FREE, child)
        struct.pack_into('<II', directory, 128 * i + 116, start, size)
    return bytes(head) + bytes(fat) + bytes(directory)


def patch_header(image, offset, value):
    return image[:offset] + struct.pack('<I', value) + image[offset + 4:]


# ---- the base workbook ------------------------------------------------------------------

def make_base(path):
    """A workbook as LibreOffice saves it: one sheet, texts and a number."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'store', 'xls'))
    import office_uno
    with office_uno.Office() as office:
        doc, (sheet,) = office.new_calc('Foglio1')
        sheet.getCellByPosition(0, 0).String = 'uno'
        sheet.getCellByPosition(1, 0).Value = 2
        sheet.getCellByPosition(0, 1).String = 'tre'
        office.save_xls(doc, path, '')
        doc.close(True)


def workbook_stream(path):
    ole = olefile.OleFileIO(path)
    return ole.openstream('Workbook').read()


# ---- the inputs -------------------------------------------------------------------------

def first(recs, kind):
    return next(r for r in recs if r[0] == kind)


def inputs(base, encrypted):
    g, sheets = split(records(base))
    image = cfb({'Workbook': base})
    out = {'crash-cfb-long-minifat-chain-64k-sectors': b'\0' + long_minifat_chain()}
    # Container: counts in the header that disagree with intact chains (other readers open it).
    out['opens-cfb-fat-count-wrong'] = b'\0' + patch_header(image, 44, 7)
    out['opens-cfb-minifat-count-overstated'] = b'\0' + patch_header(cfb({'Workbook': base, 'Piccolo': b'x' * 100}), 64, 100)

    def variant(change):
        gg, ss = split(records(base))
        extra = change(gg, ss)
        return b'\0' + cfb({'Workbook': assemble(gg, ss, extra or b'')})

    def label8(gg, ss):
        cell = first(ss[0], LABELSST)
        cell[0], cell[1] = LABEL, cell[1][:6] + b'\0\0'
    out['opens-label-without-option-byte'] = variant(label8)

    assemble(g, sheets)
    entry = first(g, BOUNDSHEET)
    pos = struct.unpack_from('<I', entry[1])[0]
    entry[1] = struct.pack('<I', pos + 20) + entry[1][4:]
    out['opens-sheet-offset-past-bof'] = b'\0' + cfb({'Workbook': join(g) + b''.join(join(s) for s in sheets)})

    # Lies.
    out['refused-second-workbook-stream'] = b'\0' + cfb({'Workbook': encrypted, 'WORKBOOK': base})

    def filepass_late(gg, ss):
        # The protected workbook's FILEPASS (password "password") after a sheet list in clear.
        at = max(i for i, r in enumerate(gg) if r[0] == BOUNDSHEET)
        gg.insert(at + 1, first(records(encrypted), FILEPASS))
    out['refused-filepass-after-sheet-list'] = b'\2' + variant(filepass_late)[1:]

    def open_view(gg, ss):
        at = ss[0].index(first(ss[0], LABELSST))
        ss[0].insert(at, [USERSVIEWBEGIN, b'\0' * 64])
    out['refused-unclosed-custom-view'] = variant(open_view)

    def sst_index(gg, ss):
        cell = first(ss[0], LABELSST)
        cell[1] = cell[1][:6] + struct.pack('<I', 999)
    out['refused-sst-index-past-table'] = variant(sst_index)

    def sst_long(gg, ss):
        sst = first(gg, SST)
        last = len(sst[1]) - len(string16('tre'))
        sst[1] = sst[1][:last] + struct.pack('<H', 40) + sst[1][last + 2:]
    out['refused-sst-string-longer-than-table'] = variant(sst_long)

    def biff5(gg, ss):
        ss[0][0] = bof(0x0010, 0x0500)
    out['refused-sheet-bof-biff5'] = variant(biff5)

    def second_entry(name, kind, inserted, skip):
        """A second sheet entry pointing `skip` bytes into the records inserted after the
        first sheet's BOF."""
        gg, ss = split(records(base))
        gg.insert(gg.index(first(gg, BOUNDSHEET)) + 1, boundsheet(name, kind))
        ss[0][1:1] = inserted
        assemble(gg, ss)
        at = len(join(gg)) + len(join(ss[0][:1])) + skip
        second = [r for r in gg if r[0] == BOUNDSHEET][1]
        second[1] = struct.pack('<I', at) + second[1][4:]
        return b'\0' + cfb({'Workbook': join(gg) + join(ss[0])})
    # A record whose payload looks like a sheet of its own; a chart nested in the sheet.
    out['refused-sheet-entry-inside-payload'] = second_entry(
        'Finto', 0, [[0x0867, join([bof(0x0010), [EOF, b'']])]], 4)
    out['refused-sheet-entry-inside-substream'] = second_entry('Grafico', 2, [bof(0x0020), [EOF, b'']], 0)

    def second_globals(gg, ss):
        gg.insert(gg.index(first(gg, BOUNDSHEET)) + 1, boundsheet('Globali', kind=255))
        ss.append([bof(0x0005), [EOF, b'']])
    out['refused-sheet-kind-255-globals'] = variant(second_globals)

    def long_record(gg, ss):
        fmt = first(gg, FORMAT)
        fmt[1] = fmt[1][:2] + string16('0' * 9000)
    out['refused-record-longer-than-limit'] = variant(long_record)

    # Inputs that blew up: one 65,535-character shared string in 15,000 cells; one long
    # number format shared by 4,000 cell formats.
    def long_string(gg, ss):
        text = 'x' * 65535
        body = struct.pack('<II', 15000, 1) + string16(text)
        pieces, first_piece = [], True
        while body:
            take = 8224 if first_piece else 8223
            chunk = body[:take]
            pieces.append([SST if first_piece else CONTINUE, chunk if first_piece else b'\0' + chunk])
            body, first_piece = body[take:], False
        at = gg.index(first(gg, SST))
        gg[at:at + 1] = pieces
        gg[:] = [r for r in gg if r[0] != EXTSST]
        cells = [[LABELSST, struct.pack('<HHHI', row, 0, 15, 0)] for row in range(15000)]
        ss[0][:] = [r for r in ss[0] if r[0] not in (LABELSST, NUMBER, 0x027E, 0x0208, 0x00D7)]
        ss[0][1:1] = cells
    out['timeout-long-shared-string-in-many-cells'] = variant(long_string)

    def long_format(gg, ss):
        fmt = first(gg, FORMAT)
        fmt[1] = struct.pack('<H', 200) + string16('#' * 8000 + '0')
        xf = list(first(gg, XF)[1])
        xf[2:4] = struct.pack('<H', 200)
        at = gg.index(first(gg, XF))
        gg[at:at] = [[XF, bytes(xf)] for _ in range(4000)]
    out['timeout-long-format-in-many-cell-formats'] = variant(long_format)

    def far_cells(gg, ss):
        # 40 sheets, each with a number at A65536 and one at IV1.
        sheet = [r for r in ss[0] if r[0] not in (LABELSST, NUMBER, 0x027E, 0x0208, 0x00D7, 0x0200)]
        cells = [[NUMBER, struct.pack('<HHHd', 65535, 0, 15, 1.0)], [NUMBER, struct.pack('<HHHd', 0, 255, 15, 2.0)]]
        at = gg.index(first(gg, BOUNDSHEET))
        gg[at:at + 1] = [boundsheet('F%d' % i) for i in range(40)]
        ss[:] = [sheet[:1] + cells + sheet[1:] for _ in range(40)]
    out['timeout-far-cells-in-many-sheets'] = variant(far_cells)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('outdir')
    ap.add_argument('--base', help='a small workbook LibreOffice saved (made when absent)')
    ap.add_argument('--tool', default='build/tools/contavio-xls', help='for the encrypted workbook')
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        base = args.base or os.path.join(tmp, 'base.xls')
        if not args.base:
            make_base(base)
        protected = os.path.join(tmp, 'protected.xls')
        subprocess.run([args.tool, 'new', protected, '--password', 'password'], check=True)
        made = inputs(workbook_stream(base), workbook_stream(protected))
    for name, data in made.items():
        with open(os.path.join(args.outdir, name), 'wb') as f:
            f.write(data)
        print('%-45s %7d bytes' % (name, len(data)))


if __name__ == '__main__':
    main()
