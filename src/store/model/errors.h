#pragma once

#include <QString>
#include <stdexcept>

namespace store {

// What went wrong, so that the form that asked can tell the user in plain Italian.
enum class ErrorKind {
    WrongPassword,   // the password does not open the file
    Damaged,         // the file is not a readable workbook, or is broken
    Unsupported,     // an older .xls format, or a protection we cannot read
    Io,              // the operating system refused a read, write, rename or lock
    Limit,           // beyond row 65,536 or column 256, or no room left
    NotFound,        // a sheet, workbook or name that does not exist
    Invalid,         // a value the operation refuses (a zoom outside 10..400, a bad reference)
};

class StoreError : public std::runtime_error {
public:
    StoreError(ErrorKind kind, QString userMessage, QString detail = {});

    ErrorKind kind() const { return m_kind; }
    // One Italian sentence for the user ("Il file è danneggiato.").
    const QString &userMessage() const { return m_userMessage; }
    // Diagnostic detail for support (record offsets, system error text); may be empty.
    const QString &detail() const { return m_detail; }

private:
    ErrorKind m_kind;
    QString m_userMessage;
    QString m_detail;
};

// The user message of a Limit error for a cell or range off the sheet's grid.
QString offGridMessage();

// Runs one step of an operation whose failing steps are passed over without a word: an
// engine failure ends that step and the operation goes on. True when the step ran through.
template <typename Step>
bool skipOnFailure(Step &&step)
{
    try {
        step();
        return true;
    } catch (const StoreError &) {
        return false;
    }
}

} // namespace store
