// Saving replaces a file atomically: the original survives every failure, permissions and
// symbolic links are kept, and no temporary file is left behind.

#include "store/model/errors.h"
#include "store/file/savefile.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace store;

namespace {

QStringList leftovers(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral(".~*")}, QDir::Files | QDir::Hidden);
}

} // namespace

class TestSaveFile : public QObject {
    Q_OBJECT

private slots:
    void replacesAndKeepsPermissions()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        QVERIFY(testfiles::write(path, "vecchio contenuto"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        writeFileAtomically(path, "nuovo contenuto");
        QCOMPARE(testfiles::read(path), QByteArray("nuovo contenuto"));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0640);
        QVERIFY(leftovers(dir.path()).isEmpty());
    }

    void newFileFollowsTheUmask()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nuovo.xls"));
        const mode_t old = ::umask(022);
        writeFileAtomically(path, "x");
        ::umask(old);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0644);
    }

    void symbolicLinkStaysALink()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dati")));
        const QString target = dir.filePath(QStringLiteral("dati/Contavio.xls"));
        const QString link = dir.filePath(QStringLiteral("Contavio.xls"));
        QVERIFY(testfiles::write(target, "vecchio"));
        QVERIFY(QFile::link(QStringLiteral("dati/Contavio.xls"), link));
        writeFileAtomically(link, "nuovo");
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(testfiles::read(target), QByteArray("nuovo"));
        QVERIFY(leftovers(dir.path()).isEmpty());
        QVERIFY(leftovers(dir.filePath(QStringLiteral("dati"))).isEmpty());
    }

    // A failing rename (the path names a folder) and a missing folder: the error is typed and
    // Italian, the original is untouched and the temporary file is gone.
    void failureLeavesOriginal()
    {
        QTemporaryDir dir;
        const QString folderInTheWay = dir.filePath(QStringLiteral("Contavio.xls"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Contavio.xls")));
        QVERIFY(testfiles::write(folderInTheWay + QStringLiteral("/dentro"), "non toccare"));
        try {
            writeFileAtomically(folderInTheWay, "nuovo");
            QFAIL("saving over a folder succeeded");
        } catch (const StoreError &e) {
            QCOMPARE(e.kind(), ErrorKind::Io);
            QVERIFY(e.userMessage().startsWith(QStringLiteral("Impossibile salvare")));
            QVERIFY(!e.detail().isEmpty());
        }
        QCOMPARE(testfiles::read(folderInTheWay + QStringLiteral("/dentro")), QByteArray("non toccare"));
        QVERIFY(leftovers(dir.path()).isEmpty());

        try {
            writeFileAtomically(dir.filePath(QStringLiteral("manca/Contavio.xls")), "x");
            QFAIL("saving into a missing folder succeeded");
        } catch (const StoreError &e) {
            QCOMPARE(e.kind(), ErrorKind::Io);
        }
    }

    // A write that fails half-way (here: the file size limit, as a full disk would) keeps
    // the original and removes the partial temporary file.
    void failedWriteKeepsOriginal()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        QVERIFY(testfiles::write(path, "originale"));
        rlimit old {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 4096;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        bool threw = false;
        try {
            writeFileAtomically(path, QByteArray(1 << 16, 'x'));
        } catch (const StoreError &e) {
            threw = e.kind() == ErrorKind::Io && !e.detail().isEmpty();
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        QVERIFY(threw);
        QCOMPARE(testfiles::read(path), QByteArray("originale"));
        QVERIFY(leftovers(dir.path()).isEmpty());
    }

    void workbookSaveIsAtomicAndEncrypted()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        Workbook book;
        book.sheet(1).cells(1, 1).setValue(Variant::fromText(QStringLiteral("Riservato")));
        book.protection.password = QStringLiteral("Tevo1963");
        writeWorkbook(book, path);
        QVERIFY(!testfiles::read(path).contains("Riservato"));
        auto again = readWorkbook(path, QStringLiteral("Tevo1963"));
        QCOMPARE(again->sheet(1).valueAt(1, 1).text, QStringLiteral("Riservato"));
        QVERIFY(leftovers(dir.path()).isEmpty());
    }

    void leftoversOfAnInterruptedSaveAreCleaned()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        QVERIFY(testfiles::write(path, "buono"));
        QVERIFY(testfiles::write(dir.filePath(saveTempPrefix(QStringLiteral("Contavio.xls")) + QStringLiteral("a1B2c3")), "mezzo"));
        QVERIFY(testfiles::write(dir.filePath(saveTempPrefix(QStringLiteral("Altro.xls")) + QStringLiteral("a1B2c3")), "altrui"));
        QVERIFY(testfiles::write(dir.filePath(QStringLiteral("Contavio.xls.bak")), "copia"));
        QCOMPARE(removeLeftoverSaveFiles(path), 1);
        QCOMPARE(leftovers(dir.path()), QStringList{saveTempPrefix(QStringLiteral("Altro.xls")) + QStringLiteral("a1B2c3")});
        QCOMPARE(testfiles::read(path), QByteArray("buono"));
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("Contavio.xls.bak"))));
    }

    // A file that cannot be read whole is refused with its reason and left as it was.
    void unreadableFilesRefused()
    {
        QTemporaryDir dir;
        auto refusal = [](const QString &path) -> std::pair<ErrorKind, QString> {
            try {
                readWorkbook(path, QStringLiteral("Tevo1963"));
            } catch (const StoreError &e) {
                return {e.kind(), e.userMessage()};
            }
            return {ErrorKind(-1), QString()};
        };
        const auto missing = refusal(dir.filePath(QStringLiteral("Manca.xls")));
        QCOMPARE(int(missing.first), int(ErrorKind::Io));
        QCOMPARE(missing.second, QStringLiteral("Impossibile aprire il file Manca.xls."));

        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Cartella.xls")));
        const auto folder = refusal(dir.filePath(QStringLiteral("Cartella.xls")));
        QCOMPARE(int(folder.first), int(ErrorKind::Io));
        QCOMPARE(folder.second, QStringLiteral("Impossibile aprire il file Cartella.xls."));

        // Past the size limit: refused before a byte is read (the file is sparse).
        const QString huge = dir.filePath(QStringLiteral("Enorme.xls"));
        {
            QFile f(huge);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(kMaxFileSize + 1));
        }
        const auto tooLarge = refusal(huge);
        QCOMPARE(int(tooLarge.first), int(ErrorKind::Limit));
        QCOMPARE(tooLarge.second, QStringLiteral("Il file Enorme.xls è troppo grande."));
        QCOMPARE(QFileInfo(huge).size(), kMaxFileSize + 1);

        // A file within the limit is read whole, byte for byte.
        const QString small = dir.filePath(QStringLiteral("Piccolo.bin"));
        QByteArray bytes(3 * 1024 * 1024 + 7, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 + i / 4096);
        QVERIFY(testfiles::write(small, bytes));
        QCOMPARE(readWholeFile(small), bytes);
    }
};

QTEST_GUILESS_MAIN(TestSaveFile)
#include "tst_savefile.moc"
