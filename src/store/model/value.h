#pragma once

#include <QString>
#include <cstdint>

namespace store {

// Cell error codes as stored in BIFF8 (BOOLERR records).
enum class CellError : uint8_t {
    Null = 0x00,   // #NULLO!
    Div0 = 0x07,   // #DIV/0!
    Value = 0x0F,  // #VALORE!
    Ref = 0x17,    // #RIF!
    Name = 0x1D,   // #NOME?
    Num = 0x24,    // #NUM!
    NA = 0x2A,     // #N/D
};

// A value as the forms see it when they read a cell's Value: a number that carries a date
// format reads back as a Date. Dates are serial days in the 1900 system, counted as the
// automation convention does (day 0 = 30/12/1899), whatever the workbook's date system.
struct Variant {
    enum class Type : uint8_t { Empty, Number, Date, Text, Boolean, Error };

    Type type = Type::Empty;
    double number = 0;      // Number, Date (serial), Boolean (0 or 1)
    QString text;           // Text
    CellError error = CellError::NA;

    static Variant fromNumber(double v) { Variant r; r.type = Type::Number; r.number = v; return r; }
    static Variant fromDate(double serial) { Variant r; r.type = Type::Date; r.number = serial; return r; }
    static Variant fromText(QString t) { Variant r; r.type = Type::Text; r.text = std::move(t); return r; }
    static Variant fromBool(bool b) { Variant r; r.type = Type::Boolean; r.number = b ? 1 : 0; return r; }
    static Variant fromError(CellError e) { Variant r; r.type = Type::Error; r.error = e; return r; }

    bool isEmpty() const { return type == Type::Empty; }
    // A cell counts as blank when it holds nothing or an empty text.
    bool isBlank() const { return isEmpty() || (type == Type::Text && text.isEmpty()); }
    bool operator==(const Variant &o) const;
};

} // namespace store
