// An annotated ledger through the real forms: the browser sorts "Incassi" by due date, the
// receivables form's "Elimina" deletes a noted record, the workbook is saved; another
// spreadsheet program must find in the file what its own sort and delete of the same
// workbook give (notes, merged remark, check formulas, summary, names, formats, validation,
// print area). Skipped when the program is absent.

#include "support/officecompare.h"
#include "ledger/ledgerworld.h"

#include "browser/recordlistmodel.h"
#include "browser/visualizza.h"

#include <QFile>
#include <QLineEdit>
#include <QTreeView>
#include <QtTest>

using ledgertest::World;
using testworld::press;

namespace {

const QString kPassword = QStringLiteral("prova");

struct BrowserWorld : World {
    BrowserWorld()
    {
        forms.provide(controls::FormId::StampaP, [] {
            auto *w = new QWidget;
            auto *mode = new QLineEdit(w);
            mode->setObjectName(QStringLiteral("Text1"));
            return w;
        });
        provide<browser::Visualizza>(controls::FormId::Visualizza);
    }
    browser::Visualizza &browser() { return form<browser::Visualizza>(controls::FormId::Visualizza); }
    // A click on the list row that shows record `id`, as the user makes it.
    bool pickRecord(double id)
    {
        browser::Visualizza &b = browser();
        browser::RecordListModel *m = b.listModel();
        for (int row = 0; row < m->rowCount(); ++row) {
            if (m->text(row, 0) != QString::number(id))
                continue;
            const QModelIndex index = m->index(row, 2);
            b.ListView3->scrollTo(index);
            QTest::mouseClick(b.ListView3->viewport(), Qt::LeftButton, Qt::NoModifier,
                              b.ListView3->visualRect(index).center());
            return true;
        }
        return false;
    }
};

} // namespace

class TestFormsOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        OFFICECOMPARE_SKIP_WITHOUT_OFFICE();
        QVERIFY(m_dir.isValid());
    }

    void browserSortAndEliminaAsTheOtherProgram()
    {
        const QString base = m_dir.filePath(QStringLiteral("base.xls"));
        const QString theirs = m_dir.filePath(QStringLiteral("theirs.xls"));
        const auto made = officecompare::probe(QStringLiteral(STRUCTURE_PROBE), {QStringLiteral("make"), base, kPassword});
        QVERIFY2(made.exitCode == 0, qPrintable(made.err));
        const auto edited = officecompare::probe(QStringLiteral(STRUCTURE_PROBE),
                                                 {QStringLiteral("edit"), base, theirs, kPassword, QStringLiteral("3")});
        QVERIFY2(edited.exitCode == 0, qPrintable(edited.err));

        BrowserWorld w;
        const QString ours = w.dir.filePath(QStringLiteral("Contavio.xls"));
        w.server.close(w.book());
        QFile::remove(ours);
        QVERIFY(QFile::copy(base, ours));
        w.server.open(ours, kPassword);

        QVERIFY(w.openFromMenu(w.browser(), [&] { w.browser().open(ledger::Ledger::Incassi); }));
        QCOMPARE(w.ids(QStringLiteral("Incassi")), (QList<double>{2, 5, 3, 6, 1, 4}));
        QVERIFY(w.pickRecord(3));
        ledger::Entrata &form = w.entrata();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(form.Text10->text(), QStringLiteral("3"));
        w.dialogs.queueAnswer(controls::Answer::Yes);
        press(form.XPButton6);
        QCOMPARE(w.dialogs.last().text, QStringLiteral(" Registrazione  eliminata "));
        QCOMPARE(w.ids(QStringLiteral("Incassi")), (QList<double>{2, 5, 6, 1, 4}));
        w.book().save();

        const QStringList diff = officecompare::readingDifferences(QStringLiteral(STRUCTURE_PROBE), theirs, ours, kPassword);
        QVERIFY2(diff.isEmpty(), qPrintable(diff.join(u'\n')));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestFormsOffice)
#include "tst_forms_office.moc"
