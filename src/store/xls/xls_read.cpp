// Reading a BIFF8 workbook: the compound file, the Workbook stream (decrypted when it is
// protected), the globals, then every sheet substream found through BOUNDSHEET.

#include "store/xls/xls.h"

#include "store/xls/biff.h"
#include "store/xls/biffstream.h"
#include "store/xls/cfb.h"
#include "store/xls/crypto.h"
#include "store/model/errors.h"
#include "store/edit/structureedits.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace store {

namespace {

using namespace biff;

constexpr qint64 kMaxFileSize = qint64(1) << 30;

[[noreturn]] void damaged(const QString &detail)
{
    throw StoreError(ErrorKind::Damaged, QStringLiteral("Il file è danneggiato: non si riesce a leggere la cartella di lavoro."), detail);
}

QString hex(uint16_t v) { return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0')); }

struct SheetEntry {
    uint32_t position = 0;
    uint8_t hidden = 0;
    uint8_t kind = 0;       // 0 worksheet, 1 macro sheet, 2 chart, 6 module
    QString name;
    QByteArray payload;
    Worksheet *sheet = nullptr;
};

// The section of the text in a header or footer that starts with `code` ("&C").
QString headerSection(const QString &text, QChar which)
{
    // Sections start at "&L", "&C" or "&R"; "&&" is a literal ampersand.
    QString out;
    QChar current = u'C';   // text before any section code is centred
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'&' && i + 1 < text.size()) {
            const QChar n = text[i + 1].toUpper();
            if (n == u'L' || n == u'C' || n == u'R') {
                current = n;
                any = true;
                ++i;
                continue;
            }
            if (current == which) {
                out += c;
                out += text[i + 1];
            }
            ++i;
            continue;
        }
        if (current == which)
            out += c;
    }
    Q_UNUSED(any);
    return out;
}

class Reader {
public:
    Reader(Workbook &book, QByteArray stream, const QString &password)
        : m_book(book), m_rs(std::move(stream)), m_password(password) {}

    void run();

private:
    void globals();
    void parseSst();
    void parseName();
    void worksheet(SheetEntry &entry, int tab);
    void otherSheet(const SheetEntry &entry, int tab, int afterTab);
    void applyNames();
    bool requireSize(bool mandatory);
    bool shortRecord(bool mandatory);

    Workbook &m_book;
    RecordStream m_rs;
    QString m_password;
    std::shared_ptr<BiffExtras> m_bx = std::make_shared<BiffExtras>();
    std::vector<uint32_t> m_sst;
    std::vector<SheetEntry> m_sheets;
    int m_activeTab = 0;
    Styles m_styles;
};

// Checks the current record against the table of minimum sizes. A record the cell table
// needs is damage; a short settings record is only skipped.
inline bool Reader::requireSize(bool mandatory)
{
    if (m_rs.size() >= minimumRecordSize(m_rs.type())) [[likely]]
        return true;
    return shortRecord(mandatory);
}

bool Reader::shortRecord(bool mandatory)
{
    if (mandatory)
        damaged(QStringLiteral("record %1 di %2 byte all'offset %3").arg(hex(m_rs.type())).arg(m_rs.size()).arg(m_rs.offset()));
    return false;
}

void Reader::run()
{
    globals();

    // Sheets in tab order: worksheets become sheets of the model, the others are carried.
    int worksheets = 0;
    for (const SheetEntry &e : m_sheets)
        worksheets += e.kind == 0;
    if (worksheets == 0)
        throw StoreError(ErrorKind::Unsupported, QStringLiteral("Il file non contiene fogli di lavoro."), QString());

    m_book.styles = std::move(m_styles);
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
        worksheet(e, tab);
        lastWorksheetTab = tab;
    }
    applyNames();

    Worksheet *active = nullptr;
    if (m_activeTab >= 0 && m_activeTab < int(m_sheets.size()))
        active = m_sheets[size_t(m_activeTab)].sheet;
    m_book.setActiveSheet(active ? *active : m_book.sheet(1));
    m_book.extras = m_bx;
}

void Reader::globals()
{
    m_rs.seek(0);
    if (!m_rs.next() || m_rs.type() != kBof || m_rs.size() < 4)
        damaged(QStringLiteral("manca il record iniziale del flusso"));
    {
        Cursor c = m_rs.cursor();
        const uint16_t vers = c.u16();
        const uint16_t dt = c.u16();
        if (vers != 0x0600)
            throw StoreError(ErrorKind::Unsupported, QStringLiteral("Il formato .xls di questo file è troppo vecchio."),
                             QStringLiteral("versione BIFF %1").arg(hex(vers)));
        if (dt != 0x0005)
            damaged(QStringLiteral("il flusso non inizia con la parte globale (tipo %1)").arg(hex(dt)));
    }

    Place place = Place::BookHead;
    bool fontsSeen = false, xfsSeen = false;
    for (;;) {
        if (!m_rs.next())
            damaged(m_rs.truncated() ? QStringLiteral("record troncato dopo l'offset %1").arg(m_rs.offset())
                                     : QStringLiteral("manca la fine della parte globale"));
        const uint16_t type = m_rs.type();
        if (type == kEof)
            break;
        switch (type) {
        case kFilePass: {
            if (!requireSize(true))
                break;
            const QByteArray payload = m_rs.payload();
            std::unique_ptr<StreamCipher> cipher = openProtection(payload, m_password);
            const uint16_t kind = u16(m_rs.data());
            if (kind == 0)
                m_book.protection.kind = Protection::Kind::Xor;
            else if (m_rs.size() >= 4 && u16(m_rs.data() + 2) == 1)
                m_book.protection.kind = Protection::Kind::Rc4;
            else
                m_book.protection.kind = Protection::Kind::Rc4CryptoApi;
            m_book.protection.password = m_password;
            m_rs.decrypt(m_rs.offset() + 4 + m_rs.size(), *cipher, kind != 0);
            break;
        }
        case kInterfaceHdr: case kMms: case kInterfaceEnd: case kWriteAccess: case kCodePage:
        case kDsf: case kTabId: case kExtSst: case kUsesElfs: case 0x01C0 /* EXCEL9FILE */:
            break;   // written afresh
        case kWindow1:
            if (requireSize(false)) {
                m_bx->window1 = m_rs.payload();
                m_activeTab = u16(m_rs.data() + 10);
            }
            place = Place::BookSettings;
            break;
        case kDateMode:
            if (requireSize(false))
                m_book.date1904 = u16(m_rs.data()) != 0;
            break;
        case kFont:
            if (!requireSize(true))
                break;
            if (!fontsSeen) {
                m_styles.fonts.clear();
                fontsSeen = true;
            }
            m_styles.fonts.push_back(m_rs.payload());
            place = Place::BookStyles;
            break;
        case kFormat: {
            if (!requireSize(true))
                break;
            Cursor c = m_rs.cursor();
            const uint16_t id = c.u16();
            const QString code = c.string16();
            if (c.ok())
                m_styles.numberFormats[id] = code;
            place = Place::BookStyles;
            break;
        }
        case kXf:
            if (!requireSize(true))
                break;
            if (!xfsSeen) {
                m_styles.xfs.clear();
                m_styles.styleRecords.clear();
                xfsSeen = true;
            }
            if (m_styles.xfs.size() < 4050)
                m_styles.xfs.push_back(m_rs.payload().left(20));
            place = Place::BookStyles;
            break;
        case kStyle:
            if (!xfsSeen) {
                m_styles.styleRecords.clear();
                xfsSeen = true;
            }
            m_styles.styleRecords.push_back(m_rs.payload());
            place = Place::BookStyles;
            break;
        case kBoundSheet: {
            if (!requireSize(true))
                break;
            Cursor c = m_rs.cursor();
            SheetEntry e;
            e.position = c.u32();
            e.hidden = c.u8();
            e.kind = c.u8();
            e.name = c.string8();
            if (!c.ok())
                damaged(QStringLiteral("BOUNDSHEET illeggibile all'offset %1").arg(m_rs.offset()));
            e.payload = m_rs.payload();
            if (m_sheets.size() >= 4096)
                damaged(QStringLiteral("troppi fogli"));
            m_sheets.push_back(std::move(e));
            place = Place::BookSheets;
            break;
        }
        case kCountry:
            place = Place::BookSheets;
            m_bx->records.push_back({place, type, m_rs.payload()});
            break;
        case kSupBook: {
            if (!requireSize(false))
                break;
            SupBook sb;
            sb.record = m_rs.joinContinues();
            sb.internal = sb.record.size() >= 4 && u16(reinterpret_cast<const uint8_t *>(sb.record.constData()) + 2) == 0x0401;
            m_bx->supBooks.push_back(std::move(sb));
            place = Place::BookNames;
            break;
        }
        case kExternName: case kXct: case kCrn:
            if (!m_bx->supBooks.empty()) {
                m_bx->supBooks.back().followers.push_back({type, m_rs.payload()});
                while (m_rs.peekType() == kContinue && m_rs.next())
                    m_bx->supBooks.back().followers.push_back({kContinue, m_rs.payload()});
            }
            place = Place::BookNames;
            break;
        case kExternSheet: {
            if (!requireSize(false))
                break;
            const QByteArray all = m_rs.joinContinues();
            Cursor c(all);
            const int count = c.u16();
            if (count * 6 > c.left())
                damaged(QStringLiteral("EXTERNSHEET troncato"));
            m_bx->xtis.clear();
            for (int i = 0; i < count; ++i) {
                Xti x;
                x.supBook = c.u16();
                x.first = int16_t(c.u16());
                x.last = int16_t(c.u16());
                m_bx->xtis.push_back(x);
            }
            place = Place::BookNames;
            break;
        }
        case kName:
            if (requireSize(false))
                parseName();
            place = Place::BookNames;
            break;
        case kSst:
            if (requireSize(true))
                parseSst();
            place = Place::BookTail;
            break;
        case kBof:
            damaged(QStringLiteral("inizio di sezione inatteso all'offset %1").arg(m_rs.offset()));
        default:
            m_bx->records.push_back({place, type, m_rs.payload()});
            break;
        }
    }

    if (m_styles.fonts.empty())
        m_styles.fonts = Styles::makeDefault().fonts;
    if (m_styles.xfs.size() <= Styles::kDefaultCellXf) {
        // Too few formats to address the default cell format: complete them.
        const Styles defaults = Styles::makeDefault();
        for (size_t i = m_styles.xfs.size(); i < defaults.xfs.size(); ++i)
            m_styles.xfs.push_back(defaults.xfs[i]);
        if (m_styles.styleRecords.empty())
            m_styles.styleRecords = defaults.styleRecords;
    }
    // Font indexes of the formats must stay inside the font table.
    const uint16_t fontCount = uint16_t(m_styles.fonts.size());
    for (QByteArray &xf : m_styles.xfs) {
        uint16_t font = u16(reinterpret_cast<const uint8_t *>(xf.constData()));
        const uint16_t position = font >= 4 ? uint16_t(font - 1) : font;
        if (position >= fontCount) {
            put16(reinterpret_cast<uint8_t *>(xf.data()), 0);
        }
    }
}

void Reader::parseSst()
{
    std::vector<int> pieces;
    const QByteArray all = m_rs.joinContinues(&pieces);
    ContinuedReader r(all, pieces);
    r.u32();   // total references
    const uint32_t unique = r.u32();
    // Every string takes at least three bytes: the count cannot exceed what the data holds.
    const uint32_t bound = uint32_t(all.size() / 3);
    const uint32_t count = std::min(unique, bound);
    m_sst.reserve(count);
    m_book.strings.reserve(m_book.strings.size() + count);
    for (uint32_t i = 0; i < count && r.ok() && !r.atEnd(); ++i) {
        const QString s = r.string16();
        m_sst.push_back(m_book.strings.intern(s));
    }
}

void Reader::parseName()
{
    const QByteArray all = m_rs.joinContinues();
    Cursor c(all);
    const uint16_t flags = c.u16();
    c.u8();   // keyboard shortcut
    const int nameLength = c.u8();
    c.u16();  // formula size
    c.u16();
    const int tab = c.u16();
    c.skip(4);
    NameRecord n;
    n.record = all;
    n.sheet = tab;
    if (flags & 0x0020) {
        // Built-in names store their one-character code as the name.
        const QString name = c.stringNoCount(nameLength);
        // The codes are below 0x100 (values above mark names rebuilt on save).
        if (c.ok() && !name.isEmpty() && name.at(0).unicode() < 0x100)
            n.builtin = name.at(0).unicode();
    }
    if (m_bx->names.size() < 65535)
        m_bx->names.push_back(std::move(n));
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

double rkValue(uint32_t rk)
{
    double v;
    if (rk & 0x02) {
        v = double(int32_t(rk) >> 2);
    } else {
        const uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 0x01) ? v / 100.0 : v;
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

void Reader::worksheet(SheetEntry &entry, int tab)
{
    Worksheet &sheet = *entry.sheet;
    auto bx = std::make_shared<BiffExtras>();
    bx->originalTab = tab;
    bx->hiddenState = entry.hidden;
    sheet.extras = bx;
    PageSetup &ps = sheet.pageSetup();
    SheetView &view = sheet.view();
    const uint16_t xfCount = uint16_t(m_book.styles.xfs.size());
    const uint32_t sstCount = uint32_t(m_sst.size());

    m_rs.seek(entry.position);
    if (!m_rs.next() || m_rs.type() != kBof || m_rs.size() < 4)
        damaged(QStringLiteral("il foglio \"%1\" non inizia dove indicato").arg(entry.name));

    auto xfOf = [&](uint16_t xf) -> uint16_t { return xf < xfCount ? xf : Styles::kDefaultCellXf; };
    // Cells of one row are gathered and stored together, the rightmost first, so that the
    // row's storage is sized once instead of growing cell by cell.
    struct Pending { int row; int col; Cell cell; };
    std::vector<Pending> pending;
    pending.reserve(256);
    auto &rowStore = sheet.rowsStorage();
    auto flush = [&] {
        if (pending.empty())
            return;
        int widest = 0;
        for (const Pending &p : pending)
            widest = std::max(widest, p.col);
        const size_t row = size_t(pending.front().row);
        if (rowStore.size() <= row)
            rowStore.resize(row + 1);
        std::vector<Cell> &cells = rowStore[row].cells;
        if (cells.size() <= size_t(widest))
            cells.resize(size_t(widest) + 1);
        for (const Pending &p : pending) {
            Cell &target = cells[size_t(p.col)];
            target = p.cell;
            target.flags |= Cell::kWritten;
        }
        pending.clear();
        m_book.noteChange();
    };
    auto put = [&](int row, int col, const Cell &cell) {
        if (row >= kMaxRows || col >= kMaxColumns)
            return;
        if (!pending.empty() && (pending.back().row != row || pending.size() >= 1024))
            flush();
        pending.push_back({row, col, cell});
    };

    Place place = Place::SheetHead;
    bool frozen = false;
    int paneX = 0, paneY = 0, activePane = 3;
    struct Sel { RangeRect rect; CellAddress active; };
    std::map<int, Sel> selections;
    bool fitToPage = false;
    std::optional<int> scale;
    int64_t pendingString = -1;    // formula waiting for its STRING record
    int64_t lastFormula = -1;
    int depth = 1;                 // nested substreams (embedded charts) are carried whole

    for (;;) {
        if (!m_rs.next())
            damaged(QStringLiteral("il foglio \"%1\" è troncato").arg(entry.name));
        const uint16_t type = m_rs.type();
        if (depth > 1) {
            bx->records.push_back({place, type, m_rs.payload()});
            if (type == kBof)
                ++depth;
            else if (type == kEof)
                --depth;
            continue;
        }
        if (type == kEof) {
            flush();
            break;
        }
        const uint8_t *d = m_rs.data();
        const int n = m_rs.size();
        switch (type) {
        case kBof:
            ++depth;
            bx->records.push_back({place, type, m_rs.payload()});
            break;
        case kIndex: case kDbCell:
            break;
        case kCalcMode: case kCalcCount: case kRefMode: case kIteration: case kDelta:
        case kSaveRecalc: case kGridSet: case kGuts:
            bx->records.push_back({place, type, m_rs.payload()});
            break;
        case kPrintHeaders:
            if (requireSize(false)) ps.printHeadings = u16(d) != 0;
            break;
        case kPrintGridlines:
            if (requireSize(false)) ps.printGridlines = u16(d) != 0;
            break;
        case kDefaultRowHeight:
            if (requireSize(false) && u16(d + 2) > 0 && u16(d + 2) < 8192)
                sheet.setDefaultRowHeight(u16(d + 2) / 20.0);
            place = Place::SheetBreaks;
            break;
        case kWsBool:
            if (requireSize(false)) {
                bx->wsBool = u16(d);
                fitToPage = bx->wsBool & 0x0100;
            }
            place = Place::SheetBreaks;
            break;
        case kHeader:
            if (n > 0) {
                Cursor c = m_rs.cursor();
                const QString text = c.string16();
                if (c.ok()) {
                    bx->header = text;
                    ps.centerHeader = headerSection(text, u'C');
                }
            }
            place = Place::SheetPrinter;
            break;
        case kFooter:
            bx->footer = m_rs.payload();
            place = Place::SheetPrinter;
            break;
        case kHCenter:
            if (requireSize(false)) ps.centerHorizontally = u16(d) != 0;
            place = Place::SheetPrinter;
            break;
        case kVCenter:
            if (requireSize(false)) ps.centerVertically = u16(d) != 0;
            place = Place::SheetPrinter;
            break;
        case kLeftMargin: case kRightMargin: case kTopMargin: case kBottomMargin:
            if (requireSize(false)) {
                const double inches = f64(d);
                if (std::isfinite(inches) && inches >= 0 && inches < 100) {
                    const double points = inches * 72.0;
                    if (type == kLeftMargin) ps.leftMargin = points;
                    else if (type == kRightMargin) ps.rightMargin = points;
                    else if (type == kTopMargin) ps.topMargin = points;
                    else ps.bottomMargin = points;
                }
            }
            place = Place::SheetPrinter;
            break;
        case kSetup:
            if (requireSize(false)) {
                bx->setup = m_rs.payload();
                const uint16_t flags = u16(d + 10);
                const bool noPrinter = flags & 0x0004;
                if (!noPrinter) {
                    if (u16(d) > 0)
                        ps.paperSize = u16(d);
                    const int s = u16(d + 2);
                    if (s > 0)
                        scale = std::clamp(s, 10, 400);
                    if (!(flags & 0x0040))
                        ps.orientation = (flags & 0x0002) ? Orientation::Portrait : Orientation::Landscape;
                    if (u16(d + 12) > 0)
                        ps.printQuality = u16(d + 12);
                }
                ps.fitToPagesWide = u16(d + 6);
                ps.fitToPagesTall = u16(d + 8);
                ps.overThenDown = flags & 0x0001;
                ps.blackAndWhite = flags & 0x0008;
                ps.draft = flags & 0x0010;
                ps.printComments = flags & 0x0020;
                ps.printErrors = (flags >> 10) & 0x03;
                if (flags & 0x0080)
                    ps.firstPageNumber = int(int16_t(u16(d + 4)));
                else
                    ps.firstPageNumber.reset();
                const double hdr = f64(d + 16), ftr = f64(d + 24);
                if (std::isfinite(hdr) && hdr >= 0 && hdr < 100)
                    ps.headerMargin = hdr * 72.0;
                if (std::isfinite(ftr) && ftr >= 0 && ftr < 100)
                    ps.footerMargin = ftr * 72.0;
            }
            place = Place::SheetPage;
            break;
        case kDefColWidth:
            if (requireSize(false)) {
                const int chars = std::min<int>(u16(d), 255);
                // Excel-style widths: the characters plus 5 pixels of padding, rounded up to
                // a multiple of 8 pixels, in a 7-pixel digit width.
                const int pixels = (chars * 7 + 5 + 7) / 8 * 8;
                sheet.setDefaultColumnWidth(std::round((pixels - 5) / 7.0 * 100) / 100);
            }
            place = Place::SheetColumns;
            break;
        case kColInfo: {
            if (!requireSize(false))
                break;
            const int first = u16(d), last = std::min<int>(u16(d + 2), kMaxColumns - 1);
            const int width = u16(d + 4);
            const uint16_t xf = xfOf(u16(d + 6));
            const uint16_t flags = u16(d + 8);
            for (int col = first; col <= last; ++col) {
                if (flags & 0x0001 || width == 0)
                    bx->columnFlags[col + 1] = flags | 0x0001;
                else {
                    if (flags & 0x1F06)
                        bx->columnFlags[col + 1] = flags;
                    sheet.setColumnWidth(col + 1, std::max(0.0, std::round((width / 256.0 - 5.0 / 7.0) * 100) / 100));
                }
                if (xf != Styles::kDefaultCellXf && xf != 0)
                    sheet.setColumnXf(col + 1, xf);
            }
            place = Place::SheetColumns;
            break;
        }
        case kDimensions:
            // The rows the sheet says it uses: their storage is made room for once.
            if (n >= 14 && rowStore.empty())
                rowStore.reserve(std::min<uint32_t>(u32(d + 4), kMaxRows));
            place = Place::SheetCells;
            break;
        case kRow:
            if (requireSize(true)) {
                const int row = u16(d);
                const int height = u16(d + 6) & 0x7FFF;
                const uint16_t flags = u16(d + 12);
                if ((flags & 0x0040) && height > 0 && row < kMaxRows)
                    sheet.setRowHeight(row + 1, height / 20.0);
            }
            place = Place::SheetCells;
            break;
        case kNumber:
            if (requireSize(true)) {
                Cell c;
                c.kind = CellKind::Number;
                c.xf = xfOf(u16(d + 4));
                c.number = f64(d + 6);
                put(u16(d), u16(d + 2), c);
            }
            place = Place::SheetCells;
            break;
        case kRk:
            if (requireSize(true)) {
                Cell c;
                c.kind = CellKind::Number;
                c.xf = xfOf(u16(d + 4));
                c.number = rkValue(u32(d + 6));
                put(u16(d), u16(d + 2), c);
            }
            place = Place::SheetCells;
            break;
        case kMulRk:
            if (requireSize(true)) {
                const int row = u16(d);
                const int first = u16(d + 2);
                const int count = (n - 6) / 6;
                for (int i = 0; i < count && first + i < kMaxColumns; ++i) {
                    Cell c;
                    c.kind = CellKind::Number;
                    c.xf = xfOf(u16(d + 4 + 6 * i));
                    c.number = rkValue(u32(d + 6 + 6 * i));
                    put(row, first + i, c);
                }
            }
            place = Place::SheetCells;
            break;
        case kLabelSst:
            if (requireSize(true)) {
                const uint32_t isst = u32(d + 6);
                Cell c;
                c.kind = CellKind::Text;
                c.xf = xfOf(u16(d + 4));
                c.ref = isst < sstCount ? m_sst[isst] : m_book.strings.intern(QString());
                put(u16(d), u16(d + 2), c);
            }
            place = Place::SheetCells;
            break;
        case kLabel: case kRString:
            if (requireSize(true)) {
                Cursor cur = m_rs.cursor();
                const int row = cur.u16(), col = cur.u16();
                Cell c;
                c.kind = CellKind::Text;
                c.xf = xfOf(cur.u16());
                const QString text = cur.string16();
                if (!cur.ok())
                    damaged(QStringLiteral("testo illeggibile all'offset %1").arg(m_rs.offset()));
                c.ref = m_book.strings.intern(text);
                put(row, col, c);
            }
            place = Place::SheetCells;
            break;
        case kBoolErr:
            if (requireSize(true)) {
                Cell c;
                c.xf = xfOf(u16(d + 4));
                c.kind = d[7] ? CellKind::Error : CellKind::Boolean;
                c.number = c.kind == CellKind::Boolean ? (d[6] ? 1 : 0) : d[6];
                put(u16(d), u16(d + 2), c);
            }
            place = Place::SheetCells;
            break;
        case kBlank:
            if (requireSize(true)) {
                Cell c;
                c.xf = xfOf(u16(d + 4));
                put(u16(d), u16(d + 2), c);
            }
            place = Place::SheetCells;
            break;
        case kMulBlank:
            if (requireSize(true)) {
                const int row = u16(d), first = u16(d + 2);
                const int count = (n - 6) / 2;
                for (int i = 0; i < count && first + i < kMaxColumns; ++i) {
                    Cell c;
                    c.xf = xfOf(u16(d + 4 + 2 * i));
                    put(row, first + i, c);
                }
            }
            place = Place::SheetCells;
            break;
        case kFormula:
            if (requireSize(true)) {
                const int row = u16(d), col = u16(d + 2);
                Formula f;
                f.record = QByteArray(reinterpret_cast<const char *>(d + 6), n - 6);
                Cell c;
                c.flags = Cell::kFormula;
                c.xf = xfOf(u16(d + 4));
                pendingString = -1;
                if (u16(d + 12) == 0xFFFF) {
                    switch (d[6]) {
                    case 0: c.kind = CellKind::Text; break;   // the STRING record follows
                    case 1: c.kind = CellKind::Boolean; c.number = d[8] ? 1 : 0; break;
                    case 2: c.kind = CellKind::Error; c.number = d[8]; break;
                    default: c.kind = CellKind::Text; break;  // an empty text
                    }
                } else {
                    c.kind = CellKind::Number;
                    c.number = f64(d + 6);
                }
                c.ref = uint32_t(sheet.formulas().size());
                if (c.kind == CellKind::Text && d[6] == 0)
                    pendingString = c.ref;
                lastFormula = c.ref;
                sheet.formulas().push_back(std::move(f));
                put(row, col, c);
            }
            place = Place::SheetCells;
            break;
        case kString: {
            std::vector<int> pieces;
            const QByteArray all = m_rs.joinContinues(&pieces);
            if (pendingString >= 0) {
                ContinuedReader r(all, pieces);
                Formula &f = sheet.formulas()[size_t(pendingString)];
                f.cachedText = r.string16();
                f.stringRecord = all;
                pendingString = -1;
            }
            break;
        }
        case kShrFmla: case kArray: case kTable:
            if (lastFormula >= 0) {
                auto &list = bx->formulaFollowers[uint32_t(lastFormula)];
                list.push_back({type, m_rs.payload()});
                while (m_rs.peekType() == kContinue && m_rs.next())
                    list.push_back({kContinue, m_rs.payload()});
            }
            break;
        case kWindow2:
            if (requireSize(false)) {
                bx->window2 = m_rs.payload();
                frozen = u16(d) & 0x0008;
            }
            place = Place::SheetWindow;
            break;
        case kPane:
            if (requireSize(false)) {
                paneX = u16(d);
                paneY = u16(d + 2);
                activePane = d[8] & 0x03;
            }
            place = Place::SheetTail;
            break;
        case kSelection:
            if (requireSize(false)) {
                Cursor c = m_rs.cursor();
                const int pane = c.u8();
                const int row = c.u16(), col = c.u16();
                const int which = c.u16();
                const int count = c.u16();
                Sel s;
                s.active = {std::min(row, kMaxRows - 1) + 1, std::min(col, kMaxColumns - 1) + 1};
                s.rect = {s.active.row, s.active.column, s.active.row, s.active.column};
                for (int i = 0; i < count && c.left() >= 6; ++i) {
                    const int r1 = c.u16(), r2 = c.u16(), c1 = c.u8(), c2 = c.u8();
                    if (i == which && r1 <= r2 && c1 <= c2 && r2 < kMaxRows)
                        s.rect = {r1 + 1, c1 + 1, r2 + 1, c2 + 1};
                }
                selections[pane] = s;
            }
            place = Place::SheetTail;
            break;
        case kContinue:
        default:
            bx->records.push_back({place, type, m_rs.payload()});
            break;
        }
    }

    ps.zoom = fitToPage ? std::optional<int>() : std::optional<int>(scale.value_or(100));
    if (frozen && (paneX > 0 || paneY > 0)) {
        view.frozen = true;
        view.frozenAt = {std::min(paneY, kMaxRows - 1) + 1, std::min(paneX, kMaxColumns - 1) + 1};
    }
    auto sel = selections.find(view.frozen ? activePane : 3);
    if (sel == selections.end() && !selections.empty())
        sel = selections.begin();
    if (sel != selections.end()) {
        view.selection = sel->second.rect;
        view.activeCell = sel->second.active;
    }
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
    book->structureEdits = makeStructureEdits();

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
