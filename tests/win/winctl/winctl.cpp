// Drives a running program's window from scripts:
//   winctl close|command|click|settext|wait CAPTION [ID [TEXT]]
// (click: a click on the control ID, as a user's; command: the WM_COMMAND of ID alone)
// wait returns once the window is visible and has painted itself. A CAPTION may be in any language.
//   winctl until CAPTION ID shown|hidden|enabled|disabled
// until waits (up to 30 s) for the control ID of the window to be in that state, as a page of a
// wizard changes after a click, then returns once the window has painted itself.
//   winctl end CAPTION
// end ends the process of the window CAPTION and waits (up to 30 s) until no such window is left.
//   winctl presswait CAPTION BUTTON DIALOG [ID TEXT]... [--timeout S]
//   winctl unix PROGRAM [ARG]...
// presswait sets the fields ID to TEXT, presses BUTTON of the window CAPTION and waits until a
// window DIALOG of the same program has opened and closed again. It prints, measured here:
//   startup MS      from the creation of the program's process to its window first seen
//   shown MS        from the press to DIALOG open
//   elapsed MS      from the press to DIALOG closed
// A message box of the program (caption "Packrift") that shows up meanwhile ends it with status 3
// and its text on standard error.
// unix runs a Linux program under Wine and waits for it, with the arguments that are Windows paths
// ("X:\...") turned into the Linux paths of the same files; its exit code is winctl's. Wine starts
// a Linux program without a process to wait on, so a shell notes the code in a file.
#include <windows.h>
#include <shellapi.h>
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

// Argument `i` as the command line holds it: a caption in a language that the 8-bit code page lacks
// arrives whole only here.
static std::wstring WideArg(int i) {
  int n = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &n);
  std::wstring arg = args && i < n ? args[i] : L"";
  LocalFree(args);
  return arg;
}

// The top-level window whose caption is argument `i`.
static HWND Top(int i) { return FindWindowW(nullptr, WideArg(i).c_str()); }

static HWND Find(int captionArg, DWORD pollMs = 200) {
  for (DWORD waited = 0; waited < 30000; waited += pollMs) {  // up to 30 s
    HWND w = Top(captionArg);
    if (w && IsWindowVisible(w)) return w;
    Sleep(pollMs);
  }
  return nullptr;
}

static double Ms(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return 1000.0 * (double)(to.QuadPart - from.QuadPart) / (double)f.QuadPart;
}

// Milliseconds from the creation of the process that owns `w` until now; negative when unknown.
static double SinceCreation(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!p) p = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (!p) return -1;
  FILETIME created, exited, kernel, user, now;
  BOOL ok = GetProcessTimes(p, &created, &exited, &kernel, &user);
  CloseHandle(p);
  if (!ok) return -1;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER a, b;
  a.LowPart = created.dwLowDateTime;
  a.HighPart = created.dwHighDateTime;
  b.LowPart = now.dwLowDateTime;
  b.HighPart = now.dwHighDateTime;
  return (double)(b.QuadPart - a.QuadPart) / 1e4;
}

// A visible top-level window of process `pid` with this caption, other than `except`.
struct Search {
  DWORD pid;
  const char* caption;
  HWND except;
  HWND found;
};
static BOOL CALLBACK Match(HWND w, LPARAM lp) {
  Search* s = (Search*)lp;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != s->pid || w == s->except || !IsWindowVisible(w)) return TRUE;
  char text[256];
  GetWindowTextA(w, text, sizeof text);
  if (strcmp(text, s->caption)) return TRUE;
  s->found = w;
  return FALSE;
}
static HWND FindOf(DWORD pid, const char* caption, HWND except) {
  Search s = {pid, caption, except, nullptr};
  EnumWindows(Match, (LPARAM)&s);
  return s.found;
}

// The text of a message box (its static 0xFFFF), in UTF-8 for the terminal.
static std::string BoxText(HWND box) {
  char text[1024] = {0};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  WCHAR wide[1024];
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
  char utf8[3072] = {0};
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

static int PressWait(int argc, char** argv) {
  // argv: presswait CAPTION BUTTON DIALOG [ID TEXT]... [--timeout S]
  double timeoutS = 1800;
  std::vector<std::pair<int, const char*>> fields;
  for (int i = 5; i < argc; i += 2) {
    if (!strcmp(argv[i], "--timeout") && i + 1 < argc) timeoutS = atof(argv[i + 1]);
    else if (i + 1 < argc) fields.push_back({atoi(argv[i]), argv[i + 1]});
    else return 2;
  }
  HWND main = Find(2, 5);
  if (!main) {
    fprintf(stderr, "winctl: no window \"%s\"\n", argv[2]);
    return 1;
  }
  printf("startup %.0f ms\n", SinceCreation(main));
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  for (const auto& f : fields) SendDlgItemMessageA(main, f.first, WM_SETTEXT, 0, (LPARAM)f.second);
  HWND button = GetDlgItem(main, atoi(argv[3]));
  if (!button || !IsWindowEnabled(button)) {
    fprintf(stderr, "winctl: button %s is missing or disabled\n", argv[3]);
    return 1;
  }

  const char* box = "Packrift";
  auto boxShown = [&]() {
    HWND b = FindOf(pid, box, main);
    if (!b) return false;
    fprintf(stderr, "winctl: message: %s\n", BoxText(b).c_str());
    return true;
  };
  LARGE_INTEGER t0, t1, now;
  QueryPerformanceCounter(&t0);
  PostMessageA(button, BM_CLICK, 0, 0);
  HWND dlg = nullptr;
  for (;;) {
    dlg = FindOf(pid, argv[4], nullptr);
    if (dlg) break;
    if (boxShown()) return 3;
    QueryPerformanceCounter(&now);
    if (Ms(t0, now) > 30000) {
      fprintf(stderr, "winctl: no window \"%s\" after the press\n", argv[4]);
      return 1;
    }
    Sleep(1);
  }
  QueryPerformanceCounter(&t1);
  printf("shown %.0f ms\n", Ms(t0, t1));
  for (unsigned polls = 0;; ++polls) {
    if (!IsWindow(dlg) || !IsWindowVisible(dlg)) break;
    // Looking for a box costs more than looking at the dialog: not at every poll.
    if (polls % 64 == 63 && boxShown()) return 3;
    QueryPerformanceCounter(&now);
    if (Ms(t0, now) > timeoutS * 1000) {
      fprintf(stderr, "winctl: \"%s\" still open after %.0f s\n", argv[4], timeoutS);
      return 1;
    }
    Sleep(2);
  }
  QueryPerformanceCounter(&now);
  printf("elapsed %.0f ms\n", Ms(t0, now));
  return 0;
}

// The Linux path of a Windows path, by Wine's own mapping; the text itself when it is none.
static std::string UnixPath(const std::string& arg) {
  typedef char*(__cdecl * ToUnix)(LPCWSTR);
  static ToUnix toUnix = (ToUnix)(void*)GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name");
  bool winPath = arg.size() > 2 && isalpha((unsigned char)arg[0]) && arg[1] == ':' && arg[2] == '\\';
  if (!winPath || !toUnix) return arg;
  WCHAR wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, arg.c_str(), -1, wide, MAX_PATH)) return arg;
  char* unix = toUnix(wide);
  if (!unix) return arg;
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

static std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

static int RunUnix(int argc, char** argv) {
  char temp[MAX_PATH], status[MAX_PATH];
  if (!GetTempPathA(MAX_PATH, temp) || !GetTempFileNameA(temp, "wcu", 0, status)) {
    fprintf(stderr, "winctl: no temporary file for the exit code\n");
    return 2;
  }
  DeleteFileA(status);
  // The program's output is kept in a file and passed on to winctl's own standard error.
  const std::string said = std::string(status) + ".said";
  std::string script;
  for (int i = 2; i < argc; ++i) script += ShellQuoted(UnixPath(argv[i])) + " ";
  script += ">" + ShellQuoted(UnixPath(said)) + " 2>&1; echo $? > " + ShellQuoted(UnixPath(status) + ".part") + " && mv " +
            ShellQuoted(UnixPath(status) + ".part") + " " + ShellQuoted(UnixPath(status));
  // The shell is started through the Windows side; its arguments follow the usual quoting.
  std::string line = "/bin/sh -c \"";
  size_t slashes = 0;
  for (char c : script) {
    if (c == '\\') {
      ++slashes;
    } else {
      if (c == '"') line.append(slashes + 1, '\\');
      slashes = 0;
    }
    line += c;
  }
  line.append(slashes, '\\');
  line += "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back(0);
  if (!CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    fprintf(stderr, "winctl: /bin/sh could not be started (%lu)\n", GetLastError());
    return 2;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  for (int waited = 0; waited < 300000; waited += 20) {
    HANDLE f = CreateFileA(status, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      char text[16] = {0};
      DWORD got = 0;
      ReadFile(f, text, sizeof text - 1, &got, nullptr);
      CloseHandle(f);
      DeleteFileA(status);
      HANDLE out = CreateFileA(said.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      char chunk[4096];
      while (out != INVALID_HANDLE_VALUE && ReadFile(out, chunk, sizeof chunk, &got, nullptr) && got)
        fwrite(chunk, 1, got, stderr);
      if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
      DeleteFileA(said.c_str());
      return atoi(text);
    }
    Sleep(20);
  }
  fprintf(stderr, "winctl: %s did not end within 300 s\n", argv[2]);
  return 2;
}

static int Until(const char* caption, int id, const char* state) {  // caption: argument 2
  static const char* const kStates[] = {"shown", "hidden", "enabled", "disabled"};
  int want = -1;
  for (int i = 0; i < 4; ++i)
    if (!strcmp(state, kStates[i])) want = i;
  if (want < 0) {
    fprintf(stderr, "winctl: until: no state \"%s\" (shown, hidden, enabled or disabled)\n", state);
    return 2;
  }
  for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(20)) {
    HWND w = Top(2);
    HWND c = w ? GetDlgItem(w, id) : nullptr;
    if (!c) continue;
    bool on = want < 2 ? IsWindowVisible(c) != 0 : IsWindowEnabled(c) != 0;
    if (on == (want % 2 == 0)) {
      RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
      return 0;
    }
  }
  fprintf(stderr, "winctl: control %d of \"%s\" not %s within 30 s\n", id, caption, state);
  return 1;
}

int main(int argc, char** argv) {
  if (argc >= 5 && !strcmp(argv[1], "presswait")) return PressWait(argc, argv);
  if (argc >= 3 && !strcmp(argv[1], "unix")) return RunUnix(argc, argv);
  if (argc >= 5 && !strcmp(argv[1], "until")) return Until(argv[2], atoi(argv[3]), argv[4]);
  if (argc >= 3 && !strcmp(argv[1], "end")) {
    DWORD pid = 0;
    if (HWND w = Top(2)) GetWindowThreadProcessId(w, &pid);
    if (HANDLE p = pid ? OpenProcess(PROCESS_TERMINATE, FALSE, pid) : nullptr) {
      TerminateProcess(p, 1);
      CloseHandle(p);
    }
    for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(20))
      if (!Top(2)) return 0;
    fprintf(stderr, "winctl: the window \"%s\" is still there after 30 s\n", argv[2]);
    return 1;
  }
  if (argc < 3) {
    fprintf(stderr, "usage: winctl close|command|click|settext|wait CAPTION [ID [TEXT]]\n"
                    "       winctl until CAPTION ID shown|hidden|enabled|disabled\n"
                    "       winctl end CAPTION\n"
                    "       winctl presswait CAPTION BUTTON DIALOG [ID TEXT]... [--timeout S]\n"
                    "       winctl unix PROGRAM [ARG]...\n");
    return 2;
  }
  HWND w = Find(2);
  if (!w) {
    fprintf(stderr, "winctl: no window \"%s\"\n", argv[2]);
    return 1;
  }
  const char* verb = argv[1];
  if (!strcmp(verb, "close")) PostMessageA(w, WM_CLOSE, 0, 0);
  else if (!strcmp(verb, "command") && argc > 3) PostMessageA(w, WM_COMMAND, MAKEWPARAM(atoi(argv[3]), 0), 0);
  else if (!strcmp(verb, "click") && argc > 3) PostMessageA(GetDlgItem(w, atoi(argv[3])), BM_CLICK, 0, 0);
  else if (!strcmp(verb, "settext") && argc > 4) SendDlgItemMessageA(w, atoi(argv[3]), WM_SETTEXT, 0, (LPARAM)argv[4]);
  else if (!strcmp(verb, "wait")) RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  else return 2;
  return 0;
}
