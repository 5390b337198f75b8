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
GzcStatus PackWith(const char* folder, const char* archive, unsigned minIntervalMs, const char* leaveOut, bool utf8,
                   GzcPackResult* result) {
  std::string gz, list;
  if (!Scratch("gz.tmp", &gz) || !Scratch("list.txt", &list)) return GZC_ERR_LIST_FILE;
  std::string folderIn = folder, archiveIn = archive, leaveOutIn = leaveOut ? leaveOut : "";
  if (utf8) {
    gz = AnsiToUtf8(gz);
    list = AnsiToUtf8(list);
    folderIn = AnsiToUtf8(folderIn);
    archiveIn = AnsiToUtf8(archiveIn);
    leaveOutIn = AnsiToUtf8(leaveOutIn);
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
  job.leaveOut = leaveOut ? leaveOutIn.c_str() : nullptr;
  job.same = utf8 ? winfs::SameU : winfs::Same;
  return GzcPack(job, result);
}

// Pakowanie and PackForInstaller: a file that cannot be read, or that no installer can carry, is
// named in a message (the names of a UTF-8 packing as they are, the others from ANSI).
int PackNamed(const char* folder, const char* name, bool inWork, bool utf8, const char* leaveOut, bool* leftOut,
              GzcStatus* status) {
  std::string archive = name;
  GzcStatus st = GZC_ERR_ARCHIVE;
  GzcPackResult result;
  if (inWork) {
    std::string bin = BuildPathOf(BUILD_BIN_FOLDER);
    archive = bin.empty() ? "" : bin + "\\" + name;
  }
  if (!archive.empty()) st = PackWith(folder, archive.c_str(), kFileBarIntervalMs, leaveOut, utf8, &result);
  if (st == GZC_ERR_SOURCE) BuildErrorAbout(S_READ_FAILED, utf8 ? result.unreadable : AnsiToUtf8(result.unreadable));
  if (const StrDef* refused = RefusedFileMessage(result.refusedWhy)) {
    BuildErrorAbout(*refused, result.refused);
    st = GZC_ERR_NAME;  // a file of 4 GiB too: named, like a name no installer can carry
  }
  if (leftOut) *leftOut = result.leftOut;
  if (status) *status = st;
  return st == GZC_OK ? 1 : 0;
}
}  // namespace

GzcStatus PackWithReports(const char* folder, const char* archive, unsigned minIntervalMs, const char* leaveOut,
                          bool* leftOut, std::string* unreadable) {
  GzcPackResult result;
  GzcStatus status = PackWith(folder, archive, minIntervalMs, leaveOut, false, &result);
  if (leftOut) *leftOut = result.leftOut;
  if (unreadable) *unreadable = result.unreadable;
  return status;
}

int Pakowanie(const char* folder, const char* name, bool inWork, const char* leaveOut, bool* leftOut,
              GzcStatus* status) {
  return PackNamed(folder, name, inWork, false, leaveOut, leftOut, status);
}

int PackForInstaller(const char* folder, const char* name, const char* leaveOut, bool* leftOut, GzcStatus* status) {
  return PackNamed(folder, name, true, true, leaveOut, leftOut, status);
}

void Error_1() { BuildError(S_UNPACK_ERROR); }

bool Rozpakowanie(const char* dest, HANDLE archive, uint64_t maxTotal) {
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
    job.maxTotal = maxTotal;
    st = GzcUnpack(job, src);
  }
  if (st != GZC_OK) Error_1();
  return st == GZC_OK;
}
