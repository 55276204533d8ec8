#include "fakes.h"

namespace controls {

QStringList FakeDialogs::chooseFiles(const QString &title, bool, const QString &)
{
    shown.push_back({BoxKind::Plain, title, {}, {}, true});
    if (m_files.empty())
        return {};
    QStringList paths = m_files.front();
    m_files.erase(m_files.begin());
    return paths;
}

Answer FakeDialogs::message(BoxKind kind, const QString &text, const QString &title, Answer defaultButton)
{
    shown.push_back({kind, text, title, {}, false, kind == BoxKind::Question ? defaultButton : Answer::Ok});
    if (kind != BoxKind::Question)
        return Answer::Ok;
    if (m_answers.empty())
        return Answer::No;
    const Answer a = m_answers.front();
    m_answers.erase(m_answers.begin());
    return a;
}

std::optional<QString> FakeDialogs::input(const QString &prompt, const QString &title,
                                          const QString &defaultAnswer)
{
    shown.push_back({BoxKind::Plain, prompt, title, defaultAnswer, true});
    if (m_inputs.empty())
        return defaultAnswer;
    std::optional<QString> a;
    a.swap(m_inputs.front());
    m_inputs.erase(m_inputs.begin());
    return a;
}

std::optional<QString> FakeDialogs::savePdf(const QString &title, const QString &suggestedPath)
{
    shown.push_back({BoxKind::Plain, suggestedPath, title, suggestedPath, true});
    if (m_savePaths.empty())
        return suggestedPath;
    std::optional<QString> path;
    path.swap(m_savePaths.front());
    m_savePaths.erase(m_savePaths.begin());
    return path;
}

} // namespace controls
