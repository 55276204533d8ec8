#pragma once

// The workbook engine: an in-process spreadsheet "server" with the object model the forms
// drive (server, workbooks, workbook, sheets, ranges). Rows and columns count from 1, as in
// every spreadsheet; the grid is 256 columns (A..IV) by 65,536 rows.

#include "store/model/errors.h"
#include "store/model/styles.h"
#include "store/model/value.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace store {

constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;

struct CellAddress {
    int row = 1;
    int column = 1;
    bool operator==(const CellAddress &) const = default;
};

// An inclusive rectangle of cells, 1-based.
struct RangeRect {
    int top = 1, left = 1, bottom = 1, right = 1;
    bool operator==(const RangeRect &) const = default;
    int rows() const { return bottom - top + 1; }
    int columns() const { return right - left + 1; }
};

QString columnLetters(int column);          // 1 -> "A", 256 -> "IV"
// "A1", "$S$1", "A2:S65536", "2:2", "$1:$1", "J:J", "$A:$B"; nullopt when malformed or off the grid.
std::optional<RangeRect> parseReference(const QString &ref);
// "$A$1", "$A$1:$S$10", "$1:$1", "$A:$B" (whole rows/columns when the rect spans the grid).
QString absoluteAddress(const RangeRect &rect);

enum class CellKind : uint8_t { Empty, Number, Text, Boolean, Error };

// One stored cell: 16 bytes, so that memory follows the cells used.
struct Cell {
    CellKind kind = CellKind::Empty;
    uint8_t flags = 0;                      // kFormula: the value is a formula's cached result
    uint16_t xf = Styles::kDefaultCellXf;   // index into Styles::xfs
    uint32_t ref = 0;                       // Text: index in the workbook's StringPool; formula: index in the sheet's formula table
    double number = 0;                      // Number; Boolean 0/1; Error: the CellError code

    static constexpr uint8_t kFormula = 1;
    // Set by Worksheet::putCell: the cell was written (a value, or a format on a blank).
    // Cells without it only pad a row up to its last written column and take the column's
    // format.
    static constexpr uint8_t kWritten = 2;
    bool isFormula() const { return flags & kFormula; }
    bool isEmpty() const { return kind == CellKind::Empty; }
};
static_assert(sizeof(Cell) == 16);

// A formula carried through load and save: the FORMULA record's bytes after row, column and
// XF (result, flags, chn, parsed expression) and the STRING record that follows it when the
// result is a text. The engine does not evaluate formulas.
struct Formula {
    QByteArray record;
    QByteArray stringRecord;
    QString cachedText;     // the cached text result, when there is one
};

// Every distinct text of a workbook once; cells refer to them by index.
class StringPool {
public:
    uint32_t intern(const QString &text) { return intern(QString(text)); }
    uint32_t intern(QString &&text);
    const QString &at(uint32_t index) const { return m_strings[index]; }
    size_t size() const { return m_strings.size(); }
    // Room for `count` texts in all, so that a load of known size does not regrow the pool.
    void reserve(size_t count);
private:
    void rehash(size_t slotCount);
    std::vector<QString> m_strings;
    std::vector<uint32_t> m_hashes;   // of each text, for rehashing and a quick inequality
    std::vector<uint32_t> m_slots;    // open addressing: index + 1, 0 = free; a power of two long
};

enum class Orientation { Portrait = 1, Landscape = 2 };

// Page set-up of a sheet, saved in the file. Margins are in points.
struct PageSetup {
    QString printArea;             // absolute reference ("$A$1:$S$40"), empty for the used range
    QString printTitleRows;        // "$1:$1" or empty
    QString printTitleColumns;     // "$A:$B" or empty
    QString centerHeader;
    double leftMargin = 54, rightMargin = 54, topMargin = 72, bottomMargin = 72;
    double headerMargin = 36, footerMargin = 36;
    bool printGridlines = false;
    bool printHeadings = false;
    bool printComments = false;    // xlPrintNoComments
    int printQuality = 600;
    bool centerHorizontally = false, centerVertically = false;
    bool draft = false;
    bool blackAndWhite = false;
    std::optional<int> firstPageNumber;   // nullopt = automatic
    bool overThenDown = false;            // false: down, then over
    int printErrors = 0;                  // 0 = as displayed
    int fitToPagesWide = 1, fitToPagesTall = 1;
    Orientation orientation = Orientation::Portrait;
    int paperSize = 9;                    // 9 = A4
    std::optional<int> zoom = 100;        // nullopt: fit to pages wide x tall

    // Zoom 10..400 is kept; anything else throws StoreError(Invalid) and keeps the old zoom.
    void setZoom(int percent);
};

// The state of the sheet's window, saved in the file.
struct SheetView {
    RangeRect selection{1, 1, 1, 1};
    CellAddress activeCell{1, 1};
    bool frozen = false;
    CellAddress frozenAt{1, 1};   // first scrolling cell when frozen (A2: row 1 frozen)
};

// What a row carries beyond its height and cells, as the spreadsheet programs keep it: hidden,
// its outline level and collapse mark, a format for the row's empty cells, and the thick-border
// and phonetic marks of its cells. The default value is a plain row.
struct RowFormat {
    bool hidden = false;
    bool collapsed = false;
    uint8_t outlineLevel = 0;      // 0..7
    bool formatted = false;        // xf applies to the row's empty cells
    uint16_t xf = 0;               // index into Styles::xfs, when formatted
    uint8_t marks = 0;             // thick top 1, thick bottom 2, phonetic 4
    bool operator==(const RowFormat &) const = default;
};

struct BiffExtras;   // records the engine does not model, kept by the file layer
class StructureEdits;   // told of deleted and sorted rows (structure.h)
class Workbook;
class Worksheet;
class Range;

enum class SortOrder { Ascending = 1, Descending = 2 };
enum class SortHeader { Guess = 0, Yes = 1, No = 2 };

struct SortOptions {
    int keyColumn = 1;                 // absolute column of the key (F2 -> 6)
    SortOrder order = SortOrder::Ascending;
    SortHeader header = SortHeader::Guess;
    bool matchCase = false;
};

// A rectangle of one sheet, as the forms address it. Cheap to copy; it stays valid while
// its sheet exists.
class Range {
public:
    Range(Worksheet *sheet, RangeRect rect);

    Worksheet &worksheet() const { return *m_sheet; }
    RangeRect rect() const { return m_rect; }
    int row() const { return m_rect.top; }
    int column() const { return m_rect.left; }
    qint64 count() const { return qint64(m_rect.rows()) * m_rect.columns(); }

    // The top-left cell's value: numbers with a date format read as Type::Date.
    Variant value() const;
    // Stores the text as a person typing it would: converted by parseTyped() in a general
    // cell (a date also gets the date format dd/mm/yyyy), kept as text in a "@" cell or
    // column. Writes every cell of the range. Throws Limit past the grid.
    void setValue(const QString &typed) const;
    // Stores the value as it is (a Text stays text); a Date gets dd/mm/yyyy when the cell
    // shows no date format.
    void setValue(const Variant &value) const;
    void setValue(double number) const { setValue(Variant::fromNumber(number)); }
    // The displayed text of the top-left cell under its format ("12,5", "12/05/2009").
    QString text() const;

    // The end-down jump from the top-left cell: from a filled cell whose neighbour below is
    // filled, the last filled cell of that run; otherwise the next filled cell below, or the
    // last row of the sheet.
    Range endDown() const;
    Range offset(int rows, int columns) const;        // throws Limit when it leaves the grid
    Range cell(int row, int column) const;            // relative to the top-left, 1-based
    Range entireRow() const;
    Range entireColumn() const;
    QString address() const { return absoluteAddress(m_rect); }

    void select() const;                    // activates the sheet, selects the range
    void clearContents() const;             // values go, formats stay
    void deleteRows() const;                // deletes the range's whole rows; rows below move up
    void setNumberFormat(const QString &code) const;  // on whole columns it becomes the column format
    QString numberFormat() const;
    void autoFitColumns() const;            // widths from the displayed texts of these rows
    // Sorts the rows of the range by one key column: numbers and dates before texts before
    // booleans, errors, empty keys last; stable; texts compared case-insensitively unless
    // matchCase. With SortHeader::Guess the first row is left in place when it looks like a
    // header (text in the key column while the row below holds a non-text).
    void sort(const SortOptions &options) const;

private:
    Worksheet *m_sheet;
    RangeRect m_rect;
};

class Worksheet {
public:
    Worksheet(Workbook &book, QString name);
    // A copy of `other` that belongs to `book` and shares nothing that either may change:
    // cells, formulas, widths and heights (past the used range too), row formats, view, page
    // set-up, the name as it is (of any length) and the carried records (Workbook::clone()).
    Worksheet(Workbook &book, const Worksheet &other);
    ~Worksheet();

    Workbook &workbook() const { return *m_book; }
    const QString &name() const { return m_name; }
    // Sheet names: 1..31 characters, none of : \ / ? * [ ], unique in the workbook (Invalid otherwise).
    void setName(const QString &name);
    // A name a file holds, kept as read: other programs allow names the program's own
    // setter refuses (longer than 31 characters). Only an empty name, one longer than the
    // format holds (255) or the name of another sheet is refused (StoreError Invalid).
    void restoreName(const QString &name);

    Range range(const QString &ref);   // throws Invalid on a malformed reference
    Range range(const RangeRect &rect) { return Range(this, rect); }
    Range cells(int row, int column);  // throws Limit off the grid
    Range usedRange() const;           // A1 when the sheet is empty
    Range selection();
    void select();                     // makes this the active sheet
    bool isActive() const;

    // Freezes the panes of the sheet's window at the top-left of its selection
    // (selecting row 2 freezes row 1).
    void freezePanes();
    SheetView &view() { return m_view; }
    const SheetView &view() const { return m_view; }
    PageSetup &pageSetup() { return m_pageSetup; }
    const PageSetup &pageSetup() const { return m_pageSetup; }

    // Column widths in characters of the default font (8.43 by default); row heights in points.
    double columnWidth(int column) const;
    void setColumnWidth(int column, double characters);
    double rowHeight(int row) const;
    void setRowHeight(int row, double points);
    // A height a file holds, kept as read up to the format's limit of 409.6 points (8,192
    // twips) and clamped to it above, as spreadsheet programs read it; never refused.
    void restoreRowHeight(int row, double points);
    static constexpr double kMaxStoredRowHeight = 8192 / 20.0;
    // Hidden rows, outline levels and row formats; rowFormats() holds them from row 1 on and
    // may end before the last row (the rows after it are plain).
    RowFormat rowFormat(int row) const;
    void setRowFormat(int row, const RowFormat &format);   // throws Limit off the grid
    const std::vector<RowFormat> &rowFormats() const { return m_rowFormats; }
    double defaultColumnWidth() const { return m_defaultColumnWidth; }
    void setDefaultColumnWidth(double characters) { m_defaultColumnWidth = characters; }
    double defaultRowHeight() const { return m_defaultRowHeight; }
    void setDefaultRowHeight(double points) { m_defaultRowHeight = points; }

    // Whole-column cell formats (an XF index per column; 0 = none).
    uint16_t columnXf(int column) const;
    void setColumnXf(int column, uint16_t xf);

    // Raw access, for the file layer and the engine itself.
    const Cell *cellAt(int row, int column) const;        // nullptr when never written
    void putCell(int row, int column, const Cell &cell);  // throws Limit off the grid
    int lastRow() const;                                   // 0 when the sheet is empty
    int lastColumn() const;                                // 0 when the sheet is empty
    // Calls f(row, column, cell) for every non-empty cell, row by row, left to right.
    void forEachCell(const std::function<void(int, int, const Cell &)> &f) const;
    // The same over every written cell, blank cells that only carry a format included.
    void forEachStoredCell(const std::function<void(int, int, const Cell &)> &f) const;
    // The XF a cell shows: its own when written, else its column's, else the default.
    uint16_t cellXf(int row, int column) const;
    std::vector<Formula> &formulas() { return m_formulas; }
    const std::vector<Formula> &formulas() const { return m_formulas; }
    std::shared_ptr<BiffExtras> extras;   // file-layer records carried through

    // The value of one cell by the rules of Range::value(); for hot loops.
    Variant valueAt(int row, int column) const;
    QString textAt(int row, int column) const;

    // Deletes rows first..last (cells, heights and row formats); the rows below move up.
    void removeRows(int first, int last);

    // Engine internals used by Range.
    struct Row;
    std::vector<Row> &rowsStorage() { return m_rows; }
    const std::vector<Row> &rowsStorage() const { return m_rows; }

private:
    Workbook *m_book;
    QString m_name;
    std::vector<Row> m_rows;         // index row-1; grows with the last used row
    std::vector<Formula> m_formulas;
    std::vector<double> m_columnWidths;     // 0 = default
    std::vector<uint16_t> m_columnXfs;
    std::vector<float> m_rowHeights;        // 0 = default
    std::vector<RowFormat> m_rowFormats;    // index row-1
    double m_defaultColumnWidth = 8.43;
    double m_defaultRowHeight = 12.75;
    SheetView m_view;
    PageSetup m_pageSetup;
};

// One row of a sheet: its cells from column A up to the last written one.
struct Worksheet::Row {
    std::vector<Cell> cells;
};

// How the file is protected on disk.
struct Protection {
    enum class Kind { None, Xor, Rc4, Rc4CryptoApi };
    Kind kind = Kind::None;     // what the file had when it was read; a save always writes Rc4CryptoApi when there is a password
    QString password;           // empty: saved without a password
};

class Workbook {
public:
    Workbook();                  // one empty sheet "Foglio1", default styles, no password
    ~Workbook();

    QString name() const;        // the file name ("Contavio.xls")
    const QString &path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }

    int sheetCount() const { return int(m_sheets.size()); }
    Worksheet &sheet(int index);                 // 1-based; throws NotFound
    Worksheet &sheet(const QString &name);       // throws NotFound when absent
    Worksheet *findSheet(const QString &name);   // case-insensitive, as spreadsheets match names
    Worksheet &addSheetAfter(Worksheet &after);  // named "FoglioN", the first free N
    Worksheet &appendSheet(const QString &name); // for the file layer and new workbooks
    void removeSheet(Worksheet &sheet);
    Worksheet &activeSheet();
    void setActiveSheet(Worksheet &sheet);
    int indexOf(const Worksheet &sheet) const;   // 1-based

    // Counts the changes of cell contents, rows and sheets (a write that changes a cell,
    // clear, delete, a sort that moves rows, a sheet added, renamed or removed) since the
    // workbook was made; a watcher compares two readings to tell that something changed.
    quint64 revision() const { return m_revision; }
    void noteChange() { ++m_revision; }
    // Whether anything changed since the workbook was read or last saved.
    bool changedSinceSave() const { return m_revision != m_savedRevision; }
    // The workbook as it is now is what its file holds (after a read or a save).
    void markSaved() { m_savedRevision = m_revision; }

    // A deep copy: every sheet as it is (names of any length, row heights and formats past
    // the used range, cells, formulas and their shared parts), texts, styles, protection,
    // path, revisions, and the records carried for the file layer (names, links, other
    // streams). It shares no data that either workbook may change, so another thread may
    // encode the copy while this one goes on changing the original. Never refuses what the
    // original holds.
    std::unique_ptr<Workbook> clone() const;

    // Writes the whole workbook to its path, encrypted with its password, atomically.
    void save();
    void saveAs(const QString &path);

    bool date1904 = false;
    Protection protection;
    Styles styles = Styles::makeDefault();
    StringPool strings;
    std::shared_ptr<BiffExtras> extras;   // file-layer records carried through
    // Keeps what sits on cells in step when rows are deleted or sorted; may be null.
    std::shared_ptr<StructureEdits> structureEdits;

private:
    QString m_path;
    std::vector<std::unique_ptr<Worksheet>> m_sheets;
    int m_active = 0;   // 0-based
    quint64 m_revision = 0;
    quint64 m_savedRevision = 0;
};

// Opens, saves and reads workbooks from disk; the file layer (store/file/workbookfile.h) does the format.
class Server {
public:
    Server();
    ~Server();

    bool visible = false;
    bool displayAlerts = true;
    bool screenUpdating = true;

    // Workbooks.Open(path, password): throws StoreError (WrongPassword, Damaged,
    // Unsupported, Io) and leaves the file untouched when it cannot be read.
    Workbook &open(const QString &path, const QString &password);
    // The same from the file's bytes, already read (through a descriptor that holds a lock
    // on the file); `path` is where the workbook saves.
    Workbook &openImage(const QByteArray &file, const QString &path, const QString &password);
    Workbook *workbook(const QString &name);     // Workbooks(name); nullptr when not open
    Workbook *activeWorkbook();
    void close(Workbook &book);                  // without saving
    void quit();                                 // closes every workbook without saving
    bool running() const { return m_running; }

    static double inchesToPoints(double inches) { return inches * 72.0; }

private:
    Workbook &openFrom(const QString &path, const std::function<std::unique_ptr<Workbook>()> &read);

    std::vector<std::unique_ptr<Workbook>> m_books;
    int m_active = -1;
    bool m_running = true;
};

} // namespace store
