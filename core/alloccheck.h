// Out-of-memory handling that also compiles without exceptions: `ALLOC_TRY { ... } ALLOC_CATCH { ... }`
// catches std::bad_alloc where exceptions exist; built without them (the installer engine), a
// failed allocation ends the process and the handler is never reached.
#pragma once
#include <new>

#if defined(__cpp_exceptions)
#define ALLOC_TRY try
#define ALLOC_CATCH catch (const std::bad_alloc&)
#else
#define ALLOC_TRY if (true)
#define ALLOC_CATCH else
#endif
