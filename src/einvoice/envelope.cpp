#include "einvoice/envelope.h"

#include <QList>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>

#include <memory>

namespace einvoice {

namespace {

constexpr int kMaxNesting = 3;

// The text between PEM lines, or the whole text, without blanks and line breaks.
QByteArray base64Body(const QByteArray &bytes)
{
    QByteArray body;
    body.reserve(bytes.size());
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith("-----"))
            continue;
        for (char c : trimmed)
            if (c != ' ' && c != '\t' && c != '\r')
                body.append(c);
    }
    return body;
}

bool isBase64Text(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return false;
    for (char c : bytes.left(4096)) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                     || c == '+' || c == '/' || c == '=' || c == '\n' || c == '\r' || c == ' '
                     || c == '\t' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

// The signed content of one DER envelope; empty with an error when it is none.
Unwrapped openDer(const QByteArray &der)
{
    Unwrapped result;
    std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_mem_buf(der.constData(), int(der.size())), BIO_free);
    std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)> cms(
        in ? d2i_CMS_bio(in.get(), nullptr) : nullptr, CMS_ContentInfo_free);
    ERR_clear_error();
    if (!cms) {
        result.error = QStringLiteral("busta firmata (.p7m) illeggibile o danneggiata");
        return result;
    }
    ASN1_OCTET_STRING **content = CMS_get0_content(cms.get());
    if (!content || !*content || ASN1_STRING_length(*content) <= 0) {
        result.error = QStringLiteral("la busta firmata (.p7m) non contiene il documento");
        return result;
    }
    result.content = QByteArray(reinterpret_cast<const char *>(ASN1_STRING_get0_data(*content)),
                                ASN1_STRING_length(*content));
    return result;
}

} // namespace

bool looksLikeEnvelope(const QByteArray &bytes)
{
    return (!bytes.isEmpty() && uchar(bytes[0]) == 0x30) || isBase64Text(bytes.left(64).trimmed());
}

Unwrapped unwrapEnvelope(const QByteArray &bytes)
{
    if (bytes.size() > kMaxEnvelopeBytes)
        return {{}, QStringLiteral("busta firmata (.p7m) troppo grande")};
    QByteArray current = bytes;
    for (int level = 0; level < kMaxNesting; ++level) {
        if (current.isEmpty() || uchar(current[0]) != 0x30) {
            if (!isBase64Text(current))
                return {{}, QStringLiteral("busta firmata (.p7m) illeggibile o danneggiata")};
            auto decoded = QByteArray::fromBase64Encoding(base64Body(current),
                                                          QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded || decoded.decoded.isEmpty())
                return {{}, QStringLiteral("busta firmata (.p7m) in base64 non valida")};
            current = std::move(decoded.decoded);
        }
        Unwrapped opened = openDer(current);
        if (!opened.error.isEmpty())
            return opened;
        // A document signed twice is an envelope inside an envelope.
        const QByteArray &inner = opened.content;
        const bool nested = uchar(inner[0]) == 0x30 || (isBase64Text(inner.left(4096)) && !inner.trimmed().startsWith('<'));
        if (!nested)
            return opened;
        current = opened.content;
    }
    return {{}, QStringLiteral("busta firmata (.p7m) annidata troppe volte")};
}

} // namespace einvoice
