#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// The parts of the .xls reader, shared by its source files: the reader of the workbook
// globals and the reader of one worksheet substream. Internal to the file layer.

#include "store/biff/biff.h"
#include "store/xls/biffstream.h"
#include "store/model/workbook.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace store::xlsread {

[[noreturn]] void damaged(const QString &detail);
QString hex(uint16_t v);

// The memory a load may take: a base and a multiple of the workbook stream's size, charged
// as the reader makes room for rows, cells, row heights, formulas and the records it keeps.
// A small file whose records would make the model far larger than the file is hostile
// (a cell at the far end of each of thousands of rows, many sheets over one substream): it
// is refused as damaged before the memory is taken.
class ReadBudget {
public:
    static constexpr qint64 kBase = qint64(64) << 20;
    static constexpr qint64 kPerStreamByte = 256;

    explicit ReadBudget(qint64 streamSize)
        : m_total(kBase + kPerStreamByte * streamSize), m_left(m_total), m_streamSize(streamSize) {}
    // Safe from the two threads that read sheets at once.
    void charge(qint64 bytes)
    {
        if (m_left.fetch_sub(bytes, std::memory_order_relaxed) - bytes < 0) [[unlikely]]
            exceeded();
    }

private:
    [[noreturn]] void exceeded() const;
    qint64 m_total;
    std::atomic<qint64> m_left;
    qint64 m_streamSize;
};

// One BOUNDSHEET entry of the globals.
struct SheetEntry {
    uint32_t position = 0;
    uint8_t hidden = 0;
    uint8_t kind = 0;       // 0 worksheet, 1 macro sheet, 2 chart, 6 module
    QString name;
    QByteArray payload;
    Worksheet *sheet = nullptr;
};

// What the globals give every sheet reader.
struct SharedStrings {
    std::vector<uint32_t> pool;   // SST index -> index in the workbook's string pool
};

// Checks the current record against the table of minimum sizes. A record the cell table
// needs is damage (throws); a short settings record is only skipped (false).
bool recordFits(const biff::RecordStream &rs, bool mandatory);

// The attributes a ROW record gives its row beyond the height (options and format words).
RowFormat rowFormatOf(uint16_t flags, uint16_t xfWord, uint16_t xfCount);

// The value an RK number stands for.
double rkValue(uint32_t rk);

// Reads the globals substream: styles, sheet entries, names, external references, the
// shared strings. Decrypts the stream in place when it is protected.
class GlobalsReader {
public:
    GlobalsReader(Workbook &book, biff::RecordStream &rs, BiffExtras &bx, const QString &password)
        : m_book(book), m_rs(rs), m_bx(bx), m_password(password) {}

    void run();

    std::vector<SheetEntry> sheets;
    SharedStrings strings;
    int activeTab = 0;
    qsizetype globalsEnd = 0;   // stream offset just after the globals' EOF
    Styles styles;              // the file's own, from empty; completed with the defaults at the end

private:
    void checkBof();
    bool nextRecord();
    void record(uint16_t type);
    bool styleRecord(uint16_t type);
    bool referenceRecord(uint16_t type);
    void filePass();
    void format();
    void boundSheet();
    void externSheet();
    void sst();
    void name();
    void completeStyles();

    Workbook &m_book;
    biff::RecordStream &m_rs;
    BiffExtras &m_bx;
    QString m_password;
    biff::Place m_place = biff::Place::BookHead;   // where the unmodelled records that follow go
};

// A text cell (LABEL, RSTRING) read on a second thread: its text joins the workbook's string
// pool afterwards, on the first thread, in the order the texts were read. Until then the
// cell's ref is kDeferredText | its index in the sheet's list.
struct DeferredText {
    int row = 0, col = 0;   // 0-based, as in the record
    QString text;
    biff::RichText rich;
};
constexpr uint32_t kDeferredText = 0x80000000u;

// Reads one worksheet substream into its sheet of the model and its BiffExtras. Touches
// nothing of the workbook but that sheet and the budget when its texts are deferred, so
// that two sheets may be read at once.
class SheetReader {
public:
    SheetReader(Workbook &book, biff::RecordStream &rs, BiffExtras &bookExtras, ReadBudget &budget,
                const SharedStrings &strings, const SheetEntry &entry, int tab);

    void run();
    void deferTexts(std::vector<DeferredText> *texts) { m_deferred = texts; }
    // Whether the sheet got cells (the workbook then notes a change).
    bool storedCells() const { return m_storedCells; }
    // The deferred texts of `sheet` into the pool, and their cells pointed at them.
    static void internTexts(Workbook &book, BiffExtras &bookExtras, Worksheet &sheet, std::vector<DeferredText> &texts);

private:
    struct Pending { int row; int col; Cell cell; };
    struct Selection { RangeRect rect; CellAddress active; };

    // One group of records each; each sets where the unmodelled records that follow go.
    void cellRecord(uint16_t type);
    void multipleCells(uint16_t type);
    void formula();
    void formulaString();
    void formulaFollower(uint16_t type);
    void textCell(uint16_t type);
    void rowRecord();
    void columnRecord(uint16_t type);
    void margin(uint16_t type);
    void setup();
    void header();
    void window(uint16_t type);
    void finish();

    uint16_t xfOf(uint16_t xf) const { return xf < m_xfCount ? xf : Styles::kDefaultCellXf; }
    void put(int row, int col, const Cell &cell);
    void flush();
    void carry(uint16_t type);

    Workbook &m_book;
    biff::RecordStream &m_rs;
    BiffExtras &m_bookExtras;       // the workbook's: texts' runs and phonetic data
    ReadBudget &m_budget;
    const SharedStrings &m_strings;
    const SheetEntry &m_entry;
    Worksheet &m_sheet;
    std::shared_ptr<BiffExtras> m_bx;
    const uint16_t m_xfCount;

    // Cells of one row are gathered and stored together, so that the row's storage is sized
    // once instead of growing cell by cell.
    std::vector<Pending> m_pending;
    biff::Place m_place = biff::Place::SheetHead;
    bool m_frozen = false;
    int m_paneX = 0, m_paneY = 0, m_activePane = 3;
    std::map<int, Selection> m_selections;
    bool m_fitToPage = false;
    std::optional<int> m_scale;
    int64_t m_pendingString = -1;   // formula waiting for its STRING record
    int64_t m_lastFormula = -1;
    int m_rowsWithHeight = 0;       // the model keeps a height for every row up to the last set
    std::vector<DeferredText> *m_deferred = nullptr;
    bool m_storedCells = false;
};

} // namespace store::xlsread
