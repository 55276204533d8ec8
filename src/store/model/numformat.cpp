#include "store/model/numformat.h"

#include "store/model/italian.h"

#include <QHash>
#include <cmath>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace store {

namespace {

enum class Tok : uint8_t {
    Literal, Digit, Point, Group, Percent, Exponent,
    Day, Month, Year, Hour, Minute, Second, AmPm, Elapsed, SubSecond,
    General, TextAt,
};

struct Token {
    Tok kind;
    QString text;        // Literal; AmPm: "AM/PM" or "A/P"
    int count = 0;       // run length of a date letter, digits of a sub-second
    char placeholder = 0;  // Digit: '0', '#', '?'; Elapsed: 'h', 'm', 's'
    bool exponentPart = false;  // Digit after an exponent
    bool plus = false;          // Exponent: "E+"
};

struct Section {
    std::vector<Token> tokens;
    bool isDate = false;
    bool hasAmPm = false;
    bool hasText = false;
    bool hasGeneral = false;
    bool hasSubSecond = false;
};

const char *const kMonthShort[] = {"gen", "feb", "mar", "apr", "mag", "giu", "lug", "ago", "set", "ott", "nov", "dic"};
const char *const kMonthLong[] = {"gennaio", "febbraio", "marzo", "aprile", "maggio", "giugno", "luglio",
                                  "agosto", "settembre", "ottobre", "novembre", "dicembre"};
const char *const kDayShort[] = {"lun", "mar", "mer", "gio", "ven", "sab", "dom"};
const char *const kDayLong[] = {"lunedì", "martedì", "mercoledì", "giovedì", "venerdì", "sabato", "domenica"};

bool isDateKind(Tok k)
{
    switch (k) {
    case Tok::Day: case Tok::Month: case Tok::Year: case Tok::Hour: case Tok::Minute:
    case Tok::Second: case Tok::AmPm: case Tok::Elapsed: case Tok::SubSecond:
        return true;
    default:
        return false;
    }
}

void addLiteral(Section &s, const QString &text)
{
    if (!s.tokens.empty() && s.tokens.back().kind == Tok::Literal)
        s.tokens.back().text += text;
    else
        s.tokens.push_back({Tok::Literal, text});
}

// Reads a format code into its sections, token by token, in one pass.
class CodeParser {
public:
    explicit CodeParser(const QString &code) : m_code(code), m_n(code.size()) {}

    std::vector<Section> run()
    {
        for (m_i = 0; m_i < m_n; ++m_i) {
            const char16_t u = m_code[m_i].unicode();
            if (u == ';') {
                m_sections.emplace_back();
                m_afterExponent = false;
            } else if (!punctuation(u) && !placeholder(u) && !word()) {
                letter();
            }
        }
        for (Section &s : m_sections)
            markMinutes(s);
        return std::move(m_sections);
    }

private:
    Section &section() { return m_sections.back(); }
    bool startsWith(QLatin1String word) const
    {
        return QStringView(m_code).mid(m_i).startsWith(word, Qt::CaseInsensitive);
    }
    // The code's text up to `close` (or its end) after the current character; moves past it.
    QString upTo(char16_t close)
    {
        qsizetype end = m_code.indexOf(QChar(close), m_i + 1);
        if (end < 0)
            end = m_n;
        const QString inner = m_code.mid(m_i + 1, end - m_i - 1);
        m_i = end;
        return inner;
    }

    // Quotes, escapes, padding, fill and brackets.
    bool punctuation(char16_t u)
    {
        if (u == '"') {
            addLiteral(section(), upTo(u'"'));
        } else if (u == '\\') {
            if (m_i + 1 < m_n)
                addLiteral(section(), QString(m_code[++m_i]));
        } else if (u == '_') {
            ++m_i;
            addLiteral(section(), QStringLiteral(" "));
        } else if (u == '*') {
            ++m_i;   // fill character: nothing in a text
        } else if (u == '[') {
            bracket(upTo(u']'));
        } else {
            return false;
        }
        return true;
    }

    // [$€-410] gives its currency text, [h], [mm], [ss] elapsed time; colours and conditions
    // nothing.
    void bracket(const QString &inner)
    {
        if (inner.startsWith(u'$')) {
            const qsizetype dash = inner.indexOf(u'-');
            addLiteral(section(), inner.mid(1, dash < 0 ? -1 : dash - 1));
        } else if (!inner.isEmpty()) {
            const QChar l = inner[0].toLower();
            bool same = l == u'h' || l == u'm' || l == u's';
            for (QChar k : inner)
                same = same && k.toLower() == l;
            if (same)
                section().tokens.push_back({Tok::Elapsed, {}, int(inner.size()), char(l.unicode())});
        }
    }

    // Digits, the decimal point (or sub-seconds after seconds), grouping, percent, exponent,
    // the text placeholder.
    bool placeholder(char16_t u)
    {
        Section &s = section();
        if (u == '@') {
            s.tokens.push_back({Tok::TextAt});
            s.hasText = true;
        } else if (u == '0' || u == '#' || u == '?') {
            Token t{Tok::Digit};
            t.placeholder = char(u);
            t.exponentPart = m_afterExponent;
            s.tokens.push_back(t);
        } else if (u == '.') {
            point();
        } else if (u == ',') {
            s.tokens.push_back({Tok::Group});
        } else if (u == '%') {
            s.tokens.push_back({Tok::Percent});
        } else if ((u == 'E' || u == 'e') && m_i + 1 < m_n && (m_code[m_i + 1] == u'+' || m_code[m_i + 1] == u'-')) {
            Token t{Tok::Exponent};
            t.plus = m_code[m_i + 1] == u'+';
            s.tokens.push_back(t);
            m_afterExponent = true;
            ++m_i;
        } else {
            return false;
        }
        return true;
    }

    void point()
    {
        Section &s = section();
        if (!s.tokens.empty() && s.tokens.back().kind == Tok::Second && m_i + 1 < m_n && m_code[m_i + 1] == u'0') {
            int count = 0;
            while (m_i + 1 < m_n && m_code[m_i + 1] == u'0') {
                ++m_i;
                ++count;
            }
            s.tokens.push_back({Tok::SubSecond, {}, count});
            s.hasSubSecond = true;
        } else {
            s.tokens.push_back({Tok::Point});
        }
    }

    // "General", "AM/PM", "A/P".
    bool word()
    {
        Section &s = section();
        if (startsWith(QLatin1String("General"))) {
            s.tokens.push_back({Tok::General});
            s.hasGeneral = true;
            m_i += 6;
        } else if (startsWith(QLatin1String("AM/PM"))) {
            s.tokens.push_back({Tok::AmPm, QStringLiteral("AM/PM")});
            s.hasAmPm = true;
            m_i += 4;
        } else if (startsWith(QLatin1String("A/P"))) {
            s.tokens.push_back({Tok::AmPm, QStringLiteral("A/P")});
            s.hasAmPm = true;
            m_i += 2;
        } else {
            return false;
        }
        return true;
    }

    // A run of one date letter (d, m, y, h, s), or any other character as itself.
    void letter()
    {
        const QChar c = m_code[m_i];
        const QChar l = c.toLower();
        Tok kind = Tok::Literal;
        if (l == u'd') kind = Tok::Day;
        else if (l == u'm') kind = Tok::Month;
        else if (l == u'y') kind = Tok::Year;
        else if (l == u'h') kind = Tok::Hour;
        else if (l == u's') kind = Tok::Second;
        if (kind == Tok::Literal) {
            addLiteral(section(), QString(c));
            return;
        }
        int count = 1;
        while (m_i + 1 < m_n && m_code[m_i + 1].toLower() == l) {
            ++m_i;
            ++count;
        }
        section().tokens.push_back({kind, {}, count});
    }

    // A month run right after an hour, or right before seconds, is minutes.
    static void markMinutes(Section &s)
    {
        for (size_t k = 0; k < s.tokens.size(); ++k) {
            if (s.tokens[k].kind != Tok::Month)
                continue;
            Tok before = Tok::Literal, after = Tok::Literal;
            for (size_t b = k; b-- > 0;)
                if (isDateKind(s.tokens[b].kind) && s.tokens[b].kind != Tok::AmPm) { before = s.tokens[b].kind; break; }
            for (size_t a = k + 1; a < s.tokens.size(); ++a)
                if (isDateKind(s.tokens[a].kind) && s.tokens[a].kind != Tok::AmPm) { after = s.tokens[a].kind; break; }
            const bool hourBefore = before == Tok::Hour || (before == Tok::Elapsed);
            if (hourBefore || after == Tok::Second || after == Tok::SubSecond)
                s.tokens[k].kind = Tok::Minute;
        }
        for (const Token &t : s.tokens)
            s.isDate = s.isDate || isDateKind(t.kind);
    }

    const QString &m_code;
    const qsizetype m_n;
    qsizetype m_i = 0;
    bool m_afterExponent = false;
    std::vector<Section> m_sections = std::vector<Section>(1);
};

std::vector<Section> parseCode(const QString &code)
{
    return CodeParser(code).run();
}

// Appends a non-negative number with at least `digits` digits, without temporaries.
void appendNumber(QString &out, qint64 value, int digits = 1)
{
    char16_t buffer[24];
    int n = 0;
    do {
        buffer[n++] = char16_t(u'0' + value % 10);
        value /= 10;
    } while (value > 0 && n < 24);
    while (n < digits && n < 24)
        buffer[n++] = u'0';
    while (n > 0)
        out += QChar(buffer[--n]);
}

QString renderDate(const Section &s, double serial)
{
    if (serial < 0 || !std::isfinite(serial) || serial > 2958465.99999)
        return QStringLiteral("########");
    double days = std::floor(serial);
    const double dayFraction = serial - days;
    qint64 ms = std::llround(dayFraction * 86400000.0);
    if (!s.hasSubSecond)
        ms = ((ms + 500) / 1000) * 1000;
    if (ms >= 86400000) {
        days += 1;
        ms -= 86400000;
    }
    static const qint64 day0 = QDate(1899, 12, 30).toJulianDay();
    const QDate date = QDate::fromJulianDay(day0 + qint64(days));
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    const int hour = int(ms / 3600000), minute = int(ms / 60000 % 60), second = int(ms / 1000 % 60);
    const qint64 totalMs = qint64(days) * 86400000 + ms;

    QString out;
    out.reserve(24);
    for (const Token &t : s.tokens) {
        switch (t.kind) {
        case Tok::Literal: out += t.text; break;
        case Tok::Day:
            if (t.count <= 2) appendNumber(out, day, t.count);
            else if (t.count == 3) out += QString::fromUtf8(kDayShort[date.dayOfWeek() - 1]);
            else out += QString::fromUtf8(kDayLong[date.dayOfWeek() - 1]);
            break;
        case Tok::Month:
            if (t.count <= 2) appendNumber(out, month, t.count);
            else if (t.count == 3) out += QLatin1String(kMonthShort[month - 1]);
            else if (t.count == 4) out += QLatin1String(kMonthLong[month - 1]);
            else out += QLatin1Char(kMonthLong[month - 1][0]);
            break;
        case Tok::Year:
            if (t.count <= 2) appendNumber(out, year % 100, 2);
            else appendNumber(out, year, 4);
            break;
        case Tok::Hour: {
            int h = hour;
            if (s.hasAmPm) {
                h %= 12;
                if (h == 0) h = 12;
            }
            appendNumber(out, h, std::min(t.count, 2));
            break;
        }
        case Tok::Minute: appendNumber(out, minute, std::min(t.count, 2)); break;
        case Tok::Second: appendNumber(out, second, std::min(t.count, 2)); break;
        case Tok::SubSecond: {
            QString frac = QString::number(ms % 1000).rightJustified(3, u'0').left(t.count);
            out += u',' + frac;
            break;
        }
        case Tok::AmPm:
            if (t.text.size() == 3) out += hour < 12 ? u'A' : u'P';
            else out += hour < 12 ? QLatin1String("AM") : QLatin1String("PM");
            break;
        case Tok::Elapsed: {
            qint64 value = t.placeholder == 'h' ? totalMs / 3600000 : t.placeholder == 'm' ? totalMs / 60000 : totalMs / 1000;
            appendNumber(out, value, t.count);
            break;
        }
        default:
            break;
        }
    }
    return out;
}

// x >= 0 with `decimals` decimals as "123.45", rounded half away from zero on the 15
// significant digits a cell value carries (2.675 gives "2.68", 12.5 with none gives "13").
QString fixedDecimal(double x, int decimals)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", x);
    QByteArray digits;
    const char *p = buffer;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits += *p;
    int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    if (x == 0) {
        digits = "0";
        exponent = 0;
    }
    // digits d0 d1 ... stand for d0.d1... x 10^exponent; keep those down to 10^-decimals.
    const int keep = exponent + 1 + decimals;
    if (keep < 0) {
        digits = "0";
        exponent = 0;
    } else if (keep < digits.size()) {
        const bool up = digits[keep] >= '5';
        digits.truncate(keep);
        if (up) {
            int k = keep - 1;
            while (k >= 0 && digits[k] == '9') {
                digits[k] = '0';
                --k;
            }
            if (k >= 0) {
                digits[k] = char(digits[k] + 1);
            } else {
                digits.prepend('1');
                ++exponent;
            }
        }
        if (digits.isEmpty()) {
            digits = "0";
            exponent = 0;
        }
    }
    QByteArray whole, fraction;
    if (exponent >= 0) {
        whole = digits.left(exponent + 1);
        while (whole.size() < exponent + 1)
            whole += '0';
        fraction = digits.mid(exponent + 1);
    } else {
        whole = "0";
        fraction = QByteArray(-exponent - 1, '0') + digits;
    }
    while (fraction.size() < decimals)
        fraction += '0';
    fraction.truncate(decimals);
    QString out = QString::fromLatin1(whole);
    if (decimals > 0)
        out += u'.' + QString::fromLatin1(fraction);
    return out;
}

QString groupThousands(const QString &digits)
{
    QString out;
    const qsizetype n = digits.size();
    out.reserve(n + n / 3);
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += u'.';
        out += digits[i];
    }
    return out;
}

// Where a number section's placeholders are: integer part, decimals, exponent digits, and
// what the section does to the value (percent, thousands scaling, grouping).
struct NumberLayout {
    int intZeros = 0, intCount = 0, decZeros = 0, decCount = 0, expZeros = 0, percent = 0, scale = 0;
    bool grouping = false, hasExponent = false;
};

NumberLayout numberLayout(const Section &s)
{
    NumberLayout l;
    bool seenPoint = false;
    int lastIntDigit = -1;
    for (size_t k = 0; k < s.tokens.size(); ++k) {
        const Token &t = s.tokens[k];
        if (t.kind == Tok::Digit && !t.exponentPart && !seenPoint)
            lastIntDigit = int(k);
    }
    for (size_t k = 0; k < s.tokens.size(); ++k) {
        const Token &t = s.tokens[k];
        switch (t.kind) {
        case Tok::Digit:
            if (t.exponentPart) {
                l.expZeros += t.placeholder == '0';
            } else if (seenPoint) {
                ++l.decCount;
                l.decZeros += t.placeholder == '0';
            } else {
                ++l.intCount;
                l.intZeros += t.placeholder == '0';
            }
            break;
        case Tok::Point: seenPoint = seenPoint || !l.hasExponent; break;
        case Tok::Group:
            if (!seenPoint && int(k) < lastIntDigit && l.intCount > 0)
                l.grouping = true;
            else if (!seenPoint && int(k) > lastIntDigit && lastIntDigit >= 0)
                ++l.scale;
            break;
        case Tok::Percent: ++l.percent; break;
        case Tok::Exponent: l.hasExponent = true; break;
        default: break;
        }
    }
    return l;
}

// The digits a number section shows: integer part (padded and grouped), decimals (trailing
// zeros beyond the required ones dropped) and the exponent.
struct NumberParts {
    QString whole, fraction;
    int exponent = 0;
    double mantissa = 0;   // the value after the exponent is taken out
    bool allZero = true;   // everything shown is zero: no sign
};

// x divided by 10^exponent; in two steps near the ends of a double's range, where the power
// alone would overflow or vanish.
double unscaled(double x, int exponent)
{
    if (exponent > -300 && exponent < 300)
        return x / std::pow(10.0, exponent);
    const int half = exponent / 2;
    return x / std::pow(10.0, half) / std::pow(10.0, exponent - half);
}

// False when the value cannot be shown (not finite, before or after scaling).
bool numberParts(const NumberLayout &l, double x, NumberParts &p)
{
    if (l.hasExponent && x != 0) {
        p.exponent = int(std::floor(std::log10(x)));
        const int step = std::max(1, l.intCount);
        if (step > 1)
            p.exponent -= ((p.exponent % step) + step) % step;
        else
            p.exponent -= std::max(0, l.intCount - 1);
        x = unscaled(x, p.exponent);
    }
    if (!std::isfinite(x))
        return false;
    QString digits = fixedDecimal(x, l.decCount);
    if (l.hasExponent && l.intCount <= 1 && digits.startsWith(QLatin1String("10"))) {
        x /= 10;
        ++p.exponent;
        digits = fixedDecimal(x, l.decCount);
    }
    const qsizetype point = digits.indexOf(u'.');
    p.whole = point < 0 ? digits : digits.left(point);
    p.fraction = point < 0 ? QString() : digits.mid(point + 1);
    if (p.whole == QLatin1String("0") && l.intZeros == 0)
        p.whole.clear();
    if (p.whole.size() < l.intZeros)
        p.whole = p.whole.rightJustified(l.intZeros, u'0');
    if (l.grouping)
        p.whole = groupThousands(p.whole);
    while (p.fraction.size() > l.decZeros && p.fraction.endsWith(u'0'))
        p.fraction.chop(1);
    for (QChar ch : p.whole + p.fraction)
        if (ch.isDigit() && ch != u'0')
            p.allZero = false;
    p.mantissa = x;
    return true;
}

// The section's tokens with the parts in place of the placeholders.
QString assembleNumber(const Section &s, const NumberLayout &l, const NumberParts &p)
{
    QString out;
    bool wholeDone = false, fractionDone = false, pointDone = false, exponentDone = false;
    auto whole = [&] {
        if (!wholeDone)
            out += p.whole;
        wholeDone = true;
    };
    for (const Token &t : s.tokens) {
        switch (t.kind) {
        case Tok::Literal: out += t.text; break;
        case Tok::Digit:
            if (t.exponentPart) {
                if (!exponentDone)
                    out += QString::number(std::abs(p.exponent)).rightJustified(std::max(1, l.expZeros), u'0');
                exponentDone = true;
            } else if (!pointDone) {
                whole();
            } else if (!fractionDone) {
                out += p.fraction;
                fractionDone = true;
            }
            break;
        case Tok::Point:
            if (!pointDone) {
                whole();
                out += u',';
                pointDone = true;
            }
            break;
        case Tok::Percent: out += u'%'; break;
        case Tok::Exponent:
            out += u'E';
            if (p.exponent < 0) out += u'-';
            else if (t.plus) out += u'+';
            break;
        case Tok::General: out += generalNumberText(p.mantissa); break;
        default: break;
        }
    }
    return out;
}

// A value the spreadsheet programs cannot show as a number.
QString numError()
{
    return QStringLiteral("#NUM!");
}

QString renderNumber(const Section &s, double x, bool minus)
{
    const NumberLayout l = numberLayout(s);
    for (int p = 0; p < l.percent; ++p) x *= 100;
    for (int p = 0; p < l.scale; ++p) x /= 1000;
    NumberParts parts;
    if (!std::isfinite(x) || !numberParts(l, x, parts))
        return numError();
    QString out = assembleNumber(s, l, parts);
    if (minus && !parts.allZero)
        out.prepend(u'-');
    return out;
}

} // namespace

struct NumberFormat::Impl {
    std::vector<Section> sections;
    bool general = false;
};

NumberFormat::NumberFormat(const QString &code)
    : d(std::make_unique<Impl>())
{
    d->general = code.isEmpty() || code.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0;
    if (!d->general)
        d->sections = parseCode(code);
}

NumberFormat::~NumberFormat() = default;
NumberFormat::NumberFormat(NumberFormat &&) noexcept = default;
NumberFormat &NumberFormat::operator=(NumberFormat &&) noexcept = default;

bool NumberFormat::isGeneral() const
{
    return d->general;
}

QString NumberFormat::format(const Variant &value) const
{
    switch (value.type) {
    case Variant::Type::Empty:
        return QString();
    case Variant::Type::Boolean:
        return value.number != 0 ? QStringLiteral("VERO") : QStringLiteral("FALSO");
    case Variant::Type::Error:
        return errorText(value.error);
    case Variant::Type::Text: {
        if (d->general)
            return value.text;
        const Section *s = d->sections.size() >= 4 ? &d->sections[3]
                         : d->sections[0].hasText ? &d->sections[0] : nullptr;
        if (!s)
            return value.text;
        QString out;
        for (const Token &t : s->tokens) {
            if (t.kind == Tok::Literal) out += t.text;
            else if (t.kind == Tok::TextAt) out += value.text;
        }
        return out;
    }
    case Variant::Type::Number:
    case Variant::Type::Date:
        break;
    }
    const double v = value.number;
    if (d->general || (d->sections.size() == 1 && d->sections[0].hasText && !d->sections[0].isDate)) {
        if (value.type == Variant::Type::Date)
            return dateToText(v);
        return generalNumberText(v);
    }
    const size_t n = d->sections.size();
    const Section *s = &d->sections[0];
    bool minus = false;
    double x = v;
    if (v < 0 && n >= 2 && !d->sections[1].tokens.empty()) {
        s = &d->sections[1];
        x = -v;
    } else if (v == 0 && n >= 3 && !d->sections[2].tokens.empty()) {
        s = &d->sections[2];
    } else if (v < 0) {
        minus = true;
        x = -v;
    }
    if (s->isDate)
        return renderDate(*s, minus ? v : x);
    if (s->hasGeneral && s->tokens.size() == 1)
        return (minus ? QStringLiteral("-") : QString()) + generalNumberText(x);
    return renderNumber(*s, x, minus);
}

const NumberFormat &NumberFormat::cached(const QString &code)
{
    static std::mutex mutex;
    // Kept for the life of the program, and freed at its end (so leak checkers stay quiet).
    struct Cache {
        QHash<QString, NumberFormat *> formats;
        ~Cache() { qDeleteAll(formats); }
    };
    static Cache cache;
    std::lock_guard lock(mutex);
    auto it = cache.formats.constFind(code);
    if (it != cache.formats.constEnd())
        return **it;
    auto *parsed = new NumberFormat(code);
    cache.formats.insert(code, parsed);
    return *parsed;
}

int generalNumberChars(double value, char *out)
{
    if (!std::isfinite(value)) {
        std::memcpy(out, "#NUM!", 5);
        return 5;
    }
    const double a = std::fabs(value);
    if (a == 0 || (a < 1e11 && a == std::floor(a))) {
        // Whole numbers, the common case: digits only.
        auto whole = static_cast<long long>(value);
        const auto end = std::to_chars(out, out + 32, whole).ptr;
        return int(end - out);
    }
    char buffer[64];
    if (a >= 1e11 || a < 1e-5) {
        // Scientific: up to five decimals in the mantissa, trailing zeros dropped.
        const char *end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 5).ptr;
        const char *e = static_cast<const char *>(std::memchr(buffer, 'e', size_t(end - buffer)));
        int mantissaEnd = int(e - buffer);
        while (mantissaEnd > 0 && buffer[mantissaEnd - 1] == '0')
            --mantissaEnd;
        if (mantissaEnd > 0 && buffer[mantissaEnd - 1] == '.')
            --mantissaEnd;
        int n = 0;
        for (int k = 0; k < mantissaEnd; ++k)
            out[n++] = buffer[k] == '.' ? ',' : buffer[k];
        out[n++] = 'E';
        for (const char *k = e + 1; k < end; ++k)
            out[n++] = *k;
        return n;
    }
    const int intDigits = a < 1 ? 1 : int(std::floor(std::log10(a))) + 1;
    const int decimals = std::max(0, 10 - intDigits);
    const char *end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
    int len = int(end - buffer);
    if (std::memchr(buffer, '.', size_t(len))) {
        while (len > 0 && buffer[len - 1] == '0')
            --len;
        if (len > 0 && buffer[len - 1] == '.')
            --len;
    }
    if (len == 2 && buffer[0] == '-' && buffer[1] == '0') {
        out[0] = '0';
        return 1;
    }
    for (int k = 0; k < len; ++k)
        out[k] = buffer[k] == '.' ? ',' : buffer[k];
    return len;
}

QString generalNumberText(double value)
{
    char buffer[40];
    const int n = generalNumberChars(value, buffer);
    return QString::fromLatin1(buffer, n);
}

QString displayText(const Variant &value, const QString &code)
{
    return NumberFormat::cached(code).format(value);
}

} // namespace store
