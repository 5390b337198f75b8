// What the installer and the uninstaller share on Windows: texts, reports, files, registry roots.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "engine/langids.h"
#include "core/regvalue.h"

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
// The set to show: `asked` (a code of the data, letters in any case) when given, otherwise the
// user's interface language's set, English when the data has none for it. "" when `asked` names
// no set of the data.
std::string ChooseTextSet(const char* data, size_t len, const std::string& asked);
// The data's set codes for a message: "pl|en|de...".
std::string TextSetList(const char* data, size_t len);
// Loads the texts of set `code` (from ChooseTextSet) from language data; false when it is damaged.
bool LoadTexts(const char* data, size_t len, const std::string& code);
// The chosen set's code ("pl", "en", "pt-BR"...).
const std::string& TextSet();
// Text `id`; "" before LoadTexts succeeded. Lives as long as the process.
const std::wstring& Tx(LangId id);
// Text `id` with its %s replaced by the arguments.
std::wstring TxF(LangId id, const std::vector<std::wstring>& args);
// The same with one argument.
std::wstring TxF1(LangId id, const std::wstring& arg);
// The decimal separator of the chosen set's language.
wchar_t TextDecimalPoint();

// ---- Text conversions --------------------------------------------------------------------------
// 8-bit text of code page `cp` (names and paths: UTF-8) as UTF-16, for showing: bytes that are no
// text of that code page show as replacement characters.
std::wstring Wide(const std::string& text, UINT cp = CP_UTF8);
// The texts of the entry lists and the configuration (the program name): code page 1250.
constexpr UINT kListCodePage = 1250;
// A text file shown as it is (licence, closing information): UTF-16 or UTF-8 when it starts with
// its byte order mark, UTF-8 when it is valid UTF-8, code page 1250 otherwise.
std::wstring TextFileWide(const std::string& bytes);

// ---- Reports -----------------------------------------------------------------------------------
// Writes a line to the standard error handle, if the process has one (silent runs report there):
// to a console as it is, to a file or pipe in UTF-8.
void ReportLine(const std::wstring& text);
// A message box with `caption`, owned by `owner`; returns the button pressed.
int Box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);
// Dialog and control texts.
void SetText(HWND dlg, int id, const std::wstring& text);
std::wstring GetText(HWND dlg, int id);

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
// The language data block that follows this program's own image (the headers say where it ends),
// read as its header line's length says; the caller checks what it holds. `magic`: the header's
// first seven bytes, "PRLANG " (raw) or kLangPackedMagic (packed).
// `after`: bytes between the image and the language data that must match ("" for none), followed
// by `extraLen` bytes of any value that are copied to `extra`.
// `dataEnd` (may be null) gets the end of the data behind the image: the start of a signature's
// certificate table, or the file's size; false when that table lies outside the file.
bool ReadOwnLangData(HANDLE file, uint64_t fileSize, const char* after, const char* magic, uint64_t* imageEnd, std::string* data,
                     uint64_t* dataEnd = nullptr, size_t extraLen = 0, unsigned char* extra = nullptr);

// ---- Registry ----------------------------------------------------------------------------------
HKEY RootKey(RegRoot root);
// Splits "HKEY_...\sub" into an open-able root and subkey.
bool SplitKey(const std::string& full, HKEY* root, std::string* subkey);
