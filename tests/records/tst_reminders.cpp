// The reminders sent, on the sheet "Solleciti": added after the last sheet with its titles
// the first time, one row each after the last, read back; rows whose date cannot be read
// are passed over.

#include "records/reminders.h"

#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QTest>

class TestReminders : public QObject {
    Q_OBJECT
private slots:
    void appendAndRead();
};

void TestReminders::appendAndRead()
{
    store::Workbook book;
    book.sheet(1).setName(QStringLiteral("Anagrafe"));
    book.appendSheet(QStringLiteral("Incassi"));
    QVERIFY(records::readReminders(book).empty());

    records::appendReminder(book, {QDate(2009, 5, 12), QStringLiteral("7"), QStringLiteral("Primo sollecito"),
                                   QStringLiteral("A1, A4"), 1200.5});
    store::Worksheet &sheet = book.sheet(QStringLiteral("Solleciti"));
    QCOMPARE(book.indexOf(sheet), 3);
    QCOMPARE(sheet.textAt(1, 1), QStringLiteral("Data"));
    QCOMPARE(sheet.textAt(2, 1), QStringLiteral("12/05/2009"));
    // A row someone typed with a date that is no date is passed over, not the ones after it.
    sheet.cells(3, 1).setValue(store::Variant::fromText(QStringLiteral("ieri")));
    records::appendReminder(book, {QDate(2009, 6, 1), QStringLiteral("7"), QStringLiteral("Secondo sollecito"),
                                   QStringLiteral("A1"), 800});
    QCOMPARE(sheet.textAt(4, 3), QStringLiteral("Secondo sollecito"));

    const std::vector<records::ReminderEntry> read = records::readReminders(book);
    QCOMPARE(int(read.size()), 2);
    QCOMPARE(read[0].invoices, QStringLiteral("A1, A4"));
    QCOMPARE(read[0].total, 1200.5);
    QCOMPARE(read[1].date, QDate(2009, 6, 1));
    QCOMPARE(book.sheetCount(), 3);
}

QTEST_MAIN(TestReminders)
#include "tst_reminders.moc"
