#include "form.h"

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

void Form::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        activate();
        emit activated();
    }
}

void Form::closeEvent(QCloseEvent *event)
{
    if (queryUnload())
        event->ignore();
    else
        event->accept();
}

} // namespace controls
