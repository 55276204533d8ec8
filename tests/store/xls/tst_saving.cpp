// Saving under hostile conditions: a saving process killed at random moments, writes that
// fail half-way (a full disk), and the identity of the file (permissions, owner, symbolic
// link) with no readable copy of the data ever on disk.

#include "support/skip.h"
#include "store/model/errors.h"
#include "store/file/savefile.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"
#include "support/files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <unistd.h>

using store::ErrorKind;
using store::StoreError;

namespace {

const QString kPassword = QStringLiteral("Tevo1963");
const QString kMarker = QStringLiteral("RISERVATO-Q7X");
constexpr int kRows = 2500;
constexpr int kColumns = 4;

// A workbook whose first sheet holds kRows x kColumns texts starting with `letter`, each
// carrying the marker, so a readable copy of the data would show it.
std::unique_ptr<store::Workbook> markedBook(QChar letter)
{
    auto book = std::make_unique<store::Workbook>();
    store::Worksheet &sheet = book->sheet(1);
    sheet.setName(QStringLiteral("Incassi"));
    for (int row = 1; row <= kRows; ++row)
        for (int column = 1; column <= kColumns; ++column)
            sheet.cells(row, column).setValue(store::Variant::fromText(
                QStringLiteral("%1-%2-%3-%4").arg(letter).arg(row).arg(column).arg(kMarker)));
    book->protection.password = kPassword;
    return book;
}

// 'A' or 'B' when every cell of the sheet has that content, 0 otherwise (mixed or missing).
char contentOf(const store::Workbook &book)
{
    const store::Worksheet &sheet = const_cast<store::Workbook &>(book).sheet(1);
    char seen = 0;
    for (int row = 1; row <= kRows; ++row) {
        for (int column = 1; column <= kColumns; ++column) {
            const QString text = sheet.textAt(row, column);
            if (text.size() < 2 || text.mid(1) != QStringLiteral("-%1-%2-%3").arg(row).arg(column).arg(kMarker))
                return 0;
            const char letter = text.at(0).toLatin1();
            if (letter != 'A' && letter != 'B')
                return 0;
            if (seen && seen != letter)
                return 0;
            seen = letter;
        }
    }
    return sheet.lastRow() == kRows ? seen : 0;
}

QStringList saveLeftovers(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".~*")}, QDir::Files | QDir::Hidden | QDir::System);
}

// Whether the bytes hold the marker as one-byte or as two-byte characters.
bool showsMarker(const QByteArray &bytes)
{
    const QByteArray latin = kMarker.toLatin1();
    QByteArray wide;
    for (char c : latin) {
        wide.append(c);
        wide.append('\0');
    }
    return bytes.contains(latin) || bytes.contains(wide);
}

// The saving process: started with fork and exec so that SIGKILL hits it alone.
class Saver {
public:
    Saver(const QString &path)
    {
        int out[2];
        if (pipe(out) != 0)
            return;
        const QByteArray program = QByteArray(SAVER_PATH);
        const QByteArray file = QFile::encodeName(path);
        const QByteArray password = kPassword.toUtf8();
        m_pid = fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            execl(program.constData(), program.constData(), file.constData(), password.constData(), nullptr);
            _exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
    }
    ~Saver()
    {
        kill();
        if (m_out >= 0)
            ::close(m_out);
    }
    // Waits for "ready <microseconds>"; 0 when the saver failed to start.
    qint64 waitReady()
    {
        QByteArray line;
        char c;
        while (::read(m_out, &c, 1) == 1 && c != '\n')
            line.append(c);
        if (!line.startsWith("ready "))
            return 0;
        return line.mid(6).toLongLong();
    }
    void kill()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

} // namespace

class SavingTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { store::setSaveFaultHook({}); }

    // A save killed at any moment leaves the old or the new workbook, whole; what the killed
    // save left behind is found and removed by the clean-up of the next start.
    void killedSaveLeavesOldOrNew()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        store::writeWorkbook(*markedBook(u'A'), path);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QFile::Permissions permissions = QFile(path).permissions();

        constexpr int kKills = 200;
        int seenA = 0, seenB = 0, killsThatLeftATemporary = 0;
        auto *random = QRandomGenerator::global();
        for (int kill = 0; kill < kKills; ++kill) {
            qint64 saveMicros = 0;
            {
                Saver saver(path);
                saveMicros = saver.waitReady();
                QVERIFY2(saveMicros > 0, "the saving process did not start");
                // Anywhere in the next two saves: building, writing, flushing or renaming.
                const qint64 delay = qint64(random->bounded(quint32(2 * saveMicros + 1)));
                ::usleep(useconds_t(delay));
                saver.kill();
            }
            std::unique_ptr<store::Workbook> book;
            try {
                book = store::readWorkbook(path, kPassword);
            } catch (const StoreError &e) {
                QFAIL(qPrintable(QStringLiteral("kill %1: the workbook does not open: %2 %3")
                                     .arg(kill).arg(e.userMessage(), e.detail())));
            }
            const char content = contentOf(*book);
            QVERIFY2(content == 'A' || content == 'B', qPrintable(QStringLiteral("kill %1: mixed content").arg(kill)));
            (content == 'A' ? seenA : seenB)++;
            QCOMPARE(QFile(path).permissions(), permissions);

            if (!saveLeftovers(dir.path()).isEmpty())
                ++killsThatLeftATemporary;
            store::removeLeftoverSaveFiles(path);
            QCOMPARE(saveLeftovers(dir.path()), QStringList());
        }
        qInfo("%d kills: %d found the first content, %d the second, %d left a temporary file",
              kKills, seenA, seenB, killsThatLeftATemporary);
        // The kills really fell inside saves, both before and after the rename.
        QVERIFY(seenA > 0);
        QVERIFY(seenB > 0);
        QVERIFY(killsThatLeftATemporary > 0);
    }

    // A disk that fills up, or fails, at any step of the save: the error names the reason in
    // Italian, the original keeps its bytes, and no temporary file stays behind.
    void failingStepKeepsOriginal_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("occurrence");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk full at the first chunk") << "write" << 1 << ENOSPC << ": il disco è pieno";
        QTest::newRow("disk full half-way") << "write" << 2 << ENOSPC << ": il disco è pieno";
        QTest::newRow("quota exceeded") << "write" << 1 << EDQUOT << ": il disco è pieno";
        QTest::newRow("input/output error on flush") << "fsync" << 1 << EIO << ": errore di scrittura sul disco";
        QTest::newRow("rename refused") << "rename" << 1 << EACCES << ": manca il permesso di scrivere nella cartella del file";
        QTest::newRow("read-only file system") << "rename" << 1 << EROFS << ": il disco è in sola lettura";
        QTest::newRow("network share gone") << "fsync" << 1 << ESTALE << ": la cartella di rete non è raggiungibile";
        QTest::newRow("no better word: the system's") << "write" << 1 << EMLINK
                                                       << QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(EMLINK));
    }
    void failingStepKeepsOriginal()
    {
        QFETCH(QString, step);
        QFETCH(int, occurrence);
        QFETCH(int, error);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        store::writeWorkbook(*markedBook(u'A'), path);
        const QByteArray before = testfiles::hash(path);

        // A workbook large enough to need several chunks.
        auto bigger = markedBook(u'B');
        for (int row = 1; row <= 20000; ++row)
            bigger->sheet(1).cells(row, 10).setValue(QStringLiteral("riga %1 con un testo lungo abbastanza").arg(row));
        int seen = 0;
        const QByteArray wanted = step.toLatin1();
        store::setSaveFaultHook([&](const char *at) {
            return wanted == at && ++seen == occurrence ? error : 0;
        });
        try {
            store::writeWorkbook(*bigger, path);
            QFAIL("the save reported success");
        } catch (const StoreError &e) {
            QCOMPARE(e.kind(), ErrorKind::Io);
            QCOMPARE(e.userMessage(), QStringLiteral("Impossibile salvare il file Contavio.xls%1.").arg(reason));
        }
        QCOMPARE(seen, occurrence);
        QCOMPARE(testfiles::hash(path), before);
        QCOMPARE(saveLeftovers(dir.path()), QStringList());
        store::setSaveFaultHook({});
        QCOMPARE(contentOf(*store::readWorkbook(path, kPassword)), 'A');
    }

    // Permissions survive a save, and the temporary file never shows the data in clear.
    void permissionsKeptAndNoPlainCopy_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("owner only") << 0600;
        QTest::newRow("group reads") << 0640;
        QTest::newRow("everybody reads") << 0644;
        QTest::newRow("group writes") << 0660;
    }
    void permissionsKeptAndNoPlainCopy()
    {
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        store::writeWorkbook(*markedBook(u'A'), path);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);

        QByteArray temporary;
        store::setSaveFaultHook([&](const char *at) {
            if (QByteArray(at) == "rename") {
                const QStringList found = saveLeftovers(dir.path());
                if (found.size() == 1)
                    temporary = testfiles::read(dir.filePath(found.first()));
            }
            return 0;
        });
        store::writeWorkbook(*markedBook(u'B'), path);
        QVERIFY(temporary.size() > 10000);
        QVERIFY(!showsMarker(temporary));
        QVERIFY(!showsMarker(testfiles::read(path)));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), mode);
        QCOMPARE(contentOf(*store::readWorkbook(path, kPassword)), 'B');
    }

    // A file owned by another user keeps its owner, and its attributes, when the
    // administrator saves it (a new file renamed over it).
    void ownerKept()
    {
        if (::geteuid() != 0)
            CONTAVIO_SKIP("only the administrator can give a file to another user");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        const QByteArray native = QFile::encodeName(path);
        store::writeWorkbook(*markedBook(u'A'), path);
        const uid_t user = 12345;
        const gid_t group = 23456;
        QCOMPARE(::chown(native.constData(), user, group), 0);
        QCOMPARE(::setxattr(native.constData(), "user.contavio.ufficio", "cassa", 5, 0), 0);
        store::writeWorkbook(*markedBook(u'B'), path);
        QCOMPARE(store::lastSaveMethod(), store::SaveMethod::Rename);
        struct stat st {};
        QCOMPARE(::stat(native.constData(), &st), 0);
        QCOMPARE(st.st_uid, user);
        QCOMPARE(st.st_gid, group);
        char value[16] = {};
        QCOMPARE(::getxattr(native.constData(), "user.contavio.ufficio", value, sizeof value), ssize_t(5));
        QCOMPARE(QByteArray(value), QByteArray("cassa"));
    }

    // Where a rename cannot keep the file (a sticky folder refuses it, a folder takes no new
    // files) the save goes through the file itself, after a copy of the old version aside;
    // when that write fails, or no copy can be made, the old bytes stay and nothing is left.
    void savedInPlace_data()
    {
        QTest::addColumn<QString>("refused");   // the step refused with EPERM or EACCES
        QTest::addColumn<QString>("failing");   // a later step that fails, ENOSPC
        QTest::addColumn<QString>("reason");    // empty: saved
        QTest::newRow("sticky folder refuses the rename") << "rename" << "" << "";
        QTest::newRow("folder takes no new files") << "create" << "" << "";
        QTest::newRow("disk full while writing in place") << "create" << "inplace" << ": il disco è pieno";
        QTest::newRow("flush fails in place") << "create" << "fsync" << ": il disco è pieno";
        QTest::newRow("no room for the old version") << "create" << "aside"
                                                     << ": non c'è posto per una copia di sicurezza";
    }
    void savedInPlace()
    {
        QFETCH(QString, refused);
        QFETCH(QString, failing);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        store::writeWorkbook(*markedBook(u'A'), path);
        const QByteArray before = testfiles::hash(path);
        struct stat was {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &was), 0);
        // While the file is being written, the old version aside carries its own time.
        bool asideHasOldTime = false;
        store::setSaveFaultHook([&](const char *at) {
            const QString step = QLatin1String(at);
            if (step == QLatin1String("inplace")) {
                const QFileInfoList aside = QDir(dir.filePath(QStringLiteral("Backup"))).entryInfoList(QDir::Files | QDir::Hidden);
                struct stat st {};
                asideHasOldTime = aside.size() == 1 && ::stat(QFile::encodeName(aside.first().filePath()).constData(), &st) == 0
                    && st.st_mtim.tv_sec == was.st_mtim.tv_sec && st.st_mtim.tv_nsec == was.st_mtim.tv_nsec;
            }
            if (step == refused)
                return refused == QLatin1String("rename") ? EPERM : EACCES;
            return step == failing ? ENOSPC : 0;
        });
        try {
            store::writeWorkbook(*markedBook(u'B'), path);
            QVERIFY(reason.isEmpty());
        } catch (const StoreError &e) {
            QVERIFY2(!reason.isEmpty(), qPrintable(e.userMessage()));
            QVERIFY2(e.userMessage().contains(reason), qPrintable(e.userMessage()));
        }
        store::setSaveFaultHook({});
        QCOMPARE(asideHasOldTime, failing != QLatin1String("aside"));
        QCOMPARE(store::lastSaveMethod(), store::SaveMethod::InPlace);
        struct stat now {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &now), 0);
        QCOMPARE(now.st_ino, was.st_ino);
        if (reason.isEmpty())
            QCOMPARE(contentOf(*store::readWorkbook(path, kPassword)), 'B');
        else
            QCOMPARE(testfiles::hash(path), before);
        QCOMPARE(saveLeftovers(dir.path()), QStringList());
        QCOMPARE(QDir(dir.filePath(QStringLiteral("Backup"))).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // A workbook reached through a symbolic link (also a chain of two) stays a link; the
    // file it points to gets the new content, in its own folder.
    void symbolicLinkKept_data()
    {
        QTest::addColumn<int>("hops");
        QTest::newRow("one link") << 1;
        QTest::newRow("link to a link") << 2;
    }
    void symbolicLinkKept()
    {
        QFETCH(int, hops);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dati")));
        const QString target = dir.filePath(QStringLiteral("dati/Contavio-vero.xls"));
        store::writeWorkbook(*markedBook(u'A'), target);
        QString pointsTo = target;
        QString path;
        for (int hop = 0; hop < hops; ++hop) {
            path = dir.filePath(QStringLiteral("collegamento%1.xls").arg(hop));
            QVERIFY(QFile::link(pointsTo, path));
            pointsTo = path;
        }
        store::writeWorkbook(*markedBook(u'B'), path);
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(QFileInfo(path).canonicalFilePath(), QFileInfo(target).canonicalFilePath());
        QCOMPARE(contentOf(*store::readWorkbook(target, kPassword)), 'B');
        QCOMPARE(saveLeftovers(dir.path()), QStringList());
        QCOMPARE(saveLeftovers(dir.filePath(QStringLiteral("dati"))), QStringList());
    }
};

QTEST_GUILESS_MAIN(SavingTest)
#include "tst_saving.moc"
