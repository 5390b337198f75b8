# The one version of everything Packrift ships (the program, the installers it makes, the native
# tools, the Debian package): the project's version, given to C++ and the resource scripts as
# generated/prversion.h. The title bar shows major.minor, as it always has; the rest the whole version.
set(PR_VERSION_TITLE "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/prversion.h CONTENT
"// The product's version: the CMake project's, written by cmake/version.cmake.
#pragma once
#define PR_VERSION \"@PROJECT_VERSION@\"
#define PR_VERSION_RC @PROJECT_VERSION_MAJOR@,@PROJECT_VERSION_MINOR@,@PROJECT_VERSION_PATCH@,0
#define PR_TITLE \"Packrift v@PR_VERSION_TITLE@\"
#define PR_ABOUT_TEXT \"Packrift v@PROJECT_VERSION@\"
#define PR_COMPANY \"Orvane\"
")
include_directories(${CMAKE_BINARY_DIR}/generated)
