// The installer build: checks the fields, writes the installer configuration, packs the two
// archives and writes the output: the engine's bytes followed by "rc.bin".
#include "build/func2.h"
#include "build/buildhooks.h"
#include "build/buildplan.h"
#include "build/gzc.h"
#include "build/kopiuj.h"
#include "build/sign.h"
#include "build/winhandles.h"
#include "res/resource.h"
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <string>

namespace {
const size_t kChunk = 1 << 16;
const short kFull = 100;                // percent of a bar
const DWORD kClosingWaitMs = 200;       // the last progress stays in view before the dialog closes

const BuildHooks& Hooks() { return BuildHooksInUse(); }


std::string Field(int id, int cap = MAX_PATH) {
  std::string s(cap, '\0');
  if (const char* text = Hooks().field ? Hooks().field(id) : nullptr) {
    s = text;
    if (s.size() >= (size_t)cap) s.resize(cap - 1);  // as a control's text is read
    return s;
  }
  HWND owner = Hooks().owner ? Hooks().owner() : nullptr;
  if (!owner || !GetDlgItemTextA(owner, id, &s[0], cap)) s[0] = 0;
  s.resize(strlen(s.c_str()));
  return s;
}


bool Exists(void*, const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Tool files beside the program: tool folder + "bin\" + name.
bool ToolFile(const char* name, std::string* out) {
  std::string tool = BuildPathOf(BUILD_TOOL_FOLDER);
  if (tool.empty()) return false;
  *out = tool + "bin\\" + name;
  return out->size() < (size_t)MAX_PATH;
}

bool ToolFilesPresent() {
  for (const char* name : kToolFiles) {
    std::string p;
    if (!ToolFile(name, &p)) return false;
    DWORD a = GetFileAttributesA(p.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return false;
  }
  return true;
}

// A path without its last part; as it is when it has no backslash.
std::string Parent(std::string path) {
  size_t slash = path.rfind('\\');
  if (slash != std::string::npos) path.resize(slash);
  return path;
}

std::string CfgFolder() { return Parent(BuildPathOf(BUILD_INIT_CFG)); }
std::string InitCfg() { return BuildPathOf(BUILD_INIT_CFG); }
std::string BinFolder() { return BuildPathOf(BUILD_BIN_FOLDER); }

// The main window's pump through the hooks, as the byte loops use it.
struct Pump {
  const BuildHooks& h = Hooks();
  bool counts = h.pump && h.pumpQuiet && h.pumpSkip;
  void Once() const {
    if (h.pump) h.pump();
  }
  // Calls that would only count: without a pump, any number.
  unsigned Quiet() const { return counts ? h.pumpQuiet() : h.pump ? 0 : UINT_MAX; }
  void Skip(unsigned n) const {
    if (counts) h.pumpSkip(n);
  }
};

// Progress of an append: the values shown change only at a few byte positions, so the next such
// position is worked out and the per-byte point stays a compare.
struct AppendProgress {
  uint64_t length;
  short lo, hi;
  uint64_t next = 0;
  short shownOverall = -1;
  DWORD sentAt = 0;
  void At(uint64_t i) {
    if (i < next) return;
    short file = (short)((double)kFull * (double)i / (double)length);
    float frac = (float)i / (float)length;
    short overall = (short)(lo + (float)(hi - lo) * frac);
    // Each report is a message to the dialog's thread: the file bar alone goes every few ms.
    DWORD now = GetTickCount();
    if (overall != shownOverall || now - sentAt >= kFileBarIntervalMs) {
      Progress(file, true, nullptr);
      Progress(overall, false, nullptr);
      shownOverall = overall;
      sentAt = now;
    }
    // Smallest i whose file or overall value differs: step to the next whole percent of either.
    uint64_t nf = (uint64_t)(((double)file + 1) * (double)length / (double)kFull);
    uint64_t no = hi > lo ? (uint64_t)(((double)(overall - lo) + 1) * (double)length / (double)(hi - lo)) : length;
    next = nf < no ? nf : no;
    if (next > i + 1) next -= 1;  // float rounding: look one byte early rather than late
    else next = i + 1;
  }
};

// Copies src to dest byte-wise as the build's loops do: cancel check (when `cancellable`), one pump,
// the byte, a progress point. Returns false when a read or a write failed.
bool CopyBytes(HANDLE src, HANDLE dest, bool cancellable) {
  LARGE_INTEGER len;
  if (!GetFileSizeEx(src, &len)) return false;
  AppendProgress prog{(uint64_t)len.QuadPart, Granica()[0], Granica()[1]};
  const Pump pump;
  // The flag is written by the dialog's thread: read it afresh (atomically) at every byte.
  const BYTE* cancel = cancellable ? CancelGzc() : nullptr;
  auto goOn = [cancel] { return __atomic_load_n(cancel, __ATOMIC_RELAXED) != 0; };
  static char in[kChunk];
  uint64_t i = 0;
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(src, in, sizeof in, &got, nullptr)) ok = false;
    if (!ok || got == 0) break;
    // Bytes in[0 .. put) have passed their points and are written.
    DWORD put = 0;
    bool stop = false;
    while (put < got) {
      // The bytes before the next point that does more than count (the next progress position or
      // MsgLoop's next look at the queue) go as a run: each still gets its cancel check, and their
      // MsgLoop calls are counted at once.
      DWORD run = got - put;
      if (prog.next <= i) run = 0;
      else if (prog.next - i < run) run = (DWORD)(prog.next - i);
      unsigned quiet = pump.Quiet();
      if (quiet < run) run = quiet;
      if (run == 0) {  // this byte's points one by one
        if (cancel && !goOn()) {
          stop = true;
          break;
        }
        pump.Once();
        prog.At(i);
        ++i;
        ++put;
        continue;
      }
      DWORD k = 0;
      if (cancel)
        while (k < run && goOn()) ++k;
      else
        k = run;
      pump.Skip(k);
      i += k;
      put += k;
      if (k < run) {
        stop = true;
        break;
      }
    }
    DWORD done = 0;
    if (put && (!WriteFile(dest, in, put, &done, nullptr) || done != put)) ok = false;
    if (stop || !ok) break;
  }
  return ok;
}

// Copies a file into the working folder: the target created or replaced, never through a link, and
// never over its own source (the two openings' sharing refuses that). False when nothing or not all
// was copied.
bool CopyIntoWork(const std::string& from, const std::string& to) {
  UniqueHandle in(winfs::Open(nullptr, from.c_str(), false));
  if (!in) return false;
  UniqueHandle out(winfopen(to.c_str(), true));
  if (!out) return false;
  static char buf[kChunk];
  for (DWORD got = 0;;) {
    if (!ReadFile(in.get(), buf, sizeof buf, &got, nullptr)) return false;
    if (got == 0) return true;
    DWORD done = 0;
    if (!WriteFile(out.get(), buf, got, &done, nullptr) || done != got) return false;
  }
}

bool appendFailed;

// What the build leaves when it cannot write the output: no broken file of its own making. A file
// it could not replace was never written and stays as it was.
bool outputWritten;

void OutputFailed(const std::string& output, bool written) {
  if (written) DeleteFileA(output.c_str());
  outputWritten = false;
  BuildError(S_OUTPUT_FAILED);
}

// The build's start and end as the main window sees them: its build flag and its buttons.
void Running(bool on) {
  if (Hooks().running) Hooks().running(on);
}
void Ended() {
  if (Hooks().ended) Hooks().ended();
}
}  // namespace

bool SprawdzSciezke(const char* path) {
  const char* colon = strstr(path, ":\\");
  if (colon == path + 1 && Exists(nullptr, path)) return true;
  BuildError(S_BAD_PATH);
  return false;
}

static BuildFields Fields() {
  return {Field(IDE_NAME, kProgramNameMax), Field(IDE_FOLDER), Field(IDE_SETUP), Field(IDE_LICENCE), Field(IDE_INFO)};
}

bool SprawdzSciezki() {
  BuildPathFault fault = CheckBuildPaths(Fields(), Exists, nullptr);
  if (fault != BUILD_PATHS_OK) BuildError(BuildPathMessage(fault));
  return fault == BUILD_PATHS_OK;
}

void DoklejPlik(const char* path, HANDLE dest) {
  UniqueHandle src(winfopen(path, false));
  // A part missing after a cancel was deleted by it; otherwise the installer would lack it.
  if (src ? !CopyBytes(src.get(), dest, true) : !BuildCancelled()) appendFailed = true;
  Progress(Granica()[1], false, nullptr);
  Progress(kFull, true, nullptr);
}

void MakeRcBin() {
  std::string bin = BinFolder(), rc = Parent(bin) + "\\" + kRcMarker;
  {
    UniqueHandle out(winfopen(rc.c_str(), true));
    DWORD done = 0;
    if (!out || !WriteFile(out.get(), kRcMarker, kRcMarkerLength, &done, nullptr) || done != kRcMarkerLength)
      appendFailed = true;
    for (const RcPart& p : kRcParts) {
      if (!out) break;
      Granica()[0] = p.lo;
      Granica()[1] = p.hi;
      DoklejPlik((bin + "\\" + p.name).c_str(), out.get());
    }
  }

  std::string output = Field(IDE_SETUP), engine;
  ToolFile(kEngineFile, &engine);
  if (appendFailed) {
    OutputFailed(output, false);
    return;
  }
  if (!CopyFileA(engine.c_str(), output.c_str(), FALSE)) {
    OutputFailed(output, false);
    return;
  }
  bool ok;
  {
    UniqueHandle src(winfopen(rc.c_str(), false));
    UniqueHandle dest(winfopen_existing(output.c_str()));
    ok = src && dest;
    if (ok) {
      LARGE_INTEGER zero = {};
      ok = SetFilePointerEx(dest.get(), zero, nullptr, FILE_END) != 0;
    }
    Granica()[0] = kRcCopyBounds[0];
    Granica()[1] = kRcCopyBounds[1];
    if (ok) ok = CopyBytes(src.get(), dest.get(), false);
  }
  if (!ok) {
    OutputFailed(output, true);
    return;
  }
  // A signing command that fails leaves no unsigned installer under the output's name.
  if (!PodpiszPlik(output.c_str())) {
    DeleteFileA(output.c_str());
    BuildError(S_SIGN_FAILED);
    return;
  }
  Progress(kFull, false, nullptr);
  Progress(kFull, true, nullptr);
  outputWritten = true;
}

bool BtnZastosuj() {
  if (!SprawdzSciezki()) return false;
  if (!ToolFilesPresent()) {  // nothing is touched without the engine and its companions
    BuildError(S_TOOL_FILES_MISSING);
    return false;
  }
  std::string init = InitCfg(), cfg = CfgFolder(), bin = BinFolder();
  BuildFields fields = Fields();
  struct Target {
    std::string init, cfg, licence;
  } target{init, cfg, fields.licence};
  const BuildConfigIo io = {
      &target,
      [](void* c, const char* key, const char* value) {
        return WritePrivateProfileStringA(kSectionCfg, key, value, static_cast<Target*>(c)->init.c_str()) != 0;
      },
      [](void* c) {
        char old[kOldLicenceReadMax] = {0};
        GetPrivateProfileStringA(kSectionCfg, kCfgKeyLicence, "", old, sizeof old, static_cast<Target*>(c)->init.c_str());
        return std::string(old);
      },
      [](void* c, const std::string& name) {
        const Target* t = static_cast<Target*>(c);
        CopyIntoWork(t->licence, t->cfg + "\\" + name);
      },
      [](void* c, const std::string& name) { DeleteFileA((static_cast<Target*>(c)->cfg + "\\" + name).c_str()); }};
  if (!ApplyBuildConfig(PlanBuildConfig(fields), io)) {
    BuildError(S_OUTPUT_FAILED);
    return false;
  }

  Running(true);
  appendFailed = false;
  outputWritten = false;
  std::string uninst;
  ToolFile(kUninstFile, &uninst);
  std::string cfgUninst = cfg + "\\" + kUninstFile;
  if (!CopyIntoWork(uninst, cfgUninst)) {  // an installer without its uninstaller
    Running(false);
    BuildError(S_OUTPUT_FAILED);
    Ended();
    return false;
  }
  // The uninstaller goes into the archive signed: it is installed as it is.
  if (!PodpiszPlik(cfgUninst.c_str())) {
    Running(false);
    BuildError(S_SIGN_FAILED);
    Ended();
    return false;
  }
  if (!Hooks().unattended || !Hooks().unattended()) DialogKopiuj();  // an unattended build shows no window

  // A packing that fails stops the build (a file that cannot be read, or whose name no installer can
  // carry, has been named already); a cancel goes on as it always did and leaves the engine and the
  // marker. An installer built into its own program folder is not packed into the next one.
  GzcStatus packed = GZC_OK;
  bool leftOut = false;
  std::string output = Field(IDE_SETUP);
  auto pack = [&](const std::string& folder, const char* name, const short bounds[2], const char* leaveOut) {
    Granica()[0] = bounds[0];
    Granica()[1] = bounds[1];
    return PackForInstaller(folder.c_str(), name, leaveOut, leaveOut ? &leftOut : nullptr, &packed) != 0 ||
           packed == GZC_CANCELLED;
  };
  if (pack(cfg, kCfgArchive, kPackCfgBounds, nullptr) &&
      pack(NoTrailingSlash(Field(IDE_FOLDER)), kBinArchive, kPackBinBounds, output.c_str())) {
    std::string lang;
    ToolFile(kLangFile, &lang);
    if (!CopyIntoWork(lang, bin + "\\" + kLangFile)) appendFailed = true;
    MakeRcBin();
  } else if (packed != GZC_ERR_SOURCE && packed != GZC_ERR_NAME) {
    BuildError(S_OUTPUT_FAILED);
  }

  Sleep(kClosingWaitMs);
  CloseProgressByBuild();
  if (leftOut) BuildNotice(S_OUTPUT_LEFT_OUT);  // with the progress closed, a box holds up no step
  bool whole = outputWritten && !BuildCancelled();
  ClearBuildCancel();  // before the build flag: whoever sees the build ended sees the next one go on
  Running(false);
  Ended();
  return whole;
}
