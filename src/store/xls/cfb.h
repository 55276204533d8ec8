#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// The compound file (the container of a .xls file) through libgsf: every stream is read
// into memory with its size checked against the file, and written back in one image.

#include "store/biff/biff.h"

#include <QByteArray>
#include <vector>

namespace store::cfb {

// Every stream of the compound file image, with its "/"-separated path (nested storages up
// to a small depth). Throws StoreError(Damaged) when the image is not a compound file or a
// stream cannot be read whole.
std::vector<biff::CfbEntry> read(const QByteArray &file);

// A compound file image (512-byte sectors, 64-byte mini sectors) holding the given streams.
// Throws StoreError(Io) if the container cannot be built.
QByteArray write(const std::vector<biff::CfbEntry> &entries);

} // namespace store::cfb
