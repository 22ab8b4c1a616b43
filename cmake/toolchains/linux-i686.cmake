# 32-bit x86 Linux with the host's multilib compilers (-m32); the programs run under QEMU user emulation.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# Keep the 64-bit system libraries out of the search, so a missing 32-bit library fails at configure time
# instead of at link time.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# binfmt_misc hands 32-bit programs to QEMU by itself; naming it here also works where that is not registered.
if(EXISTS /usr/bin/qemu-i386-static)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-i386-static)
endif()
