#pragma once

// Runs one of our programs, or a script, to its end as the tests of command lines and of
// other programs do: what it printed and how it ended.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testrun {

struct Run {
    int exitCode = -1;   // -1 when it crashed, or did not end in time and was killed
    QByteArray out;
    QString err;         // standard error as UTF-8 text
};

inline Run runProgram(const QString &program, const QStringList &args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace testrun
