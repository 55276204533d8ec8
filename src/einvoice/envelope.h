#pragma once

// A signed envelope (.p7m, CAdES): the signed content taken out with OpenSSL's CMS
// functions. DER and base64 (with or without line breaks, with or without PEM lines) are
// both read; an envelope inside an envelope is opened too. The signature is not verified.

#include <QByteArray>
#include <QString>

namespace einvoice {

struct Unwrapped {
    QByteArray content;
    QString error;    // empty when the content was taken out
};

constexpr qsizetype kMaxEnvelopeBytes = 30 * 1024 * 1024;

// True when the bytes look like an envelope (DER SEQUENCE, or base64 text) rather than XML.
bool looksLikeEnvelope(const QByteArray &bytes);

Unwrapped unwrapEnvelope(const QByteArray &bytes);

} // namespace einvoice
