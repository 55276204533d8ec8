// A process that does nothing but save: it opens the workbook given, then saves it again and
// again, switching every text cell of its first sheet between two contents ("A..." and
// "B..."), until it is killed. After its first few saves it prints "ready <microseconds>" on
// standard output: the mean length of one save, so that a test can aim its kills.
//
//   reliability_saver WORKBOOK PASSWORD

#include "store/model/errors.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

namespace {

// Rewrites every text cell of the first sheet with `letter` in place of its first character.
void switchContent(store::Workbook &book, QChar letter)
{
    store::Worksheet &sheet = book.sheet(1);
    const int rows = sheet.lastRow();
    const int columns = sheet.lastColumn();
    for (int row = 1; row <= rows; ++row) {
        for (int column = 1; column <= columns; ++column) {
            QString text = sheet.textAt(row, column);
            if (text.isEmpty())
                continue;
            text[0] = letter;
            sheet.cells(row, column).setValue(store::Variant::fromText(text));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "uso: reliability_saver CARTELLA PASSWORD\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString password = QString::fromLocal8Bit(argv[2]);
    try {
        std::unique_ptr<store::Workbook> book = store::readWorkbook(path, password);
        book->setPath(path);
        QElapsedTimer timer;
        timer.start();
        constexpr int kWarmUp = 3;
        for (long save = 1;; ++save) {
            switchContent(*book, save % 2 ? u'B' : u'A');
            book->save();
            if (save == kWarmUp) {
                std::printf("ready %lld\n", static_cast<long long>(timer.nsecsElapsed() / 1000 / kWarmUp));
                std::fflush(stdout);
            }
        }
    } catch (const store::StoreError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.userMessage() + QStringLiteral(" ") + error.detail()));
        return 1;
    }
}
