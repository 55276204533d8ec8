#include "formsregistry.h"

#include "avvio.h"
#include "contavio.h"

#if defined(CONTAVIO_WITH_REGISTRY) && __has_include("registry/anagrafe.h")
#include "registry/anagrafe.h"
#define CONTAVIO_FORM_ANAGRAFE 1
#endif
#if defined(CONTAVIO_WITH_LEDGER) && __has_include("ledger/entrata.h") && __has_include("ledger/pagamenti.h")
#include "ledger/entrata.h"
#include "ledger/pagamenti.h"
#define CONTAVIO_FORM_LEDGER 1
#endif
#if defined(CONTAVIO_WITH_BROWSER) && __has_include("browser/visualizza.h")
#include "browser/visualizza.h"
#define CONTAVIO_FORM_VISUALIZZA 1
#endif
#if defined(CONTAVIO_WITH_PRINT) && __has_include("print/stampap.h")
#include "print/stampap.h"
#define CONTAVIO_FORM_STAMPAP 1
#endif

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

bool FormsRegistry::available(FormId id)
{
    switch (id) {
    case FormId::Avvio:
    case FormId::Contavio:
        return true;
    case FormId::Anagrafe:
#ifdef CONTAVIO_FORM_ANAGRAFE
        return true;
#else
        return false;
#endif
    case FormId::Entrata:
    case FormId::Pagamenti:
#ifdef CONTAVIO_FORM_LEDGER
        return true;
#else
        return false;
#endif
    case FormId::Visualizza:
#ifdef CONTAVIO_FORM_VISUALIZZA
        return true;
#else
        return false;
#endif
    case FormId::StampaP:
#ifdef CONTAVIO_FORM_STAMPAP
        return true;
#else
        return false;
#endif
    }
    return false;
}

QWidget *FormsRegistry::create(FormId id)
{
    switch (id) {
    case FormId::Avvio:
        return new Avvio(m_session);
    case FormId::Contavio:
        return new Contavio(m_session);
    case FormId::Anagrafe:
#ifdef CONTAVIO_FORM_ANAGRAFE
        return new ::Anagrafe(m_session);
#else
        return nullptr;
#endif
    case FormId::Entrata:
#ifdef CONTAVIO_FORM_LEDGER
        return new ledger::Entrata(m_session);
#else
        return nullptr;
#endif
    case FormId::Pagamenti:
#ifdef CONTAVIO_FORM_LEDGER
        return new ledger::Pagamenti(m_session);
#else
        return nullptr;
#endif
    case FormId::Visualizza:
#ifdef CONTAVIO_FORM_VISUALIZZA
        return new browser::Visualizza(m_session);
#else
        return nullptr;
#endif
    case FormId::StampaP:
#ifdef CONTAVIO_FORM_STAMPAP
        return new print::StampaP(m_session);
#else
        return nullptr;
#endif
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
