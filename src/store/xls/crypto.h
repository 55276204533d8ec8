#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// Password protection of the BIFF8 Workbook stream (the FILEPASS record).
//
// Every protection encrypts record payloads by their position in the stream: a cipher is
// told the absolute stream offset of the first byte it transforms. Record headers and the
// records and fields the format keeps in clear (biff::clearBytes in the record layer lists
// them) are never encrypted; the record layer leaves those bytes alone, but for RC4 they
// still take their place in the key stream because the key stream is positioned by offset.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

namespace store {

// A cipher keeps the key stream state of the last call, so that a caller going through the
// stream in order pays for each 1024-byte RC4 block's key once; calls at any other offset
// (backwards, skipping) are still correct. One cipher serves one thread at a time: a second
// thread takes a twin.
class StreamCipher {
public:
    virtual ~StreamCipher() = default;
    // Decrypts (or, for writing, encrypts) `size` bytes in place; `streamOffset` is the
    // offset of data[0] in the Workbook stream. RC4 is its own inverse, so the same call
    // encrypts and decrypts. XOR obfuscation is only ever read: its apply decrypts.
    virtual void apply(uint64_t streamOffset, uint8_t *data, size_t size) = 0;
    // Decrypting XOR obfuscation needs the record type and size of each record
    // (its key position depends on them); other ciphers ignore this call.
    // Call it before the apply calls for that record's payload, with the size from the
    // record header (the whole payload, including any bytes left in clear); XOR then uses
    // key byte (streamOffset + size) % 16 for the byte at streamOffset.
    virtual void beginRecord(uint16_t /*type*/, uint16_t /*size*/, uint64_t /*payloadOffset*/) {}
    // A second cipher with the same key, for a second thread working on another part of the
    // stream; nothing for a cipher whose key depends on what came before (XOR obfuscation).
    virtual std::unique_ptr<StreamCipher> twin() const { return nullptr; }
};

// Reads the FILEPASS payload (without the 4-byte record header) and checks the password.
// Throws StoreError: WrongPassword, Unsupported (a protection this engine does not read),
// Damaged (a payload too short or inconsistent).
// Reads: XOR obfuscation (only the first 15 characters of the password count), RC4 1.1
// (MD5, 40-bit), RC4 CryptoAPI 2.2, 3.2 and 4.2 with keys of 40 to 128 bits. Nothing past
// the payload is read; bytes after the structure are ignored.
std::unique_ptr<StreamCipher> openProtection(const QByteArray &filePassPayload, const QString &password);

// A new RC4 CryptoAPI (version 4.2, 128-bit RC4 with SHA-1, random salt) protection for
// `password`: the FILEPASS payload to write and the cipher that encrypts the stream.
struct NewProtection {
    QByteArray filePassPayload;
    std::unique_ptr<StreamCipher> cipher;
};
NewProtection createProtection(const QString &password);

} // namespace store
