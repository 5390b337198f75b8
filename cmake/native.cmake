# Native build of the plain-data code: sanitized tests, the fuzz target and the command-line tools.
set(SAN -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(-Wall -Wextra -g -O1)

add_library(prcore STATIC ${PR_CORE_SOURCES} ${PR_BUILD_SEQUENCE})
target_include_directories(prcore PUBLIC ${PR_PORTABLE_INCLUDES})
find_package(ZLIB REQUIRED)
target_link_libraries(prcore PUBLIC ZLIB::ZLIB lzma_enc lzma_dec)
target_compile_options(prcore PRIVATE -O2)  # the tools' code: built for speed, as they are

# Sanitized copy for the tests (the tools are built plain, for speed).
add_library(prcore_san STATIC ${PR_CORE_SOURCES} ${PR_BUILD_SEQUENCE})
target_include_directories(prcore_san PUBLIC ${PR_PORTABLE_INCLUDES})
target_compile_options(prcore_san PUBLIC ${SAN})
target_link_options(prcore_san PUBLIC ${SAN})
target_link_libraries(prcore_san PUBLIC ZLIB::ZLIB lzma_enc lzma_dec)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

file(GLOB PR_NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*_test.cpp)
if(PR_NATIVE_TESTS)
  add_executable(native_tests ${PR_NATIVE_TESTS})
  target_link_libraries(native_tests PRIVATE prcore_san gtest_main)
  target_compile_options(native_tests PRIVATE ${SAN})
  target_link_options(native_tests PRIVATE ${SAN})
  target_compile_definitions(native_tests PRIVATE PR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(native_tests)
endif()

# Fuzz targets (clang only): tests/native/fuzz_*.cpp.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  file(GLOB PR_FUZZERS CONFIGURE_DEPENDS tests/native/fuzz_*.cpp)
  foreach(src ${PR_FUZZERS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${PR_CORE_SOURCES})
    target_include_directories(${name} PRIVATE ${PR_PORTABLE_INCLUDES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ZLIB::ZLIB lzma_enc lzma_dec)
  endforeach()
endif()

# Command-line tools: tools/<name>.cpp.
file(GLOB PR_TOOLS CONFIGURE_DEPENDS tools/*.cpp)
foreach(src ${PR_TOOLS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE prcore)
  target_compile_options(${name} PRIVATE -O2)
endforeach()

# packrift-build: the program's installer build on Linux (tools/native), with the file layer and the
# profile writing that make its output the program's under Wine byte for byte.
set(PR_BUILDTOOL_SOURCES tools/native/winpaths.cpp tools/native/wineprofile.cpp)
add_executable(packrift-build tools/native/packrift_build.cpp ${PR_BUILDTOOL_SOURCES})
target_link_libraries(packrift-build PRIVATE prcore)
target_compile_options(packrift-build PRIVATE -O2)
if(TARGET native_tests)
  target_sources(native_tests PRIVATE ${PR_BUILDTOOL_SOURCES})
endif()
