// The program's side of the GZC archives: working-folder scratch files and the hooks.
#include "build/gzc.h"
#include "build/buildhooks.h"
#include "build/buildplan.h"
#include "build/kopiuj.h"
#include <string>

namespace {
// While the packer waits for its compressing threads, at most this many waiting messages go.
const int kIdleMessages = 16;

// Scratch files lie directly in the working folder, beside its "bin".
bool Scratch(const char* name, std::string* out) {
  std::string bin = BuildPathOf(BUILD_BIN_FOLDER);
  size_t slash = bin.rfind('\\');
  if (slash == std::string::npos) return false;
  *out = bin.substr(0, slash + 1) + name;
  return out->size() < (size_t)MAX_PATH;
}

void ShowProgress(void*, short overall, short current) {
  Progress(overall, false, nullptr);
  Progress(current, true, nullptr);
}
// The archive module's hooks, passed on to the program's.
void Pump(void*) { BuildHooksInUse().pump(); }
unsigned PumpQuiet(void*) { return BuildHooksInUse().pumpQuiet(); }
void PumpSkip(void*, unsigned n) { BuildHooksInUse().pumpSkip(n); }
// While the packer waits for its compressing threads, what is waiting is dispatched.
void Idle(void*) {
  for (int i = 0; i < kIdleMessages && BuildHooksInUse().pumpNow(); ++i) {
  }
}

// PackWithReports with the choice of names: code page 1250 through the ANSI functions (projects),
// or UTF-8 through the wide ones (installers; every path given is then converted from ANSI).
GzcStatus PackWith(const char* folder, const char* archive, unsigned minIntervalMs, bool utf8,
                   GzcPackResult* result) {
  std::string gz, list;
  if (!Scratch("gz.tmp", &gz) || !Scratch("list.txt", &list)) return GZC_ERR_LIST_FILE;
  std::string folderIn = folder, archiveIn = archive;
  if (utf8) {
    gz = AnsiToUtf8(gz);
    list = AnsiToUtf8(list);
    folderIn = AnsiToUtf8(folderIn);
    archiveIn = AnsiToUtf8(archiveIn);
  }
  const BuildHooks& h = BuildHooksInUse();
  GzcHooks hooks = {};
  hooks.cancel = CancelGzc();
  hooks.bounds = Granica();
  hooks.progress = ShowProgress;
  hooks.pump = h.pump ? Pump : nullptr;
  hooks.pumpQuiet = h.pump && h.pumpQuiet && h.pumpSkip ? PumpQuiet : nullptr;
  hooks.pumpSkip = hooks.pumpQuiet ? PumpSkip : nullptr;
  hooks.idle = h.pumpNow ? Idle : nullptr;
  hooks.minIntervalMs = minIntervalMs;
  GzcPackJob job = {};
  job.folder = folderIn.c_str();
  job.archive = archiveIn.c_str();
  job.gzTmp = gz.c_str();
  job.listFile = list.c_str();
  job.mode = h.compressMode ? h.compressMode() : nullptr;
  job.files = utf8 ? WinFileOpsUtf8() : WinFileOps();
  job.hooks = &hooks;
  job.utf8Names = utf8;
  return GzcPack(job, result);
}
}  // namespace

GzcStatus PackWithReports(const char* folder, const char* archive, unsigned minIntervalMs) {
  return PackWith(folder, archive, minIntervalMs, false, nullptr);
}

bool PackForInstaller(const char* folder, const char* name) {
  std::string bin = BuildPathOf(BUILD_BIN_FOLDER);
  if (bin.empty()) return false;
  GzcPackResult result;
  PackWith(folder, (bin + "\\" + name).c_str(), kFileBarIntervalMs, true, &result);
  const StrDef* refused = RefusedFileMessage(result.refusedWhy);
  if (refused) BuildError(*refused, result.refused);
  return !refused;
}

int Pakowanie(const char* folder, const char* name, bool inWork) {
  std::string archive = name;
  if (inWork) {
    std::string bin = BuildPathOf(BUILD_BIN_FOLDER);
    if (bin.empty()) return 0;
    archive = bin + "\\" + name;
  }
  return PackWithReports(folder, archive.c_str(), kFileBarIntervalMs) == GZC_ERR_LIST_FILE ? 0 : 1;
}

void Error_1() { BuildError(S_UNPACK_ERROR); }

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
