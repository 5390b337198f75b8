// The uninstall log (UnInst.log): what an installation created, one item a line.
#pragma once

#include <string>
#include <vector>

// Layout: the first line is "PRLOG 2"; every other line is a tag character, a tab and one or two
// fields separated by a tab, ending in CR LF. Text in UTF-8; a log headed "PRLOG 1" (installers
// before names travelled in UTF-8) is code page 1250 and read as such. Tags:
//   P  program name                      G  language set of the installer ("pl", "en")
//   F  file, relative to the log's folder D  folder created, relative to the log's folder
//   T  folder created on the way to the installation folder, absolute (outermost first)
//   S  shortcut file, absolute            M  start-menu folder created, absolute
//   K  registry key created: root name and subkey ("HKEY_CURRENT_USER\Software\x")
//   V  registry value written: key as for K, then the value name (may be empty)
//   X  file to run before removal, relative to the log's folder
//   U  the registration key: key as for K
// Items stand in the order they were made; removal goes backwards.
struct LogItem {
  char tag = 0;
  std::string a;
  std::string b;
};

// The program name made fit for a folder or file name ("" becomes "Program"): also the name of the
// program's start-menu folder, where the uninstaller checks the log's shortcuts.
std::string SafeName(const std::string& name);

// The registration key's value in which the installer keeps a copy of the log's lines that reach
// outside the installation folder (LogReachesOut): the header and those lines in their order. The
// registration lies where only the installer could write it, the log may not.
constexpr char kLogCopyValue[] = "PackriftLog";
// K, V, T and X: registry keys and values, folders on the way to the installation folder, files to
// run before removal. The uninstaller honours such a line only when the copy has it too.
bool LogReachesOut(char tag);

// The header line with its line end.
std::string LogHeader();
// One line with its line end. False (out unchanged) when a field holds a tab or a line end.
bool LogLine(char tag, const std::string& a, const std::string& b, std::string* out);
// Reads a whole log, its fields in UTF-8. False when the header is missing or a line is malformed
// (an unknown tag, a field missing); items is then empty.
bool LogParse(const std::string& text, std::vector<LogItem>* items);
