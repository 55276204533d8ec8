# The engine's sources by part, relative to src/store. Read by this folder's CMakeLists.txt
# and by the fuzzing build, so that the list lives in one place.
set(CONTAVIO_STORE_MODEL_SOURCES
  # cells, values, Italian conversions, styles, number formats, the object model
  model/errors.h model/errors.cpp
  model/value.h model/value.cpp
  model/italian.h model/italian.cpp
  model/styles.h model/styles.cpp
  model/numformat.h model/numformat.cpp
  model/workbook.h model/workbook.cpp
  model/range.cpp
  # the program's data sheets: names and column titles
  layout/sheets.h layout/sheets.cpp
)
set(CONTAVIO_STORE_FILE_SOURCES
  # opening and saving: the server's operations that reach the file layer
  server.cpp
  # the .xls format: compound file, BIFF8 records, password protections, safe saving
  xls/xls.h
  xls/biff.h
  xls/biffstream.h xls/biffstream.cpp
  xls/cfb.h xls/cfb.cpp
  xls/crypto.h xls/crypto.cpp
  xls/savefile.h xls/savefile.cpp
  xls/reader.h xls/xls_read.cpp xls/read_globals.cpp xls/read_sheet.cpp
  xls/xls_write.cpp
  # pagination and printing
  print/printing.h print/printing.cpp
)
