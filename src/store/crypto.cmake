target_sources(contavio_store PRIVATE
  crypto.h
  crypto.cpp
)
