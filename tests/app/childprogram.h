#pragma once

// The whole program, windows and all, as a test's child process runs it: scripted dialogs
// (answers queued by the child), the system clock and the real forms.

#include "app/formsregistry.h"
#include "controls/clock.h"
#include "support/fakes.h"
#include "controls/session.h"

struct ChildProgram {
    ChildProgram()
    {
        session.dialogs = &dialogs;
        session.clock = &clock;
        session.forms = &forms;
    }
    ChildProgram(const ChildProgram &) = delete;
    ChildProgram &operator=(const ChildProgram &) = delete;

    controls::FakeDialogs dialogs;
    controls::SystemClock clock;
    controls::Session session;
    app::FormsRegistry forms{session};   // the forms go before the session they use
};
