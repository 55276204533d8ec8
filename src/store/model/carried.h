#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// The records of a file that the object model does not hold: a workbook and each sheet keep
// them (their `extras`) for the file layer, from a load to the next save; a copy of a workbook
// copies them. Their bytes are the file format's (store/biff reads and writes them).

#include "store/model/workbook.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

namespace store {

namespace biff {

// Where a carried record goes back when the substream is written again: after the block of
// records the writer produces itself that preceded it when it was read.
enum class Place : uint8_t {
    BookHead,      // after the file head (WRITEACCESS .. TABID), before WINDOW1
    BookSettings,  // after WINDOW1 .. BOOKBOOL, before the fonts
    BookStyles,    // after the STYLE records, before the sheet list
    BookSheets,    // after BOUNDSHEET and COUNTRY, before the external references
    BookNames,     // after the NAME records, before the shared strings
    BookTail,      // after EXTSST, before EOF
    SheetHead,     // after BOF and the calculation settings, before the page set-up
    SheetBreaks,   // after WSBOOL, before HEADER: page breaks
    SheetPrinter,  // after the margins, before SETUP: printer settings
    SheetPage,     // after SETUP: sheet protection, background
    SheetColumns,  // after COLINFO, before DIMENSIONS
    SheetCells,    // after the cell table: drawings, objects, notes
    SheetWindow,   // after WINDOW2, before PANE (zoom, page layout view)
    SheetTail,     // after SELECTION: merged cells, conditional formats, validation, links
};

struct RawRecord {
    uint16_t type = 0;
    QByteArray data;
};

struct PlacedRecord {
    Place place;
    uint16_t type;
    QByteArray data;
};

// One reference of EXTERNSHEET: SUPBOOK index and a range of sheet tabs (0-based).
struct Xti {
    uint16_t supBook = 0;
    int16_t first = 0;
    int16_t last = 0;
};

// A SUPBOOK record and the EXTERNNAME/XCT/CRN records that belong to it.
struct SupBook {
    QByteArray record;
    std::vector<RawRecord> followers;
    bool internal = false;   // this workbook's own sheets
};

// A NAME record as read; built-in print names are rebuilt from the page set-up.
struct NameRecord {
    QByteArray record;
    int builtin = -1;        // 0x06 Print_Area, 0x07 Print_Titles, other built-ins, -1 user name
    int sheet = 0;           // 1-based original tab of the scope, 0 = workbook
};

// What a text of the shared strings (or of an RSTRING cell) holds besides its characters,
// as read, for the writer to put back with it: the rich-text runs (4 bytes each: first
// character, font index) and the phonetic block of Far East texts (its size counts from its
// first byte).
struct RichText {
    QByteArray runs;
    QByteArray phonetic;
    bool empty() const { return runs.isEmpty() && phonetic.isEmpty(); }
};

// A non-worksheet sheet (chart, macro or dialog sheet) carried whole.
struct OtherSheet {
    QByteArray boundSheet;          // BOUNDSHEET payload with lbPlyPos ignored
    // The substream, BOF to EOF included. Its LABELSST records hold an index into the
    // workbook's string pool instead of the file's shared-string table, which a save rebuilds.
    std::vector<RawRecord> records;
    int originalTab = 0;            // 0-based position among all sheets of the file
    int afterTab = -1;              // original tab of the worksheet it followed, -1 = first
};

// A compound-file stream kept beside the Workbook stream (document properties, macros).
struct CfbEntry {
    QString path;   // "/"-separated inside the file, e.g. "\005SummaryInformation"
    QByteArray data;
    bool storage = false;   // an empty storage (streams carry their parent's path)
};

} // namespace biff

// Records the object model does not hold, kept by the file layer between a load and a save.
// One type serves both the workbook (globals) and a worksheet (its substream).
struct BiffExtras {
    std::vector<biff::PlacedRecord> records;   // in file order, with their place

    // Workbook globals.
    std::vector<biff::CfbEntry> otherStreams;
    QByteArray window1;                        // WINDOW1 payload (window position, tab ratio)
    std::vector<biff::SupBook> supBooks;
    std::vector<biff::Xti> xtis;
    std::vector<biff::NameRecord> names;
    std::vector<biff::OtherSheet> otherSheets;
    // Runs and phonetic data of texts, by index in the workbook's string pool; a text read
    // several times with different formatting keeps the first.
    std::map<uint32_t, biff::RichText> richTexts;
    int sheetTabCount = 0;                     // all sheets of the file, worksheets included
    uint16_t usesElfs = 0;                     // USESELFS: labels in formulas (natural language)

    // Worksheet substream.
    int originalTab = -1;                      // 0-based tab of this sheet in the file read
    uint8_t hiddenState = 0;                   // BOUNDSHEET hsState
    QByteArray setup;                          // SETUP payload as read
    // Page set-up as the file had it: the records present, the sheet's page set-up right
    // after reading and the margins in inches exactly as stored. A save writes a record
    // back only when the file had it or the program changed its value since.
    uint16_t pageRecords = 0;
    PageSetup pageRead;
    double marginsRead[4] = {0.75, 0.75, 1.0, 1.0};   // left, right, top, bottom
    uint16_t defaultRowFlags = 0;              // DEFAULTROWHEIGHT options as read
    QString header;                            // HEADER text with every section, as read
    QByteArray footer;                         // FOOTER payload
    QByteArray window2;                        // WINDOW2 payload: gridlines, colours, zoom
    uint16_t wsBool = 0x04C1;
    std::map<int, uint16_t> columnFlags;       // COLINFO flags (hidden, outline) by 1-based column
    // SHRFMLA/ARRAY/TABLE records that followed a FORMULA, by the formula's index.
    std::map<uint32_t, std::vector<biff::RawRecord>> formulaFollowers;
};

} // namespace store
