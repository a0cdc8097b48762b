# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 toolchain (package g++-mingw-w64-x86-64).
# The posix thread variant is used because GoogleTest needs std::mutex and friends; everything is linked
# statically, so VorskExtract.exe and the test programs need no MinGW DLLs at run time.
#
#     cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Tests then run under Wine through CMAKE_CROSSCOMPILING_EMULATOR (set below when Wine is installed).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORSK_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${VORSK_MINGW_TRIPLE}-gcc-posix ${VORSK_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VORSK_MINGW_TRIPLE}-g++-posix ${VORSK_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VORSK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORSK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLLs beside the executables: the C++ runtime, libgcc and winpthread go in statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine (cmake/wine-run.sh), with a Wine prefix of the build tree's own. Debian's
# wine64 installs its loader outside PATH; a wine64 or wine on PATH is taken when present.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(VORSK_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
    find_program(VORSK_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
    if(VORSK_WINE AND VORSK_WINESERVER)
        set(CMAKE_CROSSCOMPILING_EMULATOR
            /bin/sh "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh" "${VORSK_WINE}" "${VORSK_WINESERVER}"
            "${CMAKE_BINARY_DIR}/wine")
    endif()
endif()
