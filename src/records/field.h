#pragma once

// One cell of a record as it is stored, and what it reads as. Other programs leave all
// kinds of values in the cells (numbers where the forms write texts, dates typed as texts,
// error values), so a field keeps the stored value untouched, and every typed reading says
// whether the cell was empty, read, or holds something that is not what was asked for.

#include "store/model/value.h"

#include <QDate>
#include <QString>
#include <optional>

namespace records {

template <typename T>
struct Reading {
    enum class State : uint8_t { Empty, Read, Unreadable };
    State state = State::Empty;
    T value{};

    bool empty() const { return state == State::Empty; }
    bool read() const { return state == State::Read; }
    bool unreadable() const { return state == State::Unreadable; }
    // The value when read, nullopt when empty or unreadable.
    std::optional<T> get() const { return read() ? std::optional<T>(value) : std::nullopt; }

    static Reading ofEmpty() { return {}; }
    static Reading of(T v) { return {State::Read, std::move(v)}; }
    static Reading ofUnreadable() { return {State::Unreadable, T{}}; }
};

struct Field {
    store::Variant value;   // as stored: empty, number, date, text, boolean or error

    // Nothing, or an empty text.
    bool isEmpty() const { return value.isBlank(); }
    // The text a form shows: dates dd/MM/yyyy, numbers with the decimal comma, errors by
    // their Italian names ("#N/D").
    QString text() const;
    // The same, but nullopt for an error value, which has no text a field could take.
    std::optional<QString> shownText() const;

    // A date value, or a day/month/year text ("05/03/2009", "5-3-09"). A plain number, a
    // text that is no date and the other kinds cannot be read as a date.
    Reading<QDate> date() const;
    // A number, or a text that reads as an Italian amount ("1.234,56", "-12,5", "7"). A
    // date, a boolean, an error or any other text cannot be read as an amount.
    Reading<double> amount() const;
    // A flag: exactly "SI" or "NO"; anything else cannot be read.
    Reading<bool> flag() const;
    // A record or progressive number: a whole number of at least 1, stored as a number or
    // a text that reads as one (recordnumber.h).
    Reading<double> wholeNumber() const;
};

} // namespace records
