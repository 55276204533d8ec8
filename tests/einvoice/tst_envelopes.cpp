// Signed envelopes and zip archives: what opens, and broken or hostile inputs refused with
// their reason.
#include "einvoice/archive.h"
#include "einvoice/envelope.h"

#include <QTemporaryDir>
#include <QtTest>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <zip.h>

using namespace einvoice;

class TstEnvelopes : public QObject {
    Q_OBJECT
private slots:
    void envelope_data();
    void envelope();
    void sharedEnvelopes_data();
    void sharedEnvelopes();
    void archive_data();
    void archive();
};

namespace {
const QByteArray kXml = "<?xml version=\"1.0\"?><FatturaElettronica/>";

// A CMS envelope of type data around `content`, in DER.
QByteArray der(const QByteArray &content)
{
    BIO *in = BIO_new_mem_buf(content.constData(), int(content.size()));
    CMS_ContentInfo *cms = CMS_data_create(in, CMS_BINARY);
    BIO *out = BIO_new(BIO_s_mem());
    i2d_CMS_bio(out, cms);
    char *data = nullptr;
    const long n = BIO_get_mem_data(out, &data);
    QByteArray bytes(data, int(n));
    BIO_free(out);
    CMS_ContentInfo_free(cms);
    BIO_free(in);
    return bytes;
}

QByteArray wrapped(const QByteArray &b64, int width)
{
    QByteArray out;
    for (int i = 0; i < b64.size(); i += width)
        out += b64.mid(i, width) + "\r\n";
    return out;
}

struct Entry {
    QByteArray name;
    QByteArray data;
};

// A zip archive of the entries, deflated.
QByteArray zipOf(const std::vector<Entry> &entries)
{
    QTemporaryDir dir;
    const QByteArray path = dir.filePath("a.zip").toLocal8Bit();
    int err = 0;
    zip_t *z = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    for (const Entry &e : entries) {
        zip_source_t *s = zip_source_buffer(z, e.data.constData(), zip_uint64_t(e.data.size()), 0);
        zip_file_add(z, e.name.constData(), s, ZIP_FL_ENC_UTF_8);
    }
    zip_close(z);
    QFile f(QString::fromLocal8Bit(path));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// The archive with the expanded size of its first entry stated as `size` in the central
// directory.
QByteArray withStatedSize(QByteArray zip, quint32 size)
{
    const qsizetype central = zip.indexOf("PK\x01\x02");
    for (int i = 0; i < 4; ++i)
        zip[central + 24 + i] = char((size >> (8 * i)) & 0xFF);
    return zip;
}
} // namespace

void TstEnvelopes::envelope_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("result");   // the content, or "error: ..."
    const QByteArray d = der(kXml);
    QTest::newRow("DER") << d << QString(kXml);
    QTest::newRow("base64 on one line") << d.toBase64() << QString(kXml);
    QTest::newRow("base64 with CR LF every 64") << wrapped(d.toBase64(), 64) << QString(kXml);
    QTest::newRow("PEM lines") << "-----BEGIN PKCS7-----\n" + wrapped(d.toBase64(), 76) + "-----END PKCS7-----\n" << QString(kXml);
    QTest::newRow("envelope in an envelope") << der(d) << QString(kXml);
    QTest::newRow("truncated") << d.left(d.size() - 10) << "error: illeggibile";
    QByteArray lying = d;
    lying[1] = char(0x84);   // a length of four bytes that follow: far past the end
    QTest::newRow("lying length") << lying << "error: illeggibile";
    QTest::newRow("random bytes") << QByteArray("\x30\x03\x02\x01\x05", 5) << "error: illeggibile";
    QTest::newRow("bad base64") << QByteArray("TWFu!!!!") << "error: illeggibile";
    QTest::newRow("too large") << QByteArray(kMaxEnvelopeBytes + 1, '\x30') << "error: troppo grande";
}

void TstEnvelopes::envelope()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, result);
    const Unwrapped u = unwrapEnvelope(bytes);
    if (result.startsWith(QLatin1String("error: "))) {
        QVERIFY2(u.error.contains(result.mid(7)), qPrintable(u.error));
        QVERIFY(u.content.isEmpty());
    } else {
        QVERIFY2(u.error.isEmpty(), qPrintable(u.error));
        QCOMPARE(QString(u.content), result);
    }
}

void TstEnvelopes::sharedEnvelopes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("opens");
    QTest::newRow("binary") << "fatturaelettronica-net/IT02182030391_31.xml.p7m" << true;
    QTest::newRow("base64") << "fatturaelettronica-net/IT02182030391_31.Base64.xml.p7m" << true;
    QTest::newRow("base64 with line breaks") << "oca-l10n-italy/IT01234567890_FPR03.base64.xml.p7m" << true;
    QTest::newRow("large signer chain") << "fatturaelettronicaphp/IT00484960588_ERKHK.xml.p7m" << true;
    QTest::newRow("tampered, cut short") << "fatturaelettronica-net/IT02182030391_31_tampered.xml.p7m" << false;
    QTest::newRow("two bytes") << "oca-l10n-italy/IT05979361218_fake.xml.p7m" << false;
}

void TstEnvelopes::sharedEnvelopes()
{
    QFETCH(QString, file);
    QFETCH(bool, opens);
    QFile f(QStringLiteral(CONTAVIO_SHARED_DIR "/einvoice/") + file);
    if (!f.open(QIODevice::ReadOnly))
        QSKIP("the shared electronic invoices are not here");
    const Unwrapped u = unwrapEnvelope(f.readAll());
    QCOMPARE(u.error.isEmpty(), opens);
    if (opens)
        QVERIFY(u.content.contains("FatturaElettronicaBody"));
}

void TstEnvelopes::archive_data()
{
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<QString>("expected");   // "name=ok|name=error..." per entry, or "archive: error"
    QTest::newRow("two entries and a folder") << zipOf({{"a.xml", kXml}, {"sub/", {}}, {"sub/b.xml", kXml}})
                                              << "a.xml=ok|sub/b.xml=ok";
    QTest::newRow("dot-dot and absolute names") << zipOf({{"../x.xml", kXml}, {"/etc/x.xml", kXml}, {"c:/x.xml", kXml}, {"ok.xml", kXml}})
        << "../x.xml=nome non ammesso|/etc/x.xml=nome non ammesso|c:/x.xml=nome non ammesso|ok.xml=ok";
    QTest::newRow("zip bomb") << zipOf({{"bomb.xml", QByteArray(20 * 1024 * 1024, 'a')}}) << "bomb.xml=possibile bomba zip";
    QTest::newRow("2 GB entry") << withStatedSize(zipOf({{"big.xml", kXml}}), 0x80000000u) << "big.xml=troppo grande";
    QTest::newRow("size stated short") << withStatedSize(zipOf({{"short.xml", kXml}}), 5) << "short.xml=lunghezza diversa";
    const QByteArray good = zipOf({{"a.xml", kXml}});
    QTest::newRow("cut in half") << good.left(good.size() / 2) << "archive: illeggibile";
    QTest::newRow("not a zip") << QByteArray("PK\x03\x04garbage") << "archive: illeggibile";
}

void TstEnvelopes::archive()
{
    QFETCH(QByteArray, zip);
    QFETCH(QString, expected);
    QStringList seen;
    const QString error = readArchive(zip, [&](ArchiveEntry &&e) {
        QVERIFY(e.error.isEmpty() || e.bytes.isEmpty());
        seen << e.name + QLatin1Char('=') + (e.error.isEmpty() ? (e.bytes == kXml ? QStringLiteral("ok") : QStringLiteral("wrong bytes")) : e.error);
    });
    if (expected.startsWith(QLatin1String("archive: "))) {
        QVERIFY2(error.contains(expected.mid(9)), qPrintable(error));
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QStringList want = expected.split('|');
    QCOMPARE(seen.size(), want.size());
    for (int i = 0; i < want.size(); ++i)
        QVERIFY2(seen[i].startsWith(want[i].section('=', 0, 0) + '=') && seen[i].contains(want[i].section('=', 1)),
                 qPrintable(seen[i] + " / " + want[i]));
}

QTEST_GUILESS_MAIN(TstEnvelopes)
#include "tst_envelopes.moc"
