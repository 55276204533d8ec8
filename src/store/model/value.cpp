#include "store/model/value.h"

namespace store {

bool Variant::operator==(const Variant &o) const
{
    if (type != o.type)
        return false;
    switch (type) {
    case Type::Empty:
        return true;
    case Type::Number:
    case Type::Date:
    case Type::Boolean:
        return number == o.number;
    case Type::Text:
        return text == o.text;
    case Type::Error:
        return error == o.error;
    }
    return false;
}

} // namespace store
