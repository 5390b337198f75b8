// What the installer and the uninstaller share beyond texts and files: the step log of /LOG=, and
// files that a running program holds open.
#pragma once
#include <windows.h>

#include <string>

// ---- The step log ------------------------------------------------------------------------------
// "/LOG=path" or "/LOG=\"path with blanks\"" at `p` (letters in any case): the path in `path` and
// the position after the argument; null when `p` holds no such argument.
const char* LogArgument(const char* p, std::string* path);
// Opens the step log at `path` (UTF-8), appending to a file that is there. False when it cannot.
bool StepLogOpen(const std::string& path);
// One line "YYYY-MM-DD hh:mm:ss.mmm <what> <a>[ <b>]" in UTF-8, when a log is open.
void LogStep(const char* what, const std::string& a, const std::string& b = "");
void LogStep(const char* what, const std::wstring& text);
// The step word of an uninstall log item: "file", "folder", "key"...; its removal: "remove-file"...
const char* StepWord(char tag, bool removal);

// ---- Files in use ------------------------------------------------------------------------------
// How long a silent run waits for a program to let go of a file.
constexpr DWORD kHeldWait = 5000;
// Whether a failed rename or delete of a file means that another program holds it. Windows refuses
// to delete a running program's file (access denied) but lets it be renamed.
bool HeldError(DWORD error, bool deleting);
// Asks the user about the file `path` that a program holds: Retry / Cancel with the file's name, or,
// where the system's restart manager names the program that holds it, whether to close it (yes:
// closed, then retried; no: retried). True: try again.
bool AskHeld(HWND owner, const std::wstring& caption, const std::string& path);
