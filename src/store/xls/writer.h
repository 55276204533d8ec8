#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// The parts of the .xls writer, shared by its source files: the writer of the globals, of
// the names and external references, and of one sheet substream. Internal to the file layer.

#include "store/biff/biff.h"
#include "store/xls/biffstream.h"
#include "store/xls/crypto.h"
#include "store/model/workbook.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <exception>
#include <thread>
#include <memory>
#include <vector>

namespace store::xlswrite {

using namespace biff;

// The longest text a string record can hold: its character count is 16 bits.
constexpr qsizetype kMaxStoredText = 0xFFFF;

// The extras of a workbook or sheet that a load did not make.
const BiffExtras &noExtras();

// A two-byte little-endian payload.
QByteArray le16(uint16_t v);

// Writes strings into a record that continues in CONTINUE records when full: a string's
// head (count and options) is never split, its characters are split only between whole
// characters, and each continued part restates the width in a fresh option byte.
class ContinuedWriter {
public:
    ContinuedWriter(Out &out, uint16_t type) : m_out(out) { m_start = m_out.begin(type); }

    qsizetype room() const { return kMaxRecordData - (m_out.size() - m_start - 4); }
    qsizetype recordStart() const { return m_start; }
    void fixed(uint32_t v) { ensure(4); m_out.u32(v); }

    // Returns the stream offset where the string begins. Rich-text runs follow the
    // characters, split only between whole runs (as readers expect), then the phonetic block,
    // split anywhere.
    qsizetype string(const QString &s, const RichText *rich = nullptr)
    {
        const bool wide = needsWide(s);
        const int width = wide ? 2 : 1;
        const qsizetype runs = rich ? std::min<qsizetype>(rich->runs.size() / 4, 0xFFFF) : 0;
        const bool phonetic = rich && !rich->phonetic.isEmpty();
        const int head = 3 + (runs ? 2 : 0) + (phonetic ? 4 : 0);
        if (room() < head + (s.isEmpty() ? 0 : width))
            next();
        const qsizetype at = m_out.size();
        m_out.u16(uint16_t(s.size()));
        m_out.u8(uint8_t((wide ? 0x01 : 0) | (phonetic ? 0x04 : 0) | (runs ? 0x08 : 0)));
        if (runs)
            m_out.u16(uint16_t(runs));
        if (phonetic)
            m_out.u32(uint32_t(rich->phonetic.size()));
        characters(s, wide);
        if (runs)
            bytes(rich->runs.constData(), runs * 4, 4);
        if (phonetic)
            bytes(rich->phonetic.constData(), rich->phonetic.size(), 1);
        return at;
    }

    void finish() { m_out.end(m_start); }

private:
    void characters(const QString &s, bool wide)
    {
        const int width = wide ? 2 : 1;
        qsizetype done = 0;
        while (done < s.size()) {
            qsizetype take = std::min<qsizetype>(s.size() - done, room() / width);
            if (take == 0) {
                next();
                m_out.u8(wide ? 1 : 0);
                continue;
            }
            putChars(m_out, s, done, take, wide);
            done += take;
        }
    }
    void bytes(const char *p, qsizetype n, int unit)
    {
        while (n > 0) {
            if (room() < unit)
                next();
            const qsizetype take = std::min<qsizetype>(n, room() / unit * unit);
            m_out.raw(p, take);
            p += take;
            n -= take;
        }
    }
    void ensure(int n) { if (room() < n) next(); }
    void next()
    {
        m_out.end(m_start);
        m_start = m_out.begin(kContinue);
    }
    Out &m_out;
    qsizetype m_start;
};

// Calls f(record, label) for every record of a carried sheet, in order; `label` is true for
// the LABELSST records of the sheet's own substream (not of the charts embedded in it),
// whose string index a save renumbers.
template <typename F>
void forEachRecord(const OtherSheet &other, F &&f)
{
    int depth = 0;
    for (const RawRecord &r : other.records) {
        if (r.type == kBof)
            ++depth;
        else if (r.type == kEof)
            --depth;
        f(r, r.type == kLabelSst && depth == 1 && r.data.size() >= 10);
    }
}

// One entry of the sheet tab order being written.
struct Tab {
    const Worksheet *sheet = nullptr;
    const OtherSheet *other = nullptr;
    int originalTab = -1;
    qsizetype boundSheetAt = 0;   // stream offset of the BOUNDSHEET payload
};

// Whether a stored cell goes into the file: a value, a formula, or a blank with a format.
inline bool isSaved(const Cell &cell)
{
    return (cell.flags & Cell::kWritten)
        && !(cell.kind == CellKind::Empty && cell.xf == Styles::kDefaultCellXf && !cell.isFormula());
}

// The extent of a worksheet's saved cells, 1-based (all zero when it has none).
struct CellExtent {
    int firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
    size_t count = 0;
};

class Writer {
public:
    explicit Writer(const Workbook &book) : m_book(book) {}
    QByteArray stream();
    QByteArray filePassPayload;
    std::unique_ptr<StreamCipher> cipher;

private:
    // A worksheet written on a second thread while the globals and the other sheets are.
    class SheetOnSecondThread {
    public:
        SheetOnSecondThread(const Writer &writer, size_t tab);
        ~SheetOnSecondThread();
        size_t tab() const { return m_tab; }
        QByteArray take();   // its substream; rethrows what the thread threw
    private:
        size_t m_tab = SIZE_MAX;
        std::thread m_thread;
        QByteArray m_bytes;
        std::exception_ptr m_error;
    };
    size_t secondThreadSheet() const;
    void planTabs();
    void collectStrings();
    void bof(uint16_t kind);
    void bookHead(const BiffExtras &bx);
    void window1(const BiffExtras &bx);
    void styleRecords();
    void sheetList();
    void globals();
    void names();
    void remapExternalSheets();
    void ensureInternalSupBook();
    std::vector<QByteArray> nameRecords();
    QByteArray printName(const Worksheet &ws, int tab, int which);
    QByteArray printAreaName(const Worksheet &ws, int tab);
    QByteArray printTitlesName(const Worksheet &ws, int tab);
    void externalReferences();
    void sst();
    void sheet(const Worksheet &ws, size_t tabIndex);
    void sheetHead(const Worksheet &ws, const BiffExtras &bx);
    void columns(const Worksheet &ws, const BiffExtras &bx);
    void window(const Worksheet &ws, const BiffExtras &bx);
    // One row of the cell table: its saved columns (1-based, 0 when none), height, format.
    struct RowInfo { int row; int first; int last; double height; RowFormat format; };
    void cellTable(const Worksheet &ws, const CellExtent &extent);
    int lastRowWritten(const Worksheet &ws, const CellExtent &extent) const;
    void blockRows(const Worksheet &ws, int top, int bottom, std::vector<RowInfo> &rows) const;
    void rowRecords(const std::vector<RowInfo> &rows, double defaultHeight);
    void rowCells(const Worksheet &ws, const RowInfo &ri);
    void otherSheet(const OtherSheet &other);
    void formulaRecord(const Worksheet &ws, uint16_t row, uint16_t col, const Cell &c);
    // Starts a cell record (type, length, row, column, XF) with `extra` bytes after the XF and
    // returns where those bytes go.
    uint8_t *cellRecord(uint16_t type, uint16_t extra, uint16_t row, int col, uint16_t xf)
    {
        uint8_t *o = m_out.grow(10 + extra);
        put16(o, type);
        put16(o + 2, uint16_t(6 + extra));
        put16(o + 4, row);
        put16(o + 6, uint16_t(col));
        put16(o + 8, xf);
        return o + 10;
    }
    void carried(const BiffExtras &bx, Place place);
    void carriedOr(const BiffExtras &bx, uint16_t type, const QByteArray &fallback);
    QByteArray nameRecord(int builtin, int tab, const QByteArray &formula) const;
    QByteArray area3d(int ixti, const RangeRect &r) const;
    int xtiFor(int tab);

    const Workbook &m_book;
    const BiffExtras &bookExtras() const { return m_book.extras ? *m_book.extras : noExtras(); }
    Out m_out;
    std::vector<Tab> m_tabs;
    std::vector<int> m_tabOf;               // original tab -> new tab (-1 gone)
    std::vector<uint32_t> m_sstOf;          // string pool index -> SST index
    std::vector<uint32_t> m_sstStrings;     // SST index -> string pool index
    uint32_t m_sstRefs = 0;
    std::vector<Xti> m_xtis;
    int m_internalSupBook = -1;
    std::vector<SupBook> m_supBooks;
    std::vector<CellExtent> m_extents;      // per tab (worksheets only)
};

} // namespace store::xlswrite
