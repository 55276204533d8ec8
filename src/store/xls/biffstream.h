#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// The one BIFF8 record stream of the reader: record headers, bounds, the joining of CONTINUE
// records, and the decryption of a protected stream (which leaves in clear the records and
// fields the format never encrypts). Parsers of single records work on a Cursor over the
// payload and never see stream offsets.

#include "store/biff/biff.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace store {

class StreamCipher;

namespace biff {

// Bounds-checked little-endian reading of one payload. Reading past the end yields zeros and
// clears ok(); callers check ok() once after a group of reads.
class Cursor {
public:
    Cursor(const uint8_t *data, int size) : m_data(data), m_size(size) {}
    explicit Cursor(const QByteArray &b) : m_data(reinterpret_cast<const uint8_t *>(b.constData())), m_size(int(b.size())) {}

    bool ok() const { return m_ok; }
    int pos() const { return m_pos; }
    int size() const { return m_size; }
    int left() const { return m_size - m_pos; }
    const uint8_t *here() const { return m_data + m_pos; }
    bool has(int n) { if (n < 0 || left() < n) { m_ok = false; return false; } return true; }

    uint8_t u8() { if (!has(1)) return 0; return m_data[m_pos++]; }
    uint16_t u16() { if (!has(2)) return 0; uint16_t v = biff::u16(m_data + m_pos); m_pos += 2; return v; }
    uint32_t u32() { if (!has(4)) return 0; uint32_t v = biff::u32(m_data + m_pos); m_pos += 4; return v; }
    double f64() { if (!has(8)) return 0; double v = biff::f64(m_data + m_pos); m_pos += 8; return v; }
    void skip(int n) { if (has(n)) m_pos += n; else m_pos = m_size; }

    // XLUnicodeString (16-bit count), ShortXLUnicodeString (8-bit count) and the count-less
    // form whose count the caller knows. Rich-text runs and phonetic data are skipped, or
    // kept in `rich` when given.
    QString string16(RichText *rich = nullptr) { int n = u16(); return stringBody(n, rich); }
    QString string8() { int n = u8(); return stringBody(n, nullptr); }
    QString stringNoCount(int n) { return stringBody(n, nullptr); }
    QByteArray bytes(int n);

private:
    QString stringBody(int count, RichText *rich);
    const uint8_t *m_data;
    int m_size;
    int m_pos = 0;
    bool m_ok = true;
};

// Characters stored one byte each (Latin-1) or two (UTF-16LE).
QString decodeChars(const uint8_t *p, int count, bool wide);

// A record joined with the CONTINUE records that followed it, with the size of each piece,
// for the records whose strings run over pieces (SST, STRING). A piece boundary may fall
// anywhere: between two strings, inside a string's header, inside its characters, in its
// rich-text runs or its phonetic block. Only a boundary inside the characters (or exactly
// where they begin) is followed by a fresh option byte, which restates whether the rest are
// stored one byte or two each.
class ContinuedReader {
public:
    ContinuedReader(const QByteArray &data, const std::vector<int> &pieceSizes);
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos >= int(m_data.size()); }
    // An XLUnicodeString; its runs and phonetic data go to `rich` when given.
    QString string16(RichText *rich = nullptr);
    uint32_t u32();
    uint16_t u16();

private:
    uint8_t u8();
    void skip(qint64 n);
    QByteArray bytes(qint64 n);
    void advancePiece();
    int pieceEnd() const;      // end of the piece holding m_pos
    bool atPieceStart() const; // m_pos is the first byte of a continuing piece
    QByteArray m_data;
    std::vector<int> m_ends;    // cumulative ends of the pieces
    int m_pos = 0;
    size_t m_piece = 0;
    bool m_ok = true;
};

// The head of a substream, as its BOF record gives it.
struct Bof {
    uint16_t version = 0;
    uint16_t kind = 0;
};

class RecordStream {
public:
    explicit RecordStream(QByteArray bytes);
    // A second reader of `source`'s stream, for another thread: a position of its own over the
    // same bytes, waiting for the same decryption. `source` outlives it and starts no other
    // decryption meanwhile.
    struct SecondReader {};
    RecordStream(const RecordStream &source, SecondReader);
    ~RecordStream();
    RecordStream(const RecordStream &) = delete;
    RecordStream &operator=(const RecordStream &) = delete;

    // Decrypts every payload from stream offset `from` on (the first record after FILEPASS).
    // A large stream under a stream cipher is decrypted by a second thread, piece by piece,
    // while the records already in clear are read: next() waits only for a record the
    // decryption has not reached yet.
    void decrypt(qsizetype from, std::unique_ptr<StreamCipher> cipher, bool streamCipher);
    qsizetype streamSize() const { return m_size; }

    void seek(qsizetype offset) { m_next = offset; m_valid = false; }
    // Moves to the next record; false at the end of the stream or when the record does
    // not fit in what is left of it (truncated() tells the two apart). A record longer than
    // the format allows (kMaxRecordData) is damage: throws StoreError. With `payload` false
    // only the record's header counts (type, size, offset; headers are never encrypted):
    // it does not wait for the decryption, and the payload must not be read.
    bool next(bool payload = true);
    bool truncated() const { return m_truncated; }
    uint16_t type() const { return m_type; }
    int size() const { return m_recordSize; }
    qsizetype offset() const { return m_offset; }
    const uint8_t *data() const { return m_data + m_offset + 4; }
    QByteArray payload() const { return QByteArray(reinterpret_cast<const char *>(data()), m_recordSize); }
    Cursor cursor() const { return Cursor(data(), m_recordSize); }
    // The record type that follows the current one, 0xFFFF when none.
    uint16_t peekType() const;
    // The current record with the CONTINUE records that follow it (consumed).
    QByteArray joinContinues(std::vector<int> *pieceSizes = nullptr);
    // Moves to `offset` and reads the BOF record that must open a substream there: its BIFF
    // version and its substream type (0x0005 globals, 0x0010 worksheet, 0x0020 chart...).
    // Nothing when no BOF of at least those two fields stands there. A BOF is never
    // encrypted: this does not wait for the decryption either.
    std::optional<Bof> substreamAt(qsizetype offset);

private:
    QByteArray m_bytes;              // the stream, held by the first reader only
    const uint8_t *m_data = nullptr;
    qsizetype m_size = 0;
    const RecordStream *m_first = this;   // the reader that holds the bytes and decrypts them
    qsizetype m_next = 0;
    qsizetype m_offset = 0;
    uint16_t m_type = 0;
    int m_recordSize = 0;
    bool m_valid = false;
    bool m_truncated = false;

    // Bytes before this offset are in clear (all of them when nothing is being decrypted).
    void waitFor(qsizetype end) const
    {
        if (end > m_first->m_clear.load(std::memory_order_acquire)) [[unlikely]]
            m_first->waitSlow(end);
    }
    void waitSlow(qsizetype end) const;
    struct Decryptor;
    std::unique_ptr<Decryptor> m_decryptor;
    std::atomic<qsizetype> m_clear{std::numeric_limits<qsizetype>::max()};
};

// How many bytes at the start of a record's payload a protected stream keeps in clear:
// all of BOF, FILEPASS, INTERFACEHDR, the shared-workbook records (USREXCL, FILELOCK,
// RRDINFO, RRDHEAD), and the substream position that opens BOUNDSHEET. Record headers are
// never encrypted. The one list of them, for the reader and the writer.
inline int clearBytes(uint16_t type, int len)
{
    switch (type) {
    case kBof: case kFilePass: case kInterfaceHdr: case kUsrExcl: case kFileLock:
    case kRrdInfo: case kRrdHead:
        return len;
    default:
        return type == kBoundSheet ? std::min(len, 4) : 0;
    }
}

// Encrypts or decrypts the payloads of the records that start at `from`, in place, leaving
// headers and the parts the format keeps in clear untouched. Shared by reader and writer.
// A pure stream cipher (RC4, positioned by offset alone) makes its key stream for whole
// pieces of the range at once, a long range in two halves on two threads: `streamCipher`
// says so; XOR obfuscation, whose key depends on each record, must not. Nothing else may
// touch the range meanwhile.
void cipherRecords(uint8_t *stream, qsizetype size, qsizetype from, StreamCipher &cipher,
                   bool streamCipher = false);

// The cell records of a sheet substream.
inline bool isCellRecord(uint16_t type)
{
    switch (type) {
    case kNumber: case kRk: case kMulRk: case kLabelSst: case kBoolErr: case kBlank: case kMulBlank:
    case kLabel: case kRString: case kFormula: case kFormulaBiff3: case kFormulaBiff4: case kRow:
        return true;
    default:
        return false;
    }
}

// The minimum payload size the reader needs for a record it parses; 0 when it parses none.
inline int minimumRecordSize(uint16_t type)
{
    switch (type) {
    case kBof: return 8;
    case kBoundSheet: return 8;
    case kFilePass: return 2;
    case kSst: return 8;
    case kFont: return 15;
    case kFormat: return 5;
    case kXf: return 20;
    case kDateMode: return 2;
    case kName: return 14;
    case kExternSheet: return 2;
    case kSupBook: return 4;
    case kCodePage: return 2;
    case kWindow1: return 18;
    case kDimensions: return 14;
    case kRow: return 16;
    case kColInfo: return 10;
    case kDefColWidth: return 2;
    case kDefaultRowHeight: return 4;
    case kLabelSst: return 10;
    case kLabel: return 8;   // an empty text may come without its option byte
    case kRString: return 9;
    case kRk: return 10;
    case kMulRk: return 12;
    case kNumber: return 14;
    case kBoolErr: return 8;
    case kBlank: return 6;
    case kMulBlank: return 8;
    case kFormula: case kFormulaBiff3: case kFormulaBiff4: return 20;
    case kString: return 3;
    case kWindow2: return 10;
    case kPane: return 10;
    case kSelection: return 9;
    case kLeftMargin: case kRightMargin: case kTopMargin: case kBottomMargin: return 8;
    case kSetup: return 34;
    case kPrintGridlines: case kPrintHeaders: case kHCenter: case kVCenter: return 2;
    case kWsBool: return 2;
    default: return 0;
    }
}

} // namespace biff
} // namespace store
