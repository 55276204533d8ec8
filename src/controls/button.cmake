target_sources(contavio_controls PRIVATE xpbutton.h xpbutton.cpp)
