# The installer engine (bin\Packrift.dat), the uninstaller (bin\UnInst.dat) and the installer language
# data (bin\Lang.dat) of the tool folder; the engine tests get the engine's plain-data sources.
set(ENGINE_DIR ${CMAKE_SOURCE_DIR}/engine)
# Small programs: no exceptions or RTTI in the engine's own code, every unused function dropped,
# the whole program optimised for size at link time (one partition: the same bytes every build).
# -Os, not -Oz: -Oz saves half a kilobyte and costs the silent install several per cent
# (scripts/bench-install).
set(ENGINE_FLAGS ${WIN_FLAGS} -DGZC_SINGLE_THREAD -DGZC_FOLDERS_HELD -Os -flto -ffat-lto-objects -fno-exceptions -fno-rtti -fno-threadsafe-statics -ffunction-sections
    -fdata-sections -fno-asynchronous-unwind-tables -include ${CMAKE_SOURCE_DIR}/engine/templates.h)
set(ENGINE_LINK -Os -flto -flto-partition=one -static -static-libgcc -static-libstdc++ -s -Wl,--gc-sections -mwindows
    -Wl,--wrap=gzclose)
# 32-bit Windows keeps the stack 4-byte aligned: asking for more costs a realignment in every
# function that needs it, which nothing in the engine does (no SSE data); for size.
# The solid kind's decoder, the LZMA SDK's LzmaDec.c alone (the engine never packs), built for size
# and optimised with the rest at link time.
set(ENGINE_C_FLAGS -D_7ZIP_ST -D_LZMA_SIZE_OPT -Os -flto -ffat-lto-objects -ffunction-sections -fdata-sections
    -fno-asynchronous-unwind-tables -w)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND ENGINE_FLAGS -mpreferred-stack-boundary=2)
  list(APPEND ENGINE_C_FLAGS -mpreferred-stack-boundary=2)
  list(APPEND ENGINE_LINK -mpreferred-stack-boundary=2 -Wl,-T,${CMAKE_SOURCE_DIR}/engine/engine.ld)
endif()
# No link time in the headers: every installer starts with these bytes, and the same sources must
# give the same installer whenever the tool folder was built.
list(APPEND ENGINE_LINK -Wl,--no-insert-timestamp)
# The engine's own plain data (no Win32): also compiled into the engine tests.
set(ENGINE_LOGIC engine/langdata.cpp engine/unlog.cpp)

# core/ whole, built the engine's way: the linker takes only the members the engine calls. Without
# exceptions a failed allocation ends the process (engine/runtime.cpp); the shared code's
# out-of-memory handlers (core/alloccheck.h) then compile away.
# The engine's bytes, and so every installer's first bytes, follow the order in which the linker
# meets what it takes: the archive reader, the profile and the PE reader first, in this order (and
# the registry values in engine_core), as every installer so far was built; the rest follows.
set(ENGINE_CORE_FIRST gzcformat gzcfiles profile peimage)
list(TRANSFORM ENGINE_CORE_FIRST REPLACE "(.+)" "${CMAKE_SOURCE_DIR}/core/\\1.cpp")
set(ENGINE_CORE ${PR_CORE_SOURCES})
list(REMOVE_ITEM ENGINE_CORE ${ENGINE_CORE_FIRST})
add_library(engine_lzma_dec STATIC ${LZMA_SDK_DIR}/LzmaDec.c)
target_compile_options(engine_lzma_dec PRIVATE ${ENGINE_C_FLAGS})
target_compile_options(engine_lzma_dec INTERFACE -idirafter ${LZMA_SDK_DIR} -D_7ZIP_ST)
add_library(engine_portable STATIC ${ENGINE_CORE_FIRST} ${ENGINE_CORE})
target_include_directories(engine_portable PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(engine_portable PRIVATE ${ENGINE_FLAGS})
target_link_libraries(engine_portable PUBLIC engine_lzma_dec)
# zlib as the engine links it: its unwind tables removed. On Windows the linker keeps every .eh_frame,
# and through it every function it describes, so unused zlib code (the whole deflate side) would stay.
set(ENGINE_ZLIB ${CMAKE_BINARY_DIR}/engine_zlib.a)
add_custom_command(OUTPUT ${ENGINE_ZLIB}
  COMMAND ${CMAKE_OBJCOPY} --remove-section=.eh_frame ${ZLIB_STATIC} ${ENGINE_ZLIB}
  DEPENDS ${ZLIB_STATIC} VERBATIM)
add_custom_target(engine_zlib DEPENDS ${ENGINE_ZLIB})

# The registry values stand among the engine's own units, where the linker has always met them.
add_library(engine_core STATIC engine/langdata.cpp core/regvalue.cpp engine/unlog.cpp engine/enginewin.cpp engine/winfiles.cpp engine/steps.cpp ${PR_WIN_SOURCES} engine/runtime.cpp engine/look.cpp)
target_include_directories(engine_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(engine_core PRIVATE ${ENGINE_FLAGS})
add_dependencies(engine_core engine_zlib)
target_link_libraries(engine_core PUBLIC engine_portable ${ENGINE_ZLIB} comctl32 shell32 ole32 advapi32 user32 gdi32)

# gzreadonly.cpp is linked as an object: only the archive module, further down the line, needs it.
# It stays out of the link-time optimisation, which cannot see the --wrap=gzclose it defines.
set_source_files_properties(engine/gzreadonly.cpp PROPERTIES COMPILE_OPTIONS -fno-lto)
add_executable(engine_setup WIN32 engine/setup.cpp engine/install.cpp engine/wizard.cpp engine/gzreadonly.cpp engine/engine.rc)
add_executable(engine_uninst WIN32 engine/uninst.cpp engine/uninst.rc)
foreach(t engine_setup engine_uninst)
  target_compile_options(${t} PRIVATE ${ENGINE_FLAGS})
  target_include_directories(${t} PRIVATE ${ENGINE_DIR})
  target_link_libraries(${t} PRIVATE engine_core)
  target_link_options(${t} PRIVATE ${ENGINE_LINK})
  set_target_properties(${t} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST}/bin SUFFIX .dat
                        LINK_DEPENDS ${CMAKE_SOURCE_DIR}/engine/engine.ld)
endforeach()
# Their manifest as both carry it: engine.manifest without the line breaks and indentation, which
# XML does not need and every installer would carry (generated/engine.min.manifest).
file(READ ${ENGINE_DIR}/engine.manifest manifest)
string(REGEX REPLACE "\n[ ]*<" "<" manifest "${manifest}")
string(REGEX REPLACE "[\n ]+" " " manifest "${manifest}")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/engine.min.manifest CONTENT "${manifest}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ENGINE_DIR}/engine.manifest)
set_source_files_properties(engine/engine.rc engine/uninst.rc PROPERTIES OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/generated/engine.min.manifest)
set_target_properties(engine_setup PROPERTIES OUTPUT_NAME Packrift)
target_link_options(engine_setup PRIVATE -Wl,--wrap=adler32 -Wl,--wrap=crc32)
set_target_properties(engine_uninst PROPERTIES OUTPUT_NAME UnInst)
# The 32-bit engine's and uninstaller's size bounds (128 KiB, 64 KiB), which every installer pays.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  foreach(bound "engine_setup;131072" "engine_uninst;65536")
    list(GET bound 0 t)
    list(GET bound 1 bytes)
    add_custom_command(TARGET ${t} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${t}> -DBOUND=${bytes} -P ${CMAKE_SOURCE_DIR}/cmake/sizebound.cmake
      VERBATIM)
  endforeach()
endif()

add_custom_command(OUTPUT ${DIST}/bin/Lang.dat
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST}/bin
  COMMAND ${CMAKE_COMMAND} "-DSRC=${ENGINE_DIR}/lang.txt;${ENGINE_DIR}/lang-world.txt" -DOUT=${DIST}/bin/Lang.dat
          -P ${ENGINE_DIR}/mklang.cmake
  DEPENDS ${ENGINE_DIR}/lang.txt ${ENGINE_DIR}/lang-world.txt ${ENGINE_DIR}/mklang.cmake
  VERBATIM)
add_custom_target(engine_lang ALL DEPENDS ${DIST}/bin/Lang.dat)
add_custom_target(engine ALL DEPENDS engine_setup engine_uninst engine_lang)

# Tests: the run probe that installers start as a program's run entry, and the engine's plain-data
# sources and installer fixture in every tests/win/engine_*_test.cpp executable.
set(ENGINE_FIXTURE ${CMAKE_SOURCE_DIR}/tests/win/engine)
add_executable(engine_runprobe WIN32 ${ENGINE_FIXTURE}/runprobe.cpp ${ENGINE_FIXTURE}/runprobe.rc)
target_include_directories(engine_runprobe PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(engine_runprobe PRIVATE ${WIN_LINK})
set_target_properties(engine_runprobe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
file(GLOB ENGINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/engine_*_test.cpp)
foreach(src ${ENGINE_TESTS})
  get_filename_component(name ${src} NAME_WE)
  if(TARGET ${name})
    list(TRANSFORM ENGINE_LOGIC PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE logic)
    target_sources(${name} PRIVATE ${logic} ${ENGINE_FIXTURE}/setupfixture.cpp)
    target_include_directories(${name} PRIVATE ${ENGINE_FIXTURE})
    add_dependencies(${name} engine engine_runprobe)
  endif()
endforeach()
