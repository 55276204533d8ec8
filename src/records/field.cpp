#include "field.h"

#include "recordnumber.h"

#include "store/model/italian.h"

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
        const QDate date = store::serialToDate(value.number);
        return date.isValid() ? Reading<QDate>::of(date) : Reading<QDate>::ofUnreadable();
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
