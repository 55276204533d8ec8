#pragma once

#include "controls/session.h"

#include <QPointer>
#include <map>
#include <memory>
#include <vector>

namespace app {

class Avvio;

// The program's forms: each is created the first time it is asked for and then kept;
// the print form alone is unloaded on request. Forms go in the reverse order of their
// creation, the start form (which holds the server) last.
class FormsRegistry : public controls::Forms {
public:
    explicit FormsRegistry(controls::Session &session);
    ~FormsRegistry() override;

    QWidget *form(controls::FormId id) override;
    bool isLoaded(controls::FormId id) const override;
    void unload(controls::FormId id) override;

    Avvio *avvio();

private:
    QWidget *create(controls::FormId id);

    controls::Session &m_session;
    std::vector<std::pair<controls::FormId, QPointer<QWidget>>> m_forms;   // in creation order
};

} // namespace app
