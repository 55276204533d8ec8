#pragma once

// A small world for driving the entry forms and the browser through their widgets: a
// workbook with the three data sheets and their title rows opened in a server, scripted
// dialogs, a fixed clock, and a forms registry that creates the real ledger forms and stands
// in for the menu, the registry form and (when given a factory) the print form.

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/form.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "ledger/entrata.h"
#include "ledger/pagamenti.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

namespace testworld {

inline const QStringList kIncassiTitles = {
    "ID", "ID Cliente", "Cliente", "Fattura", "Data", "Scadenza", "Riscosso", "Importo", "Data",
    "R/Con", "Acconto", "Importo", "Data", "A/Con", "Saldato", "Importo", "Data", "S/Con", "Nota"};
inline const QStringList kPagamentiTitles = {
    "ID", "ID Fornitore", "Fornitore", "Fattura", "Data", "Scadenza", "Pagato", "Importo", "Data",
    "R/Con", "Acconto", "Importo", "Data", "A/Con", "Saldato", "Importo", "Data", "S/Con", "Nota"};

class FakeForms : public controls::Forms {
public:
    using Factory = std::function<QWidget *(controls::FormId)>;

    explicit FakeForms(Factory factory) : m_factory(std::move(factory)) {}
    ~FakeForms() override
    {
        for (auto &entry : m_forms)
            delete entry.second;
    }

    QWidget *form(controls::FormId id) override
    {
        auto it = m_forms.find(id);
        if (it != m_forms.end())
            return it->second;
        QWidget *w = m_factory(id);
        if (w)
            m_forms[id] = w;
        return w;
    }
    bool isLoaded(controls::FormId id) const override { return m_forms.count(id) != 0; }
    void unload(controls::FormId id) override
    {
        auto it = m_forms.find(id);
        if (it != m_forms.end()) {
            delete it->second;
            m_forms.erase(it);
        }
    }

private:
    Factory m_factory;
    std::map<controls::FormId, QWidget *> m_forms;
};

class World {
public:
    // printFactory builds the print form when the browser asks for one.
    explicit World(std::function<QWidget *(controls::Session &)> printFactory = {})
        : clock(QDateTime(QDate(2009, 5, 12), QTime(10, 30, 0)))
        , forms([this, printFactory](controls::FormId id) -> QWidget * {
            switch (id) {
            case controls::FormId::Entrata: return new ledger::Entrata(session);
            case controls::FormId::Pagamenti: return new ledger::Pagamenti(session);
            case controls::FormId::Contavio: return named(session, "Contavio");
            case controls::FormId::Anagrafe: return named(session, "Anagrafe");
            case controls::FormId::StampaP:
                if (printFactory)
                    return printFactory(session);
                return nullptr;
            default:
                if (extraFactory)
                    return extraFactory(id);
                return nullptr;
            }
        })
    {
        store::Workbook book;
        book.sheet(1).setName(QStringLiteral("Anagrafe"));
        store::Worksheet &registry = book.sheet(1);
        store::Worksheet &incassi = book.appendSheet(QStringLiteral("Incassi"));
        store::Worksheet &pagamenti = book.appendSheet(QStringLiteral("Pagamenti"));
        const QStringList registryTitles = {"ID", "C/F", "Ragione Sociale/Cognome Nome"};
        for (int c = 0; c < registryTitles.size(); ++c)
            registry.cells(1, c + 1).setValue(registryTitles[c]);
        for (int c = 0; c < kIncassiTitles.size(); ++c) {
            incassi.cells(1, c + 1).setValue(kIncassiTitles[c]);
            pagamenti.cells(1, c + 1).setValue(kPagamentiTitles[c]);
        }
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        book.saveAs(path);
        server.open(path, QString());

        session.server = &server;
        session.dialogs = &dialogs;
        session.clock = &clock;
        session.forms = &forms;
    }

    store::Workbook &book() { return *server.activeWorkbook(); }
    store::Worksheet &sheet(const QString &name) { return book().sheet(name); }

    ledger::Entrata &entrata() { return *static_cast<ledger::Entrata *>(forms.form(controls::FormId::Entrata)); }
    ledger::Pagamenti &pagamenti() { return *static_cast<ledger::Pagamenti *>(forms.form(controls::FormId::Pagamenti)); }
    ledger::LedgerForm &ledgerForm(bool payables)
    {
        return payables ? static_cast<ledger::LedgerForm &>(pagamenti()) : static_cast<ledger::LedgerForm &>(entrata());
    }
    QWidget &menu() { return *forms.form(controls::FormId::Contavio); }
    QWidget &registryForm() { return *forms.form(controls::FormId::Anagrafe); }

    // What an opener does: from the active main menu, show the form, set it up, hide the
    // menu; the form then becomes the active window and runs its activation.
    bool openFromMenu(QWidget &form, const std::function<void()> &setUp = {})
    {
        QWidget &m = menu();
        if (!QTest::qWaitForWindowActive(&m, 0)) {
            m.show();
            m.activateWindow();
            if (!QTest::qWaitForWindowActive(&m))
                return false;
        }
        form.show();
        if (setUp)
            setUp();
        m.hide();
        form.activateWindow();
        return QTest::qWaitForWindowActive(&form);
    }

    void addCounterparty(int row, double id, const QString &kind, const QString &name)
    {
        store::Worksheet &s = sheet(QStringLiteral("Anagrafe"));
        s.cells(row, 1).setValue(id);
        s.cells(row, 2).setValue(store::Variant::fromText(kind));
        s.cells(row, 3).setValue(store::Variant::fromText(name));
    }

    // A ledger record written straight into the sheet: id, due date and amount, the rest
    // filled with recognisable values.
    void addRecord(const QString &sheetName, int row, double id, const QDate &due, double amount,
                   const QString &invoice = {})
    {
        store::Worksheet &s = sheet(sheetName);
        s.cells(row, 1).setValue(id);
        s.cells(row, 2).setValue(100 + id);
        s.cells(row, 3).setValue(store::Variant::fromText(QStringLiteral("Ditta %1").arg(id)));
        s.cells(row, 4).setValue(store::Variant::fromText(invoice.isEmpty() ? QStringLiteral("F-%1").arg(id) : invoice));
        s.cells(row, 5).setValue(store::Variant::fromDate(store::dateToSerial(QDate(2009, 1, 10))));
        s.cells(row, 6).setValue(store::Variant::fromDate(store::dateToSerial(due)));
        s.cells(row, 7).setValue(store::Variant::fromText(QStringLiteral("NO")));
        s.cells(row, 8).setValue(amount);
        s.cells(row, 11).setValue(store::Variant::fromText(QStringLiteral("NO")));
        s.cells(row, 15).setValue(store::Variant::fromText(QStringLiteral("NO")));
        s.cells(row, 19).setValue(store::Variant::fromText(QStringLiteral("nota %1").arg(id)));
    }

    // Column A of a sheet from row 2 down to the first empty cell.
    QList<double> ids(const QString &sheetName)
    {
        QList<double> out;
        store::Worksheet &s = sheet(sheetName);
        for (int row = 2; !s.valueAt(row, 1).isEmpty(); ++row)
            out.append(s.valueAt(row, 1).number);
        return out;
    }

    std::function<QWidget *(controls::FormId)> extraFactory;

    QTemporaryDir dir;
    store::Server server;
    controls::FakeDialogs dialogs;
    controls::FixedClock clock;
    FakeForms forms;
    controls::Session session;

private:
    // A stand-in for a form these tests do not drive: a form all the same, shown as the
    // program shows its forms.
    static QWidget *named(controls::Session &session, const char *name)
    {
        auto *w = new controls::Form(session);
        w->setObjectName(QString::fromLatin1(name));
        w->resize(200, 100);
        return w;
    }
};

// A click of the program's push button, through the mouse, in its middle.
inline void press(controls::XPButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
}

// Shows a form as an opener does and lets it become the active window.
inline bool showAndActivate(QWidget *w)
{
    w->show();
    w->raise();
    w->activateWindow();
    return QTest::qWaitForWindowActive(w);
}

} // namespace testworld
