#pragma once

// The classic binary .xls format: BIFF8 records in a compound file, with its password
// protections. Reading accepts XOR obfuscation, RC4 and RC4 CryptoAPI; writing always uses
// RC4 CryptoAPI 4.2 with a 128-bit key when the workbook has a password.

#include "store/model/workbook.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace store {

// Throws StoreError: Io (cannot read), Damaged, Unsupported (BIFF5 and older, unknown
// protection), WrongPassword. The file is only read.
std::unique_ptr<Workbook> readWorkbook(const QString &path, const QString &password);
std::unique_ptr<Workbook> readWorkbookBytes(const QByteArray &file, const QString &password);

// The complete file image of a workbook (compound file holding the Workbook stream),
// encrypted with book.protection.password when it is not empty.
QByteArray workbookBytes(const Workbook &book);

// Writes the file image to a temporary file in the same folder, flushes it to disk and
// renames it over `path`, keeping the original's permissions. Any failure leaves the
// original as it was and throws StoreError(Io or Limit).
void writeWorkbook(const Workbook &book, const QString &path);

} // namespace store
