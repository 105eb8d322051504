# Cross build for Windows x64 with MinGW-w64's posix-threads GCC (g++-mingw-w64-x86-64-posix:
# the win32-threads compiler of GCC 12 has no std::thread or std::mutex). Linked statically, so
# the programs need no MinGW DLL beside them; the build's own programs (the font generator, the
# test discovery) and the tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Wine keeps its Windows folder tree (a "prefix", about 700 MB) in the build folder rather than in
# the user's home, made once at the first configure (about 6 s). No display is used, and Wine's
# own diagnostics are silenced so that the tests see only what the programs print.
find_program(VEX_WINE wine REQUIRED)
find_program(VEX_WINEBOOT wineboot REQUIRED)
if(NOT DEFINED VEX_WINE_PREFIX)
    set(VEX_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "The build's own Wine prefix")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VEX_WINE_PREFIX)
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env -u DISPLAY WINEPREFIX=${VEX_WINE_PREFIX} WINEDEBUG=-all ${VEX_WINE})
get_property(vexInTryCompile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT vexInTryCompile AND NOT EXISTS ${VEX_WINE_PREFIX}/system.reg)
    message(STATUS "Making the Wine prefix ${VEX_WINE_PREFIX}")
    execute_process(
        COMMAND /usr/bin/env -u DISPLAY WINEPREFIX=${VEX_WINE_PREFIX} WINEDEBUG=-all
                ${VEX_WINEBOOT} -i
        RESULT_VARIABLE vexWineBoot OUTPUT_QUIET ERROR_QUIET)
    if(NOT vexWineBoot EQUAL 0 OR NOT EXISTS ${VEX_WINE_PREFIX}/system.reg)
        message(FATAL_ERROR "wineboot -i could not make the Wine prefix ${VEX_WINE_PREFIX}")
    endif()
endif()
