#include "session.h"

#include "store/model/errors.h"
#include "store/model/workbook.h"

namespace controls {

store::Workbook &Session::workbook() const
{
    store::Workbook *book = server ? server->activeWorkbook() : nullptr;
    if (!book)
        throw store::StoreError(store::ErrorKind::NotFound, QStringLiteral("Nessuna cartella di lavoro è aperta."));
    return *book;
}

} // namespace controls
