// Test helper run by installers and uninstallers as a "Run"/"RunU" entry: it leaves a note of its
// start (command line and working folder) in %PR_PROBE_DIR%\<its own file name>.ran.
// Started with "/hold <event> <file>" it is instead a program that holds a file: it opens the file
// without any sharing, leaves <file name>.held beside the notes, and lets go when the named event is
// set (or the probe is ended).
#include <windows.h>

#include <string>

#include "win/winhandles.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char self[MAX_PATH], cwd[MAX_PATH], dir[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, cwd);
  if (!GetEnvironmentVariableA("PR_PROBE_DIR", dir, MAX_PATH)) lstrcpyA(dir, cwd);
  std::string name = self;
  name = name.substr(name.rfind('\\') + 1);
  std::string note = std::string(dir) + "\\" + name + ".ran";
  std::string text = std::string(cwd) + "\r\n" + GetCommandLineA() + "\r\n";
  const char* hold = strstr(GetCommandLineA(), " /hold ");
  UniqueHandle held, release;
  if (hold) {
    std::string args = hold + 7;
    size_t blank = args.find(' ');
    release.reset(CreateEventA(nullptr, TRUE, FALSE, args.substr(0, blank).c_str()));
    std::string file = args.substr(blank + 1);
    if (file.size() > 1 && file[0] == '"') file = file.substr(1, file.size() - 2);  // a path with blanks
    held.reset(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!release || !held) return 1;
    note = std::string(dir) + "\\" + file.substr(file.rfind('\\') + 1) + ".held";
  }
  UniqueHandle f(CreateFileA(note.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return 1;
  DWORD done;
  WriteFile(f.get(), text.data(), (DWORD)text.size(), &done, nullptr);
  f.reset();
  if (release) WaitForSingleObject(release.get(), 120000);
  return 0;
}
