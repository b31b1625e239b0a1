# The Windows build so far: every source of the library that compiles
# without a Windows platform layer, in one static library, and one test
# program over its portable parts, run under Wine by ctest. It grows into
# the full build as the platform layer arrives.

# Sources that still need zziplib, which the Windows build will not have
# (our own ZIP reader replaces it), and the POSIX platform layer.
set(AXP_WINDOWS_PENDING
  axp/common/key_stream.cpp
  axp/common/scrambled_io.cpp
  axp/common/scrambling_toggle.cpp
  axp/patchmaker/package_build.cpp
  axp/updater/apply.cpp
  axp/updater/entry_extractor.cpp
  axp/updater/updater.cpp)

find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)
add_subdirectory(axp/lzma)

file(GLOB library_sources CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
  axp/common/*.cpp axp/pack/*.cpp axp/updater/*.cpp axp/patchmaker/*.cpp)
list(REMOVE_ITEM library_sources ${AXP_WINDOWS_PENDING})
add_library(axp STATIC ${library_sources})
target_include_directories(axp PUBLIC ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
target_link_libraries(axp PUBLIC axp_lzma ZLIB::ZLIB Threads::Threads)

# GoogleTest from its sources, built for the target.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

enable_testing()
include(GoogleTest)
add_executable(portable_tests
  tests/common/checksum_test.cpp
  tests/common/error_record_test.cpp
  tests/common/name_text_test.cpp
  tests/pack/name_hash_test.cpp
  tests/updater/lzma_coder_test.cpp)
target_include_directories(portable_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(portable_tests PRIVATE axp GTest::gtest GTest::gtest_main)
gtest_discover_tests(portable_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
