#pragma once

class QCoreApplication;

namespace app {

// Italian throughout, whatever the machine's locale: Qt's own translations (the standard
// buttons "Sì", "No", "OK", "Annulla"), and the Italian locale for calendars (month and
// day names, weeks from Monday). Answers whether the translations were found.
bool installItalian(QCoreApplication &application);

} // namespace app
