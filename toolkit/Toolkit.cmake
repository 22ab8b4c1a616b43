# Sources and libraries of the toolkit's drawing, text, message and window-system parts (added to ql_toolkit).
target_sources(ql_toolkit PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Graphics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Region.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Surface.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Canvas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextEngine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageLoop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Messages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Forms.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StdCtrls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExtCtrls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Menus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/backends/Headless.cpp
  ${CMAKE_CURRENT_LIST_DIR}/backends/WindowSystem.cpp
)

# Full builds rasterise text with FreeType and fontconfig, write PNG snapshots with libpng and
# embed into X11 windows; minimal builds (32-bit, Windows) use the block face and headless only.
if(QL_MINIMAL)
  target_sources(ql_toolkit PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/text/BuiltInEngine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PngFilesNone.cpp
    ${CMAKE_CURRENT_LIST_DIR}/backends/NativeNone.cpp)
  set(QL_TOOLKIT_X11 OFF CACHE INTERNAL "")
else()
  find_package(Freetype REQUIRED)
  find_package(Fontconfig REQUIRED)
  find_package(PNG REQUIRED)
  find_package(X11 REQUIRED)
  target_sources(ql_toolkit PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/text/FreeTypeEngine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PngFiles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/backends/X11.cpp)
  target_link_libraries(ql_toolkit PRIVATE Freetype::Freetype Fontconfig::Fontconfig PNG::PNG X11::X11 X11::Xext)
  set(QL_TOOLKIT_X11 ON CACHE INTERNAL "")
endif()
