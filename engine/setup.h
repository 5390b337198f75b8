// The installer's shared record and its steps: locating and checking the data, installing, the wizard.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "build/gzcformat.h"
#include "engine/unlog.h"

struct Setup {
  // Command line.
  bool silent = false;
  std::string folderArg;  // /D=
  std::string langArg;    // /L=
  // The installer file and where its parts lie.
  HANDLE file = INVALID_HANDLE_VALUE;
  uint64_t size = 0;
  uint64_t cfgOffset = 0;
  uint32_t cfgLength = 0;
  uint64_t binOffset = 0;
  uint32_t binLength = 0;
  std::string langData;  // the whole language data block
  // Scratch folder (removed at the end) and the member scratch file in it.
  std::string temp, gzTmp;
  // The configuration archive's files, read into memory from the verified archive: nothing of
  // the configuration is read again from a folder that other programs can write.
  std::vector<GzcMemFile> cfg;
  // Configuration ("init.cfg" section "cfg").
  std::string name;         // key "1"
  std::string licenceText;  // the file named by key "2", empty when none
  bool hasLicence = false;
  std::string infoRel;      // key "3", relative to the installation folder; empty when none
  // The installation folder (no trailing separator).
  std::string folder;
  // Set by the installation.
  std::string infoPath;                // closing information, absolute, when there is one
  std::vector<std::string> problems;   // entries that could not be carried out
};

// What the installation tells its caller and asks it. Called on the installing thread.
struct InstallSink {
  void (*progress)(void* ctx, int percent);
  void (*status)(void* ctx, const std::string& text);
  // A yes/no question; null in silent runs, where entries that would ask are skipped.
  bool (*ask)(void* ctx, const std::string& question);
  void* ctx;
};

// The reason text for a refused archive.
std::string DamagedReason(GzcStatus status);
// The folder a user or /D= gave, checked and tidied (no trailing separator). False if unusable.
bool TidyFolder(const std::string& in, std::string* out);
// The default installation folder: program files + the program's name.
std::string DefaultFolder(const Setup& s);
// The configuration file of that name (a plain file name), or null when the archive has none.
const std::string* CfgFile(const Setup& s, const char* name);

// Checks the program archive, then installs everything. Returns an ExitCode; on EXIT_DAMAGED or
// EXIT_WRITE `why` says why and nothing is left installed.
int RunInstall(Setup& s, const InstallSink& sink, std::string* why);

// Runs the wizard pages; returns the ExitCode.
int RunWizard(Setup& s);
