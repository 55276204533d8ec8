target_sources(contavio_store PRIVATE
  xls.h
  biff.h
  biffstream.h biffstream.cpp
  cfb.h cfb.cpp
  savefile.h savefile.cpp
  xls_read.cpp
  xls_write.cpp
)
