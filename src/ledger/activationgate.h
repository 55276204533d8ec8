#pragma once

// When a form's activation handler should run. The forms act on activation to read what their
// opener set, so the handler must run when the form is shown, or when the user comes back to
// it from another of the program's windows, but not when it merely gets the focus back from a
// message box it raised itself (that would clear a new record half typed after every warning)
// nor when the user returns from another application.

#include <QApplication>
#include <QWidget>

namespace ledger {

class ActivationGate {
public:
    // From the form's showEvent.
    void shown() { m_pending = true; }

    // From the form's changeEvent on QEvent::ActivationChange: true when the handler runs now.
    bool activationChanged(const QWidget *form)
    {
        if (form->isActiveWindow()) {
            const bool run = m_pending;
            m_pending = false;
            return run;
        }
        const QWidget *taker = QApplication::activeWindow();
        if (taker && taker != form && !taker->isModal())
            m_pending = true;   // another of the program's windows took over
        return false;
    }

private:
    bool m_pending = false;
};

} // namespace ledger
