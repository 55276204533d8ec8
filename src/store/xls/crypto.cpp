#include "store/xls/crypto.h"

#include "store/model/errors.h"
#include "store/biff/biff.h"

#include <QRandomGenerator>

#include <nettle/md5.h>
#include <nettle/sha1.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace store {

namespace {

// FILEPASS wEncryptionType values.
constexpr uint16_t kTypeXor = 0x0000;
constexpr uint16_t kTypeRc4 = 0x0001;

// EncryptionHeader.Flags bits.
constexpr uint32_t kFlagCryptoApi = 0x04;
constexpr uint32_t kFlagDocPropsInClear = 0x08;  // the property set streams are not encrypted
constexpr uint32_t kFlagExternal = 0x10;
constexpr uint32_t kFlagAes = 0x20;

// Algorithm identifiers of the CryptoAPI header.
constexpr uint32_t kAlgRc4 = 0x6801;
constexpr uint32_t kAlgSha1 = 0x8004;

// The key stream of both RC4 flavours restarts with a fresh key every 1024 bytes.
constexpr uint64_t kBlockSize = 1024;

constexpr size_t kSaltSize = 16;
constexpr size_t kVerifierSize = 16;

// Provider name written into new headers, as current writers put it.
const char16_t kProviderName[] = u"Microsoft Enhanced Cryptographic Provider v1.0";

[[noreturn]] void wrongPassword()
{
    throw StoreError(ErrorKind::WrongPassword, QStringLiteral("La password non è corretta."));
}

[[noreturn]] void unsupported(const QString &detail)
{
    throw StoreError(ErrorKind::Unsupported,
                     QStringLiteral("Il file è protetto con un tipo di crittografia che il programma non sa leggere."),
                     detail);
}

[[noreturn]] void damaged(const QString &detail)
{
    throw StoreError(ErrorKind::Damaged,
                     QStringLiteral("Il file è danneggiato: i dati della password non sono leggibili."), detail);
}

// Bounds-checked little-endian reader over the FILEPASS payload.
class PayloadReader {
public:
    explicit PayloadReader(const QByteArray &bytes)
        : m_data(reinterpret_cast<const uint8_t *>(bytes.constData()))
        , m_size(static_cast<size_t>(bytes.size()))
    {
    }

    size_t position() const { return m_pos; }
    size_t remaining() const { return m_size - m_pos; }

    void need(size_t count, const char *what) const
    {
        if (count > remaining())
            damaged(QStringLiteral("FILEPASS troppo corto: %1 mancante alla posizione %2 di %3 byte")
                        .arg(QLatin1String(what))
                        .arg(m_pos)
                        .arg(m_size));
    }

    uint16_t u16(const char *what)
    {
        need(2, what);
        const uint16_t v = biff::u16(m_data + m_pos);
        m_pos += 2;
        return v;
    }

    uint32_t u32(const char *what)
    {
        need(4, what);
        const uint32_t v = biff::u32(m_data + m_pos);
        m_pos += 4;
        return v;
    }

    void bytes(uint8_t *out, size_t count, const char *what)
    {
        need(count, what);
        std::memcpy(out, m_data + m_pos, count);
        m_pos += count;
    }

    void skip(size_t count, const char *what)
    {
        need(count, what);
        m_pos += count;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The password as UTF-16LE bytes, no terminator: what both RC4 flavours hash.
QByteArray utf16le(const QString &password)
{
    QByteArray out;
    out.reserve(password.size() * 2);
    for (const QChar c : password) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// RC4 positioned by stream offset

// RC4 itself comes from OpenSSL, whose key schedule and key stream are about twice as fast
// as nettle's; since OpenSSL 3 it lives in the "legacy" provider, loaded once into a library
// context of the engine's own so that the rest of the program keeps OpenSSL's defaults.
const EVP_CIPHER *rc4Algorithm()
{
    struct Loaded {
        OSSL_LIB_CTX *context = nullptr;
        EVP_CIPHER *rc4 = nullptr;
        Loaded()
        {
            context = OSSL_LIB_CTX_new();
            if (context && OSSL_PROVIDER_load(context, "legacy"))
                rc4 = EVP_CIPHER_fetch(context, "RC4", nullptr);
        }
    };
    static const Loaded loaded;
    if (!loaded.rc4)
        throw StoreError(ErrorKind::Unsupported,
                         QStringLiteral("La cifratura RC4 della libreria OpenSSL non è disponibile: reinstallare il pacchetto libssl3."),
                         QStringLiteral("provider \"legacy\" di OpenSSL non caricato"));
    return loaded.rc4;
}

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// Shared by both RC4 flavours: the key of block n is derived from the password and n, and
// byte k of the stream is encrypted with byte k % 1024 of block k / 1024's key stream.
class Rc4StreamCipher : public StreamCipher {
public:
    void apply(uint64_t streamOffset, uint8_t *data, size_t size) override
    {
        run(m_position, streamOffset, data, size);
    }

protected:
    // Writes the RC4 key for `block` into `key` and returns its length.
    virtual size_t blockKey(uint32_t block, uint8_t *key) const = 0;

private:
    // Where a key stream stands: byte `within` of `block`.
    struct Position {
        CipherContext ctx;
        uint64_t block = 0;
        uint32_t within = 0;
    };

    void run(Position &at, uint64_t streamOffset, uint8_t *data, size_t size) const
    {
        while (size > 0) {
            const uint64_t block = streamOffset / kBlockSize;
            const uint32_t within = static_cast<uint32_t>(streamOffset % kBlockSize);
            seek(at, block, within);
            const size_t n = static_cast<size_t>(std::min<uint64_t>(size, kBlockSize - within));
            crypt(at, data, n);
            at.within += static_cast<uint32_t>(n);
            streamOffset += n;
            data += n;
            size -= n;
        }
    }

    static void crypt(Position &at, uint8_t *data, size_t n)
    {
        int written = 0;
        if (!EVP_CipherUpdate(at.ctx.get(), data, &written, data, static_cast<int>(n)))
            throw StoreError(ErrorKind::Io, QStringLiteral("La cifratura RC4 non è riuscita."));
    }

    // Brings the key stream to byte `within` of `block`, going on where the caller stopped
    // when it can, from the block's fresh key otherwise.
    void seek(Position &at, uint64_t block, uint32_t within) const
    {
        if (!at.ctx || block != at.block || within < at.within) {
            uint8_t key[SHA1_DIGEST_SIZE];
            const size_t length = blockKey(static_cast<uint32_t>(block), key);
            bool keyed = true;
            if (!at.ctx) {
                // The algorithm and the key length once; each block then only sets its key.
                at.ctx.reset(EVP_CIPHER_CTX_new());
                if (!at.ctx)
                    throw std::bad_alloc();
                keyed = EVP_CipherInit_ex2(at.ctx.get(), rc4Algorithm(), nullptr, nullptr, 1, nullptr)
                    && EVP_CIPHER_CTX_set_key_length(at.ctx.get(), static_cast<int>(length));
            }
            keyed = keyed && EVP_CipherInit_ex2(at.ctx.get(), nullptr, key, nullptr, 1, nullptr);
            std::memset(key, 0, sizeof key);
            if (!keyed)
                throw StoreError(ErrorKind::Io, QStringLiteral("La cifratura RC4 non è riuscita."));
            at.block = block;
            at.within = 0;
        }
        if (within > at.within) {
            uint8_t scratch[kBlockSize];
            crypt(at, scratch, within - at.within);
            at.within = within;
        }
    }

    Position m_position;
};

// RC4 with MD5 (version 1.1): the password hash is cut to 40 bits, mixed with the salt,
// and each block key is MD5(truncated hash, block number).
class Rc4Md5Cipher final : public Rc4StreamCipher {
public:
    explicit Rc4Md5Cipher(const std::array<uint8_t, 5> &base)
        : m_base(base)
    {
    }
    std::unique_ptr<StreamCipher> twin() const override { return std::make_unique<Rc4Md5Cipher>(m_base); }

protected:
    size_t blockKey(uint32_t block, uint8_t *key) const override
    {
        uint8_t input[9];
        std::memcpy(input, m_base.data(), 5);
        biff::put32(input + 5, block);
        md5_ctx md5;
        md5_init(&md5);
        md5_update(&md5, sizeof input, input);
        md5_digest(&md5, MD5_DIGEST_SIZE, key);
        return MD5_DIGEST_SIZE;
    }

private:
    std::array<uint8_t, 5> m_base;
};

std::array<uint8_t, 5> rc4Md5Base(const QString &password, const uint8_t *salt)
{
    const QByteArray pw = utf16le(password);
    uint8_t h0[MD5_DIGEST_SIZE];
    md5_ctx md5;
    md5_init(&md5);
    md5_update(&md5, static_cast<size_t>(pw.size()), reinterpret_cast<const uint8_t *>(pw.constData()));
    md5_digest(&md5, sizeof h0, h0);

    // Sixteen copies of (first 5 bytes of the hash, salt) hashed together.
    md5_init(&md5);
    for (int i = 0; i < 16; ++i) {
        md5_update(&md5, 5, h0);
        md5_update(&md5, kSaltSize, salt);
    }
    uint8_t h1[MD5_DIGEST_SIZE];
    md5_digest(&md5, sizeof h1, h1);
    std::array<uint8_t, 5> base;
    std::memcpy(base.data(), h1, 5);
    return base;
}

// RC4 CryptoAPI: each block key is SHA-1(SHA-1(salt, password), block number) cut to the
// key size; a 40-bit key is handed to RC4 as 128 bits, the last 88 of them zero.
class Rc4CryptoApiCipher final : public Rc4StreamCipher {
public:
    Rc4CryptoApiCipher(const std::array<uint8_t, SHA1_DIGEST_SIZE> &base, uint32_t keyBits)
        : m_base(base)
        , m_keyBits(keyBits)
    {
    }
    std::unique_ptr<StreamCipher> twin() const override
    {
        return std::make_unique<Rc4CryptoApiCipher>(m_base, m_keyBits);
    }

protected:
    size_t blockKey(uint32_t block, uint8_t *key) const override
    {
        uint8_t counter[4];
        biff::put32(counter, block);
        sha1_ctx sha;
        sha1_init(&sha);
        sha1_update(&sha, m_base.size(), m_base.data());
        sha1_update(&sha, sizeof counter, counter);
        sha1_digest(&sha, SHA1_DIGEST_SIZE, key);
        if (m_keyBits == 40) {
            std::memset(key + 5, 0, 11);
            return 16;
        }
        return m_keyBits / 8;
    }

private:
    std::array<uint8_t, SHA1_DIGEST_SIZE> m_base;
    uint32_t m_keyBits;
};

std::array<uint8_t, SHA1_DIGEST_SIZE> cryptoApiBase(const QString &password, const uint8_t *salt, size_t saltSize)
{
    const QByteArray pw = utf16le(password);
    sha1_ctx sha;
    sha1_init(&sha);
    sha1_update(&sha, saltSize, salt);
    sha1_update(&sha, static_cast<size_t>(pw.size()), reinterpret_cast<const uint8_t *>(pw.constData()));
    std::array<uint8_t, SHA1_DIGEST_SIZE> base;
    sha1_digest(&sha, SHA1_DIGEST_SIZE, base.data());
    return base;
}

// ---------------------------------------------------------------------------------------
// XOR obfuscation

constexpr std::array<uint16_t, 15> kXorInitialCode = {
    0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E,
    0x1872, 0xE139, 0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3,
};

constexpr std::array<uint16_t, 105> kXorMatrix = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7,
    0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4,
    0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45,
    0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC,
    0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD,
    0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483,
    0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373,
    0x06E6, 0x0DCC, 0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4,
};

// Fills the unused tail of the 16-byte obfuscation array.
constexpr std::array<uint8_t, 15> kXorPad = {
    0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80, 0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00,
};

// One byte per character (the low byte, or the high byte when the low one is zero), at
// most 15 of them: everything past the fifteenth character is ignored.
std::vector<uint8_t> xorPasswordBytes(const QString &password)
{
    std::vector<uint8_t> out;
    for (const QChar c : password) {
        if (out.size() == 15)
            break;
        const uint16_t u = c.unicode();
        out.push_back(static_cast<uint8_t>((u & 0xFF) != 0 ? (u & 0xFF) : (u >> 8)));
    }
    return out;
}

uint16_t xorKey(const std::vector<uint8_t> &pw)
{
    uint16_t key = kXorInitialCode[pw.size() - 1];
    size_t element = kXorMatrix.size() - 1;
    for (auto it = pw.rbegin(); it != pw.rend(); ++it) {
        uint8_t ch = *it;
        for (int bit = 0; bit < 7; ++bit) {
            if (ch & 0x40)
                key ^= kXorMatrix[element];
            ch = static_cast<uint8_t>(ch << 1);
            --element;
        }
    }
    return key;
}

uint16_t xorVerifier(const std::vector<uint8_t> &pw)
{
    // Processed from the last character back to the length byte that precedes them.
    uint16_t verifier = 0;
    auto step = [&verifier](uint8_t byte) {
        const uint16_t carry = (verifier & 0x4000) ? 1 : 0;
        verifier = static_cast<uint16_t>((((verifier << 1) & 0x7FFF) | carry) ^ byte);
    };
    for (auto it = pw.rbegin(); it != pw.rend(); ++it)
        step(*it);
    step(static_cast<uint8_t>(pw.size()));
    return static_cast<uint16_t>(verifier ^ 0xCE4B);
}

uint8_t rotateRight1(uint8_t v)
{
    return static_cast<uint8_t>((v >> 1) | (v << 7));
}

std::array<uint8_t, 16> xorArray(const std::vector<uint8_t> &pw, uint16_t key)
{
    std::array<uint8_t, 16> out {};
    const uint8_t high = static_cast<uint8_t>(key >> 8);
    const uint8_t low = static_cast<uint8_t>(key & 0xFF);
    auto mix = [](uint8_t a, uint8_t b) { return rotateRight1(static_cast<uint8_t>(a ^ b)); };

    size_t index = pw.size();
    if (index % 2 == 1) {
        out[index] = mix(kXorPad[0], high);
        --index;
        out[index] = mix(pw.back(), low);
    }
    while (index > 0) {
        --index;
        out[index] = mix(pw[index], high);
        --index;
        out[index] = mix(pw[index], low);
    }
    // The pad fills positions 15 down to just after the password, alternately with the high
    // and the low key byte.
    int at = 15;
    int pad = 15 - static_cast<int>(pw.size());
    while (pad > 0) {
        out[static_cast<size_t>(at--)] = mix(kXorPad[static_cast<size_t>(pad--)], high);
        out[static_cast<size_t>(at--)] = mix(kXorPad[static_cast<size_t>(pad--)], low);
    }
    return out;
}

// A byte at stream offset p of a record whose payload is `size` bytes long uses array
// entry (p + size) % 16: the record length shifts the whole record's position.
class XorCipher final : public StreamCipher {
public:
    explicit XorCipher(const std::array<uint8_t, 16> &array)
        : m_array(array)
    {
    }

    void beginRecord(uint16_t /*type*/, uint16_t size, uint64_t /*payloadOffset*/) override { m_recordSize = size; }

    void apply(uint64_t streamOffset, uint8_t *data, size_t size) override
    {
        size_t index = static_cast<size_t>((streamOffset + m_recordSize) % 16);
        for (size_t i = 0; i < size; ++i) {
            const uint8_t v = static_cast<uint8_t>(data[i] ^ m_array[index]);
            data[i] = static_cast<uint8_t>((v >> 5) | (v << 3));
            index = (index + 1) & 15;
        }
    }

private:
    std::array<uint8_t, 16> m_array;
    uint16_t m_recordSize = 0;
};

// ---------------------------------------------------------------------------------------
// Readers of the FILEPASS variants

std::unique_ptr<StreamCipher> openXor(PayloadReader &in, const QString &password)
{
    const uint16_t key = in.u16("chiave XOR");
    const uint16_t verification = in.u16("verifica XOR");
    const std::vector<uint8_t> pw = xorPasswordBytes(password);
    if (pw.empty())
        wrongPassword();
    const uint16_t ownKey = xorKey(pw);
    if (ownKey != key || xorVerifier(pw) != verification)
        wrongPassword();
    return std::make_unique<XorCipher>(xorArray(pw, ownKey));
}

// Decrypts verifier and verifier hash in one run of block 0's key stream and compares the
// hash of the one with the other.
template <typename Cipher>
bool verifierMatches(Cipher &cipher, const uint8_t *encVerifier, const uint8_t *encHash, size_t hashSize,
                     bool sha1)
{
    uint8_t buffer[kVerifierSize + SHA1_DIGEST_SIZE];
    std::memcpy(buffer, encVerifier, kVerifierSize);
    std::memcpy(buffer + kVerifierSize, encHash, hashSize);
    cipher.apply(0, buffer, kVerifierSize + hashSize);
    uint8_t digest[SHA1_DIGEST_SIZE];
    if (sha1) {
        sha1_ctx sha;
        sha1_init(&sha);
        sha1_update(&sha, kVerifierSize, buffer);
        sha1_digest(&sha, SHA1_DIGEST_SIZE, digest);
    } else {
        md5_ctx md5;
        md5_init(&md5);
        md5_update(&md5, kVerifierSize, buffer);
        md5_digest(&md5, MD5_DIGEST_SIZE, digest);
    }
    return std::memcmp(digest, buffer + kVerifierSize, hashSize) == 0;
}

std::unique_ptr<StreamCipher> openRc4Md5(PayloadReader &in, const QString &password)
{
    uint8_t salt[kSaltSize];
    uint8_t encVerifier[kVerifierSize];
    uint8_t encHash[MD5_DIGEST_SIZE];
    in.bytes(salt, sizeof salt, "sale");
    in.bytes(encVerifier, sizeof encVerifier, "verificatore");
    in.bytes(encHash, sizeof encHash, "hash del verificatore");
    auto cipher = std::make_unique<Rc4Md5Cipher>(rc4Md5Base(password, salt));
    if (!verifierMatches(*cipher, encVerifier, encHash, MD5_DIGEST_SIZE, false))
        wrongPassword();
    return cipher;
}

std::unique_ptr<StreamCipher> openRc4CryptoApi(PayloadReader &in, const QString &password)
{
    in.u32("flag");  // a copy of the header's own flags
    const uint32_t headerSize = in.u32("lunghezza dell'intestazione");
    in.need(headerSize, "intestazione");
    if (headerSize < 32)
        damaged(QStringLiteral("intestazione di crittografia di %1 byte").arg(headerSize));
    const size_t headerEnd = in.position() + headerSize;

    const uint32_t flags = in.u32("flag");
    in.u32("SizeExtra");
    const uint32_t algId = in.u32("AlgID");
    const uint32_t algIdHash = in.u32("AlgIDHash");
    uint32_t keyBits = in.u32("KeySize");
    in.skip(headerEnd - in.position(), "intestazione");  // provider type, reserved, provider name

    if (flags & (kFlagAes | kFlagExternal))
        unsupported(QStringLiteral("crittografia CryptoAPI con flag 0x%1").arg(flags, 0, 16));
    if (!(algId == 0 || algId == kAlgRc4))
        unsupported(QStringLiteral("algoritmo CryptoAPI 0x%1").arg(algId, 0, 16));
    if (!(algIdHash == 0 || algIdHash == kAlgSha1))
        unsupported(QStringLiteral("hash CryptoAPI 0x%1").arg(algIdHash, 0, 16));
    if (keyBits == 0)
        keyBits = 40;
    if (keyBits < 40 || keyBits > 128 || keyBits % 8 != 0)
        unsupported(QStringLiteral("chiave RC4 di %1 bit").arg(keyBits));

    const uint32_t saltSize = in.u32("lunghezza del sale");
    if (saltSize != kSaltSize)
        damaged(QStringLiteral("sale di %1 byte").arg(saltSize));
    uint8_t salt[kSaltSize];
    uint8_t encVerifier[kVerifierSize];
    in.bytes(salt, sizeof salt, "sale");
    in.bytes(encVerifier, sizeof encVerifier, "verificatore");
    const uint32_t hashSize = in.u32("lunghezza dell'hash");
    if (hashSize != SHA1_DIGEST_SIZE)
        damaged(QStringLiteral("hash del verificatore di %1 byte").arg(hashSize));
    uint8_t encHash[SHA1_DIGEST_SIZE];
    in.bytes(encHash, sizeof encHash, "hash del verificatore");

    auto cipher = std::make_unique<Rc4CryptoApiCipher>(cryptoApiBase(password, salt, sizeof salt), keyBits);
    if (!verifierMatches(*cipher, encVerifier, encHash, SHA1_DIGEST_SIZE, true))
        wrongPassword();
    return cipher;
}

} // namespace

std::unique_ptr<StreamCipher> openProtection(const QByteArray &filePassPayload, const QString &password)
{
    PayloadReader in(filePassPayload);
    const uint16_t type = in.u16("tipo di crittografia");
    if (type == kTypeXor)
        return openXor(in, password);
    if (type != kTypeRc4)
        unsupported(QStringLiteral("FILEPASS di tipo %1").arg(type));

    const uint16_t major = in.u16("versione");
    const uint16_t minor = in.u16("versione");
    if (major == 1 && minor == 1)
        return openRc4Md5(in, password);
    if (major >= 2 && major <= 4 && minor == 2)
        return openRc4CryptoApi(in, password);
    unsupported(QStringLiteral("crittografia RC4 versione %1.%2").arg(major).arg(minor));
}

NewProtection createProtection(const QString &password)
{
    uint8_t salt[kSaltSize];
    uint8_t verifier[kVerifierSize];
    QRandomGenerator *random = QRandomGenerator::system();
    random->fillRange(reinterpret_cast<quint32 *>(salt), sizeof salt / sizeof(quint32));
    random->fillRange(reinterpret_cast<quint32 *>(verifier), sizeof verifier / sizeof(quint32));

    constexpr uint32_t keyBits = 128;
    auto cipher = std::make_unique<Rc4CryptoApiCipher>(cryptoApiBase(password, salt, sizeof salt), keyBits);

    // Verifier and its SHA-1 hash, encrypted together from the start of block 0.
    uint8_t encrypted[kVerifierSize + SHA1_DIGEST_SIZE];
    std::memcpy(encrypted, verifier, kVerifierSize);
    sha1_ctx sha;
    sha1_init(&sha);
    sha1_update(&sha, kVerifierSize, verifier);
    sha1_digest(&sha, SHA1_DIGEST_SIZE, encrypted + kVerifierSize);
    cipher->apply(0, encrypted, sizeof encrypted);

    // We never encrypt the property set streams, and say so, as current writers do.
    constexpr uint32_t flags = kFlagCryptoApi | kFlagDocPropsInClear;
    biff::Out header;
    header.u32(flags);
    header.u32(0);         // SizeExtra
    header.u32(kAlgRc4);
    header.u32(kAlgSha1);
    header.u32(keyBits);
    header.u32(1);         // provider type: RSA full
    header.u32(0);         // reserved
    header.u32(0);         // reserved
    for (const char16_t *c = kProviderName; *c; ++c)
        header.u16(static_cast<uint16_t>(*c));
    header.u16(0);

    biff::Out out;
    out.u16(kTypeRc4);
    out.u16(4);
    out.u16(2);
    out.u32(flags);
    out.u32(static_cast<uint32_t>(header.size()));
    out.raw(header.take());
    out.u32(kSaltSize);
    out.raw(salt, sizeof salt);
    out.raw(encrypted, kVerifierSize);
    out.u32(SHA1_DIGEST_SIZE);
    out.raw(encrypted + kVerifierSize, SHA1_DIGEST_SIZE);

    // The cipher handed back starts fresh: the verifier run above moved it along block 0.
    return {out.take(), std::make_unique<Rc4CryptoApiCipher>(cryptoApiBase(password, salt, sizeof salt), keyBits)};
}

} // namespace store
