// The program's side of the GZC archives: working-folder scratch files and the hooks.
#include "build/gzc.h"
#include "app/func.h"
#include "app/func1.h"
#include "build/kopiuj.h"
#include <string.h>
#include <string>

namespace {
// Scratch files lie directly in the working folder: value "5" with its last part replaced.
bool Scratch(const char* name, std::string* out) {
  char bin[kPathMax];
  if (!WorkPath(VAL_BINDIR, bin)) return false;
  char* slash = strrchr(bin, '\\');
  if (!slash) return false;
  *slash = 0;
  *out = std::string(bin) + "\\" + name;
  return out->size() < (size_t)kPathMax;
}

void ShowProgress(void*, short overall, short current) {
  Progress(overall, false, nullptr);
  Progress(current, true, nullptr);
}
void Pump(void*) { MsgLoop(); }
unsigned PumpQuiet(void*) { return MsgLoopQuiet(); }
void PumpSkip(void*, unsigned n) { MsgLoopSkip(n); }
// While the packer waits for its compressing threads, what is waiting is dispatched.
void Idle(void*) {
  for (int i = 0; i < 16 && PumpMessage(); ++i) {
  }
}
}  // namespace

GzcStatus PackWithReports(const char* folder, const char* archive, unsigned minIntervalMs) {
  std::string gz, list;
  if (!Scratch("gz.tmp", &gz) || !Scratch("list.txt", &list)) return GZC_ERR_LIST_FILE;
  GzcHooks hooks = {};
  hooks.cancel = CancelGzc();
  hooks.bounds = Granica();
  hooks.progress = ShowProgress;
  hooks.pump = Pump;
  hooks.pumpQuiet = PumpQuiet;
  hooks.pumpSkip = PumpSkip;
  hooks.idle = Idle;
  hooks.minIntervalMs = minIntervalMs;
  GzcPackJob job = {};
  job.folder = folder;
  job.archive = archive;
  job.gzTmp = gz.c_str();
  job.listFile = list.c_str();
  job.mode = CompLevel();
  job.files = WinFileOps();
  job.hooks = &hooks;
  return GzcPack(job, nullptr);
}

int Pakowanie(const char* folder, const char* name, bool inWork) {
  std::string archive = name;
  if (inWork) {
    char bin[kPathMax];
    if (!WorkPath(VAL_BINDIR, bin)) return 0;
    archive = std::string(bin) + "\\" + name;
  }
  // Each report is a message to the dialog's thread and a repaint: a file's own bar is shown at
  // most every 50 ms (the overall bar's changes always go).
  return PackWithReports(folder, archive.c_str(), 50) == GZC_ERR_LIST_FILE ? 0 : 1;
}

void Error_1() { ShowMessage(S_UNPACK_ERROR, MB_OK | MB_ICONERROR); }

bool Rozpakowanie(const char* dest, HANDLE archive) {
  std::string gz;
  LARGE_INTEGER size, pos, zero = {};
  GzcStatus st = GZC_ERR_READ;
  if (Scratch("gz.tmp", &gz) && GetFileSizeEx(archive, &size) && SetFilePointerEx(archive, zero, &pos, FILE_CURRENT) &&
      pos.QuadPart <= size.QuadPart) {
    GzcSource src = {WinFileOps(), archive, (uint64_t)(size.QuadPart - pos.QuadPart), (uint64_t)pos.QuadPart};
    GzcUnpackJob job = {};
    job.dest = dest;
    job.gzTmp = gz.c_str();
    job.createFolders = false;
    job.files = WinFileOps();
    st = GzcUnpack(job, src);
  }
  if (st != GZC_OK) Error_1();
  return st == GZC_OK;
}
