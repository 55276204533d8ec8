#pragma once

// Password protection of the BIFF8 Workbook stream (the FILEPASS record).
//
// Every protection encrypts record payloads by their position in the stream: a cipher is
// told the absolute stream offset of the first byte it transforms. Record headers, the BOF
// record, FILEPASS itself, INTERFACEHDR and the stream position field of BOUNDSHEET are
// never encrypted; the record layer leaves those bytes alone, but for RC4 they still take
// their place in the key stream because the key stream is positioned by offset.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

namespace store {

class StreamCipher {
public:
    virtual ~StreamCipher() = default;
    // Decrypts (or, for writing, encrypts) `size` bytes in place; `streamOffset` is the
    // offset of data[0] in the Workbook stream.
    virtual void apply(uint64_t streamOffset, uint8_t *data, size_t size) = 0;
    // Decrypting XOR obfuscation needs the record type and size of each record
    // (its key position depends on them); other ciphers ignore this call.
    virtual void beginRecord(uint16_t /*type*/, uint16_t /*size*/, uint64_t /*payloadOffset*/) {}
};

// Reads the FILEPASS payload (without the 4-byte record header) and checks the password.
// Throws StoreError: WrongPassword, Unsupported (a protection this engine does not read),
// Damaged (a payload too short or inconsistent).
std::unique_ptr<StreamCipher> openProtection(const QByteArray &filePassPayload, const QString &password);

// A new RC4 CryptoAPI (version 4.2, 128-bit RC4 with SHA-1, random salt) protection for
// `password`: the FILEPASS payload to write and the cipher that encrypts the stream.
struct NewProtection {
    QByteArray filePassPayload;
    std::unique_ptr<StreamCipher> cipher;
};
NewProtection createProtection(const QString &password);

} // namespace store
