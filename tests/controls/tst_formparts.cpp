// The pieces the forms share: the box that reports a failed workbook operation, and the
// titles with their blanks.

#include "support/fakes.h"
#include "controls/formparts.h"
#include "store/model/errors.h"

#include <QTest>

#include <stdexcept>

class TestFormParts : public QObject {
    Q_OBJECT
private slots:
    void storeErrorReport();
    void titles();
};

void TestFormParts::storeErrorReport()
{
    controls::FakeDialogs dialogs;
    // The engine's own words for its errors.
    controls::reportStoreError(&dialogs, store::StoreError(store::ErrorKind::Io, QStringLiteral("Disco pieno.")));
    QCOMPARE(dialogs.shown.size(), size_t(1));
    QCOMPARE(dialogs.last().kind, controls::BoxKind::Critical);
    QCOMPARE(dialogs.last().title, QStringLiteral("Contavio"));
    QVERIFY2(dialogs.last().text.contains(QStringLiteral("Disco pieno.")), qPrintable(dialogs.last().text));

    // Anything else: a sentence the user can read, never the exception's inner text.
    controls::reportStoreError(&dialogs, std::runtime_error("std::bad_alloc in Range::cells"));
    QCOMPARE(dialogs.shown.size(), size_t(2));
    QCOMPARE(dialogs.last().kind, controls::BoxKind::Critical);
    QCOMPARE(dialogs.last().text, QStringLiteral("Operazione non riuscita sulla cartella di lavoro."));

    // Without dialogs nothing is shown, and nothing breaks.
    controls::reportStoreError(nullptr, std::runtime_error("x"));
}

void TestFormParts::titles()
{
    using namespace controls::titles;
    QCOMPARE(kTitle, QStringLiteral("Contavio"));
    QCOMPARE(kTitleTrailing, QStringLiteral("Contavio "));
    QCOMPARE(kTitleLeading, QStringLiteral(" Contavio"));
    QCOMPARE(kTitleTwoLeading, QStringLiteral("  Contavio"));
    QCOMPARE(kTitleBoth, QStringLiteral(" Contavio "));
}

QTEST_MAIN(TestFormParts)
#include "tst_formparts.moc"
