#include "form.h"

#include "textfit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace controls {

Form::Form(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_session(session)
{
}

QPoint placeCentred(const QSize &frame, const QRect &available)
{
    int x = available.left() + (available.width() - frame.width()) / 2;
    int y = available.top() + (available.height() - frame.height()) / 2;
    // Wholly inside; a window larger than the screen keeps its title bar on it.
    x = std::max(available.left(), std::min(x, available.right() + 1 - frame.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - frame.height()));
    return {x, y};
}

void Form::placeOnScreen()
{
    // The screen of the menu, where the user works; before the menu exists, the start form's.
    QScreen *where = nullptr;
    if (Forms *forms = m_session.forms) {
        for (FormId id : {FormId::Contavio, FormId::Avvio}) {
            if (!forms->isLoaded(id))
                continue;
            QWidget *anchor = forms->form(id);
            if (anchor && anchor != this && anchor->isVisible()) {
                where = anchor->screen();
                break;
            }
            if (anchor && anchor != this && !where)
                where = anchor->screen();
        }
    }
    if (!where)
        where = QGuiApplication::primaryScreen();
    if (!where)
        return;
    // The frame is known once the window has been shown; until then a usual title bar.
    QSize decoration = frameGeometry().size() - geometry().size();
    if (decoration.isEmpty())
        decoration = QSize(kFrameAllowance.width(), kFrameAllowance.height());
    const QSize frame = size() + decoration;
    move(placeCentred(frame, where->availableGeometry()));
}

Form *programForm(Session &session, FormId id)
{
    return session.forms ? qobject_cast<Form *>(session.forms->form(id)) : nullptr;
}

Form *showForm(Session &session, FormId id)
{
    Form *form = programForm(session, id);
    if (form)
        form->showForm();
    return form;
}

void Form::fitOnce()
{
    if (m_fitted)
        return;
    m_fitted = true;
    const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (where)
        fitToTexts(this, where->availableGeometry().size() - kFrameAllowance);
}

void Form::showForm()
{
    fitOnce();
    if (!isVisible())
        placeOnScreen();
    show();
    raise();
    activateWindow();
}

void Form::showEvent(QShowEvent *event)
{
    fitOnce();
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
