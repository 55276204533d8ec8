#include <QtTest>
class TestStructureEdits : public QObject {
    Q_OBJECT
private slots:
    void placeholder() {}
};
QTEST_GUILESS_MAIN(TestStructureEdits)
#include "tst_structureedits.moc"
