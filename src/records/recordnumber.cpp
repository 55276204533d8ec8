#include "recordnumber.h"

#include "store/model/italian.h"

#include <cmath>

namespace records {

namespace {

// Beyond 2^53 a double no longer holds every whole number.
constexpr double kLargest = 9007199254740992.0;

std::optional<double> whole(std::optional<double> n)
{
    if (!n || !std::isfinite(*n) || *n < 1 || *n > kLargest || std::floor(*n) != *n)
        return std::nullopt;
    return n;
}

} // namespace

std::optional<double> recordNumber(const QString &text)
{
    const store::Variant typed = store::parseTyped(text);
    if (typed.type != store::Variant::Type::Number)
        return std::nullopt;
    return whole(typed.number);
}

std::optional<double> recordNumber(const store::Variant &cell)
{
    if (cell.type == store::Variant::Type::Text)
        return recordNumber(cell.text);
    // A number under a date format is still the number it holds.
    if (cell.type != store::Variant::Type::Number && cell.type != store::Variant::Type::Date)
        return std::nullopt;
    return whole(cell.number);
}

} // namespace records
