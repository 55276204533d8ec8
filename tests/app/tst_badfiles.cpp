// Workbooks the program cannot use: each is refused at start with a clear Italian message in
// a critical box, and the file keeps every byte; files and folders the program may read but
// not write keep their bytes when the save at exit is refused.

#include "store/biff/biff.h"
#include "store/xls/cfb.h"
#include "store/file/savefile.h"
#include "support/programworld.h"
#include "support/files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using controls::BoxKind;
using LoadResult = app::Avvio::LoadResult;

namespace {

using testworld::kPassword;

// One program in the test; the fault hook of the save goes with it.
struct Program : testworld::ProgramWorld {
    Program() : ProgramWorld(QDateTime(QDate(2027, 1, 15), QTime(9, 30, 0))) {}
    ~Program() { store::setSaveFaultHook({}); }
    void write(const QByteArray &bytes) const { QVERIFY(writeBytes(bytes)); }
};

QByteArray goodWorkbook(const QString &password = kPassword)
{
    auto book = testworld::bareBook({QStringLiteral("Anagrafe"), QStringLiteral("Incassi"), QStringLiteral("Pagamenti")});
    for (int row = 2; row < 60; ++row)
        book->sheet(2).cells(row, 3).setValue(QStringLiteral("CLIENTE %1").arg(row));
    book->protection.password = password;
    return store::workbookBytes(*book);
}

// A compound file with one stream: how older programs and other documents look inside.
QByteArray compoundFile(const QString &stream, const QByteArray &data)
{
    store::biff::CfbEntry entry;
    entry.path = stream;
    entry.data = data;
    return store::cfb::write({entry});
}

QByteArray biff5Stream()
{
    // BOF of BIFF5 workbook globals (version 0x0500, type 0x0005), then EOF.
    return QByteArray::fromHex("09080800" "00050500" "00000000" "0a000000");
}

} // namespace

class BadFilesTest : public QObject {
    Q_OBJECT

private slots:
    void refusedAndUntouched_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray good = goodWorkbook();
        QByteArray random(8192, Qt::Uninitialized);
        QRandomGenerator generator(20270115);
        for (char &c : random)
            c = char(generator.bounded(256));
        const QString damaged = QStringLiteral("danneggiat");
        QTest::newRow("zero length") << QByteArray() << damaged;
        QTest::newRow("random bytes") << random << damaged;
        QTest::newRow("random bytes after a compound file signature")
            << QByteArray::fromHex("d0cf11e0a1b11ae1") + random << damaged;
        QTest::newRow("truncated to 100 bytes") << good.left(100) << damaged;
        QTest::newRow("truncated after the header sector") << good.left(512) << damaged;
        QTest::newRow("truncated after two sectors") << good.left(1024) << damaged;
        QTest::newRow("truncated in the middle") << good.left(good.size() / 2) << damaged;
        QTest::newRow("another password") << goodWorkbook(QStringLiteral("altra")) << QStringLiteral("password");
        QTest::newRow("zip archive renamed")
            << QByteArray("PK\x03\x04\x14\x00\x00\x00\x08\x00", 10) + QByteArray("[Content_Types].xml") + random.left(900)
            << damaged;
        QTest::newRow("text file renamed") << QByteArray("ID;C/F;Ragione Sociale\n1;C;ROSSI MARIO\n") << damaged;
        QTest::newRow("older .xls format") << compoundFile(QStringLiteral("Book"), biff5Stream()) << QStringLiteral("troppo vecchio");
        QTest::newRow("another document in a compound file")
            << compoundFile(QStringLiteral("WordDocument"), QByteArray(2000, 'x')) << damaged;
    }
    void refusedAndUntouched()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        Program p;
        p.write(bytes);
        const QByteArray before = testfiles::hash(p.path());

        QCOMPARE(p.load(), LoadResult::OpenFailed);
        QCOMPARE(p.dialogs.shown.size(), size_t(1));
        QCOMPARE(p.dialogs.last().kind, BoxKind::Critical);
        QCOMPARE(p.dialogs.last().title, QStringLiteral("Contavio"));
        const QString text = p.dialogs.last().text;
        QVERIFY2(text.contains(reason), qPrintable(text));
        QVERIFY(text.contains(p.path()));
        QVERIFY(text.contains(QStringLiteral("Il file non è stato modificato.")));
        QCOMPARE(app::Avvio::exitCode(LoadResult::OpenFailed), 4);
        QCOMPARE(testfiles::hash(p.path()), before);
        QCOMPARE(p.files(), QStringList{QStringLiteral("Contavio.xls")});   // nothing beside it either
    }

    void folderInPlaceOfTheWorkbook()
    {
        Program p;
        QVERIFY(QDir(p.folder.path()).mkdir(QStringLiteral("Contavio.xls")));
        QFile inside(p.path() + QStringLiteral("/dentro.txt"));
        QVERIFY(inside.open(QIODevice::WriteOnly));
        inside.write("da non toccare");
        inside.close();

        QCOMPARE(p.load(), LoadResult::OpenFailed);
        QCOMPARE(p.dialogs.last().kind, BoxKind::Critical);
        QVERIFY(p.dialogs.last().text.contains(QStringLiteral("Al posto del file c'è una cartella.")));
        QVERIFY(QFileInfo(p.path()).isDir());
        QCOMPARE(QDir(p.path()).entryList(QDir::Files), QStringList{QStringLiteral("dentro.txt")});
        QCOMPARE(p.files(), QStringList{QStringLiteral("Contavio.xls")});
    }

    void fileWithoutReadPermission()
    {
        if (::geteuid() == 0)
            QSKIP("the administrator reads every file: permissions cannot refuse it");
        Program p;
        p.write(goodWorkbook());
        const QByteArray before = testfiles::hash(p.path());
        QCOMPARE(::chmod(QFile::encodeName(p.path()).constData(), 0), 0);
        QCOMPARE(p.load(), LoadResult::OpenFailed);
        QCOMPARE(p.dialogs.last().kind, BoxKind::Critical);
        QVERIFY(p.dialogs.last().text.contains(QStringLiteral("Il programma non ha il permesso di leggere il file.")));
        QCOMPARE(::chmod(QFile::encodeName(p.path()).constData(), 0600), 0);
        QCOMPARE(testfiles::hash(p.path()), before);
    }

    // A read-only workbook opens, but the save at exit is refused: the program stays open,
    // says why, and the file keeps its bytes.
    void fileWithoutWritePermission()
    {
        if (::geteuid() == 0)
            QSKIP("the administrator writes every file: permissions cannot refuse it");
        Program p;
        p.write(goodWorkbook());
        QCOMPARE(::chmod(QFile::encodeName(p.path()).constData(), 0444), 0);
        const QByteArray before = testfiles::hash(p.path());
        QCOMPARE(p.load(), LoadResult::Ready);
        p.session.workbook().sheet(QStringLiteral("Incassi")).cells(2, 1).setValue(1.0);
        QVERIFY(!app::leaveProgram(p.session));
        QCOMPARE(p.dialogs.last().kind, BoxKind::Critical);
        QVERIFY(p.dialogs.last().text.contains(QStringLiteral("il file è in sola lettura")));
        QVERIFY(p.exits.empty());
        QCOMPARE(testfiles::hash(p.path()), before);
        QCOMPARE(::chmod(QFile::encodeName(p.path()).constData(), 0600), 0);
    }

    // A folder that refuses new files, but a file that may be written: the save at exit goes
    // through the file itself. When that write fails too, the old bytes are put back, the
    // reason is told and leaving without saving is offered with No as the default. As the
    // administrator no folder refuses, so the refusal comes from the save's test seam.
    void folderRefusingNewFiles_data()
    {
        QTest::addColumn<int>("writeError");
        QTest::addColumn<QString>("reason");
        QTest::newRow("saved in place") << 0 << QString();
        QTest::newRow("in place fails, old bytes back") << EIO << "errore di scrittura sul disco";
    }
    void folderRefusingNewFiles()
    {
        QFETCH(int, writeError);
        QFETCH(QString, reason);
        Program p;
        p.write(goodWorkbook());
        const QByteArray before = testfiles::hash(p.path());
        struct stat was {};
        QCOMPARE(::stat(QFile::encodeName(p.path()).constData(), &was), 0);
        const bool administrator = ::geteuid() == 0;
        QCOMPARE(p.load(), LoadResult::Ready);
        store::setSaveFaultHook([writeError, administrator](const char *step) {
            const QByteArray at(step);
            if (at == "create" && administrator)
                return EACCES;
            return at == "inplace" ? writeError : 0;
        });
        if (!administrator)
            QCOMPARE(::chmod(QFile::encodeName(p.folder.path()).constData(), 0555), 0);
        p.session.workbook().sheet(QStringLiteral("Incassi")).cells(2, 1).setValue(1.0);
        const bool left = app::leaveProgram(p.session);
        if (!administrator)
            QCOMPARE(::chmod(QFile::encodeName(p.folder.path()).constData(), 0755), 0);
        store::setSaveFaultHook({});
        struct stat now {};
        QCOMPARE(::stat(QFile::encodeName(p.path()).constData(), &now), 0);
        QCOMPARE(now.st_ino, was.st_ino);   // the same file, written in place
        QCOMPARE(QDir(p.folder.path()).entryList({QStringLiteral(".~*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral(".~lock.Contavio.xls#")}.mid(left ? 1 : 0));
        if (!writeError) {
            QVERIFY(left);
            QCOMPARE(p.reread()->sheet(QStringLiteral("Incassi")).valueAt(2, 1).number, 1.0);
            return;
        }
        QVERIFY(!left);
        const auto &told = p.dialogs.shown[p.dialogs.shown.size() - 2];
        QCOMPARE(told.kind, BoxKind::Critical);
        QVERIFY2(told.text.contains(reason), qPrintable(told.text));
        QCOMPARE(p.dialogs.last().kind, BoxKind::Question);
        QCOMPARE(p.dialogs.last().defaultButton, controls::Answer::No);
        QVERIFY(p.exits.empty());
        QCOMPARE(testfiles::hash(p.path()), before);
    }
};

QTEST_MAIN(BadFilesTest)
#include "tst_badfiles.moc"
