#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// Little-endian access to the 16- and 32-bit fields and the doubles that stored records are
// made of: the model keeps some records raw (fonts, cell formats), the file layer reads and
// writes them all.

#include <cstdint>
#include <cstring>

namespace store::le {

inline uint16_t u16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t u32(const uint8_t *p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
inline double f64(const uint8_t *p) { double d; std::memcpy(&d, p, 8); return d; }   // little-endian host
inline void put16(uint8_t *p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void put32(uint8_t *p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24); }

} // namespace store::le
