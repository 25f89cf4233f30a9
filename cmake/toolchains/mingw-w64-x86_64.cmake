# Cross toolchain for Windows x64 (AMD64) with Debian's mingw-w64 compilers
# (package g++-mingw-w64-x86-64). Used for the kernel driver image and for the
# Win32 programs that are built for Windows.
#
#   cmake -S . -B build-win-x86_64 \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MINGW_TRIPLE x86_64-w64-mingw32)

# Debian ships two thread models of each compiler; the win32 one has no
# dependency on winpthread, which suits both the driver and small console
# programs. Fall back to the unsuffixed names on other installations.
find_program(MINGW_C_COMPILER NAMES ${MINGW_TRIPLE}-gcc-win32 ${MINGW_TRIPLE}-gcc REQUIRED)
find_program(MINGW_CXX_COMPILER NAMES ${MINGW_TRIPLE}-g++-win32 ${MINGW_TRIPLE}-g++ REQUIRED)
find_program(MINGW_RC_COMPILER NAMES ${MINGW_TRIPLE}-windres)
set(CMAKE_C_COMPILER ${MINGW_C_COMPILER})
set(CMAKE_CXX_COMPILER ${MINGW_CXX_COMPILER})
if(MINGW_RC_COMPILER)
  set(CMAKE_RC_COMPILER ${MINGW_RC_COMPILER})
endif()

# Target sysroot: headers (include/, include/ddk/) and import libraries (lib/).
set(MINGW_SYSROOT /usr/${MINGW_TRIPLE} CACHE PATH "mingw-w64 target sysroot")
set(CMAKE_FIND_ROOT_PATH ${MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CMake's Windows-GNU platform appends kernel32, user32, gdi32, ole32 and more
# to every link line. A kernel image must not see them (a stray Win32 call
# would resolve instead of failing), and the compiler driver already adds the
# Win32 libraries a console program needs. Preset the cache entries empty so
# the platform's defaults are not filled in.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked by default with all C applications.")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked by default with all C++ applications.")
