// What the installer and the uninstaller share on Windows: texts, reports, files, registry roots.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "engine/langids.h"
#include "engine/regvalue.h"

// Exit codes of both programs (engine/README.md).
enum ExitCode {
  EXIT_DONE = 0,       // everything done
  EXIT_CANCELLED = 1,  // the user cancelled or declined; nothing changed
  EXIT_ARGS = 2,       // bad command line
  EXIT_DAMAGED = 3,    // installer data damaged, or uninstall log missing; nothing changed
  EXIT_WRITE = 4,      // files could not be written; nothing left behind
  EXIT_PARTLY = 5,     // done, but some entries failed (each reported)
};

// ---- Texts -------------------------------------------------------------------------------------
// Loads the texts of set `code` (or the system's choice when null) from language data.
bool LoadTexts(const char* data, size_t len, const char* code);
// The chosen set's code ("pl", "en").
const std::string& TextSet();
// Text `id`; "" before LoadTexts succeeded. Lives as long as the process.
const std::string& Tx(LangId id);
// Text `id` with its %s replaced by the arguments.
std::string TxF(LangId id, const std::vector<std::string>& args);
// The same with one argument.
std::string TxF1(LangId id, const std::string& arg);
// "en" when the user's interface language is English, otherwise "pl".
const char* SystemTextSet();

// ---- Reports -----------------------------------------------------------------------------------
// Writes a line to the standard error handle, if the process has one (silent runs report there).
void ReportLine(const std::string& text);
// A message box with `caption`, owned by `owner`; returns the button pressed.
int Box(HWND owner, const std::string& text, const std::string& caption, UINT flags);

// ---- Files -------------------------------------------------------------------------------------
// Paths are UTF-8 (build/winfs.h converts), and reach Windows through the wide functions.
std::string ModulePath();
// The file at `path` opened for reading, without write or delete sharing, when it is the very file
// this process's image was mapped from (not merely one with the same bytes): a file put at the
// program's path after it started, the original renamed away, is refused. Null otherwise; the
// caller closes the handle.
HANDLE OpenImageFile(const std::string& path);
// This program's own file, so checked: nothing is ever read again from its path by name alone.
HANDLE OpenOwnImage();
// Makes a new folder, named `prefix` followed by numbers, for this process's scratch files. An
// elevated process makes it where other programs of the user can neither write into it nor swap
// it for a link: in the system's temporary folder, open to the system and administrators alone.
// Otherwise in the user's temporary folder. `out` gets its UTF-8 path; false when none could be made.
bool MakePrivateFolder(const wchar_t* prefix, std::string* out);
std::string FolderOf(const std::string& path);  // text before the last '\'
std::string NameOf(const std::string& path);    // text after the last '\'
bool ReadWhole(const std::string& path, std::string* out, size_t limit);
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
DWORD Attributes(const std::string& path);  // GetFileAttributes' answer
// The arguments of a command line: what follows the program path (quoted, or up to the first blank).
const char* ArgumentsOf(const char* commandLine);
// Runs a file through the shell in its own folder and waits for the program it starts to end.
bool Launch(const std::string& file);
// Reads `n` bytes at `offset` of an open file.
bool ReadAt(HANDLE file, uint64_t offset, void* buf, size_t n);
// The language data that follows this program's own image (the headers say where it ends).
// `after`: bytes between the image and the language data that must match ("" for none).
// `dataEnd` (may be null) gets the end of the data behind the image: the start of a signature's
// certificate table, or the file's size; false when that table lies outside the file.
bool ReadOwnLangData(HANDLE file, uint64_t fileSize, const char* after, uint64_t* imageEnd, std::string* data,
                     uint64_t* dataEnd = nullptr);

// ---- Registry ----------------------------------------------------------------------------------
HKEY RootKey(RegRoot root);
// Splits "HKEY_...\sub" into an open-able root and subkey.
bool SplitKey(const std::string& full, HKEY* root, std::string* subkey);
