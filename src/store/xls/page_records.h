#pragma once

// Private to the engine: only its own targets and contavio_store_internal may include it.
#ifndef CONTAVIO_STORE_INTERNAL
#error "private header of the engine (src/store): include its public headers instead, see README"
#endif

// The page set-up records of a worksheet substream. A record goes back into the file when the
// file had it or when the program changed one of its values since the load; unchanged values
// are written exactly as read, so that a save does not move the printouts of the other
// spreadsheet programs. Values the file lacked take the programs' defaults.

#include "store/biff/biff.h"

namespace store::biff {

// PRINTHEADERS and PRINTGRIDLINES.
void writePrintFlags(Out &out, const PageSetup &ps, const BiffExtras &bx);
// HEADER, FOOTER, HCENTER, VCENTER and the four margins.
void writePageLayout(Out &out, const PageSetup &ps, const BiffExtras &bx);
// SETUP: paper, scale, first page, fit to pages, options, resolution, header and footer margins.
void writeSetup(Out &out, const PageSetup &ps, const BiffExtras &bx);

// The section of a header or footer text ("&L..&C..&R..") that `which` names; text before
// any section code is centred, "&&" is a literal ampersand.
QString headerSection(const QString &text, QChar which);

// A header or footer text with its centre section replaced, the other sections kept.
QString headerText(const QString &stored, const QString &center);

} // namespace store::biff
