#pragma once

// A whole program in a test: a program folder for its workbook, scripted dialogs, a clock,
// the program's own forms registry, and an end handler that records each exit instead of
// leaving. Needs contavio_app.

#include "app/avvio.h"
#include "app/formsregistry.h"
#include "app/shutdown.h"
#include "controls/clock.h"
#include "support/fakes.h"
#include "controls/session.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"
#include "support/starterbook.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace testworld {

struct ProgramWorld {
    QTemporaryDir folder;
    controls::FakeDialogs dialogs;
    controls::FixedClock clock;
    controls::Session session;
    std::unique_ptr<app::FormsRegistry> forms;
    std::vector<int> exits;   // every end of the program, with its code

    explicit ProgramWorld(const QDateTime &now = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9)))
        : clock(now)
    {
        session.dialogs = &dialogs;
        session.clock = &clock;
        app::setEndProgramHandler([this](int code) { exits.push_back(code); });
        startForms();
    }
    ~ProgramWorld()
    {
        forms.reset();
        app::setEndProgramHandler({});
    }
    ProgramWorld(const ProgramWorld &) = delete;
    ProgramWorld &operator=(const ProgramWorld &) = delete;

    // A fresh run in the same folder (the forms of the last one are gone, as after a crash).
    void startForms()
    {
        forms.reset();
        session.server = nullptr;
        forms = std::make_unique<app::FormsRegistry>(session);
        session.forms = forms.get();
    }

    QString path() const { return folder.filePath(QStringLiteral("Contavio.xls")); }
    app::Avvio *avvio() { return forms->avvio(); }
    app::Avvio::LoadResult load() { return avvio()->load(folder.path()); }

    void write(const store::Workbook &book) const { store::writeWorkbook(book, path()); }
    // Raw bytes in place of the workbook; false when the file cannot be written.
    bool writeBytes(const QByteArray &bytes) const
    {
        return testfiles::write(path(), bytes);
    }
    QByteArray bytes() const
    {
        return testfiles::read(path());
    }
    std::unique_ptr<store::Workbook> reread() const { return store::readWorkbook(path(), kPassword); }
    // Everything in the program folder, hidden files too.
    QStringList files() const
    {
        return QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

} // namespace testworld
