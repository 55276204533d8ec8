target_sources(contavio_store PRIVATE
  errors.h errors.cpp
  value.h value.cpp
  italian.h italian.cpp
  styles.h styles.cpp
  numformat.h numformat.cpp
  workbook.h workbook.cpp
  range.cpp
  server.cpp
)
