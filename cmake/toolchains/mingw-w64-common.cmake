# Settings shared by the two Windows cross toolchains; the including file sets QL_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model gives std::thread and std::mutex; the win32 model of Debian's compilers lacks them.
set(CMAKE_C_COMPILER ${QL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QL_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${QL_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QL_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${QL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages (a cross-built GoogleTest) may live in a build folder outside the root.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# A plug-in DLL is dropped into any host's folder, where no MinGW runtime DLLs are: the C++ runtime, libgcc and
# winpthread go inside each binary, so it needs nothing but the system's own DLLs.
set(ql_mingw_static "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${ql_mingw_static}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${ql_mingw_static}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${ql_mingw_static}")

# Test programs cannot be run while building (no Windows here, or only wine); list their tests at ctest time.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
