#include "store/formula/ptg.h"

#include "store/biff/biff.h"

namespace store::ptg {

int tokenSize(const uint8_t *p, qsizetype left)
{
    if (left < 1)
        return -1;
    const uint8_t t = p[0];
    int size = -1;
    if (t >= 0x20 && t < 0x80) {
        switch (t & 0x1F) {
        case kArray: size = 8; break;        // the constants follow the expression
        case kFunc: size = 3; break;
        case kFuncVar: size = 4; break;
        case kName: size = 5; break;
        case kRef: case kRefErr: case kRefN: size = 5; break;
        case kArea: case kAreaErr: case kAreaN: size = 9; break;
        case kMemArea: case kMemErr: case kMemNoMem: size = 7; break;   // the inner tokens follow
        case kMemFunc: case kMemAreaN: case kMemNoMemN: size = 3; break;
        case kNameX: size = 7; break;
        case kRef3d: case kRefErr3d: size = 7; break;
        case kArea3d: case kAreaErr3d: size = 11; break;
        default: return -1;
        }
    } else {
        switch (t) {
        case kExp: case kTbl: size = 5; break;
        case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: case 0x08: case 0x09:
        case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x0E: case 0x0F: case 0x10:
        case 0x11: case 0x12: case 0x13: case 0x14: case 0x15: case 0x16:
            size = 1;   // operators, parentheses, a missing argument
            break;
        case kStr: {
            if (left < 3)
                return -1;
            const int count = p[1];
            size = 3 + ((p[2] & 0x01) ? 2 * count : count);
            break;
        }
        case kExtend: size = 6; break;       // natural-language references, pivot names
        case kAttr: {
            if (left < 4)
                return -1;
            if (p[1] & kAttrChoose) {
                // A jump table of count + 1 offsets follows the count.
                size = 4 + 2 * (int(biff::u16(p + 2)) + 1);
            } else {
                size = 4;
            }
            break;
        }
        case kErr: case kBool: size = 2; break;
        case kInt: size = 3; break;
        case kNum: size = 9; break;
        default: return -1;
        }
    }
    return size <= left ? size : -1;
}

bool tokenize(const uint8_t *p, qsizetype cce, std::vector<Token> &out)
{
    out.clear();
    if (cce < 0)
        return false;
    qsizetype at = 0;
    while (at < cce) {
        const int size = tokenSize(p + at, cce - at);
        if (size < 0)
            return false;
        out.push_back({int(at), p[at], size});
        at += size;
    }
    return true;
}

bool tokenize(const QByteArray &rgce, qsizetype cce, std::vector<Token> &out)
{
    if (cce < 0 || cce > rgce.size()) {
        out.clear();
        return false;
    }
    return tokenize(reinterpret_cast<const uint8_t *>(rgce.constData()), cce, out);
}

} // namespace store::ptg
