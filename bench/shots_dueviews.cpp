// The README's pictures of "Scadenze/Insoluti", "Situazione Clienti/Fornitori" and
// "Stampe": a small office's workbook, each form shown offscreen and grabbed to a PNG.
//
//   contavio-shots-dueviews DOCS_FOLDER

#include "benchsession.h"
#include "controls/session.h"
#include "dueviews/scadenze.h"
#include "dueviews/situazione.h"
#include "dueviews/stampe.h"
#include "records/layout.h"
#include "records/office.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>

#include <map>

namespace {

const char *const kNames[] = {"ROSSI MARIO", "BIANCHI S.R.L.", "VERDI & FIGLI S.N.C.", "STUDIO NERI",
                              "FERRARI COSTRUZIONI", "ESPOSITO LUCIA", "ROMANO TRASPORTI", "COLOMBO SPA"};

void fill(store::Workbook &book, const QDate &today)
{
    namespace layout = records::layout;
    using store::Variant;
    store::Worksheet &reg = book.sheet(1);
    reg.setName(layout::anagrafe().name);
    store::Worksheet *ledgers[] = {&book.appendSheet(layout::incassi().name), &book.appendSheet(layout::pagamenti().name)};
    for (int i = 0; i < 8; ++i) {
        reg.cells(i + 2, 1).setValue(double(i + 1));
        reg.cells(i + 2, 2).setValue(Variant::fromText(i < 5 ? QStringLiteral("C") : QStringLiteral("F")));
        reg.cells(i + 2, 3).setValue(Variant::fromText(QString::fromLatin1(kNames[i])));
        reg.cells(i + 2, 5).setValue(Variant::fromText(QStringLiteral("Via Roma %1").arg(3 + i * 7)));
        reg.cells(i + 2, 7).setValue(Variant::fromText(QStringLiteral("Bologna")));
    }
    int rows[2] = {2, 2};
    for (int n = 0; n < 60; ++n) {
        const int who = (n * 5) % 8;
        const int side = who < 5 ? 0 : 1;
        store::Worksheet &s = *ledgers[side];
        const int row = rows[side]++;
        const QDate due = today.addDays((n * 37) % 300 - 110);
        s.cells(row, 1).setValue(double(row - 1));
        s.cells(row, 2).setValue(double(who + 1));
        s.cells(row, 3).setValue(Variant::fromText(QString::fromLatin1(kNames[who])));
        s.cells(row, 4).setValue(Variant::fromText(QStringLiteral("%1/%2").arg(n + 1).arg(due.year())));
        s.cells(row, 5).setValue(Variant::fromDate(store::dateToSerial(due.addDays(-30))));
        s.cells(row, 6).setValue(Variant::fromDate(store::dateToSerial(due)));
        const bool paid = n % 4 == 0;
        s.cells(row, 7).setValue(Variant::fromText(paid ? QStringLiteral("SI") : QStringLiteral("NO")));
        s.cells(row, 8).setValue(double(150 + (n * 173) % 2400) + 0.5);
        const bool advance = n % 5 == 1;
        s.cells(row, 11).setValue(Variant::fromText(advance ? QStringLiteral("SI") : QStringLiteral("NO")));
        if (advance)
            s.cells(row, 12).setValue(100.0);
        s.cells(row, 15).setValue(Variant::fromText(QStringLiteral("NO")));
        if (n % 9 == 3)
            s.cells(row, 19).setValue(Variant::fromText(QStringLiteral("sollecitato per telefono")));
    }
    records::Office office;
    office.name = QStringLiteral("STUDIO ESEMPIO");
    office.address = QStringLiteral("Via Indipendenza 1");
    office.postCode = QStringLiteral("40121");
    office.town = QStringLiteral("Bologna");
    office.vat = QStringLiteral("01234567890");
    records::writeOffice(book, office);
}

void grab(QWidget *form, const QString &path)
{
    form->show();
    QApplication::processEvents();
    form->grab().save(path);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDir docs(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs"));
    const QDate today(2026, 12, 7);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("Contavio.xls"));
    {
        store::Workbook book;
        fill(book, today);
        book.saveAs(path);
    }
    bench::FixedClock clock(QDateTime(today, QTime(9, 30)));
    bench::BenchSession world(path, clock);
    controls::Session &session = world.session;
    bench::OneForms &forms = world.forms;

    dueviews::Scadenze scadenze(session);
    scadenze.resize(1000, 640);
    scadenze.activate();
    grab(&scadenze, docs.filePath(QStringLiteral("scadenze.png")));
    dueviews::Situazione situazione(session);
    situazione.resize(1000, 520);
    situazione.activate();
    situazione.ListSoggetti->setCurrentRow(2);
    grab(&situazione, docs.filePath(QStringLiteral("situazione.png")));
    dueviews::Stampe stampe(session);
    stampe.activate();
    grab(&stampe, docs.filePath(QStringLiteral("stampe.png")));
    return 0;
}
