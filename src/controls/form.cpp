#include "form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>

namespace controls {

Form::Form(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_session(session)
{
}

void Form::showForm()
{
    show();
    raise();
    activateWindow();
}

void Form::showEvent(QShowEvent *event)
{
    m_activationPending = true;
    QWidget::showEvent(event);
}

void Form::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow()) {
        if (!m_activationPending)
            return;   // back from a box of its own, or from another application
        m_activationPending = false;
        activate();
        emit activated();
        return;
    }
    const QWidget *taker = QApplication::activeWindow();
    if (taker && taker != this && !taker->isModal())
        m_activationPending = true;   // another of the program's windows took over
}

void Form::closeEvent(QCloseEvent *event)
{
    if (queryUnload())
        event->ignore();
    else
        event->accept();
}

} // namespace controls
