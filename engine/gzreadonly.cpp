// zlib's gzip-file close as the engine links it: the engine only reads gzip members, so gzclose is
// the reader's close (the engine links with --wrap=gzclose). This keeps zlib's whole write side
// (deflate), which gzclose would otherwise pull in, out of the engine.
#include <zlib.h>

extern "C" int __wrap_gzclose(gzFile file) { return gzclose_r(file); }
