// The engine's member scratch file ("gz.tmp") kept in memory, and zlib's gzip-file reading on it.
#pragma once
#include <windows.h>

#include <string>

// The archive module copies every member into its scratch file and then reads it back through
// zlib's gzip-file functions. Under Wine each create and open of that file costs about half a
// millisecond, which for programs of many small files outweighs the inflating itself; so the engine
// keeps the scratch file in memory and serves zlib's reading functions from there (the engine links
// them wrapped: --wrap=gzopen,gzread,gzbuffer,gzdirect,gzerror,gzclose). A member larger than the
// memory limit goes to the real file, and zlib reads that one as usual.
struct MemScratch {
  std::string path;   // the scratch file's path ("" = none kept in memory)
  std::string data;   // its bytes while in memory
  HANDLE disk = INVALID_HANDLE_VALUE;  // the real file, once the bytes outgrew the limit
  bool onDisk = false;   // the current content is in the real file
  bool spilled = false;  // the real file may exist (from this or an earlier content)
};

// Largest member kept in memory.
constexpr size_t MEM_SCRATCH_MAX = 32u << 20;

// The process-wide scratch (one archive is read at a time).
MemScratch* Scratch();
// Starts a new content for `path` (the scratch file opened for writing). False if the real file
// that replaces an earlier spilled one cannot be reset.
bool ScratchOpen(const std::string& path);
// Appends bytes, moving to the real file past the limit. False on a failed write.
bool ScratchWrite(const void* bytes, size_t n);
// Ends the writing (closes the real file if there is one).
bool ScratchClose();
