// A workbook whose stream spans many megabytes: the bulk encryption (key stream made a large
// piece at a time and XORed into the payloads only) must give exactly what encrypting record
// by record gives, across every piece boundary, and the file must read back whole.

#include "store/xls/biffstream.h"
#include "store/xls/cfb.h"
#include "store/xls/crypto.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QTest>

using namespace store;

namespace {

const QString kPassword = QStringLiteral("Tevo1963");

void fillSheet(Worksheet &sheet, int seed, int rows);

// About 3.5 MB of records: numbers (RK and NUMBER), shared texts, booleans, blanks with a
// format, so that records of every length cross the piece boundaries; a second sheet of
// about 1.2 MB when asked.
std::unique_ptr<Workbook> bigBook(int sheets = 1)
{
    auto book = std::make_unique<Workbook>();
    for (int s = 1; s <= sheets; ++s) {
        Worksheet &sheet = s == 1 ? book->sheet(1) : book->appendSheet(QStringLiteral("Foglio%1").arg(s));
        if (s == 1)
            sheet.setName(QStringLiteral("Incassi"));
        fillSheet(sheet, s, s == 1 ? 30000 : 10000);
    }
    return book;
}

void fillSheet(Worksheet &sheet, int seed, int rows)
{
    for (int r = 1; r <= rows; ++r) {
        sheet.cells(r, 1).setValue(double(r));
        sheet.cells(r, 2).setValue(r * 1.1);
        sheet.cells(r, 3).setValue(Variant::fromText(QStringLiteral("Nota della registrazione %1 à è ì ò ù €").arg(r)));
        sheet.cells(r, 4).setValue(Variant::fromText(r % 2 ? QStringLiteral("SI") : QStringLiteral("NO")));
        sheet.cells(r, 5).setValue(Variant::fromBool(r % 3 == 0));
        sheet.cells(r, 6).setValue(Variant::fromDate(40000 + r % 3000));
        sheet.cells(r, 8).setValue(Variant::fromText(QString((r + seed) % 97 + 1, QLatin1Char('x'))));
    }
}

QByteArray workbookStream(const QByteArray &image)
{
    for (biff::CfbEntry &e : cfb::read(image))
        if (e.path == QLatin1String("Workbook"))
            return e.data;
    return {};
}

// A cipher that fails, as OpenSSL might when out of memory.
class FailingCipher final : public StreamCipher {
public:
    void apply(uint64_t, uint8_t *, size_t) override { throw StoreError(ErrorKind::Io, QStringLiteral("cifratura non riuscita")); }
};

} // namespace

class TstXlsLarge : public QObject {
    Q_OBJECT
private slots:
    void bulkEncryptionEqualsRecordByRecord()
    {
        auto book = bigBook();
        const QByteArray plain = workbookStream(workbookBytes(*book));
        QVERIFY2(plain.size() > 3 * (1 << 20), "the stream must span several pieces");

        // The records after BOF; the FILEPASS a real file would carry does not change the
        // cipher's work on the rest.
        const qsizetype from = 20;
        const NewProtection protection = createProtection(kPassword);
        std::unique_ptr<StreamCipher> again = openProtection(protection.filePassPayload, kPassword);
        QByteArray bulk = plain, byRecord = plain;
        biff::cipherRecords(reinterpret_cast<uint8_t *>(bulk.data()), bulk.size(), from, *protection.cipher, true);
        biff::cipherRecords(reinterpret_cast<uint8_t *>(byRecord.data()), byRecord.size(), from, *again, false);
        QCOMPARE(bulk.size(), plain.size());
        QVERIFY(bulk == byRecord);

        // Headers stay in clear, payloads do not.
        qsizetype at = from, changedPayloads = 0, records = 0;
        while (at + 4 <= plain.size()) {
            const auto *p = reinterpret_cast<const uint8_t *>(plain.constData()) + at;
            const auto *q = reinterpret_cast<const uint8_t *>(bulk.constData()) + at;
            const int len = biff::u16(p + 2);
            if (biff::u16(p) != biff::u16(q) || len != biff::u16(q + 2))
                QFAIL(qPrintable(QStringLiteral("intestazione cifrata all'offset %1").arg(at)));
            if (len > 0 && std::memcmp(p + 4, q + 4, size_t(len)) != 0)
                ++changedPayloads;
            ++records;
            at += 4 + len;
        }
        QCOMPARE(at, plain.size());
        QVERIFY(changedPayloads > records * 9 / 10);
    }

    // A decryption that fails on the background thread reaches the reader as that error, not
    // as bytes taken for clear text nor as a wait without end.
    void backgroundDecryptionFailure()
    {
        QByteArray stream;
        for (int i = 0; i < 100000; ++i)
            stream.append(QByteArray::fromHex("0302") + QByteArray::fromHex("0e00") + QByteArray(14, 'x'));
        biff::RecordStream rs(stream);
        rs.decrypt(0, std::make_unique<FailingCipher>(), true);
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.next());
    }

    // With two sheets the second is read by a second thread while the stream is still being
    // decrypted.
    void bigEncryptedBookReadsBackWhole_data()
    {
        QTest::addColumn<int>("sheets");
        QTest::newRow("one sheet") << 1;
        QTest::newRow("two sheets") << 2;
    }
    void bigEncryptedBookReadsBackWhole()
    {
        QFETCH(int, sheets);
        auto book = bigBook(sheets);
        book->protection.password = kPassword;
        auto back = readWorkbookBytes(workbookBytes(*book), kPassword);
        QCOMPARE(back->sheetCount(), sheets);
        for (int s = 1; s <= sheets; ++s) {
            const Worksheet &a = book->sheet(s), &b = back->sheet(s);
            QCOMPARE(b.name(), a.name());
            const int rows = a.lastRow(), columns = a.lastColumn();
            QCOMPARE(b.lastRow(), rows);
            QCOMPARE(b.lastColumn(), columns);
            for (int r = 1; r <= rows; ++r)
                for (int c = 1; c <= columns; ++c)
                    if (!(a.valueAt(r, c) == b.valueAt(r, c)))
                        QFAIL(qPrintable(QStringLiteral("cella %1!%2%3 diversa").arg(a.name(), columnLetters(c)).arg(r)));
        }
        QVERIFY_THROWS_EXCEPTION(StoreError, readWorkbookBytes(workbookBytes(*book), QStringLiteral("sbagliata")));
    }
};

QTEST_APPLESS_MAIN(TstXlsLarge)
#include "tst_xls_large.moc"
