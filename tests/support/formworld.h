#pragma once

// One world for driving the forms through their widgets: the starter workbook opened in a
// server, scripted dialogs that record each box, a clock the test sets, and a forms registry
// that builds the real forms a test provides and plain stand-ins for the others it meets.

#include "controls/clock.h"
#include "support/fakes.h"
#include "controls/session.h"
#include "store/model/workbook.h"
#include "support/starterbook.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace controls { class XPButton; }

namespace testworld {

// The clock of the form tests: a spring morning of 2009.
inline const QDateTime kFormsNow(QDate(2009, 5, 12), QTime(10, 30, 0));

// Builds a form on its first request and keeps it until unloaded; a form that deletes itself
// is simply gone. Without a factory the main menu and the registry are stand-ins (named,
// empty forms, shown as the program shows its forms); any other form is not there.
class TestForms : public controls::Forms {
public:
    using Factory = std::function<QWidget *()>;

    explicit TestForms(controls::Session &session);
    ~TestForms() override;

    void provide(controls::FormId id, Factory factory) { m_factories[id] = std::move(factory); }

    QWidget *form(controls::FormId id) override;
    bool isLoaded(controls::FormId id) const override;
    void unload(controls::FormId id) override;

    std::map<controls::FormId, int> created;   // how often each form was built

private:
    controls::Session &m_session;
    std::map<controls::FormId, Factory> m_factories;
    std::set<controls::FormId> m_standIns;
    std::map<controls::FormId, QPointer<QWidget>> m_forms;
    std::vector<QPointer<QWidget>> m_order;   // in creation order
};

class FormWorld {
public:
    // `shape` fills the starter workbook further before it is saved and opened.
    explicit FormWorld(const std::function<void(store::Workbook &)> &shape = {},
                       const QDateTime &now = kFormsNow);
    virtual ~FormWorld();

    // Builds the form `id` as the program does, with this world's session.
    template <class Form>
    void provide(controls::FormId id)
    {
        forms.provide(id, [this] { return new Form(session); });
    }
    template <class Form>
    Form &form(controls::FormId id)
    {
        return *static_cast<Form *>(forms.form(id));
    }

    store::Workbook &book() { return *server.activeWorkbook(); }
    store::Worksheet &sheet(const QString &name) { return book().sheet(name); }
    QString path() const { return dir.filePath(QStringLiteral("Contavio.xls")); }

    // The texts of every box shown so far, in order.
    QStringList shownTexts() const;
    // The box shown `i`-th (the last when -1), as `box()` writes one: one comparison covers
    // its kind, title and text.
    QString shownBox(int i = -1) const;
    // Queues the answer to the question the button asks, then presses it.
    void pressAnswering(controls::XPButton *button, controls::Answer answer = controls::Answer::Yes);

    void addCounterparty(int row, double id, const QString &kind, const QString &name);
    // A ledger record: id, due date and amount, the rest filled with recognisable values
    // (counterparty 100 + id "Ditta <id>", invoice "F-<id>" unless given, "nota <id>").
    void addRecord(const QString &sheetName, int row, double id, const QDate &due, double amount,
                   const QString &invoice = {});
    QList<double> ids(const QString &sheetName) { return idsOf(sheet(sheetName)); }

    QWidget &menu() { return *forms.form(controls::FormId::Contavio); }

    // What the main menu does: from the active menu, open the form (`open` calls the form's
    // own opener; without one the form is just shown), hide the menu; the form then becomes
    // the active window and runs its activation.
    bool openFromMenu(QWidget &form, const std::function<void()> &open = {});

    QTemporaryDir dir;
    store::Server server;
    controls::FakeDialogs dialogs;
    controls::FixedClock clock;
    controls::Session session;
    TestForms forms{session};
};

// A message box in one line: "<kind> [<title>] <text>".
QString box(controls::BoxKind kind, const QString &title, const QString &text);

// A click of the program's push button, through the mouse, in its middle.
void press(controls::XPButton *button);

// Shows a form as an opener does and lets it become the active window.
bool showAndActivate(QWidget *w);

} // namespace testworld
