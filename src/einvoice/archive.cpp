#include "einvoice/archive.h"

#include <QStringList>

#include <zip.h>

#include <memory>

namespace einvoice {

namespace {

bool unsafeName(const QString &name)
{
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\'))
        || (name.size() >= 2 && name[1] == QLatin1Char(':')))
        return true;
    const QStringList parts = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".."));
}

} // namespace

bool looksLikeArchive(const QByteArray &bytes)
{
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06");
}

QString readArchive(const QByteArray &bytes, const std::function<void(ArchiveEntry &&)> &each)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        return QStringLiteral("archivio zip illeggibile");
    }
    zip_t *opened = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!opened) {
        zip_source_free(source);
        return QStringLiteral("archivio zip illeggibile o danneggiato");
    }
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(opened, zip_discard);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count < 0 || count > kMaxEntries)
        return QStringLiteral("archivio zip con troppi file");
    qint64 total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME))
            return QStringLiteral("archivio zip danneggiato");
        ArchiveEntry entry;
        entry.name = QString::fromUtf8(stat.name);
        if (entry.name.endsWith(QLatin1Char('/')))
            continue;
        const qint64 size = (stat.valid & ZIP_STAT_SIZE) ? qint64(stat.size) : -1;
        const qint64 packed = (stat.valid & ZIP_STAT_COMP_SIZE) ? qint64(stat.comp_size) : -1;
        if (unsafeName(entry.name))
            entry.error = QStringLiteral("nome non ammesso nell'archivio (percorso assoluto o \"..\")");
        else if (size < 0 || size > kMaxEntryBytes)
            entry.error = QStringLiteral("file troppo grande nell'archivio");
        else if (size > 1024 * 1024 && packed >= 0 && size > packed * kMaxRatio)
            entry.error = QStringLiteral("file compresso in modo anomalo (possibile bomba zip)");
        else if (total + size > kMaxArchiveBytes)
            return QStringLiteral("archivio zip troppo grande una volta estratto");
        if (!entry.error.isEmpty()) {
            each(std::move(entry));
            continue;
        }
        std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(zip_fopen_index(archive.get(), zip_uint64_t(i), 0), zip_fclose);
        if (!file) {
            entry.error = QStringLiteral("file dell'archivio illeggibile (cifrato o compresso in modo non supportato)");
            each(std::move(entry));
            continue;
        }
        // Read at most one byte past the stated size: an entry that expands further lies.
        entry.bytes.resize(size + 1);
        qint64 got = 0;
        while (got <= size) {
            const zip_int64_t n = zip_fread(file.get(), entry.bytes.data() + got, zip_uint64_t(size + 1 - got));
            if (n <= 0) {
                if (n < 0)
                    entry.error = QStringLiteral("file dell'archivio danneggiato");
                break;
            }
            got += n;
        }
        if (entry.error.isEmpty() && got != size)
            entry.error = QStringLiteral("file dell'archivio di lunghezza diversa da quella dichiarata");
        if (!entry.error.isEmpty())
            entry.bytes.clear();
        else
            entry.bytes.resize(size);
        total += size;
        each(std::move(entry));
    }
    return {};
}

} // namespace einvoice
