# Windows build: the tool folder (Packrift.exe, dlgkit.dll, adpane.dll, tool files) and the Wine-run tests. Two
# flavours from one tree, by the toolchain file: i686 makes out/dist, x86_64 makes out/dist-x64.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PR_FLAVOUR x64)
  set(DIST ${CMAKE_SOURCE_DIR}/out/dist-x64)
else()
  set(PR_FLAVOUR i686)
  set(DIST ${CMAKE_SOURCE_DIR}/out/dist)
endif()
set(WIN_FLAGS -fexec-charset=CP1250 -Wall -Wextra -Wno-unknown-pragmas -Wno-cast-function-type)
set(WIN_LINK -static -static-libgcc -static-libstdc++)
add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0600 WINVER=0x0600 _WIN32_IE=0x0600 NOMINMAX)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
enable_language(RC)
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "")

find_library(ZLIB_STATIC NAMES libz.a REQUIRED)

# dlgkit.dll: exports by the plain names of its .def file.
add_library(dlgkit SHARED dlgkit/dllmain.cpp dlgkit/dlgkit.def)
target_compile_options(dlgkit PRIVATE ${WIN_FLAGS})
target_include_directories(dlgkit PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(dlgkit PRIVATE ${WIN_LINK} -Wl,--enable-stdcall-fixup)
target_link_libraries(dlgkit PRIVATE comdlg32 shell32 ole32 gdi32)
set_target_properties(dlgkit PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST})

# adpane.dll: the advertisement panel, exports by the plain names of its .def file. The ad server's
# host is a build setting that the page address and the probe share. The tests run the program, so
# their build points it at the loopback address, where only their own server answers: the scripts'
# environment sets PR_AD_HOST (scripts/env.sh), which wins over the cache.
set(PR_AD_HOST "ads.orvane.example" CACHE STRING "Host name of the ad server")
if(DEFINED ENV{PR_AD_HOST})
  set(PR_AD_HOST "$ENV{PR_AD_HOST}" CACHE STRING "Host name of the ad server" FORCE)
endif()
if(NOT PR_AD_HOST STREQUAL "127.0.0.1")
  message(WARNING "PR_AD_HOST is ${PR_AD_HOST}: the Windows tests run the program and would reach it; "
    "build them with PR_AD_HOST=127.0.0.1 (the scripts do)")
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/adhost.h CONTENT
  "// The ad server's host name: the build setting PR_AD_HOST.\n#pragma once\n#define PR_AD_HOST \"@PR_AD_HOST@\"\n")
file(GLOB PR_ADPANE_SOURCES CONFIGURE_DEPENDS adpane/*.cpp)
add_library(adpane SHARED ${PR_ADPANE_SOURCES} adpane/adpane.def)
target_include_directories(adpane PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_compile_options(adpane PRIVATE ${WIN_FLAGS})
target_link_options(adpane PRIVATE ${WIN_LINK} -Wl,--enable-stdcall-fixup)
target_link_libraries(adpane PRIVATE ole32 oleaut32 uuid wininet ws2_32 user32)
set_target_properties(adpane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST})

# The Win32 layer (win/): handle wrappers and the file layer, shared by the program and the engine.
file(GLOB PR_WIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/win/*.cpp)

# Everything of the program but WinMain, so that the tests link the same code.
file(GLOB PR_APP_SOURCES CONFIGURE_DEPENDS
  app/*.cpp entries/*.cpp build/*.cpp lang/*.cpp)
list(FILTER PR_APP_SOURCES EXCLUDE REGEX "/app/main\\.cpp$")
add_library(prapp STATIC ${PR_APP_SOURCES} ${PR_WIN_SOURCES} ${PR_CORE_SOURCES})
target_include_directories(prapp PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/res)
target_compile_options(prapp PUBLIC ${WIN_FLAGS})
target_include_directories(prapp PUBLIC ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(prapp PUBLIC adpane)
target_link_libraries(prapp PUBLIC dlgkit ${ZLIB_STATIC} lzma_enc lzma_dec comctl32 comdlg32 shell32 shlwapi ole32 oleaut32 uuid advapi32 user32 gdi32)

set(PR_RC ${CMAKE_SOURCE_DIR}/res/packrift.rc)
set_source_files_properties(${PR_RC} PROPERTIES OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/res/packrift.manifest)
add_executable(Packrift WIN32 app/main.cpp ${PR_RC})
target_link_libraries(Packrift PRIVATE prapp)
target_link_options(Packrift PRIVATE ${WIN_LINK})
# The LZMA encoder at the highest levels asks for several hundred MiB in one piece: a 32-bit program
# may use the whole 4 GiB that 64-bit Windows gives it, not only the lower 2 GiB.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(Packrift PRIVATE -Wl,--large-address-aware)
endif()
set_target_properties(Packrift PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST})

# The help file, compiled from lang/help/ by chmcmd (Debian's fp-utils) in a copy of the sources.
file(GLOB PR_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lang/help/*)
find_program(CHMCMD chmcmd REQUIRED)
set(PR_CHM ${CMAKE_BINARY_DIR}/help/Packrift.chm)
add_custom_command(OUTPUT ${PR_CHM}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/help
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/lang/help ${CMAKE_BINARY_DIR}/help
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/help ${CHMCMD} Packrift.hhp
  DEPENDS ${PR_HELP_SOURCES}
  COMMENT "Compiling the help file Packrift.chm"
  VERBATIM)

# Tool files shipped beside the program.
file(GLOB PR_LANG_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lang/files/*.lng)
add_custom_target(toolfiles ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST}/Lang ${DIST}/bin
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PR_LANG_FILES} ${DIST}/Lang/
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PR_CHM} ${DIST}/
  DEPENDS ${PR_CHM}
  VERBATIM)

# GoogleTest, built with the same toolchain.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
# Each test executable runs in a Wine prefix of its own (scripts/wine-run --test), so that two suites
# run side by side without ending each other's processes.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run --test ${PR_FLAVOUR})

# Windows test suites: one executable per tests/win/*.cpp holding TEST()s, sharing the fixture code
# in tests/win/support/. Each carries the program's resources, because dialogs load from the exe.
set(TEST_BIN ${CMAKE_BINARY_DIR}/tests)
file(GLOB PR_TEST_SUPPORT CONFIGURE_DEPENDS tests/win/support/*.cpp)
add_library(prtestsupport STATIC ${PR_TEST_SUPPORT})
target_link_libraries(prtestsupport PUBLIC prapp gtest)
target_include_directories(prtestsupport PUBLIC ${CMAKE_SOURCE_DIR}/tests/win/support)
target_compile_definitions(prtestsupport PRIVATE PR_DIST="${DIST}")
file(GLOB PR_WIN_TESTS CONFIGURE_DEPENDS tests/win/*_test.cpp)
foreach(src ${PR_WIN_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${PR_RC})
  target_link_libraries(${name} PRIVATE prtestsupport gtest_main)
  target_link_options(${name} PRIVATE ${WIN_LINK})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
  add_dependencies(${name} winctl)  # drives windows and runs Linux programs for the tests
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:dlgkit> $<TARGET_FILE:adpane> ${TEST_BIN}/)
  # The cases of one program take turns; so do those of the build and the end-to-end suites, which
  # both put engine files into bin\ beside the test programs.
  set(lock ${name})
  if(name MATCHES "^(build_test|engine_e2e_test)$")
    set(lock tests-bin)
  endif()
  # So do those that put language files into Lang\ beside the test programs: the settings
  # dialog lists every file there, and the language suite empties the folder.
  if(name MATCHES "^(lang_test|settings_test|dlgkit_test|pickers_test)$")
    set(lock tests-lang)
  endif()
  # The panel's cases count the process's handles and time a loopback server's exchanges: they run
  # with no other suite beside them.
  set(serial FALSE)
  if(name STREQUAL "adpane_test")
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 300 RESOURCE_LOCK ${lock} RUN_SERIAL ${serial})
endforeach()

# The panel's tests call the container's tables directly, and run an HTTP server of their own.
target_sources(adpane_test PRIVATE adpane/WebBrowser.cpp)
target_link_libraries(adpane_test PRIVATE ws2_32)

# Command-line tools as Windows programs: tools/<name>.cpp -> out/win/tools/<name>.exe.
file(GLOB PR_TOOLS CONFIGURE_DEPENDS tools/*.cpp)
foreach(src ${PR_TOOLS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name}_win ${src} ${PR_CORE_SOURCES} ${PR_WIN_SOURCES})
  target_include_directories(${name}_win PRIVATE ${PR_PORTABLE_INCLUDES})
  target_link_libraries(${name}_win PRIVATE ${ZLIB_STATIC} lzma_enc lzma_dec)
  target_link_options(${name}_win PRIVATE ${WIN_LINK})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${name}_win PRIVATE -Wl,--large-address-aware)  # as the program, for LZMA
  endif()
  set_target_properties(${name}_win PROPERTIES OUTPUT_NAME ${name} RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
endforeach()

# Script helper that finds a window by caption and sends it a close, a command or a text.
add_executable(winctl tests/win/winctl/winctl.cpp)
target_link_options(winctl PRIVATE ${WIN_LINK})
set_target_properties(winctl PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})

# The installer engine, the uninstaller and the installer language data (bin\ of the tool folder).
include(cmake/engine.cmake)

# Benchmark programs (run by scripts/bench-*, never by the tests).
include(cmake/bench.cmake)
