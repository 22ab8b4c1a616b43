# Cross toolchain for 32-bit Windows (i686) with Debian's MinGW-w64 compilers.
set(QL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Hosts built with other compilers call the plug-in with the stack aligned to 4 bytes only, which 32-bit Windows
# allows; GCC would otherwise assume 16 and fault on aligned SSE spills in the audio path.
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
