// Reading a BIFF8 workbook: the compound file, the Workbook stream (decrypted when it is
// protected), the globals, then every sheet substream found through BOUNDSHEET.

#include "store/file/workbookfile.h"

#include "store/biff/biff.h"
#include "store/xls/biffstream.h"
#include "store/xls/cfb.h"
#include "store/xls/reader.h"
#include "store/model/errors.h"
#include "store/edit/structureedits.h"
#include "store/file/savefile.h"

#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>

namespace store {

namespace {

using namespace biff;
using xlsread::damaged;
using xlsread::SheetEntry;

constexpr qint64 kSheetCost = 8192;   // a sheet of the model before its cells

class Reader {
public:
    Reader(Workbook &book, QByteArray stream, const QString &password)
        : m_book(book), m_rs(std::move(stream)), m_password(password), m_budget(m_rs.streamSize()) {}

    void run();

private:
    // The worksheets from tab from() on, read by a second thread while this one reads the
    // tabs before; finish() waits for it, rethrows what it threw and puts the texts it read
    // into the string pool in tab order.
    class SecondThread {
    public:
        SecondThread(Reader &reader, int from, const xlsread::SharedStrings &strings);
        ~SecondThread();
        int from() const { return m_from; }   // the tab count when no thread reads
        void finish();
    private:
        Reader &m_reader;
        int m_from;
        std::thread m_thread;
        std::exception_ptr m_error;
        std::vector<std::vector<xlsread::DeferredText>> m_texts;
        std::vector<char> m_storedCells;
    };
    void makeWorksheets();
    bool readWorksheet(RecordStream &rs, const SheetEntry &e, int tab, const xlsread::SharedStrings &strings,
                       std::vector<xlsread::DeferredText> *deferred);
    int secondThreadFrom() const;
    void otherSheet(const SheetEntry &entry, int tab, int afterTab, const xlsread::SharedStrings &strings);
    void applyNames();
    void checkSheetEntries(qsizetype globalsEnd);
    void checkSubstreamKind(const SheetEntry &e);

    Workbook &m_book;
    RecordStream m_rs;
    QString m_password;
    std::shared_ptr<BiffExtras> m_bx = std::make_shared<BiffExtras>();
    std::vector<SheetEntry> m_sheets;
    xlsread::ReadBudget m_budget;
    int m_refusedTab = -1;   // the worksheet whose name the model refused
    QString m_refusal;
};

// Every sheet entry must lead to a substream of its own, after the globals, of the kind the
// entry names: at the start of a record, outside every other substream, a BIFF8 BOF. A file
// whose entries share a substream, or point into a record's payload or into a substream that
// another entry already covers, would otherwise be read (and saved) twice or as garbage.
// One walk over the record headers after the globals settles where each entry lands; it
// needs no payload, so it goes ahead of the decryption.
void Reader::checkSheetEntries(qsizetype globalsEnd)
{
    std::vector<std::pair<uint32_t, int>> positions;
    positions.reserve(m_sheets.size());
    for (int tab = 0; tab < int(m_sheets.size()); ++tab)
        positions.push_back({m_sheets[size_t(tab)].position, tab});
    std::sort(positions.begin(), positions.end());
    for (size_t i = 1; i < positions.size(); ++i)
        if (positions[i].first == positions[i - 1].first)
            damaged(QStringLiteral("i fogli \"%1\" e \"%2\" indicano lo stesso punto del file (%3)")
                        .arg(m_sheets[size_t(positions[i - 1].second)].name, m_sheets[size_t(positions[i].second)].name)
                        .arg(positions[i].first));
    m_rs.seek(globalsEnd);
    bool more = m_rs.next(false);
    int depth = 0;
    qsizetype lastBof = -1;   // the BOF that opened the substream being walked
    uint32_t previous = 0;
    for (const auto &[position, tab] : positions) {
        SheetEntry &e = m_sheets[size_t(tab)];
        if (e.position < globalsEnd)
            damaged(QStringLiteral("il foglio \"%1\" indica un punto della parte globale (%2)").arg(e.name).arg(e.position));
        for (; more && m_rs.offset() < qsizetype(position); more = m_rs.next(false)) {
            if (m_rs.type() == kBof) {
                if (depth++ == 0)
                    lastBof = m_rs.offset();
            } else if (m_rs.type() == kEof && depth > 0) {
                --depth;
            }
        }
        const bool atRecord = more && m_rs.offset() == qsizetype(position);
        if (atRecord && depth == 1 && lastBof == qsizetype(position) - 20 && previous != position - 20
            && m_rs.type() != kBof) {
            // Pointing at the record just after its BOF, as some writers do: the substream is
            // the one that BOF opens.
            e.position = uint32_t(lastBof);
        } else if (!atRecord) {
            damaged(QStringLiteral("il foglio \"%1\" indica un punto dentro un record (%2)").arg(e.name).arg(position));
        } else if (depth != 0) {
            damaged(QStringLiteral("il foglio \"%1\" inizia dentro un'altra sezione (%2)").arg(e.name).arg(position));
        }
        previous = position;
        checkSubstreamKind(e);
        m_rs.seek(position);   // substreamAt moved the stream: back to the walk
        more = m_rs.next(false);
    }
}

// The BOF an entry leads to: BIFF8, not a second globals, of the kind the entry names.
void Reader::checkSubstreamKind(const SheetEntry &e)
{
    const std::optional<Bof> bof = m_rs.substreamAt(e.position);
    if (!bof)
        damaged(QStringLiteral("il foglio \"%1\" non inizia dove indicato").arg(e.name));
    if (bof->version != 0x0600)
        damaged(QStringLiteral("il foglio \"%1\" è in un formato diverso (BIFF %2)").arg(e.name, xlsread::hex(bof->version)));
    if (bof->kind == 0x0005)
        damaged(QStringLiteral("il foglio \"%1\" porta a una seconda parte globale").arg(e.name));
    uint16_t expected = 0;
    switch (e.kind) {
    case 0: expected = 0x0010; break;   // worksheet or dialog sheet
    case 1: expected = 0x0040; break;   // macro sheet
    case 2: expected = 0x0020; break;   // chart
    case 6: expected = 0x0006; break;   // module
    default: break;
    }
    if (expected && bof->kind != expected)
        damaged(QStringLiteral("il foglio \"%1\" porta a una sezione di altro tipo (%2 invece di %3)")
                    .arg(e.name, xlsread::hex(bof->kind), xlsread::hex(expected)));
}

// The worksheets of the model, made in tab order before any is read. A name the model
// refuses ends the making; it is damage, said when the reading reaches that sheet (after
// the sheets before it, as when each sheet is made just before it is read).
void Reader::makeWorksheets()
{
    bool first = true;
    for (int tab = 0; tab < int(m_sheets.size()); ++tab) {
        SheetEntry &e = m_sheets[size_t(tab)];
        if (e.kind != 0)
            continue;
        try {
            // A new sheet under a name free for the moment, then the file's own name.
            Worksheet &sheet = first ? m_book.sheet(1) : m_book.appendSheet(QStringLiteral("\u0001"));
            sheet.restoreName(e.name);
            e.sheet = &sheet;
        } catch (const StoreError &err) {
            m_refusedTab = tab;
            m_refusal = QStringLiteral("nome di foglio non valido \"%1\": %2").arg(e.name, err.userMessage());
            return;
        }
        first = false;
    }
}

// Reads one worksheet from `rs`; true when it got cells.
bool Reader::readWorksheet(RecordStream &rs, const SheetEntry &e, int tab, const xlsread::SharedStrings &strings,
                           std::vector<xlsread::DeferredText> *deferred)
{
    if (tab == m_refusedTab)
        damaged(m_refusal);
    m_budget.charge(kSheetCost);
    xlsread::SheetReader reader(m_book, rs, *m_bx, m_budget, strings, e, tab);
    reader.deferTexts(deferred);
    reader.run();
    return reader.storedCells();
}

// The first tab of the worksheets a second thread reads while this one reads the tabs
// before: a run of worksheets at the end of the tab order, near half of the sheets' bytes.
// The tab count when the sheets are too small to share or a name was refused.
int Reader::secondThreadFrom() const
{
    constexpr qsizetype kSecondThreadBytes = qsizetype(1) << 20;
    const int n = int(m_sheets.size());
    if (m_refusedTab >= 0)
        return n;
    // Each substream runs up to the next one in the stream, the last up to its end.
    std::vector<qsizetype> starts{m_rs.streamSize()};
    for (const SheetEntry &e : m_sheets)
        starts.push_back(e.position);
    std::sort(starts.begin(), starts.end());
    auto length = [&starts](const SheetEntry &e) {
        return *std::upper_bound(starts.begin(), starts.end(), qsizetype(e.position)) - qsizetype(e.position);
    };
    qsizetype total = 0;
    for (const SheetEntry &e : m_sheets)
        total += length(e);
    int best = n;
    qsizetype suffix = 0, bestSuffix = 0;
    for (int tab = n - 1; tab >= 1 && m_sheets[size_t(tab)].kind == 0; --tab) {
        suffix += length(m_sheets[size_t(tab)]);
        if (best == n || std::abs(total - 2 * suffix) < std::abs(total - 2 * bestSuffix)) {
            best = tab;
            bestSuffix = suffix;
        }
    }
    return bestSuffix >= kSecondThreadBytes ? best : n;
}

Reader::SecondThread::SecondThread(Reader &reader, int from, const xlsread::SharedStrings &strings)
    : m_reader(reader), m_from(from)
{
    const int n = int(reader.m_sheets.size());
    if (from >= n)
        return;
    m_texts.resize(size_t(n - from));
    m_storedCells.resize(size_t(n - from), 0);
    try {
        m_thread = std::thread([this, n, &strings] {
            try {
                RecordStream rs(m_reader.m_rs, RecordStream::SecondReader{});
                for (int tab = m_from; tab < n; ++tab) {
                    const size_t i = size_t(tab - m_from);
                    m_storedCells[i] = m_reader.readWorksheet(rs, m_reader.m_sheets[size_t(tab)], tab, strings, &m_texts[i]);
                }
            } catch (...) {
                m_error = std::current_exception();
            }
        });
    } catch (const std::system_error &) {
        m_from = n;   // no thread to be had: this one reads them all
    }
}

Reader::SecondThread::~SecondThread()
{
    if (m_thread.joinable())
        m_thread.join();
}

void Reader::SecondThread::finish()
{
    m_thread.join();
    if (m_error)
        std::rethrow_exception(m_error);
    for (size_t i = 0; i < m_texts.size(); ++i) {
        xlsread::SheetReader::internTexts(m_reader.m_book, *m_reader.m_bx, *m_reader.m_sheets[size_t(m_from) + i].sheet,
                                          m_texts[i]);
        if (m_storedCells[i])
            m_reader.m_book.noteChange();
    }
}

void Reader::run()
{
    xlsread::GlobalsReader globals(m_book, m_rs, *m_bx, m_password);
    globals.run();
    m_sheets = std::move(globals.sheets);
    checkSheetEntries(globals.globalsEnd);

    // Sheets in tab order: worksheets become sheets of the model, the others are carried.
    int worksheets = 0;
    for (const SheetEntry &e : m_sheets)
        worksheets += e.kind == 0;
    if (worksheets == 0)
        throw StoreError(ErrorKind::Unsupported, QStringLiteral("Il file non contiene fogli di lavoro."), QString());

    m_book.styles = std::move(globals.styles);
    m_bx->sheetTabCount = int(m_sheets.size());
    makeWorksheets();
    SecondThread second(*this, secondThreadFrom(), globals.strings);
    int lastWorksheetTab = -1;
    for (int tab = 0; tab < int(m_sheets.size()); ++tab) {
        SheetEntry &e = m_sheets[size_t(tab)];
        if (tab == second.from()) {
            second.finish();
            break;
        }
        if (e.kind != 0) {
            otherSheet(e, tab, lastWorksheetTab, globals.strings);
            continue;
        }
        if (readWorksheet(m_rs, e, tab, globals.strings, nullptr))
            m_book.noteChange();
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
        case 0x15:                          // parentheses
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
            // Every area of a print area of several, joined as the programs show them.
            QStringList parts;
            for (const SheetArea &a : areas)
                parts << absoluteAddress(a.rect);
            ps.printArea = parts.join(u',');
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

void Reader::otherSheet(const SheetEntry &entry, int tab, int afterTab, const xlsread::SharedStrings &strings)
{
    OtherSheet other;
    other.boundSheet = entry.payload;
    other.originalTab = tab;
    other.afterTab = afterTab;
    m_rs.seek(entry.position);
    int depth = 0;
    const std::vector<uint32_t> &sst = strings.pool;
    while (m_rs.next()) {
        m_budget.charge(m_rs.size() + 48);
        other.records.push_back({m_rs.type(), m_rs.payload()});
        if (m_rs.type() == kLabelSst && depth == 1) {
            // The text's index in the string pool: the shared strings are rebuilt on save.
            QByteArray &data = other.records.back().data;
            if (data.size() >= 10) {
                uint8_t *p = reinterpret_cast<uint8_t *>(data.data());
                const uint32_t isst = u32(p + 6);
                put32(p + 6, isst < sst.size() ? sst[isst] : m_book.strings.intern(QString()));
            }
        }
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

// Whether a compound-file entry is the stream `name` at the top of the file, whatever the
// case of its name.
bool isTopStream(const CfbEntry &e, const char *name)
{
    return !e.storage && !e.path.contains(u'/') && e.path.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

std::unique_ptr<Workbook> readImage(const QByteArray &file, const QString &password)
{
    std::vector<CfbEntry> entries = cfb::read(file);
    // The workbook stream, found by name whatever its case: "Workbook" for BIFF8. Older
    // versions named it "Book", but some writers put BIFF8 records under that name too: its
    // first record tells the two apart.
    // A stream named exactly "Workbook" wins over one that differs only in case: a second
    // stream beside the real one must not stand in for it (nor for its password).
    auto find = [&entries](auto matches) -> CfbEntry * {
        for (CfbEntry &e : entries)
            if (matches(e))
                return &e;
        return nullptr;
    };
    CfbEntry *workbook = find([](const CfbEntry &e) { return !e.storage && e.path == QLatin1String("Workbook"); });
    if (!workbook)
        workbook = find([](const CfbEntry &e) { return isTopStream(e, "Workbook"); });
    if (!workbook)
        workbook = find([](const CfbEntry &e) { return isTopStream(e, "Book"); });
    if (!workbook)
        damaged(QStringLiteral("manca il flusso Workbook"));
    QByteArray stream = std::move(workbook->data);
    workbook->data = QByteArray();

    auto book = std::make_unique<Workbook>();
    book->protection = Protection();
    Reader reader(*book, std::move(stream), password);
    reader.run();
    book->structureEdits = makeStructureEdits();

    // The other streams go back into the file at the next save, except those that only an
    // encrypted file has or that the encryption hid.
    const bool encrypted = book->protection.kind != Protection::Kind::None;
    for (CfbEntry &e : entries) {
        if (isTopStream(e, "Workbook") || isTopStream(e, "Book") || isTopStream(e, "encryption"))
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
    auto book = readImage(readWholeFile(path), password);
    book->setPath(QFileInfo(path).absoluteFilePath());
    return book;
}

} // namespace store
