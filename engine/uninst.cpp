// The uninstaller: confirms, runs the removal entries, removes what the log lists, then itself.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "build/gzcformat.h"
#include "engine/enginewin.h"
#include "engine/unlog.h"

namespace {
const char kLog[] = "UnInst.log";
constexpr size_t kLogMax = 16u << 20;

struct Uninstall {
  bool silent = false;
  std::string exe, folder, name;
  std::vector<LogItem> items;
  std::vector<std::string> left;  // what could not be removed
  int topDirs = 0;                // folders made on the way to the installation folder
};

std::string Caption(const Uninstall& u) { return TxF(L_UN_CAPTION, {u.name}); }

bool Inside(const Uninstall& u, const std::string& rel, std::string* full) {
  return dircat(full, u.folder.c_str(), rel.data(), rel.size());
}

void RemoveFile(Uninstall& u, const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;  // already gone
  if (a & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
  if (!DeleteFileA(path.c_str())) u.left.push_back(TxF(L_NOT_REMOVED, {path}));
}

// A key made by the installation goes only when nothing is left in it.
void RemoveKeyIfEmpty(const std::string& full) {
  HKEY root, k;
  std::string sub;
  if (!SplitKey(full, &root, &sub)) return;
  if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
  DWORD keys = 1, values = 1;
  RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(k);
  if (keys == 0 && values == 0) RegDeleteKeyA(root, sub.c_str());
}

void RemoveValue(Uninstall& u, const std::string& key, const std::string& name) {
  HKEY root, k;
  std::string sub;
  if (!SplitKey(key, &root, &sub)) return;
  if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return;
  LONG st = RegDeleteValueA(k, name.c_str());
  RegCloseKey(k);
  if (st != ERROR_SUCCESS && st != ERROR_FILE_NOT_FOUND) u.left.push_back(TxF(L_NOT_REMOVED, {key + "\\" + name}));
}


void Remove(Uninstall& u) {
  for (const LogItem& it : u.items) {
    std::string full;
    if (it.tag == 'X' && Inside(u, it.a, &full) && GetFileAttributesA(full.c_str()) != INVALID_FILE_ATTRIBUTES) Launch(full);
  }
  for (size_t i = u.items.size(); i-- > 0;) {
    const LogItem& it = u.items[i];
    std::string full;
    switch (it.tag) {
      case 'F':
        if (Inside(u, it.a, &full)) RemoveFile(u, full);
        break;
      case 'D':
        if (Inside(u, it.a, &full)) RemoveDirectoryA(full.c_str());  // stays when the user added files
        break;
      case 'S': {
        // Only shortcut files: a damaged log must not point the removal at anything else.
        size_t n = it.a.size();
        if (n > 4 && lstrcmpiA(it.a.c_str() + n - 4, ".lnk") == 0) RemoveFile(u, it.a);
        break;
      }
      case 'M': RemoveDirectoryA(it.a.c_str()); break;
      case 'V': RemoveValue(u, it.a, it.b); break;
      case 'K': RemoveKeyIfEmpty(it.a); break;
      case 'U': {
        HKEY root;
        std::string sub;
        if (SplitKey(it.a, &root, &sub) && RegDeleteKeyA(root, sub.c_str()) != ERROR_SUCCESS) {
          HKEY k;
          if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS) {
            RegCloseKey(k);
            u.left.push_back(TxF(L_NOT_REMOVED, {it.a}));
          }
        }
        break;
      }
      case 'T': ++u.topDirs; break;
    }
  }
  RemoveFile(u, u.folder + "\\" + kLog);
}

// A running program cannot delete its own file: a copy in the temporary folder waits for this
// process to end, deletes the uninstaller and the folders the installation made, and goes itself
// at the next restart.
void StartEraser(const Uninstall& u) {
  char temp[MAX_PATH], copy[MAX_PATH];
  if (!GetTempPathA(MAX_PATH, temp) || !GetTempFileNameA(temp, "pru", 0, copy)) return;
  if (!CopyFileA(u.exe.c_str(), copy, FALSE)) return;
  HANDLE self = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0)) return;
  char line[3 * MAX_PATH];
  wsprintfA(line, "\"%s\" /_erase %lu %d %s", copy, HandleToULong(self), u.topDirs, u.exe.c_str());
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, temp, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  } else {
    DeleteFileA(copy);
  }
  CloseHandle(self);
}

// The copy's part: "/_erase <handle> <levels> <uninstaller path>".
int Erase(const char* args) {
  char* end;
  HANDLE parent = ULongToHandle(strtoul(args, &end, 10));
  int levels = (int)strtol(end, &end, 10);
  while (*end == ' ') ++end;
  std::string exe = end;
  WaitForSingleObject(parent, 30000);
  CloseHandle(parent);
  for (int i = 0; i < 100 && !DeleteFileA(exe.c_str()) && GetFileAttributesA(exe.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  std::string dir = FolderOf(exe);
  for (int i = 0; i < levels && dir.size() > 3 && RemoveDirectoryA(dir.c_str()); ++i) dir = FolderOf(dir);
  std::string self = ModulePath();
  MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return EXIT_DONE;
}

int Run() {
  const char* p = ArgumentsOf(GetCommandLineA());
  while (*p == ' ' || *p == '\t') ++p;
  if (strncmp(p, "/_erase ", 8) == 0) return Erase(p + 8);

  Uninstall u;
  std::string bad;
  for (;;) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    const char* e = p;
    while (*e && *e != ' ' && *e != '\t') ++e;
    std::string arg(p, e);
    p = e;
    if (arg == "/S" || arg == "/s") u.silent = true;
    else if (bad.empty()) bad = arg;
  }
  u.exe = ModulePath();
  u.folder = FolderOf(u.exe);

  std::string lang, logText;
  HANDLE f = CreateFileA(u.exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER size = {};
  uint64_t imageEnd = 0;
  bool haveLang = f != INVALID_HANDLE_VALUE && GetFileSizeEx(f, &size) &&
                  ReadOwnLangData(f, (uint64_t)size.QuadPart, "", &imageEnd, &lang);
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  bool logOk = ReadWhole(u.folder + "\\" + kLog, &logText, kLogMax) && LogParse(logText, &u.items);
  const char* set = nullptr;
  for (const LogItem& it : u.items) {
    if (it.tag == 'P') u.name = it.a;
    if (it.tag == 'G') set = it.a.c_str();
  }
  if (!haveLang || !LoadTexts(lang.data(), lang.size(), set)) {
    const char* text = "Deinstalator jest uszkodzony: brak jego tekstów.";
    if (!u.silent) MessageBoxA(nullptr, text, "Deinstalator", MB_OK | MB_ICONERROR);
    ReportLine(text);
    return EXIT_DAMAGED;
  }
  auto fail = [&](int code, const std::string& text) {
    if (u.silent) ReportLine(text);
    else Box(nullptr, text, Caption(u), MB_OK | MB_ICONERROR);
    return code;
  };
  if (!bad.empty()) return fail(EXIT_ARGS, TxF(L_BAD_ARGS, {bad}));
  if (!logOk) return fail(EXIT_DAMAGED, Tx(L_UN_BADLOG));
  if (!u.silent && Box(nullptr, TxF(L_UN_ASK, {u.name}), Caption(u), MB_YESNO | MB_ICONQUESTION) != IDYES)
    return EXIT_CANCELLED;

  Remove(u);
  StartEraser(u);
  if (!u.left.empty()) {
    std::string list;
    for (const std::string& l : u.left) list += "\r\n- " + l;
    if (u.silent) {
      for (const std::string& l : u.left) ReportLine(l);
    } else {
      Box(nullptr, TxF(L_UN_LEFT, {u.name, list}), Caption(u), MB_OK | MB_ICONWARNING);
    }
    return EXIT_PARTLY;
  }
  if (!u.silent) Box(nullptr, TxF(L_UN_DONE, {u.name}), Caption(u), MB_OK | MB_ICONINFORMATION);
  return EXIT_DONE;
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int code = Run();
  CoUninitialize();
  ExitProcess(code);
}
