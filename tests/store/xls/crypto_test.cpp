// Password protections of the Workbook stream: real files saved by other programs, and our
// own RC4 CryptoAPI protection read back.

#include "support/skip.h"
#include "store/xls/crypto.h"
#include "store/xls/biffstream.h"
#include "store/model/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtTest>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cstring>
#include <numeric>

using store::ErrorKind;
using store::StoreError;

namespace {

constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kUsrExcl = 0x0194;
constexpr uint16_t kFileLock = 0x0195;
constexpr uint16_t kInterfaceHdr = 0x00E1;
constexpr uint16_t kRrdInfo = 0x0196;
constexpr uint16_t kRrdHead = 0x0138;
constexpr uint16_t kBoundSheet = 0x0085;
constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kDimensions = 0x0200;
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kRk = 0x027E;
constexpr uint16_t kMulRk = 0x00BD;
constexpr uint16_t kLabelSst = 0x00FD;
constexpr uint16_t kFormula = 0x0006;

QString vectorsDir()
{
    return QStringLiteral(CONTAVIO_SHARED_DIR "/vectors");
}

uint16_t le16(const QByteArray &b, qsizetype at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}

uint32_t le32(const QByteArray &b, qsizetype at)
{
    return static_cast<uint32_t>(le16(b, at)) | (static_cast<uint32_t>(le16(b, at + 2)) << 16);
}

// The "Workbook" stream of a compound file, read with libgsf.
QByteArray workbookStream(const QString &path)
{
    gsf_init();
    GError *error = nullptr;
    GsfInput *file = gsf_input_stdio_new(QFile::encodeName(path).constData(), &error);
    if (!file) {
        g_clear_error(&error);
        return {};
    }
    QByteArray out;
    GsfInfile *ole = gsf_infile_msole_new(file, &error);
    if (ole) {
        if (GsfInput *stream = gsf_infile_child_by_name(ole, "Workbook")) {
            const gsf_off_t size = gsf_input_size(stream);
            out.resize(static_cast<qsizetype>(size));
            if (size > 0 && !gsf_input_read(stream, static_cast<size_t>(size), reinterpret_cast<guint8 *>(out.data())))
                out.clear();
            g_object_unref(stream);
        }
        g_object_unref(ole);
    }
    g_clear_error(&error);
    g_object_unref(file);
    return out;
}

struct Record {
    uint16_t type;
    uint16_t size;
    qsizetype payload;  // stream offset of the first payload byte
};

// Record headers are never encrypted, so the walk works on the raw stream. Zero padding
// after the last record ends it.
QList<Record> records(const QByteArray &stream)
{
    QList<Record> out;
    qsizetype at = 0;
    while (at + 4 <= stream.size()) {
        const Record r {le16(stream, at), le16(stream, at + 2), at + 4};
        if (r.type == 0 && r.size == 0)
            break;
        if (r.payload + r.size > stream.size())
            break;
        out.append(r);
        at = r.payload + r.size;
    }
    return out;
}

QByteArray filePassPayload(const QByteArray &stream, const QList<Record> &recs)
{
    for (const Record &r : recs) {
        if (r.type == kFilePass)
            return stream.mid(r.payload, r.size);
    }
    return {};
}

// Decrypts every record after FILEPASS in place, leaving alone what the format keeps in
// clear: whole records of a few types, and the sheet offset at the start of BOUNDSHEET.
void decryptStream(QByteArray &stream, const QList<Record> &recs, store::StreamCipher &cipher)
{
    bool encrypted = false;
    for (const Record &r : recs) {
        if (!encrypted) {
            encrypted = r.type == kFilePass;
            continue;
        }
        switch (r.type) {
        case kBof:
        case kFilePass:
        case kUsrExcl:
        case kFileLock:
        case kInterfaceHdr:
        case kRrdInfo:
        case kRrdHead:
            continue;
        default:
            break;
        }
        const qsizetype clear = r.type == kBoundSheet ? 4 : 0;
        if (r.size <= clear)
            continue;
        cipher.beginRecord(r.type, r.size, static_cast<uint64_t>(r.payload));
        cipher.apply(static_cast<uint64_t>(r.payload + clear),
                     reinterpret_cast<uint8_t *>(stream.data() + r.payload + clear), static_cast<size_t>(r.size - clear));
    }
}

// Reads the strings of an SST record and its CONTINUE records; a continuation that splits
// a string's characters starts with its own flag byte.
class SstReader {
public:
    explicit SstReader(QList<QByteArray> segments)
        : m_segments(std::move(segments))
    {
    }

    QStringList strings()
    {
        QStringList out;
        if (!have(8))
            return out;
        skip(4);
        const uint32_t unique = u32();
        for (uint32_t i = 0; i < unique && have(3); ++i) {
            const uint16_t cch = u16();
            const uint8_t flags = u8();
            uint16_t runs = 0;
            uint32_t ext = 0;
            if (flags & 0x08)
                runs = u16();
            if (flags & 0x04)
                ext = u32();
            bool wide = flags & 0x01;
            QString s;
            for (uint16_t c = 0; c < cch && !atEnd(); ++c) {
                if (m_pos == m_segments[m_seg].size()) {
                    next();
                    wide = u8() & 0x01;
                }
                s.append(QChar(wide ? u16() : u8()));
            }
            skip(4u * runs + ext);
            out.append(s);
        }
        return out;
    }

private:
    bool atEnd() const { return m_seg >= m_segments.size(); }
    void next()
    {
        ++m_seg;
        m_pos = 0;
    }
    bool have(qsizetype n) const
    {
        qsizetype left = 0;
        for (qsizetype s = m_seg; s < m_segments.size(); ++s)
            left += m_segments[s].size() - (s == m_seg ? m_pos : 0);
        return left >= n;
    }
    uint8_t u8()
    {
        while (!atEnd() && m_pos == m_segments[m_seg].size())
            next();
        if (atEnd())
            return 0;
        return static_cast<uint8_t>(m_segments[m_seg][m_pos++]);
    }
    uint16_t u16()
    {
        const uint8_t lo = u8();
        return static_cast<uint16_t>(lo | (u8() << 8));
    }
    uint32_t u32()
    {
        const uint16_t lo = u16();
        return lo | (static_cast<uint32_t>(u16()) << 16);
    }
    void skip(uint32_t n)
    {
        while (n-- > 0)
            u8();
    }

    QList<QByteArray> m_segments;
    qsizetype m_seg = 0;
    qsizetype m_pos = 0;
};

double rkValue(uint32_t rk)
{
    double v;
    if (rk & 0x02) {
        v = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100 : v;
}

QString cellName(int row, int col)
{
    QString letters;
    for (int c = col + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar('A' + (c - 1) % 26));
    return letters + QString::number(row + 1);
}

// What a decrypted stream says: enough to compare with the contents the files are known to
// hold. Cells are keyed "Sheet!A1"; numbers are doubles, shared strings are QStrings.
struct Contents {
    QStringList sheets;
    QStringList sst;
    QVariantMap cells;
    int cellCount = 0;
    int cellsOutsideDimensions = 0;
};

Contents contents(const QByteArray &s, const QList<Record> &recs)
{
    Contents out;
    QMap<qsizetype, QString> sheetAt;  // BOF offset -> sheet name
    for (qsizetype i = 0; i < recs.size(); ++i) {
        const Record &r = recs[i];
        if (r.type == kBoundSheet && r.size >= 8) {
            const int cch = static_cast<uint8_t>(s[r.payload + 6]);
            const bool wide = s[r.payload + 7] & 0x01;
            QString name;
            for (int c = 0; c < cch && r.payload + 8 + (c + 1) * (wide ? 2 : 1) <= r.payload + r.size; ++c)
                name.append(QChar(wide ? le16(s, r.payload + 8 + 2 * c) : static_cast<uint8_t>(s[r.payload + 8 + c])));
            out.sheets.append(name);
            sheetAt.insert(le32(s, r.payload), name);
        } else if (r.type == kSst) {
            QList<QByteArray> segments {s.mid(r.payload, r.size)};
            for (qsizetype j = i + 1; j < recs.size() && recs[j].type == kContinue; ++j)
                segments.append(s.mid(recs[j].payload, recs[j].size));
            out.sst = SstReader(segments).strings();
        }
    }

    QString sheet;
    uint32_t rowEnd = 0;
    uint32_t colEnd = 0;
    auto put = [&](uint32_t row, uint32_t col, const QVariant &v) {
        ++out.cellCount;
        if (row >= rowEnd || col >= colEnd)
            ++out.cellsOutsideDimensions;
        out.cells.insert(sheet + u'!' + cellName(static_cast<int>(row), static_cast<int>(col)), v);
    };
    for (const Record &r : recs) {
        const qsizetype p = r.payload;
        if (r.type == kBof) {
            sheet = sheetAt.value(p - 4);
            rowEnd = colEnd = 0;
        } else if (r.type == kDimensions && r.size >= 12) {
            rowEnd = le32(s, p + 4);
            colEnd = le16(s, p + 10);
        } else if (r.type == kNumber && r.size >= 14) {
            double v;
            std::memcpy(&v, s.constData() + p + 6, sizeof v);
            put(le16(s, p), le16(s, p + 2), v);
        } else if (r.type == kFormula && r.size >= 14) {
            // A numeric cached result; other kinds mark their last two bytes 0xFFFF.
            if (le16(s, p + 12) != 0xFFFF) {
                double v;
                std::memcpy(&v, s.constData() + p + 6, sizeof v);
                put(le16(s, p), le16(s, p + 2), v);
            }
        } else if (r.type == kRk && r.size >= 10) {
            put(le16(s, p), le16(s, p + 2), rkValue(le32(s, p + 6)));
        } else if (r.type == kMulRk && r.size >= 6) {
            const uint16_t row = le16(s, p);
            const uint16_t first = le16(s, p + 2);
            for (int k = 0; 4 + 6 * (k + 1) + 2 <= r.size; ++k)
                put(row, first + k, rkValue(le32(s, p + 4 + 6 * k + 2)));
        } else if (r.type == kLabelSst && r.size >= 10) {
            const uint32_t index = le32(s, p + 6);
            put(le16(s, p), le16(s, p + 2), index < static_cast<uint32_t>(out.sst.size()) ? out.sst[index] : QVariant());
        }
    }
    return out;
}

struct Vector {
    QByteArray stream;
    QList<Record> recs;
    QByteArray filePass;
};

// Loads a vector or skips the calling test when the shared folder is missing.
bool loadVector(const QString &file, Vector &v)
{
    const QString path = vectorsDir() + u'/' + file;
    if (!QFileInfo::exists(path))
        return false;
    v.stream = workbookStream(path);
    v.recs = records(v.stream);
    v.filePass = filePassPayload(v.stream, v.recs);
    return true;
}

#define LOAD_VECTOR(file, v)                                                                            \
    do {                                                                                                \
        if (!loadVector(file, v))                                                                       \
            CONTAVIO_SKIP(QStringLiteral("cartella dei file di prova assente: ") + vectorsDir());   \
        QVERIFY2(!v.stream.isEmpty(), "no Workbook stream");                                            \
        QVERIFY2(!v.filePass.isEmpty(), "no FILEPASS record");                                          \
    } while (false)

ErrorKind openFailure(const QByteArray &payload, const QString &password)
{
    try {
        store::openProtection(payload, password);
    } catch (const StoreError &e) {
        return e.kind();
    }
    return ErrorKind::NotFound;  // stands for "it opened"
}

QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray out(n, Qt::Uninitialized);
    for (char &c : out)
        c = static_cast<char>(gen.bounded(256));
    return out;
}

void encryptInChunks(store::StreamCipher &cipher, QByteArray &data, uint64_t base, const QList<qsizetype> &cuts)
{
    // `cuts` are chunk boundaries inside data; the chunks are applied last to first, so the
    // cipher has to go back in the stream for every one of them.
    QList<qsizetype> edges {0};
    edges += cuts;
    edges.append(data.size());
    for (qsizetype i = edges.size() - 2; i >= 0; --i) {
        const qsizetype from = edges[i];
        const qsizetype to = edges[i + 1];
        cipher.apply(base + static_cast<uint64_t>(from), reinterpret_cast<uint8_t *>(data.data() + from),
                     static_cast<size_t>(to - from));
    }
}

} // namespace

class CryptoTest : public QObject {
    Q_OBJECT

private slots:
    void realFileOpensAndDecrypts_data();
    void realFileOpensAndDecrypts();
    void realFileRefusesWrongPassword_data();
    void realFileRefusesWrongPassword();
    void xorCountsOnlyFifteenCharacters();
    void alteredVerifierRefusesRightPassword_data();
    void alteredVerifierRefusesRightPassword();
    void truncatedPayloadIsDamaged_data();
    void truncatedPayloadIsDamaged();
    void unknownProtectionIsUnsupported_data();
    void unknownProtectionIsUnsupported();
    void inconsistentHeaderIsDamaged();
    void equivalentHeadersOpen_data();
    void equivalentHeadersOpen();
    void newProtectionOpensWithItsPassword_data();
    void newProtectionOpensWithItsPassword();
    void newProtectionHeaderLayout();
    void newProtectionHeaderMatchesCurrentWriters();
    void newProtectionsUseFreshSalts();
    void encryptThenDecryptAcrossBlocks_data();
    void encryptThenDecryptAcrossBlocks();
    void sequentialAndScatteredCallsAgree();
    void largeRangeMatchesSmallCalls_data();
    void largeRangeMatchesSmallCalls();
    void streamKeepsInClearWhatOtherReadersExpect();

private:
    void checkClearParts(bool bulk);
};

void CryptoTest::realFileOpensAndDecrypts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("sheets");
    QTest::addColumn<QVariantMap>("cells");
    QTest::addColumn<int>("cellCount");
    QTest::addColumn<QStringList>("textStart");  // {cell, first words of its text}

    const QStringList three {QStringLiteral("Sheet1"), QStringLiteral("Sheet2"), QStringLiteral("Sheet3")};
    const QVariantMap oneToFour {
        {QStringLiteral("Sheet1!A1"), 1.0}, {QStringLiteral("Sheet1!A2"), 2.0}, {QStringLiteral("Sheet1!A3"), 3.0},
        {QStringLiteral("Sheet1!A4"), 4.0}, {QStringLiteral("Sheet1!B2"), 10.0},
    };

    QTest::newRow("CryptoAPI 4.2, 128 bit, string and number")
        << "msoffcrypto__rc4cryptoapi_password.xls" << "Password1234_" << QStringList {"Sheet1"}
        << QVariantMap {{"Sheet1!A1", QStringLiteral("lorem ipsum")}, {"Sheet1!B1", 3.0}} << 2 << QStringList {};
    QTest::newRow("CryptoAPI 4.2, 128 bit, shared string")
        << "poi__35897-type4.xls" << "freedom" << QStringList {"Sheet1"}
        << QVariantMap {{"Sheet1!A1", QStringLiteral("hello there!")}} << 1 << QStringList {};
    QTest::newRow("CryptoAPI 2.2, 40 bit, base provider")
        << "sheetjs__password_2002_40_basecrypto.xls" << "password" << three << oneToFour << 5 << QStringList {};
    QTest::newRow("CryptoAPI 2.2, 40 bit, other provider type")
        << "sheetjs__password_2002_40_dss.xls" << "password" << three << oneToFour << 5 << QStringList {};
    QTest::newRow("CryptoAPI 2.2, 128 bit")
        << "sheetjs__password_2002_128_strong.xls" << "password" << three << oneToFour << 5 << QStringList {};
    QTest::newRow("RC4 1.1, padded stream")
        << "sheetjs__password_2002_40_972000.xls" << "password" << three << oneToFour << 5 << QStringList {};
    QTest::newRow("RC4 1.1, Cyrillic sheet names")
        << "poi__password.xls" << "password"
        << QStringList {QStringLiteral("Лист1"), QStringLiteral("Лист2"), QStringLiteral("Лист3")} << QVariantMap {} << 1
        << QStringList {QStringLiteral("Лист1!D5"), QStringLiteral("A ZIP bomb is a variant of mail-bombing.")};
    QTest::newRow("XOR, short password")
        << "poi__xor-encryption-abc.xls" << "abc" << QStringList {"Sheet1"}
        << QVariantMap {{"Sheet1!A1", 1.0}, {"Sheet1!A2", 2.0}, {"Sheet1!A3", 3.0}} << 3 << QStringList {};
    QTest::newRow("XOR, 8 characters")
        << "sheetjs__password_2002_40_xor.xls" << "password" << three << oneToFour << 5 << QStringList {};
    QTest::newRow("XOR, 15 characters, 10920 cells over many blocks")
        << "msoffcrypto__xor_password_123456789012345.xls" << "123456789012345" << QStringList {"420"}
        << QVariantMap {} << 10920 << QStringList {};
}

void CryptoTest::realFileOpensAndDecrypts()
{
    QFETCH(QString, file);
    QFETCH(QString, password);
    QFETCH(QStringList, sheets);
    QFETCH(QVariantMap, cells);
    QFETCH(int, cellCount);
    QFETCH(QStringList, textStart);

    Vector v;
    LOAD_VECTOR(file, v);
    std::unique_ptr<store::StreamCipher> cipher;
    try {
        cipher = store::openProtection(v.filePass, password);
    } catch (const StoreError &e) {
        QFAIL(qPrintable(QStringLiteral("refused: ") + QString::fromUtf8(e.what())));
    }
    QVERIFY(cipher);
    decryptStream(v.stream, v.recs, *cipher);
    const Contents c = contents(v.stream, v.recs);

    QCOMPARE(c.sheets, sheets);
    for (auto it = cells.cbegin(); it != cells.cend(); ++it)
        QCOMPARE(c.cells.value(it.key()), it.value());
    QCOMPARE(c.cellCount, cellCount);
    if (!textStart.isEmpty()) {
        const QString text = c.cells.value(textStart[0]).toString();
        QVERIFY2(text.startsWith(textStart[1]), qPrintable(text.left(80)));
    }
    // Every decrypted cell position lies inside its sheet's decrypted dimensions: garbage
    // from a misplaced key stream would not.
    QVERIFY(c.cellCount > 0);
    QCOMPARE(c.cellsOutsideDimensions, 0);
}

void CryptoTest::realFileRefusesWrongPassword_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("password");
    QTest::newRow("CryptoAPI 4.2, other case") << "msoffcrypto__rc4cryptoapi_password.xls" << "password1234_";
    QTest::newRow("CryptoAPI 4.2, empty") << "poi__35897-type4.xls" << "";
    QTest::newRow("CryptoAPI 4.2, one character more") << "poi__35897-type4.xls" << "freedom!";
    QTest::newRow("CryptoAPI 2.2, 40 bit") << "sheetjs__password_2002_40_basecrypto.xls" << "Password";
    QTest::newRow("CryptoAPI 2.2, 40 bit, other provider") << "sheetjs__password_2002_40_dss.xls" << "passwort";
    QTest::newRow("CryptoAPI 2.2, 128 bit") << "sheetjs__password_2002_128_strong.xls" << "passwor";
    QTest::newRow("RC4 1.1") << "sheetjs__password_2002_40_972000.xls" << "PASSWORD";
    QTest::newRow("RC4 1.1, empty") << "poi__password.xls" << "";
    QTest::newRow("XOR, other case") << "poi__xor-encryption-abc.xls" << "ABC";
    QTest::newRow("XOR, empty") << "poi__xor-encryption-abc.xls" << "";
    QTest::newRow("XOR, 8 characters") << "sheetjs__password_2002_40_xor.xls" << "passwore";
    QTest::newRow("XOR, 14 of 15 characters")
        << "msoffcrypto__xor_password_123456789012345.xls" << "12345678901234";
}

void CryptoTest::realFileRefusesWrongPassword()
{
    QFETCH(QString, file);
    QFETCH(QString, password);
    Vector v;
    LOAD_VECTOR(file, v);
    try {
        store::openProtection(v.filePass, password);
        QFAIL("a wrong password was accepted");
    } catch (const StoreError &e) {
        QCOMPARE(e.kind(), ErrorKind::WrongPassword);
        QCOMPARE(e.userMessage(), QStringLiteral("La password non è corretta."));
    }
}

void CryptoTest::xorCountsOnlyFifteenCharacters()
{
    Vector v;
    LOAD_VECTOR(QStringLiteral("msoffcrypto__xor_password_123456789012345.xls"), v);
    auto cipher = store::openProtection(v.filePass, QStringLiteral("123456789012345 and more"));
    decryptStream(v.stream, v.recs, *cipher);
    QCOMPARE(contents(v.stream, v.recs).sheets, QStringList {QStringLiteral("420")});
}

void CryptoTest::alteredVerifierRefusesRightPassword_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("at");  // payload byte flipped, counted from the end
    QTest::newRow("XOR verification bytes") << "poi__xor-encryption-abc.xls" << "abc" << 1;
    QTest::newRow("XOR key") << "poi__xor-encryption-abc.xls" << "abc" << 3;
    QTest::newRow("RC4 1.1 verifier hash") << "poi__password.xls" << "password" << 1;
    QTest::newRow("RC4 1.1 salt") << "poi__password.xls" << "password" << 33;
    QTest::newRow("CryptoAPI 4.2 verifier hash") << "poi__35897-type4.xls" << "freedom" << 1;
    QTest::newRow("CryptoAPI 4.2 verifier") << "poi__35897-type4.xls" << "freedom" << 25;
    QTest::newRow("CryptoAPI 2.2, 40 bit, salt") << "sheetjs__password_2002_40_basecrypto.xls" << "password" << 41;
}

void CryptoTest::alteredVerifierRefusesRightPassword()
{
    QFETCH(QString, file);
    QFETCH(QString, password);
    QFETCH(int, at);
    Vector v;
    LOAD_VECTOR(file, v);
    QCOMPARE(openFailure(v.filePass, password), ErrorKind::NotFound);
    v.filePass[v.filePass.size() - at] = static_cast<char>(v.filePass[v.filePass.size() - at] ^ 0x10);
    QCOMPARE(openFailure(v.filePass, password), ErrorKind::WrongPassword);
}

void CryptoTest::truncatedPayloadIsDamaged_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("password");
    QTest::newRow("XOR") << "poi__xor-encryption-abc.xls" << "abc";
    QTest::newRow("RC4 1.1") << "poi__password.xls" << "password";
    QTest::newRow("CryptoAPI 2.2") << "sheetjs__password_2002_40_dss.xls" << "password";
    QTest::newRow("CryptoAPI 4.2") << "poi__35897-type4.xls" << "freedom";
}

void CryptoTest::truncatedPayloadIsDamaged()
{
    QFETCH(QString, file);
    QFETCH(QString, password);
    Vector v;
    LOAD_VECTOR(file, v);
    QCOMPARE(openFailure(v.filePass, password), ErrorKind::NotFound);
    for (qsizetype n = 0; n < v.filePass.size(); ++n) {
        // Each cut is a fresh allocation of exactly n bytes, so a read past it is caught by
        // the sanitizer build.
        const QByteArray cut(v.filePass.constData(), n);
        QCOMPARE(openFailure(cut, password), ErrorKind::Damaged);
    }
}

void CryptoTest::unknownProtectionIsUnsupported_data()
{
    QTest::addColumn<QByteArray>("payload");
    const QByteArray ours = store::createProtection(QStringLiteral("x")).filePassPayload;
    auto patched = [&ours](qsizetype at, QByteArray bytes) {
        QByteArray p = ours;
        p.replace(at, bytes.size(), bytes);
        return p;
    };
    QTest::newRow("encryption type 2") << QByteArray("\x02\x00\x04\x00\x02\x00", 6);
    QTest::newRow("extensible version 4.3") << patched(2, QByteArray("\x04\x00\x03\x00", 4));
    QTest::newRow("agile version 4.4") << patched(2, QByteArray("\x04\x00\x04\x00", 4));
    QTest::newRow("version 1.2") << patched(2, QByteArray("\x01\x00\x02\x00", 4));
    QTest::newRow("AES flag") << patched(14, QByteArray("\x24\x00\x00\x00", 4));
    QTest::newRow("AES-128 algorithm") << patched(22, QByteArray("\x0e\x66\x00\x00", 4));
    QTest::newRow("MD5 hash algorithm") << patched(26, QByteArray("\x03\x80\x00\x00", 4));
    QTest::newRow("256-bit key") << patched(30, QByteArray("\x00\x01\x00\x00", 4));
    QTest::newRow("36-bit key") << patched(30, QByteArray("\x24\x00\x00\x00", 4));
}

void CryptoTest::unknownProtectionIsUnsupported()
{
    QFETCH(QByteArray, payload);
    QCOMPARE(openFailure(payload, QStringLiteral("x")), ErrorKind::Unsupported);
}

void CryptoTest::inconsistentHeaderIsDamaged()
{
    const QByteArray ours = store::createProtection(QStringLiteral("x")).filePassPayload;
    const uint32_t headerSize = le32(ours, 10);
    QByteArray p = ours;
    // A header length running past the end of the record.
    p[10] = static_cast<char>(0xFF);
    p[11] = static_cast<char>(0xFF);
    QCOMPARE(openFailure(p, QStringLiteral("x")), ErrorKind::Damaged);
    // A salt size other than 16.
    p = ours;
    p[14 + headerSize] = 8;
    QCOMPARE(openFailure(p, QStringLiteral("x")), ErrorKind::Damaged);
    // A header too short to hold its fixed fields.
    p = ours;
    p[10] = 8;
    p[11] = 0;
    QCOMPARE(openFailure(p, QStringLiteral("x")), ErrorKind::Damaged);
}

void CryptoTest::equivalentHeadersOpen_data()
{
    // Variants of the same CryptoAPI protection other writers may produce: they derive the
    // same keys, so the right password still opens them and a wrong one still does not.
    QTest::addColumn<qsizetype>("at");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("version 3.2") << qsizetype(2) << QByteArray("\x03\x00\x02\x00", 4);
    QTest::newRow("version 2.2") << qsizetype(2) << QByteArray("\x02\x00\x02\x00", 4);
    QTest::newRow("algorithm left to the flags") << qsizetype(22) << QByteArray(4, '\0');
    QTest::newRow("hash left to the flags") << qsizetype(26) << QByteArray(4, '\0');
    QTest::newRow("property sets encrypted") << qsizetype(14) << QByteArray("\x04\x00\x00\x00", 4);
    QTest::newRow("another provider type") << qsizetype(34) << QByteArray("\x18\x00\x00\x00", 4);
}

void CryptoTest::equivalentHeadersOpen()
{
    QFETCH(qsizetype, at);
    QFETCH(QByteArray, bytes);
    QByteArray p = store::createProtection(QStringLiteral("variante")).filePassPayload;
    p.replace(at, bytes.size(), bytes);
    QCOMPARE(openFailure(p, QStringLiteral("variante")), ErrorKind::NotFound);
    QCOMPARE(openFailure(p, QStringLiteral("Variante")), ErrorKind::WrongPassword);
}

void CryptoTest::newProtectionOpensWithItsPassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("wrong");
    QTest::newRow("plain") << "Contavio2009" << "contavio2009";
    QTest::newRow("accents and euro") << QStringLiteral("però€à") << QStringLiteral("pero€a");
    QTest::newRow("long") << QString(200, u'z') << QString(199, u'z');
    QTest::newRow("one character") << "a" << "b";
}

void CryptoTest::newProtectionOpensWithItsPassword()
{
    QFETCH(QString, password);
    QFETCH(QString, wrong);
    store::NewProtection made = store::createProtection(password);
    QVERIFY(made.cipher);
    QCOMPARE(openFailure(made.filePassPayload, password), ErrorKind::NotFound);
    QCOMPARE(openFailure(made.filePassPayload, wrong), ErrorKind::WrongPassword);

    // What one side encrypts the other decrypts.
    const QByteArray plain = randomBytes(3000, 7);
    QByteArray data = plain;
    made.cipher->apply(600, reinterpret_cast<uint8_t *>(data.data()), static_cast<size_t>(data.size()));
    QVERIFY(data != plain);
    auto opened = store::openProtection(made.filePassPayload, password);
    opened->apply(600, reinterpret_cast<uint8_t *>(data.data()), static_cast<size_t>(data.size()));
    QCOMPARE(data, plain);
}

void CryptoTest::newProtectionHeaderLayout()
{
    const QByteArray p = store::createProtection(QStringLiteral("segreta")).filePassPayload;
    QVERIFY(p.size() >= 14);
    QCOMPARE(le16(p, 0), uint16_t(1));       // RC4
    QCOMPARE(le16(p, 2), uint16_t(4));       // version 4.2
    QCOMPARE(le16(p, 4), uint16_t(2));
    const uint32_t headerSize = le32(p, 10);
    QCOMPARE(qsizetype(14 + headerSize + 4 + 16 + 16 + 4 + 20), p.size());
    QCOMPARE(le32(p, 6), le32(p, 14));       // both copies of the flags
    QCOMPARE(le32(p, 14) & 0x2Cu, 0x0Cu);    // CryptoAPI, property sets in clear, not AES
    QCOMPARE(le32(p, 22), 0x6801u);          // RC4
    QCOMPARE(le32(p, 26), 0x8004u);          // SHA-1
    QCOMPARE(le32(p, 30), 128u);             // key bits
    QCOMPARE(le16(p, 14 + headerSize - 2), uint16_t(0));  // provider name ends with a NUL
    QCOMPARE(le32(p, 14 + headerSize), 16u); // salt size
    QCOMPARE(le32(p, 14 + headerSize + 36), 20u);  // verifier hash size
}

void CryptoTest::newProtectionHeaderMatchesCurrentWriters()
{
    // Everything before the salt is what a current writer puts in a 4.2, 128-bit file.
    Vector v;
    LOAD_VECTOR(QStringLiteral("poi__35897-type4.xls"), v);
    const QByteArray ours = store::createProtection(QStringLiteral("freedom")).filePassPayload;
    QCOMPARE(ours.size(), v.filePass.size());
    const qsizetype saltAt = 14 + le32(v.filePass, 10) + 4;
    QCOMPARE(ours.left(saltAt).toHex(' '), v.filePass.left(saltAt).toHex(' '));
}

void CryptoTest::newProtectionsUseFreshSalts()
{
    const QByteArray a = store::createProtection(QStringLiteral("stessa")).filePassPayload;
    const QByteArray b = store::createProtection(QStringLiteral("stessa")).filePassPayload;
    QCOMPARE(a.size(), b.size());
    const qsizetype salt = 14 + le32(a, 10) + 4;
    QVERIFY(a.mid(salt, 16) != b.mid(salt, 16));
    QVERIFY(a.mid(salt + 16, 16) != b.mid(salt + 16, 16));
    QCOMPARE(openFailure(a, QStringLiteral("stessa")), ErrorKind::NotFound);
    QCOMPARE(openFailure(b, QStringLiteral("stessa")), ErrorKind::NotFound);
}

void CryptoTest::encryptThenDecryptAcrossBlocks_data()
{
    QTest::addColumn<qulonglong>("base");
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<qsizetype>>("cuts");
    QTest::newRow("one call across a boundary") << 1021ull << 9 << QList<qsizetype> {};
    QTest::newRow("odd chunks over three boundaries") << 1001ull << 3100 << QList<qsizetype> {1, 22, 23, 1047, 2071, 3000};
    QTest::newRow("chunk ending exactly on a boundary") << 1ull << 4000 << QList<qsizetype> {1023, 2047, 2048};
    QTest::newRow("far into the stream") << 5'000'000'003ull << 2500 << QList<qsizetype> {700, 701, 1800};
}

void CryptoTest::encryptThenDecryptAcrossBlocks()
{
    QFETCH(qulonglong, base);
    QFETCH(int, size);
    QFETCH(QList<qsizetype>, cuts);
    store::NewProtection made = store::createProtection(QStringLiteral("blocchi"));
    auto reader = store::openProtection(made.filePassPayload, QStringLiteral("blocchi"));

    const QByteArray plain = randomBytes(size, static_cast<quint32>(base));
    QByteArray data = plain;
    encryptInChunks(*made.cipher, data, base, cuts);
    QVERIFY(data != plain);
    // Decrypt in one sequential pass of different chunk sizes.
    for (qsizetype at = 0; at < data.size();) {
        const qsizetype n = std::min<qsizetype>(data.size() - at, 333);
        reader->apply(base + static_cast<uint64_t>(at), reinterpret_cast<uint8_t *>(data.data() + at),
                      static_cast<size_t>(n));
        at += n;
    }
    QCOMPARE(data, plain);
}

void CryptoTest::sequentialAndScatteredCallsAgree()
{
    // The key stream depends only on the offset: encrypting a buffer in one call, byte by
    // byte backwards, or with gaps that are skipped must give the same bytes.
    store::NewProtection made = store::createProtection(QStringLiteral("posizione"));
    auto second = store::openProtection(made.filePassPayload, QStringLiteral("posizione"));
    const QByteArray plain = randomBytes(2600, 99);

    QByteArray whole = plain;
    made.cipher->apply(500, reinterpret_cast<uint8_t *>(whole.data()), static_cast<size_t>(whole.size()));

    QByteArray backwards = plain;
    for (qsizetype i = backwards.size() - 1; i >= 0; --i)
        second->apply(500 + static_cast<uint64_t>(i), reinterpret_cast<uint8_t *>(backwards.data() + i), 1);
    QCOMPARE(backwards, whole);

    QByteArray gaps = plain;
    for (qsizetype i = 0; i < gaps.size(); i += 10)
        second->apply(500 + static_cast<uint64_t>(i), reinterpret_cast<uint8_t *>(gaps.data() + i), 3);
    for (qsizetype i = 0; i < gaps.size(); ++i) {
        if (i % 10 < 3)
            QCOMPARE(gaps[i], whole[i]);
        else
            QCOMPARE(gaps[i], plain[i]);
    }
}

void CryptoTest::largeRangeMatchesSmallCalls_data()
{
    QTest::addColumn<qulonglong>("base");
    QTest::addColumn<int>("size");
    QTest::newRow("block aligned, 256 KiB") << 0ull << 256 * 1024;
    QTest::newRow("odd start and length") << 777ull << 600 * 1024 + 13;
    QTest::newRow("middle of a block") << 300ull * 1024 + 512 << 1024 * 1024 + 1;
}

void CryptoTest::largeRangeMatchesSmallCalls()
{
    // A large range may be shared out between threads; the result, and where the cipher
    // stands afterwards, must be those of many small calls.
    QFETCH(qulonglong, base);
    QFETCH(int, size);
    store::NewProtection made = store::createProtection(QStringLiteral("grande"));
    auto small = store::openProtection(made.filePassPayload, QStringLiteral("grande"));
    const QByteArray plain = randomBytes(size + 100, 5);

    QByteArray big = plain;
    made.cipher->apply(base, reinterpret_cast<uint8_t *>(big.data()), static_cast<size_t>(size));
    made.cipher->apply(base + static_cast<uint64_t>(size), reinterpret_cast<uint8_t *>(big.data() + size), 100);

    QByteArray pieces = plain;
    for (qsizetype at = 0; at < pieces.size(); at += 97) {
        const qsizetype n = std::min<qsizetype>(97, pieces.size() - at);
        small->apply(base + static_cast<uint64_t>(at), reinterpret_cast<uint8_t *>(pieces.data() + at),
                     static_cast<size_t>(n));
    }
    QCOMPARE(big, pieces);
    QVERIFY(big != plain);
}

void CryptoTest::streamKeepsInClearWhatOtherReadersExpect()
{
    // A protected stream with every record kind the format leaves in clear, between records
    // it encrypts: encrypted by the record layer, it must decrypt whole with the list other
    // readers use, and show the clear parts unchanged. Record by record and in bulk alike.
    for (const bool bulk : {false, true})
        checkClearParts(bulk);
}

void CryptoTest::checkClearParts(bool bulk)
{
    store::NewProtection made = store::createProtection(QStringLiteral("chiaro"));
    QByteArray plain;
    auto put = [&](uint16_t type, const QByteArray &payload) {
        const char head[4] = {char(type & 0xFF), char(type >> 8), char(payload.size() & 0xFF), char(payload.size() >> 8)};
        plain.append(head, 4);
        plain.append(payload);
    };
    put(kBof, QByteArray::fromHex("000605000000000000000000000000000000"));
    put(kFilePass, made.filePassPayload);
    const qsizetype from = plain.size();
    const QByteArray filler = randomBytes(40, 11);
    for (uint16_t type : {kInterfaceHdr, kUsrExcl, kFileLock, kRrdInfo, kRrdHead, kNumber, kBoundSheet,
                          kBoundSheet, kBof, kLabelSst, kSst, kContinue})
        put(type, filler);
    put(kBoundSheet, QByteArray("\x01\x02\x03", 3));   // shorter than its position
    put(kFormula, QByteArray());

    QByteArray encrypted = plain;
    store::biff::cipherRecords(reinterpret_cast<uint8_t *>(encrypted.data()), encrypted.size(), from, *made.cipher, bulk);
    const QList<Record> recs = records(encrypted);
    QCOMPARE(recs.size(), records(plain).size());
    for (const Record &r : recs) {
        const QByteArray was = plain.mid(r.payload, r.size), now = encrypted.mid(r.payload, r.size);
        QCOMPARE(encrypted.mid(r.payload - 4, 4), plain.mid(r.payload - 4, 4));
        switch (r.type) {
        case kBof: case kFilePass: case kInterfaceHdr: case kUsrExcl: case kFileLock: case kRrdInfo: case kRrdHead:
            QCOMPARE(now, was);
            break;
        case kBoundSheet:
            QCOMPARE(now.left(4), was.left(4));
            QVERIFY(r.size <= 4 || now.mid(4) != was.mid(4));
            break;
        default:
            QVERIFY(r.size == 0 || now != was);
            break;
        }
    }
    auto reader = store::openProtection(made.filePassPayload, QStringLiteral("chiaro"));
    decryptStream(encrypted, recs, *reader);
    QCOMPARE(encrypted, plain);
}

QTEST_GUILESS_MAIN(CryptoTest)
#include "crypto_test.moc"
