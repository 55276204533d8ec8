#pragma once

#include "session.h"

#include <QWidget>

namespace controls {

constexpr int twips(int t) { return t / 15; }   // 15 twips to a pixel

// Base of every form: runs activate() each time the window becomes the active window
// (tests may call it directly), and asks queryUnload() whether a close request may go on.
class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(Session &session, QWidget *parent = nullptr);

    Session &session() const { return m_session; }

    // The form's Activate handler.
    virtual void activate() {}
    // The form's QueryUnload handler: return true to cancel the close.
    virtual bool queryUnload() { return false; }

    // Shows the form (not modal), raises it and asks for activation.
    void showForm();

signals:
    void activated();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    Session &m_session;
};

} // namespace controls
