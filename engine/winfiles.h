// The engine's file operations for the archive module: the Win32 file layer with a count of
// archive bytes read, the folders made and folders held open. Paths are UTF-8, reaching Windows
// through the wide functions.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/gzcformat.h"
#include "win/winfs.h"

// State behind one set of file operations. `source` is the installer file: reads from it are
// counted and reported, so that checking and unpacking can show progress. Folders made through
// the operations are recorded in `madeDirs`.
struct EngineFiles {
  GzcFileOps ops;
  HANDLE source = INVALID_HANDLE_VALUE;
  uint64_t sourceRead = 0;
  // The source is read ahead in large blocks: under Wine every read call costs a round trip to the
  // server, and the archive module asks for 64 KiB at a time.
  // A seek within the block held costs no call either; `aheadAt` is the block's place in the file
  // (unknown before the first seek).
  std::vector<char> ahead;
  size_t aheadPos = 0, aheadLen = 0;
  uint64_t aheadAt = ~0ull;
  void (*onRead)(void* ctx, uint64_t total) = nullptr;
  void* onReadCtx = nullptr;
  // Called with its path before a file that is there is replaced through createAt; false refuses it.
  bool (*onReplace)(void* ctx, const char* path) = nullptr;
  void* onReplaceCtx = nullptr;
  std::vector<std::string> madeDirs;
};

// Fills `files->ops` with the Win32 operations bound to `files`.
void InitEngineFiles(EngineFiles* files);
// The path of `name` in a folder that the engine's file operations hold open (openDir, makeDirAt).
std::string Below(void* dir, const char* name);

// Writes `bytes` as the whole file `path` (exclusive, never through a link); a file that could not
// be written whole is deleted again. In the engine's file unit, so that the uninstaller, which only
// reads, links none of the file layer.
bool WriteWhole(const std::string& path, const std::string& bytes);

// Win32 threads for the archive module's unpacking (the engine links no threads library).
const GzcThreadOps* EngineThreads();
