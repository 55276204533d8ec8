#include "formworld.h"

#include "controls/form.h"
#include "controls/xpbutton.h"

#include <QTest>

namespace testworld {

TestForms::TestForms(controls::Session &session)
    : m_session(session), m_standIns{controls::FormId::Contavio, controls::FormId::Anagrafe}
{
}

TestForms::~TestForms()
{
    // Latest first, as the program's own registry does.
    for (auto it = m_order.rbegin(); it != m_order.rend(); ++it)
        delete it->data();
}

QWidget *TestForms::form(controls::FormId id)
{
    auto it = m_forms.find(id);
    if (it != m_forms.end() && it->second)
        return it->second;
    QWidget *w = nullptr;
    if (auto factory = m_factories.find(id); factory != m_factories.end()) {
        w = factory->second();
    } else if (m_standIns.count(id)) {
        w = new controls::Form(m_session);
        w->setObjectName(id == controls::FormId::Contavio ? QStringLiteral("Contavio")
                                                          : QStringLiteral("Anagrafe"));
        w->resize(200, 100);
    }
    if (!w)
        return nullptr;
    ++created[id];
    m_forms[id] = w;
    m_order.push_back(w);
    return w;
}

bool TestForms::isLoaded(controls::FormId id) const
{
    auto it = m_forms.find(id);
    return it != m_forms.end() && it->second;
}

void TestForms::unload(controls::FormId id)
{
    auto it = m_forms.find(id);
    if (it == m_forms.end())
        return;
    delete it->second.data();
    m_forms.erase(it);
}

FormWorld::FormWorld(const std::function<void(store::Workbook &)> &shape, const QDateTime &now)
    : clock(now)
{
    {
        store::Workbook book;
        shapeStarterBook(book);
        if (shape)
            shape(book);
        book.saveAs(path());
    }
    server.open(path(), QString());
    session.server = &server;
    session.dialogs = &dialogs;
    session.clock = &clock;
    session.forms = &forms;
}

FormWorld::~FormWorld() = default;

QStringList FormWorld::shownTexts() const
{
    QStringList out;
    for (const auto &box : dialogs.shown)
        out << box.text;
    return out;
}

QString FormWorld::shownBox(int i) const
{
    if (dialogs.shown.empty())
        return QStringLiteral("(no box)");
    const auto &b = i < 0 ? dialogs.shown.back() : dialogs.shown.at(size_t(i));
    return box(b.kind, b.title, b.text);
}

void FormWorld::pressAnswering(controls::XPButton *button, controls::Answer answer)
{
    dialogs.queueAnswer(answer);
    press(button);
}

QString box(controls::BoxKind kind, const QString &title, const QString &text)
{
    static const char *const kinds[] = {"Plain", "Information", "Critical", "Question"};
    return QStringLiteral("%1 [%2] %3").arg(QLatin1String(kinds[int(kind)]), title, text);
}

void FormWorld::addCounterparty(int row, double id, const QString &kind, const QString &name)
{
    writeCounterparty(sheet(QStringLiteral("Anagrafe")), row, id, kind, name);
}

void FormWorld::addRecord(const QString &sheetName, int row, double id, const QDate &due,
                          double amount, const QString &invoice)
{
    LedgerRecord record;
    record.id = id;
    record.counterpartyId = 100 + id;
    record.counterparty = QStringLiteral("Ditta %1").arg(id);
    record.invoice = invoice.isEmpty() ? QStringLiteral("F-%1").arg(id) : invoice;
    record.invoiceDate = QDate(2009, 1, 10);
    record.due = due;
    record.amount = amount;
    record.note = QStringLiteral("nota %1").arg(id);
    writeLedgerRecord(sheet(sheetName), row, record);
}

bool FormWorld::openFromMenu(QWidget &form, const std::function<void()> &open)
{
    QWidget &menu = this->menu();
    if (!QTest::qWaitForWindowActive(&menu, 0)) {
        menu.show();
        menu.activateWindow();
        if (!QTest::qWaitForWindowActive(&menu))
            return false;
    }
    if (open)
        open();
    else
        form.show();
    menu.hide();
    form.activateWindow();
    return QTest::qWaitForWindowActive(&form);
}

void press(controls::XPButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
}

bool showAndActivate(QWidget *w)
{
    w->show();
    w->raise();
    w->activateWindow();
    return QTest::qWaitForWindowActive(w);
}

} // namespace testworld
