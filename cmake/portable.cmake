# The plain-data foundations (core/, no Win32): every source there, built by the program, the
# installer engine, the native tools and the tests alike.
file(GLOB PR_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/core/*.cpp)
set(PR_PORTABLE_INCLUDES ${CMAKE_SOURCE_DIR})
# The installer build's sequence and a project's opening: plain code in build/ that the program's
# build (through build/'s own sources) and the native packrift-build share.
set(PR_BUILD_SEQUENCE ${CMAKE_SOURCE_DIR}/build/buildseq.cpp)
