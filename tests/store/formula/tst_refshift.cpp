// The reference shifter over parsed expressions: what row deletes and sorts do to every kind
// of reference token, the tokens that only need to be walked over, and malformed input.

#include "store/formula/ptg.h"
#include "store/formula/refshift.h"

#include <QRandomGenerator>
#include <QTest>

using namespace store;

Q_DECLARE_METATYPE(store::RangeRect)

namespace {

// Expression builders; rows and columns 1-based, as the tests read them.
struct Expr {
    QByteArray b;
    Expr &u8(int v) { b.append(char(uint8_t(v))); return *this; }
    Expr &u16(int v) { u8(v & 0xFF); return u8((v >> 8) & 0xFF); }
    static int colField(int col, bool relRow, bool relCol)
    {
        return (col - 1) | (relRow ? 0x8000 : 0) | (relCol ? 0x4000 : 0);
    }
    Expr &ref(int row, int col, bool rel = true, int ptg = 0x24)
    {
        return u8(ptg).u16(row - 1).u16(colField(col, rel, rel));
    }
    Expr &area(int r1, int r2, int c1, int c2, bool rel = true, int ptg = 0x25)
    {
        return u8(ptg).u16(r1 - 1).u16(r2 - 1).u16(colField(c1, rel, rel)).u16(colField(c2, rel, rel));
    }
    // Offsets from the site, as shared formulas hold them.
    Expr &refN(int dRow, int dCol) { return u8(0x2C).u16(dRow & 0xFFFF).u16((dCol & 0xFF) | 0xC000); }
    Expr &areaN(int d1, int d2, int dCol)
    {
        return u8(0x2D).u16(d1 & 0xFFFF).u16(d2 & 0xFFFF).u16((dCol & 0xFF) | 0xC000).u16((dCol & 0xFF) | 0xC000);
    }
    Expr &ref3d(int ixti, int row, int col, bool rel = false) { return u8(0x3A).u16(ixti).u16(row - 1).u16(colField(col, rel, rel)); }
    Expr &area3d(int ixti, int r1, int r2, int c1, int c2, bool rel = false)
    {
        return u8(0x3B).u16(ixti).u16(r1 - 1).u16(r2 - 1).u16(colField(c1, rel, rel)).u16(colField(c2, rel, rel));
    }
    Expr &sum() { return u8(0x19).u8(0x10).u16(0); }   // ptgAttr sum
    Expr &num(int v) { return u8(0x1E).u16(v); }
    Expr &add() { return u8(0x03); }
    operator QByteArray() const { return b; }
};

uint16_t at16(const QByteArray &b, int i) { return uint16_t(uint8_t(b[i]) | (uint8_t(b[i + 1]) << 8)); }

// Sheet tabs: 0 "Incassi" (edited), 1 "Riepilogo". XTI 0 = Incassi, 1 = Riepilogo,
// 2 = both, 3 = a sheet of another workbook.
XtiTable tabs()
{
    XtiTable t;
    t.internalSupBook = 0;
    t.xtis = {{0, 0, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 0}};
    return t;
}

RowShift deleting(int first, int last)
{
    RowShift s;
    s.sheetTab = 0;
    s.kind = RowShift::Delete;
    s.first = first;
    s.last = last;
    return s;
}

// Rows 2..4 sorted: old 2 -> 4, 3 -> 2, 4 -> 3.
RowShift sorting()
{
    RowShift s;
    s.sheetTab = 0;
    s.kind = RowShift::Sort;
    s.first = 2;
    s.last = 4;
    s.left = 1;
    s.right = 19;
    s.newRowOf = {4, 2, 3};
    return s;
}

Site cellAt(int tab, int row, int col, Site::Form form = Site::Form::Cell) { return Site{tab, row, col, form}; }

ShiftResult shift(QByteArray &e, const Site &site, const RowShift &s) { return shiftExpression(e, e.size(), site, s, tabs()); }

} // namespace

class TstRefShift : public QObject {
    Q_OBJECT
private slots:
    // Rows 5..7 of the edited sheet go; the tokens are in a formula of another sheet.
    void deleteRows_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("cell above stays") << QByteArray(Expr().ref3d(0, 4, 2)) << QByteArray(Expr().ref3d(0, 4, 2));
        QTest::newRow("cell below moves up") << QByteArray(Expr().ref3d(0, 8, 2)) << QByteArray(Expr().ref3d(0, 5, 2));
        QTest::newRow("deleted cell is #REF!")
            << QByteArray(Expr().ref3d(0, 6, 2)) << QByteArray(Expr().u8(0x3C).u16(0).u16(0).u16(0));
        QTest::newRow("area spanning shrinks") << QByteArray(Expr().area3d(0, 2, 100, 8, 8)) << QByteArray(Expr().area3d(0, 2, 97, 8, 8));
        QTest::newRow("area ending inside is cut") << QByteArray(Expr().area3d(0, 2, 6, 1, 3)) << QByteArray(Expr().area3d(0, 2, 4, 1, 3));
        QTest::newRow("area starting inside starts at the gap")
            << QByteArray(Expr().area3d(0, 6, 10, 1, 3)) << QByteArray(Expr().area3d(0, 5, 7, 1, 3));
        QTest::newRow("area inside is #REF!")
            << QByteArray(Expr().area3d(0, 5, 7, 1, 3)) << QByteArray(Expr().u8(0x3D).u16(0).u16(0).u16(0).u16(0).u16(0));
        QTest::newRow("area below moves") << QByteArray(Expr().area3d(0, 9, 12, 1, 1)) << QByteArray(Expr().area3d(0, 6, 9, 1, 1));
        QTest::newRow("area above stays") << QByteArray(Expr().area3d(0, 1, 4, 1, 1)) << QByteArray(Expr().area3d(0, 1, 4, 1, 1));
        QTest::newRow("whole column stays") << QByteArray(Expr().area3d(0, 1, 65536, 2, 2)) << QByteArray(Expr().area3d(0, 1, 65536, 2, 2));
        QTest::newRow("reversed area keeps its order")
            << QByteArray(Expr().area3d(0, 20, 3, 1, 1)) << QByteArray(Expr().area3d(0, 17, 3, 1, 1));
        QTest::newRow("other sheet stays") << QByteArray(Expr().ref3d(1, 8, 2)) << QByteArray(Expr().ref3d(1, 8, 2));
        QTest::newRow("several sheets stay") << QByteArray(Expr().area3d(2, 8, 9, 2, 2)) << QByteArray(Expr().area3d(2, 8, 9, 2, 2));
        QTest::newRow("another workbook stays") << QByteArray(Expr().ref3d(3, 8, 2)) << QByteArray(Expr().ref3d(3, 8, 2));
        QTest::newRow("bad XTI index stays") << QByteArray(Expr().ref3d(40, 8, 2)) << QByteArray(Expr().ref3d(40, 8, 2));
        QTest::newRow("value and array classes keep their class")
            << QByteArray(Expr().ref3d(0, 9, 1).b + Expr().u8(0x5A).u16(0).u16(5).u16(0).b + Expr().u8(0x7B).u16(0).u16(5).u16(6).u16(0).u16(0).b)
            << QByteArray(Expr().ref3d(0, 6, 1).b + Expr().u8(0x5C).u16(0).u16(0).u16(0).b + Expr().u8(0x7D).u16(0).u16(0).u16(0).u16(0).u16(0).b);
    }
    void deleteRows()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QByteArray e = before;
        const ShiftResult r = shift(e, cellAt(1, 3, 3), deleting(5, 7));
        QCOMPARE(e.toHex(' '), after.toHex(' '));
        QCOMPARE(r, before == after ? ShiftResult::Unchanged : ShiftResult::Changed);
    }

    // Formulas of the edited sheet itself hold positions: their own move changes nothing.
    void sameSheetFormulas()
    {
        // B4 =SUM(B2:B3); row 2 goes; the formula is now in B3 and must not read itself.
        QByteArray e = Expr().area(2, 3, 2, 2).sum();
        QCOMPARE(shift(e, cellAt(0, 4, 2), deleting(2, 2)), ShiftResult::Changed);
        QCOMPARE(e.toHex(' '), QByteArray(Expr().area(2, 2, 2, 2).sum()).toHex(' '));

        // C9 =B9+$B$1+B3 after rows 5..7 go: the relative B9 becomes B6, B3 and $B$1 stay.
        e = Expr().ref(9, 2).ref(1, 2, false).add().ref(3, 2).add();
        QCOMPARE(shift(e, cellAt(0, 9, 3), deleting(5, 7)), ShiftResult::Changed);
        QCOMPARE(e.toHex(' '), QByteArray(Expr().ref(6, 2).ref(1, 2, false).add().ref(3, 2).add()).toHex(' '));

        // 2-D tokens of another sheet's formula name that sheet: nothing to do.
        e = Expr().ref(9, 2);
        QCOMPARE(shift(e, cellAt(1, 9, 3), deleting(5, 7)), ShiftResult::Unchanged);

        // A deleted row under a 2-D token: #REF!, same size, same class, relative flags kept.
        e = Expr().ref(6, 2, true, 0x44).area(5, 7, 1, 1, true, 0x65);
        QCOMPARE(shift(e, cellAt(0, 9, 3), deleting(5, 7)), ShiftResult::Changed);
        QCOMPARE(e.toHex(' '), QByteArray(Expr().u8(0x4A).u16(0).u16(0xC000).u8(0x6B).u16(0).u16(0).u16(0xC000).u16(0xC000)).toHex(' '));
    }

    // Shared formulas hold offsets from their cell: the cell's own move counts.
    void relativeOffsets()
    {
        // In C10: B10 (0 rows up) and B2:B9 (-8..-1). Rows 5..7 go; the cell is now C7.
        QByteArray e = Expr().refN(0, -1).areaN(-8, -1, -1);
        QCOMPARE(shift(e, cellAt(0, 10, 3, Site::Form::Shared), deleting(5, 7)), ShiftResult::Changed);
        // B7 is still 0 up; B2:B6 is -5..-1 from C7.
        QCOMPARE(e.toHex(' '), QByteArray(Expr().refN(0, -1).areaN(-5, -1, -1)).toHex(' '));

        // A moved shared formula reading another sheet through a relative 3-D token keeps
        // pointing at the same cell there: its offset grows by the rows it moved.
        e = Expr().u8(0x3A).u16(1).u16(uint16_t(-2)).u16(0xC001);   // Riepilogo!B(row-2)
        QCOMPARE(shift(e, cellAt(0, 10, 3, Site::Form::Shared), deleting(5, 7)), ShiftResult::Changed);
        QCOMPARE(at16(e, 3), uint16_t(1));   // 8 from row 7 is +1

        // The same token in a cell formula holds a position: it stays.
        e = Expr().ref3d(1, 8, 2, true);
        QCOMPARE(shift(e, cellAt(0, 10, 3), deleting(5, 7)), ShiftResult::Unchanged);

        // A relative offset pointing into the deleted rows is #REF!.
        e = Expr().refN(-4, 0);   // row 6 from row 10
        QCOMPARE(shift(e, cellAt(0, 10, 3, Site::Form::Shared), deleting(5, 7)), ShiftResult::Changed);
        QCOMPARE(uint8_t(e[0]), uint8_t(0x2A));
    }

    // Tokens that carry no reference must be walked exactly, or the ones after them are missed.
    void walkedTokens()
    {
        // =CHOOSE(2; A8; A9) + A10 with its jump table, then a string, a number and a bool.
        Expr e;
        e.num(2);
        e.u8(0x19).u8(0x04).u16(2).u16(8).u16(17).u16(26);   // choose, 2 offsets + 1
        e.ref(8, 1).u8(0x19).u8(0x08).u16(14);                // goto
        e.ref(9, 1).u8(0x19).u8(0x08).u16(5);
        e.u8(0x22).u8(3).u16(100);                            // funcvar CHOOSE
        e.u8(0x17).u8(3).u8(1).u16('a').u16('b').u16('c');   // wide string
        e.u8(0x1F).b.append(QByteArray(8, '\x24'));           // a number whose bytes look like ptgRef
        e.u8(0x1D).u8(1).ref(10, 1).add();
        QByteArray x = e;
        const QByteArray before = x;
        QCOMPARE(shift(x, cellAt(0, 20, 2), deleting(5, 7)), ShiftResult::Changed);
        QCOMPARE(x.size(), before.size());
        std::vector<ptg::Token> tokens;
        QVERIFY(ptg::tokenize(x, x.size(), tokens));
        QList<int> rows;
        for (const ptg::Token &t : tokens)
            if (t.base() == ptg::kRef)
                rows << at16(x, t.offset + 1) + 1;
        QCOMPARE(rows, (QList<int>{5, 6, 7}));
        // jump offsets and the number's bytes are untouched
        QCOMPARE(x.mid(3, 10), before.mid(3, 10));
        QCOMPARE(x.mid(x.indexOf('\x1F'), 9), before.mid(before.indexOf('\x1F'), 9));

        // Memory tokens wrap sub-expressions whose references still follow; array
        // constants after the expression stay as they are.
        Expr m;
        m.u8(0x29).u16(19).area(8, 9, 1, 1).area(1, 2, 1, 1).u8(0x10);
        m.u8(0x20).b.append(QByteArray(7, '\0'));
        const int cce = int(m.b.size());
        m.u8(0).u16(0).u8(1).b.append(QByteArray(8, '\x24'));   // 1x1 array: one number
        QByteArray y = m;
        const QByteArray extra = y.mid(cce);
        QCOMPARE(shiftExpression(y, cce, cellAt(0, 20, 2), deleting(5, 7), tabs()), ShiftResult::Changed);
        QCOMPARE(at16(y, 4), uint16_t(4));
        QCOMPARE(at16(y, 6), uint16_t(5));
        QCOMPARE(y.mid(cce), extra);
    }

    // Anything we cannot walk is left byte for byte: better stale than broken.
    void malformed_data()
    {
        QTest::addColumn<QByteArray>("expr");
        QTest::addColumn<int>("cce");
        const QByteArray good = Expr().ref(9, 1);
        QTest::newRow("unknown token") << QByteArray(Expr().ref(9, 1).u8(0x30).ref(9, 1)) << 11;
        QTest::newRow("truncated reference") << good.left(3) << 3;
        QTest::newRow("cce past the data") << good << 9;
        QTest::newRow("choose table past the end") << QByteArray(Expr().ref(9, 1).u8(0x19).u8(0x04).u16(300)) << 9;
        QTest::newRow("string past the end") << QByteArray(Expr().ref(9, 1).u8(0x17).u8(40).u8(0)) << 8;
        QTest::newRow("negative cce") << good << -1;
    }
    void malformed()
    {
        QFETCH(QByteArray, expr);
        QFETCH(int, cce);
        QByteArray e = expr;
        QCOMPARE(shiftExpression(e, cce, cellAt(0, 20, 1), deleting(5, 7), tabs()), ShiftResult::Unchanged);
        QCOMPARE(e, expr);
        QVERIFY(!readsMovedCells(e, cce, cellAt(0, 20, 1), deleting(5, 7), tabs()));
    }

    // Random bytes: the shifter never grows or shrinks an expression, never breaks the
    // token boundaries of one it changed, and never writes past cce.
    void randomExpressions()
    {
        QRandomGenerator random(20091963);
        // Token bytes and the payload sizes they take; the payloads are random.
        static const std::pair<uint8_t, int> kinds[] = {
            {0x24, 4}, {0x25, 8}, {0x2C, 4}, {0x2D, 8}, {0x3A, 6}, {0x3B, 10}, {0x44, 4}, {0x65, 8},
            {0x5A, 6}, {0x7B, 10}, {0x3C, 6}, {0x2A, 4}, {0x1E, 2}, {0x1F, 8}, {0x01, 4}, {0x29, 2},
            {0x20, 7}, {0x39, 6}, {0x03, 0}, {0x10, 0}, {0x15, 0}, {0x22, 3}, {0x42, 2}};
        int changed = 0;
        for (int round = 0; round < 20000; ++round) {
            QByteArray e;
            const int count = int(random.bounded(1, 8));
            for (int k = 0; k < count; ++k) {
                const auto &[kind, size] = kinds[random.bounded(int(std::size(kinds)))];
                e.append(char(kind));
                for (int i = 0; i < size; ++i)
                    e.append(char(random.bounded(256)));
            }
            if (random.bounded(4) == 0)   // now and then a byte goes wrong
                e[random.bounded(int(e.size()))] = char(random.bounded(256));
            const qsizetype cce = random.bounded(8) ? e.size() : random.bounded(int(e.size()) + 1);
            e.append(QByteArray(int(random.bounded(4)), '\x24'));   // extra data
            const QByteArray before = e;
            std::vector<ptg::Token> was, now;
            const bool wellFormed = ptg::tokenize(before, cce, was);
            const Site site{int(random.bounded(2)), int(random.bounded(1, 70000)), int(random.bounded(1, 257)),
                            Site::Form(random.bounded(3))};
            const RowShift s = random.bounded(2) ? deleting(int(random.bounded(1, 100)), 120) : sorting();
            const ShiftResult r = shiftExpression(e, cce, site, s, tabs());
            readsMovedCells(e, cce, site, s, tabs());
            QCOMPARE(e.size(), before.size());
            QCOMPARE(e.mid(cce), before.mid(cce));
            if (r == ShiftResult::Unchanged) {
                QCOMPARE(e, before);
                continue;
            }
            ++changed;
            QVERIFY(wellFormed);
            QVERIFY(ptg::tokenize(e, cce, now));
            QCOMPARE(now.size(), was.size());
            for (size_t i = 0; i < now.size(); ++i)
                QCOMPARE(now[i].offset, was[i].offset);
        }
        QVERIFY(changed > 100);   // the rounds did reach the shifting code
    }

    // A sort keeps references in place, except the relative ones of a formula that moved
    // with its row, which keep their distance to it as a copied formula would.
    void sortRows()
    {
        // C2 =B2*10 (relative) and =$B$2 (absolute) move with old row 2 to row 4.
        QByteArray e = Expr().ref(2, 2).ref(2, 2, false).add();
        QCOMPARE(shift(e, cellAt(0, 2, 3), sorting()), ShiftResult::Changed);
        QCOMPARE(e.toHex(' '), QByteArray(Expr().ref(4, 2).ref(2, 2, false).add()).toHex(' '));

        // A formula outside the sorted block keeps its references...
        e = Expr().ref(2, 2).area3d(0, 2, 4, 2, 2);
        const QByteArray kept = e;
        QCOMPARE(shift(e, cellAt(0, 6, 2), sorting()), ShiftResult::Unchanged);
        QCOMPARE(e, kept);
        // ...but reads moved cells, so its cached result is stale.
        QVERIFY(readsMovedCells(e, e.size(), cellAt(0, 6, 2), sorting(), tabs()));
        // Columns outside the sorted ones did not move, nor did rows outside the block.
        e = Expr().ref(3, 20);
        QVERIFY(!readsMovedCells(e, e.size(), cellAt(0, 6, 2), sorting(), tabs()));
        QCOMPARE(shift(e, cellAt(0, 3, 20), sorting()), ShiftResult::Unchanged);
        e = Expr().area(5, 9, 1, 3);
        QVERIFY(!readsMovedCells(e, e.size(), cellAt(0, 12, 2), sorting(), tabs()));
        // A summary sheet reading the block through a 3-D area.
        e = Expr().area3d(0, 2, 100, 8, 8);
        QVERIFY(readsMovedCells(e, e.size(), cellAt(1, 1, 1), sorting(), tabs()));
        e = Expr().area3d(1, 2, 100, 8, 8);
        QVERIFY(!readsMovedCells(e, e.size(), cellAt(1, 1, 1), sorting(), tabs()));

        // A relative reference pushed off the grid by the move becomes #REF!.
        RowShift s = sorting();
        s.first = 65534;
        s.last = 65536;
        s.newRowOf = {65536, 65534, 65535};
        e = Expr().ref(65536, 1);   // in B65534 it reads two rows down, past the grid once moved
        QCOMPARE(shift(e, cellAt(0, 65534, 2), s), ShiftResult::Changed);
        QCOMPARE(uint8_t(e[0]), uint8_t(0x2A));
    }

    void namesHaveNoCell()
    {
        // Print area and a user name are 3-D and absolute: they follow the rows.
        QByteArray e = Expr().area3d(0, 1, 40, 1, 19);
        QCOMPARE(shift(e, Site{-1, 0, 0, Site::Form::Name}, deleting(5, 7)), ShiftResult::Changed);
        QCOMPARE(at16(e, 5), uint16_t(36));
        // A relative part has no cell to count from: left alone, and assumed to read moved cells.
        e = Expr().ref3d(0, 9, 1, true);
        QCOMPARE(shift(e, Site{-1, 0, 0, Site::Form::Name}, deleting(5, 7)), ShiftResult::Unchanged);
        QVERIFY(readsMovedCells(e, e.size(), Site{-1, 0, 0, Site::Form::Name}, deleting(5, 7), tabs()));
    }

    void ranges_data()
    {
        QTest::addColumn<RangeRect>("before");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<RangeRect>("after");
        QTest::newRow("above") << RangeRect{1, 1, 4, 3} << true << RangeRect{1, 1, 4, 3};
        QTest::newRow("below") << RangeRect{8, 1, 9, 3} << true << RangeRect{5, 1, 6, 3};
        QTest::newRow("spanning") << RangeRect{2, 1, 20, 19} << true << RangeRect{2, 1, 17, 19};
        QTest::newRow("top inside") << RangeRect{6, 1, 9, 1} << true << RangeRect{5, 1, 6, 1};
        QTest::newRow("bottom inside") << RangeRect{3, 1, 6, 1} << true << RangeRect{3, 1, 4, 1};
        QTest::newRow("inside") << RangeRect{5, 2, 7, 2} << false << RangeRect{};
    }
    void ranges()
    {
        QFETCH(RangeRect, before);
        QFETCH(bool, kept);
        QFETCH(RangeRect, after);
        const auto r = shiftRange(before, deleting(5, 7));
        QCOMPARE(r.has_value(), kept);
        if (kept)
            QCOMPARE(*r, after);
        QCOMPARE(*shiftRange(before, sorting()), before);
    }
};

QTEST_GUILESS_MAIN(TstRefShift)
#include "tst_refshift.moc"
