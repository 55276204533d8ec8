#include "store/model/styles.h"

#include "store/model/bytes.h"
#include "store/model/errors.h"
#include "store/model/numformat.h"

#include <array>
#include <unordered_map>

namespace store {

namespace {

void putLe16(QByteArray &bytes, int offset, uint16_t value)
{
    le::put16(reinterpret_cast<uint8_t *>(bytes.data()) + offset, value);
}

uint16_t le16(const QByteArray &bytes, int offset)
{
    return le::u16(reinterpret_cast<const uint8_t *>(bytes.constData()) + offset);
}

// FONT payload: height in twips, option flags, colour index, weight, escapement, underline,
// family, character set, a reserved byte, then the name as a short unicode string.
QByteArray fontRecord(const QString &name, uint16_t twips)
{
    QByteArray bytes(14, '\0');
    putLe16(bytes, 0, twips);
    putLe16(bytes, 2, 0);        // not bold, italic, struck out
    putLe16(bytes, 4, 0x7FFF);   // the window text colour
    putLe16(bytes, 6, 400);      // normal weight
    bytes.append(char(name.size()));
    bytes.append('\0');          // compressed: one byte per character
    bytes.append(name.toLatin1());
    return bytes;
}

// XF payload. Bytes 4-5: locked, style flag, parent (0xFFF for style XFs); byte 6: bottom
// vertical alignment; byte 9: the attribute groups; bytes 18-19: the default fill colours
// (foreground 0x40, background 0x41).
QByteArray xfRecord(uint16_t font, uint16_t format, bool style, uint8_t usedAttributes)
{
    QByteArray bytes(20, '\0');
    putLe16(bytes, 0, font);
    putLe16(bytes, 2, format);
    putLe16(bytes, 4, style ? 0xFFF5 : 0x0001);
    bytes[6] = char(0x20);
    bytes[9] = char(usedAttributes);
    putLe16(bytes, 18, 0x20C0);
    return bytes;
}

// STYLE payload of a built-in style: the XF index with the built-in flag, the style number
// and its outline level (0xFF: none).
QByteArray builtinStyle(uint16_t xf, uint8_t styleNumber)
{
    QByteArray bytes(4, '\0');
    putLe16(bytes, 0, uint16_t(0x8000 | xf));
    bytes[2] = char(styleNumber);
    bytes[3] = char(0xFF);
    return bytes;
}

// The letters of a format code outside quotes, brackets and escapes, lower case, with
// "AM/PM" and "A/P" left out.
QString codeLetters(const QString &code)
{
    QString out;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"') {
            const qsizetype end = code.indexOf(u'"', i + 1);
            if (end < 0)
                break;
            i = end;
            out += u' ';
        } else if (c == u'[') {
            const qsizetype end = code.indexOf(u']', i + 1);
            if (end < 0)
                break;
            out += u' ';
            i = end;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
            out += u' ';
        } else if (QStringView(code).mid(i).startsWith(QLatin1String("AM/PM"), Qt::CaseInsensitive)) {
            i += 4;
            out += u' ';
        } else if (QStringView(code).mid(i).startsWith(QLatin1String("A/P"), Qt::CaseInsensitive)) {
            i += 2;
            out += u' ';
        } else {
            out += c.toLower();
        }
    }
    return out;
}

} // namespace

Styles Styles::makeDefault()
{
    Styles s;
    for (int i = 0; i < 5; ++i)
        s.fonts.push_back(fontRecord(QStringLiteral("Arial"), 200));

    // Style XFs 0-14: Normal, then the outline-level styles (fonts 1 and 2 for the first
    // pairs, as spreadsheets write them); only Normal carries every attribute.
    s.xfs.push_back(xfRecord(0, 0, true, 0x00));
    s.xfs.push_back(xfRecord(1, 0, true, 0xF4));
    s.xfs.push_back(xfRecord(1, 0, true, 0xF4));
    s.xfs.push_back(xfRecord(2, 0, true, 0xF4));
    s.xfs.push_back(xfRecord(2, 0, true, 0xF4));
    for (int i = 5; i < 15; ++i)
        s.xfs.push_back(xfRecord(0, 0, true, 0xF4));
    // XF 15: the default cell format, General, child of Normal.
    s.xfs.push_back(xfRecord(0, 0, false, 0x00));
    // XFs 16-20: the number-format styles Comma, Comma [0], Currency, Currency [0], Percent.
    s.xfs.push_back(xfRecord(1, 43, true, 0xF8));
    s.xfs.push_back(xfRecord(1, 41, true, 0xF8));
    s.xfs.push_back(xfRecord(1, 44, true, 0xF8));
    s.xfs.push_back(xfRecord(1, 42, true, 0xF8));
    s.xfs.push_back(xfRecord(1, 9, true, 0xF8));

    s.styleRecords.push_back(builtinStyle(16, 3));   // Comma
    s.styleRecords.push_back(builtinStyle(17, 6));   // Comma [0]
    s.styleRecords.push_back(builtinStyle(18, 4));   // Currency
    s.styleRecords.push_back(builtinStyle(19, 7));   // Currency [0]
    s.styleRecords.push_back(builtinStyle(0, 0));    // Normal
    s.styleRecords.push_back(builtinStyle(20, 5));   // Percent
    return s;
}

uint16_t Styles::formatId(uint16_t xf) const
{
    if (xf >= xfs.size() || xfs[xf].size() < 4)
        return 0;
    return le16(xfs[xf], 2);
}

const Styles::CodeInfo &Styles::info(uint16_t xf) const
{
    if (m_codes.size() != xfs.size() || m_codesFormats != numberFormats.size()) {
        m_codes.clear();
        m_codes.resize(xfs.size());
        m_codesFormats = numberFormats.size();
        // Decided once per format: many cell formats share one.
        std::unordered_map<uint16_t, size_t> firstWithId;
        for (size_t i = 0; i < xfs.size(); ++i) {
            const uint16_t id = formatId(uint16_t(i));
            const auto [seen, added] = firstWithId.try_emplace(id, i);
            if (!added) {
                m_codes[i] = m_codes[seen->second];
                continue;
            }
            const auto it = numberFormats.find(id);
            QString code = it != numberFormats.end() ? it->second : builtinFormat(id);
            if (code.isEmpty())
                code = QStringLiteral("General");
            m_codes[i].date = codeIsDate(code);
            m_codes[i].text = code == QLatin1String("@");
            m_codes[i].parsed = &NumberFormat::cached(code);
            m_codes[i].code = std::move(code);
        }
    }
    static const CodeInfo general{QStringLiteral("General"), false, false, &NumberFormat::cached(QStringLiteral("General"))};
    return xf < m_codes.size() ? m_codes[xf] : general;
}

QString Styles::formatCode(uint16_t xf) const
{
    return info(xf).code;
}

bool Styles::isDateFormat(uint16_t xf) const
{
    return info(xf).date;
}

bool Styles::isTextFormat(uint16_t xf) const
{
    return info(xf).text;
}

const NumberFormat &Styles::numberFormat(uint16_t xf) const
{
    return *info(xf).parsed;
}

uint16_t Styles::xfWithFormat(uint16_t baseXf, const QString &code)
{
    // Cells point at cell XFs: a style XF (or a bad index) as the base means the default.
    auto isCellXf = [this](size_t i) {
        return i < xfs.size() && xfs[i].size() >= 20 && (uint8_t(xfs[i][4]) & 0x04) == 0;
    };
    uint16_t base = baseXf;
    if (!isCellXf(base))
        base = isCellXf(kDefaultCellXf) ? kDefaultCellXf : 0;

    // The format id: a FORMAT record with this code, a built-in id, or a new custom id.
    std::optional<uint16_t> id;
    for (const auto &[fid, fcode] : numberFormats) {
        if (fcode == code) {
            id = fid;
            break;
        }
    }
    if (!id) {
        static constexpr std::array<uint16_t, 16> plainBuiltins{0, 1, 2, 3, 4, 9, 10, 11, 12, 13, 45, 46, 47, 48, 49, 20};
        for (uint16_t fid : plainBuiltins) {
            const QString builtin = builtinFormat(fid);
            if (builtin == code || (fid == 0 && code.compare(builtin, Qt::CaseInsensitive) == 0)) {
                if (!numberFormats.count(fid)) {
                    id = fid;
                    break;
                }
            }
        }
    }
    if (!id) {
        uint16_t next = 164;
        for (const auto &entry : numberFormats)
            if (entry.first >= next)
                next = uint16_t(entry.first + 1);
        if (next == 0xFFFF)
            throw StoreError(ErrorKind::Limit, QStringLiteral("Non è possibile aggiungere altri formati di numero."));
        numberFormats[next] = code;
        id = next;
    }

    if (!xfs.empty() && base < xfs.size() && formatId(base) == *id)
        return base;

    QByteArray wanted = xfs.empty() ? xfRecord(0, 0, false, 0) : xfs[base];
    if (wanted.size() < 20)
        wanted.resize(20, '\0');
    putLe16(wanted, 2, *id);
    wanted[9] = char(uint8_t(wanted[9]) | 0x04);   // the number format is the cell's own
    // An XF that differs only in the "own number format" flag shows the same.
    auto sameLook = [&wanted](const QByteArray &xf) {
        if (xf.size() != wanted.size())
            return false;
        for (qsizetype k = 0; k < xf.size(); ++k) {
            const uint8_t mask = k == 9 ? 0xFB : 0xFF;
            if ((uint8_t(xf[k]) & mask) != (uint8_t(wanted[k]) & mask))
                return false;
        }
        return true;
    };
    for (size_t i = 0; i < xfs.size(); ++i) {
        if (isCellXf(i) && sameLook(xfs[i]))
            return uint16_t(i);
    }
    if (xfs.size() >= 4050)
        throw StoreError(ErrorKind::Limit, QStringLiteral("Non è possibile aggiungere altri formati di cella."));
    xfs.push_back(wanted);
    return uint16_t(xfs.size() - 1);
}

bool Styles::codeIsDate(const QString &code)
{
    const QString letters = codeLetters(code);
    if (letters.contains(u'd') || letters.contains(u'y'))
        return true;
    // An "m" is a month unless it stands for minutes: right after an hour or before seconds.
    QChar previous;
    for (qsizetype i = 0; i < letters.size(); ++i) {
        const QChar c = letters[i];
        if (c == u'm') {
            qsizetype end = i;
            while (end < letters.size() && letters[end] == u'm')
                ++end;
            QChar next;
            for (qsizetype k = end; k < letters.size(); ++k) {
                if (letters[k] == u'h' || letters[k] == u's' || letters[k] == u'd' || letters[k] == u'y' || letters[k] == u'm') {
                    next = letters[k];
                    break;
                }
            }
            if (previous != u'h' && next != u's')
                return true;
            previous = u'm';
            i = end - 1;
        } else if (c == u'h' || c == u's') {
            previous = c;
        }
    }
    return false;
}

QString Styles::builtinFormat(uint16_t id)
{
    switch (id) {
    case 0: return QStringLiteral("General");
    case 1: return QStringLiteral("0");
    case 2: return QStringLiteral("0.00");
    case 3: return QStringLiteral("#,##0");
    case 4: return QStringLiteral("#,##0.00");
    case 5: return QStringLiteral("#,##0 \"€\";-#,##0 \"€\"");
    case 6: return QStringLiteral("#,##0 \"€\";[Red]-#,##0 \"€\"");
    case 7: return QStringLiteral("#,##0.00 \"€\";-#,##0.00 \"€\"");
    case 8: return QStringLiteral("#,##0.00 \"€\";[Red]-#,##0.00 \"€\"");
    case 9: return QStringLiteral("0%");
    case 10: return QStringLiteral("0.00%");
    case 11: return QStringLiteral("0.00E+00");
    case 12: return QStringLiteral("# ?/?");
    case 13: return QStringLiteral("# ?\?/??");
    // 14 and 22 follow the system's short date, which is day/month/year here.
    case 14: return QStringLiteral("dd/mm/yyyy");
    case 15: return QStringLiteral("d-mmm-yy");
    case 16: return QStringLiteral("d-mmm");
    case 17: return QStringLiteral("mmm-yy");
    case 18: return QStringLiteral("h:mm AM/PM");
    case 19: return QStringLiteral("h:mm:ss AM/PM");
    case 20: return QStringLiteral("h:mm");
    case 21: return QStringLiteral("h:mm:ss");
    case 22: return QStringLiteral("dd/mm/yyyy h:mm");
    case 37: return QStringLiteral("#,##0_);(#,##0)");
    case 38: return QStringLiteral("#,##0_);[Red](#,##0)");
    case 39: return QStringLiteral("#,##0.00_);(#,##0.00)");
    case 40: return QStringLiteral("#,##0.00_);[Red](#,##0.00)");
    case 41: return QStringLiteral("_-* #,##0_-;-* #,##0_-;_-* \"-\"_-;_-@_-");
    case 42: return QStringLiteral("_-* #,##0 \"€\"_-;-* #,##0 \"€\"_-;_-* \"-\" \"€\"_-;_-@_-");
    case 43: return QStringLiteral("_-* #,##0.00_-;-* #,##0.00_-;_-* \"-\"?\?_-;_-@_-");
    case 44: return QStringLiteral("_-* #,##0.00 \"€\"_-;-* #,##0.00 \"€\"_-;_-* \"-\"?\? \"€\"_-;_-@_-");
    case 45: return QStringLiteral("mm:ss");
    case 46: return QStringLiteral("[h]:mm:ss");
    case 47: return QStringLiteral("mm:ss.0");
    case 48: return QStringLiteral("##0.0E+0");
    case 49: return QStringLiteral("@");
    default: return QString();
    }
}

} // namespace store
