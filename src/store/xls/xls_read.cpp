// Reading a BIFF8 workbook: the compound file, the Workbook stream (decrypted when it is
// protected), the globals, then every sheet substream found through BOUNDSHEET.

#include "store/xls/xls.h"

#include "store/xls/biff.h"
#include "store/xls/biffstream.h"
#include "store/xls/cfb.h"
#include "store/xls/reader.h"
#include "store/model/errors.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace store {

namespace {

using namespace biff;
using xlsread::damaged;
using xlsread::SheetEntry;

constexpr qint64 kMaxFileSize = qint64(1) << 30;

class Reader {
public:
    Reader(Workbook &book, QByteArray stream, const QString &password)
        : m_book(book), m_rs(std::move(stream)), m_password(password) {}

    void run();

private:
    void otherSheet(const SheetEntry &entry, int tab, int afterTab);
    void applyNames();

    Workbook &m_book;
    RecordStream m_rs;
    QString m_password;
    std::shared_ptr<BiffExtras> m_bx = std::make_shared<BiffExtras>();
    std::vector<SheetEntry> m_sheets;
};

void Reader::run()
{
    xlsread::GlobalsReader globals(m_book, m_rs, *m_bx, m_password);
    globals.run();
    m_sheets = std::move(globals.sheets);

    // Sheets in tab order: worksheets become sheets of the model, the others are carried.
    int worksheets = 0;
    for (const SheetEntry &e : m_sheets)
        worksheets += e.kind == 0;
    if (worksheets == 0)
        throw StoreError(ErrorKind::Unsupported, QStringLiteral("Il file non contiene fogli di lavoro."), QString());

    m_book.styles = std::move(globals.styles);
    m_bx->sheetTabCount = int(m_sheets.size());
    int lastWorksheetTab = -1;
    bool first = true;
    for (int tab = 0; tab < int(m_sheets.size()); ++tab) {
        SheetEntry &e = m_sheets[size_t(tab)];
        if (e.kind != 0) {
            otherSheet(e, tab, lastWorksheetTab);
            continue;
        }
        try {
            if (first)
                m_book.sheet(1).setName(e.name);
            else
                m_book.appendSheet(e.name);
        } catch (const StoreError &err) {
            damaged(QStringLiteral("nome di foglio non valido \"%1\": %2").arg(e.name, err.userMessage()));
        }
        e.sheet = first ? &m_book.sheet(1) : &m_book.sheet(m_book.sheetCount());
        first = false;
        xlsread::SheetReader(m_book, m_rs, globals.strings, e, tab).run();
        lastWorksheetTab = tab;
    }
    applyNames();

    Worksheet *active = nullptr;
    if (globals.activeTab >= 0 && globals.activeTab < int(m_sheets.size()))
        active = m_sheets[size_t(globals.activeTab)].sheet;
    m_book.setActiveSheet(active ? *active : m_book.sheet(1));
    m_book.extras = m_bx;
}

// The rectangle of a 3-D reference token when it points at one sheet of this workbook.
struct SheetArea {
    int tab = -1;
    RangeRect rect;
};

std::vector<SheetArea> parseAreas(const QByteArray &formula, const std::vector<Xti> &xtis,
                                  const std::vector<SupBook> &supBooks, bool &ok)
{
    std::vector<SheetArea> out;
    Cursor c(formula);
    ok = true;
    while (c.left() > 0 && ok) {
        const uint8_t ptg = c.u8();
        switch (ptg) {
        case 0x29: case 0x49: case 0x69:   // memory function: its inner tokens follow
            c.u16();
            break;
        case 0x10:                          // union
            break;
        case 0x3B: case 0x5B: case 0x7B:    // 3-D area
        case 0x3A: case 0x5A: case 0x7A: {  // 3-D reference
            const bool area = (ptg & 0x1F) == 0x1B;
            const uint16_t ixti = c.u16();
            SheetArea a;
            if (area) {
                const int r1 = c.u16(), r2 = c.u16();
                const int c1 = c.u16() & 0x00FF, c2 = c.u16() & 0x00FF;
                a.rect = {std::min(r1, r2) + 1, std::min(c1, c2) + 1, std::max(r1, r2) + 1, std::max(c1, c2) + 1};
            } else {
                const int r = c.u16();
                const int col = c.u16() & 0x00FF;
                a.rect = {r + 1, col + 1, r + 1, col + 1};
            }
            if (!c.ok() || ixti >= xtis.size()) {
                ok = false;
                break;
            }
            const Xti &x = xtis[ixti];
            if (x.supBook >= supBooks.size() || !supBooks[x.supBook].internal || x.first != x.last) {
                ok = false;
                break;
            }
            a.tab = x.first;
            out.push_back(a);
            break;
        }
        default:
            ok = false;
            break;
        }
    }
    if (!c.ok())
        ok = false;
    return out;
}

void Reader::applyNames()
{
    for (NameRecord &n : m_bx->names) {
        if (n.builtin != 0x06 && n.builtin != 0x07)
            continue;
        if (n.sheet < 1 || n.sheet > int(m_sheets.size()))
            continue;
        Worksheet *sheet = m_sheets[size_t(n.sheet - 1)].sheet;
        if (!sheet)
            continue;
        const uint8_t *p = reinterpret_cast<const uint8_t *>(n.record.constData());
        const int nameLength = p[3];
        const int formulaSize = u16(p + 4);
        const uint8_t nameFlags = n.record.size() > 14 ? p[14] : 0;
        const int nameBytes = 1 + ((nameFlags & 1) ? 2 * nameLength : nameLength);
        if (14 + nameBytes + formulaSize > n.record.size())
            continue;
        bool ok = false;
        const std::vector<SheetArea> areas =
            parseAreas(n.record.mid(14 + nameBytes, formulaSize), m_bx->xtis, m_bx->supBooks, ok);
        if (!ok || areas.empty())
            continue;
        PageSetup &ps = sheet->pageSetup();
        if (n.builtin == 0x06) {
            ps.printArea = absoluteAddress(areas.front().rect);
        } else {
            for (const SheetArea &a : areas) {
                if (a.rect.left == 1 && a.rect.right == kMaxColumns)
                    ps.printTitleRows = absoluteAddress(a.rect);
                else if (a.rect.top == 1 && a.rect.bottom == kMaxRows)
                    ps.printTitleColumns = absoluteAddress(a.rect);
            }
        }
        n.builtin |= 0x100;   // rebuilt from the page set-up when saved
    }
}

void Reader::otherSheet(const SheetEntry &entry, int tab, int afterTab)
{
    OtherSheet other;
    other.boundSheet = entry.payload;
    other.originalTab = tab;
    other.afterTab = afterTab;
    m_rs.seek(entry.position);
    int depth = 0;
    while (m_rs.next()) {
        other.records.push_back({m_rs.type(), m_rs.payload()});
        if (m_rs.type() == kBof)
            ++depth;
        else if (m_rs.type() == kEof && --depth <= 0)
            break;
        if (depth <= 0)
            damaged(QStringLiteral("il foglio \"%1\" non inizia dove indicato").arg(entry.name));
    }
    if (depth > 0)
        damaged(QStringLiteral("il foglio \"%1\" è troncato").arg(entry.name));
    m_bx->otherSheets.push_back(std::move(other));
}

std::unique_ptr<Workbook> readImage(const QByteArray &file, const QString &password)
{
    std::vector<CfbEntry> entries = cfb::read(file);
    QByteArray stream;
    bool found = false, oldFormat = false;
    for (CfbEntry &e : entries) {
        if (e.storage || e.path.contains(u'/'))
            continue;
        if (e.path.compare(QLatin1String("Workbook"), Qt::CaseInsensitive) == 0 && !found) {
            stream = std::move(e.data);
            e.data = QByteArray();
            found = true;
        } else if (e.path.compare(QLatin1String("Book"), Qt::CaseInsensitive) == 0) {
            oldFormat = true;
        }
    }
    if (!found) {
        if (oldFormat)
            throw StoreError(ErrorKind::Unsupported, QStringLiteral("Il formato .xls di questo file è troppo vecchio."),
                             QStringLiteral("flusso Book"));
        damaged(QStringLiteral("manca il flusso Workbook"));
    }

    auto book = std::make_unique<Workbook>();
    book->protection = Protection();
    Reader reader(*book, std::move(stream), password);
    reader.run();

    // The other streams go back into the file at the next save, except those that only an
    // encrypted file has or that the encryption hid.
    const bool encrypted = book->protection.kind != Protection::Kind::None;
    for (CfbEntry &e : entries) {
        if (!e.storage && !e.path.contains(u'/')
            && (e.path.compare(QLatin1String("Workbook"), Qt::CaseInsensitive) == 0
                || e.path.compare(QLatin1String("Book"), Qt::CaseInsensitive) == 0
                || e.path.compare(QLatin1String("encryption"), Qt::CaseInsensitive) == 0))
            continue;
        if (encrypted && !e.storage && e.path.startsWith(QChar(5))) {
            // A property set starts with its byte order mark; an encrypted one does not.
            if (e.data.size() < 2 || uint8_t(e.data[0]) != 0xFE || uint8_t(e.data[1]) != 0xFF)
                continue;
        }
        book->extras->otherStreams.push_back(std::move(e));
    }
    if (!encrypted)
        book->protection.password.clear();
    return book;
}

} // namespace

std::unique_ptr<Workbook> readWorkbookBytes(const QByteArray &file, const QString &password)
{
    return readImage(file, password);
}

std::unique_ptr<Workbook> readWorkbook(const QString &path, const QString &password)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile aprire il file %1.").arg(QFileInfo(path).fileName()),
                         f.errorString());
    if (f.size() > kMaxFileSize)
        throw StoreError(ErrorKind::Limit, QStringLiteral("Il file %1 è troppo grande.").arg(QFileInfo(path).fileName()),
                         QStringLiteral("%1 byte").arg(f.size()));
    QByteArray bytes = largeBuffer(f.size());
    qint64 got = 0;
    while (got < bytes.size()) {
        const qint64 n = f.read(bytes.data() + got, bytes.size() - got);
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);   // a file that shrank while being read is judged on what was read
    if (f.error() != QFileDevice::NoError)
        throw StoreError(ErrorKind::Io, QStringLiteral("Impossibile leggere il file %1.").arg(QFileInfo(path).fileName()),
                         f.errorString());
    auto book = readImage(bytes, password);
    book->setPath(QFileInfo(path).absoluteFilePath());
    return book;
}

} // namespace store
