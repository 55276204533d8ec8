#pragma once

// What a bench puts in place of the user and the wall clock when it drives the forms: boxes
// that answer without being shown (every question No, or the first one Yes when asked;
// every input and file box its default) and a clock that shows the time the bench sets.

#include "controls/clock.h"
#include "controls/dialogs.h"

#include <QDateTime>
#include <utility>

namespace bench {

class QuietDialogs : public controls::Dialogs {
public:
    explicit QuietDialogs(bool firstYes = false) : m_yes(firstYes) {}
    controls::Answer message(controls::BoxKind kind, const QString &, const QString &, controls::Answer) override
    {
        if (kind != controls::BoxKind::Question)
            return controls::Answer::Ok;
        return std::exchange(m_yes, false) ? controls::Answer::Yes : controls::Answer::No;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &defaultAnswer) override
    {
        return defaultAnswer;
    }
    std::optional<QString> savePdf(const QString &, const QString &suggestedPath) override { return suggestedPath; }
    QStringList chooseFiles(const QString &, bool, const QString &) override { return {}; }

private:
    bool m_yes;
};

class FixedClock : public controls::Clock {
public:
    explicit FixedClock(QDateTime t) : m_now(std::move(t)) {}
    QDateTime now() const override { return m_now; }

private:
    QDateTime m_now;
};

} // namespace bench
