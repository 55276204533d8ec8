#pragma once

// Runs structure_probe.py (a headless spreadsheet program through its scripting bridge) and
// compares its readings of two workbooks.

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace officecompare {

inline const QString kPython = QStringLiteral("/usr/bin/python3");

// Empty when the program and its bridge are there; otherwise why not.
inline QString missing()
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        return QStringLiteral("no headless spreadsheet program (soffice) installed");
    if (!QFileInfo::exists(kPython) || QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0)
        return QStringLiteral("the spreadsheet program's Python bridge (python3-uno) is missing");
    return {};
}

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

inline Run probe(const QString &script, const QStringList &args)
{
    QProcess p;
    p.start(kPython, QStringList{script} + args);
    Run r;
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// The differences between two readings, one line each ("Incassi notes: ... | ..."); empty
// when they agree.
inline QStringList differences(const QJsonObject &expected, const QJsonObject &actual)
{
    QStringList out;
    auto text = [](const QJsonValue &v) {
        return QString::fromUtf8(QJsonDocument(v.isArray() ? QJsonDocument(v.toArray()) : QJsonDocument(v.toObject()))
                                     .toJson(QJsonDocument::Compact));
    };
    if (expected.value(QStringLiteral("names")) != actual.value(QStringLiteral("names")))
        out << QStringLiteral("names: %1 | %2").arg(text(expected.value(QStringLiteral("names"))),
                                                    text(actual.value(QStringLiteral("names"))));
    const QJsonArray a = expected.value(QStringLiteral("sheets")).toArray();
    const QJsonArray b = actual.value(QStringLiteral("sheets")).toArray();
    if (a.size() != b.size())
        out << QStringLiteral("sheet count: %1 | %2").arg(a.size()).arg(b.size());
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) {
        const QJsonObject x = a[i].toObject(), y = b[i].toObject();
        const QString name = x.value(QStringLiteral("name")).toString();
        for (const QString &key : {QStringLiteral("name"), QStringLiteral("notes"), QStringLiteral("merges"),
                                  QStringLiteral("conditional"), QStringLiteral("validation"),
                                  QStringLiteral("printAreas"), QStringLiteral("links")}) {
            if (x.value(key) != y.value(key))
                out << QStringLiteral("%1 %2: %3 | %4").arg(name, key, text(x.value(key)), text(y.value(key)));
        }
        // Cells one by one, so that a difference names its cell.
        const QJsonArray cx = x.value(QStringLiteral("cells")).toArray(), cy = y.value(QStringLiteral("cells")).toArray();
        QMap<QString, QString> mx, my;
        for (const auto &c : cx)
            mx.insert(QStringLiteral("%1,%2").arg(c[0].toInt()).arg(c[1].toInt()), text(c));
        for (const auto &c : cy)
            my.insert(QStringLiteral("%1,%2").arg(c[0].toInt()).arg(c[1].toInt()), text(c));
        QStringList keys = mx.keys() + my.keys();
        keys.removeDuplicates();
        for (const QString &k : keys)
            if (mx.value(k) != my.value(k))
                out << QStringLiteral("%1 cell %2: %3 | %4").arg(name, k, mx.value(k), my.value(k));
    }
    return out;
}

} // namespace officecompare
