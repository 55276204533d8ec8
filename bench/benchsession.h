#pragma once

// What a bench puts in place of the user, the wall clock and the forms registry when it drives
// the forms: boxes that answer without being shown (every question No, or the first one Yes
// when asked; every input and file box its default), a clock that shows the time the bench
// sets, and the forms it built itself.

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/session.h"
#include "store/model/workbook.h"

#include <QDateTime>
#include <map>
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

// The forms a bench built itself, handed out by their id; nothing is created on demand.
class OneForms : public controls::Forms {
public:
    std::map<controls::FormId, QWidget *> forms;
    QWidget *form(controls::FormId id) override { return forms.count(id) ? forms[id] : nullptr; }
    bool isLoaded(controls::FormId id) const override { return forms.count(id) != 0; }
    void unload(controls::FormId) override {}
};

// A bench's session on the workbook at `path` (no password): its server, the quiet boxes, the
// clock it is given and the forms it builds itself.
struct BenchSession {
    BenchSession(const QString &path, controls::Clock &clock, bool firstYes = false) : dialogs(firstYes)
    {
        server.open(path, QString());
        session.server = &server;
        session.dialogs = &dialogs;
        session.clock = &clock;
        session.forms = &forms;
    }
    store::Server server;
    QuietDialogs dialogs;
    OneForms forms;
    controls::Session session;
};

} // namespace bench
