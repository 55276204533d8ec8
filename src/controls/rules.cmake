target_sources(contavio_controls PRIVATE fieldrules.h fieldrules.cpp)
