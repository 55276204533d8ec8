// The workbook's pool of texts: one entry per distinct text, found again by its index,
// through every growth of the table.

#include "store/model/workbook.h"

#include <QTest>

#include <vector>

using namespace store;

class TstStringPool : public QObject {
    Q_OBJECT
private slots:
    void equalTextsShareOneEntry_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("same");
        QTest::newRow("identical") << QStringLiteral("BONIFICO") << QStringLiteral("BONIFICO") << true;
        QTest::newRow("case differs") << QStringLiteral("si") << QStringLiteral("SI") << false;
        QTest::newRow("accent differs") << QStringLiteral("Città") << QStringLiteral("Citta") << false;
        QTest::newRow("composed and decomposed") << QStringLiteral("Città") << QStringLiteral("Citta\u0300") << false;
        QTest::newRow("trailing blank") << QStringLiteral("RM") << QStringLiteral("RM ") << false;
        QTest::newRow("empty and null") << QStringLiteral("") << QString() << true;
        QTest::newRow("euro sign") << QStringLiteral("100 €") << QStringLiteral("100 €") << true;
    }
    void equalTextsShareOneEntry()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, same);
        StringPool pool;
        pool.intern(QStringLiteral("prima"));
        const uint32_t a = pool.intern(first);
        const uint32_t b = pool.intern(second);
        QCOMPARE(a == b, same);
        QCOMPARE(pool.size(), size_t(same ? 2 : 3));
        QCOMPARE(pool.at(a), first);
        QCOMPARE(pool.at(b), same ? first : second);
    }

    // Many texts, interned again in reverse order after the table grew many times: every
    // one is found at its first index and none is added twice.
    void indexesSurviveGrowth_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("reserved");
        QTest::newRow("growing from empty") << 100000 << 0;
        QTest::newRow("room made first") << 100000 << 100000;
        QTest::newRow("room made too small") << 50000 << 1000;
    }
    void indexesSurviveGrowth()
    {
        QFETCH(int, count);
        QFETCH(int, reserved);
        StringPool pool;
        if (reserved)
            pool.reserve(size_t(reserved));
        std::vector<uint32_t> index(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            index[size_t(i)] = pool.intern(QStringLiteral("Nota della registrazione %1").arg(i));
        QCOMPARE(pool.size(), size_t(count));
        for (int i = count - 1; i >= 0; --i) {
            const QString text = QStringLiteral("Nota della registrazione %1").arg(i);
            const uint32_t again = pool.intern(text);
            if (again != index[size_t(i)] || pool.at(again) != text)
                QFAIL(qPrintable(QStringLiteral("testo %1: indice %2, atteso %3").arg(i).arg(again).arg(index[size_t(i)])));
        }
        QCOMPARE(pool.size(), size_t(count));
    }

    // Room made after texts are in keeps their indexes; a copy (the recovery snapshot)
    // goes on by itself.
    void reserveAndCopyKeepIndexes()
    {
        StringPool pool;
        const uint32_t si = pool.intern(QStringLiteral("SI"));
        const uint32_t no = pool.intern(QStringLiteral("NO"));
        pool.reserve(10000);
        QCOMPARE(pool.intern(QStringLiteral("NO")), no);
        QCOMPARE(pool.intern(QStringLiteral("SI")), si);
        StringPool copy = pool;
        const uint32_t added = copy.intern(QStringLiteral("ASSEGNO"));
        QCOMPARE(copy.intern(QStringLiteral("SI")), si);
        QCOMPARE(copy.at(added), QStringLiteral("ASSEGNO"));
        QCOMPARE(pool.size(), size_t(2));
        QCOMPARE(pool.intern(QStringLiteral("ASSEGNO")), uint32_t(2));
    }
};

QTEST_APPLESS_MAIN(TstStringPool)
#include "tst_stringpool.moc"
