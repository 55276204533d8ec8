// Broken, truncated, foreign and hostile input: the reader reports a typed error and never
// crashes, hangs or allocates without bound.

#include "store/biff/biff.h"
#include "store/xls/cfb.h"
#include "store/model/errors.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace store;

namespace {

QByteArray sampleBook(const QString &password)
{
    Workbook book;
    Worksheet &ws = book.sheet(1);
    for (int r = 1; r <= 40; ++r) {
        ws.cells(r, 1).setValue(double(r) / 4);
        ws.cells(r, 2).setValue(Variant::fromText(QStringLiteral("riga %1 città €").arg(r)));
        ws.cells(r, 3).setValue(Variant::fromDate(39945 + r));
    }
    ws.pageSetup().printArea = QStringLiteral("$A$1:$C$40");
    ws.pageSetup().printTitleRows = QStringLiteral("$1:$1");
    ws.range(QStringLiteral("2:2")).select();
    ws.freezePanes();
    book.appendSheet(QStringLiteral("Altro")).cells(2, 2).setValue(true ? Variant::fromBool(true) : Variant());
    book.protection.password = password;
    return workbookBytes(book);
}

QByteArray streamOf(const QByteArray &image)
{
    for (const biff::CfbEntry &e : cfb::read(image))
        if (e.path == QLatin1String("Workbook"))
            return e.data;
    return {};
}

QByteArray withStream(const QByteArray &stream, const QString &name = QStringLiteral("Workbook"))
{
    return cfb::write({biff::CfbEntry{name, stream, false}});
}

// Reads and accepts a typed error; anything else fails the test.
enum class Outcome { Opened, Refused };
Outcome tryRead(const QByteArray &bytes, const QString &password, ErrorKind *kind = nullptr)
{
    try {
        auto book = readWorkbookBytes(bytes, password);
        // Whatever was read must be usable.
        for (int i = 1; i <= book->sheetCount(); ++i) {
            Worksheet &ws = book->sheet(i);
            ws.forEachCell([&](int r, int c, const Cell &) { (void)ws.textAt(r, c); });
        }
        (void)workbookBytes(*book);
        return Outcome::Opened;
    } catch (const StoreError &e) {
        if (kind)
            *kind = e.kind();
        return Outcome::Refused;
    }
}

void putRecord(QByteArray &s, uint16_t type, const QByteArray &data)
{
    char h[4];
    biff::put16(reinterpret_cast<uint8_t *>(h), type);
    biff::put16(reinterpret_cast<uint8_t *>(h) + 2, uint16_t(data.size()));
    s.append(h, 4);
    s.append(data);
}

QByteArray bof(uint16_t version, uint16_t kind)
{
    QByteArray b(16, '\0');
    biff::put16(reinterpret_cast<uint8_t *>(b.data()), version);
    biff::put16(reinterpret_cast<uint8_t *>(b.data()) + 2, kind);
    return b;
}

} // namespace

class TestXlsDamaged : public QObject {
    Q_OBJECT

private slots:
    void notAWorkbook_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("kind");
        QTest::newRow("empty") << QByteArray() << int(ErrorKind::Damaged);
        QTest::newRow("text file") << QByteArray("ID;C/F;Ragione Sociale\n1;C;Rossi\n") << int(ErrorKind::Damaged);
        QTest::newRow("signature only") << QByteArray::fromHex("d0cf11e0a1b11ae1") << int(ErrorKind::Damaged);
        QByteArray header = QByteArray::fromHex("d0cf11e0a1b11ae1");
        header.append(QByteArray(504, '\xff'));
        QTest::newRow("compound header full of 0xff") << header << int(ErrorKind::Damaged);
        QTest::newRow("compound file without a workbook stream")
            << withStream(QByteArray(5000, 'x'), QStringLiteral("Altro")) << int(ErrorKind::Damaged);
        QByteArray old;
        putRecord(old, biff::kBof, bof(0x0500, 0x0005));
        putRecord(old, biff::kEof, {});
        QTest::newRow("older format in a Book stream") << withStream(old, QStringLiteral("Book")) << int(ErrorKind::Unsupported);
        QTest::newRow("older format in a Workbook stream") << withStream(old) << int(ErrorKind::Unsupported);
        QByteArray noEof;
        putRecord(noEof, biff::kBof, bof(0x0600, 0x0005));
        QTest::newRow("globals without end") << withStream(noEof) << int(ErrorKind::Damaged);
        QByteArray noSheets = noEof;
        putRecord(noSheets, biff::kEof, {});
        QTest::newRow("no worksheet at all") << withStream(noSheets) << int(ErrorKind::Unsupported);
        QByteArray shortLabel = noEof;
        QByteArray bs(8, '\0');
        bs[6] = 1;     // one-character name
        bs.append('A');
        biff::put32(reinterpret_cast<uint8_t *>(bs.data()), 0);   // patched below
        const qsizetype bsAt = shortLabel.size() + 4;
        putRecord(shortLabel, biff::kBoundSheet, bs);
        putRecord(shortLabel, biff::kEof, {});
        biff::put32(reinterpret_cast<uint8_t *>(shortLabel.data()) + bsAt, uint32_t(shortLabel.size()));
        putRecord(shortLabel, biff::kBof, bof(0x0600, 0x0010));
        putRecord(shortLabel, biff::kLabelSst, QByteArray(6, '\0'));   // needs 10 bytes
        putRecord(shortLabel, biff::kEof, {});
        QTest::newRow("cell record shorter than its fields") << withStream(shortLabel) << int(ErrorKind::Damaged);
        QByteArray badPos = shortLabel;
        biff::put32(reinterpret_cast<uint8_t *>(badPos.data()) + bsAt, 0x7FFFFFF0u);
        QTest::newRow("sheet position beyond the stream") << withStream(badPos) << int(ErrorKind::Damaged);
    }

    void notAWorkbook()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, kind);
        ErrorKind got{};
        QCOMPARE(tryRead(bytes, QString(), &got), Outcome::Refused);
        QCOMPARE(int(got), kind);
    }

    // A string table that claims four billion strings in a few bytes is read for what it holds.
    void lyingCounts()
    {
        QByteArray s;
        putRecord(s, biff::kBof, bof(0x0600, 0x0005));
        QByteArray sst(8, '\0');
        biff::put32(reinterpret_cast<uint8_t *>(sst.data()), 0xFFFFFFFFu);
        biff::put32(reinterpret_cast<uint8_t *>(sst.data()) + 4, 0xFFFFFFFFu);
        sst.append(QByteArray::fromHex("0300" "00" "616263"));   // "abc"
        QByteArray ext(2, '\0');
        biff::put16(reinterpret_cast<uint8_t *>(ext.data()), 0xFFFF);   // EXTERNSHEET with 65535 references
        putRecord(s, biff::kExternSheet, ext);
        QByteArray bs(8, '\0');
        bs[6] = 1;
        bs.append('S');
        const qsizetype bsAt = s.size() + 4;
        putRecord(s, biff::kBoundSheet, bs);
        putRecord(s, biff::kSst, sst);
        putRecord(s, biff::kEof, {});
        biff::put32(reinterpret_cast<uint8_t *>(s.data()) + bsAt, uint32_t(s.size()));
        putRecord(s, biff::kBof, bof(0x0600, 0x0010));
        QByteArray label(10, '\0');
        biff::put16(reinterpret_cast<uint8_t *>(label.data()) + 4, 15);
        putRecord(s, biff::kLabelSst, label);
        QByteArray mulrk(6, '\0');
        biff::put16(reinterpret_cast<uint8_t *>(mulrk.data()) + 2, 250);   // runs off the grid
        for (int i = 0; i < 20; ++i)
            mulrk.append(QByteArray::fromHex("0f00" "02000000"));
        mulrk.append(QByteArray::fromHex("ffff"));
        putRecord(s, biff::kMulRk, mulrk);
        putRecord(s, biff::kEof, {});
        ErrorKind kind{};
        const Outcome o = tryRead(withStream(s), QString(), &kind);
        if (o == Outcome::Refused)
            QCOMPARE(kind, ErrorKind::Damaged);   // the lying EXTERNSHEET may be refused
        // Without the lying EXTERNSHEET the sheet opens with its one string.
        QByteArray fixed = s;
        fixed.remove(20, 6);
        const qsizetype at = bsAt - 6;
        biff::put32(reinterpret_cast<uint8_t *>(fixed.data()) + at, biff::u32(reinterpret_cast<const uint8_t *>(fixed.constData()) + at) - 6);
        auto book = readWorkbookBytes(withStream(fixed), QString());
        QCOMPARE(book->sheet(1).valueAt(1, 1).text, QStringLiteral("abc"));
        QCOMPARE(book->sheet(1).lastColumn(), 256);
    }

    // Every truncation of a real file is refused cleanly (or opens, when only padding goes).
    void truncations_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QString();
        QTest::newRow("encrypted") << QStringLiteral("Tevo1963");
    }

    void truncations()
    {
        QFETCH(QString, password);
        const QByteArray image = sampleBook(password);
        QCOMPARE(tryRead(image, password), Outcome::Opened);
        for (qsizetype n = 0; n < image.size(); n += 97)
            tryRead(image.left(n), password);
        const QByteArray stream = streamOf(image);
        for (qsizetype n = 0; n < stream.size(); n += 7) {
            ErrorKind kind{};
            if (tryRead(withStream(stream.left(n)), password, &kind) == Outcome::Refused)
                QVERIFY(kind == ErrorKind::Damaged || kind == ErrorKind::WrongPassword || kind == ErrorKind::Unsupported);
        }
    }

    // Random damage to the file and to the workbook stream: typed errors only.
    void randomDamage_data() { truncations_data(); }
    void randomDamage()
    {
        QFETCH(QString, password);
        const QByteArray image = sampleBook(password);
        const QByteArray stream = streamOf(image);
        QRandomGenerator rng(20090512);
        int opened = 0;
        for (int round = 0; round < 1500; ++round) {
            QByteArray s = stream;
            const int flips = 1 + int(rng.bounded(8));
            for (int i = 0; i < flips; ++i) {
                const qsizetype at = qsizetype(rng.bounded(quint32(s.size())));
                switch (rng.bounded(3)) {
                case 0: s[at] = char(rng.bounded(256)); break;
                case 1: s[at] = char(0xFF); break;
                default: s[at] = 0; break;
                }
            }
            opened += tryRead(withStream(s), password) == Outcome::Opened;
        }
        for (int round = 0; round < 300; ++round) {
            QByteArray f = image;
            for (int i = 0; i < 4; ++i)
                f[qsizetype(rng.bounded(quint32(f.size())))] = char(rng.bounded(256));
            tryRead(f, password);
        }
        QVERIFY(opened < 1500);   // the damage really reached the reader
    }
};

QTEST_GUILESS_MAIN(TestXlsDamaged)
#include "tst_xls_damaged.moc"
