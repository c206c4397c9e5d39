# Cross-build of the Windows program with mingw-w64 (posix thread variant,
# which std::mutex and GoogleTest need). Tests run under Wine.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No mingw DLLs beside the .exe: a missing DLL makes it exit 53 silently.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test executables run through Wine, always in the build's own prefix: Wine
# without WINEPREFIX would set up ~/.wine. The start script starts a test
# again when Wine failed to start it (see there).
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env
    WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEARCH=win64 WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml=
    sh ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/start_test.sh
    /usr/lib/wine/wine64)
# Tests are listed when ctest runs, not while building (no Wine needed).
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
