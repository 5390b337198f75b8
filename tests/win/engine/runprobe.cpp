// Test helper run by installers and uninstallers as a "Run"/"RunU" entry: it leaves a note of its
// start (command line and working folder) in %PR_PROBE_DIR%\<its own file name>.ran.
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
  UniqueHandle f(CreateFileA(note.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return 1;
  DWORD done;
  WriteFile(f.get(), text.data(), (DWORD)text.size(), &done, nullptr);
  return 0;
}
