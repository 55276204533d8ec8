target_sources(contavio_store PRIVATE
  printing.h printing.cpp
)
