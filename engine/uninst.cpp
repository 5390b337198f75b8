// The uninstaller: confirms, runs the removal entries, removes what the log lists, then itself.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "core/gzcformat.h"
#include "core/installerlayout.h"
#include "win/winfs.h"
#include "win/winhandles.h"
#include "engine/enginewin.h"
#include "engine/langdata.h"
#include "engine/look.h"
#include "engine/resource.h"
#include "engine/steps.h"
#include "engine/unlog.h"

namespace {
constexpr size_t kLogMax = 16u << 20;

struct Uninstall {
  bool silent = false, help = false;
  std::string exe, folder, name, logArg;
  std::vector<LogItem> items;
  std::vector<char> vouched;       // per item: a line reaching outside the folder that the copy proves
  std::string registration;        // the registration key this installation made, once proved
  std::vector<std::wstring> left;  // what could not be removed
  int topDirs = 0;                // folders made on the way to the installation folder
  HWND dlg = nullptr;             // the window that shows the progress; null when silent
  DWORD reported = 0;             // when the last file name was shown
};

void Step(Uninstall& u, size_t left);
bool AskHeldFile(Uninstall& u, const std::string& path);

// What could not be removed, for the last words and the step log.
void Left(Uninstall& u, const std::wstring& text) {
  LogStep("error", text);
  u.left.push_back(text);
}

// The program's name as the texts show it.
std::wstring Name(const Uninstall& u) { return Wide(u.name); }
std::wstring Caption(const Uninstall& u) { return TxF1(L_UN_CAPTION, Name(u)); }

// Paths and names are UTF-8 here (the log's own, or converted from an older log's code page 1250),
// and reach Windows through the wide functions.
std::wstring W(const std::string& utf8) { return Utf8ToWide(utf8); }

// The log is data in a folder others may write to: a relative path must stay inside the
// installation folder and reach its target through real folders only, no link or junction.
bool Inside(const Uninstall& u, const std::string& rel, std::string* full) {
  if (!dircat(full, u.folder.c_str(), rel.data(), rel.size(), true)) return false;
  for (size_t i = u.folder.size() + 1; i < full->size(); ++i) {
    if ((*full)[i] != '\\') continue;
    DWORD a = Attributes(full->substr(0, i));
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY) || (a & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  }
  return true;
}

std::string ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {0};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return "";
  return WideToUtf8(path, wcslen(path));
}

// Whether `path` is `folder` + '\' + one plain name (no link, no way up).
bool DirectlyIn(const std::string& path, const std::string& folder) {
  if (folder.empty() || path.size() <= folder.size() + 1 || path[folder.size()] != '\\' ||
      lstrcmpiW(W(path.substr(0, folder.size())).c_str(), W(folder).c_str()) != 0)
    return false;
  std::string name = path.substr(folder.size() + 1);
  if (name.find_first_of("\\/") != std::string::npos || !GzcSafeListLine(name.data(), name.size(), true)) return false;
  DWORD a = Attributes(path);
  return a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The start-menu programs folder an install used: all users' or the user's own.
bool InMenuFolder(const std::string& path) {
  return DirectlyIn(path, ShellFolder(CSIDL_PROGRAMS)) || DirectlyIn(path, ShellFolder(CSIDL_COMMON_PROGRAMS));
}

// A shortcut the installer can have made: a .lnk file on the desktop or in the program's own
// start-menu folder, of the user or of all users.
bool OurShortcut(const Uninstall& u, const std::string& path) {
  size_t n = path.size();
  if (n <= 4 || lstrcmpiA(path.c_str() + n - 4, ".lnk") != 0) return false;
  for (int common : {0, 1}) {
    std::string menu = ShellFolder(common ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS);
    if (DirectlyIn(path, ShellFolder(common ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY)) ||
        (!menu.empty() && DirectlyIn(path, menu + "\\" + SafeName(u.name))))
      return true;
  }
  return false;
}

// The registration: a key directly under the system's Uninstall key, of the machine or the user.
bool OurRegistration(const std::string& key) {
  static const char* const kRoots[] = {"HKEY_LOCAL_MACHINE\\", "HKEY_CURRENT_USER\\"};
  for (const char* root : kRoots) {
    std::string prefix = std::string(root) + kUninstallKey;
    if (key.size() > prefix.size() && lstrcmpiA(key.substr(0, prefix.size()).c_str(), prefix.c_str()) == 0 &&
        key.find('\\', prefix.size()) == std::string::npos)
      return true;
  }
  return false;
}

// A value of an open key as raw bytes (a string with its terminators); "" when missing or too large.
std::string QueryValue(HKEY key, const char* name) {
  DWORD size = 0;
  std::string data;
  if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size > kLogMax) return data;
  data.resize(size);
  if (size && RegQueryValueExA(key, name, nullptr, nullptr, (BYTE*)&data[0], &size) != ERROR_SUCCESS) size = 0;
  data.resize(size);
  return data;
}

// A string value of an open key in UTF-8; "" when missing, not a string or longer than a path.
std::string QueryText(HKEY key, const wchar_t* name) {
  wchar_t text[MAX_PATH + 1] = {0};
  DWORD type, size = MAX_PATH * sizeof(wchar_t);
  if (RegQueryValueExW(key, name, nullptr, &type, (BYTE*)text, &size) != ERROR_SUCCESS || type != REG_SZ) return "";
  return WideToUtf8(text, wcslen(text));
}

// The registration this installation made: a U line naming a key whose installation folder holds
// this very uninstaller. Its copy of the lines that reach outside the folder vouches for each such
// line of the log, in their order; a line the copy lacks (edited in) is not acted upon. A copy under
// the user's own key proves nothing to an elevated run beyond what the user could do anyway: keys
// and values of HKEY_CURRENT_USER, and the empty folders on the way to this one.
void Vouch(Uninstall& u) {
  u.vouched.assign(u.items.size(), 0);
  std::vector<LogItem> copy;
  bool machine = false;
  for (const LogItem& it : u.items) {
    HKEY root;
    std::string sub;
    UniqueKey k;
    if (it.tag != 'U' || !OurRegistration(it.a) || !SplitKey(it.a, &root, &sub) ||
        RegOpenKeyExW(root, W(sub).c_str(), 0, KEY_QUERY_VALUE, k.put()) != ERROR_SUCCESS)
      continue;
    std::string location = QueryText(k.get(), L"InstallLocation");
    UniqueHandle same(OpenImageFile(location + "\\" + kInstalledUninstaller));
    if (!same || !LogParse(QueryValue(k.get(), kLogCopyValue), &copy)) continue;
    u.registration = it.a;
    machine = root == HKEY_LOCAL_MACHINE;
    break;
  }
  const bool elevated = IsUserAnAdmin() != FALSE;
  const char kUser[] = "HKEY_CURRENT_USER\\";
  size_t next = 0;
  for (size_t i = 0; i < u.items.size() && next < copy.size(); ++i) {
    const LogItem& it = u.items[i];
    const LogItem& c = copy[next];
    if (!LogReachesOut(it.tag) || c.tag != it.tag || c.a != it.a || c.b != it.b) continue;
    ++next;
    bool userCould = it.tag == 'T' || (it.tag != 'X' && it.a.size() > sizeof kUser - 1 &&
                                       lstrcmpiA(it.a.substr(0, sizeof kUser - 1).c_str(), kUser) == 0);
    u.vouched[i] = machine || !elevated || userCould;
  }
}

void RemoveFile(Uninstall& u, const std::string& path) {
  std::wstring w = W(path);
  DWORD a = GetFileAttributesW(w.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;  // already gone
  if (a & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(w.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
  // A file that a running program holds: tried again while the user says so (or for kHeldWait when
  // silent), then left to the next restart where the rights allow.
  DWORD start = GetTickCount();
  while (!DeleteFileW(w.c_str())) {
    DWORD error = GetLastError();
    bool again = HeldError(error, true) && (u.dlg ? AskHeldFile(u, path) : GetTickCount() - start < kHeldWait);
    if (!again) {
      bool later = HeldError(error, true) && MoveFileExW(w.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      Left(u, TxF1(later ? L_UN_AT_RESTART : L_NOT_REMOVED, Wide(path)));
      return;
    }
    if (!u.dlg) Sleep(100);
  }
}

// A key made by the installation goes only when nothing is left in it.
void RemoveKeyIfEmpty(const std::string& full) {
  HKEY root;
  std::string sub;
  if (!SplitKey(full, &root, &sub)) return;
  DWORD keys = 1, values = 1;
  {
    UniqueKey k;
    if (RegOpenKeyExW(root, W(sub).c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return;
    RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
  }
  if (keys == 0 && values == 0) RegDeleteKeyW(root, W(sub).c_str());
}

void RemoveValue(Uninstall& u, const std::string& key, const std::string& name) {
  HKEY root;
  std::string sub;
  if (!SplitKey(key, &root, &sub)) return;
  UniqueKey k;
  if (RegOpenKeyExW(root, W(sub).c_str(), 0, KEY_SET_VALUE, k.put()) != ERROR_SUCCESS) return;
  LONG st = RegDeleteValueW(k.get(), W(name).c_str());
  if (st != ERROR_SUCCESS && st != ERROR_FILE_NOT_FOUND) Left(u, TxF1(L_NOT_REMOVED, Wide(key + "\\" + name)));
}


void Remove(Uninstall& u) {
  for (size_t i = 0; i < u.items.size(); ++i) {
    const LogItem& it = u.items[i];
    std::string full;
    if (it.tag == 'X' && u.vouched[i] && Inside(u, it.a, &full) && Attributes(full) != INVALID_FILE_ATTRIBUTES) {
      LogStep("run", full);
      Launch(full);
    }
  }
  for (size_t i = u.items.size(); i-- > 0;) {
    Step(u, i);
    const LogItem& it = u.items[i];
    std::string full;
    if (!strchr("PGX", it.tag)) LogStep(StepWord(it.tag, true), it.a, it.b);
    switch (it.tag) {
      case 'F':
        if (Inside(u, it.a, &full)) RemoveFile(u, full);
        break;
      case 'D':
        if (Inside(u, it.a, &full)) RemoveDirectoryW(W(full).c_str());  // stays when the user added files
        break;
      case 'S':
        // Only shortcut files: a damaged log must not point the removal at anything else.
        if (OurShortcut(u, it.a)) RemoveFile(u, it.a);
        break;
      case 'M':
        if (InMenuFolder(it.a)) RemoveDirectoryW(W(it.a).c_str());
        break;
      case 'V':
        if (u.vouched[i]) RemoveValue(u, it.a, it.b);
        break;
      case 'K':
        if (u.vouched[i]) RemoveKeyIfEmpty(it.a);
        break;
      case 'U': {
        HKEY root;
        std::string sub;
        if (it.a == u.registration && SplitKey(it.a, &root, &sub) && RegDeleteKeyW(root, W(sub).c_str()) != ERROR_SUCCESS) {
          UniqueKey k;
          if (RegOpenKeyExW(root, W(sub).c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS)
            Left(u, TxF1(L_NOT_REMOVED, Wide(it.a)));
        }
        break;
      }
      case 'T':
        if (u.vouched[i]) ++u.topDirs;
        break;
    }
  }
  RemoveFile(u, u.folder + "\\" + kUninstLog);
  RemoveFile(u, u.folder + "\\" + kUninstTexts);  // there when the uninstaller is signed
}

// A running program cannot delete its own file: a copy waits for this process to end, deletes the
// uninstaller and the folders the installation made, and goes itself at the next restart. The copy
// runs with this process's rights, so it is made from this program's own file (never re-read by
// name) into a new folder that, in an elevated run, the user's other programs cannot write to.
void StartEraser(const Uninstall& u) {
  UniqueHandle image(OpenOwnImage());
  std::string dir;
  if (!image || !MakePrivateFolder(L"pru", &dir)) return;
  std::wstring wdir = W(dir), copy = wdir + L"\\" + W(NameOf(u.exe));
  bool ok;
  {
    UniqueHandle out(CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    char buf[16384];
    DWORD got = 0, put = 0;
    ok = out && SetFilePointer(image.get(), 0, nullptr, FILE_BEGIN) == 0;
    while (ok && ReadFile(image.get(), buf, sizeof buf, &got, nullptr) && got)
      ok = WriteFile(out.get(), buf, got, &put, nullptr) && put == got;
  }
  UniqueHandle self;
  if (ok)
    ok = DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), self.put(), SYNCHRONIZE, TRUE, 0);
  wchar_t line[3 * MAX_PATH];
  wsprintfW(line, L"\"%s\" /_erase %lu %d %s", copy.c_str(), HandleToULong(self.get()), u.topDirs, W(u.exe).c_str());
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (ok && CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, wdir.c_str(), &si, &pi)) {
    UniqueHandle thread(pi.hThread), process(pi.hProcess);  // the eraser runs on by itself
  } else {
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(wdir.c_str());
  }
}

// The copy's part: "/_erase <handle> <levels> <uninstaller path>".
int Erase(const char* args) {
  char* end;
  UniqueHandle parent(ULongToHandle(strtoul(args, &end, 10)));
  int levels = (int)strtol(end, &end, 10);
  while (*end == ' ') ++end;
  std::string exe = end;
  WaitForSingleObject(parent.get(), 30000);
  for (int i = 0; i < 100 && !DeleteFileW(W(exe).c_str()) && Attributes(exe) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  std::string dir = FolderOf(exe);
  for (int i = 0; i < levels && dir.size() > 3 && RemoveDirectoryW(W(dir).c_str()); ++i) dir = FolderOf(dir);
  std::string self = ModulePath();
  MoveFileExW(W(self).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  MoveFileExW(W(FolderOf(self)).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return EXIT_DONE;
}

// ---- The window: confirmation, progress, result ---------------------------------------------------
enum {
  WM_UN_PROGRESS = WM_APP + 1,  // wParam: percent
  WM_UN_FILE,                   // lParam: const char*, the item being removed (8-bit, as the log holds it)
  WM_UN_DONE,                   // the removal has ended
  WM_UN_HELD,                   // lParam: const std::string*, a file in use; returns 1 to retry
};

struct UnDialog {
  Uninstall* u;
  HWND dlg = nullptr;
  Look look;
  UniqueHandle thread;  // the removal's, once started
  int result = EXIT_CANCELLED;
  bool done = false;
};

UnDialog* UnSelf(HWND dlg) { return reinterpret_cast<UnDialog*>(GetWindowLongPtrW(dlg, DWLP_USER)); }

// Asks on the window's thread whether to try a file in use again.
bool AskHeldFile(Uninstall& u, const std::string& path) { return SendMessageW(u.dlg, WM_UN_HELD, 0, (LPARAM)&path) == 1; }

// Progress of the removal, on its thread: the share done, and the file at most every 50 ms.
void Step(Uninstall& u, size_t left) {
  if (!u.dlg) return;
  size_t n = u.items.size();
  PostMessageW(u.dlg, WM_UN_PROGRESS, (WPARAM)((n - left) * 100 / n), 0);
  const LogItem& it = u.items[left];
  DWORD now = GetTickCount();
  if ((it.tag == 'F' || it.tag == 'S') && now - u.reported >= 50) {
    u.reported = now;
    SendMessageW(u.dlg, WM_UN_FILE, 0, (LPARAM)it.a.c_str());
  }
}

DWORD WINAPI RemoveThread(LPVOID param) {
  UnDialog* d = static_cast<UnDialog*>(param);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Remove(*d->u);
  StartEraser(*d->u);
  CoUninitialize();
  PostMessageW(d->dlg, WM_UN_DONE, 0, 0);
  return 0;
}

void UnShow(HWND dlg, const int* ids, int n, bool on) {
  for (int i = 0; i < n; ++i) ShowWindow(GetDlgItem(dlg, ids[i]), on ? SW_SHOW : SW_HIDE);
}
const int kUnProgress[] = {IDS_STATUS, IDP_PROGRESS, IDS_FILE};

BOOL UnOnInit(HWND dlg, UnDialog* d) {
  SetWindowLongPtrW(dlg, DWLP_USER, (LONG_PTR)d);
  d->dlg = dlg;
  const Uninstall& u = *d->u;
  SetWindowTextW(dlg, Caption(u).c_str());
  LookInit(dlg, &d->look);
  LookSetSide(dlg, &d->look, false);
  SetText(dlg, IDS_TITLE, TxF1(L_UN_TITLE, Name(u)));
  SetText(dlg, IDS_SUBTITLE, TxF1(L_UN_SUB, Name(u)));
  SetText(dlg, IDS_TEXT, TxF1(L_UN_ASK, Name(u)));
  SetText(dlg, IDB_NEXT, Tx(L_UN_REMOVE));
  SetText(dlg, IDCANCEL, Tx(L_CANCEL));
  SendDlgItemMessageW(dlg, IDP_PROGRESS, PBM_SETRANGE32, 0, 100);
  UnShow(dlg, kUnProgress, 3, false);
  SetFocus(GetDlgItem(dlg, IDB_NEXT));
  return FALSE;
}

void UnOnRemove(UnDialog& d) {
  HWND dlg = d.dlg;
  if (d.done) {
    EndDialog(dlg, 0);
    return;
  }
  if (d.thread) return;
  EnableWindow(GetDlgItem(dlg, IDB_NEXT), FALSE);
  EnableWindow(GetDlgItem(dlg, IDCANCEL), FALSE);
  SetText(dlg, IDS_TEXT, L"");
  SetText(dlg, IDS_STATUS, Tx(L_UN_REMOVING));
  UnShow(dlg, kUnProgress, 3, true);
  d.u->dlg = dlg;
  d.thread.reset(CreateThread(nullptr, 0, RemoveThread, &d, 0, nullptr));
  if (!d.thread) RemoveThread(&d);
}

void UnOnDone(UnDialog& d) {
  HWND dlg = d.dlg;
  Uninstall& u = *d.u;
  if (d.thread) WaitForSingleObject(d.thread.get(), INFINITE);
  d.done = true;
  std::wstring list;
  for (const std::wstring& l : u.left) list += L"\r\n- " + l;
  d.result = u.left.empty() ? EXIT_DONE : EXIT_PARTLY;
  UnShow(dlg, kUnProgress, 3, false);
  ShowWindow(GetDlgItem(dlg, IDCANCEL), SW_HIDE);
  SetText(dlg, IDS_TITLE, Tx(L_UN_DONE_TITLE));
  SetText(dlg, IDS_SUBTITLE, L"");
  SetText(dlg, IDS_TEXT, u.left.empty() ? TxF1(L_UN_DONE, Name(u)) : TxF(L_UN_LEFT, {Name(u), list}));
  SetText(dlg, IDB_NEXT, Tx(L_CLOSE));
  EnableWindow(GetDlgItem(dlg, IDB_NEXT), TRUE);
  SetFocus(GetDlgItem(dlg, IDB_NEXT));
}

INT_PTR CALLBACK UnProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) return UnOnInit(dlg, reinterpret_cast<UnDialog*>(lp));
  UnDialog* d = UnSelf(dlg);
  if (!d) return FALSE;
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == IDB_NEXT) UnOnRemove(*d);
      else if (LOWORD(wp) == IDCANCEL && (d->done || !d->thread)) EndDialog(dlg, 0);
      return TRUE;
    case WM_CLOSE:
      if (d->done || !d->thread) EndDialog(dlg, 0);
      return TRUE;
    case WM_UN_PROGRESS: SendDlgItemMessageW(dlg, IDP_PROGRESS, PBM_SETPOS, wp, 0); return TRUE;
    case WM_UN_FILE: SetText(dlg, IDS_FILE, Wide(reinterpret_cast<const char*>(lp))); return TRUE;
    case WM_UN_DONE: UnOnDone(*d); return TRUE;
    case WM_UN_HELD:
      SetWindowLongPtrW(dlg, DWLP_MSGRESULT, AskHeld(dlg, Caption(*d->u), *reinterpret_cast<const std::string*>(lp)));
      return TRUE;
    case WM_ERASEBKGND: SetWindowLongPtrW(dlg, DWLP_MSGRESULT, 1); return LookErase(dlg, d->look, (HDC)wp);
    case WM_CTLCOLORSTATIC: return LookCtlColor(dlg, d->look, (HDC)wp, (HWND)lp);
    case WM_DRAWITEM: return LookDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
  }
  return FALSE;
}

// Asks, removes and tells the result in the uninstaller's window; returns the ExitCode.
int RunWindow(Uninstall& u) {
  UnDialog d;
  d.u = &u;
  LookRun(IDD_UNINSTALL, UnProc, (LPARAM)&d, &d.look);
  return d.result;
}

int Run() {
  const wchar_t* line = GetCommandLineW();
  const std::string args = WideToUtf8(line, wcslen(line));
  const char* p = ArgumentsOf(args.c_str());
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
    if (const char* end = LogArgument(p, &u.logArg)) {
      p = end;
      continue;
    }
    p = e;
    if (arg == "/S" || arg == "/s") u.silent = true;
    else if (arg == "/?") u.help = true;
    else if (bad.empty()) bad = arg;
  }
  u.exe = ModulePath();
  u.folder = FolderOf(u.exe);

  std::string lang, logText;
  UniqueHandle f(OpenOwnImage());
  LARGE_INTEGER size = {};
  uint64_t imageEnd = 0;
  bool haveLang = f && GetFileSizeEx(f.get(), &size) &&
                  ReadOwnLangData(f.get(), (uint64_t)size.QuadPart, "", "PRLANG ", &imageEnd, &lang) &&
                  LangDataLength(lang.data(), lang.size()) == lang.size();
  f.reset();
  if (!haveLang) haveLang = ReadWhole(u.folder + "\\" + kUninstTexts, &lang, kLogMax) && LangDataLength(lang.data(), lang.size()) == lang.size();
  bool logOk = ReadWhole(u.folder + "\\" + kUninstLog, &logText, kLogMax) && LogParse(logText, &u.items);
  // The installation's language; the user's when the log names none that the texts hold.
  std::string asked;
  for (const LogItem& it : u.items) {
    if (it.tag == 'P') u.name = it.a;
    if (it.tag == 'G') asked = it.a;
  }
  std::string set = haveLang ? ChooseTextSet(lang.data(), lang.size(), asked) : std::string();
  if (set.empty() && haveLang) set = ChooseTextSet(lang.data(), lang.size(), "");
  if (set.empty() || !LoadTexts(lang.data(), lang.size(), set)) {
    const wchar_t* text = L"Deinstalator jest uszkodzony: brak jego tekstów.";
    if (!u.silent) MessageBoxW(nullptr, text, L"Deinstalator", MB_OK | MB_ICONERROR);
    ReportLine(text);
    return EXIT_DAMAGED;
  }
  auto fail = [&](int code, const std::wstring& text) {
    LogStep("error", text);
    if (u.silent) ReportLine(text);
    else Box(nullptr, text, Caption(u), MB_OK | MB_ICONERROR);
    return code;
  };
  if (!u.logArg.empty() && !StepLogOpen(u.logArg)) return fail(EXIT_ARGS, TxF1(L_BAD_ARGS, L"/LOG=" + Wide(u.logArg)));
  if (!bad.empty()) return fail(EXIT_ARGS, TxF1(L_BAD_ARGS, Wide(bad)));
  if (u.help) {
    if (u.silent) ReportLine(Tx(L_UN_HELP));
    else Box(nullptr, Tx(L_UN_HELP), Caption(u), MB_OK | MB_ICONINFORMATION);
    return EXIT_DONE;
  }
  LogStep("uninstall", u.folder);
  if (!logOk) return fail(EXIT_DAMAGED, Tx(L_UN_BADLOG));
  Vouch(u);
  if (!u.silent) return RunWindow(u);

  Remove(u);
  StartEraser(u);
  for (const std::wstring& l : u.left) ReportLine(l);
  return u.left.empty() ? EXIT_DONE : EXIT_PARTLY;
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int code = Run();
  char n[12];
  wsprintfA(n, "%d", code);
  LogStep("exit", n);
  CoUninitialize();
  ExitProcess(code);
}
