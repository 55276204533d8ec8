// The office's data in the sheet "Studio": added only when written, after the data sheets,
// read back by label through a save and a load, and a value typed by hand as a number.
#include "records/office.h"
#include "store/model/workbook.h"
#include "support/starterbook.h"

#include <QTemporaryDir>
#include <QtTest>

class TstOffice : public QObject {
    Q_OBJECT
private slots:
    void missingSheetReadsEmpty();
    void writtenOfficeSurvivesSaveAndLoad();
    void handTypedSheetReads();
};

namespace {
records::Office sample()
{
    return {"Studio Rossi & C.", "01234567890", "RSSMRA70A01H501U", "Via Roma 1", "00100", "Roma",
            "RM", "06 1234567", "studio@example.it", "IT60X0542811101000000123456"};
}
} // namespace

void TstOffice::missingSheetReadsEmpty()
{
    store::Workbook book;
    testworld::shapeStarterBook(book);
    QVERIFY(records::readOffice(book).isEmpty());
    QCOMPARE(book.sheetCount(), 3);
}

void TstOffice::writtenOfficeSurvivesSaveAndLoad()
{
    QTemporaryDir dir;
    store::Workbook book;
    testworld::shapeStarterBook(book);
    book.appendSheet(QStringLiteral("Appunti"));   // a sheet of the user's own stays last
    book.setActiveSheet(book.sheet(2));
    records::writeOffice(book, sample());
    records::Office changed = sample();
    changed.phone.clear();
    changed.town = QStringLiteral("Città di Castello");
    records::writeOffice(book, changed);
    QCOMPARE(testworld::sheetNames(book),
             QStringList({"Anagrafe", "Incassi", "Pagamenti", "Studio", "Appunti"}));
    QCOMPARE(book.activeSheet().name(), QStringLiteral("Incassi"));
    QCOMPARE(book.sheet(QStringLiteral("Studio")).textAt(2, 1), QStringLiteral("Ragione sociale"));

    book.protection.password = testworld::kPassword;
    book.saveAs(dir.filePath("o.xls"));
    store::Server server;
    store::Workbook &loaded = server.open(dir.filePath("o.xls"), testworld::kPassword);
    QCOMPARE(records::readOffice(loaded), changed);
}

void TstOffice::handTypedSheetReads()
{
    store::Workbook book;
    store::Worksheet &sheet = book.appendSheet(QStringLiteral("studio"));
    sheet.cells(4, 1).setValue(QStringLiteral(" partita iva "));
    sheet.cells(4, 2).setValue(1234567890.0);
    sheet.cells(5, 1).setValue(QStringLiteral("IBAN"));
    sheet.cells(5, 2).setValue(QStringLiteral("IT60X0542811101000000123456"));
    const records::Office office = records::readOffice(book);
    QCOMPARE(office.vat, QStringLiteral("1234567890"));
    QCOMPARE(office.iban, QStringLiteral("IT60X0542811101000000123456"));
    QVERIFY(office.name.isEmpty());
}

QTEST_GUILESS_MAIN(TstOffice)
#include "tst_officedata.moc"
