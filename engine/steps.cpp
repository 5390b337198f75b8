// The step log of /LOG= and the question about files that a running program holds open.
#include "engine/steps.h"

#include <restartmanager.h>

#include "engine/enginewin.h"
#include "win/winfs.h"
#include "win/winhandles.h"

namespace {
UniqueHandle& LogFile() {
  static UniqueHandle file;
  return file;
}
}  // namespace

const char* LogArgument(const char* p, std::string* path) {
  if (p[0] != '/' || (p[1] | 0x20) != 'l' || (p[2] | 0x20) != 'o' || (p[3] | 0x20) != 'g' || p[4] != '=') return nullptr;
  p += 5;
  const char* end = p;
  if (*p == '"') {
    end = strchr(++p, '"');
    if (!end) return nullptr;
    *path = std::string(p, end++);
  } else {
    while (*end && *end != ' ' && *end != '\t') ++end;
    *path = std::string(p, end);
  }
  return path->empty() ? nullptr : end;
}

bool StepLogOpen(const std::string& path) {
  LogFile().reset(CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return (bool)LogFile();
}

void LogStep(const char* what, const std::string& a, const std::string& b) {
  if (!LogFile()) return;
  SYSTEMTIME t;
  GetLocalTime(&t);
  char stamp[64];
  int n = wsprintfA(stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u %s ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                    t.wSecond, t.wMilliseconds, what);
  std::string line(stamp, n);
  line += a;
  if (!b.empty()) {
    line += ' ';
    line += b;
  }
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';  // one step, one line: a reason of several lines too
  line += "\r\n";
  DWORD done;
  WriteFile(LogFile().get(), line.data(), (DWORD)line.size(), &done, nullptr);
}

void LogStep(const char* what, const std::wstring& text) { LogStep(what, WideToUtf8(text)); }

const char* StepWord(char tag, bool removal) {
  // Each word with the removal's prefix in front of it.
  static const char kTags[] = "FDTMSKVXUP";
  static const char* const kWords[] = {"remove-file",   "remove-folder", "remove-folder",         "remove-folder",
                                       "remove-shortcut", "remove-key",  "remove-value",          "remove-run-at-removal",
                                       "remove-registration", "remove-program", "remove-language"};
  const char* at = strchr(kTags, tag);
  return kWords[at && tag ? at - kTags : 10] + (removal ? 0 : 7);
}

bool HeldError(DWORD error, bool deleting) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || (deleting && error == ERROR_ACCESS_DENIED);
}

namespace {
// The name of the program that holds `path`, as the restart manager knows it ("" when it cannot
// tell: no such manager, or one that lists nothing); with `close`, the programs that hold it are
// also shut. Its library is loaded only now, when a file is found in use.
std::wstring Holder(const std::string& path, bool close) {
  HMODULE rm = LoadLibraryW(L"rstrtmgr.dll");
  static const char* const kCalls[] = {"RmStartSession", "RmRegisterResources", "RmGetList", "RmShutdown", "RmEndSession"};
  FARPROC call[5];
  for (int i = 0; i < 5; ++i)
    if (!rm || !(call[i] = GetProcAddress(rm, kCalls[i]))) return L"";  // (the library stays: once a run)
  DWORD session;
  WCHAR key[CCH_RM_SESSION_KEY + 1];
  if (((decltype(&RmStartSession))(void*)call[0])(&session, 0, key) != ERROR_SUCCESS) return L"";
  std::wstring wide = Utf8ToWide(path);
  LPCWSTR files[] = {wide.c_str()};
  RM_PROCESS_INFO found[1];
  UINT need = 0, count = 1;
  DWORD reasons;
  if (((decltype(&RmRegisterResources))(void*)call[1])(session, 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS ||
      ((decltype(&RmGetList))(void*)call[2])(session, &need, &count, found, &reasons) != ERROR_SUCCESS)
    count = 0;
  if (close && count) ((decltype(&RmShutdown))(void*)call[3])(session, RmForceShutdown, nullptr);
  ((decltype(&RmEndSession))(void*)call[4])(session);
  return count ? found[0].strAppName : L"";
}
}  // namespace

bool AskHeld(HWND owner, const std::wstring& caption, const std::string& path) {
  LogStep("in-use", path);
  std::wstring who = Holder(path, false);
  int answer = Box(owner, TxF(who.empty() ? L_IN_USE : L_IN_USE_BY, {Wide(path), who}), caption,
                   (who.empty() ? MB_RETRYCANCEL : MB_YESNOCANCEL) | MB_ICONWARNING);
  if (answer == IDYES) Holder(path, true);
  return answer != IDCANCEL;
}
