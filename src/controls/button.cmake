target_sources(contavio_controls PRIVATE xpbutton.h xpbutton.cpp buttonlooks.h buttonlooks.cpp)
