# The plain-data foundations (core/, no Win32): every source there, built by the program, the
# installer engine, the native tools and the tests alike.
file(GLOB PR_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/core/*.cpp)
set(PR_PORTABLE_INCLUDES ${CMAKE_SOURCE_DIR})
