# The in-memory model is an object library of its own, so that its tests build and link
# while the file layer is still being written; its objects go into contavio_store.
add_library(contavio_model OBJECT
  errors.h errors.cpp
  value.h value.cpp
  italian.h italian.cpp
  styles.h styles.cpp
  numformat.h numformat.cpp
  workbook.h workbook.cpp
  range.cpp
)
target_include_directories(contavio_model PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(contavio_model PUBLIC Qt6::Core Qt6::Gui)
contavio_warnings(contavio_model)

target_link_libraries(contavio_store PRIVATE contavio_model)
# Opening and saving reach the file layer.
target_sources(contavio_store PRIVATE server.cpp)
