target_sources(contavio_store PRIVATE
  xls.h
)
