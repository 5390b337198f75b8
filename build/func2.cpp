// The installer build: checks the fields, writes the installer configuration, packs the two
// archives and writes the output: the engine's bytes followed by "rc.bin".
#include "build/func2.h"
#include "app/func.h"
#include "app/func1.h"
#include "app/func3.h"
#include "build/buildplan.h"
#include "build/gzc.h"
#include "build/kopiuj.h"
#include "build/sign.h"
#include "entries/listfiles.h"
#include "res/resource.h"
#include <stdio.h>
#include <string.h>
#include <string>

namespace {
const size_t kChunk = 1 << 16;

std::string Field(int id, int cap = kPathMax) {
  std::string s(cap, '\0');
  GetDlgItemTextA(*HwndMain(), id, &s[0], cap);
  s.resize(strlen(s.c_str()));
  return s;
}

bool Exists(void*, const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Tool files beside the program: tool folder + "bin\" + name.
bool ToolFile(const char* name, std::string* out) {
  char tool[kPathMax];
  if (!ToolFolder(tool)) return false;
  *out = std::string(tool) + "bin\\" + name;
  return out->size() < (size_t)kPathMax;
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

std::string CfgFolder() {
  char init[kPathMax] = {0};
  WorkPath(VAL_INITCFG, init);
  char* slash = strrchr(init, '\\');
  if (slash) *slash = 0;
  return init;
}

std::string InitCfg() {
  char init[kPathMax] = {0};
  WorkPath(VAL_INITCFG, init);
  return init;
}

std::string BinFolder() {
  char bin[kPathMax] = {0};
  WorkPath(VAL_BINDIR, bin);
  return bin;
}

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
    short file = (short)(100.0 * (double)i / (double)length);
    float frac = (float)i / (float)length;
    short overall = (short)(lo + (float)(hi - lo) * frac);
    // Each report is a message to the dialog's thread: the file bar alone goes every 50 ms.
    DWORD now = GetTickCount();
    if (overall != shownOverall || now - sentAt >= 50) {
      Progress(file, true, nullptr);
      Progress(overall, false, nullptr);
      shownOverall = overall;
      sentAt = now;
    }
    // Smallest i whose file or overall value differs: step to the next whole percent of either.
    uint64_t nf = (uint64_t)(((double)file + 1) * (double)length / 100.0);
    uint64_t no = hi > lo ? (uint64_t)(((double)(overall - lo) + 1) * (double)length / (double)(hi - lo)) : length;
    next = nf < no ? nf : no;
    if (next > i + 1) next -= 1;  // float rounding: look one byte early rather than late
    else next = i + 1;
  }
};

// Copies src to dest byte-wise as the build's loops do: cancel check (when `cancellable`), one pump,
// the byte, a progress point. Returns false when a write failed.
bool CopyBytes(HANDLE src, HANDLE dest, bool cancellable) {
  LARGE_INTEGER len;
  if (!GetFileSizeEx(src, &len)) return true;
  AppendProgress prog{(uint64_t)len.QuadPart, Granica()[0], Granica()[1]};
  // The flag is written by the dialog's thread: read it afresh at every byte.
  const volatile BYTE* cancel = cancellable ? CancelGzc() : nullptr;
  static char in[kChunk];
  uint64_t i = 0;
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(src, in, sizeof in, &got, nullptr) || got == 0) break;
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
      if (MsgLoopQuiet() < run) run = MsgLoopQuiet();
      if (run == 0) {  // this byte's points one by one
        if (cancel && !*cancel) {
          stop = true;
          break;
        }
        MsgLoop();
        prog.At(i);
        ++i;
        ++put;
        continue;
      }
      DWORD k = 0;
      if (cancel)
        while (k < run && *cancel) ++k;
      else
        k = run;
      MsgLoopSkip(k);
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

bool appendFailed;

// What the build leaves when it cannot write the output: no broken file of its own making. A file
// it could not replace was never written and stays as it was.
bool outputWritten;

void OutputFailed(const std::string& output, bool written) {
  if (written) DeleteFileA(output.c_str());
  outputWritten = false;
  ShowMessage(S_OUTPUT_FAILED, MB_OK | MB_ICONERROR);
}
}  // namespace

bool SprawdzSciezke(const char* path) {
  const char* colon = strstr(path, ":\\");
  if (colon == path + 1 && Exists(nullptr, path)) return true;
  ShowMessage(S_BAD_PATH, MB_OK | MB_ICONERROR);
  return false;
}

static BuildFields Fields() {
  return {Field(IDE_NAME, kProgramNameMax), Field(IDE_FOLDER), Field(IDE_SETUP), Field(IDE_LICENCE), Field(IDE_INFO)};
}

bool SprawdzSciezki() {
  BuildPathFault fault = CheckBuildPaths(Fields(), Exists, nullptr);
  if (fault != BUILD_PATHS_OK) ShowMessage(BuildPathMessage(fault), MB_OK | MB_ICONERROR);
  return fault == BUILD_PATHS_OK;
}

void DoklejPlik(const char* path, HANDLE dest) {
  HANDLE src = winfopen(path, false);
  if (src != INVALID_HANDLE_VALUE) {
    if (!CopyBytes(src, dest, true)) appendFailed = true;
    CloseHandle(src);
  }
  Progress(Granica()[1], false, nullptr);
  Progress(100, true, nullptr);
}

void MakeRcBin() {
  char work[kPathMax] = {0};
  WorkFolder(work);
  std::string rc = std::string(work) + "\\" + kRcMarker, bin = BinFolder();
  HANDLE out = winfopen(rc.c_str(), true);
  if (out == INVALID_HANDLE_VALUE) appendFailed = true;
  else {
    DWORD done = 0;
    if (!WriteFile(out, kRcMarker, kRcMarkerLength, &done, nullptr) || done != kRcMarkerLength) appendFailed = true;
    for (const RcPart& p : kRcParts) {
      Granica()[0] = p.lo;
      Granica()[1] = p.hi;
      DoklejPlik((bin + "\\" + p.name).c_str(), out);
    }
    CloseHandle(out);
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
  HANDLE src = winfopen(rc.c_str(), false);
  HANDLE dest = winfopen_existing(output.c_str());
  bool ok = src != INVALID_HANDLE_VALUE && dest != INVALID_HANDLE_VALUE;
  if (ok) {
    LARGE_INTEGER zero = {};
    ok = SetFilePointerEx(dest, zero, nullptr, FILE_END) != 0;
  }
  Granica()[0] = kRcCopyBounds[0];
  Granica()[1] = kRcCopyBounds[1];
  if (ok) ok = CopyBytes(src, dest, false);
  if (src != INVALID_HANDLE_VALUE) CloseHandle(src);
  if (dest != INVALID_HANDLE_VALUE) CloseHandle(dest);
  if (!ok) {
    OutputFailed(output, true);
    return;
  }
  // A signing command that fails leaves no unsigned installer under the output's name.
  if (!PodpiszPlik(output.c_str())) {
    DeleteFileA(output.c_str());
    ShowMessage(S_SIGN_FAILED, MB_OK | MB_ICONERROR);
    return;
  }
  Progress(100, false, nullptr);
  Progress(100, true, nullptr);
  outputWritten = true;
}

bool BtnZastosuj() {
  if (!SprawdzSciezki()) return false;
  if (!ToolFilesPresent()) {  // nothing is touched without the engine and its companions
    ShowMessage(S_TOOL_FILES_MISSING, MB_OK | MB_ICONERROR);
    return false;
  }
  std::string init = InitCfg(), cfg = CfgFolder(), bin = BinFolder();
  BuildFields fields = Fields();
  BuildConfig plan = PlanBuildConfig(fields);
  WritePrivateProfileStringA(kSectionCfg, kCfgKeyName, plan.name.c_str(), init.c_str());

  if (!plan.licenceName.empty()) {
    WritePrivateProfileStringA(kSectionCfg, kCfgKeyLicence, plan.licenceName.c_str(), init.c_str());
    CopyFileA(fields.licence.c_str(), (cfg + "\\" + plan.licenceName).c_str(), FALSE);
  } else {
    char old[kOldLicenceReadMax] = {0};
    GetPrivateProfileStringA(kSectionCfg, kCfgKeyLicence, "", old, sizeof old, init.c_str());
    if (OldLicenceRemovable(old)) DeleteFileA((cfg + "\\" + old).c_str());
    WritePrivateProfileStringA(kSectionCfg, kCfgKeyLicence, nullptr, init.c_str());
  }

  if (!plan.info.empty())
    WritePrivateProfileStringA(kSectionCfg, kCfgKeyInfo, plan.info.c_str(), init.c_str());
  else if (plan.dropInfo)  // a removed closing file must not survive into the next installer
    WritePrivateProfileStringA(kSectionCfg, kCfgKeyInfo, nullptr, init.c_str());

  *noProgressGzc() = 0;
  LockButtons(true);
  appendFailed = false;
  outputWritten = false;
  std::string uninst;
  ToolFile(kUninstFile, &uninst);
  std::string cfgUninst = cfg + "\\" + kUninstFile;
  CopyFileA(uninst.c_str(), cfgUninst.c_str(), FALSE);
  // The uninstaller goes into the archive signed: it is installed as it is.
  if (!PodpiszPlik(cfgUninst.c_str())) {
    LockButtons(false);
    *noProgressGzc() = 1;
    ShowMessage(S_SIGN_FAILED, MB_OK | MB_ICONERROR);
    CloseIfPending();
    return false;
  }
  if (!BuildSwitchGiven()) DialogKopiuj();  // an unattended build shows no window

  Granica()[0] = kPackCfgBounds[0];
  Granica()[1] = kPackCfgBounds[1];
  Pakowanie(cfg.c_str(), kCfgArchive, true);
  std::string folder = Field(IDE_FOLDER);
  Granica()[0] = kPackBinBounds[0];
  Granica()[1] = kPackBinBounds[1];
  Pakowanie(NoTrailingSlash(folder).c_str(), kBinArchive, true);
  std::string lang;
  ToolFile(kLangFile, &lang);
  CopyFileA(lang.c_str(), (bin + "\\" + kLangFile).c_str(), FALSE);
  MakeRcBin();

  Sleep(200);
  CloseProgressByBuild();
  LockButtons(false);
  *noProgressGzc() = 1;
  bool whole = outputWritten && *CancelGzc() == 1;
  *CancelGzc() = 1;
  CloseIfPending();
  return whole;
}
