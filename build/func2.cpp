// The program's installer build: the shared sequence (build/buildseq.h) over the Win32 file layer,
// the progress dialog, the main window's pump and its message boxes.
#include "build/func2.h"
#include "build/buildhooks.h"
#include "build/buildseq.h"
#include "build/gzc.h"
#include "build/kopiuj.h"
#include "build/sign.h"
#include "win/winhandles.h"
#include <string.h>
#include <string>

namespace {
const size_t kChunk = 1 << 16;
// A build's dialog stays at least this long in view, so that a build of a few small files is seen
// to run and end; a longer build closes it as soon as the installer is written.
const DWORD kShownAtLeastMs = 200;

const BuildHooks& Hooks() { return BuildHooksInUse(); }

BuildFields Fields() { return Hooks().fields ? Hooks().fields() : BuildFields{}; }

bool Exists(void*, const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// A path without its last part; as it is when it has no backslash.
std::string Parent(std::string path) {
  size_t slash = path.rfind('\\');
  if (slash != std::string::npos) path.resize(slash);
  return path;
}

// Copies a file into the working folder: the target created or replaced, never through a link, and
// never over its own source (the two openings' sharing refuses that). False when nothing or not all
// was copied.
bool CopyIntoWork(const char* from, const char* to) {
  UniqueHandle in(winfs::Open(nullptr, from, false));
  if (!in) return false;
  UniqueHandle out(winfopen(to, true));
  if (!out) return false;
  static char buf[kChunk];
  for (DWORD got = 0;;) {
    if (!ReadFile(in.get(), buf, sizeof buf, &got, nullptr)) return false;
    if (got == 0) return true;
    DWORD done = 0;
    if (!WriteFile(out.get(), buf, got, &done, nullptr) || done != got) return false;
  }
}

// ---- The seam of the program's build -------------------------------------------------------------
BuildFields SeamFields(void*) { return Fields(); }

BuildSettings SeamSettings(void*) {
  BuildSettings s;
  if (Hooks().compressMode) s.mode = Hooks().compressMode();
  s.lzma = Hooks().lzma && Hooks().lzma();
  s.signBroken = !SignTemplateForRun(&s.signTemplate);
  return s;
}

void SeamPlaces(void*, BuildPlaces* at) {
  std::string tool = BuildPathOf(BUILD_TOOL_FOLDER);  // with its trailing backslash
  at->toolBin = tool.empty() ? "" : tool + "bin";
  at->cfg = Parent(BuildPathOf(BUILD_INIT_CFG));
  at->bin = BuildPathOf(BUILD_BIN_FOLDER);
  at->work = at->bin.empty() ? "" : Parent(at->bin);
  at->sep = '\\';
}

bool SeamWriteProfile(void*, const char* ini, const char* key, const char* value) {
  return WritePrivateProfileStringA(kSectionCfg, key, value, ini) != 0;
}

std::string SeamReadProfile(void*, const char* ini, const char* key, size_t cap) {
  std::string value(cap, '\0');
  GetPrivateProfileStringA(kSectionCfg, key, "", &value[0], (DWORD)cap, ini);
  value.resize(strlen(value.c_str()));
  return value;
}

bool SeamCopy(void*, const char* from, const char* to) { return CopyIntoWork(from, to); }

// The engine copied by the system (a file it could not replace stays as it was), then opened for
// the resource data at its end.
void* SeamOpenOutput(void*, const char* engine, const char* output, bool* made) {
  *made = false;
  if (!CopyFileA(engine, output, FALSE)) return nullptr;
  *made = true;
  UniqueHandle dest(winfopen_existing(output));
  LARGE_INTEGER zero = {};
  if (!dest || !SetFilePointerEx(dest.get(), zero, nullptr, FILE_END)) return nullptr;
  return dest.release();
}

bool SeamSign(void*, const std::string& tmpl, const char* path) { return RunSignCommand(tmpl, path); }

// The packings walk the program folder through the wide functions: its paths in UTF-8.
std::string SeamPackPath(void*, const std::string& path) { return AnsiToUtf8(path); }

void SeamMessage(void*, const StrDef& text, const char* name, bool notice) {
  if (notice) BuildNotice(text);
  else if (name) BuildErrorAbout(text, name);
  else BuildError(text);
}

// The build's start and end as the main window sees them: its build flag and its buttons, and a
// close held back meanwhile.
void SeamRunning(void*, bool on) {
  if (!on) ClearBuildCancel();  // before the build flag: whoever sees the build ended sees the next one go on
  if (Hooks().running) Hooks().running(on);
  if (!on && Hooks().ended) Hooks().ended();
}

bool Attended() { return !Hooks().unattended || !Hooks().unattended(); }  // an unattended build shows no window

void SeamProgressOpen(void*) {
  if (Attended()) DialogKopiuj();
}

void SeamProgressClose(void*) { CloseProgressByBuild(Attended() ? kShownAtLeastMs : 0); }
}  // namespace

bool SprawdzSciezke(const char* path) {
  const char* colon = strstr(path, ":\\");
  if (colon == path + 1 && Exists(nullptr, path)) return true;
  BuildError(S_BAD_PATH);
  return false;
}

bool SprawdzSciezki() {
  BuildPathFault fault = CheckBuildPaths(Fields(), Exists, nullptr);
  if (fault != BUILD_PATHS_OK) BuildError(BuildPathMessage(fault));
  return fault == BUILD_PATHS_OK;
}

bool BtnZastosuj() {
  BuildSeam seam = {};
  seam.fields = SeamFields;
  seam.settings = SeamSettings;
  seam.places = SeamPlaces;
  seam.files = WinFileOps();
  seam.same = winfs::Same;
  seam.writeProfile = SeamWriteProfile;
  seam.readProfile = SeamReadProfile;
  seam.copy = SeamCopy;
  seam.openOutput = SeamOpenOutput;
  seam.sign = SeamSign;
  seam.packFiles = WinFileOpsUtf8();
  seam.packPath = SeamPackPath;
  seam.packSame = winfs::SameU;
  seam.message = SeamMessage;
  seam.running = SeamRunning;
  seam.progressOpen = SeamProgressOpen;
  seam.progressClose = SeamProgressClose;
  seam.hooks = ProgramPackHooks(kFileBarIntervalMs);
  seam.bounds = Granica();
  seam.cancelStops = false;  // a cancel goes on as it always did and leaves the engine and the marker
  return RunBuild(seam).written;
}
