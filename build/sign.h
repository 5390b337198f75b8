// The build's signing step: a command the author chooses, run on each file the build signs.
#pragma once
#include <string>

const int kSignMax = 1024;  // bytes of a signing command template, terminator included

// The template of the signing command, "%1" standing for the file's path: taken for one run from
// the command line (`--sign "COMMAND %1"`, kept here), otherwise the stored one (the hooks'
// signTemplate: the machine-wide value VAL_SIGN); none when neither is set. The returned string is
// the process's own and lives for the whole run.
std::string* SignOverride();

// Removes a `--sign "TEMPLATE"` argument from a command line and keeps its template as the run's
// override. The argument is quoted as a program's arguments are (\" for a quote inside it). Returns
// false when `--sign` stands without a quoted template: the option is removed all the same, and
// every signing of this run then fails.
bool TakeSignOption(std::string* line);

// The command line for one file: every "%1" of the template becomes the path, in double quotes
// where the template has none around it, and as it is inside a quoted argument, so that `%1` and
// `"%1"` both give one argument (a Windows path holds no quote).
std::string SignCommandLine(const std::string& tmpl, const std::string& path);

// Signs `path` in place: runs the template with every "%1" replaced by the quoted path and waits for
// it, keeping the main window alive meanwhile. True when no template is set or the command exited
// with 0; false also when the stored template is longer than kSignMax - 1 bytes. When the program has a standard error (an unattended build), the command's output goes
// there.
bool PodpiszPlik(const char* path);
