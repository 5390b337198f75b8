# Cross toolchain: 64-bit Windows with MinGW-w64 (the x64 flavour, out/dist-x64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
