// Real workbooks that other programs wrote (../shared/corpus): the command-line tool opens
// each one without crash, hang or runaway memory, reads what xlrd reads, and saves copies in
// which xlrd and LibreOffice find what they found in the original. The comparisons are made
// by corpus_test.py beside this file; every difference still seen is listed with its reason
// in corpus_known.txt, and a difference not listed fails the test.

#include "support/skip.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
constexpr bool kSanitized = CONTAVIO_SANITIZED;   // built with AddressSanitizer

QString sharedDir() { return QStringLiteral(CONTAVIO_SHARED_DIR); }

// Every folder of the corpus that holds .xls files.
QStringList corpusFolders()
{
    QStringList out;
    const QDir root(sharedDir() + QStringLiteral("/corpus"));
    for (const QString &sub : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir d(root.filePath(sub));
        if (!d.entryList({QStringLiteral("*.xls")}, QDir::Files).isEmpty())
            out << d.absolutePath();
    }
    return out;
}

bool pythonHas(const QString &module)
{
    QProcess p;
    p.start(kPython, {QStringLiteral("-c"), QStringLiteral("import %1").arg(module)});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestXlsCorpus : public QObject {
    Q_OBJECT

    // Runs the comparison; fails with its listing when it finds a difference not known.
    void runCorpus(const QStringList &extra, int timeoutMinutes)
    {
        const QStringList folders = corpusFolders();
        if (folders.isEmpty())
            CONTAVIO_SKIP("../shared/corpus is absent: the real-workbook corpus is not checked");
        const QString tools = sharedDir() + QStringLiteral("/tools");
        if (!QFileInfo::exists(tools + QStringLiteral("/corpus_check.py")))
            CONTAVIO_SKIP("../shared/tools is absent: no reference comparison for the corpus");
        if (!QFileInfo::exists(kPython) || !pythonHas(QStringLiteral("xlrd")) || !pythonHas(QStringLiteral("msoffcrypto")))
            CONTAVIO_SKIP("python3-xlrd or python3-msoffcrypto-tool is not installed");

        QStringList args{QStringLiteral(CORPUS_TEST), QStringLiteral("--tool"), QStringLiteral(CONTAVIO_XLS),
                         QStringLiteral("--tools"), tools, QStringLiteral("--known"), QStringLiteral(CORPUS_KNOWN)};
        if (kSanitized) {
            // Instrumented code keeps shadow memory and red zones beside every allocation.
            args << QStringLiteral("--memory-base") << QStringLiteral("600") << QStringLiteral("--memory-factor")
                 << QStringLiteral("64") << QStringLiteral("--timeout") << QStringLiteral("600");
        }
        args << extra << folders;
        QProcess p;
        p.start(kPython, args);
        QVERIFY2(p.waitForStarted(), qPrintable(p.errorString()));
        const bool finished = p.waitForFinished(timeoutMinutes * 60 * 1000);
        if (!finished)
            p.kill();
        const QString output = QString::fromUtf8(p.readAllStandardOutput());
        // xlrd's warnings about the damaged files go to the error channel: shown on failure only.
        const QString errors = QString::fromUtf8(p.readAllStandardError());
        // The figures and the differences, for the log of the run.
        for (const QString &line : output.split(u'\n', Qt::SkipEmptyParts))
            qInfo().noquote() << line;
        QVERIFY2(finished, "the corpus run did not end in time");
        QVERIFY2(p.exitCode() != 2, qPrintable(output.right(400) + errors.right(800)));
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
                 "differences not listed in corpus_known.txt (the lines marked NEW above)");
    }

private slots:
    // Reading and saving as xlrd sees them, and the memory each file takes to open.
    void xlrdReadsTheSame() { runCorpus({}, 40); }

    // The copies as LibreOffice sees them (the xlrd comparisons are left to the test above).
    void libreOfficeSeesTheSameAfterSave()
    {
        if (kSanitized)
            QSKIP("left out of the sanitizer build: its time goes to LibreOffice itself, which the "
                  "instrumented engine does not change; the xlrd half runs every file through it");
        if (!pythonHas(QStringLiteral("uno")))
            CONTAVIO_SKIP("python3-uno is not installed");
        runCorpus({QStringLiteral("--libreoffice"), QStringLiteral("--no-xlrd")}, 60);
    }
};

QTEST_GUILESS_MAIN(TestXlsCorpus)
#include "tst_xls_corpus.moc"
