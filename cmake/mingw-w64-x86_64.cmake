# Cross build for 64-bit Windows with Debian's mingw-w64 compilers (the
# "-posix" thread model, which std::thread and std::mutex need). Programs
# link statically, so each .exe runs on a bare Windows with nothing beside
# it. Test programs run under Wine (the main CMakeLists.txt names the
# emulator).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(AXP_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${AXP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${AXP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${AXP_MINGW_TRIPLE}-windres)

# Libraries and headers of the target only (zlib from libz-mingw-w64-dev),
# and of those only the static archives; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${AXP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Test programs are asked for their tests when ctest runs, inside the Wine
# session of `make test-windows`, not while building.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
