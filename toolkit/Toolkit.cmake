# Sources and libraries of the toolkit's drawing, text and window-system parts (added to ql_toolkit).
target_sources(ql_toolkit PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Graphics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Region.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Surface.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Canvas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextEngine.cpp
)

# Full builds rasterise text with FreeType and fontconfig; minimal builds use the block face.
if(QL_MINIMAL)
  set(QL_TOOLKIT_FREETYPE OFF)
else()
  find_package(Freetype REQUIRED)
  find_package(Fontconfig REQUIRED)
  set(QL_TOOLKIT_FREETYPE ON)
endif()

if(QL_TOOLKIT_FREETYPE)
  target_sources(ql_toolkit PRIVATE ${CMAKE_CURRENT_LIST_DIR}/text/FreeTypeEngine.cpp)
  target_link_libraries(ql_toolkit PRIVATE Freetype::Freetype Fontconfig::Fontconfig)
else()
  target_sources(ql_toolkit PRIVATE ${CMAKE_CURRENT_LIST_DIR}/text/BuiltInEngine.cpp)
endif()
