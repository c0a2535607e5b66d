# The statistics font: DejaVu Sans Mono Bold baked at 16 pixels into an
# alpha atlas while building, so the engine needs no font file at run time.
set(KV_STATISTICS_FONT /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf)
add_executable(kv_bake_font ${PROJECT_SOURCE_DIR}/tools/bake_font.cpp)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/baked_font.cpp
  COMMAND kv_bake_font ${KV_STATISTICS_FONT} 16 ${CMAKE_CURRENT_BINARY_DIR}/baked_font.cpp
  DEPENDS kv_bake_font ${KV_STATISTICS_FONT}
  COMMENT "Baking the statistics font")
target_sources(kv_platform PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/baked_font.cpp)
