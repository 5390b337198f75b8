// The installer's shared record and its steps: locating and checking the data, installing, the wizard.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/gzcformat.h"
#include "win/winhandles.h"
#include "engine/unlog.h"

// An installation of this program as its registration under one scope tells of it.
enum FoundState {
  FOUND_NONE,     // no registration under the program's key
  FOUND_HERE,     // this installer's kind, its folder and its log sound: upgraded in place
  FOUND_GONE,     // its folder is no longer there
  FOUND_DAMAGED,  // its folder's uninstall log cannot be read: installed anew there, the log kept aside
  FOUND_FOREIGN,  // written by another tool, or naming another program: left alone
};
struct Found {
  FoundState state = FOUND_NONE;
  std::wstring folder;  // InstallLocation
};

struct Setup {
  // Command line.
  bool silent = false;
  int scopeArg = 0;      // /ALLUSERS 1, /CURRENTUSER -1, neither 0
  bool go = false;       // /_GO: started elevated with the choices made: installs at once, never asks again
  bool help = false;     // /?: the switches, then nothing more
  std::wstring folderArg;  // /D=
  std::string langArg;    // /L=
  std::string logArg;     // /LOG=, UTF-8
  // The installer file and where its parts lie.
  UniqueHandle file;
  uint64_t size = 0;
  uint64_t cfgOffset = 0;
  uint32_t cfgLength = 0;
  uint64_t binOffset = 0;
  uint32_t binLength = 0;
  uint32_t cfgSum = 0, binSum = 0;  // the CRC-32 of each archive's bytes, as the build stored them
  std::string langData;  // the whole language data block
  // Scratch folder (removed at the end) and the member scratch file in it (UTF-8).
  std::string temp, gzTmp;
  // The configuration archive's files, read into memory from the verified archive: nothing of
  // the configuration is read again from a folder that other programs can write.
  std::vector<GzcMemFile> cfg;
  // Configuration ("init.cfg" section "cfg"), converted from its code page 1250 to UTF-8.
  std::string name;         // key "1"
  std::string licenceText;  // the file named by key "2", empty when none
  bool hasLicence = false;
  std::string infoRel;      // key "3", relative to the installation folder; empty when none
  std::string version, publisher;  // keys "4" and "5", empty when the program's file has no version
  std::string iconRel;      // key "6": the program's main file, relative to the installation folder
  // For every user (registration under the machine, all users' shortcuts) or the current user.
  bool allUsers = false;
  // Installations of this program found at the start: [0] the user's, [1] the machine's.
  Found found[2];
  // The installation folder (no trailing separator): wide, so that a folder of any language works
  // on a Windows of any code page.
  std::wstring folder;
  // Set by the installation.
  std::string infoPath;                // closing information, absolute (UTF-8), when there is one
  std::vector<std::wstring> problems;  // entries that could not be carried out
};

// What the installation tells its caller and asks it. Called on the installing thread.
struct InstallSink {
  void (*progress)(void* ctx, int percent);
  void (*status)(void* ctx, const std::wstring& text);
  // A yes/no question; null in silent runs, where entries that would ask are skipped.
  bool (*ask)(void* ctx, const std::wstring& question);
  void* ctx;
  // The file being written, relative to the installation folder; at most every 50 ms. Null: none.
  void (*file)(void* ctx, const char* rel);
  // Asked at each file access while the files are checked and written; true stops the installation,
  // which then removes what it wrote and puts back what was there. May wait while the user is asked.
  // Null: never stops.
  bool (*cancelled)(void* ctx);
  // Told once when the files are in place: from there on the installation runs to its end.
  void (*committed)(void* ctx);
  // A file of the folder that another program holds open (full path): true to try it again. Null: a
  // silent run, which tries again for kHeldWait.
  bool (*held)(void* ctx, const std::string& path);
};

// The reason text for a refused archive.
std::wstring DamagedReason(GzcStatus status);
// The folder a user or /D= gave, checked and tidied (no trailing separator). False if unusable.
bool TidyFolder(const std::wstring& in, std::wstring* out);
// Whether the running installation is for every user of the machine (its Setup::allUsers):
// shortcuts in the all-users folders, registration under the machine. Otherwise for the current user.
bool PerMachine();
// The default installation folder: program files + the program's name, or for the current user
// the user's local application data + "Programs" + the name.
std::wstring DefaultFolder(const Setup& s);
// What the registration of this program under one scope tells (reads only).
Found FindInstallation(const Setup& s, bool allUsers);
// The folder the installation proposes in the current scope: the found installation's, else the default.
std::wstring ProposedFolder(const Setup& s);
// For every user from a run that is not elevated: starts this installer again elevated (runas)
// with the choices made and `folder`, `hide` (may be null) hidden meanwhile, and waits for it.
// Returns the copy's exit code; kNotElevated when this run installs itself, kDeclined when the
// user did not consent.
constexpr int kNotElevated = -1, kDeclined = -2;
int RunElevated(const Setup& s, const std::wstring& folder, HWND hide);
// The configuration file of that name (a plain file name), or null when the archive has none.
const std::string* CfgFile(const Setup& s, const char* name);

// Checks the program archive's bytes, then installs everything, each file checked as it is written. Returns an ExitCode; on EXIT_DAMAGED,
// EXIT_WRITE or EXIT_CANCELLED (the sink's cancel) `why` says why, nothing is left installed and
// every file the installation replaced is back.
int RunInstall(Setup& s, const InstallSink& sink, std::wstring* why);

// Runs the wizard pages; returns the ExitCode.
int RunWizard(Setup& s);
