# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the POSIX
# thread model, which OpenMP needs):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Everything is linked with -static: the plug-ins carry their own OpenMP, C++
# and thread runtimes, so they need nothing beyond the host's libmx.dll and
# libmex.dll and the Windows system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BITS_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${BITS_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${BITS_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${BITS_MINGW_TRIPLE}-windres)
find_program(CMAKE_DLLTOOL NAMES ${BITS_MINGW_TRIPLE}-dlltool REQUIRED)
find_program(CMAKE_OBJDUMP NAMES ${BITS_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${BITS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# FindOpenMP would settle on libgomp's import library; link its archive.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgomp.a
                OUTPUT_VARIABLE BITS_MINGW_LIBGOMP OUTPUT_STRIP_TRAILING_WHITESPACE)
set(OpenMP_gomp_LIBRARY ${BITS_MINGW_LIBGOMP} CACHE FILEPATH "libgomp, linked statically")
