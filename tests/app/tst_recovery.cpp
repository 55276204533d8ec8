// The recovery copy: kept while the program runs, removed by a clean exit, offered back after
// a run that was killed, and never readable without the password.

#include "support/skip.h"
#include "app/recovery.h"
#include "support/programworld.h"
#include "support/files.h"
#include "store/file/savefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

using controls::Answer;
using controls::BoxKind;
using LoadResult = app::Avvio::LoadResult;

namespace {

using testworld::kPassword;
const QString kName = QStringLiteral("ROSSI MARIO");

// One program in the test: a folder with its workbook, scripted dialogs, the forms.
struct Program : testworld::ProgramWorld {
    Program() : ProgramWorld(QDateTime(QDate(2027, 1, 15), QTime(9, 30, 0))) {}
    QString copyPath() const { return app::recoveryCopyPath(path()); }
    // The three data sheets, empty, as a workbook of long ago.
    void writeWorkbook() const
    {
        write(*testworld::bareBook({QStringLiteral("Anagrafe"), QStringLiteral("Incassi"), QStringLiteral("Pagamenti")}));
    }
    void enterRecords(int count)
    {
        store::Worksheet &incassi = session.workbook().sheet(QStringLiteral("Incassi"));
        for (int n = 1; n <= count; ++n) {
            incassi.cells(n + 1, 1).setValue(double(n));
            incassi.cells(n + 1, 3).setValue(kName);
            incassi.cells(n + 1, 8).setValue(QStringLiteral("%1,50").arg(100 * n));
            incassi.cells(1, 256).setValue(double(n));
        }
    }
};

// How many records of "Incassi" a workbook file holds (rows 2.. with the name in C).
int recordsIn(const QString &path, const QString &password = kPassword)
{
    auto book = store::readWorkbook(path, password);
    store::Worksheet &incassi = book->sheet(QStringLiteral("Incassi"));
    int n = 0;
    while (incassi.textAt(n + 2, 3) == kName)
        ++n;
    return n;
}

void setModified(const QString &path, const QDateTime &when)
{
    struct utimbuf times {};
    times.actime = times.modtime = time_t(when.toSecsSinceEpoch());
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

QStringList keptAside(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("Contavio-ripristino-*")}, QDir::Files);
}

// The workbook another spreadsheet program makes (longname_probe.py), once for the run.
QString officeWorkbook()
{
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("fatto-altrove.xls"));
    if (!QFileInfo::exists(path)) {
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
            return {};
        QProcess probe;
        probe.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(LONGNAME_PROBE), QStringLiteral("make"), path, kPassword});
        probe.waitForFinished(240000);
    }
    return QFileInfo::exists(path) ? path : QString();
}

} // namespace

#define SKIP_WITHOUT_OFFICE(path)                                                  \
    if ((path).isEmpty())                                                          \
        CONTAVIO_SKIP("no office suite (soffice with python3-uno) to make the workbook")

class RecoveryTest : public QObject {
    Q_OBJECT

private slots:
    // Changes reach the copy, encrypted and private; start-up's own shaping is no change; a
    // clean exit saves the workbook and removes the copy.
    void copyFollowsChangesAndCleanExitRemovesIt()
    {
        Program p;
        p.writeWorkbook();
        QCOMPARE(p.load(), LoadResult::Ready);
        app::RecoveryCopy *recovery = p.avvio()->recovery();
        QVERIFY(recovery);
        QVERIFY(!recovery->check());
        QVERIFY(!QFileInfo::exists(p.copyPath()));

        p.enterRecords(3);
        QVERIFY(recovery->check());
        recovery->waitForWriter();
        QCOMPARE(recovery->lastError(), QString());
        QCOMPARE(recordsIn(p.copyPath()), 3);
        QFile copy(p.copyPath());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        const QByteArray bytes = copy.readAll();
        QVERIFY(!bytes.contains(kName.toLatin1()));
        QCOMPARE(int(copy.permissions() & (QFile::ReadGroup | QFile::ReadOther)), 0);
        QVERIFY_THROWS_EXCEPTION(store::StoreError, store::readWorkbook(p.copyPath(), QStringLiteral("sbagliata")));

        p.enterRecords(4);
        QVERIFY(recovery->check());
        QVERIFY(!recovery->check());   // nothing new since
        recovery->waitForWriter();
        QCOMPARE(recordsIn(p.copyPath()), 4);
        QCOMPARE(recordsIn(p.path()), 0);   // the workbook itself changes only on exit

        QVERIFY(app::leaveProgram(p.session));
        QVERIFY(!QFileInfo::exists(p.copyPath()));
        QCOMPARE(recordsIn(p.path()), 4);
        QCOMPARE(QDir(p.folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Contavio.xls")});
    }

    // The copy the writer thread encodes is the workbook's own clone. Of a workbook written by
    // another spreadsheet program, with a sheet name longer than our own setters take, names,
    // shared formulas and a row height past the used range, the clone saves the very bytes
    // the workbook saves, and stays so while the original is sorted and loses rows.
    void cloneOfAnOfficeWorkbook()
    {
        const QString made = officeWorkbook();
        SKIP_WITHOUT_OFFICE(made);
        auto book = store::readWorkbook(made, kPassword);
        QVERIFY(book->sheet(4).name().size() > 31);
        book->protection.password.clear();   // bytes without the random salt of a cipher
        const QByteArray before = store::workbookBytes(*book);
        auto copy = book->clone();
        QCOMPARE(store::workbookBytes(*copy), before);

        store::Worksheet &incassi = book->sheet(QStringLiteral("Incassi"));
        incassi.range(QStringLiteral("A2:H6")).sort({8, store::SortOrder::Descending, store::SortHeader::No, false});
        incassi.range(QStringLiteral("2:3")).deleteRows();
        book->sheet(4).range(QStringLiteral("2:2")).deleteRows();
        QVERIFY(store::workbookBytes(*book) != before);
        QCOMPARE(store::workbookBytes(*copy), before);
    }

    // The same workbook as Contavio.xls: one change, the recovery timer keeps running and
    // copies it, and "Chiudi" saves the change with the long name kept.
    void officeWorkbookThroughASession()
    {
        const QString made = officeWorkbook();
        SKIP_WITHOUT_OFFICE(made);
        Program p;
        QVERIFY(QFile::copy(made, p.path()));
        QCOMPARE(p.load(), LoadResult::Ready);
        app::RecoveryCopy *recovery = p.avvio()->recovery();
        recovery->start(10);
        p.session.workbook().sheet(QStringLiteral("Incassi")).cells(7, 3).setValue(kName);
        QTRY_VERIFY_WITH_TIMEOUT(recovery->copiesWritten() > 0, 5000);
        recovery->waitForWriter();
        QCOMPARE(recovery->lastError(), QString());
        QVERIFY(p.dialogs.shown.empty());

        QVERIFY(app::leaveProgram(p.session));
        auto saved = p.reread();
        QCOMPARE(saved->sheet(QStringLiteral("Incassi")).textAt(7, 3), kName);
        QCOMPARE(saved->sheet(4).name(), store::readWorkbook(made, kPassword)->sheet(4).name());
        QVERIFY(!QFileInfo::exists(p.copyPath()));
    }

    // The timer keeps the copy without being asked.
    void timerWritesTheCopy()
    {
        Program p;
        p.writeWorkbook();
        QCOMPARE(p.load(), LoadResult::Ready);
        p.avvio()->recovery()->start(10);
        p.enterRecords(2);
        QTRY_VERIFY_WITH_TIMEOUT(p.avvio()->recovery()->copiesWritten() > 0, 5000);
        p.avvio()->recovery()->waitForWriter();
        QCOMPARE(recordsIn(p.copyPath()), 2);
    }

    // A run killed after entering records: the next start asks, and Yes brings the records
    // back into the workbook before the start goes on; No keeps the workbook as it was and
    // the copy aside under a dated name.
    void killedRunOffersRecovery_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("recovered") << true;
        QTest::newRow("declined") << false;
    }
    void killedRunOffersRecovery()
    {
        QFETCH(bool, yes);
        Program p;
        p.writeWorkbook();
        const QByteArray before = testfiles::hash(p.path());

        int out[2];
        QCOMPARE(pipe(out), 0);
        const pid_t child = fork();
        if (child == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            const QByteArray folder = QFile::encodeName(p.folder.path());
            execl(SESSION_PATH, SESSION_PATH, folder.constData(), "5", "-platform", "offscreen", nullptr);
            _exit(127);
        }
        ::close(out[1]);
        QByteArray said;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            said.append(c);
        ::close(out[0]);
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        QCOMPARE(said, QByteArray("copied"));
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(testfiles::hash(p.path()), before);   // the killed run never saved
        QVERIFY(QFileInfo::exists(p.copyPath()));
        // The copy is newer than the workbook, by file times.
        setModified(p.path(), QDateTime::currentDateTime().addSecs(-60));

        p.dialogs.queueAnswer(yes ? Answer::Yes : Answer::No);
        QCOMPARE(p.load(), LoadResult::Ready);
        QCOMPARE(p.dialogs.shown.size(), size_t(1));
        const auto &question = p.dialogs.shown.front();
        QCOMPARE(question.kind, BoxKind::Question);
        QCOMPARE(question.title, QStringLiteral("Contavio"));
        QVERIFY(question.text.contains(QStringLiteral("Vuoi recuperare il lavoro non salvato ?")));
        QVERIFY(!QFileInfo::exists(p.copyPath()));

        store::Worksheet &incassi = p.session.workbook().sheet(QStringLiteral("Incassi"));
        if (yes) {
            QCOMPARE(incassi.textAt(6, 3), kName);
            QCOMPARE(incassi.valueAt(6, 8).number, 500.5);
            QCOMPARE(incassi.valueAt(1, 256).number, 5.0);
            QCOMPARE(keptAside(p.folder.path()), QStringList());
        } else {
            QCOMPARE(incassi.textAt(2, 3), QString());
            const QStringList aside = keptAside(p.folder.path());
            QCOMPARE(aside.size(), 1);
            QVERIFY(question.text.contains(aside.first()));
            QVERIFY(aside.first().contains(QRegularExpression(QStringLiteral("^Contavio-ripristino-\\d\\d-\\d\\d-\\d{4}-\\d\\d\\.\\d\\d\\.\\d\\d\\.xls$"))));
            QCOMPARE(recordsIn(p.folder.filePath(aside.first())), 5);
            QCOMPARE(testfiles::hash(p.path()), before);
        }
    }

    // Copies that must not be offered: older than the workbook (it was saved after them),
    // empty, or damaged. None replaces the workbook; each one set aside is said, with the
    // name it was kept under.
    void copiesNotOffered_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<int>("aside");
        QTest::newRow("older than the workbook") << "older" << 1 << 1;
        QTest::newRow("empty") << "empty" << 0 << 0;
        QTest::newRow("damaged") << "damaged" << 1 << 1;
        QTest::newRow("other password") << "password" << 1 << 1;
    }
    void copiesNotOffered()
    {
        QFETCH(QString, kind);
        QFETCH(int, boxes);
        QFETCH(int, aside);
        Program p;
        p.writeWorkbook();
        QFile copy(p.copyPath());
        QVERIFY(copy.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("damaged")) {
            copy.write(QByteArray(4096, '\x5a'));
        } else if (kind == QLatin1String("older") || kind == QLatin1String("password")) {
            store::Workbook book;
            book.protection.password = kind == QLatin1String("older") ? kPassword : QStringLiteral("altra");
            copy.write(store::workbookBytes(book));
        }
        copy.close();
        setModified(p.path(), QDateTime::currentDateTime().addSecs(kind == QLatin1String("older") ? 0 : -60));
        setModified(p.copyPath(), QDateTime::currentDateTime().addSecs(kind == QLatin1String("older") ? -120 : 0));
        const QByteArray before = testfiles::hash(p.path());

        QCOMPARE(p.load(), LoadResult::Ready);
        QCOMPARE(int(p.dialogs.shown.size()), boxes);
        if (boxes) {
            QCOMPARE(p.dialogs.last().kind, kind == QLatin1String("older") ? BoxKind::Information : BoxKind::Critical);
            QVERIFY(p.dialogs.last().text.contains(keptAside(p.folder.path()).value(0)));
        }
        QCOMPARE(testfiles::hash(p.path()), before);
        QVERIFY(!QFileInfo::exists(p.copyPath()));
        QCOMPARE(int(keptAside(p.folder.path()).size()), aside);
    }

    // A workbook that no longer opens (a save cut off half-way) gets the copy offered even
    // when its own time is later: Yes puts the copy in its place and keeps the damaged file
    // in the Backup folder; No leaves both, the copy aside, and the start says the workbook
    // does not open.
    void olderCopyOfferedForDamagedWorkbook_data() { killedRunOffersRecovery_data(); }
    void olderCopyOfferedForDamagedWorkbook()
    {
        QFETCH(bool, yes);
        Program p;
        store::Workbook saved;
        saved.protection.password = kPassword;
        for (const char *name : {"Anagrafe", "Incassi", "Pagamenti"})
            saved.appendSheet(QLatin1String(name));
        saved.sheet(QStringLiteral("Incassi")).cells(2, 3).setValue(kName);
        QVERIFY(testfiles::write(p.copyPath(), store::workbookBytes(saved)));
        QVERIFY(testfiles::write(p.path(), store::workbookBytes(saved).left(3000)));
        setModified(p.copyPath(), QDateTime::currentDateTime().addSecs(-120));
        const QByteArray damaged = testfiles::hash(p.path());

        p.dialogs.queueAnswer(yes ? Answer::Yes : Answer::No);
        QCOMPARE(p.load(), yes ? LoadResult::Ready : LoadResult::OpenFailed);
        const auto &question = p.dialogs.shown.front();
        QCOMPARE(question.kind, BoxKind::Question);
        QVERIFY2(question.text.contains(QStringLiteral("il file Contavio.xls non si apre")), qPrintable(question.text));
        QVERIFY(!QFileInfo::exists(p.copyPath()));
        const QStringList backups = QDir(store::backupFolder(p.path())).entryList(QDir::Files);
        if (yes) {
            QCOMPARE(recordsIn(p.path()), 1);
            QCOMPARE(backups.size(), 1);
            QCOMPARE(testfiles::hash(QDir(store::backupFolder(p.path())).filePath(backups.first())), damaged);
        } else {
            QCOMPARE(testfiles::hash(p.path()), damaged);
            QCOMPARE(recordsIn(p.folder.filePath(keptAside(p.folder.path()).value(0))), 1);
        }
    }

    // The leftovers of a killed save are gone once the program has started; the old version
    // that an in-place save put aside is kept in Backup, under its own time.
    void leftoversCleanedAtStart()
    {
        Program p;
        p.writeWorkbook();
        QVERIFY(QDir(p.folder.path()).mkdir(QStringLiteral("Backup")));
        const QString original = p.folder.filePath(QStringLiteral("Backup/.~Contavio.xls.originale-Qw12Er"));
        QVERIFY(testfiles::write(original, "versione precedente"));
        setModified(original, QDateTime(QDate(2026, 12, 1), QTime(18, 5, 7)));
        for (const QString &name : {QStringLiteral(".~Contavio.xls.salvataggio-Ab12Cd"),
                                    QStringLiteral(".~.Contavio.xls.ripristino.salvataggio-Xy34Zw")}) {
            QFile f(p.folder.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("meta");
        }
        QCOMPARE(p.load(), LoadResult::Ready);
        // Only the lock file of the running program is left.
        QCOMPARE(QDir(p.folder.path()).entryList({QStringLiteral(".~*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral(".~lock.Contavio.xls#")});
        const QDir backups(p.folder.filePath(QStringLiteral("Backup")));
        QCOMPARE(backups.entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Contavio-01-12-2026-18.05.07.xls")});
        QCOMPARE(testfiles::read(backups.filePath(QStringLiteral("Contavio-01-12-2026-18.05.07.xls"))),
                 QByteArray("versione precedente"));
    }
};

QTEST_MAIN(RecoveryTest)
#include "tst_recovery.moc"
