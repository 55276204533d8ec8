#include "textfit.h"

#include "xpbutton.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>

#include <algorithm>
#include <cmath>

namespace controls {

namespace {

// What a control needs to show its text whole: {width or 0, height or 0}. Lists, notes
// and multi-line fields scroll and need nothing; an edit field or a combo box needs its
// line's height within its frame, capitals' accents included.
QSize needOf(const QWidget *w)
{
    const QFontMetrics metrics(w->font());
    if (const auto *button = qobject_cast<const XPButton *>(w)) {
        const QSize text = metrics.size(Qt::TextSingleLine | Qt::TextShowMnemonic, button->caption());
        return button->caption().isEmpty() ? QSize() : text + QSize(8, 6);
    }
    if (qobject_cast<const QAbstractButton *>(w))
        return w->sizeHint();
    if (const auto *label = qobject_cast<const QLabel *>(w)) {
        if (label->text().isEmpty())
            return {};
        if (label->wordWrap())
            return QSize(0, label->heightForWidth(label->width()));
        return label->sizeHint();
    }
    if (qobject_cast<const QComboBox *>(w) || qobject_cast<const QLineEdit *>(w))
        return QSize(0, metrics.height() + 4);
    return {};
}

// Sizes fixed in one direction or both stay fixed, at the new size.
void setSize(QWidget *w, const QSize &size)
{
    if (w->minimumWidth() == w->maximumWidth())
        w->setFixedWidth(size.width());
    if (w->minimumHeight() == w->maximumHeight())
        w->setFixedHeight(size.height());
    w->resize(size);
}

bool isFixed(const QWidget *w)
{
    return w->minimumSize() == w->maximumSize();
}

void fitLaidOut(QWidget *form, QLayout *layout, const QSize &available)
{
    for (XPButton *button : form->findChildren<XPButton *>())
        if (isFixed(button))
            button->setFixedSize(button->size().expandedTo(button->sizeHint()));
    layout->activate();
    QSize want = form->size().expandedTo(layout->minimumSize());
    if (layout->hasHeightForWidth())
        want.setHeight(std::max(want.height(), layout->totalHeightForWidth(want.width())));
    setSize(form, want.boundedTo(available.expandedTo(form->size())));
    layout->setGeometry(form->rect());   // the controls take their places now, not when shown
}

void fitPlaced(QWidget *form, const QSize &available)
{
    const QList<QWidget *> children = form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    double across = 1.0, down = 1.0;
    for (const QWidget *w : children) {
        if (w->isWindow() || w->isHidden())
            continue;
        const QSize need = needOf(w);
        if (need.width() > w->width() && w->width() > 0)
            across = std::max(across, double(need.width()) / w->width());
        if (need.height() > w->height() && w->height() > 0)
            down = std::max(down, double(need.height()) / w->height());
    }
    const QSize size = form->size();
    across = std::min(across, std::max(1.0, double(available.width()) / size.width()));
    down = std::min(down, std::max(1.0, double(available.height()) / size.height()));
    if (across == 1.0 && down == 1.0)
        return;
    auto x = [&](int v) { return int(std::ceil(v * across)); };
    auto y = [&](int v) { return int(std::ceil(v * down)); };
    for (QWidget *w : children) {
        if (w->isWindow())
            continue;
        const QRect r = w->geometry();
        const QSize grown(x(r.width()), y(r.height()));
        w->move(x(r.x()), y(r.y()));
        setSize(w, grown);
    }
    setSize(form, QSize(x(size.width()), y(size.height())));
}

} // namespace

void fitToTexts(QWidget *form, const QSize &available)
{
    form->ensurePolished();
    for (QWidget *w : form->findChildren<QWidget *>())
        w->ensurePolished();
    if (QLayout *layout = form->layout())
        fitLaidOut(form, layout, available);
    else
        fitPlaced(form, available);
}

int titleRoom(const QWidget *box, const QString &title)
{
    // The title bar's font is the system's; its buttons take about three squares of it.
    const QFontMetrics metrics(box->font());
    return metrics.horizontalAdvance(title) + 4 * metrics.height() + 48;
}

} // namespace controls
