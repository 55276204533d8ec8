// The program in a real office: lock files of other programs and of our own crashes, shares
// that refuse locks, other programs changing the workbook while we run, read-only places,
// the Backup folder, a spreadsheet program opening the workbook, a FUSE mount.

#include "support/skip.h"
#include "support/programworld.h"
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
        const QFileInfoList kept = backups(path);
        QCOMPARE(kept.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(testfiles::read(kept.at(i).filePath()), versions.at(i));
            QVERIFY(store::readWorkbook(kept.at(i).filePath(), kPassword)->findSheet(QStringLiteral("Anagrafe")));
        }
        QVERIFY(store::readWorkbook(kept.at(0).filePath(), kPassword)->findSheet(QStringLiteral("Incassi")) == nullptr);
    }

    void backupsKeptToNewest()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Contavio.xls"));
        QVERIFY(testfiles::write(path, "versione attuale"));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("Backup")));
        for (int i = 0; i < 22; ++i) {
            const QString old = folder.filePath(QStringLiteral("Backup/Contavio-%1.xls").arg(i));
            QVERIFY(testfiles::write(old, QByteArray::number(i)));
            const struct timespec t[2] = {{0, UTIME_OMIT}, {1600000000 + i, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(old).constData(), t, 0), 0);
        }
        // Where the file system has no hard links, a copy.
        store::setSaveFaultHook([](const char *step) { return QByteArray(step) == "link" ? EPERM : 0; });
        const QString kept = store::keepBackup(path, 20);
        store::setSaveFaultHook({});
        QCOMPARE(testfiles::read(kept), QByteArray("versione attuale"));
        const QFileInfoList left = backups(path);
        QCOMPARE(left.size(), 20);
        QVERIFY(left.contains(QFileInfo(kept)));
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("Backup/Contavio-2.xls"))));
        QVERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("Backup/Contavio-3.xls"))));
        // A hard link: the same file, no copy.
        const QString linked = store::keepBackup(path, 20);
        struct stat a {}, b {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &a), 0);
        QCOMPARE(::stat(QFile::encodeName(linked).constData(), &b), 0);
        QCOMPARE(a.st_ino, b.st_ino);
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

        // Going on: the save fails, the user may leave without it.
        const ChildRun went = runChild({base, QStringLiteral("YY"), QStringLiteral("write"), QStringLiteral("leave")}, asNobody);
        QCOMPARE(went.exitCode, 0);
        QVERIFY2(went.output.contains(QStringLiteral("LEFT 0")), qPrintable(went.output));
        QCOMPARE(went.boxes.size(), 3);
        QVERIFY(went.boxes.at(1).startsWith(QStringLiteral("2 Impossibile salvare il file")));
        QVERIFY(went.boxes.at(2).startsWith(QStringLiteral("3 Vuoi uscire senza salvare ?")));
        QVERIFY(went.boxes.at(2).contains(QStringLiteral("Quel lavoro va perso.")));
        QCOMPARE(testfiles::read(path), before);
        QDir(base).removeRecursively();
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
        writeBytes(work.filePath(QStringLiteral("sshd_config")),
                   QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2/hostkey\n"
                                  "AuthorizedKeysFile %2/authorized_keys\nPasswordAuthentication no\n"
                                  "PermitRootLogin prohibit-password\nStrictModes no\nUsePAM no\n"
                                  "PidFile %2/sshd.pid\nSubsystem sftp internal-sftp\n")
                       .arg(port).arg(work.path()).toUtf8());
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
