# Cross toolchain body shared by the flavours' toolchain files: MinGW-w64 for CMAKE_SYSTEM_PROCESSOR
# (posix thread model, needed by GoogleTest).
set(CMAKE_SYSTEM_NAME Windows)
set(PR_MINGW ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${PR_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PR_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${PR_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PR_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
