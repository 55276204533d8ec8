// What a load and a save keep of a workbook another program wrote: sheet protection, hidden
// and grouped rows, page settings as stored, every area of a print area, macro sheets with
// their own texts, long texts; and sheet entries that would make one substream be read many
// times are refused. The other program (headless, through office_kept.py) is the judge;
// its tests are skipped when it is not installed.

#include "support/skip.h"
#include "support/runprogram.h"

#include "store/model/errors.h"
#include "store/model/workbook.h"
#include "store/biff/biff.h"
#include "store/xls/cfb.h"
#include "store/file/workbookfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace store;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

bool officeInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()
        && QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import uno, xlrd")}) == 0;
}

QByteArray runScript(const QStringList &args)
{
    const testrun::Run run = testrun::runProgram(kPython, args, 400000);
    if (run.exitCode != 0) {
        qWarning("%s", qPrintable(run.err.right(2000)));
        return {};
    }
    return run.out;
}

bool make(const QString &out)
{
    runScript({QStringLiteral(OFFICE_KEPT), QStringLiteral("make"), out});
    return QFileInfo::exists(out);
}

// The other program's reading of each file, in order.
QJsonArray readThere(const QStringList &files)
{
    return QJsonDocument::fromJson(runScript(QStringList{QStringLiteral(OFFICE_KEPT), QStringLiteral("read")} + files)).array();
}

QJsonObject sheetOf(const QJsonValue &doc, int index)
{
    return doc.toObject().value(QStringLiteral("sheets")).toArray().at(index).toObject();
}

// Compares every key of two sheet descriptions except those listed.
void compareSheets(const QJsonObject &was, const QJsonObject &now, const QStringList &except = {})
{
    QVERIFY(!was.isEmpty());
    for (auto it = was.begin(); it != was.end(); ++it) {
        if (except.contains(it.key()))
            continue;
        const QByteArray a = QJsonDocument(QJsonArray{it.value()}).toJson(QJsonDocument::Compact);
        const QByteArray b = QJsonDocument(QJsonArray{now.value(it.key())}).toJson(QJsonDocument::Compact);
        QVERIFY2(a == b, qPrintable(was.value(QStringLiteral("name")).toString() + QStringLiteral(" ") + it.key()
                                    + QStringLiteral(": ") + QString::fromUtf8(b.left(300)) + QStringLiteral(" instead of ")
                                    + QString::fromUtf8(a.left(300))));
    }
}

// The records of a Workbook stream, and the stream made again from them with every sheet
// entry pointing at the substream its `target` names (an index among the substreams).
struct Rec {
    uint16_t type;
    QByteArray data;
    int target = -1;
};

struct Parsed {
    std::vector<Rec> globals;
    std::vector<QByteArray> substreams;
};

Parsed parse(const QByteArray &stream)
{
    Parsed p;
    const uint8_t *d = reinterpret_cast<const uint8_t *>(stream.constData());
    qsizetype at = 0;
    int sheets = 0;
    bool inGlobals = true;
    qsizetype subStart = 0;
    while (at + 4 <= stream.size()) {
        const uint16_t type = biff::u16(d + at), size = biff::u16(d + at + 2);
        if (inGlobals) {
            Rec r{type, stream.mid(at + 4, size)};
            if (type == biff::kBoundSheet)
                r.target = sheets++;
            p.globals.push_back(r);
            if (type == biff::kEof) {
                inGlobals = false;
                subStart = at + 4 + size;
            }
        } else if (type == biff::kEof) {
            p.substreams.push_back(stream.mid(subStart, at + 4 + size - subStart));
            subStart = at + 4 + size;
        }
        at += 4 + size;
    }
    return p;
}

QByteArray build(const Parsed &p, qsizetype globalsShift = 0)
{
    QByteArray out;
    std::vector<qsizetype> patch;
    std::vector<int> targets;
    for (const Rec &r : p.globals) {
        char h[4];
        biff::put16(reinterpret_cast<uint8_t *>(h), r.type);
        biff::put16(reinterpret_cast<uint8_t *>(h) + 2, uint16_t(r.data.size()));
        out.append(h, 4);
        if (r.type == biff::kBoundSheet) {
            patch.push_back(out.size());
            targets.push_back(r.target);
        }
        out.append(r.data);
    }
    std::vector<qsizetype> starts;
    for (const QByteArray &s : p.substreams) {
        starts.push_back(out.size());
        out.append(s);
    }
    for (size_t i = 0; i < patch.size(); ++i) {
        const qsizetype position = targets[i] >= 0 ? starts[size_t(targets[i])] : globalsShift;
        biff::put32(reinterpret_cast<uint8_t *>(out.data()) + patch[i], uint32_t(position));
    }
    return out;
}

// The substreams without records of the given types.
Parsed without(Parsed p, std::initializer_list<uint16_t> types)
{
    for (QByteArray &sub : p.substreams) {
        QByteArray kept;
        const uint8_t *d = reinterpret_cast<const uint8_t *>(sub.constData());
        for (qsizetype at = 0; at + 4 <= sub.size();) {
            const uint16_t type = biff::u16(d + at), size = biff::u16(d + at + 2);
            if (std::find(types.begin(), types.end(), type) == types.end())
                kept.append(sub.mid(at, 4 + size));
            at += 4 + size;
        }
        sub = kept;
    }
    return p;
}

QByteArray streamOf(const QByteArray &image)
{
    for (const biff::CfbEntry &e : cfb::read(image))
        if (e.path == QLatin1String("Workbook"))
            return e.data;
    return {};
}

QByteArray streamOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const biff::CfbEntry &e : cfb::read(f.readAll()))
        if (e.path == QLatin1String("Workbook"))
            return e.data;
    return {};
}

QByteArray twoSheetStream()
{
    Workbook book;
    book.sheet(1).cells(1, 1).setValue(QStringLiteral("uno"));
    book.appendSheet(QStringLiteral("Secondo")).cells(1, 1).setValue(QStringLiteral("due"));
    for (const biff::CfbEntry &e : cfb::read(workbookBytes(book)))
        if (e.path == QLatin1String("Workbook"))
            return e.data;
    return {};
}

QByteArray image(const QByteArray &stream) { return cfb::write({biff::CfbEntry{QStringLiteral("Workbook"), stream, false}}); }

QString damageOf(const QByteArray &bytes)
{
    try {
        readWorkbookBytes(bytes, QString());
    } catch (const StoreError &e) {
        return e.kind() == ErrorKind::Damaged ? e.detail() : QStringLiteral("other error: ") + e.detail();
    }
    return QStringLiteral("opened");
}

} // namespace

class TestXlsKept : public QObject {
    Q_OBJECT

private slots:
    // Protection, hidden and grouped rows, a row height, page settings, a print area of two
    // areas and the cells come back as the other program wrote them.
    void otherProgramsBookSurvivesOpenAndSave()
    {
        if (!officeInstalled())
            CONTAVIO_SKIP("no headless spreadsheet program (soffice with python3-uno and python3-xlrd)");
        QTemporaryDir dir;
        const QString original = dir.filePath(QStringLiteral("fatto-altrove.xls"));
        const QString saved = dir.filePath(QStringLiteral("salvato.xls"));
        QVERIFY(make(original));
        auto book = readWorkbook(original, QString());
        QCOMPARE(book->sheet(1).pageSetup().printArea, QStringLiteral("$A$1:$B$6,$A$8:$C$12"));
        QVERIFY(book->sheet(1).rowFormat(3).hidden);
        book->saveAs(saved);

        const QJsonArray seen = readThere({original, saved});
        QCOMPARE(seen.size(), 2);
        QVERIFY(sheetOf(seen[0], 0).value(QStringLiteral("protected")).toBool());
        QCOMPARE(sheetOf(seen[0], 0).value(QStringLiteral("printAreas")).toArray().size(), 2);
        for (int s = 0; s < 2; ++s)
            compareSheets(sheetOf(seen[0], s), sheetOf(seen[1], s));
    }

    // What the program changes is written; every other value stays as the file had it, and
    // hidden rows move up with the rows below a deleted one.
    void programsChangesKeepTheRest()
    {
        if (!officeInstalled())
            CONTAVIO_SKIP("no headless spreadsheet program (soffice with python3-uno and python3-xlrd)");
        QTemporaryDir dir;
        const QString original = dir.filePath(QStringLiteral("fatto-altrove.xls"));
        const QString saved = dir.filePath(QStringLiteral("cambiato.xls"));
        QVERIFY(make(original));
        auto book = readWorkbook(original, QString());
        Worksheet &ledger = book->sheet(1);
        ledger.pageSetup().rightMargin = 36;   // half an inch
        ledger.range(QStringLiteral("A2")).entireRow().deleteRows();
        QVERIFY(ledger.rowFormat(2).hidden && ledger.rowFormat(3).hidden && !ledger.rowFormat(4).hidden);
        book->sheet(2).pageSetup().orientation = Orientation::Landscape;
        book->saveAs(saved);

        const QJsonArray seen = readThere({original, saved});
        QCOMPARE(seen.size(), 2);
        const QJsonObject was = sheetOf(seen[0], 0), now = sheetOf(seen[1], 0);
        compareSheets(was, now, {QStringLiteral("page"), QStringLiteral("hidden"), QStringLiteral("heights"),
                                 QStringLiteral("cells"), QStringLiteral("outline"), QStringLiteral("printAreas")});
        QCOMPARE(now.value(QStringLiteral("hidden")).toArray(), (QJsonArray{2, 3}));
        // Both areas of the print area move up with the rows.
        QCOMPARE(now.value(QStringLiteral("printAreas")).toArray(),
                 (QJsonArray{QJsonArray{1, 1, 5, 2}, QJsonArray{7, 1, 11, 3}}));
        const QJsonObject pageWas = was.value(QStringLiteral("page")).toObject();
        const QJsonObject pageNow = now.value(QStringLiteral("page")).toObject();
        const QJsonArray marginsWas = pageWas.value(QStringLiteral("margins")).toArray();
        const QJsonArray marginsNow = pageNow.value(QStringLiteral("margins")).toArray();
        QCOMPARE(marginsNow.at(0), marginsWas.at(0));
        QCOMPARE(marginsNow.at(1).toInt(), 1270);   // 0.5 inch in hundredths of a millimetre
        QCOMPARE(marginsNow.at(2), marginsWas.at(2));
        QCOMPARE(marginsNow.at(3), marginsWas.at(3));
        for (const QString &key : {QStringLiteral("landscape"), QStringLiteral("pagesX"), QStringLiteral("pagesY"),
                                   QStringLiteral("width"), QStringLiteral("height")})
            QCOMPARE(pageNow.value(key), pageWas.value(key));

        const QJsonObject summaryWas = sheetOf(seen[0], 1).value(QStringLiteral("page")).toObject();
        const QJsonObject summaryNow = sheetOf(seen[1], 1).value(QStringLiteral("page")).toObject();
        QVERIFY(summaryNow.value(QStringLiteral("landscape")).toBool());
        QCOMPARE(summaryNow.value(QStringLiteral("scale")), summaryWas.value(QStringLiteral("scale")));
        QCOMPARE(summaryNow.value(QStringLiteral("margins")), summaryWas.value(QStringLiteral("margins")));
    }

    // A book of our own gets no page records it was not given: it prints there as a file
    // without any does, and setting the orientation changes only the orientation.
    void newBookWritesOnlyWhatWasSet()
    {
        if (!officeInstalled())
            CONTAVIO_SKIP("no headless spreadsheet program (soffice with python3-uno and python3-xlrd)");
        QTemporaryDir dir;
        const QString plain = dir.filePath(QStringLiteral("nuovo.xls"));
        const QString turned = dir.filePath(QStringLiteral("orizzontale.xls"));
        const QString bare = dir.filePath(QStringLiteral("senza-pagina.xls"));
        {
            Workbook book;
            book.sheet(1).cells(1, 1).setValue(QStringLiteral("voce"));
            book.saveAs(plain);
            book.sheet(1).pageSetup().orientation = Orientation::Landscape;
            book.saveAs(turned);
        }
        {
            const Parsed p = without(parse(streamOf(plain)),
                                     {biff::kLeftMargin, biff::kRightMargin, biff::kTopMargin, biff::kBottomMargin,
                                      biff::kSetup, biff::kHCenter, biff::kVCenter, biff::kHeader, biff::kFooter});
            QFile f(bare);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(image(build(p)));
        }
        const QJsonArray seen = readThere({plain, turned, bare});
        QCOMPARE(seen.size(), 3);
        const QJsonObject a = sheetOf(seen[0], 0).value(QStringLiteral("page")).toObject();
        const QJsonObject b = sheetOf(seen[1], 0).value(QStringLiteral("page")).toObject();
        QCOMPARE(a, sheetOf(seen[2], 0).value(QStringLiteral("page")).toObject());
        QVERIFY(!a.value(QStringLiteral("landscape")).toBool());
        QVERIFY(b.value(QStringLiteral("landscape")).toBool());
        QCOMPARE(b.value(QStringLiteral("margins")), a.value(QStringLiteral("margins")));
        QCOMPARE(b.value(QStringLiteral("scale")), a.value(QStringLiteral("scale")));
        QCOMPARE(b.value(QStringLiteral("width")).toInt(), 29700);   // A4 across
    }

    // A macro sheet's cells keep their own texts though the shared strings are rebuilt.
    void macroSheetKeepsItsTexts()
    {
        const QString original = QStringLiteral(CONTAVIO_SHARED_DIR "/corpus/poi/60405.xls");
        if (!QFileInfo::exists(original))
            CONTAVIO_SKIP("the shared corpus (../shared/corpus) is not here");
        if (!officeInstalled())
            CONTAVIO_SKIP("no headless spreadsheet program (soffice with python3-uno and python3-xlrd)");
        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("macro.xls"));
        auto book = readWorkbook(original, QString());
        book->saveAs(saved);
        const QJsonArray seen = readThere({original, saved});
        QCOMPARE(seen.size(), 2);
        const QJsonObject was = sheetOf(seen[0], 1);
        QCOMPARE(was.value(QStringLiteral("name")).toString(), QStringLiteral("Macro1"));
        QCOMPARE(sheetOf(seen[1], 1).value(QStringLiteral("cells")), was.value(QStringLiteral("cells")));
        QCOMPARE(sheetOf(seen[1], 0).value(QStringLiteral("cells")), sheetOf(seen[0], 0).value(QStringLiteral("cells")));
    }

    // Texts longer than a cell takes in the programs stay whole, as cell and as formula result.
    void longTextsKeptWhole()
    {
        Workbook book;
        Worksheet &ws = book.sheet(1);
        const QString longText = QString(32770, u'x') + QStringLiteral("fine è");
        Cell c;
        c.kind = CellKind::Text;
        c.ref = book.strings.intern(longText);
        ws.putCell(1, 1, c);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lungo.xls"));
        book.saveAs(path);
        auto back = readWorkbook(path, QString());
        QCOMPARE(back->sheet(1).textAt(1, 1), longText);
        if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import xlrd")}) != 0)
            CONTAVIO_SKIP("python3-xlrd is missing");
        const QByteArray n = runScript({QStringLiteral("-c"),
            QStringLiteral("import sys, xlrd; print(len(xlrd.open_workbook(sys.argv[1]).sheet_by_index(0).cell_value(0, 0)))"), path});
        QCOMPARE(n.trimmed().toInt(), int(longText.size()));
    }

    // Formatting runs and phonetic data go back with their texts, also where a record fills
    // up in the middle of a run.
    void richTextsWrittenWithTheirRuns()
    {
        if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import xlrd")}) != 0)
            CONTAVIO_SKIP("python3-xlrd is missing");
        Workbook book;
        book.extras = std::make_shared<BiffExtras>();
        Worksheet &ws = book.sheet(1);
        auto text = [&](int row, const QString &t, const biff::RichText &rich) {
            Cell c;
            c.kind = CellKind::Text;
            c.ref = book.strings.intern(t);
            if (!rich.empty())
                book.extras->richTexts[c.ref] = rich;
            ws.putCell(row, 1, c);
        };
        auto runs = [](std::initializer_list<std::pair<int, int>> list) {
            QByteArray b;
            for (const auto &[at, font] : list) {
                char r[4];
                biff::put16(reinterpret_cast<uint8_t *>(r), uint16_t(at));
                biff::put16(reinterpret_cast<uint8_t *>(r) + 2, uint16_t(font));
                b.append(r, 4);
            }
            return b;
        };
        // The shared strings start with 8 bytes of counts, this text with 5 of head: its
        // characters end 2 bytes before the first record is full, inside its first run.
        text(1, QString(8209, u'a'), {runs({{0, 1}, {100, 0}, {8000, 1}}), {}});
        text(2, QStringLiteral("Dopo"), {{}, QByteArray(20, '\x07')});
        text(3, QStringLiteral("Città"), {runs({{2, 1}}), QByteArray(14, '\x03')});
        text(4, QStringLiteral("Fine"), {});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ricco.xls"));
        book.saveAs(path);
        const QByteArray seen = runScript({QStringLiteral("-c"), QStringLiteral(
            "import sys, json, xlrd\n"
            "s = xlrd.open_workbook(sys.argv[1], formatting_info=True).sheet_by_index(0)\n"
            "print(json.dumps([[len(s.cell_value(r, 0)), s.cell_value(r, 0)[:6], s.rich_text_runlist_map.get((r, 0), [])] for r in range(4)]))"),
            path});
        QCOMPARE(QString::fromUtf8(seen.trimmed()),
                 QStringLiteral("[[8209, \"aaaaaa\", [[0, 1], [100, 0], [8000, 1]]], [4, \"Dopo\", []], "
                                "[5, \"Citt\\u00e0\", [[2, 1]]], [4, \"Fine\", []]]"));
    }

    // A custom view's own page settings stay in the view: the sheet's are those outside it,
    // and the view comes back whole.
    void customViewKeepsItsOwnPageSettings()
    {
        Workbook book;
        book.sheet(1).cells(1, 1).setValue(QStringLiteral("voce"));
        book.sheet(1).pageSetup().orientation = Orientation::Landscape;
        book.sheet(1).pageSetup().paperSize = 1;
        Parsed p = parse(streamOf(workbookBytes(book)));
        QByteArray view;
        auto add = [&view](uint16_t type, const QByteArray &data) {
            char h[4];
            biff::put16(reinterpret_cast<uint8_t *>(h), type);
            biff::put16(reinterpret_cast<uint8_t *>(h) + 2, uint16_t(data.size()));
            view.append(h, 4);
            view.append(data);
        };
        add(biff::kUserSViewBegin, QByteArray(46, '\x11'));
        QByteArray setup(34, '\0');
        biff::put16(reinterpret_cast<uint8_t *>(setup.data()), 8);             // A3
        biff::put16(reinterpret_cast<uint8_t *>(setup.data()) + 10, 0x0002);   // portrait
        add(biff::kSetup, setup);
        add(biff::kLeftMargin, QByteArray(8, '\0'));
        add(biff::kUserSViewEnd, QByteArray(2, '\x01'));
        QByteArray &sheet = p.substreams[0];
        sheet.insert(sheet.size() - 4, view);

        auto back = readWorkbookBytes(image(build(p)), QString());
        const PageSetup &ps = back->sheet(1).pageSetup();
        QCOMPARE(ps.orientation, Orientation::Landscape);
        QCOMPARE(ps.paperSize, 1);
        QCOMPARE(ps.leftMargin, 54.0);
        const QByteArray saved = streamOf(workbookBytes(*back));
        QVERIFY(saved.contains(view));
        auto again = readWorkbookBytes(image(saved), QString());
        QCOMPARE(again->sheet(1).pageSetup().orientation, Orientation::Landscape);
        QCOMPARE(again->sheet(1).pageSetup().paperSize, 1);
    }

    // The file's own cell formats replace the defaults whatever the order of its style
    // records: STYLE records ahead of the XF records do not leave the defaults in front.
    void stylesAheadOfCellFormats()
    {
        Workbook book;
        Worksheet &sheet = book.sheet(1);
        sheet.cells(1, 1).setValue(QStringLiteral("01/02/2010"));
        sheet.cells(2, 1).setNumberFormat(QStringLiteral("#,##0.00"));
        sheet.cells(2, 1).setValue(1234.5);
        Parsed p = parse(streamOf(workbookBytes(book)));
        std::vector<Rec> styles, others;
        for (const Rec &r : p.globals)
            (r.type == biff::kStyle ? styles : others).push_back(r);
        QVERIFY(!styles.empty());
        auto firstXf = std::find_if(others.begin(), others.end(), [](const Rec &r) { return r.type == biff::kXf; });
        QVERIFY(firstXf != others.end());
        others.insert(firstXf, styles.begin(), styles.end());
        p.globals = others;

        auto back = readWorkbookBytes(image(build(p)), QString());
        Worksheet &read = back->sheet(1);
        QCOMPARE(read.range(QStringLiteral("A1")).numberFormat(), QStringLiteral("dd/mm/yyyy"));
        QCOMPARE(read.range(QStringLiteral("A2")).numberFormat(), QStringLiteral("#,##0.00"));
        QCOMPARE(read.textAt(2, 1), QStringLiteral("1.234,50"));
        QCOMPARE(back->styles.xfs.size(), book.styles.xfs.size());
    }

    // Sheet entries must each lead to their own substream, after the globals, of their kind.
    void sheetEntriesThatShareOrMisleadRefused()
    {
        const Parsed good = parse(twoSheetStream());
        QCOMPARE(good.substreams.size(), size_t(2));
        QCOMPARE(damageOf(image(build(good))), QStringLiteral("opened"));

        Parsed shared = good;
        for (Rec &r : shared.globals)
            if (r.type == biff::kBoundSheet)
                r.target = 0;
        QVERIFY(damageOf(image(build(shared))).contains(QStringLiteral("stesso punto")));

        Parsed intoGlobals = good;
        for (Rec &r : intoGlobals.globals)
            if (r.type == biff::kBoundSheet && r.target == 1)
                r.target = -1;
        QVERIFY(damageOf(image(build(intoGlobals))).contains(QStringLiteral("parte globale")));

        Parsed chart = good;
        for (Rec &r : chart.globals)
            if (r.type == biff::kBoundSheet && r.target == 1)
                r.data[5] = 2;   // names a chart, leads to a worksheet
        QVERIFY(damageOf(image(build(chart))).contains(QStringLiteral("altro tipo")));

        // Each substream opens with a whole BOF of its own kind.
        auto withFirstRecord = [](QByteArray sub, const QByteArray &bof) {
            const int size = biff::u16(reinterpret_cast<const uint8_t *>(sub.constData()) + 2);
            return bof + sub.mid(4 + size);
        };
        const QByteArray shortBof = QByteArray::fromHex("09080200") + QByteArray::fromHex("0006");
        Parsed cutSheetBof = good;
        cutSheetBof.substreams[1] = withFirstRecord(cutSheetBof.substreams[1], shortBof);
        QVERIFY(damageOf(image(build(cutSheetBof))).contains(QStringLiteral("non inizia dove indicato")));
        Parsed noSheetBof = good;
        noSheetBof.substreams[1] = withFirstRecord(noSheetBof.substreams[1], QByteArray());
        QVERIFY(damageOf(image(build(noSheetBof))).contains(QStringLiteral("non inizia dove indicato")));
        Parsed sheetFirst = good;
        sheetFirst.globals[0].data[2] = 0x10;   // the globals' BOF says worksheet
        QVERIFY(damageOf(image(build(sheetFirst))).contains(QStringLiteral("non inizia con la parte globale")));
        Parsed cutGlobalsBof = good;
        cutGlobalsBof.globals[0].data.truncate(2);
        QVERIFY(damageOf(image(build(cutGlobalsBof))).contains(QStringLiteral("record iniziale")));

        // Two thousand entries at one substream: refused before any is read.
        Parsed many = good;
        auto first = std::find_if(many.globals.begin(), many.globals.end(), [](const Rec &r) { return r.type == biff::kBoundSheet; });
        Rec copy = *first;
        copy.target = 0;
        many.globals.insert(first + 2, 2000, copy);
        QVERIFY(damageOf(image(build(many))).contains(QStringLiteral("stesso punto")));
    }
};

QTEST_GUILESS_MAIN(TestXlsKept)
#include "tst_xls_kept.moc"
