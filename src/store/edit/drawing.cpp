// Notes and the drawing layer of a worksheet.
//
// A sheet's drawing is one OfficeArt tree cut into the payloads of its MSODRAWING records
// (and CONTINUE records right after them), with the records that describe each shape in
// between: the OBJ of a shape follows the MSODRAWING record that ends with its ClientData
// atom, the TXO (with its CONTINUE records) of a text box follows the record that ends with
// its ClientTextbox atom. The tree:
//   DgContainer (F002) { FDG (F008: csp, spidCur), SpgrContainer (F003) {
//       SpContainer of the group itself, then one SpContainer (F004) or SpgrContainer
//       per top-level shape } , ... }
// A top-level SpContainer holds FSP (F00A), FOPT, ClientAnchor (F010: flags, col1, dx1,
// row1, dy1, col2, dx2, row2, dy2, 0-based rows and columns), ClientData (F011) and, for
// notes and text boxes, ClientTextbox (F00D). A NOTE record names its shape through the id
// of the shape's OBJ (the ftCmo subrecord: ft 0x15, cb, ot, id).

#include "store/edit/structureedits.h"

#include "store/biff/biff.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>

namespace store::edit {

namespace {

using biff::put16;
using biff::put32;
using biff::u16;
using biff::u32;

constexpr uint16_t kMsoDrawing = 0x00EC, kObj = 0x005D, kTxo = 0x01B6;
constexpr uint16_t kDgContainer = 0xF002, kSpgrContainer = 0xF003, kSpContainer = 0xF004;
constexpr uint16_t kFdg = 0xF008, kClientAnchor = 0xF010, kClientData = 0xF011, kClientTextbox = 0xF00D;

struct Slice {
    size_t record;        // index in the sheet's carried records
    qsizetype begin, end; // in the joined drawing bytes
};

struct Shape {
    qsizetype begin = 0, end = 0;          // the shape's container in the joined bytes
    qsizetype anchor = -1;                 // ClientAnchor data (18 bytes)
    std::vector<qsizetype> clientDataEnds; // one OBJ follows each
    qsizetype textboxEnd = -1;
    bool group = false;
};

struct Drawing {
    QByteArray bytes;
    std::vector<Slice> slices;
    qsizetype fdg = -1;                    // FDG data: csp, spidCur
    std::vector<qsizetype> parentHeaders;  // DgContainer and the top SpgrContainer
    std::vector<Shape> shapes;             // top-level shapes, the group's own one excluded
};

struct Header {
    uint16_t verInstance, type;
    uint32_t length;
    bool container() const { return (verInstance & 0x000F) == 0x000F; }
};

bool header(const QByteArray &b, qsizetype at, qsizetype end, Header &h)
{
    if (at + 8 > end)
        return false;
    const auto *p = reinterpret_cast<const uint8_t *>(b.constData()) + at;
    h = {u16(p), u16(p + 2), u32(p + 4)};
    return qsizetype(h.length) <= end - at - 8;
}

// Walks one shape container (SpContainer, or SpgrContainer of a group), noting its anchor,
// client data and text box atoms. False when its lengths do not hold.
bool readShape(Drawing &d, qsizetype at, qsizetype end, Shape &shape, int depth)
{
    if (depth > 16)
        return false;
    while (at < end) {
        Header h;
        if (!header(d.bytes, at, end, h))
            return false;
        const qsizetype data = at + 8, next = data + qsizetype(h.length);
        if (h.container()) {
            if (!readShape(d, data, next, shape, depth + 1))
                return false;
        } else if (h.type == kClientAnchor && shape.anchor < 0 && h.length >= 18) {
            shape.anchor = data;
        } else if (h.type == kClientData) {
            shape.clientDataEnds.push_back(next);
        } else if (h.type == kClientTextbox && depth == 0) {
            shape.textboxEnd = next;
        }
        at = next;
    }
    return true;
}

std::optional<Drawing> readDrawing(const std::vector<biff::PlacedRecord> &records)
{
    Drawing d;
    int depth = 0;
    bool inDrawing = false;   // the record before was part of the drawing (for CONTINUE)
    for (size_t i = 0; i < records.size(); ++i) {
        const auto &rec = records[i];
        if (rec.type == biff::kBof)
            ++depth;
        else if (rec.type == biff::kEof && depth > 0)
            --depth;
        const bool part = depth == 0 && (rec.type == kMsoDrawing || (rec.type == biff::kContinue && inDrawing));
        if (part) {
            d.slices.push_back({i, d.bytes.size(), d.bytes.size() + rec.data.size()});
            d.bytes += rec.data;
        }
        inDrawing = part;
    }
    if (d.bytes.isEmpty())
        return std::nullopt;
    Header dg;
    if (!header(d.bytes, 0, d.bytes.size(), dg) || dg.type != kDgContainer || !dg.container())
        return std::nullopt;
    d.parentHeaders.push_back(0);
    const qsizetype dgEnd = 8 + qsizetype(dg.length);
    bool groupSeen = false;
    for (qsizetype at = 8; at < dgEnd;) {
        Header h;
        if (!header(d.bytes, at, dgEnd, h))
            return std::nullopt;
        const qsizetype data = at + 8, next = data + qsizetype(h.length);
        if (h.type == kFdg && h.length >= 8) {
            d.fdg = data;
        } else if (h.type == kSpgrContainer && !groupSeen) {
            groupSeen = true;
            d.parentHeaders.push_back(at);
            bool first = true;   // the group's own shape
            for (qsizetype s = data; s < next;) {
                Header sh;
                if (!header(d.bytes, s, next, sh))
                    return std::nullopt;
                const qsizetype sEnd = s + 8 + qsizetype(sh.length);
                if (sh.type == kSpContainer || sh.type == kSpgrContainer) {
                    Shape shape;
                    shape.begin = s;
                    shape.end = sEnd;
                    shape.group = sh.type == kSpgrContainer;
                    if (!readShape(d, s + 8, sEnd, shape, shape.group ? 1 : 0))
                        return std::nullopt;
                    if (!first || shape.group)
                        d.shapes.push_back(shape);
                    first = false;
                }
                s = sEnd;
            }
        }
        at = next;
    }
    return d;
}

// The record that follows the drawing record holding byte `offset - 1`; nullopt when that
// byte does not end its record (then nothing follows it there).
std::optional<size_t> recordAfter(const Drawing &d, qsizetype offset)
{
    auto it = std::upper_bound(d.slices.begin(), d.slices.end(), offset - 1,
                               [](qsizetype o, const Slice &s) { return o < s.begin; });
    if (it == d.slices.begin())
        return std::nullopt;
    --it;
    if (offset != it->end)
        return std::nullopt;
    return it->record + 1;
}

// The id of an OBJ record's ftCmo; -1 when it has none.
int objectId(const QByteArray &obj)
{
    if (obj.size() < 8)
        return -1;
    const auto *p = reinterpret_cast<const uint8_t *>(obj.constData());
    return u16(p) == 0x15 ? u16(p + 6) : -1;
}

// 0-based row of an anchor after a delete of 1-based rows first..last: rows below move up,
// rows inside land on the first row after the deleted ones.
int anchorRowAfterDelete(int row, const RowShift &shift)
{
    const int count = shift.last - shift.first + 1;
    if (row + 1 > shift.last)
        return row - count;
    if (row + 1 >= shift.first)
        return shift.first - 1;
    return row;
}

void moveAnchor(QByteArray &bytes, qsizetype anchor, const std::function<int(int)> &rowOf)
{
    auto *p = reinterpret_cast<uint8_t *>(bytes.data()) + anchor;
    for (int field : {6, 14}) {   // row1, row2
        const int row = std::clamp(rowOf(u16(p + field)), 0, kMaxRows - 1);
        put16(p + field, uint16_t(row));
    }
}

// Lowers the shape count of the workbook's drawing group (FDGG cspSaved) by `removed`.
void lowerGroupCount(Workbook &book, int removed)
{
    if (!book.extras)
        return;
    for (auto &rec : book.extras->records) {
        if (rec.type != biff::kMsoDrawingGroup)
            continue;
        if (rec.data.size() >= 28) {
            auto *p = reinterpret_cast<uint8_t *>(rec.data.data());
            if (u16(p + 2) == 0xF000 && u16(p + 10) == 0xF006) {
                const uint32_t saved = u32(p + 24);
                put32(p + 24, saved > uint32_t(removed) ? saved - uint32_t(removed) : 0);
            }
        }
        return;
    }
}

// What a row shift does to the notes and shapes of a sheet.
struct DrawingEdit {
    std::map<int, size_t> shapeOfObject;              // OBJ id -> top-level shape
    std::vector<std::vector<size_t>> recordsOfShape;  // each shape's own OBJ, TXO, CONTINUE
    std::set<size_t> dropRecords;
    std::vector<size_t> dropShapes;
    std::map<size_t, int> noteDelta;                  // shape -> rows its note moved by
};

// The shapes behind the objects, by OBJ id, and each shape's own records.
void findShapeRecords(const Drawing &d, const std::vector<biff::PlacedRecord> &records, DrawingEdit &edit)
{
    edit.recordsOfShape.resize(d.shapes.size());
    for (size_t k = 0; k < d.shapes.size(); ++k) {
        const Shape &shape = d.shapes[k];
        for (qsizetype end : shape.clientDataEnds) {
            const auto obj = recordAfter(d, end);
            if (obj && *obj < records.size() && records[*obj].type == kObj) {
                edit.recordsOfShape[k].push_back(*obj);
                if (!shape.group)
                    edit.shapeOfObject.emplace(objectId(records[*obj].data), k);
            }
        }
        if (shape.textboxEnd >= 0) {
            auto txo = recordAfter(d, shape.textboxEnd);
            if (txo && *txo < records.size() && records[*txo].type == kTxo) {
                edit.recordsOfShape[k].push_back(*txo);
                for (size_t c = *txo + 1; c < records.size() && records[c].type == biff::kContinue; ++c)
                    edit.recordsOfShape[k].push_back(c);
            }
        }
    }
}

// NOTE records follow their cells; a deleted row's notes are marked to go with their shapes
// and records. A note whose shape cannot be found in the drawing stays as it was on a delete.
void shiftNotes(std::vector<biff::PlacedRecord> &records, const RowShift &shift, DrawingEdit &edit)
{
    for (size_t i = 0; i < records.size(); ++i) {
        auto &rec = records[i];
        if (rec.type != biff::kNote || rec.data.size() < 8)
            continue;
        auto *p = reinterpret_cast<uint8_t *>(rec.data.data());
        const int row = u16(p) + 1, column = u16(p + 2) + 1;
        const auto shape = edit.shapeOfObject.find(u16(p + 6));
        const bool known = shape != edit.shapeOfObject.end();
        if (shift.kind == RowShift::Delete && row >= shift.first && row <= shift.last) {
            if (!known)
                continue;
            edit.dropRecords.insert(i);
            if (std::find(edit.dropShapes.begin(), edit.dropShapes.end(), shape->second) == edit.dropShapes.end())
                edit.dropShapes.push_back(shape->second);
            for (size_t r : edit.recordsOfShape[shape->second])
                edit.dropRecords.insert(r);
            continue;
        }
        const int after = shift.rowAfter(row, column);
        if (after <= 0 || after == row)
            continue;
        put16(p, uint16_t(after - 1));
        if (known)
            edit.noteDelta[shape->second] = after - row;
    }
}

// Anchors: a note's box travels with its note; on a delete every other shape follows the rows
// it sits on.
void moveAnchors(Drawing &d, const DrawingEdit &edit, const RowShift &shift)
{
    for (size_t k = 0; k < d.shapes.size(); ++k) {
        const Shape &shape = d.shapes[k];
        if (shape.anchor < 0 || std::find(edit.dropShapes.begin(), edit.dropShapes.end(), k) != edit.dropShapes.end())
            continue;
        const auto delta = edit.noteDelta.find(k);
        if (delta != edit.noteDelta.end())
            moveAnchor(d.bytes, shape.anchor, [&](int r) { return r + delta->second; });
        else if (shift.kind == RowShift::Delete)
            moveAnchor(d.bytes, shape.anchor, [&](int r) { return anchorRowAfterDelete(r, shift); });
    }
}

// Takes the dropped shapes out of the drawing: the containers' lengths and the shape counts
// (the sheet's and the workbook's) shrink, each drawing record keeps its bytes outside the
// cut shapes, and a drawing record left empty is marked to go.
void cutShapes(Workbook &book, Drawing &d, std::vector<biff::PlacedRecord> &records, DrawingEdit &edit)
{
    std::vector<std::pair<qsizetype, qsizetype>> cut;
    qsizetype removed = 0;
    for (size_t k : edit.dropShapes) {
        cut.emplace_back(d.shapes[k].begin, d.shapes[k].end);
        removed += d.shapes[k].end - d.shapes[k].begin;
    }
    std::sort(cut.begin(), cut.end());
    auto *b = reinterpret_cast<uint8_t *>(d.bytes.data());
    for (qsizetype h : d.parentHeaders)
        put32(b + h + 4, u32(b + h + 4) - uint32_t(removed));
    if (d.fdg >= 0) {
        const uint32_t csp = u32(b + d.fdg);
        put32(b + d.fdg, csp > edit.dropShapes.size() ? csp - uint32_t(edit.dropShapes.size()) : 0);
    }
    lowerGroupCount(book, int(edit.dropShapes.size()));
    for (const Slice &s : d.slices) {
        QByteArray kept;
        qsizetype at = s.begin;
        for (const auto &[from, to] : cut) {
            if (to <= at || from >= s.end)
                continue;
            if (from > at)
                kept += d.bytes.mid(at, from - at);
            at = std::max(at, to);
        }
        if (at < s.end)
            kept += d.bytes.mid(at, s.end - at);
        records[s.record].data = kept;
        if (kept.isEmpty())
            edit.dropRecords.insert(s.record);
    }
}

// Removes the marked records; a drawing CONTINUE whose record went ahead of it starts a
// record of its own.
void dropRecords(std::vector<biff::PlacedRecord> &records, const std::set<size_t> &drop, const Drawing *d)
{
    std::vector<biff::PlacedRecord> out;
    out.reserve(records.size() - drop.size());
    std::set<size_t> drawingRecords;
    if (d)
        for (const Slice &s : d->slices)
            drawingRecords.insert(s.record);
    bool previousDrawing = false;
    for (size_t i = 0; i < records.size(); ++i) {
        if (drop.count(i))
            continue;
        const bool part = drawingRecords.count(i) > 0;
        if (part && records[i].type == biff::kContinue && !previousDrawing)
            records[i].type = kMsoDrawing;
        previousDrawing = part;
        out.push_back(std::move(records[i]));
    }
    records = std::move(out);
}

} // namespace

void shiftDrawing(Workbook &book, Worksheet &sheet, const RowShift &shift)
{
    if (!sheet.extras)
        return;
    auto &records = sheet.extras->records;
    std::optional<Drawing> drawing = readDrawing(records);
    DrawingEdit edit;
    if (drawing)
        findShapeRecords(*drawing, records, edit);
    shiftNotes(records, shift, edit);
    if (drawing) {
        moveAnchors(*drawing, edit, shift);
        if (!edit.dropShapes.empty()) {
            cutShapes(book, *drawing, records, edit);
        } else {
            for (const Slice &s : drawing->slices)
                records[s.record].data = drawing->bytes.mid(s.begin, s.end - s.begin);
        }
    }
    if (!edit.dropRecords.empty())
        dropRecords(records, edit.dropRecords, drawing ? &*drawing : nullptr);
}

} // namespace store::edit
