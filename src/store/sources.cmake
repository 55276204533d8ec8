# The engine's sources by part, relative to src/store. Read by this folder's CMakeLists.txt
# and by the fuzzing build, so that the list lives in one place.
set(CONTAVIO_STORE_MODEL_SOURCES
  # cells, values, Italian conversions, styles, number formats, the object model
  model/bytes.h
  model/errors.h model/errors.cpp
  model/value.h model/value.cpp
  model/italian.h model/italian.cpp
  model/styles.h model/styles.cpp
  model/numformat.h model/numformat.cpp
  model/workbook.h model/workbook.cpp
  model/structure.h
  model/carried.h
  model/range.cpp
)
set(CONTAVIO_STORE_FILE_SOURCES
  # opening and saving: the server's operations that reach the file layer
  server.cpp
  # reading and writing a workbook file, safe saving, backups (public)
  file/workbookfile.h
  file/savefile.h file/savefile.cpp
  # BIFF8 building blocks shared by the format, the formulas and the edits: record numbers,
  # output buffer, the records a load keeps for the next save
  biff/biff.h biff/biff.cpp
  # the .xls format: compound file, record stream, reader, writer, password protections
  xls/biffstream.h xls/biffstream.cpp
  xls/cfb.h xls/cfb.cpp
  xls/crypto.h xls/crypto.cpp
  xls/reader.h xls/xls_read.cpp xls/read_globals.cpp xls/read_sheet.cpp
  xls/writer.h xls/xls_write.cpp xls/write_globals.cpp xls/write_names.cpp xls/write_sheet.cpp
  xls/page_records.h xls/page_records.cpp
  # formula tokens and the references that follow structural edits
  formula/ptg.h formula/ptg.cpp
  formula/refshift.h formula/refshift.cpp
  formula/bookshift.cpp
  # notes, drawings, merged ranges, links, formats and validations that follow row edits
  edit/structureedits.h edit/structureedits.cpp
  edit/drawing.cpp
  # pagination and printing
  print/printing.h print/printing.cpp
)
