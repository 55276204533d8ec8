#include "support/programworld.h"

#include "app/contavio.h"
#include "app/startup.h"
#include "controls/xpbutton.h"
#include "store/file/savefile.h"
#include "records/layout.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using testworld::ProgramWorld;
using controls::BoxKind;
using LoadResult = app::Avvio::LoadResult;
using testworld::rowTexts;
using testworld::sheetNames;

namespace {

// Another process that holds a lock on a file until it is destroyed.
class LockingChild {
public:
    enum class Kind { Flock, RecordLock };
    LockingChild(const QString &path, Kind kind)
    {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0)
            return;
        const QByteArray native = QFile::encodeName(path);
        m_pid = fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(native.constData(), O_RDWR);
            bool locked = false;
            if (fd >= 0) {
                if (kind == Kind::Flock) {
                    locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
                } else {
                    struct flock lock {};
                    lock.l_type = F_WRLCK;
                    lock.l_whence = SEEK_SET;
                    locked = fcntl(fd, F_SETLK, &lock) == 0;
                }
            }
            const char answer = locked ? '1' : '0';
            if (::write(ready[1], &answer, 1) != 1)
                _exit(1);
            char ignored;
            while (::read(release[0], &ignored, 1) > 0) {
            }
            _exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char answer = '0';
        m_locked = ::read(ready[0], &answer, 1) == 1 && answer == '1';
        ::close(ready[0]);
    }
    ~LockingChild()
    {
        if (m_release >= 0)
            ::close(m_release);
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
    }
    bool locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};

const QString kAlreadyOpen = QStringLiteral(
    "ERRORE: Risulta che il database Contavio.xls è già aperto\n"
    " Occorre chiuderlo e  poi si potrà riaprire l'applicazione !");

} // namespace

class TestAvvio : public QObject {
    Q_OBJECT

private slots:
    void missingWorkbook();
    void inUse_data();
    void inUse();
    void secondCopyRefused();
    void unreadable_data();
    void unreadable();

    void missingSheetsAddedAfterLast_data();
    void missingSheetsAddedAfterLast();
    void onlyTitleRowsRewritten();
    void anagrafeLeftActiveWithTextColumns();
    void columnsFitted();

    void termsWindow();
    void pictureAndNoticeOpenTheGuide();
    void guideShippedBesideTheProgram();
    void acceptShowsMenu();
    void closingBeforeAcceptingSavesAndEnds();
    void closingRefusedWhenSaveFails();
};

void TestAvvio::missingWorkbook()
{
    ProgramWorld h;
    QCOMPARE(h.load(), LoadResult::Missing);
    QCOMPARE(h.dialogs.shown.size(), size_t(1));
    QCOMPARE(h.dialogs.last().kind, BoxKind::Plain);
    QCOMPARE(h.dialogs.last().title, QString());
    QCOMPARE(h.dialogs.last().text,
             QStringLiteral("Impossibile eseguire il programma\r\nIl file ") + h.folder.path()
                 + QStringLiteral("/Contavio.xls non è stato trovato."));
    QVERIFY(!h.avvio()->isVisible());
    QCOMPARE(app::Avvio::exitCode(LoadResult::Missing), 3);
    QVERIFY(!QFile::exists(h.path()));   // never created
}

void TestAvvio::inUse_data()
{
    QTest::addColumn<QString>("lockFile");
    QTest::addColumn<QByteArray>("lockBytes");
    QTest::addColumn<int>("childLock");   // 0 none, 1 flock, 2 record lock
    QTest::addColumn<QString>("holderLine");
    QTest::newRow("office suite lock file")
        << QStringLiteral(".~lock.Contavio.xls#")
        << QByteArray(",utente,macchina,12.05.2009 10:00,file:///home/utente/.config/profilo;") << 0
        << QStringLiteral("Il file è aperto da utente sul computer macchina dal 12/05/2009 alle 10:00 (file di blocco ");
    // The other suite's owner file: the name's length, the name, padding to byte 54, then
    // the name again in UTF-16.
    QByteArray owner(54, ' ');
    owner[0] = 6;
    owner.replace(1, 6, "utente");
    owner += QByteArray("\x06\x00u\0t\0e\0n\0t\0e\0", 14);
    owner += QByteArray(162 - owner.size(), ' ');
    QTest::newRow("other office lock file") << QStringLiteral("~$Contavio.xls") << owner << 0
                                            << QStringLiteral("Il file è aperto da utente dal ");
    QTest::newRow("flock held by another process") << QString() << QByteArray() << 1 << QString();
    QTest::newRow("record lock held by another process") << QString() << QByteArray() << 2 << QString();
}

void TestAvvio::inUse()
{
    QFETCH(QString, lockFile);
    QFETCH(QByteArray, lockBytes);
    QFETCH(int, childLock);
    QFETCH(QString, holderLine);
    ProgramWorld h;
    h.write(*testworld::bareBook({QStringLiteral("Anagrafe")}));
    const QByteArray before = h.bytes();
    if (!lockFile.isEmpty()) {
        QFile lock(h.folder.filePath(lockFile));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(lockBytes);
    }
    std::optional<LockingChild> child;
    if (childLock)
        child.emplace(h.path(), childLock == 1 ? LockingChild::Kind::Flock : LockingChild::Kind::RecordLock);
    if (child)
        QVERIFY(child->locked());

    QCOMPARE(h.load(), LoadResult::InUse);
    QCOMPARE(h.dialogs.shown.size(), size_t(1));
    QCOMPARE(h.dialogs.last().kind, BoxKind::Critical);
    QCOMPARE(h.dialogs.last().title, QStringLiteral("Contavio"));
    // Who holds the lock file, and since when, after the usual message.
    if (holderLine.isEmpty())
        QCOMPARE(h.dialogs.last().text, kAlreadyOpen);
    else
        QCOMPARE(h.dialogs.last().text.left(kAlreadyOpen.size() + 2 + holderLine.size()),
                 kAlreadyOpen + QStringLiteral("\n\n") + holderLine);
    QVERIFY(!h.avvio()->isVisible());
    QCOMPARE(h.bytes(), before);
    QCOMPARE(h.session.server->activeWorkbook(), nullptr);
}

void TestAvvio::secondCopyRefused()
{
    ProgramWorld first;
    first.write(*testworld::bareBook({QStringLiteral("Anagrafe")}));
    QCOMPARE(first.load(), LoadResult::Ready);

    // A second program on the same folder, while the first runs.
    {
        ProgramWorld second;
        QCOMPARE(second.avvio()->load(first.folder.path()), LoadResult::InUse);
        // The first run's own lock file says who has it.
        QVERIFY(second.dialogs.last().text.startsWith(kAlreadyOpen + QStringLiteral("\n\nIl file è aperto da Contavio (")));
        QVERIFY(second.dialogs.last().text.contains(QStringLiteral(" sul computer ") + app::thisHost()
                                                    + QStringLiteral(" dal 07/12/2026 alle 14:05")));
    }
    // And a copy in another process.
    {
        LockingChild other(first.path(), LockingChild::Kind::Flock);
        QVERIFY(!other.locked());
    }
    // Once the first has gone, the file is free again.
    first.forms.reset();
    ProgramWorld third;
    QCOMPARE(third.avvio()->load(first.folder.path()), LoadResult::Ready);
}

void TestAvvio::unreadable_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("password");   // of a real workbook when content is empty
    QTest::addColumn<QString>("reason");
    QTest::newRow("wrong password") << QByteArray() << QStringLiteral("altra") << QString();
    QTest::newRow("no password at all") << QByteArray() << QString() << QString();
    QTest::newRow("text file") << QByteArray("ID;Cliente\n1;ROSSI\n") << QString() << QString();
    QTest::newRow("empty file") << QByteArray("") << QStringLiteral("-") << QString();
    QByteArray broken(4096, '\0');
    const char magic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    broken.replace(0, 8, QByteArray(magic, 8));
    QTest::newRow("damaged compound file") << broken << QString() << QString();
}

void TestAvvio::unreadable()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, password);
    ProgramWorld h;
    if (content.isEmpty() && password != QStringLiteral("-")) {
        auto book = testworld::bareBook({QStringLiteral("Anagrafe")});
        book->protection.password = password;
        h.write(*book);
    } else {
        QFile file(h.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QByteArray before = h.bytes();

    // The reason the engine gives, to find it in the box.
    QString reason;
    try {
        store::readWorkbook(h.path(), QStringLiteral("Tevo1963"));
    } catch (const store::StoreError &error) {
        reason = error.userMessage();
    }
    if (password.isNull() && content.isEmpty()) {
        // A workbook without a password opens with any password, as spreadsheets do: not a failure.
        QCOMPARE(h.load(), LoadResult::Ready);
        return;
    }
    QVERIFY2(!reason.isEmpty(), "the engine should refuse this file");

    QCOMPARE(h.load(), LoadResult::OpenFailed);
    QCOMPARE(h.dialogs.shown.size(), size_t(1));
    QCOMPARE(h.dialogs.last().kind, BoxKind::Critical);
    QCOMPARE(h.dialogs.last().title, QStringLiteral("Contavio"));
    const QString text = h.dialogs.last().text;
    QVERIFY2(text.startsWith(QStringLiteral("Impossibile aprire il file ") + h.path() + QLatin1Char('.')), qPrintable(text));
    QVERIFY2(text.contains(reason), qPrintable(text));
    QVERIFY(!h.avvio()->isVisible());
    QCOMPARE(h.bytes(), before);
    QCOMPARE(app::Avvio::exitCode(LoadResult::OpenFailed), 4);

    // The lock went with the failure.
    app::WorkbookLock again;
    QCOMPARE(again.acquire(h.path()), app::FileState::Free);
}

void TestAvvio::missingSheetsAddedAfterLast_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("only an unrelated sheet")
        << QStringList{QStringLiteral("Foglio1")}
        << QStringList{QStringLiteral("Foglio1"), QStringLiteral("Anagrafe"), QStringLiteral("Incassi"), QStringLiteral("Pagamenti")};
    QTest::newRow("payments missing")
        << QStringList{QStringLiteral("Anagrafe"), QStringLiteral("Incassi"), QStringLiteral("Note")}
        << QStringList{QStringLiteral("Anagrafe"), QStringLiteral("Incassi"), QStringLiteral("Note"), QStringLiteral("Pagamenti")};
    QTest::newRow("all there, own order kept")
        << QStringList{QStringLiteral("Pagamenti"), QStringLiteral("Anagrafe"), QStringLiteral("Incassi")}
        << QStringList{QStringLiteral("Pagamenti"), QStringLiteral("Anagrafe"), QStringLiteral("Incassi")};
    QTest::newRow("names in another case are the same sheets")
        << QStringList{QStringLiteral("ANAGRAFE"), QStringLiteral("incassi"), QStringLiteral("Pagamenti")}
        << QStringList{QStringLiteral("ANAGRAFE"), QStringLiteral("incassi"), QStringLiteral("Pagamenti")};
}

void TestAvvio::missingSheetsAddedAfterLast()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    ProgramWorld h;
    h.write(*testworld::bareBook(before));
    QCOMPARE(h.load(), LoadResult::Ready);
    QVERIFY(h.dialogs.shown.empty());
    store::Workbook &book = *h.avvio()->workbook();
    QCOMPARE(sheetNames(book), after);
    QCOMPARE(rowTexts(book.sheet(QStringLiteral("Pagamenti")), 1, 19), records::layout::pagamenti().titles);
    QCOMPARE(rowTexts(book.sheet(QStringLiteral("Incassi")), 1, 19), records::layout::incassi().titles);
    QCOMPARE(rowTexts(book.sheet(QStringLiteral("Anagrafe")), 1, 17), records::layout::anagrafe().titles);
    QCOMPARE(book.sheet(QStringLiteral("Pagamenti")).view().frozen, true);
}

void TestAvvio::onlyTitleRowsRewritten()
{
    ProgramWorld h;
    auto book = testworld::bareBook({QStringLiteral("Anagrafe"), QStringLiteral("Incassi"), QStringLiteral("Pagamenti")});
    store::Worksheet &incassi = book->sheet(QStringLiteral("Incassi"));
    incassi.cells(1, 2).setValue(QStringLiteral("Titolo cambiato"));
    incassi.cells(1, 20).setValue(QStringLiteral("oltre la S"));
    incassi.cells(1, 256).setValue(7.0);
    const QStringList record2 = {QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("ROSSI MARIO"), QStringLiteral("F12")};
    for (int c = 0; c < record2.size(); ++c)
        incassi.cells(2, c + 1).setValue(record2.at(c));
    incassi.cells(3, 1).setValue(2.0);
    incassi.cells(3, 8).setValue(QStringLiteral("12,5"));
    store::Worksheet &anagrafe = book->sheet(QStringLiteral("Anagrafe"));
    anagrafe.cells(1, 3).setValue(QStringLiteral("nome"));
    anagrafe.cells(2, 3).setValue(QStringLiteral("BIANCHI SRL"));
    h.write(*book);

    QCOMPARE(h.load(), LoadResult::Ready);
    store::Workbook &loaded = *h.avvio()->workbook();
    store::Worksheet &inc = loaded.sheet(QStringLiteral("Incassi"));
    QCOMPARE(rowTexts(inc, 1, 19), records::layout::incassi().titles);
    QCOMPARE(inc.textAt(1, 20), QStringLiteral("oltre la S"));
    QCOMPARE(inc.valueAt(1, 256).number, 7.0);
    QCOMPARE(rowTexts(inc, 2, 4), record2);
    QCOMPARE(inc.valueAt(3, 1).number, 2.0);
    QCOMPARE(inc.valueAt(3, 8).number, 12.5);
    QCOMPARE(inc.lastRow(), 3);
    store::Worksheet &ana = loaded.sheet(QStringLiteral("Anagrafe"));
    QCOMPARE(ana.textAt(1, 3), QStringLiteral("Ragione Sociale/Cognome Nome"));
    QCOMPARE(ana.textAt(2, 3), QStringLiteral("BIANCHI SRL"));
    QCOMPARE(ana.textAt(1, 18), QString());   // column R has no title
    // Titles are texts, whatever the column format.
    QCOMPARE(ana.valueAt(1, 9).type, store::Variant::Type::Text);
}

void TestAvvio::anagrafeLeftActiveWithTextColumns()
{
    ProgramWorld h;
    h.write(*testworld::bareBook({QStringLiteral("Foglio1")}));
    QCOMPARE(h.load(), LoadResult::Ready);
    store::Workbook &book = *h.avvio()->workbook();
    QCOMPARE(book.activeSheet().name(), QStringLiteral("Anagrafe"));
    store::Worksheet &anagrafe = book.sheet(QStringLiteral("Anagrafe"));
    QCOMPARE(anagrafe.view().selection, (store::RangeRect{2, 1, 2, 1}));
    QCOMPARE(anagrafe.view().activeCell, (store::CellAddress{2, 1}));
    for (const QString &name : {QStringLiteral("Anagrafe"), QStringLiteral("Incassi"), QStringLiteral("Pagamenti")}) {
        const store::SheetView &view = book.sheet(name).view();
        QVERIFY2(view.frozen, qPrintable(name));
        QCOMPARE(view.frozenAt, (store::CellAddress{2, 1}));
    }

    // Codes keep their leading zeros in the text columns; other columns stay general.
    const QString text = QStringLiteral("@");
    for (const QString &column : {QStringLiteral("F"), QStringLiteral("I"), QStringLiteral("J"), QStringLiteral("K"),
                                  QStringLiteral("M"), QStringLiteral("N"), QStringLiteral("O"), QStringLiteral("P"),
                                  QStringLiteral("R")}) {
        QCOMPARE(anagrafe.range(column + QStringLiteral("100")).numberFormat(), text);
        anagrafe.range(column + QStringLiteral("2")).setValue(QStringLiteral("00184"));
        QCOMPARE(anagrafe.range(column + QStringLiteral("2")).value().type, store::Variant::Type::Text);
        QCOMPARE(anagrafe.range(column + QStringLiteral("2")).text(), QStringLiteral("00184"));
    }
    for (const QString &column : {QStringLiteral("A"), QStringLiteral("D"), QStringLiteral("L"), QStringLiteral("Q")})
        QVERIFY2(anagrafe.range(column + QStringLiteral("100")).numberFormat() != text, qPrintable(column));
    QVERIFY(book.sheet(QStringLiteral("Incassi")).range(QStringLiteral("J5")).numberFormat() != text);

    // And that survives the save on leaving.
    QVERIFY(app::leaveProgram(h.session));
    auto reread = h.reread();
    store::Worksheet &saved = reread->sheet(QStringLiteral("Anagrafe"));
    QCOMPARE(saved.range(QStringLiteral("F2")).text(), QStringLiteral("00184"));
    QCOMPARE(saved.range(QStringLiteral("N3")).numberFormat(), text);
    QCOMPARE(reread->activeSheet().name(), QStringLiteral("Anagrafe"));
}

void TestAvvio::columnsFitted()
{
    ProgramWorld h;
    auto book = testworld::bareBook({QStringLiteral("Altro"), QStringLiteral("Anagrafe")});
    const QString longText = QStringLiteral("una descrizione piuttosto lunga da leggere tutta");
    book->sheet(QStringLiteral("Altro")).cells(3, 2).setValue(longText);
    book->sheet(QStringLiteral("Anagrafe")).cells(2, 3).setValue(longText);
    h.write(*book);
    QCOMPARE(h.load(), LoadResult::Ready);
    store::Workbook &loaded = *h.avvio()->workbook();
    QVERIFY(loaded.sheet(QStringLiteral("Altro")).columnWidth(2) > 20);
    QVERIFY(loaded.sheet(QStringLiteral("Anagrafe")).columnWidth(3) > 20);
    // A short title makes a column narrower than a long one.
    QVERIFY(loaded.sheet(QStringLiteral("Incassi")).columnWidth(1) < loaded.sheet(QStringLiteral("Incassi")).columnWidth(2));
}

void TestAvvio::termsWindow()
{
    ProgramWorld h;
    h.write(*testworld::bareBook({QStringLiteral("Anagrafe")}));
    QCOMPARE(h.load(), LoadResult::Ready);
    app::Avvio *avvio = h.avvio();
    QVERIFY(avvio->isVisible());
    QCOMPARE(avvio->windowTitle(), QStringLiteral("Contavio Incassi-Pagamenti-Insoluti"));
    QCOMPARE(avvio->palette().color(QPalette::Window), QColor(0xE0, 0xE0, 0xE0));
    QCOMPARE(avvio->XPButton2->caption(), QStringLiteral("Accetto "));
    QCOMPARE(avvio->XPButton2->toolTip(), QStringLiteral("Accetta e continua"));
    QCOMPARE(avvio->XPButton2->buttonType(), controls::XPButton::FormStyle);
    QCOMPARE(avvio->Image1->toolTip(), QStringLiteral("Vai al il mio sito !"));
    QVERIFY(!avvio->Image1->pixmap().isNull());
    QVERIFY(avvio->Label1->text().contains(QStringLiteral("Contavio.xls")));
    QVERIFY(avvio->Label2->text().contains(app::Avvio::guideAddress().toString(QUrl::FullyEncoded)));
    QCOMPARE(h.session.server->visible, false);
}

void TestAvvio::pictureAndNoticeOpenTheGuide()
{
    ProgramWorld h;
    h.write(*testworld::bareBook({QStringLiteral("Anagrafe")}));
    QCOMPARE(h.load(), LoadResult::Ready);
    app::Avvio *avvio = h.avvio();
    QList<QUrl> opened;
    avvio->setUrlOpener([&](const QUrl &url) {
        opened << url;
        return false;   // no browser: nothing is reported
    });
    QCOMPARE(avvio->Image1->frameShape(), QFrame::NoFrame);
    QTest::mouseClick(avvio->Image1, Qt::RightButton);
    const QUrl guide = QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/Guida.html"));
    QCOMPARE(opened, QList<QUrl>{guide});
    QCOMPARE(avvio->Image1->frameShape(), QFrame::Box);
    QCOMPARE(avvio->Image1->frameShadow(), QFrame::Plain);
    QCOMPARE(avvio->Image1->lineWidth(), 1);
    QTest::mouseClick(avvio->Image1, Qt::LeftButton);
    QCOMPARE(opened.size(), 2);
    QCOMPARE(avvio->Image1->frameShape(), QFrame::Box);
    emit avvio->Label2->linkActivated(guide.toString());
    QCOMPARE(opened, (QList<QUrl>{guide, guide, guide}));
    QVERIFY(h.dialogs.shown.empty());
}

// The guide the start form opens is in the program's folder of the build, in Italian, with a
// page for every form and the set-up and restore steps.
void TestAvvio::guideShippedBesideTheProgram()
{
    QFile guide(QStringLiteral(CONTAVIO_PROGRAM_DIR "/Guida.html"));
    QVERIFY(guide.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(guide.readAll());
    for (const char *page : {"avvio", "menu", "anagrafe", "incassi", "pagamenti", "visualizza", "stampa",
                             "installazione", "backup"})
        QVERIFY2(text.contains(QStringLiteral("<section id=\"%1\">").arg(QLatin1String(page))), page);
    QVERIFY(text.contains(QStringLiteral("scripts/dev.sh run")));
    QVERIFY(text.contains(QStringLiteral("rinominarlo <code>Contavio.xls</code>")));
}

void TestAvvio::acceptShowsMenu()
{
    ProgramWorld h;
    h.write(*testworld::bareBook({QStringLiteral("Anagrafe")}));
    QCOMPARE(h.load(), LoadResult::Ready);
    app::Avvio *avvio = h.avvio();
    QVERIFY(!h.forms->isLoaded(controls::FormId::Contavio));
    QTest::mouseClick(avvio->XPButton2, Qt::LeftButton);
    QVERIFY(avvio->accepted());
    QVERIFY(!avvio->isVisible());
    QVERIFY(h.forms->isLoaded(controls::FormId::Contavio));
    QWidget *menu = h.forms->form(controls::FormId::Contavio);
    QVERIFY(menu->isVisible());
    QVERIFY(!menu->isModal());
    QVERIFY(qobject_cast<app::Contavio *>(menu));
    // Hidden for good: a close request does not end the program.
    QVERIFY(!avvio->close());
    QVERIFY(h.exits.empty());
}

void TestAvvio::closingBeforeAcceptingSavesAndEnds()
{
    ProgramWorld h;
    h.write(*testworld::bareBook({QStringLiteral("Foglio1")}));
    QCOMPARE(h.load(), LoadResult::Ready);
    QVERIFY(h.avvio()->close());
    QCOMPARE(h.exits, std::vector<int>{0});
    QVERIFY(!h.session.server->running());
    QCOMPARE(h.session.server->activeWorkbook(), nullptr);
    QCOMPARE(h.session.server->displayAlerts, false);
    // The shaped workbook was saved.
    auto saved = h.reread();
    QCOMPARE(sheetNames(*saved), (QStringList{QStringLiteral("Foglio1"), QStringLiteral("Anagrafe"),
                                              QStringLiteral("Incassi"), QStringLiteral("Pagamenti")}));
    QCOMPARE(rowTexts(saved->sheet(QStringLiteral("Incassi")), 1, 19), records::layout::incassi().titles);
    QVERIFY(h.dialogs.shown.empty());
}

void TestAvvio::closingRefusedWhenSaveFails()
{
    ProgramWorld h;
    h.write(*testworld::bareBook({QStringLiteral("Anagrafe")}));
    QCOMPARE(h.load(), LoadResult::Ready);
    // The disk is full: the save cannot put the workbook there.
    store::setSaveFaultHook([](const char *step) { return QByteArray(step) == "rename" ? ENOSPC : 0; });

    QVERIFY(!h.avvio()->close());   // the question to leave without saving answered No
    store::setSaveFaultHook({});
    QVERIFY(h.avvio()->isVisible());
    QVERIFY(h.exits.empty());
    QCOMPARE(h.dialogs.shown.size(), size_t(2));
    QCOMPARE(h.dialogs.shown[0].kind, BoxKind::Critical);
    QVERIFY(h.dialogs.shown[0].text.startsWith(QStringLiteral("Impossibile salvare il file ") + h.path()));
    QCOMPARE(h.dialogs.shown[1].kind, BoxKind::Question);
    QVERIFY(h.dialogs.shown[1].text.startsWith(QStringLiteral("Vuoi uscire senza salvare ?")));
    QVERIFY(h.session.server->activeWorkbook());

    // The obstacle gone, closing works and the data reach the file.
    QVERIFY(h.avvio()->close());
    QCOMPARE(h.exits, std::vector<int>{0});
    QCOMPARE(rowTexts(h.reread()->sheet(QStringLiteral("Pagamenti")), 1, 19), records::layout::pagamenti().titles);
}

QTEST_MAIN(TestAvvio)
#include "tst_avvio.moc"
