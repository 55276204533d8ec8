#pragma once

// A whole program in a test: a temporary program folder with its workbook, scripted
// dialogs, a fixed clock, the forms registry, and an end handler that records the exit
// instead of leaving.

#include "app/avvio.h"
#include "app/formsregistry.h"
#include "app/shutdown.h"
#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/session.h"
#include "store/model/workbook.h"
#include "store/xls/xls.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

struct AppHarness {
    QTemporaryDir folder;
    controls::FakeDialogs dialogs;
    controls::FixedClock clock{QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9))};
    controls::Session session;
    std::unique_ptr<app::FormsRegistry> forms;
    std::vector<int> exits;   // every end of the program, with its code

    AppHarness()
    {
        session.dialogs = &dialogs;
        session.clock = &clock;
        forms = std::make_unique<app::FormsRegistry>(session);
        session.forms = forms.get();
        app::setEndProgramHandler([this](int code) { exits.push_back(code); });
    }
    ~AppHarness()
    {
        forms.reset();
        app::setEndProgramHandler({});
    }

    QString path() const { return folder.filePath(QStringLiteral("Contavio.xls")); }

    app::Avvio *avvio() { return forms->avvio(); }
    app::Avvio::LoadResult load() { return avvio()->load(folder.path()); }

    // A workbook with the named sheets (each empty), saved with the program's password.
    static std::unique_ptr<store::Workbook> book(const QStringList &sheets)
    {
        auto book = std::make_unique<store::Workbook>();
        store::Worksheet &first = book->sheet(1);
        first.setName(sheets.value(0, QStringLiteral("Foglio1")));
        for (int i = 1; i < sheets.size(); ++i)
            book->appendSheet(sheets.at(i));
        book->protection.password = QStringLiteral("Tevo1963");
        return book;
    }
    void write(const store::Workbook &book) const { store::writeWorkbook(book, path()); }
    QByteArray bytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    std::unique_ptr<store::Workbook> reread() const
    {
        return store::readWorkbook(path(), QStringLiteral("Tevo1963"));
    }
};
