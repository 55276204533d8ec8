#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// BIFF8 building blocks shared by the .xls reader and writer, the formulas and the edits:
// record numbers, little-endian access (the model's, in bytes.h), a growing output buffer,
// and (from model/carried.h) BiffExtras, the records a load keeps for the next save because
// the object model does not hold them.

#include "store/model/bytes.h"
#include "store/model/carried.h"
#include "store/model/workbook.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace store {

class Worksheet;

namespace biff {

// Record numbers.
enum : uint16_t {
    kFormula = 0x0006, kEof = 0x000A, kCalcCount = 0x000C, kCalcMode = 0x000D,
    kPrecision = 0x000E, kRefMode = 0x000F, kDelta = 0x0010, kIteration = 0x0011,
    kProtect = 0x0012, kPassword = 0x0013, kHeader = 0x0014, kFooter = 0x0015,
    kExternSheet = 0x0017, kName = 0x0018, kWindowProtect = 0x0019,
    kVerticalPageBreaks = 0x001A, kHorizontalPageBreaks = 0x001B, kNote = 0x001C,
    kSelection = 0x001D, kDateMode = 0x0022, kExternName = 0x0023,
    kLeftMargin = 0x0026, kRightMargin = 0x0027, kTopMargin = 0x0028, kBottomMargin = 0x0029,
    kPrintHeaders = 0x002A, kPrintGridlines = 0x002B, kFilePass = 0x002F, kFont = 0x0031,
    kContinue = 0x003C, kWindow1 = 0x003D, kBackup = 0x0040, kPane = 0x0041,
    kCodePage = 0x0042, kDefColWidth = 0x0055, kXct = 0x0059, kCrn = 0x005A,
    kSaveRecalc = 0x005F, kColInfo = 0x007D, kGuts = 0x0080, kWsBool = 0x0081,
    kGridSet = 0x0082, kHCenter = 0x0083, kVCenter = 0x0084, kBoundSheet = 0x0085,
    kCountry = 0x008C, kHideObj = 0x008D, kPalette = 0x0092, kSetup = 0x00A1,
    kMulRk = 0x00BD, kMulBlank = 0x00BE, kMms = 0x00C1, kRString = 0x00D6,
    kDbCell = 0x00D7, kBookBool = 0x00DA, kXf = 0x00E0, kInterfaceHdr = 0x00E1,
    kInterfaceEnd = 0x00E2, kMergeCells = 0x00E5, kSst = 0x00FC, kLabelSst = 0x00FD,
    kExtSst = 0x00FF, kTabId = 0x013D, kUsesElfs = 0x0160, kDsf = 0x0161,
    kSupBook = 0x01AE, kCondFmt = 0x01B0, kCf = 0x01B1, kRefreshAll = 0x01B7,
    kHLink = 0x01B8, kDimensions = 0x0200, kBlank = 0x0201, kNumber = 0x0203,
    kLabel = 0x0204, kBoolErr = 0x0205, kString = 0x0207, kRow = 0x0208,
    kIndex = 0x020B, kArray = 0x0221, kDefaultRowHeight = 0x0225, kTable = 0x0236,
    kRk = 0x027E, kStyle = 0x0293, kFormat = 0x041E, kShrFmla = 0x04BC,
    kBof = 0x0809, kWriteAccess = 0x005C, kWindow2 = 0x023E, kScl = 0x00A0,
    kMsoDrawingGroup = 0x00EB, kProt4Rev = 0x01AF, kProt4RevPass = 0x01BC,
    // FORMULA under the numbers of older versions, found in BIFF8 files of some writers with
    // the BIFF8 layout; other readers take them as FORMULA, and so do we.
    kFormulaBiff3 = 0x0206, kFormulaBiff4 = 0x0406,
    kUsrExcl = 0x0194, kFileLock = 0x0195, kRrdInfo = 0x0196, kRrdHead = 0x0138,
    kObjProtect = 0x0063, kScenProtect = 0x00DD, kUserSViewBegin = 0x01AA, kUserSViewEnd = 0x01AB,
};

// The page set-up records a sheet substream had, as bits of BiffExtras::pageRecords.
enum PageRecord : uint16_t {
    kHadPrintHeaders = 0x0001, kHadPrintGridlines = 0x0002, kHadHeader = 0x0004,
    kHadFooter = 0x0008, kHadHCenter = 0x0010, kHadVCenter = 0x0020, kHadLeftMargin = 0x0040,
    kHadRightMargin = 0x0080, kHadTopMargin = 0x0100, kHadBottomMargin = 0x0200,
    kHadSetup = 0x0400, kHadDefaultRowHeight = 0x0800,
};

constexpr int kMaxRecordData = 8224;   // longest payload a BIFF8 record may carry

using le::u16;
using le::u32;
using le::f64;
using le::put16;
using le::put32;

// Asks the system to back a large buffer that is about to be filled with huge pages, so that
// filling it takes a page fault every 2 MB instead of every 4 KB. Advice only: nothing
// changes when huge pages are off or the buffer is small.
void adviseLargeBuffer(void *data, qsizetype size);

// A buffer of `size` bytes, uninitialised, advised as above.
QByteArray largeBuffer(qsizetype size);

// An output buffer that grows geometrically and is written through a raw pointer (no
// per-call container bookkeeping); take() hands the bytes over, cut to their size.
class Out {
public:
    Out() = default;
    Out(const Out &) = delete;
    Out &operator=(const Out &) = delete;

    qsizetype size() const { return m_size; }
    void reserve(qsizetype n) { if (n > m_capacity) regrow(n); }
    uint8_t *at(qsizetype offset) { return m_data + offset; }
    QByteArray take()
    {
        m_bytes.truncate(m_size);
        m_size = m_capacity = 0;
        m_data = nullptr;
        return std::move(m_bytes);
    }

    void u8(uint8_t v) { *grow(1) = v; }
    void u16(uint16_t v) { put16(grow(2), v); }
    void u32(uint32_t v) { put32(grow(4), v); }
    void f64(double d) { std::memcpy(grow(8), &d, 8); }
    void raw(const QByteArray &b) { raw(b.constData(), b.size()); }
    void raw(const void *p, qsizetype n) { if (n > 0) std::memcpy(grow(n), p, size_t(n)); }
    // Starts a record and returns the offset of its header; end() fills in the length.
    qsizetype begin(uint16_t type) { qsizetype o = m_size; u16(type); u16(0); return o; }
    void end(qsizetype o) { put16(at(o) + 2, uint16_t(m_size - o - 4)); }
    void record(uint16_t type, const QByteArray &data) { u16(type); u16(uint16_t(data.size())); raw(data); }
    void record(uint16_t type, const void *data, int size) { u16(type); u16(uint16_t(size)); raw(data, size); }
    void empty(uint16_t type) { u16(type); u16(0); }
    void record16(uint16_t type, uint16_t v) { u16(type); u16(2); u16(v); }
    // Room for n more bytes, returned for the caller to fill.
    uint8_t *grow(qsizetype n)
    {
        if (m_size + n > m_capacity) [[unlikely]]
            regrow(std::max<qsizetype>(m_size + n, m_capacity * 2 + 4096));
        uint8_t *p = m_data + m_size;
        m_size += n;
        return p;
    }

private:
    void regrow(qsizetype capacity);   // keeps the bytes written so far
    QByteArray m_bytes;
    uint8_t *m_data = nullptr;         // m_bytes' storage
    qsizetype m_capacity = 0;
    qsizetype m_size = 0;
};

// Whether a text needs two bytes a character (it has a character past Latin-1).
inline bool needsWide(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() > 0xFF)
            return true;
    return false;
}

// `count` characters of a text from `from` on, stored one byte each or two (UTF-16LE).
inline void putChars(Out &out, const QString &s, qsizetype from, qsizetype count, bool wide)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(s.constData()) + from;
    uint8_t *o = out.grow(count * (wide ? 2 : 1));
    if (wide) {
        for (qsizetype i = 0; i < count; ++i) {
            o[2 * i] = uint8_t(p[i]);
            o[2 * i + 1] = uint8_t(p[i] >> 8);
        }
    } else {
        for (qsizetype i = 0; i < count; ++i)
            o[i] = uint8_t(p[i]);
    }
}

// XLUnicodeString: 16-bit count, option byte, characters.
inline void putString16(Out &out, const QString &s)
{
    const bool wide = needsWide(s);
    out.u16(uint16_t(s.size()));
    out.u8(wide ? 1 : 0);
    putChars(out, s, 0, s.size(), wide);
}

// ShortXLUnicodeString: 8-bit count.
inline void putString8(Out &out, const QString &s)
{
    const bool wide = needsWide(s);
    out.u8(uint8_t(s.size()));
    out.u8(wide ? 1 : 0);
    putChars(out, s, 0, s.size(), wide);
}

} // namespace biff
} // namespace store
