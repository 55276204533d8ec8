// Reading the globals substream of a BIFF8 workbook: protection, styles, the sheet entries,
// names and external references, the shared strings.

#include "store/xls/reader.h"

#include "store/xls/crypto.h"
#include "store/model/errors.h"

#include <algorithm>

namespace store::xlsread {

using namespace biff;

void damaged(const QString &detail)
{
    throw StoreError(ErrorKind::Damaged, QStringLiteral("Il file è danneggiato: non si riesce a leggere la cartella di lavoro."), detail);
}

QString hex(uint16_t v) { return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0')); }

void ReadBudget::exceeded() const
{
    damaged(QStringLiteral("aprirlo richiederebbe più di %1 MB per un flusso di %2 byte")
                .arg(m_total >> 20).arg(m_streamSize));
}

bool recordFits(const RecordStream &rs, bool mandatory)
{
    if (rs.size() >= minimumRecordSize(rs.type())) [[likely]]
        return true;
    if (mandatory)
        damaged(QStringLiteral("record %1 di %2 byte all'offset %3").arg(hex(rs.type())).arg(rs.size()).arg(rs.offset()));
    return false;
}

void GlobalsReader::checkBof()
{
    const std::optional<Bof> bof = m_rs.substreamAt(0);
    if (!bof)
        damaged(QStringLiteral("manca il record iniziale del flusso"));
    if (bof->version != 0x0600)
        throw StoreError(ErrorKind::Unsupported, QStringLiteral("Il formato .xls di questo file è troppo vecchio."),
                         QStringLiteral("versione BIFF %1").arg(hex(bof->version)));
    if (bof->kind != 0x0005)
        damaged(QStringLiteral("il flusso non inizia con la parte globale (tipo %1)").arg(hex(bof->kind)));
}

void GlobalsReader::run()
{
    checkBof();
    while (nextRecord())
        record(m_rs.type());
    completeStyles();
}

// Moves to the next record; false at the globals' EOF.
bool GlobalsReader::nextRecord()
{
    if (!m_rs.next())
        damaged(m_rs.truncated() ? QStringLiteral("record troncato dopo l'offset %1").arg(m_rs.offset())
                                 : QStringLiteral("manca la fine della parte globale"));
    if (m_rs.type() != kEof)
        return true;
    globalsEnd = m_rs.offset() + 4;
    return false;
}

void GlobalsReader::record(uint16_t type)
{
    if (styleRecord(type) || referenceRecord(type))
        return;
    switch (type) {
    case kFilePass:
        filePass();
        break;
    case kInterfaceHdr: case kMms: case kInterfaceEnd: case kWriteAccess: case kCodePage:
    case kDsf: case kTabId: case kExtSst: case 0x01C0 /* EXCEL9FILE */:
        break;   // written afresh
    case kUsesElfs:
        if (m_rs.size() >= 2)
            m_bx.usesElfs = u16(m_rs.data()) & 0x0001;
        break;
    case kWindow1:
        if (recordFits(m_rs, false)) {
            m_bx.window1 = m_rs.payload();
            activeTab = u16(m_rs.data() + 10);
        }
        m_place = Place::BookSettings;
        break;
    case kDateMode:
        if (recordFits(m_rs, false))
            m_book.date1904 = u16(m_rs.data()) != 0;
        break;
    case kBoundSheet:
        boundSheet();
        m_place = Place::BookSheets;
        break;
    case kCountry:
        m_place = Place::BookSheets;
        m_bx.records.push_back({m_place, type, m_rs.payload()});
        break;
    case kSst:
        if (recordFits(m_rs, true))
            sst();
        m_place = Place::BookTail;
        break;
    case kBof:
        damaged(QStringLiteral("inizio di sezione inatteso all'offset %1").arg(m_rs.offset()));
    default:
        m_bx.records.push_back({m_place, type, m_rs.payload()});
        break;
    }
}

// Fonts, number formats, cell formats and styles; false for any other record.
bool GlobalsReader::styleRecord(uint16_t type)
{
    switch (type) {
    case kFont:
        if (recordFits(m_rs, true))
            styles.fonts.push_back(m_rs.payload());
        break;
    case kFormat:
        format();
        break;
    case kXf:
        if (recordFits(m_rs, true) && styles.xfs.size() < 4050)
            styles.xfs.push_back(m_rs.payload().left(20));
        break;
    case kStyle:
        styles.styleRecords.push_back(m_rs.payload());
        break;
    default:
        return false;
    }
    m_place = Place::BookStyles;
    return true;
}

// External workbooks and sheets, and names; false for any other record.
bool GlobalsReader::referenceRecord(uint16_t type)
{
    switch (type) {
    case kSupBook: {
        if (!recordFits(m_rs, false))
            break;
        SupBook sb;
        sb.record = m_rs.joinContinues();
        sb.internal = sb.record.size() >= 4 && u16(reinterpret_cast<const uint8_t *>(sb.record.constData()) + 2) == 0x0401;
        m_bx.supBooks.push_back(std::move(sb));
        break;
    }
    case kExternName: case kXct: case kCrn:
        if (!m_bx.supBooks.empty()) {
            m_bx.supBooks.back().followers.push_back({type, m_rs.payload()});
            while (m_rs.peekType() == kContinue && m_rs.next())
                m_bx.supBooks.back().followers.push_back({kContinue, m_rs.payload()});
        }
        break;
    case kExternSheet:
        if (recordFits(m_rs, false))
            externSheet();
        break;
    case kName:
        if (recordFits(m_rs, false))
            name();
        break;
    default:
        return false;
    }
    m_place = Place::BookNames;
    return true;
}

void GlobalsReader::filePass()
{
    if (!recordFits(m_rs, true))
        return;
    // The protection belongs at the head of the file, once: records read before it would
    // be taken in clear, those after it decrypted.
    if (m_place != Place::BookHead || m_book.protection.kind != Protection::Kind::None)
        damaged(QStringLiteral("FILEPASS fuori posto all'offset %1").arg(m_rs.offset()));
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
    m_rs.decrypt(m_rs.offset() + 4 + m_rs.size(), std::move(cipher), kind != 0);
}

void GlobalsReader::format()
{
    if (!recordFits(m_rs, true))
        return;
    Cursor c = m_rs.cursor();
    const uint16_t id = c.u16();
    const QString code = c.string16();
    if (c.ok())
        styles.numberFormats[id] = code;
}

void GlobalsReader::boundSheet()
{
    if (!recordFits(m_rs, true))
        return;
    Cursor c = m_rs.cursor();
    SheetEntry e;
    e.position = c.u32();
    e.hidden = c.u8();
    e.kind = c.u8();
    e.name = c.string8();
    if (!c.ok())
        damaged(QStringLiteral("BOUNDSHEET illeggibile all'offset %1").arg(m_rs.offset()));
    e.payload = m_rs.payload();
    if (sheets.size() >= 4096)
        damaged(QStringLiteral("troppi fogli"));
    sheets.push_back(std::move(e));
}

void GlobalsReader::externSheet()
{
    const QByteArray all = m_rs.joinContinues();
    Cursor c(all);
    const int count = c.u16();
    if (count * 6 > c.left())
        damaged(QStringLiteral("EXTERNSHEET troncato"));
    m_bx.xtis.clear();
    for (int i = 0; i < count; ++i) {
        Xti x;
        x.supBook = c.u16();
        x.first = int16_t(c.u16());
        x.last = int16_t(c.u16());
        m_bx.xtis.push_back(x);
    }
}

void GlobalsReader::sst()
{
    std::vector<int> pieces;
    const QByteArray all = m_rs.joinContinues(&pieces);
    ContinuedReader r(all, pieces);
    r.u32();   // total references
    const uint32_t unique = r.u32();
    // Every string takes at least three bytes: the count cannot exceed what the data holds.
    const uint32_t bound = uint32_t(all.size() / 3);
    const uint32_t count = std::min(unique, bound);
    strings.pool.reserve(count);
    m_book.strings.reserve(m_book.strings.size() + count);
    RichText rich;
    for (uint32_t i = 0; i < count && r.ok() && !r.atEnd(); ++i) {
        QString s = r.string16(&rich);
        if (!r.ok())
            damaged(QStringLiteral("il testo condiviso %1 va oltre la tabella").arg(i));
        const uint32_t index = m_book.strings.intern(std::move(s));
        strings.pool.push_back(index);
        if (!rich.empty())
            m_bx.richTexts.try_emplace(index, std::move(rich));
    }
}

void GlobalsReader::name()
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
    if (m_bx.names.size() < 65535)
        m_bx.names.push_back(std::move(n));
}

void GlobalsReader::completeStyles()
{
    if (styles.fonts.empty())
        styles.fonts = Styles::makeDefault().fonts;
    if (styles.xfs.size() <= Styles::kDefaultCellXf) {
        // Too few formats to address the default cell format: complete them.
        const Styles defaults = Styles::makeDefault();
        for (size_t i = styles.xfs.size(); i < defaults.xfs.size(); ++i)
            styles.xfs.push_back(defaults.xfs[i]);
        if (styles.styleRecords.empty())
            styles.styleRecords = defaults.styleRecords;
    }
    // Font indexes of the formats must stay inside the font table.
    const uint16_t fontCount = uint16_t(styles.fonts.size());
    for (QByteArray &xf : styles.xfs) {
        const uint16_t font = u16(reinterpret_cast<const uint8_t *>(xf.constData()));
        const uint16_t position = font >= 4 ? uint16_t(font - 1) : font;
        if (position >= fontCount)
            put16(reinterpret_cast<uint8_t *>(xf.data()), 0);
    }
}

} // namespace store::xlsread
