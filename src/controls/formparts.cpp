#include "formparts.h"

#include "dialogs.h"
#include "form.h"
#include "xpbutton.h"

#include "store/model/errors.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QTimer>

namespace controls {

XPButton *makeFormButton(QWidget *form, const char *name, const QString &caption, const QString &tip)
{
    auto *button = makeNamed<XPButton>(form, name, caption);
    button->setButtonType(XPButton::FormStyle);
    if (!tip.isEmpty())
        button->setToolTip(tip);
    return button;
}

FooterLabels makeFooterLabels(QWidget *form)
{
    FooterLabels labels;
    labels.notice = new QLabel(QStringLiteral("Contavio - gestione di incassi, pagamenti e scadenze"), form);
    labels.notice->setObjectName(QStringLiteral("Label14"));
    labels.clock = new QLabel(form);
    labels.clock->setObjectName(QStringLiteral("Label15"));
    labels.clock->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labels.spare = new QLabel(form);
    labels.spare->setObjectName(QStringLiteral("Label16"));
    return labels;
}

QTimer *makeClockTimer(QWidget *form, const char *name)
{
    auto *timer = new QTimer(form);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(1000);
    return timer;
}

void fillBackground(QWidget *form, const QColor &colour)
{
    QPalette background = form->palette();
    background.setColor(QPalette::Window, colour);
    form->setPalette(background);
    form->setAutoFillBackground(true);
}

void reportStoreError(Dialogs *dialogs, const std::exception &error)
{
    if (!dialogs)
        return;
    QString text;
    if (const auto *storeError = dynamic_cast<const store::StoreError *>(&error))
        text = storeError->userMessage();
    else
        text = QStringLiteral("Operazione non riuscita sulla cartella di lavoro.");
    dialogs->message(BoxKind::Critical, text, titles::kTitle);
}

} // namespace controls
