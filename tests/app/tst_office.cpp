// The program in a real office: lock files of other programs and of our own crashes, shares
// that refuse locks, other programs changing the workbook while we run, read-only places,
// the Backup folder, a spreadsheet program opening the workbook, a FUSE mount.

#include "support/programworld.h"
#include "support/skip.h"
#include "support/files.h"

#include "app/filelock.h"
#include "app/recovery.h"
#include "store/file/savefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using app::FileState;
using LoadResult = app::Avvio::LoadResult;
using testworld::ProgramWorld;
using controls::Answer;
using controls::BoxKind;

namespace {

const QString kPassword = QStringLiteral("Tevo1963");

std::unique_ptr<store::Workbook> ledgerBook()
{
    return testworld::bareBook({QStringLiteral("Anagrafe"), QStringLiteral("Incassi"), QStringLiteral("Pagamenti")});
}

// A run of the program in its own process (office_child.cpp).
struct ChildRun {
    int exitCode = -1;
    QStringList boxes;   // "kind text", new lines as "|"
    QString output;
};

ChildRun runChild(const QStringList &args, const QStringList &prefix = {})
{
    QProcess process;
    QStringList all = prefix;
    all << QStringLiteral(OFFICE_CHILD_PATH) << args;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.start(all.takeFirst(), all);
    process.waitForFinished(60000);
    ChildRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    for (const QString &line : run.output.split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("BOX ")))
            run.boxes << line.mid(4);
    return run;
}

// A process that keeps the workbook open (no lock) until destroyed, as an editor would.
class Holder {
public:
    explicit Holder(const QString &path)
    {
        m_process.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec 3<\"$0\"; echo open; read x"), path});
        m_process.waitForReadyRead(10000);
    }
    ~Holder()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(10000);
    }
private:
    QProcess m_process;
};

QFileInfoList backups(const QString &workbook)
{
    return QDir(store::backupFolder(workbook)).entryInfoList({QStringLiteral("Contavio-*.xls")}, QDir::Files,
                                                             QDir::Time | QDir::Reversed);
}

} // namespace

class OfficeTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        app::WorkbookLock::setLockCallHook({});
        store::setSaveFaultHook({});
    }

    void ownLockFileWhileRunning()
    {
        ProgramWorld h;
        h.write(*ledgerBook());
        QCOMPARE(h.load(), LoadResult::Ready);
        const QString lockFile = app::officeLockFilePath(h.path());
        const app::LockHolder holder = app::readLockHolder(lockFile);
        QVERIFY(holder.ours);
        QCOMPARE(holder.host, app::thisHost());
        QCOMPARE(holder.since, QDateTime(QDate(2026, 12, 7), QTime(14, 5)));
        // The suites' own format: user and machine in the second and third fields.
        const QStringList fields = app::parseOfficeLockLine(testfiles::read(lockFile));
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields.at(1), app::thisUser());
        QCOMPARE(fields.at(2), app::thisHost());
        QCOMPARE(fields.at(3), QStringLiteral("07.12.2026 14:05"));
        // Escapes survive a round trip.
        const QStringList odd{QStringLiteral("Rossi, Mario; \\ s.r.l."), QString(), QStringLiteral("pc")};
        QCOMPARE(app::parseOfficeLockLine(app::officeLockLine(odd)), odd);

        QVERIFY(h.avvio()->close());
        QVERIFY(!QFileInfo::exists(lockFile));
    }

    void staleLockOfThisMachine_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("heldOpen");
        QTest::newRow("yes") << Answer::Yes << false;
        QTest::newRow("no") << Answer::No << false;
        QTest::newRow("a process still has it open") << Answer::Yes << true;
    }

    void staleLockOfThisMachine()
    {
        QFETCH(Answer, answer);
        QFETCH(bool, heldOpen);
        ProgramWorld h;
        h.write(*ledgerBook());
        const QString lockFile = app::officeLockFilePath(h.path());
        const QByteArray line = app::officeLockLine({QString(), QStringLiteral("mario"), app::thisHost(),
                                                     QStringLiteral("05.12.2026 09:30"), QStringLiteral("file:///p")});
        QVERIFY(testfiles::write(lockFile, line));
        std::optional<Holder> holder;
        if (heldOpen)
            holder.emplace(h.path());
        h.dialogs.queueAnswer(answer);

        const LoadResult result = h.load();
        QCOMPARE(h.dialogs.shown.size(), size_t(1));
        QVERIFY(h.dialogs.last().text.contains(QStringLiteral("aperto da mario sul computer ") + app::thisHost()
                                               + QStringLiteral(" dal 05/12/2026 alle 09:30")));
        if (heldOpen) {
            // Someone here has it open: obeyed, no question.
            QCOMPARE(result, LoadResult::InUse);
            QCOMPARE(h.dialogs.last().kind, BoxKind::Critical);
            QCOMPARE(testfiles::read(lockFile), line);
        } else if (answer == Answer::Yes) {
            QCOMPARE(h.dialogs.last().kind, BoxKind::Question);
            QCOMPARE(result, LoadResult::Ready);
            QVERIFY(app::readLockHolder(lockFile).ours);
        } else {
            QCOMPARE(result, LoadResult::InUse);
            QCOMPARE(testfiles::read(lockFile), line);
        }
    }

    // The stale lock file goes, but the other suite's owner file still blocks: the box names
    // that one, the file that blocks, not the one removed.
    void staleLockBehindAnotherOne()
    {
        ProgramWorld h;
        h.write(*ledgerBook());
        QVERIFY(testfiles::write(app::officeLockFilePath(h.path()),
                                    app::officeLockLine({QString(), QStringLiteral("mario"), app::thisHost(),
                                                         QStringLiteral("05.12.2026 09:30"), QStringLiteral("file:///p")})));
        QVERIFY(testfiles::write(app::ownerFilePath(h.path()), QByteArray(1, '\4') + "anna" + QByteArray(157, ' ')));
        h.dialogs.queueAnswer(Answer::Yes);
        QCOMPARE(h.load(), LoadResult::InUse);
        QCOMPARE(h.dialogs.shown.size(), size_t(2));
        QCOMPARE(h.dialogs.shown[0].defaultButton, Answer::No);
        QCOMPARE(h.dialogs.last().text, app::staleLockNotRemovedMessage(app::readLockHolder(app::ownerFilePath(h.path()))));
        QVERIFY(h.dialogs.last().text.contains(app::ownerFilePath(h.path())));
    }

    void lockOfAnotherMachineObeyed()
    {
        ProgramWorld h;
        h.write(*ledgerBook());
        const QString lockFile = app::officeLockFilePath(h.path());
        const QByteArray line = app::officeLockLine({QStringLiteral("Contavio (anna)"), QStringLiteral("anna"),
                                                     QStringLiteral("ufficio-2"), QStringLiteral("05.12.2026 09:30"),
                                                     QStringLiteral("contavio:1234")});
        QVERIFY(testfiles::write(lockFile, line));
        h.dialogs.queueAnswer(Answer::Yes);
        QCOMPARE(h.load(), LoadResult::InUse);
        QCOMPARE(h.dialogs.shown.size(), size_t(1));
        QCOMPARE(h.dialogs.last().kind, BoxKind::Critical);
        QVERIFY(h.dialogs.last().text.contains(QStringLiteral("sul computer ufficio-2")));
        QCOMPARE(testfiles::read(lockFile), line);
    }

    void ownLockLeftByCrashCleared()
    {
        QTemporaryDir folder;
        testworld::bareBook({QStringLiteral("Anagrafe")})->saveAs(folder.filePath(QStringLiteral("Contavio.xls")));
        QProcess crashing;
        crashing.start(QStringLiteral(OFFICE_CHILD_PATH), {folder.path(), QStringLiteral("-"), QStringLiteral("wait")});
        QByteArray said;
        while (!said.contains("ready") && crashing.waitForReadyRead(30000))
            said += crashing.readAllStandardOutput();
        QVERIFY(said.contains("ready"));
        crashing.kill();
        crashing.waitForFinished(10000);
        const QString lockFile = app::officeLockFilePath(folder.filePath(QStringLiteral("Contavio.xls")));
        QVERIFY(app::readLockHolder(lockFile).ours);

        // The next start says nothing about it.
        const ChildRun next = runChild({folder.path(), QStringLiteral("-")});
        QCOMPARE(next.exitCode, 0);
        QVERIFY2(next.boxes.isEmpty(), qPrintable(next.boxes.join(u'\n')));
    }

    void sharesThatRefuseLocks_data()
    {
        QTest::addColumn<QString>("share");
        QTest::addColumn<int>("kind");
        QTest::newRow("nfs: no lock on a descriptor only for reading") << "nfs" << int(app::LockKind::Ofd);
        QTest::newRow("old kernel: no open-file locks") << "old" << int(app::LockKind::Posix);
        QTest::newRow("smb: flock would be mandatory") << "smb" << int(app::LockKind::Ofd);
        QTest::newRow("every lock refused") << "none" << int(app::LockKind::LockFileOnly);
    }

    void sharesThatRefuseLocks()
    {
        QFETCH(QString, share);
        QFETCH(int, kind);
        app::WorkbookLock::setLockCallHook([share](const char *call, int flags) {
            const QByteArray c(call);
            if (c == "open")
                return 0;
            if (share == QLatin1String("nfs"))
                return (flags & O_ACCMODE) == O_RDONLY ? EBADF : 0;
            if (share == QLatin1String("old"))
                return c == "ofd" ? EINVAL : 0;
            if (share == QLatin1String("smb"))
                return c == "flock" ? EACCES : 0;
            return ENOLCK;
        });
        ProgramWorld h;
        h.write(*ledgerBook());
        // Every opening of the workbook after the lock would fail on a share that enforces it:
        // count them.
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(h.path()).constData(), IN_OPEN) >= 0);

        QCOMPARE(h.load(), LoadResult::Ready);
        QCOMPARE(int(h.avvio()->lock().kind()), kind);
        int opens = 0;
        char buffer[4096];
        for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
            for (char *p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(p)->len)
                ++opens;
        ::close(watch);
        QCOMPARE(opens, 1);   // the locked descriptor, nothing else
        h.session.workbook().sheet(QStringLiteral("Anagrafe")).cells(2, 3).setValue(QStringLiteral("BIANCHI"));

        // A second copy, in another process, is kept out by the record lock or, where there
        // is none, by the lock file.
        QStringList args{h.folder.path(), QStringLiteral("Y")};
        if (kind == int(app::LockKind::LockFileOnly))
            args << QStringLiteral("nolocks");
        const ChildRun second = runChild(args);
        QCOMPARE(second.exitCode, app::Avvio::exitCode(LoadResult::InUse));

        QVERIFY(h.avvio()->close());
        QCOMPARE(h.reread()->sheet(QStringLiteral("Anagrafe")).textAt(2, 3), QStringLiteral("BIANCHI"));
    }

    void changedByAnotherProgram_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("replaced, as a spreadsheet program saves") << false;
        QTest::newRow("rewritten in place, same size and time") << true;
    }

    void changedByAnotherProgram()
    {
        QFETCH(bool, inPlace);
        ProgramWorld h;
        h.write(*ledgerBook());
        QCOMPARE(h.load(), LoadResult::Ready);
        h.session.workbook().sheet(QStringLiteral("Anagrafe")).cells(2, 3).setValue(QStringLiteral("NOSTRO"));

        QByteArray theirs;
        if (inPlace) {
            // One byte flipped inside the file, size and time put back.
            struct stat before {};
            QCOMPARE(::stat(QFile::encodeName(h.path()).constData(), &before), 0);
            theirs = h.bytes();
            theirs[theirs.size() - 1] = char(theirs.at(theirs.size() - 1) ^ 0x5A);
            const int fd = ::open(QFile::encodeName(h.path()).constData(), O_WRONLY);
            QVERIFY(fd >= 0);
            QCOMPARE(::pwrite(fd, theirs.constData() + theirs.size() - 1, 1, theirs.size() - 1), ssize_t(1));
            const struct timespec times[2] = {before.st_atim, before.st_mtim};
            QCOMPARE(::futimens(fd, times), 0);
            ::close(fd);
        } else {
            auto other = ledgerBook();
            other->sheet(QStringLiteral("Anagrafe")).cells(2, 3).setValue(QStringLiteral("LORO"));
            store::writeWorkbook(*other, h.path());
            theirs = h.bytes();
        }

        QVERIFY(h.avvio()->close());
        QCOMPARE(h.exits, std::vector<int>{0});
        QCOMPARE(h.bytes(), theirs);   // their work stays as it is
        const QString dated = h.folder.filePath(QStringLiteral("Contavio-07-12-2026-14.05.09.xls"));
        QCOMPARE(store::readWorkbook(dated, kPassword)->sheet(QStringLiteral("Anagrafe")).textAt(2, 3),
                 QStringLiteral("NOSTRO"));
        QCOMPARE(h.dialogs.last().kind, BoxKind::Information);
        QVERIFY(h.dialogs.last().text.contains(h.path() + QStringLiteral(" contiene le modifiche dell'altro programma")));
        QVERIFY(h.dialogs.last().text.contains(dated + QStringLiteral(" contiene il lavoro di questa sessione")));
        QVERIFY(!QDir(store::backupFolder(h.path())).exists());   // nothing was replaced
    }

    void backupsAfterThreeRuns()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Contavio.xls"));
        testworld::bareBook({QStringLiteral("Anagrafe")})->saveAs(path);
        QList<QByteArray> versions{testfiles::read(path)};
        for (int run = 1; run <= 3; ++run) {
            // Each version has a time of its own, as runs on different days would.
            const struct timespec older[2] = {{0, UTIME_OMIT}, {1700000000 + run * 60, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), older, 0), 0);
            const ChildRun r = runChild({folder.path(), QStringLiteral("-"), QStringLiteral("write"), QStringLiteral("leave")});
            QCOMPARE(r.exitCode, 0);
            QVERIFY(r.output.contains(QStringLiteral("LEFT 0")));
            versions << testfiles::read(path);
        }
        // Only the first run changed the workbook (the others wrote the same record again):
        // they left the file and the backups alone.
        QVERIFY(versions.at(1) != versions.at(0));
        QCOMPARE(versions.at(2), versions.at(1));
        QCOMPARE(versions.at(3), versions.at(1));
        const QFileInfoList kept = backups(path);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(testfiles::read(kept.at(0).filePath()), versions.at(0));
        QVERIFY(store::readWorkbook(kept.at(0).filePath(), kPassword)->findSheet(QStringLiteral("Incassi")) == nullptr);
    }

    // Saves that fail keep nothing; the good one after them keeps the version it replaced.
    // The folder then holds the newest 20 versions and the newest of each of the last 30
    // days: a month-old version goes, the other days' survive a day of many saves.
    void failedSavesThenAGoodOne()
    {
        ProgramWorld h;
        h.write(*ledgerBook());
        const QByteArray replaced = h.bytes();
        const QString folder = store::backupFolder(h.path());
        QVERIFY(QDir().mkpath(folder));
        const qint64 today = QDateTime::currentSecsSinceEpoch();
        auto oldVersion = [&](const QString &name, qint64 secondsAgo) {
            QVERIFY(testfiles::write(folder + u'/' + name, name.toUtf8()));
            const struct timespec t[2] = {{0, UTIME_OMIT}, {time_t(today - secondsAgo), 0}};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(folder + u'/' + name).constData(), t, 0), 0);
        };
        for (int i = 1; i <= 20; ++i)   // a busy day: twenty saves a second apart
            oldVersion(QStringLiteral("Contavio-oggi-%1.xls").arg(i, 2, 10, QLatin1Char('0')), i);
        for (int day = 2; day <= 6; ++day)
            oldVersion(QStringLiteral("Contavio-giorno-%1.xls").arg(day), 86400 * day);
        oldVersion(QStringLiteral("Contavio-mese-scorso.xls"), 86400 * 40);
        const QStringList before = QDir(folder).entryList(QDir::Files);

        QCOMPARE(h.load(), LoadResult::Ready);
        h.session.workbook().sheet(QStringLiteral("Incassi")).cells(2, 3).setValue(QStringLiteral("ROSSI"));
        store::setSaveFaultHook([](const char *step) { return QByteArray(step) == "rename" ? ENOSPC : 0; });
        for (int attempt = 0; attempt < 3; ++attempt)
            QVERIFY(!app::leaveProgram(h.session));
        QCOMPARE(QDir(folder).entryList(QDir::Files), before);
        store::setSaveFaultHook({});
        QVERIFY(app::leaveProgram(h.session));

        QStringList expected = before;
        expected.removeAll(QStringLiteral("Contavio-oggi-20.xls"));
        expected.removeAll(QStringLiteral("Contavio-mese-scorso.xls"));
        const QFileInfoList kept = backups(h.path());
        QCOMPARE(testfiles::read(kept.last().filePath()), replaced);
        expected << kept.last().fileName();
        expected.sort();
        QCOMPARE(QDir(folder).entryList(QDir::Files), expected);
        // The same version is never kept twice.
        QCOMPARE(store::keepVersion(h.path(), {true, replaced, 0}), kept.last().filePath());
        QCOMPARE(QDir(folder).entryList(QDir::Files), expected);
    }

    // A session that changed nothing (the start's own shaping, a ledger already in order
    // sorted again) leaves the file and the backups as they were.
    void unchangedSessionLeavesTheFile()
    {
        ProgramWorld h;
        auto book = ledgerBook();
        app::shapeWorkbook(*book);
        for (int row = 2; row <= 3; ++row) {
            book->sheet(QStringLiteral("Incassi")).cells(row, 1).setValue(double(row));
            book->sheet(QStringLiteral("Incassi")).cells(row, 6).setValue(QStringLiteral("0%1/01/2027").arg(row));
        }
        h.write(*book);
        struct stat was {};
        QCOMPARE(::stat(QFile::encodeName(h.path()).constData(), &was), 0);
        const QByteArray bytes = h.bytes();
        QCOMPARE(h.load(), LoadResult::Ready);
        h.session.workbook().sheet(QStringLiteral("Incassi")).range(QStringLiteral("A2:S65536")).sort({6});
        QVERIFY(app::leaveProgram(h.session));
        struct stat now {};
        QCOMPARE(::stat(QFile::encodeName(h.path()).constData(), &now), 0);
        QCOMPARE(h.bytes(), bytes);
        QCOMPARE(now.st_mtim.tv_nsec, was.st_mtim.tv_nsec);
        QVERIFY(!QDir(store::backupFolder(h.path())).exists());
        QCOMPARE(h.files(), QStringList{QStringLiteral("Contavio.xls")});
    }

    // A workbook that opens only for reading: the question says so with No as its default;
    // going on, "Chiudi" tries nothing and says in one line that nothing was saved.
    void readOnlySessionLeavesAtOnce()
    {
        app::WorkbookLock::setLockCallHook([](const char *call, int flags) {
            return QByteArray(call) == "open" && (flags & O_ACCMODE) == O_RDWR ? EACCES : 0;
        });
        ProgramWorld h;
        h.write(*ledgerBook());
        const QByteArray before = h.bytes();
        h.dialogs.queueAnswer(Answer::Yes);
        QCOMPARE(h.load(), LoadResult::Ready);
        QCOMPARE(h.dialogs.last().kind, BoxKind::Question);
        QCOMPARE(h.dialogs.last().defaultButton, Answer::No);
        h.session.workbook().sheet(QStringLiteral("Incassi")).cells(2, 3).setValue(QStringLiteral("ROSSI"));
        QVERIFY(app::leaveProgram(h.session));
        QCOMPARE(h.dialogs.shown.size(), size_t(2));
        QCOMPARE(h.dialogs.last().kind, BoxKind::Information);
        QCOMPARE(h.dialogs.last().text, app::nothingSavedMessage(h.path()));
        QCOMPARE(h.exits, std::vector<int>{0});
        QCOMPARE(h.bytes(), before);
    }

    // A share whose file another program holds open answers the open with a sharing
    // violation: that is "already open", not an unreadable file.
    void sharingViolationMeansInUse_data()
    {
        QTest::addColumn<int>("error");
        QTest::newRow("EBUSY") << EBUSY;
        QTest::newRow("ETXTBSY") << ETXTBSY;
    }
    void sharingViolationMeansInUse()
    {
        QFETCH(int, error);
        app::WorkbookLock::setLockCallHook([error](const char *call, int) { return QByteArray(call) == "open" ? error : 0; });
        ProgramWorld h;
        h.write(*ledgerBook());
        QCOMPARE(h.load(), LoadResult::InUse);
        QCOMPARE(h.dialogs.shown.size(), size_t(1));
        QCOMPARE(h.dialogs.last().kind, BoxKind::Critical);
        QCOMPARE(h.dialogs.last().text, app::alreadyOpenMessage());
    }

    void asideRecoveryCopiesKeptToFive()
    {
        ProgramWorld h;
        h.write(*ledgerBook());
        for (int i = 0; i < 7; ++i) {
            const QString aside = h.folder.filePath(QStringLiteral("Contavio-ripristino-0%1-01-2020-10.00.00.xls").arg(i + 1));
            QVERIFY(testfiles::write(aside, "vecchia"));
            const struct timespec t[2] = {{0, UTIME_OMIT}, {1500000000 + i, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(aside).constData(), t, 0), 0);
        }
        // A copy older than the workbook is set aside without a question.
        QVERIFY(testfiles::write(app::recoveryCopyPath(h.path()), "copia"));
        const struct timespec t[2] = {{0, UTIME_OMIT}, {1600000000, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(app::recoveryCopyPath(h.path())).constData(), t, 0), 0);
        QCOMPARE(app::offerRecovery(h.path(), kPassword, h.dialogs), app::RecoveryOutcome::KeptAside);
        const QStringList left = QDir(h.folder.path()).entryList({QStringLiteral("Contavio-ripristino-*.xls")});
        QCOMPARE(left.size(), 5);
        QVERIFY(left.contains(QStringLiteral("Contavio-ripristino-07-01-2020-10.00.00.xls")));
        QVERIFY(!left.contains(QStringLiteral("Contavio-ripristino-03-01-2020-10.00.00.xls")));
    }

    void recoveryCopyFailureToldOnce()
    {
        ProgramWorld h;
        h.write(*ledgerBook());
        QCOMPARE(h.load(), LoadResult::Ready);
        app::RecoveryCopy *recovery = h.avvio()->recovery();
        QVERIFY(recovery);
        store::setSaveFaultHook([](const char *step) { return QByteArray(step) == "create" ? ENOSPC : 0; });
        for (int change = 1; change <= 3; ++change) {
            h.session.workbook().sheet(QStringLiteral("Incassi")).cells(2, 1).setValue(double(change));
            QVERIFY(recovery->check());
            recovery->waitForWriter();
        }
        recovery->check();
        store::setSaveFaultHook({});
        QCOMPARE(h.dialogs.shown.size(), size_t(1));
        QCOMPARE(h.dialogs.last().kind, BoxKind::Critical);
        QVERIFY(h.dialogs.last().text.startsWith(QStringLiteral("Impossibile scrivere la copia di ripristino ")
                                                 + recovery->path()));
        QVERIFY(h.dialogs.last().text.contains(QStringLiteral("il disco è pieno")));
    }

    void readOnlyPlaceAsAnotherUser()
    {
        // The permissions of files mean nothing to the administrator: the program runs as
        // the unprivileged "nobody", in a folder and on a file it may read but not write.
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            CONTAVIO_SKIP("setpriv is not installed");
        if (::geteuid() != 0)
            CONTAVIO_SKIP("needs to run as root, to start the program as another user");
        const QString base = QStringLiteral("/tmp/contavio-sola-lettura-%1").arg(::getpid());
        QDir().mkpath(base);
        ::chmod(QFile::encodeName(base).constData(), 0755);
        const QString path = base + QStringLiteral("/Contavio.xls");
        ledgerBook()->saveAs(path);
        ::chmod(QFile::encodeName(path).constData(), 0644);
        const QByteArray before = testfiles::read(path);
        const QStringList asNobody{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                                   QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};

        const ChildRun refused = runChild({base, QStringLiteral("N")}, asNobody);
        QCOMPARE(refused.exitCode, app::Avvio::exitCode(LoadResult::ReadOnly));
        QCOMPARE(refused.boxes.size(), 1);
        QVERIFY2(refused.boxes.at(0).startsWith(QStringLiteral("3 Il file ") + path + QStringLiteral(" è in sola lettura e la sua cartella")),
                 qPrintable(refused.boxes.join(u'\n')));

        // Going on: "Chiudi" leaves without trying, with one line that nothing was saved.
        const ChildRun went = runChild({base, QStringLiteral("Y"), QStringLiteral("write"), QStringLiteral("leave")}, asNobody);
        QCOMPARE(went.exitCode, 0);
        QVERIFY2(went.output.contains(QStringLiteral("LEFT 0")), qPrintable(went.output));
        QCOMPARE(went.boxes.size(), 2);
        QCOMPARE(went.boxes.at(1), QStringLiteral("1 ") + app::nothingSavedMessage(path));
        QCOMPARE(testfiles::read(path), before);
        QDir(base).removeRecursively();
    }

    // An exception that escapes a handler (here a timer's slot) in the real program: the last
    // guard tells it in Italian, the session goes on with its data, and "Chiudi" saves it.
    void escapedExceptionKeepsTheSession()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Contavio.xls"));
        ledgerBook()->saveAs(path);
        const ChildRun run = runChild({folder.path(), QStringLiteral("-"), QStringLiteral("write"), QStringLiteral("throw"),
                                       QStringLiteral("leave")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.output.contains(QStringLiteral("LEFT 0")), qPrintable(run.output));
        QCOMPARE(run.boxes.size(), 1);
        QVERIFY(run.boxes.at(0).startsWith(QStringLiteral("2 Si è verificato un errore imprevisto")));
        QVERIFY(run.boxes.at(0).contains(QStringLiteral("Guasto di prova.")));
        QCOMPARE(store::readWorkbook(path, kPassword)->sheet(QStringLiteral("Incassi")).textAt(2, 3),
                 QStringLiteral("ROSSI MARIO"));
    }

    // A colleague (another user id, in the owner's group) saves the owner's workbook through
    // the program: it stays the owner's file, with its group, mode, ACL, extended attribute
    // and hard link, whatever the folder: the group's, a sticky one, one without new files.
    void savedByAnotherUser_data()
    {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<bool>("rootsFolder");
        QTest::addColumn<bool>("linked");
        QTest::newRow("the group's folder") << 02775 << false << false;
        QTest::newRow("hard link") << 02775 << false << true;
        QTest::newRow("sticky folder") << 01777 << true << false;
        QTest::newRow("folder that takes no new files") << 0755 << false << false;
    }
    void savedByAnotherUser()
    {
        QFETCH(int, folderMode);
        QFETCH(bool, rootsFolder);
        QFETCH(bool, linked);
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            CONTAVIO_SKIP("setpriv is not installed");
        if (::geteuid() != 0)
            CONTAVIO_SKIP("needs to run as root, to give the files to one user and save them as another");
        const uid_t owner = 4101, colleague = 4102;
        const gid_t office = 4100;
        QTemporaryDir base(QStringLiteral("/tmp/contavio-utenti-XXXXXX"));
        QCOMPARE(::chmod(QFile::encodeName(base.path()).constData(), 0755), 0);
        const QString folder = base.filePath(QStringLiteral("dati"));
        const QByteArray nativeFolder = QFile::encodeName(folder);
        QCOMPARE(::mkdir(nativeFolder.constData(), 0700), 0);
        QCOMPARE(::chown(nativeFolder.constData(), rootsFolder ? 0 : owner, office), 0);
        QCOMPARE(::chmod(nativeFolder.constData(), mode_t(folderMode)), 0);
        const QString path = folder + QStringLiteral("/Contavio.xls");
        const QByteArray native = QFile::encodeName(path);
        ledgerBook()->saveAs(path);
        QCOMPARE(::chown(native.constData(), owner, office), 0);
        QCOMPARE(::chmod(native.constData(), 0664), 0);
        // An ACL (user 4103 may read) and an attribute of the owner's.
        QByteArray acl;
        auto entry = [&acl](quint16 tag, quint16 perm, quint32 id) {
            acl.append(reinterpret_cast<const char *>(&tag), 2).append(reinterpret_cast<const char *>(&perm), 2)
                .append(reinterpret_cast<const char *>(&id), 4);
        };
        const quint32 version = 2;
        acl.append(reinterpret_cast<const char *>(&version), 4);
        entry(0x01, 6, ~0u);   // owner
        entry(0x02, 4, 4103);  // one more user
        entry(0x04, 6, ~0u);   // group
        entry(0x10, 6, ~0u);   // mask
        entry(0x20, 4, ~0u);   // others
        QCOMPARE(::setxattr(native.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0), 0);
        QCOMPARE(::setxattr(native.constData(), "user.contavio.ufficio", "amministrazione", 15, 0), 0);
        const QString link = linked ? folder + QStringLiteral("/Contavio-collegamento.xls") : path;
        if (linked)
            QCOMPARE(::link(native.constData(), QFile::encodeName(link).constData()), 0);
        auto attribute = [&](const char *name) {
            QByteArray value(256, '\0');
            const ssize_t n = ::getxattr(native.constData(), name, value.data(), size_t(value.size()));
            return n < 0 ? QByteArray() : value.left(n);
        };
        struct stat before {};
        QCOMPARE(::stat(native.constData(), &before), 0);

        const ChildRun run = runChild({folder, QStringLiteral("-"), QStringLiteral("write"), QStringLiteral("leave")},
                                      {QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(colleague),
                                       QStringLiteral("--regid=%1").arg(office), QStringLiteral("--clear-groups")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.output.contains(QStringLiteral("LEFT 0")), qPrintable(run.output));
        struct stat after {};
        QCOMPARE(::stat(native.constData(), &after), 0);
        QCOMPARE(after.st_uid, owner);
        QCOMPARE(after.st_gid, office);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_nlink, nlink_t(linked ? 2 : 1));
        QCOMPARE(attribute("system.posix_acl_access"), acl);
        QCOMPARE(attribute("user.contavio.ufficio"), QByteArray("amministrazione"));
        QCOMPARE(store::readWorkbook(link, kPassword)->sheet(QStringLiteral("Incassi")).textAt(2, 3),
                 QStringLiteral("ROSSI MARIO"));
    }

    void spreadsheetProgramFindsItLocked()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
            CONTAVIO_SKIP("no office suite (soffice) here");
        ProgramWorld h;
        h.write(*ledgerBook());
        QCOMPARE(h.load(), LoadResult::Ready);
        QTemporaryDir other;
        const QString free = other.filePath(QStringLiteral("Libero.xls"));
        QVERIFY(QFile::copy(h.path(), free));

        QProcess probe;
        probe.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(OFFICE_LOCK_PROBE), free, h.path(), kPassword});
        QVERIFY(probe.waitForFinished(240000));
        const QJsonObject out = QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
        QVERIFY2(!out.isEmpty(), probe.readAllStandardError().constData());
        // Our workbook opens read-only there while we run.
        QVERIFY(out[QStringLiteral("held")].toObject()[QStringLiteral("loaded")].toBool());
        QVERIFY(out[QStringLiteral("held")].toObject()[QStringLiteral("readonly")].toBool());
        // And the suite's own lock line reads as its user on this machine.
        const QString line = out[QStringLiteral("free")].toObject()[QStringLiteral("lock")].toString();
        QVERIFY(!line.isEmpty());
        const QString copied = other.filePath(QStringLiteral(".~lock.Copia.xls#"));
        QVERIFY(testfiles::write(copied, line.toUtf8()));
        const app::LockHolder holder = app::readLockHolder(copied);
        QCOMPARE(holder.user, app::thisUser());
        QCOMPARE(holder.host, app::thisHost());
        QVERIFY(!holder.ours);
        QVERIFY(holder.since.isValid());
        QVERIFY(h.avvio()->close());
    }

    void fuseMountedFolder()
    {
        // An ssh server on the loopback address and the folder mounted through sshfs, the
        // way a folder of another machine is reached.
        for (const QString &tool : {QStringLiteral("/usr/sbin/sshd"), QStringLiteral("/usr/bin/sshfs"),
                                    QStringLiteral("/usr/bin/ssh-keygen"), QStringLiteral("/usr/bin/fusermount")})
            if (!QFileInfo(tool).isExecutable())
                CONTAVIO_SKIP(tool + QStringLiteral(" is not installed"));
        if (::access("/dev/fuse", R_OK | W_OK) != 0 || ::geteuid() != 0)
            CONTAVIO_SKIP("FUSE is not available here (no /dev/fuse, or not root)");
        QTemporaryDir work;
        const QString remote = work.filePath(QStringLiteral("remote"));
        const QString mount = work.filePath(QStringLiteral("mnt"));
        QDir().mkpath(remote);
        QDir().mkpath(mount);
        auto run = [](const QString &program, const QStringList &args) {
            QProcess p;
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(program, args);
            p.waitForFinished(30000);
            return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        };
        for (const char *key : {"hostkey", "userkey"})
            QVERIFY(run(QStringLiteral("/usr/bin/ssh-keygen"),
                        {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"),
                         QString(), QStringLiteral("-f"), work.filePath(QLatin1String(key))}));
        QVERIFY(QFile::copy(work.filePath(QStringLiteral("userkey.pub")), work.filePath(QStringLiteral("authorized_keys"))));
        const int port = 20000 + int(::getpid() % 20000);
        QVERIFY(testfiles::write(work.filePath(QStringLiteral("sshd_config")),
                                    QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2/hostkey\n"
                                                   "AuthorizedKeysFile %2/authorized_keys\nPasswordAuthentication no\n"
                                                   "PermitRootLogin prohibit-password\nStrictModes no\nUsePAM no\n"
                                                   "PidFile %2/sshd.pid\nSubsystem sftp internal-sftp\n")
                                        .arg(port).arg(work.path()).toUtf8()));
        QDir().mkpath(QStringLiteral("/run/sshd"));
        if (!run(QStringLiteral("/usr/sbin/sshd"), {QStringLiteral("-f"), work.filePath(QStringLiteral("sshd_config"))}))
            CONTAVIO_SKIP("the ssh server does not start here");
        auto stopServer = qScopeGuard([&] {
            const QByteArray pid = testfiles::read(work.filePath(QStringLiteral("sshd.pid"))).trimmed();
            if (!pid.isEmpty())
                ::kill(pid_t(pid.toLongLong()), SIGTERM);
        });
        QTest::qWait(300);
        if (!run(QStringLiteral("/usr/bin/sshfs"),
                 {QStringLiteral("-p"), QString::number(port), QStringLiteral("-o"),
                  QStringLiteral("IdentityFile=%1/userkey,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes")
                      .arg(work.path()),
                  QStringLiteral("root@127.0.0.1:") + remote, mount}))
            CONTAVIO_SKIP("sshfs cannot mount here");
        auto unmount = qScopeGuard([&] { run(QStringLiteral("/usr/bin/fusermount"), {QStringLiteral("-u"), mount}); });

        ledgerBook()->saveAs(mount + QStringLiteral("/Contavio.xls"));
        const QByteArray first = testfiles::read(remote + QStringLiteral("/Contavio.xls"));
        QProcess running;
        running.start(QStringLiteral(OFFICE_CHILD_PATH), {mount, QStringLiteral("-"), QStringLiteral("write"),
                                                          QStringLiteral("wait"), QStringLiteral("leave")});
        QByteArray said;
        while (!said.contains("ready") && running.waitForReadyRead(30000))
            said += running.readAllStandardOutput();
        QVERIFY2(said.contains("ready"), said.constData());
        // A second copy on the same mount is kept out.
        QCOMPARE(runChild({mount, QStringLiteral("N")}).exitCode, app::Avvio::exitCode(LoadResult::InUse));
        running.write("\n");
        running.closeWriteChannel();
        QVERIFY(running.waitForFinished(30000));
        said += running.readAllStandardOutput();
        QVERIFY2(said.contains("LEFT 0"), said.constData());

        // Saved on the other side, the version it replaced in Backup, no lock file left.
        const auto saved = store::readWorkbook(remote + QStringLiteral("/Contavio.xls"), kPassword);
        QCOMPARE(saved->sheet(QStringLiteral("Incassi")).textAt(2, 3), QStringLiteral("ROSSI MARIO"));
        const QFileInfoList kept = backups(remote + QStringLiteral("/Contavio.xls"));
        QCOMPARE(kept.size(), 1);
        QCOMPARE(testfiles::read(kept.at(0).filePath()), first);
        QVERIFY(!QFileInfo::exists(app::officeLockFilePath(remote + QStringLiteral("/Contavio.xls"))));
    }
};

QTEST_MAIN(OfficeTest)
#include "tst_office.moc"
