#pragma once

// Runs the probes beside the tests (a headless spreadsheet program driven through its
// scripting bridge, see tests/store/xls/office_uno.py) and compares structure_probe.py's readings
// of two workbooks.

#include "support/skip.h"
#include "support/runprogram.h"

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

// Skips the calling test function (the whole test, from initTestCase) when the program or its
// bridge is missing.
#define OFFICECOMPARE_SKIP_WITHOUT_OFFICE()                 \
    do {                                                    \
        const QString whyNot = officecompare::missing();    \
        if (!whyNot.isEmpty())                              \
            CONTAVIO_SKIP(whyNot);                          \
    } while (false)

// Empty when the program and its bridge are there; otherwise why not.
inline QString missing()
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        return QStringLiteral("no headless spreadsheet program (soffice) installed");
    if (!QFileInfo::exists(kPython) || QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0)
        return QStringLiteral("the spreadsheet program's Python bridge (python3-uno) is missing");
    return {};
}

using testrun::Run;

// The script's exit code (-1 when it crashed or ran out of time) and its output.
inline Run probe(const QString &script, const QStringList &args)
{
    return testrun::runProgram(kPython, QStringList{script} + args, 400000);
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

// The probe's "read" of both files (structure_probe.py), compared: empty when they agree;
// otherwise the differences, or why a file could not be read.
inline QStringList readingDifferences(const QString &script, const QString &expectedFile,
                                      const QString &actualFile, const QString &password)
{
    QJsonObject readings[2];
    const QString files[2] = {expectedFile, actualFile};
    for (int i = 0; i < 2; ++i) {
        const Run r = probe(script, {QStringLiteral("read"), files[i], password});
        if (r.exitCode != 0)
            return {QStringLiteral("%1 not read (%2): %3").arg(files[i]).arg(r.exitCode).arg(r.err)};
        readings[i] = QJsonDocument::fromJson(r.out).object();
    }
    return differences(readings[0], readings[1]);
}

} // namespace officecompare
