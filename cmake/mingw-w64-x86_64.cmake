# Cross-compiling for 64-bit Windows with mingw-w64 on a Linux host:
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The "-posix" compilers use the winpthreads threading model; the default
# win32 model of Debian's mingw-w64 has no std::mutex or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VENDREL_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VENDREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VENDREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VENDREL_MINGW_TRIPLE}-windres)
find_program(CMAKE_AR ${VENDREL_MINGW_TRIPLE}-ar)
find_program(CMAKE_RANLIB ${VENDREL_MINGW_TRIPLE}-ranlib)
find_program(CMAKE_OBJDUMP ${VENDREL_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VENDREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: the DLL and the programs need only DLLs that Windows
# itself ships (no libgcc_s, libstdc++ or libwinpthread beside them).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine. The wrapper keeps wine's prefix and server
# apart from the user's own and out of the test runner's pipes.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine_run.sh)
