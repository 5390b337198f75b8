// Included before everything else in the engine's sources: the standard library's strings are
// instantiated in the engine itself (built without exceptions) instead of taken from the library's
// prebuilt copies, which carry exception handling and the whole unwinding runtime with them.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
