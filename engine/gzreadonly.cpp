// zlib's gzip-file close as the engine links it: the engine only reads gzip members, so gzclose is
// the reader's close (the engine links with --wrap=gzclose). This keeps zlib's whole write side
// (deflate), which gzclose would otherwise pull in, out of the engine.
#include <zlib.h>

extern "C" int __wrap_gzclose(gzFile file) { return gzclose_r(file); }

// The members are gzip streams, checked with CRC-32; inflate computes an Adler-32 only for zlib
// streams, which the reader never opens. This stand-in (the engine links with --wrap=adler32) keeps
// zlib's Adler-32 code out of the engine.
extern "C" uLong __wrap_adler32(uLong, const Bytef*, uInt) { return 1; }
