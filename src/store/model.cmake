target_sources(contavio_store PRIVATE
  errors.h errors.cpp
  value.h
  italian.h
  styles.h
  workbook.h
)
