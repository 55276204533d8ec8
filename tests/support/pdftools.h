#pragma once

// Reading printed PDFs back with poppler's command-line tools.

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <optional>
#include <vector>

namespace pdftools {

inline bool haveTool(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

inline std::optional<QByteArray> run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

// The text of every page, laid out as printed (pdftotext -layout), one string a page.
inline QStringList pages(const QString &pdf)
{
    const auto out = run(QStringLiteral("pdftotext"),
                         {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!out)
        return {};
    QStringList list = QString::fromUtf8(*out).split(QLatin1Char('\f'));
    if (!list.isEmpty() && list.last().trimmed().isEmpty())
        list.removeLast();
    return list;
}

// The words of one page with their boxes in points (pdftotext -bbox).
struct Word {
    QString text;
    double xMin, yMin, xMax, yMax;
};

inline std::vector<std::vector<Word>> words(const QString &pdf)
{
    std::vector<std::vector<Word>> result;
    const auto out = run(QStringLiteral("pdftotext"),
                         {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!out)
        return result;
    const QString html = QString::fromUtf8(*out);
    static const QRegularExpression pageRe(QStringLiteral("<page [^>]*>(.*?)</page>"),
                                           QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression wordRe(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    for (auto pm = pageRe.globalMatch(html); pm.hasNext();) {
        const QString body = pm.next().captured(1);
        std::vector<Word> page;
        for (auto wm = wordRe.globalMatch(body); wm.hasNext();) {
            const auto m = wm.next();
            QString text = m.captured(5);
            text.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
                .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
                .replace(QStringLiteral("&quot;"), QStringLiteral("\""));
            page.push_back({text, m.captured(1).toDouble(), m.captured(2).toDouble(),
                            m.captured(3).toDouble(), m.captured(4).toDouble()});
        }
        result.push_back(std::move(page));
    }
    return result;
}

inline const Word *find(const std::vector<Word> &page, const QString &text)
{
    for (const Word &w : page)
        if (w.text == text)
            return &w;
    return nullptr;
}

// One page rendered to an image at `dpi` (pdftoppm).
inline QImage render(const QString &pdf, int page, int dpi, const QString &folder)
{
    const QString stem = folder + QStringLiteral("/page");
    if (!run(QStringLiteral("pdftoppm"),
             {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
              QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
              QString::number(page), QStringLiteral("-singlefile"), pdf, stem}))
        return {};
    return QImage(stem + QStringLiteral(".png"));
}

} // namespace pdftools
