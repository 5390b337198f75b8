// Project files: the working "cfg" folder with "Project.ini", packed into one GZC archive.
#include "app/func3.h"
#include "app/func.h"
#include "app/func1.h"
#include "app/func4.h"
#include "build/buildseq.h"
#include "build/func2.h"
#include "build/gzc.h"
#include "build/sign.h"
#include "win/winhandles.h"
#include "res/resource.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

namespace {
// "Project.ini": section "dir" holds the five fields under keys "1".."5"; list k's items are in
// section "k" and their item data in section "10 + k", both under keys "0", "1", ...
const int kListCount = 3;
const int kLists[kListCount] = {IDL_SHORTCUTS, IDL_RUN, IDL_REGISTRY};
const int kRemove[kListCount] = {IDB_LNK_REMOVE, IDB_RUN_REMOVE, IDB_REG_REMOVE};
const int kFieldCount = 5;
const int kFields[kFieldCount] = {IDE_NAME, IDE_FOLDER, IDE_SETUP, IDE_LICENCE, IDE_INFO};
const int kItemDataSections = 10;
const int kCommandLineMax = 272;
const char kBuildSwitch[] = "/build";
const size_t kBuildSwitchLength = sizeof kBuildSwitch - 1;

struct BuildSwitch {
  bool given = false;
  char path[kPathMax] = {0};
  int lzma = -1;  // --lzma 1, --gzip 0, neither -1
};

// Removes the word `option` (outside quotes, with the blanks before it) from the line; where it
// was (the first blank's offset), npos when it was not.
size_t TakeWord(std::string* line, const char* option) {
  const size_t n = strlen(option);
  bool quoted = false;
  for (size_t at = 0; at < line->size(); ++at) {
    char c = (*line)[at];
    if (c == '"') quoted = !quoted;
    if (quoted || (at > 0 && (*line)[at - 1] != ' ' && (*line)[at - 1] != '\t') || line->compare(at, n, option) != 0 ||
        (at + n < line->size() && (*line)[at + n] != ' ' && (*line)[at + n] != '\t'))
      continue;
    size_t from = at;
    while (from > 0 && ((*line)[from - 1] == ' ' || (*line)[from - 1] == '\t')) --from;
    line->erase(from, at + n - from);
    return from;
  }
  return std::string::npos;
}

// "/build" as the first argument after the program's own path, then the project path, quoted or not.
BuildSwitch ReadBuildSwitch(const std::string& line) {
  BuildSwitch sw;
  size_t at = line.empty() ? 0 : line[0] == '"' ? line.find('"', 1) : line.find_first_of(" \t");
  at = line.find_first_not_of(" \t", at == std::string::npos ? line.size() : at + 1);
  if (at == std::string::npos || _strnicmp(line.c_str() + at, kBuildSwitch, kBuildSwitchLength) != 0) return sw;
  std::string rest = line.substr(at + kBuildSwitchLength);
  if (!rest.empty() && rest[0] != ' ' && rest[0] != '\t') return sw;  // "/builder" is no switch
  sw.given = true;
  size_t first = rest.find_first_not_of(" \t"), last = rest.find_last_not_of(" \t");
  rest = first == std::string::npos ? "" : rest.substr(first, last - first + 1);
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
  char drive = rest.empty() ? 0 : (char)(rest[0] | 0x20);
  bool absolute = rest.size() >= 3 && drive >= 'a' && drive <= 'z' && rest[1] == ':' && rest[2] == '\\';
  if (absolute && rest.size() < (size_t)kPathMax && rest.find('"') == std::string::npos)
    memcpy(sw.path, rest.c_str(), rest.size() + 1);
  return sw;
}

const BuildSwitch& TheBuildSwitch() {
  // A signing template given for this build goes first: it may hold anything, paths too.
  static const BuildSwitch sw = [] {
    std::string line = GetCommandLineA();
    TakeSignOption(&line);
    // Of --lzma and --gzip the last one given counts.
    const size_t lzma = TakeWord(&line, "--lzma"), gzip = TakeWord(&line, "--gzip");
    BuildSwitch sw = ReadBuildSwitch(line);
    if (lzma != std::string::npos || gzip != std::string::npos)
      sw.lzma = gzip == std::string::npos || (lzma != std::string::npos && gzip < lzma) ? 1 : 0;
    return sw;
  }();
  return sw;
}

HWND Main() { return *HwndMain(); }

// The "cfg" subfolder, ending with a backslash.
std::string CfgFolder() {
  char init[kPathMax] = {0};
  WorkPath(VAL_INITCFG, init);
  char* slash = strrchr(init, '\\');
  if (slash) slash[1] = 0;
  return init;
}

std::string Num(long v) {
  char b[16];
  snprintf(b, sizeof b, "%ld", v);
  return b;
}

// A save or an open runs the archive module, which pumps messages: every command that starts
// another archive operation (build, save, save as, open, new) waits until it has ended.
struct ArchiveLock {
  bool saveEnabled;
  ArchiveLock() {
    saveEnabled = !(GetMenuState(GetMenu(Main()), IDM_SAVE, MF_BYCOMMAND) & MF_GRAYED);
    SetBuildRunning(true);
    LockButtons(true);
    EnMenu2(MF_GRAYED);
  }
  ~ArchiveLock() {
    LockButtons(false);
    EnMenu2(MF_ENABLED);
    EnMenu(saveEnabled ? MF_ENABLED : MF_GRAYED);
    SetBuildRunning(false);
  }
};

// A list item's text, however long. Taken as characters and converted here: Wine's conversion of
// an ANSI LB_GETTEXT overruns its buffer on texts of more than 512 characters.
std::string ItemText(int list, LRESULT at) {
  HWND box = GetDlgItem(Main(), list);
  LRESULT n = SendMessageW(box, LB_GETTEXTLEN, at, 0);
  if (n <= 0) return "";
  std::wstring wide(n + 1, L'\0');
  SendMessageW(box, LB_GETTEXT, at, (LPARAM)&wide[0]);
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(bytes > 0 ? bytes : 1, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], bytes, nullptr, nullptr);
  text.resize(strlen(text.c_str()));
  return text;
}

// A value of "Project.ini", however long: the buffer grows until the value fits, at most to the
// size of the file.
std::string ReadLongValue(const std::string& ini, const std::string& section, const std::string& key) {
  std::string buf(kPathMax, '\0');
  DWORD size = 0;  // the file's, looked up once a value fills the first buffer
  for (;;) {
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", &buf[0], (DWORD)buf.size(), ini.c_str());
    if (n + 1 < buf.size()) return buf.substr(0, n);
    WIN32_FILE_ATTRIBUTE_DATA fa;
    if (!size && GetFileAttributesExA(ini.c_str(), GetFileExInfoStandard, &fa))
      size = fa.nFileSizeHigh ? MAXDWORD : fa.nFileSizeLow;
    if (buf.size() > size) return buf.substr(0, n);
    buf.resize(buf.size() * 2);
  }
}

// Packs `folder` into a new file beside `kpj` and puts it in kpj's place only when it is whole: a
// save that fails (a full disk, a file that cannot be read) leaves the saved project as it was.
bool PackInPlace(const std::string& folder, const char* kpj) {
  std::string at = kpj;
  size_t slash = at.rfind('\\');
  at.resize(slash == std::string::npos ? 0 : slash + 1);
  char temp[MAX_PATH];
  if (at.empty() || !GetTempFileNameA(at.c_str(), "prj", 0, temp)) return false;
  bool ok = Pakowanie(folder.c_str(), temp, false) != 0 &&
            MoveFileExA(temp, kpj, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileA(temp);
  return ok;
}

void AfterArchive() {
  EnableButtons();
  for (int k = 0; k < kListCount; ++k)
    EnableWindow(GetDlgItem(Main(), kRemove[k]), SendDlgItemMessageA(Main(), kLists[k], LB_GETCOUNT, 0, 0) > 0);
  CloseIfPending();
}

// The project open in `file` unpacked into the cfg folder as every build opens one; false, the
// unpacking message shown, when it cannot be read or is damaged.
bool UnpackIntoCfg(HANDLE file) {
  char work[kPathMax];
  GzcStatus st = GZC_ERR_READ;
  if (WorkFolder(work)) st = UnpackProject(WinFileOps(), file, CfgFolder(), std::string(work) + "\\gz.tmp");
  if (st != GZC_OK) Error_1();
  return st == GZC_OK;
}

// A value of the unpacked "Project.ini" (ctx: its path).
std::string ReadProjectValue(void* ini, const char* section, const char* key, size_t cap) {
  std::string value(cap, '\0');
  GetPrivateProfileStringA(section, key, "", &value[0], (DWORD)cap, static_cast<std::string*>(ini)->c_str());
  value.resize(strlen(value.c_str()));
  return value;
}
}  // namespace

const char* projectini() { return kProjectIni; }
const char* dir() { return kProjectFieldSection; }
bool BuildSwitchGiven() { return TheBuildSwitch().given; }
bool BuildLzma() { return TheBuildSwitch().lzma >= 0 ? TheBuildSwitch().lzma == 1 : LzmaSetting(); }
const char* BuildProjectPath() { return TheBuildSwitch().path; }

namespace {
// The unattended build's fields, read from its project's "Project.ini".
BuildFields unattendedFields;
}  // namespace

BuildFields UnattendedFields() { return unattendedFields; }

int UnattendedBuild() {
  GetCfg();
  GiveBuildHooks();
  InitCompressLevel();
  WyczyscCfgReg(nullptr);  // what an earlier run may have left
  std::string cfg = CfgFolder(), ini = cfg + projectini();
  // The project opens exactly as the window opens it: unpacked into the cfg folder, the fields
  // taken from "Project.ini", which is removed again; its lists need no window.
  UniqueHandle file(winfopen(BuildProjectPath(), false));
  bool opened = file && UnpackIntoCfg(file.get());
  if (!file) Error_1();
  file.reset();
  if (opened) unattendedFields = ProjectFields(ReadProjectValue, &ini);
  DeleteFileA(ini.c_str());
  bool built = opened && BtnZastosuj();
  WyczyscCfgReg(nullptr);
  return built ? 0 : kBuildFailed;
}

void NowyProjekt() {
  WyczyscCfgReg(Main());
  InicjujDialogi();
  for (int id : kFields) SetDlgItemTextA(Main(), id, "");
  for (int k = 0; k < kListCount; ++k) {
    while (SendDlgItemMessageA(Main(), kLists[k], LB_DELETESTRING, 0, 0) > 0) {}
    EnableWindow(GetDlgItem(Main(), kRemove[k]), FALSE);
  }
  initbtn();
}

bool OtworzProjekt() {
  if (!PlikProjektu()[0]) return false;
  UniqueHandle file(winfopen(PlikProjektu(), false));
  if (!file) {
    Error_1();
    return false;
  }
  NowyProjekt();
  std::string cfg = CfgFolder(), ini = cfg + projectini();
  bool ok;
  {
    ArchiveLock lock;
    ok = UnpackIntoCfg(file.get());
    file.reset();
  }
  BuildFields fields = ProjectFields(ReadProjectValue, &ini);
  const std::string* texts[kFieldCount] = {&fields.name, &fields.folder, &fields.output, &fields.licence,
                                           &fields.info};
  for (int i = 0; i < kFieldCount; ++i) SetDlgItemTextA(Main(), kFields[i], texts[i]->c_str());
  for (int k = 0; k < kListCount; ++k) {
    for (long v = 0;; ++v) {
      std::string item = ReadLongValue(ini, Num(k), Num(v));
      if (item.empty()) break;
      char value[11];
      GetPrivateProfileStringA(Num(kItemDataSections + k).c_str(), Num(v).c_str(), "0", value, sizeof value, ini.c_str());
      LRESULT at = SendDlgItemMessageA(Main(), kLists[k], LB_ADDSTRING, 0, (LPARAM)item.c_str());
      SendDlgItemMessageA(Main(), kLists[k], LB_SETITEMDATA, at, (LPARAM)(LONG)strtoll(value, nullptr, 10));
    }
  }
  AfterArchive();
  initbtn();
  DeleteFileA(ini.c_str());
  return ok;
}

bool ZapiszProjekt(bool saveAs) {
  std::string cfg = CfgFolder(), ini = cfg + projectini();
  DeleteFileA(ini.c_str());  // every save describes the window afresh
  bool described = true;     // a description missing a line would lose it from the saved project
  auto put = [&](const std::string& section, const std::string& key, const char* value) {
    described = WritePrivateProfileStringA(section.c_str(), key.c_str(), value, ini.c_str()) && described;
  };
  char text[kPathMax];
  for (int i = 0; i < kFieldCount; ++i) {
    GetDlgItemTextA(Main(), kFields[i], text, sizeof text);
    put(dir(), Num(i + 1), text);
  }
  for (int k = 0; k < kListCount; ++k) {
    LRESULT n = SendDlgItemMessageA(Main(), kLists[k], LB_GETCOUNT, 0, 0);
    for (LRESULT v = 0; v < n; ++v) {
      put(Num(k), Num(v), ItemText(kLists[k], v).c_str());
      LONG value = (LONG)SendDlgItemMessageA(Main(), kLists[k], LB_GETITEMDATA, v, 0);
      put(Num(kItemDataSections + k), Num(v), Num(value).c_str());
    }
  }
  // Saving under no name would store nothing and say nothing: ask for one, as the close does.
  if (saveAs || !PlikProjektu()[0]) PobierzPlik(Main(), PICK_PROJECT_SAVE);
  bool ok = false;
  if (PlikProjektu()[0]) {
    std::string folder = cfg.substr(0, cfg.size() - 1);
    ArchiveLock lock;
    ok = described && PackInPlace(folder, PlikProjektu());
  }
  DeleteFileA(ini.c_str());
  AfterArchive();
  // The project is not saved: said, and closing asks again.
  if (!ok && PlikProjektu()[0]) {
    ShowMessage(S_SAVE_FAILED, MB_OK | MB_ICONERROR);
    MenuOn();
  }
  return ok;
}

void EndingSave() {
  if (!ProjectModified()) return;
  char text[kLookupMax];
  memcpy(text, GetOwnLang(S_ASK_SAVE), kLookupMax);
  if (MessageBoxA(Main(), text, Packrift(), MB_YESNO | MB_ICONQUESTION) == IDYES)
    ZapiszProjekt(strlen(PlikProjektu()) < kProjectPathMin);
}

bool ObslugaLiniiKomend() {
  const char* line = GetCommandLineA();
  size_t len = strlen(line);
  if (len >= (size_t)kCommandLineMax) return false;  // longer than any project path can make it
  char buf[kCommandLineMax];
  memcpy(buf, line, len + 1);
  int found = 0;
  char* last = nullptr;
  for (char* p = buf; (p = strstr(p, ":\\")) != nullptr; p += 1) {
    ++found;
    last = p;
  }
  if (found < 2 || last == buf) return false;
  if (len && buf[len - 1] == '"') buf[--len] = 0;
  const char* path = last - 1;
  if (strlen(path) >= (size_t)kPathMax) return false;
  memcpy(PlikProjektu(), path, strlen(path) + 1);
  return OtworzProjekt();
}

void obetnijslash(int control) {
  char text[kPathMax + 1] = {0};
  GetDlgItemTextA(Main(), control, text, kPathMax + 1);
  size_t n = strlen(text);
  if (n && text[n - 1] == '\\') {
    text[n - 1] = 0;
    SetDlgItemTextA(Main(), control, text);
  }
}
