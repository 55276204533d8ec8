#include "store/model/errors.h"

namespace store {

StoreError::StoreError(ErrorKind kind, QString userMessage, QString detail)
    : std::runtime_error((userMessage + (detail.isEmpty() ? QString() : QStringLiteral(" (") + detail + u')')).toStdString())
    , m_kind(kind)
    , m_userMessage(std::move(userMessage))
    , m_detail(std::move(detail))
{
}

QString offGridMessage()
{
    return QStringLiteral("La cella è fuori dal foglio: le righe vanno da 1 a 65536 e le colonne da A a IV.");
}

} // namespace store
