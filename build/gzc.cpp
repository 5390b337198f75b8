// The program's side of the GZC archives: working-folder scratch files and the hooks.
#include "build/gzc.h"
#include "build/buildhooks.h"
#include "core/buildplan.h"
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

void ShowProgress(void*, short overall, short current) { ShowBuildProgress(overall, current); }
// The archive module's hooks, passed on to the program's.
void Pump(void*) { BuildHooksInUse().pump(); }
unsigned PumpQuiet(void*) { return BuildHooksInUse().pumpQuiet(); }
void PumpSkip(void*, unsigned n) { BuildHooksInUse().pumpSkip(n); }
// While the packer waits for its compressing threads, what is waiting is dispatched.
void Idle(void*) {
  for (int i = 0; i < kIdleMessages && BuildHooksInUse().pumpNow(); ++i) {
  }
}

}  // namespace

GzcHooks ProgramPackHooks(unsigned minIntervalMs) {
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
  return hooks;
}

GzcStatus PackWithReports(const char* folder, const char* archive, unsigned minIntervalMs, const char* leaveOut,
                          bool* leftOut, std::string* unreadable) {
  std::string gz, list;
  if (!Scratch("gz.tmp", &gz) || !Scratch("list.txt", &list)) return GZC_ERR_LIST_FILE;
  const BuildHooks& h = BuildHooksInUse();
  GzcHooks hooks = ProgramPackHooks(minIntervalMs);
  GzcPackJob job = {};
  job.folder = folder;
  job.archive = archive;
  job.gzTmp = gz.c_str();
  job.listFile = list.c_str();
  std::string mode = h.compressMode ? h.compressMode() : "";
  job.mode = mode.empty() ? nullptr : mode.c_str();
  job.files = WinFileOps();
  job.hooks = &hooks;
  job.leaveOut = leaveOut;
  job.same = winfs::Same;
  GzcPackResult result;
  GzcStatus status = GzcPack(job, &result);
  if (leftOut) *leftOut = result.leftOut;
  if (unreadable) *unreadable = result.unreadable;
  return status;
}

int Pakowanie(const char* folder, const char* name, bool inWork, const char* leaveOut, bool* leftOut,
              GzcStatus* status) {
  std::string archive = name, unreadable;
  GzcStatus st = GZC_ERR_ARCHIVE;
  if (inWork) {
    std::string bin = BuildPathOf(BUILD_BIN_FOLDER);
    archive = bin.empty() ? "" : bin + "\\" + name;
  }
  if (!archive.empty())
    st = PackWithReports(folder, archive.c_str(), kFileBarIntervalMs, leaveOut, leftOut, &unreadable);
  if (st == GZC_ERR_SOURCE) BuildErrorAbout(S_READ_FAILED, AnsiToUtf8(unreadable));
  if (status) *status = st;
  return st == GZC_OK ? 1 : 0;
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
