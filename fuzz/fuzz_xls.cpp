// libFuzzer entry point: any bytes given to the workbook reader either open as a workbook
// or are refused with a StoreError. Anything else (a crash, a sanitizer report, another
// exception, a hang) is a fault of the reader.
//
// The first input byte chooses the password tried, so that one corpus reaches both the
// clear and the decrypting paths; the rest is the file.

#include "store/model/errors.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <glib.h>

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The compound-file library complains on stderr about every bad sector it meets; the
    // reader turns those into errors of its own, so the complaints are only noise here.
    g_log_set_default_handler([](const gchar *, GLogLevelFlags, const gchar *, gpointer) {}, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const QString passwords[] = {QString(), QStringLiteral("Tevo1963"), QStringLiteral("password")};
    const QString &password = passwords[data[0] % 3];
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    try {
        std::unique_ptr<store::Workbook> book = store::readWorkbookBytes(file, password);
        // Walk what was read, as the program would when showing it.
        for (int i = 1; i <= book->sheetCount(); ++i) {
            const store::Worksheet &sheet = book->sheet(i);
            sheet.forEachCell([&](int row, int column, const store::Cell &) {
                (void)sheet.textAt(row, column);
            });
        }
        // What was read is what the program saves again at exit.
        (void)store::workbookBytes(*book);
    } catch (const store::StoreError &) {
    }
    return 0;
}
