#pragma once

// The registry form in a small world: a workbook with the three data sheets, their title
// rows and the text columns of "Anagrafe", opened in a server; scripted dialogs; a fixed
// clock; and a forms registry standing in for the main menu and holding the print form.

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/form.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "print/stampap.h"
#include "registry/anagrafe.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <memory>

namespace registrytest {

inline const QStringList kAnagrafeTitles = {
    "ID", "C/F", "Ragione Sociale/Cognome Nome", "Data", "Indirizzo", "CAP", "Località", "PR",
    "Telefono", "Fax", "Cellulare", "Email", "Codice Fiscale", "Partita IVA", "IBAN",
    "Referente/Rappresentante", "Annotazioni"};

// The main menu and the print form, as far as the registry meets them.
class Forms : public controls::Forms {
public:
    explicit Forms(controls::Session &session) : m_session(session) {}
    ~Forms() override
    {
        for (auto &entry : m_forms)
            delete entry.second;
    }
    QWidget *form(controls::FormId id) override
    {
        auto it = m_forms.find(id);
        if (it != m_forms.end())
            return it->second;
        QWidget *w = nullptr;
        switch (id) {
        case controls::FormId::Contavio:
            w = new controls::Form(m_session);   // a stand-in menu, shown as forms are
            w->setObjectName(QStringLiteral("Contavio"));
            w->resize(200, 100);
            break;
        case controls::FormId::StampaP:
            w = new print::StampaP(m_session);
            break;
        default:
            return nullptr;
        }
        ++created[id];
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
    std::map<controls::FormId, int> created;

private:
    controls::Session &m_session;
    std::map<controls::FormId, QWidget *> m_forms;
};

class World {
public:
    World()
        : clock(QDateTime(QDate(2009, 5, 12), QTime(10, 30, 0)))
        , forms(session)
    {
        store::Workbook book;
        store::Worksheet &registry = book.sheet(1);
        registry.setName(QStringLiteral("Anagrafe"));
        book.appendSheet(QStringLiteral("Incassi")).cells(1, 1).setValue(QStringLiteral("ID"));
        book.appendSheet(QStringLiteral("Pagamenti")).cells(1, 1).setValue(QStringLiteral("ID"));
        for (int c = 0; c < kAnagrafeTitles.size(); ++c)
            registry.cells(1, c + 1).setValue(kAnagrafeTitles[c]);
        for (const char *column : {"J:J", "K:K", "I:I", "O:O", "R:R", "M:M", "N:N", "P:P", "F:F"})
            registry.range(QLatin1String(column)).setNumberFormat(QStringLiteral("@"));
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        book.saveAs(path);
        server.open(path, QString());

        session.server = &server;
        session.dialogs = &dialogs;
        session.clock = &clock;
        session.forms = &forms;
        form = std::make_unique<Anagrafe>(session);
    }

    store::Worksheet &sheet() { return server.activeWorkbook()->sheet(QStringLiteral("Anagrafe")); }
    store::Variant value(int row, int column) { return sheet().valueAt(row, column); }
    QString text(int row, int column) { return store::valueToText(value(row, column)); }
    store::Variant counter() { return value(1, 256); }

    // A counterparty written straight into the sheet.
    void addRow(int row, double id, const QString &type, const QString &name)
    {
        sheet().cells(row, 1).setValue(id);
        sheet().cells(row, 2).setValue(store::Variant::fromText(type));
        sheet().cells(row, 3).setValue(store::Variant::fromText(name));
    }

    // Shows the form as an opener does; its activation runs when it becomes active.
    bool show()
    {
        form->show();
        form->raise();
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }

    QStringList shownTexts() const
    {
        QStringList out;
        for (const auto &box : dialogs.shown)
            out << box.text;
        return out;
    }

    QTemporaryDir dir;
    store::Server server;
    controls::FakeDialogs dialogs;
    controls::FixedClock clock;
    controls::Session session;
    Forms forms;
    std::unique_ptr<Anagrafe> form;
};

// A click of the program's push button, through the mouse, in its middle.
inline void press(controls::XPButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
}

} // namespace registrytest
