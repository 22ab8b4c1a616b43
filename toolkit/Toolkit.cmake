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

# The window system and text engine follow the platform and the build's options:
# - Windows: Win32 windows, GDI text and bitmap sections (gdi32 and user32 come with Windows);
#   there is no libpng, so PNG snapshots are written uncompressed and not read;
# - full Linux builds: X11 windows, FreeType and fontconfig text, libpng snapshots;
# - minimal Linux builds (32-bit): the block face and the headless system only.
if(WIN32)
  target_sources(ql_toolkit PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/text/GdiEngine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PngFilesStored.cpp
    ${CMAKE_CURRENT_LIST_DIR}/backends/Win32.cpp)
  target_link_libraries(ql_toolkit PRIVATE gdi32 user32)
  set(QL_TOOLKIT_X11 OFF CACHE INTERNAL "")
  set(QL_TOOLKIT_WIN32 ON CACHE INTERNAL "")
elseif(QL_MINIMAL)
  target_sources(ql_toolkit PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/text/BuiltInEngine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PngFilesNone.cpp
    ${CMAKE_CURRENT_LIST_DIR}/backends/NativeNone.cpp)
  set(QL_TOOLKIT_X11 OFF CACHE INTERNAL "")
  set(QL_TOOLKIT_WIN32 OFF CACHE INTERNAL "")
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
  set(QL_TOOLKIT_WIN32 OFF CACHE INTERNAL "")
endif()
