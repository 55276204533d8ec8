#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

namespace store {

class NumberFormat;

// The cell formats of a workbook, kept in the shape BIFF8 stores them so that a load and a
// save keep every format a user made elsewhere.
//
// xfs[i] is XF record i: its 20-byte BIFF8 payload. Bytes 0-1 font index, bytes 2-3 number
// format id (ifmt), bytes 4-5 type and protection (bit 2 set = style XF, parent in bits 4-15),
// the rest alignment, borders and fill. Cells point at cell XFs (index 15 is the default
// cell format "General" in every BIFF8 file).
class Styles {
public:
    static constexpr uint16_t kDefaultCellXf = 15;

    // The minimal set a new workbook needs: 5 FONT records, 21 XFs (15 style + 6 cell;
    // XF 15 General, and built-in style records), no custom formats.
    static Styles makeDefault();

    std::vector<QByteArray> fonts;            // FONT payloads, in file order (index 4 is skipped by BIFF8 numbering)
    std::map<uint16_t, QString> numberFormats; // FORMAT records: id -> code (custom ids are >= 164)
    std::vector<QByteArray> xfs;              // XF payloads, 20 bytes each
    std::vector<QByteArray> styleRecords;     // STYLE payloads, carried as they are

    uint16_t formatId(uint16_t xf) const;
    // The format code of an XF ("General", "@", "dd/mm/yyyy", built-in ids resolved).
    QString formatCode(uint16_t xf) const;
    bool isDateFormat(uint16_t xf) const;
    bool isTextFormat(uint16_t xf) const;   // "@"
    // The parsed format of an XF, for rendering cells (see numformat.h).
    const NumberFormat &numberFormat(uint16_t xf) const;

    // The cell XF equal to `baseXf` but with number format `code`; reuses an existing XF
    // when one matches, otherwise appends one (and a FORMAT record when the code is new).
    uint16_t xfWithFormat(uint16_t baseXf, const QString &code);

    // Whether a format code shows dates (d, m, y outside quotes and brackets, not only a time).
    static bool codeIsDate(const QString &code);
    static QString builtinFormat(uint16_t id); // "" when the id is not built in

    // Formats answered from a cache that follows xfs and numberFormats; call this after
    // changing an XF's bytes in place (appending XFs or formats is noticed by itself).
    void invalidateCache() const { m_codes.clear(); }

private:
    struct CodeInfo {
        QString code;
        bool date = false;
        bool text = false;
        const NumberFormat *parsed = nullptr;
    };
    const CodeInfo &info(uint16_t xf) const;

    mutable std::vector<CodeInfo> m_codes;   // per XF
    mutable size_t m_codesFormats = 0;       // numberFormats.size() when m_codes was filled
};

} // namespace store
