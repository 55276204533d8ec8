#pragma once

#include "session.h"

#include <QWidget>

namespace controls {

constexpr int twips(int t) { return t / 15; }   // 15 twips to a pixel

// Room for the window manager's title bar and borders around a form not yet shown.
constexpr QSize kFrameAllowance(16, 40);
// Where a window whose frame has the size `frame` goes on a screen whose free area is
// `available`: centred, and wholly inside when it fits (else its top-left corner stays on it).
QPoint placeCentred(const QSize &frame, const QRect &available);

// Base of every form: runs activate() each time the window becomes the active window
// (tests may call it directly), and asks queryUnload() whether a close request may go on.
//
// The forms act on activation to read what their opener set, so activate() runs when the
// form has been shown, or when the user comes back to it from another of the program's
// windows; not when it merely gets the focus back from a message box it raised itself
// (that would clear a record half typed after every warning), nor when the user returns
// from another application.
class Form;

// The program's form `id`, created on first use; nullptr when the session has no forms.
Form *programForm(Session &session, FormId id);
// Shows the program's form `id` as Form::showForm() does and gives it (nullptr: none).
Form *showForm(Session &session, FormId id);

class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(Session &session, QWidget *parent = nullptr);

    Session &session() const { return m_session; }

    // The form's Activate handler.
    virtual void activate() {}
    // The form's QueryUnload handler: return true to cancel the close.
    virtual bool queryUnload() { return false; }

    // Shows the form (not modal), raises it and asks for activation. A hidden form opens
    // centred on the screen of the main menu, wholly inside it.
    void showForm();

signals:
    void activated();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void placeOnScreen();
    // Sized to its texts once, before it is first shown (textfit.h).
    void fitOnce();

    Session &m_session;
    bool m_activationPending = false;   // shown, or left for another form of the program
    bool m_fitted = false;
};

} // namespace controls
