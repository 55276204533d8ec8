#include "store/xls/biffstream.h"

#include "store/xls/crypto.h"
#include "store/model/errors.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace store::biff {

QString decodeChars(const uint8_t *p, int count, bool wide)
{
    if (count <= 0)
        return QString();
    if (!wide)
        return QString::fromLatin1(reinterpret_cast<const char *>(p), count);
    QString s(count, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(s.data());
    for (int i = 0; i < count; ++i)
        out[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
    return s;
}

QByteArray Cursor::bytes(int n)
{
    if (!has(n))
        return QByteArray();
    QByteArray b(reinterpret_cast<const char *>(here()), n);
    m_pos += n;
    return b;
}

namespace {

// What follows the option byte in the head of an XLUnicodeString: the number of rich-text
// runs and the size of the phonetic block, each there only when the options say so.
struct StringTail {
    int runs = 0;
    qint64 phonetic = 0;
};

template <typename Reader>
StringTail readStringTail(Reader &r, uint8_t flags)
{
    StringTail t;
    if (flags & 0x08)
        t.runs = r.u16();
    if (flags & 0x04)
        t.phonetic = r.u32();
    return t;
}

} // namespace

QString Cursor::stringBody(int count, RichText *rich)
{
    const uint8_t flags = u8();
    if (!m_ok)
        return QString();
    const auto [runs, ext] = readStringTail(*this, flags);
    const bool wide = flags & 0x01;
    const int bytes = wide ? count * 2 : count;
    if (!has(bytes))
        return QString();
    QString s = decodeChars(here(), count, wide);
    m_pos += bytes;
    // A tail longer than the record is cut to what is there: the text itself is whole.
    const int runBytes = int(std::min<qint64>(qint64(runs) * 4, left()));
    const int extBytes = int(std::min<qint64>(ext, left() - runBytes));
    if (rich) {
        rich->runs = QByteArray(reinterpret_cast<const char *>(here()), runBytes);
        rich->phonetic = QByteArray(reinterpret_cast<const char *>(here()) + runBytes, extBytes);
    }
    m_pos += runBytes + extBytes;
    return s;
}

// ---------------------------------------------------------------------------------------

ContinuedReader::ContinuedReader(const QByteArray &data, const std::vector<int> &pieceSizes)
    : m_data(data)
{
    int end = 0;
    m_ends.reserve(pieceSizes.size());
    for (int s : pieceSizes) {
        end += s;
        m_ends.push_back(end);
    }
    if (m_ends.empty() || m_ends.back() != int(m_data.size()))
        m_ends.push_back(int(m_data.size()));
    advancePiece();   // past empty leading pieces
}

void ContinuedReader::advancePiece()
{
    while (m_piece < m_ends.size() && m_pos >= m_ends[m_piece])
        ++m_piece;
}

int ContinuedReader::pieceEnd() const
{
    return m_piece < m_ends.size() ? m_ends[m_piece] : int(m_data.size());
}

bool ContinuedReader::atPieceStart() const
{
    return m_piece > 0 && m_piece <= m_ends.size() && m_pos == m_ends[m_piece - 1] && m_pos < int(m_data.size());
}

uint8_t ContinuedReader::u8()
{
    if (m_pos >= int(m_data.size())) {
        m_ok = false;
        return 0;
    }
    uint8_t v = uint8_t(m_data[m_pos++]);
    advancePiece();
    return v;
}

uint16_t ContinuedReader::u16()
{
    uint16_t lo = u8();
    return uint16_t(lo | (u8() << 8));
}

uint32_t ContinuedReader::u32()
{
    uint32_t lo = u16();
    return lo | (uint32_t(u16()) << 16);
}

void ContinuedReader::skip(qint64 n)
{
    if (n > qint64(m_data.size()) - m_pos) {
        m_pos = int(m_data.size());
        m_ok = false;
        return;
    }
    m_pos += int(n);
    advancePiece();
}

QByteArray ContinuedReader::bytes(qint64 n)
{
    // Runs and phonetic data go on over a boundary with no byte of their own.
    const qint64 have = std::min<qint64>(n, qint64(m_data.size()) - m_pos);
    QByteArray b = m_data.mid(m_pos, have);
    skip(n);
    return b;
}

QString ContinuedReader::string16(RichText *rich)
{
    // The usual case: count, options and characters all inside the current piece.
    const int end = pieceEnd();
    if (m_pos + 3 <= end) {
        const auto *p = reinterpret_cast<const uint8_t *>(m_data.constData()) + m_pos;
        const int count = biff::u16(p);
        const uint8_t flags = p[2];
        if (!(flags & 0x0C)) {
            const int bytes = (flags & 0x01) ? 2 * count : count;
            if (m_pos + 3 + bytes <= end) {
                QString s = decodeChars(p + 3, count, flags & 0x01);
                skip(3 + bytes);
                if (rich)
                    *rich = RichText();
                return s;
            }
        }
    }
    const int count = u16();
    const uint8_t flags = u8();
    if (!m_ok)
        return QString();
    const auto [runs, ext] = readStringTail(*this, flags);
    bool wide = flags & 0x01;
    QString s;
    s.reserve(count);
    int remaining = count;
    while (remaining > 0 && m_ok) {
        if (m_pos >= int(m_data.size())) {
            m_ok = false;
            break;
        }
        if (atPieceStart()) {
            wide = u8() & 0x01;   // the characters go on in a new piece
            continue;
        }
        const int avail = pieceEnd() - m_pos;
        const int width = wide ? 2 : 1;
        const int take = std::min(remaining, avail / width);
        if (take > 0) {
            s.append(decodeChars(reinterpret_cast<const uint8_t *>(m_data.constData()) + m_pos, take, wide));
            skip(qint64(take) * width);
            remaining -= take;
        } else {
            skip(avail);   // half a character before a boundary: damaged, go on at the boundary
        }
    }
    if (!m_ok)
        return s;
    if (rich) {
        rich->runs = bytes(qint64(runs) * 4);
        rich->phonetic = bytes(ext);
    } else {
        skip(qint64(runs) * 4 + ext);
    }
    return s;
}

// ---------------------------------------------------------------------------------------

// The second thread of a stream decrypted while it is read, and how far it has come.
struct RecordStream::Decryptor {
    std::unique_ptr<StreamCipher> cipher;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable advanced;
    std::atomic<bool> stop{false};
    std::exception_ptr failure;   // what stopped the decryption (set under the mutex)
};

RecordStream::RecordStream(QByteArray bytes)
    : m_bytes(std::move(bytes)), m_data(reinterpret_cast<const uint8_t *>(m_bytes.constData())), m_size(m_bytes.size())
{
}

RecordStream::RecordStream(const RecordStream &source, SecondReader)
    : m_data(source.m_data), m_size(source.m_size), m_first(&source)
{
}

RecordStream::~RecordStream()
{
    if (m_decryptor) {
        m_decryptor->stop = true;
        m_decryptor->thread.join();
    }
}

void RecordStream::waitSlow(qsizetype end) const
{
    std::unique_lock lock(m_decryptor->mutex);
    m_decryptor->advanced.wait(lock, [&] { return m_clear.load(std::memory_order_acquire) >= end || m_decryptor->failure; });
    if (m_clear.load(std::memory_order_acquire) < end)
        std::rethrow_exception(m_decryptor->failure);
}

bool RecordStream::next(bool payload)
{
    m_valid = false;
    m_truncated = false;
    if (m_next < 0 || m_next + 4 > m_size)
        return false;
    const uint8_t *p = m_data + m_next;
    const int size = biff::u16(p + 2);
    if (m_next + 4 + size > m_size) {
        m_truncated = true;
        return false;
    }
    if (payload)
        waitFor(m_next + 4 + size);
    if (size > kMaxRecordData) [[unlikely]]
        throw StoreError(ErrorKind::Damaged, QStringLiteral("Il file è danneggiato: non si riesce a leggere la cartella di lavoro."),
                         QStringLiteral("record %1 di %2 byte all'offset %3, oltre gli %4 di un record")
                             .arg(biff::u16(p)).arg(size).arg(m_next).arg(kMaxRecordData));
    m_type = biff::u16(p);
    m_recordSize = size;
    m_offset = m_next;
    m_next += 4 + size;
    m_valid = true;
    return true;
}

uint16_t RecordStream::peekType() const
{
    if (m_next + 4 > m_size)
        return 0xFFFF;
    return biff::u16(m_data + m_next);
}

QByteArray RecordStream::joinContinues(std::vector<int> *pieceSizes)
{
    // The whole size first, so that the pieces are copied once into one buffer.
    qsizetype total = m_recordSize;
    for (qsizetype at = m_next; at + 4 <= m_size;) {
        const uint8_t *h = m_data + at;
        const int size = biff::u16(h + 2);
        if (biff::u16(h) != kContinue || at + 4 + size > m_size)
            break;
        total += size;
        at += 4 + size;
    }
    QByteArray out = largeBuffer(total);
    char *o = out.data();
    std::memcpy(o, data(), size_t(m_recordSize));
    o += m_recordSize;
    if (pieceSizes) {
        pieceSizes->clear();
        pieceSizes->push_back(m_recordSize);
    }
    while (peekType() == kContinue) {
        const qsizetype save = m_next;
        if (!next()) {
            m_next = save;
            break;
        }
        std::memcpy(o, data(), size_t(m_recordSize));
        o += m_recordSize;
        if (pieceSizes)
            pieceSizes->push_back(m_recordSize);
    }
    out.truncate(o - out.constData());
    return out;
}

std::optional<Bof> RecordStream::substreamAt(qsizetype offset)
{
    seek(offset);
    if (!next(false) || m_type != kBof || m_recordSize < 4)
        return std::nullopt;
    return Bof{biff::u16(data()), biff::u16(data() + 2)};
}

namespace {

// XORs n bytes of key stream into data, a word at a time.
inline void xorInto(uint8_t *data, const uint8_t *key, qsizetype n)
{
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t a, b;
        std::memcpy(&a, data + i, 8);
        std::memcpy(&b, key + i, 8);
        a ^= b;
        std::memcpy(data + i, &a, 8);
    }
    for (; i < n; ++i)
        data[i] ^= key[i];
}

// A pure stream cipher over the whole range while the records already in clear are read: the
// key stream is made a piece at a time and XORed into the payload bytes the format encrypts
// only, so that no byte a reader may look at (headers, clear parts) is ever written. Headers
// are never encrypted, so the record walk reads them directly in both directions.
void cipherInBulk(uint8_t *stream, qsizetype size, qsizetype from, StreamCipher &cipher, qsizetype pieceLimit,
                  const std::function<bool(qsizetype)> &progress)
{
    qsizetype end = from;
    while (end >= 0 && end + 4 <= size) {
        const int len = biff::u16(stream + end + 2);
        if (end + 4 + len > size)
            break;
        end += 4 + len;
    }
    if (end <= from)
        return;
    const qsizetype pieceSize = std::min(pieceLimit, end - from);
    std::unique_ptr<uint8_t[]> key(new uint8_t[size_t(pieceSize)]);
    qsizetype record = from;       // header of the record being worked on
    qsizetype cipherFrom = 0;      // its encrypted bytes: [cipherFrom, recordEnd)
    qsizetype recordEnd = from;
    for (qsizetype piece = from; piece < end; piece += pieceSize) {
        const qsizetype pieceEnd = std::min(end, piece + pieceSize);
        std::memset(key.get(), 0, size_t(pieceEnd - piece));
        cipher.apply(uint64_t(piece), key.get(), size_t(pieceEnd - piece));
        for (;;) {
            if (record >= recordEnd) {
                if (record >= end)
                    break;
                const uint16_t type = biff::u16(stream + record);
                const int len = biff::u16(stream + record + 2);
                cipherFrom = record + 4 + clearBytes(type, len);
                recordEnd = record + 4 + len;
            }
            const qsizetype a = std::max(cipherFrom, piece), b = std::min(recordEnd, pieceEnd);
            if (a < b)
                xorInto(stream + a, key.get() + (a - piece), b - a);
            if (recordEnd > pieceEnd)
                break;   // the record goes on in the next piece
            record = recordEnd;
        }
        if (progress && !progress(pieceEnd))
            break;
    }
    std::memset(key.get(), 0, size_t(pieceSize));
}

} // namespace

namespace {

// A pure stream cipher over the whole records from `from` on, up to the first record that
// starts at `stop` or later or does not fit in `size`; returns where it stopped. A piece's
// key stream gets zeros where the record headers and the clear parts fall, then goes into
// the piece with one XOR; no byte past the stopping point is read or written.
qsizetype cipherRange(uint8_t *stream, qsizetype size, qsizetype from, qsizetype stop, StreamCipher &cipher)
{
    constexpr qsizetype kPiece = 64 * 1024;
    std::unique_ptr<uint8_t[]> key(new uint8_t[size_t(kPiece)]);
    qsizetype record = from;     // the next record header
    qsizetype clearEnd = from;   // end of the clear part of the last record met
    qsizetype end = -1;
    for (qsizetype piece = from; end < 0; piece += kPiece) {
        const qsizetype pieceEnd = std::min(size, piece + kPiece);
        if (piece >= pieceEnd || record >= stop) {
            end = record;
            break;
        }
        std::memset(key.get(), 0, size_t(pieceEnd - piece));
        cipher.apply(uint64_t(piece), key.get(), size_t(pieceEnd - piece));
        auto keepClear = [&](qsizetype a, qsizetype b) {
            a = std::max(a, piece);
            b = std::min(b, pieceEnd);
            if (a < b)
                std::memset(key.get() + (a - piece), 0, size_t(b - a));
        };
        keepClear(piece, clearEnd);
        while (record < pieceEnd) {
            // The header at `stop` belongs to the range after this one: not even read.
            const int len = record < stop && record + 4 <= size ? biff::u16(stream + record + 2) : 0;
            if (record >= stop || record + 4 > size || record + 4 + len > size) {
                end = record;
                break;
            }
            clearEnd = record + 4 + clearBytes(biff::u16(stream + record), len);
            if (clearEnd == record + 4 && clearEnd <= pieceEnd) [[likely]]
                std::memset(key.get() + (record - piece), 0, 4);   // just the header: one store
            else
                keepClear(record, clearEnd);
            record += 4 + len;
        }
        xorInto(stream + piece, key.get(), (end < 0 ? pieceEnd : end) - piece);
    }
    std::memset(key.get(), 0, size_t(kPiece));
    return end;
}

// A stream this long is encrypted by two threads, one half each.
constexpr qsizetype kTwoThreads = qsizetype(1) << 20;

} // namespace

// A stream this long after FILEPASS is decrypted while it is read, a piece at a time.
constexpr qsizetype kBackgroundDecryption = qsizetype(1) << 20;
constexpr qsizetype kBackgroundPiece = 64 * 1024;

void RecordStream::decrypt(qsizetype from, std::unique_ptr<StreamCipher> cipher, bool streamCipher)
{
    m_bytes.detach();
    uint8_t *bytes = reinterpret_cast<uint8_t *>(m_bytes.data());
    m_data = bytes;
    const qsizetype size = m_bytes.size();
    if (!streamCipher || size - from < kBackgroundDecryption || m_decryptor) {
        cipherRecords(bytes, size, from, *cipher, streamCipher);
        return;
    }
    // The rest of the globals (the shared strings above all) this thread decrypts itself,
    // at once, while the second thread starts on the sheets: it would only wait for them.
    qsizetype split = from;
    while (split + 4 <= size && biff::u16(bytes + split) != kEof)
        split += 4 + biff::u16(bytes + split + 2);
    split += split + 4 <= size ? 4 + biff::u16(bytes + split + 2) : 0;   // past the EOF
    std::unique_ptr<StreamCipher> globals = split > from && split < size ? cipher->twin() : nullptr;
    if (!globals)
        split = from;
    m_decryptor = std::make_unique<Decryptor>();
    m_decryptor->cipher = std::move(cipher);
    m_clear.store(split, std::memory_order_release);
    Decryptor &d = *m_decryptor;
    auto publish = [this, &d](qsizetype clearUpTo) {
        {
            std::lock_guard lock(d.mutex);
            m_clear.store(clearUpTo, std::memory_order_release);
        }
        d.advanced.notify_all();
        return !d.stop.load();
    };
    try {
        d.thread = std::thread([bytes, size, split, &d, publish] {
            try {
                cipherInBulk(bytes, size, split, *d.cipher, kBackgroundPiece, publish);
            } catch (...) {
                // What is not decrypted stays unpublished: a reader waiting for it gets this.
                {
                    std::lock_guard lock(d.mutex);
                    d.failure = std::current_exception();
                }
                d.advanced.notify_all();
                return;
            }
            publish(std::numeric_limits<qsizetype>::max());
        });
    } catch (const std::system_error &) {
        m_clear.store(std::numeric_limits<qsizetype>::max());
        cipherRecords(bytes, size, from, *d.cipher, true);
        m_decryptor.reset();
        return;
    }
    if (globals)
        cipherRange(bytes, split, from, split, *globals);
}


void cipherRecords(uint8_t *stream, qsizetype size, qsizetype from, StreamCipher &cipher, bool streamCipher)
{
    if (streamCipher) {
        // A long stream is split at the first record boundary past its middle, found by a
        // walk over the headers before either thread writes a byte.
        qsizetype middle = from;
        if (size - from >= kTwoThreads)
            while (middle >= 0 && middle < from + (size - from) / 2 && middle + 4 <= size)
                middle += 4 + biff::u16(stream + middle + 2);
        std::unique_ptr<StreamCipher> second = middle > from && middle < size ? cipher.twin() : nullptr;
        if (!second) {
            cipherRange(stream, size, from, size, cipher);
            return;
        }
        std::exception_ptr failed;
        std::thread helper;
        try {
            helper = std::thread([&] {
                try {
                    cipherRange(stream, size, middle, size, *second);
                } catch (...) {
                    failed = std::current_exception();
                }
            });
        } catch (const std::system_error &) {
            cipherRange(stream, size, from, size, cipher);
            return;
        }
        try {
            cipherRange(stream, size, from, middle, cipher);
        } catch (...) {
            helper.join();
            throw;
        }
        helper.join();
        if (failed)
            std::rethrow_exception(failed);
        return;
    }
    qsizetype at = from;
    while (at >= 0 && at + 4 <= size) {
        const uint16_t type = biff::u16(stream + at);
        const int len = biff::u16(stream + at + 2);
        const qsizetype payload = at + 4;
        if (payload + len > size)
            break;
        const int clear = clearBytes(type, len);
        if (clear < len) {
            cipher.beginRecord(type, uint16_t(len), uint64_t(payload));
            cipher.apply(uint64_t(payload + clear), stream + payload + clear, size_t(len - clear));
        }
        at = payload + len;
    }
}

} // namespace store::biff
