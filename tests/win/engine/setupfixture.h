// Fixture of the engine tests: installers assembled as the program builds them, processes run and
// driven from outside as a user would, the shell folders pointed into the test's own folder.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace enginetest {

// Writes an entry list file value as the program does (the platform's profile functions).
void Ini(const std::string& file, const char* section, const char* key, const std::string& value);

// A GZC archive made by hand from (list line, content) pairs, with no check of the lines: for
// archives that the packer would never write.
std::string RawArchive(const std::vector<std::pair<std::string, std::string>>& files);

// A finished process: exit code and what it wrote to its standard error.
struct Ran {
  DWORD code = 0xFFFFFFFF;
  std::string err;
  bool finished = false;
};

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Packs cfg_ and prog_ into the two archives and writes engine + "rc.bin" + the archives'
  // checksums + Lang.dat packed + cfg.dat + bin.dat to `path` (as the program's build does).
  std::string Build(const std::string& path);
  // The same with a program archive given as bytes (its checksum made to match).
  std::string BuildWithProgramArchive(const std::string& path, const std::string& binDat);
  // prog_ packed as the build packs it, a gzip member per file or (lzma) one solid stream.
  std::string ProgramArchive(bool lzma = false);
  // Runs a program with arguments and waits for it (stderr captured). `whileSuspended`, when given,
  // is called after the process is made and before its first instruction runs.
  Ran Run(const std::string& exe, const std::string& args, DWORD ms = 120000,
          const std::function<void()>& whileSuspended = nullptr);
  // Starts a program and returns its process (the caller drives and waits).
  PROCESS_INFORMATION Start(const std::string& exe, const std::string& args);
  // The visible top-level window of the process whose class is `cls` (nullptr: any) and whose
  // caption is `caption` (nullptr: any), other than `except`.
  HWND WaitWindow(DWORD pid, const char* cls, const char* caption, DWORD ms = 20000, HWND except = nullptr);
  // A message box of the process: its text (UTF-8); answers it with `button`.
  std::string AnswerBox(DWORD pid, int button, DWORD ms = 20000);

  std::string File(const std::string& rel) const { return prog_ + rel; }
  void Put(const std::string& rel, const std::string& bytes);  // a file of the program folder
  void PutUtf8(const std::string& rel, const std::string& bytes);  // the same, a name in UTF-8
  void CopyProbe(const std::string& rel);                      // the run probe as a program file
  // A running program (the run probe) holds `path` open without sharing until Release() or the end
  // of the test; returns once it does.
  bool Hold(const std::string& path);
  void Release();

  std::string root_;     // the test's own folder, trailing '\'
  std::string prog_;     // the program folder, trailing '\'
  std::string cfg_;      // the configuration folder, trailing '\'
  std::string target_;   // installation folder for the test (not created), no trailing '\'
  std::string probe_;    // where the run probe leaves its notes, trailing '\'
  std::string desktop_;  // the desktop and start-menu programs folders the shell reports
  std::string programs_;
  std::string commonDesktop_;  // the same of all users
  std::string commonPrograms_;
  std::string localAppData_;  // the user's local application data

 private:
  std::vector<std::pair<std::string, std::string>> savedShell_;  // HKCU's, then HKLM's
  HANDLE release_ = nullptr, holder_ = nullptr;  // the holding probe's event and process
};

// The system's list of files to remove at the next restart: kept at the start, put back at the end.
class RestartMarks {
 public:
  RestartMarks();
  ~RestartMarks();
  std::string Now() const;  // the list as it is now (REG_MULTI_SZ bytes)

 private:
  bool had_;
  DWORD type_ = REG_MULTI_SZ;
  std::string old_;
};

// Bytes of a file; "" when missing.
std::string Slurp(const std::string& path);
// The same, the path in UTF-8.
std::string SlurpUtf8(const std::string& path);
// Whether a file or folder is there.
bool PathExists(const std::string& path);
// The target and working folder of a shortcut.
bool ReadLink(const std::string& lnk, std::string* target, std::string* workdir);
// A registry value: its type and raw data.
bool RegGet(HKEY root, const std::string& key, const std::string& name, DWORD* type, std::string* data);
bool RegKeyExists(HKEY root, const std::string& key);
// Text of a window or control, in the 8-bit code page.
std::string TextOf(HWND wnd);
std::string ItemText(HWND dlg, int id);
// The same in UTF-8, whatever its language.
std::string TextUtf8(HWND wnd);

}  // namespace enginetest
