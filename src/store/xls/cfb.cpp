#include "store/xls/cfb.h"

#include "store/model/errors.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <QStringList>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace store::cfb {

namespace {

constexpr int kMaxDepth = 8;
constexpr int kMaxEntries = 4096;

void initOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

QString damaged() { return QStringLiteral("Il file non è una cartella di lavoro leggibile: è danneggiato."); }

// RAII for GObject references.
template <typename T>
struct Ref {
    T *p = nullptr;
    explicit Ref(T *q = nullptr) : p(q) {}
    ~Ref() { if (p) g_object_unref(p); }
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
};

struct ReadBudget {
    qint64 fileSize;
    qint64 left;    // bytes all streams together may take
    int entries = 0;
};

void readStorage(GsfInfile *dir, const QString &prefix, int depth, ReadBudget &budget,
                 std::vector<biff::CfbEntry> &out)
{
    const int n = gsf_infile_num_children(dir);
    for (int i = 0; i < n; ++i) {
        if (++budget.entries > kMaxEntries)
            throw StoreError(ErrorKind::Damaged, damaged(), QStringLiteral("troppe voci nel file composto"));
        const char *cname = gsf_infile_name_by_index(dir, i);
        Ref<GsfInput> child(gsf_infile_child_by_index(dir, i));
        if (!child.p || !cname)
            throw StoreError(ErrorKind::Damaged, damaged(), QStringLiteral("voce %1 illeggibile").arg(i));
        const QString path = prefix.isEmpty() ? QString::fromUtf8(cname) : prefix + u'/' + QString::fromUtf8(cname);
        const bool isStorage = GSF_IS_INFILE(child.p) && gsf_infile_num_children(GSF_INFILE(child.p)) >= 0;
        if (isStorage) {
            if (depth >= kMaxDepth)
                throw StoreError(ErrorKind::Damaged, damaged(), QStringLiteral("cartelle annidate troppo a fondo"));
            biff::CfbEntry e;
            e.path = path;
            e.storage = true;
            out.push_back(std::move(e));
            readStorage(GSF_INFILE(child.p), path, depth + 1, budget, out);
            continue;
        }
        const gsf_off_t size = gsf_input_size(child.p);
        if (size < 0 || size > budget.fileSize || size > budget.left)
            throw StoreError(ErrorKind::Damaged, damaged(),
                             QStringLiteral("flusso \"%1\" di %2 byte in un file di %3").arg(path).arg(qint64(size)).arg(budget.fileSize));
        budget.left -= size;
        biff::CfbEntry e;
        e.path = path;
        e.data = biff::largeBuffer(qsizetype(size));
        if (size > 0 && !gsf_input_read(child.p, size_t(size), reinterpret_cast<guint8 *>(e.data.data())))
            throw StoreError(ErrorKind::Damaged, damaged(), QStringLiteral("flusso \"%1\" troncato").arg(path));
        out.push_back(std::move(e));
    }
}

// The compound file's header and allocation tables, checked against the file before the
// container library sees them. The library trusts the header's counts: a sector size
// other than 512 or 4096 bytes, or a mini-FAT chain far longer than the file, makes it
// size tables and a bitmap on the stack from them. What the other readers take (a FAT or
// mini-FAT sector count that disagrees with the sectors the header lists or the chain
// holds) is corrected in a copy of the header instead of refused.
class HeaderCheck {
public:
    explicit HeaderCheck(const QByteArray &file) : m_file(file), m_p(reinterpret_cast<const uint8_t *>(file.constData())) {}

    // The image to hand to the library: the file itself, or a copy with corrected counts.
    QByteArray image()
    {
        sectorSizes();
        fatSectors();
        readFat();
        const uint32_t directory = chainLength(at32(kDirStart), "directory");
        if (directory == 0)
            refuse(QStringLiteral("il file composto non ha un indice"));
        const uint32_t miniStart = at32(kMiniFatStart);
        const uint32_t miniFat = miniStart == kEndOfChain || miniStart == kFree ? 0 : chainLength(miniStart, "mini-FAT");
        // The library's bitmap of the mini stream takes one bit a mini sector.
        if (qint64(miniFat) * (m_sectorSize / 4) > kMaxMiniSectors)
            refuse(QStringLiteral("tabella dei settori piccoli di %1 settori").arg(miniFat));
        QByteArray out = m_file;
        auto put = [&](int offset, uint32_t value) {
            if (at32(offset) != value)
                biff::put32(reinterpret_cast<uint8_t *>(out.data()) + offset, value);   // detaches once
        };
        put(kNumFat, uint32_t(m_fatSectors.size()));
        put(kNumMiniFat, miniFat);
        if (m_fatSectors.size() <= kHeaderDifat) {
            put(kNumDifat, 0);
            put(kDifatStart, kEndOfChain);
        }
        return out;
    }

private:
    static constexpr int kSectorShift = 30, kMiniShift = 32, kNumFat = 44, kDirStart = 48, kMiniFatStart = 60,
                         kNumMiniFat = 64, kDifatStart = 68, kNumDifat = 72, kDifat = 76;
    static constexpr size_t kHeaderDifat = 109;
    static constexpr uint32_t kEndOfChain = 0xFFFFFFFE, kFree = 0xFFFFFFFF;
    static constexpr qint64 kMaxMiniSectors = qint64(1) << 22;

    [[noreturn]] static void refuse(const QString &detail) { throw StoreError(ErrorKind::Damaged, damaged(), detail); }
    uint32_t at32(qsizetype offset) const { return biff::u32(m_p + offset); }
    uint16_t at16(qsizetype offset) const { return biff::u16(m_p + offset); }

    // 512-byte sectors (version 3) or 4096 (version 4), 64-byte mini sectors.
    void sectorSizes()
    {
        const int shift = at16(kSectorShift);
        if ((shift != 9 && shift != 12) || at16(kMiniShift) != 6)
            refuse(QStringLiteral("settori di 2^%1 byte, settori piccoli di 2^%2").arg(shift).arg(at16(kMiniShift)));
        m_sectorSize = qsizetype(1) << shift;
        if (m_file.size() <= m_sectorSize)
            refuse(QStringLiteral("file composto di %1 byte senza settori").arg(m_file.size()));
        // The header fills the first sector; a last sector cut short still counts.
        m_sectors = uint32_t((m_file.size() - m_sectorSize + m_sectorSize - 1) / m_sectorSize);
    }
    const uint8_t *sector(uint32_t s) const { return m_p + m_sectorSize * (qsizetype(s) + 1); }
    qsizetype sectorBytes(uint32_t s) const { return std::min(m_sectorSize, m_file.size() - m_sectorSize * (qsizetype(s) + 1)); }

    // The FAT's sectors as the header and the DIFAT chain list them, up to the first entry
    // that is not a sector of the file: that count wins over the header's own.
    void fatSectors()
    {
        const uint32_t declared = at32(kNumFat);
        std::vector<bool> listed(m_sectors, false);
        auto take = [&](uint32_t s) {
            if (s >= m_sectors || m_fatSectors.size() >= declared)
                return false;
            if (listed[s])
                refuse(QStringLiteral("il settore %1 è elencato due volte nella tabella di allocazione").arg(s));
            listed[s] = true;
            m_fatSectors.push_back(s);
            return true;
        };
        bool more = true;
        for (size_t i = 0; i < kHeaderDifat && more; ++i)
            more = take(at32(kDifat + qsizetype(4 * i)));
        const qsizetype perDifat = m_sectorSize / 4 - 1;
        uint32_t difat = at32(kDifatStart);
        for (uint32_t n = 0; more && n < at32(kNumDifat) && difat < m_sectors; ++n) {
            if (sectorBytes(difat) < m_sectorSize)
                break;
            const uint8_t *d = sector(difat);
            for (qsizetype i = 0; i < perDifat && more; ++i)
                more = take(biff::u32(d + 4 * i));
            difat = biff::u32(d + 4 * perDifat);
        }
        if (m_fatSectors.empty())
            refuse(QStringLiteral("nessun settore della tabella di allocazione nel file (%1 dichiarati)").arg(declared));
    }

    void readFat()
    {
        const qsizetype perSector = m_sectorSize / 4;
        m_fat.assign(m_fatSectors.size() * size_t(perSector), kFree);
        for (size_t k = 0; k < m_fatSectors.size(); ++k) {
            const uint8_t *s = sector(m_fatSectors[k]);
            const qsizetype n = sectorBytes(m_fatSectors[k]) / 4;
            for (qsizetype i = 0; i < n; ++i)
                m_fat[k * size_t(perSector) + size_t(i)] = biff::u32(s + 4 * i);
        }
    }

    // The sectors of a chain: each in the file, none twice, ended by the end-of-chain mark.
    uint32_t chainLength(uint32_t start, const char *what) const
    {
        std::vector<bool> seen(m_sectors, false);
        uint32_t n = 0;
        for (uint32_t s = start; s != kEndOfChain; s = m_fat[s], ++n) {
            if (s >= m_sectors || s >= m_fat.size() || seen[s])
                refuse(QStringLiteral("catena %1 interrotta al settore %2").arg(QLatin1String(what)).arg(s));
            seen[s] = true;
        }
        return n;
    }

    const QByteArray &m_file;
    const uint8_t *m_p;
    qsizetype m_sectorSize = 512;
    uint32_t m_sectors = 0;
    std::vector<uint32_t> m_fatSectors;
    std::vector<uint32_t> m_fat;
};

// A storage being written and the storages below it.
struct OutNode {
    std::map<QString, OutNode> storages;
    std::vector<const biff::CfbEntry *> streams;
};

void writeNode(GsfOutfile *dir, const OutNode &node)
{
    for (const auto &[name, sub] : node.storages) {
        Ref<GsfOutput> child(gsf_outfile_new_child(dir, name.toUtf8().constData(), TRUE));
        if (!child.p)
            throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile preparare il file."), QStringLiteral("cartella %1").arg(name));
        writeNode(GSF_OUTFILE(child.p), sub);
        gsf_output_close(child.p);
    }
    for (const biff::CfbEntry *e : node.streams) {
        const QString name = e->path.section(u'/', -1);
        Ref<GsfOutput> child(gsf_outfile_new_child(dir, name.toUtf8().constData(), FALSE));
        if (!child.p)
            throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile preparare il file."), QStringLiteral("flusso %1").arg(name));
        if (!e->data.isEmpty()
            && !gsf_output_write(child.p, size_t(e->data.size()), reinterpret_cast<const guint8 *>(e->data.constData())))
            throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile preparare il file."), QStringLiteral("flusso %1").arg(name));
        gsf_output_close(child.p);
    }
}

} // namespace

std::vector<biff::CfbEntry> read(const QByteArray &file)
{
    initOnce();
    std::vector<biff::CfbEntry> out;
    // A compound file starts with its signature; anything else is not one at all.
    static const unsigned char sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (file.size() < 512 || memcmp(file.constData(), sig, 8) != 0)
        throw StoreError(ErrorKind::Damaged, damaged(), QStringLiteral("firma del file composto assente"));
    const QByteArray image = HeaderCheck(file).image();
    Ref<GsfInput> mem(gsf_input_memory_new(reinterpret_cast<const guint8 *>(image.constData()), image.size(), FALSE));
    GError *err = nullptr;
    Ref<GsfInfile> ole(gsf_infile_msole_new(mem.p, &err));
    if (!ole.p) {
        QString why = err ? QString::fromUtf8(err->message) : QString();
        if (err)
            g_error_free(err);
        throw StoreError(ErrorKind::Damaged, damaged(), why);
    }
    ReadBudget budget{file.size(), file.size() * 4, 0};
    readStorage(ole.p, QString(), 0, budget, out);
    return out;
}

namespace {

OutNode storageTree(const std::vector<biff::CfbEntry> &entries)
{
    OutNode root;
    for (const biff::CfbEntry &e : entries) {
        const QStringList parts = e.path.split(u'/', Qt::SkipEmptyParts);
        if (parts.isEmpty())
            continue;
        OutNode *node = &root;
        const int dirs = e.storage ? int(parts.size()) : int(parts.size()) - 1;
        for (int i = 0; i < dirs; ++i)
            node = &node->storages[parts[i]];
        if (!e.storage)
            node->streams.push_back(&e);
    }
    return root;
}

// Writes the compound file holding `root` into `sink`.
void writeTree(GsfOutput *sink, const OutNode &root)
{
    Ref<GsfOutfile> ole(gsf_outfile_msole_new_full(sink, 512, 64));
    if (!ole.p)
        throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile preparare il file."), QStringLiteral("file composto"));
    // The class id every BIFF8 workbook carries on its root storage.
    static const guint8 clsid[16] = {0x20, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(ole.p), clsid);
    writeNode(ole.p, root);
    if (!gsf_output_close(GSF_OUTPUT(ole.p)))
        throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile preparare il file."), QStringLiteral("chiusura del file composto"));
}

// More than the container can take for these streams: each stream in whole 512-byte
// sectors (small ones share the mini stream), the header, the directory, and a generous
// share for the allocation tables.
qsizetype imageBound(const std::vector<biff::CfbEntry> &entries)
{
    qsizetype data = 512;
    for (const biff::CfbEntry &e : entries)
        data += (e.data.size() + 511) / 512 * 512 + 512 + 128;
    return data + data / 32 + 64 * 1024;
}

// The image written straight into one buffer of the bound's size; empty when it does not
// fit or the system refuses the in-memory file.
QByteArray writeIntoBuffer(const OutNode &root, qsizetype bound)
{
    QByteArray image = biff::largeBuffer(bound);
    // Zeroed, so that no byte of the file can come from memory the container never wrote.
    std::memset(image.data(), 0, size_t(bound));
    FILE *file = ::fmemopen(image.data(), size_t(bound), "w");
    if (!file)
        return {};
    std::setvbuf(file, nullptr, _IONBF, 0);
    gsf_off_t size = -1;
    {
        Ref<GsfOutput> sink(gsf_output_stdio_new_FILE("Workbook", file, TRUE));
        if (sink.p) {
            try {
                writeTree(sink.p, root);   // closes the sink with the container
                if (gsf_output_is_closed(sink.p) || gsf_output_close(sink.p))
                    size = gsf_output_size(sink.p);
            } catch (const StoreError &) {
                size = -1;
            }
        }
    }
    std::fclose(file);
    if (size <= 0 || size > bound)
        return {};
    image.truncate(qsizetype(size));
    return image;
}

} // namespace

QByteArray write(const std::vector<biff::CfbEntry> &entries)
{
    initOnce();
    const OutNode root = storageTree(entries);
    QByteArray image = writeIntoBuffer(root, imageBound(entries));
    if (!image.isEmpty())
        return image;
    // The container's own growing memory buffer.
    Ref<GsfOutput> sink(gsf_output_memory_new());
    writeTree(sink.p, root);
    const gsf_off_t size = gsf_output_size(sink.p);
    const guint8 *bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.p));
    if (size > 0 && bytes)
        image = QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(size));
    if (!gsf_output_is_closed(sink.p))
        gsf_output_close(sink.p);
    return image;
}

} // namespace store::cfb
