#include "formsregistry.h"

#include "avvio.h"
#include "contavio.h"

#include "browser/visualizza.h"
#include "dueviews/scadenze.h"
#include "dueviews/situazione.h"
#include "dueviews/stampe.h"
#include "ledger/entrata.h"
#include "ledger/pagamenti.h"
#include "print/stampap.h"
#include "registry/anagrafe.h"
#include "utilita/utilita.h"

namespace app {

using controls::FormId;

FormsRegistry::FormsRegistry(controls::Session &session)
    : m_session(session)
{
}

FormsRegistry::~FormsRegistry()
{
    for (auto it = m_forms.rbegin(); it != m_forms.rend(); ++it)
        delete it->second.data();
}

QWidget *FormsRegistry::create(FormId id)
{
    switch (id) {
    case FormId::Avvio:
        return new Avvio(m_session);
    case FormId::Contavio:
        return new Contavio(m_session);
    case FormId::Anagrafe:
        return new ::Anagrafe(m_session);
    case FormId::Entrata:
        return new ledger::Entrata(m_session);
    case FormId::Pagamenti:
        return new ledger::Pagamenti(m_session);
    case FormId::Visualizza:
        return new browser::Visualizza(m_session);
    case FormId::StampaP:
        return new print::StampaP(m_session);
    case FormId::Scadenze:
        return new dueviews::Scadenze(m_session);
    case FormId::Situazione:
        return new dueviews::Situazione(m_session);
    case FormId::Stampe:
        return new dueviews::Stampe(m_session);
    case FormId::Utilita:
        return new utilita::Utilita(m_session);
    }
    return nullptr;
}

QWidget *FormsRegistry::form(FormId id)
{
    for (const auto &[formId, widget] : m_forms) {
        if (formId == id && widget)
            return widget.data();
    }
    QWidget *created = create(id);
    if (created)
        m_forms.emplace_back(id, created);
    return created;
}

bool FormsRegistry::isLoaded(FormId id) const
{
    for (const auto &[formId, widget] : m_forms) {
        if (formId == id && widget)
            return true;
    }
    return false;
}

void FormsRegistry::unload(FormId id)
{
    for (auto it = m_forms.begin(); it != m_forms.end(); ++it) {
        if (it->first != id)
            continue;
        QPointer<QWidget> widget = it->second;
        m_forms.erase(it);
        if (widget) {
            // The form may be asking from inside its own close event: destroy it once that
            // event is over.
            widget->hide();
            widget->deleteLater();
        }
        return;
    }
}

Avvio *FormsRegistry::avvio()
{
    return static_cast<Avvio *>(form(FormId::Avvio));
}

} // namespace app
