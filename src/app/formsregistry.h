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

    // nullptr for a form this build of the program does not have.
    QWidget *form(controls::FormId id) override;
    bool isLoaded(controls::FormId id) const override;
    void unload(controls::FormId id) override;

    Avvio *avvio();
    // Whether this build has the form at all.
    static bool available(controls::FormId id);

private:
    QWidget *create(controls::FormId id);

    controls::Session &m_session;
    std::vector<std::pair<controls::FormId, QPointer<QWidget>>> m_forms;   // in creation order
};

} // namespace app
