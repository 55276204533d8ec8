#include "field.h"

#include "recordnumber.h"

#include "store/model/italian.h"

#include <cmath>

namespace records {

using Type = store::Variant::Type;

QString Field::text() const
{
    return store::valueToText(value);
}

std::optional<QString> Field::shownText() const
{
    if (value.type == Type::Error)
        return std::nullopt;
    return text();
}

Reading<QDate> Field::date() const
{
    if (isEmpty())
        return Reading<QDate>::ofEmpty();
    if (value.type == Type::Date) {
        // The day of the serial, its time of day dropped: counted straight from day 0
        // (30/12/1899), without the clock-time conversions of a full date and time.
        if (!std::isfinite(value.number) || std::fabs(value.number) > 3e6)
            return Reading<QDate>::ofUnreadable();
        static const QDate dayZero(1899, 12, 30);
        return Reading<QDate>::of(dayZero.addDays(qint64(std::floor(value.number))));
    }
    if (value.type == Type::Text) {
        if (const std::optional<QDate> date = store::parseDate(value.text))
            return Reading<QDate>::of(*date);
    }
    return Reading<QDate>::ofUnreadable();
}

Reading<double> Field::amount() const
{
    if (isEmpty())
        return Reading<double>::ofEmpty();
    if (value.type == Type::Number)
        return Reading<double>::of(value.number);
    if (value.type == Type::Text) {
        const store::Variant typed = store::parseTyped(value.text.trimmed());
        if (typed.type == Type::Number)
            return Reading<double>::of(typed.number);
    }
    return Reading<double>::ofUnreadable();
}

Reading<bool> Field::flag() const
{
    if (isEmpty())
        return Reading<bool>::ofEmpty();
    if (value.type == Type::Text && value.text == QLatin1String("SI"))
        return Reading<bool>::of(true);
    if (value.type == Type::Text && value.text == QLatin1String("NO"))
        return Reading<bool>::of(false);
    return Reading<bool>::ofUnreadable();
}

Reading<double> Field::wholeNumber() const
{
    if (isEmpty())
        return Reading<double>::ofEmpty();
    if (const std::optional<double> n = recordNumber(value))
        return Reading<double>::of(*n);
    return Reading<double>::ofUnreadable();
}

} // namespace records
