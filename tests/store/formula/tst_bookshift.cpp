// The workbook-wide pass of a row delete or sort over every place that holds a formula:
// cell formulas of every sheet, shared and array formulas, names with the page set-up,
// chart series, and the marks that make other programs recalculate what moved.

#include "store/formula/refshift.h"
#include "store/model/workbook.h"
#include "store/biff/biff.h"

#include <QTemporaryDir>
#include <QTest>

using namespace store;

namespace {

struct Expr {
    QByteArray b;
    Expr &u8(int v) { b.append(char(uint8_t(v))); return *this; }
    Expr &u16(int v) { u8(v & 0xFF); return u8((v >> 8) & 0xFF); }
    Expr &ref(int row, int col) { return u8(0x24).u16(row - 1).u16((col - 1) | 0xC000); }
    Expr &refN(int dRow, int dCol) { return u8(0x2C).u16(dRow & 0xFFFF).u16((dCol & 0xFF) | 0xC000); }
    Expr &area3d(int ixti, int r1, int r2, int c1, int c2)
    {
        return u8(0x3B).u16(ixti).u16(r1 - 1).u16(r2 - 1).u16(c1 - 1).u16(c2 - 1);
    }
    Expr &exp(int row, int col) { return u8(0x01).u16(row - 1).u16(col - 1); }
    Expr &name(int index) { return u8(0x43).u16(index).u16(0); }
    Expr &num(int v) { return u8(0x1E).u16(v); }
    Expr &mul() { return u8(0x05); }
    Expr &sum() { return u8(0x19).u8(0x10).u16(0); }
    operator QByteArray() const { return b; }
};

uint16_t at16(const QByteArray &b, int i) { return uint16_t(uint8_t(b[i]) | (uint8_t(b[i + 1]) << 8)); }

constexpr int kFlags = 8, kCce = 14, kRgce = 16;

QByteArray formulaRecord(const QByteArray &rgce, uint16_t flags = 0)
{
    Expr e;
    e.b = QByteArray(8, '\0');
    e.u16(flags).u16(0).u16(0).u16(int(rgce.size()));
    return e.b + rgce;
}

QByteArray tokensOf(const Formula &f) { return f.record.mid(kRgce, at16(f.record, kCce)); }
bool marked(const Formula &f) { return at16(f.record, kFlags) & 0x0001; }

QByteArray nameRecord(const QString &name, const QByteArray &rgce, int builtin = -1)
{
    Expr e;
    e.u16(builtin >= 0 ? 0x0020 : 0).u8(0).u8(builtin >= 0 ? 1 : int(name.size())).u16(int(rgce.size()));
    e.u16(0).u16(builtin >= 0 ? 1 : 0).u16(0).u16(0).u8(0);
    if (builtin >= 0)
        e.u8(builtin);
    else
        e.b.append(name.toLatin1());
    return e.b + rgce;
}

// "Incassi" (tab 0) with records in rows 2..8, H the amounts, U a shared check column
// =H*2 over U2:U8, V2:V4 an array formula; "Riepilogo" (tab 1) with a summary.
struct Book {
    Workbook book;
    Worksheet &ledger = book.sheet(1);
    Worksheet &summary = book.appendSheet(QStringLiteral("Riepilogo"));

    Book()
    {
        book.structureEdits = nullptr;   // the pass is called by hand here
        ledger.setName(QStringLiteral("Incassi"));
        book.extras = std::make_shared<BiffExtras>();
        biff::SupBook internal;
        internal.internal = true;
        internal.record = Expr().u16(2).u16(0x0401);
        book.extras->supBooks.push_back(internal);
        book.extras->xtis = {{0, 0, 0}, {0, 1, 1}};
        book.extras->sheetTabCount = 2;
        ledger.extras = std::make_shared<BiffExtras>();
        ledger.extras->originalTab = 0;
        summary.extras = std::make_shared<BiffExtras>();
        summary.extras->originalTab = 1;
        for (int row = 2; row <= 8; ++row) {
            ledger.cells(row, 1).setValue(double(row));
            ledger.cells(row, 8).setValue(row * 10.0);
            put(ledger, row, 21, Expr().exp(2, 21), 0x0008);
        }
        // SHRFMLA: RefU U2:U8, reserved, cUse, cce, H (13 columns left) * 2
        const QByteArray shared = Expr().refN(0, -13).num(2).mul();
        Expr sh;
        sh.u16(1).u16(7).u8(20).u8(20).u8(0).u8(7).u16(int(shared.size()));
        ledger.extras->formulaFollowers[formulaAt(ledger, 2, 21)].push_back({biff::kShrFmla, sh.b + shared});
        // ARRAY over V2:V4: =H2:H4*2
        for (int row = 2; row <= 4; ++row)
            put(ledger, row, 22, Expr().exp(2, 22));
        const QByteArray arr = Expr().u8(0x65).u16(1).u16(3).u16(7 | 0xC000).u16(7 | 0xC000).num(2).mul();
        Expr ar;
        ar.u16(1).u16(3).u8(21).u8(21).u16(0).u16(0).u16(0).u16(int(arr.size()));
        ledger.extras->formulaFollowers[formulaAt(ledger, 2, 22)].push_back({biff::kArray, ar.b + arr});

        put(summary, 1, 1, Expr().area3d(0, 2, 100, 8, 8).sum());   // =SUM(Incassi!H2:H100)
        put(summary, 2, 1, Expr().area3d(0, 1, 1, 1, 1));           // =Incassi!A1: above every edit
        put(summary, 3, 1, Expr().name(1).sum());                   // =SUM(Totali)
        put(summary, 4, 1, Expr().ref(1, 2));                       // =B1 of its own sheet

        book.extras->names.push_back({nameRecord(QStringLiteral("Totali"), Expr().area3d(0, 2, 8, 8, 8)), -1, 0});
        book.extras->names.push_back({nameRecord({}, Expr().area3d(0, 1, 8, 1, 19), 0x06), 0x106, 1});
        ledger.pageSetup().printArea = QStringLiteral("$A$1:$S$8");
        ledger.pageSetup().printTitleRows = QStringLiteral("$1:$1");

        // a chart sheet plotting H2:H8
        biff::OtherSheet chart;
        chart.originalTab = 2;
        const QByteArray series = Expr().area3d(0, 2, 8, 8, 8);
        Expr brai;
        brai.u8(1).u8(2).u16(0).u16(0).u16(int(series.size()));
        chart.records.push_back({0x1051, brai.b + series});
        book.extras->otherSheets.push_back(chart);
    }

    void put(Worksheet &ws, int row, int col, const QByteArray &rgce, uint16_t flags = 0)
    {
        Formula f;
        f.record = formulaRecord(rgce, flags);
        Cell c;
        c.kind = CellKind::Number;
        c.flags = Cell::kFormula;
        c.ref = uint32_t(ws.formulas().size());
        ws.formulas().push_back(f);
        ws.putCell(row, col, c);
    }
    static uint32_t formulaAt(const Worksheet &ws, int row, int col) { return ws.cellAt(row, col)->ref; }
    Formula &formula(Worksheet &ws, int row, int col) { return ws.formulas()[formulaAt(ws, row, col)]; }

    void deleteRows(int first, int last)
    {
        ledger.removeRows(first, last);
        shiftFormulas(book, ledger, rowShiftFor(ledger, RowShift::Delete, first, last));
    }
    // Sorts A2:S8 by A descending, the way the model reports it.
    void sortDescending()
    {
        SortOptions o;
        o.keyColumn = 1;
        o.order = SortOrder::Descending;
        o.header = SortHeader::No;
        ledger.range(QStringLiteral("A2:S8")).sort(o);
        RowShift s = rowShiftFor(ledger, RowShift::Sort, 2, 8);
        s.right = 19;
        s.newRowOf = {8, 7, 6, 5, 4, 3, 2};
        shiftFormulas(book, ledger, s);
    }
};

} // namespace

class TstBookShift : public QObject {
    Q_OBJECT
private slots:
    void deleteSplitsSharedFormula()
    {
        Book b;
        b.deleteRows(4, 4);
        // The shared record is gone, every cell holds its own formula =H<row>*2, flag cleared.
        const auto &followers = b.ledger.extras->formulaFollowers[Book::formulaAt(b.ledger, 2, 21)];
        QVERIFY(std::none_of(followers.begin(), followers.end(), [](const biff::RawRecord &r) { return r.type == biff::kShrFmla; }));
        for (int row = 2; row <= 7; ++row) {
            const Formula &f = b.formula(b.ledger, row, 21);
            QCOMPARE(tokensOf(f).toHex(' '), QByteArray(Expr().ref(row, 8).num(2).mul()).toHex(' '));
            QCOMPARE(at16(f.record, kFlags) & 0x0008, 0);
        }
    }

    void sharedFormulaUntouchedStaysShared()
    {
        Book b;
        b.ledger.cells(12, 1).setValue(1.0);
        const QByteArray before = b.formula(b.ledger, 5, 21).record;
        b.deleteRows(12, 12);
        QCOMPARE(b.formula(b.ledger, 5, 21).record, before);
        const auto &followers = b.ledger.extras->formulaFollowers[Book::formulaAt(b.ledger, 2, 21)];
        QCOMPARE(followers.front().type, uint16_t(biff::kShrFmla));
    }

    // Names, the page set-up's print names and chart series follow; formulas over moved
    // cells are marked stale, the others are not.
    void deleteReachesEveryFormula()
    {
        Book b;
        b.deleteRows(3, 3);
        QCOMPARE(tokensOf(b.formula(b.summary, 1, 1)).toHex(' '), QByteArray(Expr().area3d(0, 2, 99, 8, 8).sum()).toHex(' '));
        QVERIFY(marked(b.formula(b.summary, 1, 1)));
        QVERIFY(!marked(b.formula(b.summary, 2, 1)));
        QVERIFY(marked(b.formula(b.summary, 3, 1)));   // through the name
        QVERIFY(!marked(b.formula(b.summary, 4, 1)));
        const QByteArray totali = b.book.extras->names[0].record;
        QCOMPARE(totali.right(11).toHex(' '), QByteArray(Expr().area3d(0, 2, 7, 8, 8)).toHex(' '));
        QCOMPARE(b.ledger.pageSetup().printArea, QStringLiteral("$A$1:$S$7"));
        QCOMPARE(b.ledger.pageSetup().printTitleRows, QStringLiteral("$1:$1"));
        const QByteArray brai = b.book.extras->otherSheets[0].records[0].data;
        QCOMPARE(brai.mid(8).toHex(' '), QByteArray(Expr().area3d(0, 2, 7, 8, 8)).toHex(' '));

        // The title row goes: so do the print titles.
        b.deleteRows(1, 1);
        QCOMPARE(b.ledger.pageSetup().printTitleRows, QString());
        QCOMPARE(b.ledger.pageSetup().printArea, QStringLiteral("$A$1:$S$6"));
    }

    // An array losing its first row goes on from its new first cell.
    void deleteCutsArray()
    {
        Book b;
        b.deleteRows(2, 2);
        const uint32_t host = Book::formulaAt(b.ledger, 2, 22);
        const auto &list = b.ledger.extras->formulaFollowers[host];
        auto rec = std::find_if(list.begin(), list.end(), [](const biff::RawRecord &r) { return r.type == biff::kArray; });
        QVERIFY(rec != list.end());
        QCOMPARE(at16(rec->data, 0), uint16_t(1));   // V2:V3
        QCOMPARE(at16(rec->data, 2), uint16_t(2));
        QCOMPARE(rec->data.mid(14, 9).toHex(' '), QByteArray(Expr().u8(0x65).u16(1).u16(2).u16(7 | 0xC000).u16(7 | 0xC000)).toHex(' '));
        for (int row = 2; row <= 3; ++row)
            QCOMPARE(tokensOf(b.formula(b.ledger, row, 22)).toHex(' '), QByteArray(Expr().exp(2, 22)).toHex(' '));
    }

    // A sort keeps references where they are but marks what reads the sorted block.
    void sortMarksReaders()
    {
        Book b;
        const QByteArray sum = tokensOf(b.formula(b.summary, 1, 1));
        b.sortDescending();
        QCOMPARE(tokensOf(b.formula(b.summary, 1, 1)), sum);
        QVERIFY(marked(b.formula(b.summary, 1, 1)));
        QVERIFY(marked(b.formula(b.summary, 3, 1)));
        QVERIFY(!marked(b.formula(b.summary, 2, 1)));
        QCOMPARE(b.ledger.pageSetup().printArea, QStringLiteral("$A$1:$S$8"));
        // The check column U is outside the sorted columns: it stays shared, marked stale.
        const auto &followers = b.ledger.extras->formulaFollowers[Book::formulaAt(b.ledger, 2, 21)];
        QCOMPARE(followers.front().type, uint16_t(biff::kShrFmla));
        QVERIFY(marked(b.formula(b.ledger, 5, 21)));
    }

    // A one-cell array formula in a sorted row goes with its row, its range and its
    // relative references too.
    void sortMovesOneRowArray()
    {
        Book b;
        b.put(b.ledger, 3, 3, Expr().exp(3, 3));
        const QByteArray arr = Expr().u8(0x65).u16(2).u16(2).u16(7 | 0xC000).u16(7 | 0xC000).num(2).mul();
        Expr ar;
        ar.u16(2).u16(2).u8(2).u8(2).u16(0).u16(0).u16(0).u16(int(arr.size()));
        b.ledger.extras->formulaFollowers[Book::formulaAt(b.ledger, 3, 3)].push_back({biff::kArray, ar.b + arr});
        b.sortDescending();   // old row 3 is now row 7
        const auto &list = b.ledger.extras->formulaFollowers[Book::formulaAt(b.ledger, 7, 3)];
        QCOMPARE(list.size(), size_t(1));
        QCOMPARE(at16(list[0].data, 0), uint16_t(6));
        QCOMPARE(at16(list[0].data, 2), uint16_t(6));
        QCOMPARE(list[0].data.mid(14, 9).toHex(' '), QByteArray(Expr().u8(0x65).u16(6).u16(6).u16(7 | 0xC000).u16(7 | 0xC000)).toHex(' '));
        QCOMPARE(tokensOf(b.formula(b.ledger, 7, 3)).toHex(' '), QByteArray(Expr().exp(7, 3)).toHex(' '));
    }

    // Records we cannot read are left as they are, and nothing breaks.
    void malformedRecordsStay()
    {
        Book b;
        Formula &f = b.formula(b.summary, 4, 1);
        f.record = f.record.left(kRgce + 2);   // cce says 5, two bytes are there
        const QByteArray cut = f.record;
        b.book.extras->names[0].record.truncate(12);
        const QByteArray name = b.book.extras->names[0].record;
        auto &followers = b.ledger.extras->formulaFollowers[Book::formulaAt(b.ledger, 2, 21)];
        followers.front().data.truncate(12);
        b.deleteRows(3, 3);
        QCOMPARE(f.record, cut);
        QCOMPARE(b.book.extras->names[0].record, name);
        // The summary still followed.
        QCOMPARE(tokensOf(b.formula(b.summary, 1, 1)).toHex(' '), QByteArray(Expr().area3d(0, 2, 99, 8, 8).sum()).toHex(' '));
    }

    // What the pass leaves is a file the engine reads back with the same formulas.
    void savedAndReadBack()
    {
        Book b;
        b.book.extras->otherSheets.clear();   // the chart sheet here is only its series
        b.deleteRows(4, 4);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Contavio.xls"));
        b.book.saveAs(path);
        Server server;
        Workbook *opened = nullptr;
        try {
            opened = &server.open(path, QString());
        } catch (const StoreError &e) {
            QFAIL(qPrintable(e.userMessage() + QStringLiteral(" / ") + e.detail()));
        }
        Workbook &again = *opened;
        Worksheet &ledger = again.sheet(QStringLiteral("Incassi"));
        for (int row = 2; row <= 7; ++row) {
            const Cell *c = ledger.cellAt(row, 21);
            QVERIFY(c && c->isFormula());
            QCOMPARE(tokensOf(ledger.formulas()[c->ref]).toHex(' '), QByteArray(Expr().ref(row, 8).num(2).mul()).toHex(' '));
        }
        Worksheet &summary = again.sheet(QStringLiteral("Riepilogo"));
        QCOMPARE(tokensOf(summary.formulas()[summary.cellAt(1, 1)->ref]).toHex(' '),
                 QByteArray(Expr().area3d(0, 2, 99, 8, 8).sum()).toHex(' '));
        QCOMPARE(ledger.pageSetup().printArea, QStringLiteral("$A$1:$S$7"));
    }
};

QTEST_GUILESS_MAIN(TstBookShift)
#include "tst_bookshift.moc"
