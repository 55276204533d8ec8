#pragma once

// A zip archive (as the exchange system's bulk downloads are) read entry by entry through
// libzip, within fixed bounds: entries named with ".." or an absolute path, entries that
// expand past their limit or beyond a hundred times their packed size, and archives that
// expand past the total are refused with their reason.

#include <QByteArray>
#include <QString>

#include <functional>

namespace einvoice {

constexpr qint64 kMaxEntryBytes = 30LL * 1024 * 1024;      // one entry, expanded
constexpr qint64 kMaxArchiveBytes = 150LL * 1024 * 1024;   // all entries, expanded
constexpr int kMaxEntries = 20000;
constexpr int kMaxRatio = 100;                             // expanded / packed, past 1 MB

struct ArchiveEntry {
    QString name;        // as the archive names it
    QByteArray bytes;    // empty when refused
    QString error;       // why the entry was refused
};

// Calls `each` for every file entry, in archive order (folders are passed over). Returns
// an empty string, or why the archive as a whole could not be read: then `each` may have
// been called for the entries before the fault.
QString readArchive(const QByteArray &zip, const std::function<void(ArchiveEntry &&)> &each);

bool looksLikeArchive(const QByteArray &bytes);

} // namespace einvoice
