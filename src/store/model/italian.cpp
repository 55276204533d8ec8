#include "store/model/italian.h"

#include <QRegularExpression>
#include <charconv>
#include <climits>
#include <cmath>

namespace store {

namespace {

const QDate &epoch()
{
    static const QDate day0(1899, 12, 30);
    return day0;
}

// Digits with an optional Italian grouping ("1.234.567"), an optional decimal comma and an
// optional exponent. At least one digit somewhere before the exponent.
const QRegularExpression &numberPattern()
{
    static const QRegularExpression re(QStringLiteral(
        "^([+-])?(\\d{1,3}(?:\\.\\d{3})+|\\d*)(?:,(\\d*))?(?:[eE]([+-]?\\d{1,3}))?$"));
    return re;
}

// The number a person types in Italian conventions; nullopt when the text is not one.
std::optional<double> parseItalianNumber(const QString &raw)
{
    const QString text = raw.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const auto m = numberPattern().match(text);
    if (!m.hasMatch())
        return std::nullopt;
    QString whole = m.captured(2);
    const QString fraction = m.captured(3);
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;
    whole.remove(u'.');
    QString plain = whole.isEmpty() ? QStringLiteral("0") : whole;
    if (!fraction.isEmpty())
        plain += u'.' + fraction;
    if (m.capturedLength(4) > 0)
        plain += u'e' + m.captured(4);
    bool ok = false;
    double value = plain.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    if (m.captured(1) == QLatin1String("-"))
        value = -value;
    if (value == 0)
        value = 0;   // no negative zero
    return value;
}

} // namespace

double dateToSerial(const QDate &date, const QTime &time)
{
    double serial = double(epoch().daysTo(date));
    if (time.isValid())
        serial += time.msecsSinceStartOfDay() / 86400000.0;
    return serial;
}

QDateTime serialToDateTime(double serial)
{
    if (!std::isfinite(serial) || std::fabs(serial) > 3e6)
        return {};
    double days = std::floor(serial);
    qint64 seconds = std::llround((serial - days) * 86400.0);
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    return QDateTime(epoch().addDays(qint64(days)), QTime(0, 0).addSecs(int(seconds)));
}

QString numberToText(double value)
{
    if (std::isnan(value))
        return QString();
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("1,#INF") : QStringLiteral("-1,#INF");
    if (value == 0)
        return QStringLiteral("0");
    char buffer[40];
    const char *end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15).ptr;
    QString text(end - buffer, Qt::Uninitialized);
    QChar *out = text.data();
    for (const char *p = buffer; p < end; ++p)
        *out++ = QLatin1Char(*p == '.' ? ',' : *p == 'e' ? 'E' : *p);
    return text;
}

QString dateToText(double serial)
{
    if (!std::isfinite(serial) || std::fabs(serial) > 3e6)
        return numberToText(serial);
    double days = std::floor(serial);
    qint64 seconds = std::llround((serial - days) * 86400.0);
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    const QDate date = QDate::fromJulianDay(epoch().toJulianDay() + qint64(days));
    // Built by hand: this runs for every date cell of a list.
    QString text(seconds ? 19 : 10, u'0');
    QChar *out = text.data();
    auto put = [&out](int value, int digits) {
        for (int k = digits - 1; k >= 0; --k) {
            out[k] = QChar(u'0' + value % 10);
            value /= 10;
        }
        out += digits;
    };
    put(date.day(), 2);
    *out++ = u'/';
    put(date.month(), 2);
    *out++ = u'/';
    put(date.year(), 4);
    if (seconds) {
        *out++ = u' ';
        put(int(seconds / 3600), 2);
        *out++ = u':';
        put(int(seconds / 60 % 60), 2);
        *out++ = u':';
        put(int(seconds % 60), 2);
    }
    return text;
}

QString errorText(CellError error)
{
    switch (error) {
    case CellError::Null: return QStringLiteral("#NULLO!");
    case CellError::Div0: return QStringLiteral("#DIV/0!");
    case CellError::Value: return QStringLiteral("#VALORE!");
    case CellError::Ref: return QStringLiteral("#RIF!");
    case CellError::Name: return QStringLiteral("#NOME?");
    case CellError::Num: return QStringLiteral("#NUM!");
    case CellError::NA: return QStringLiteral("#N/D");
    }
    return QStringLiteral("#N/D");
}

QString valueToText(const Variant &value)
{
    switch (value.type) {
    case Variant::Type::Empty: return QString();
    case Variant::Type::Number: return numberToText(value.number);
    case Variant::Type::Date: return dateToText(value.number);
    case Variant::Type::Text: return value.text;
    case Variant::Type::Boolean: return value.number != 0 ? QStringLiteral("Vero") : QStringLiteral("Falso");
    case Variant::Type::Error: return errorText(value.error);
    }
    return QString();
}

std::optional<QDate> parseDate(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2})([/-])(\\d{1,2})\\2(\\d{2}|\\d{4})$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const int day = m.captured(1).toInt();
    const int month = m.captured(3).toInt();
    int year = m.captured(4).toInt();
    if (m.capturedLength(4) == 2)
        year += year < 30 ? 2000 : 1900;
    if (year < 1900)
        return std::nullopt;   // before the first serial date
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

Variant parseTyped(const QString &text)
{
    if (text.isEmpty())
        return {};
    if (auto number = parseItalianNumber(text))
        return Variant::fromNumber(*number);
    if (auto date = parseDate(text))
        return Variant::fromDate(dateToSerial(*date));
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("VERO"), Qt::CaseInsensitive) == 0)
        return Variant::fromBool(true);
    if (word.compare(QLatin1String("FALSO"), Qt::CaseInsensitive) == 0)
        return Variant::fromBool(false);
    return Variant::fromText(text);
}

double leadingNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    QString digits;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128)
        digits += text[i++];
    if (i < n && text[i] == u'.') {
        digits += u'.';
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128)
            digits += text[i++];
    }
    if (digits.isEmpty() || digits == QLatin1String("."))
        return 0;
    double value = digits.toDouble();
    if (!std::isfinite(value))
        return 0;
    return negative && value != 0 ? -value : value;
}

std::optional<int> toWholeNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.contains(u'e', Qt::CaseInsensitive))
        return std::nullopt;
    const auto number = parseItalianNumber(trimmed);
    if (!number)
        return std::nullopt;
    const double rounded = std::nearbyint(*number);   // the default mode rounds half to even
    if (rounded < double(INT_MIN) || rounded > double(INT_MAX))
        return std::nullopt;
    return int(rounded);
}

std::optional<double> parseAmount(const QString &raw)
{
    static const QRegularExpression italian(
        QStringLiteral("^(\\d{1,3}(?:\\.\\d{3})+|\\d*)(?:,(\\d{0,2}))?$"));
    static const QRegularExpression pointed(QStringLiteral("^(\\d*)\\.(\\d{1,2})$"));
    const QString text = raw.trimmed();
    QString whole, cents;
    if (const auto m = italian.match(text); m.hasMatch()) {
        whole = m.captured(1).remove(u'.');
        cents = m.captured(2);
    } else if (const auto p = pointed.match(text); p.hasMatch()) {
        whole = p.captured(1);
        cents = p.captured(2);
    } else {
        return std::nullopt;
    }
    if (whole.isEmpty() && cents.isEmpty())
        return std::nullopt;
    if (whole.size() > 13)
        return std::nullopt;   // beyond any amount, and beyond exact cents in a double
    const double units = whole.isEmpty() ? 0.0 : whole.toDouble();
    const double fraction = cents.isEmpty() ? 0.0 : cents.leftJustified(2, u'0').toDouble() / 100.0;
    return units + fraction;
}

namespace {

// Digits with a point before each group of three from the right.
QString grouped(unsigned long long magnitude)
{
    QString whole = QString::number(magnitude);
    for (qsizetype at = whole.size() - 3; at > 0; at -= 3)
        whole.insert(at, u'.');
    return whole;
}

unsigned long long magnitudeOf(long long value)
{
    return value < 0 ? 0ULL - (unsigned long long)value : (unsigned long long)value;
}

} // namespace

QString amountText(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e15)
        return numberToText(value);
    const long long cents = std::llround(value * 100.0);   // halves away from zero
    const unsigned long long magnitude = magnitudeOf(cents);
    const QString decimals = QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'));
    return (cents < 0 ? QStringLiteral("-") : QString()) + grouped(magnitude / 100) + u',' + decimals;
}

QString countText(long long value)
{
    return (value < 0 ? QStringLiteral("-") : QString()) + grouped(magnitudeOf(value));
}

Variant amountValue(const QString &text)
{
    if (text.isEmpty())
        return {};
    if (const auto amount = parseAmount(text))
        return Variant::fromNumber(*amount);
    return Variant::fromText(text);
}

QString clockLine(const QDateTime &now, ClockStyle style)
{
    const QLatin1String separator = style == ClockStyle::Registry ? QLatin1String(" del ")
                                                                  : QLatin1String("   del   ");
    return QLatin1String("Ore...") + timeText(now.time()) + separator + dateText(now.date());
}

std::optional<double> numberIn(const Variant &value)
{
    switch (value.type) {
    case Variant::Type::Number:
    case Variant::Type::Date:
        return value.number;
    case Variant::Type::Text: {
        const Variant typed = parseTyped(value.text);
        if (typed.type == Variant::Type::Number)
            return typed.number;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace store
