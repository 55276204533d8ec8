// Writes the seed corpus of fuzz_xls: small workbooks made by the engine itself, in clear
// and with a password, each prefixed by the byte that makes fuzz_xls try the right password
// (0 none, 1 the program's own).
//
//   fuzz_seeds OUTPUT_FOLDER

#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>

namespace {

using store::Variant;

void write(const QString &folder, const QString &name, const store::Workbook &book, char selector)
{
    QFile f(QDir(folder).filePath(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
    f.write(&selector, 1);
    f.write(store::workbookBytes(book));
}

// The three sheets of the program with a few records of every kind of value.
std::unique_ptr<store::Workbook> ledger(int records, int noteLength)
{
    auto book = std::make_unique<store::Workbook>();
    book->sheet(1).setName(QStringLiteral("Anagrafe"));
    book->appendSheet(QStringLiteral("Incassi"));
    book->appendSheet(QStringLiteral("Pagamenti"));
    store::Worksheet &anagrafe = book->sheet(1);
    anagrafe.cells(1, 1).setValue(Variant::fromText(QStringLiteral("ID")));
    anagrafe.cells(1, 3).setValue(Variant::fromText(QStringLiteral("Ragione Sociale/Cognome Nome")));
    anagrafe.range(QStringLiteral("F:F")).setNumberFormat(QStringLiteral("@"));
    for (int r = 2; r < 2 + records; ++r) {
        anagrafe.cells(r, 1).setValue(double(r - 1));
        anagrafe.cells(r, 2).setValue(QStringLiteral("C"));
        anagrafe.cells(r, 3).setValue(QStringLiteral("Città Srl %1").arg(r));
        anagrafe.cells(r, 6).setValue(QStringLiteral("00184"));
    }
    anagrafe.cells(1, 256).setValue(double(records + 1));
    store::Worksheet &incassi = book->sheet(2);
    incassi.range(QStringLiteral("2:2")).select();
    incassi.freezePanes();
    for (int r = 2; r < 2 + records; ++r) {
        incassi.cells(r, 1).setValue(double(r - 1));
        incassi.cells(r, 4).setValue(QStringLiteral("FT/%1").arg(r));
        incassi.cells(r, 5).setValue(QStringLiteral("%1/03/2024").arg(10 + r % 18));
        incassi.cells(r, 8).setValue(QStringLiteral("1234,%1").arg(r % 100));
        incassi.cells(r, 7).setValue(QStringLiteral("SI"));
        incassi.cells(r, 19).setValue(QString(noteLength, QChar(u'à' + r % 5)));
    }
    incassi.setColumnWidth(3, 30);
    incassi.setRowHeight(2, 20);
    incassi.pageSetup().printTitleRows = QStringLiteral("$1:$1");
    incassi.pageSetup().centerHeader = QStringLiteral("Incassi");
    incassi.pageSetup().orientation = store::Orientation::Landscape;
    book->sheet(3).cells(1, 1).setValue(Variant::fromBool(true));
    book->sheet(3).pageSetup().zoom.reset();
    return book;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    store::Workbook empty;
    write(folder, QStringLiteral("seed-empty"), empty, 0);
    empty.protection.password = QStringLiteral("Tevo1963");
    write(folder, QStringLiteral("seed-empty-password"), empty, 1);

    auto small = ledger(3, 10);
    write(folder, QStringLiteral("seed-ledger"), *small, 0);
    small->protection.password = QStringLiteral("Tevo1963");
    write(folder, QStringLiteral("seed-ledger-password"), *small, 1);

    // Long notes: the shared strings run over several CONTINUE records.
    auto wide = ledger(6, 1800);
    write(folder, QStringLiteral("seed-continued"), *wide, 0);
    wide->protection.password = QStringLiteral("Tevo1963");
    write(folder, QStringLiteral("seed-continued-password"), *wide, 1);
    return 0;
}
