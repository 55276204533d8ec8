#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// The tokens of a BIFF8 parsed expression ("rgce"): their sizes and the kinds that carry
// cell references. Tokens of the classes reference (0x20), value (0x40) and array (0x60)
// share one base kind, the low five bits of 0x20..0x7F.

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace store::ptg {

// Base kinds (ptg & 0x1F for ptg >= 0x20; the token byte itself below 0x20).
enum : uint8_t {
    kExp = 0x01, kTbl = 0x02, kStr = 0x17, kExtend = 0x18, kAttr = 0x19,
    kErr = 0x1C, kBool = 0x1D, kInt = 0x1E, kNum = 0x1F,
    // classed (add 0x20, 0x40 or 0x60)
    kArray = 0x00, kFunc = 0x01, kFuncVar = 0x02, kName = 0x03, kRef = 0x04, kArea = 0x05,
    kMemArea = 0x06, kMemErr = 0x07, kMemNoMem = 0x08, kMemFunc = 0x09, kRefErr = 0x0A,
    kAreaErr = 0x0B, kRefN = 0x0C, kAreaN = 0x0D, kMemAreaN = 0x0E, kMemNoMemN = 0x0F,
    kNameX = 0x19, kRef3d = 0x1A, kArea3d = 0x1B, kRefErr3d = 0x1C, kAreaErr3d = 0x1D,
};

// ptgAttr forms (the byte after 0x19).
enum : uint8_t { kAttrChoose = 0x04 };

// The size in bytes of the token at p (its first byte included), with `left` bytes of
// expression from p on; -1 when the token is unknown or runs past the end.
int tokenSize(const uint8_t *p, qsizetype left);

struct Token {
    int offset;     // from the start of rgce
    uint8_t ptg;    // the token byte as stored
    int size;
    bool classed() const { return ptg >= 0x20; }
    uint8_t base() const { return classed() ? uint8_t(ptg & 0x1F) : ptg; }
};

// Every token of an expression of cce bytes, in order; false when one is unknown or the
// expression does not end on a token boundary (the list is then incomplete).
bool tokenize(const uint8_t *rgce, qsizetype cce, std::vector<Token> &out);
bool tokenize(const QByteArray &rgce, qsizetype cce, std::vector<Token> &out);

// Column fields of the reference tokens: the column in the low byte, relative flags above.
constexpr uint16_t kColumnMask = 0x00FF;
constexpr uint16_t kColumnRelative = 0x4000;
constexpr uint16_t kRowRelative = 0x8000;

} // namespace store::ptg
