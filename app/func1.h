// Settings in the registry, the working folder, the folder walker, string lookup and compression mode.
#pragma once
#include <windows.h>
#include <string>
#include "lang/strings.h"

const int kPathMax = 260;      // bytes of a path, terminator included
const int kLookupMax = 64;     // bytes of a looked-up text, terminator included
const int kLangNameMax = 32;   // bytes of a language name, terminator included

enum RegOp : WORD { REG_READ = 0, REG_WRITE = 1, REG_DELETE = 2 };
enum SettingsRoot : WORD { ROOT_USER = 0, ROOT_MACHINE = 1 };

// Value names under the key: per machine "1" language file, "2" help file, "3" language name,
// "4" compression mode, "8" signing command, "9" the program archive's kind; per user "4".."7" the
// working paths.
#define VAL_LANGFILE "1"
#define VAL_HELPFILE "2"
#define VAL_LANGNAME "3"
#define VAL_COMPRESS "4"
#define VAL_INITCFG "4"
#define VAL_BINDIR "5"
#define VAL_LNKCFG "6"
#define VAL_REGCFG "7"
#define VAL_SIGN "8"        // per machine: the build's signing command template (kSignMax bytes, build/sign.h)
#define VAL_LZMA "9"        // per machine: "1" the program archive is solid LZMA; otherwise gzip

const char* RegRegister();  // "Software\Orvane\Packrift"
const char* Packrift();     // "Packrift"
const char* Polski();       // "Polski"

// One registry operation on `key` under `root`: read into `data` (capacity `size`), write `size`
// bytes of `data` with `type`, or delete. Returns the system status (0 = success).
LONG addregister(const char* key, const char* name, void* data, WORD op, WORD root, DWORD size, DWORD type);
// Reads a per-user or per-machine value of our key as a terminated text of at most `cap` - 1
// characters; false (and `buf` untouched) when the read fails.
bool ReadValue(WORD root, const char* name, char* buf, DWORD cap);
// Stores a text value (with its terminator) under our key.
LONG WriteValue(WORD root, const char* name, const char* text);

void GetCfg();                    // start-up: help path, language, working folder and its values
void WyczyscCfgReg(HWND main);    // deletes every file below the working folder; folders stay
int katalog(const char* name);    // 1 for "." and "..", 2 otherwise
// Walks `folder` depth first: deletes every file (del) or hands each file's path to `sink`.
// Returns 1 when the folder could be searched, 0 when it is taken for a file.
typedef void (*WalkSink)(const char* path, void* ctx);
int wyliczpliki(const char* folder, bool del, WalkSink sink = nullptr, void* ctx = nullptr);

// The text of string `index` in the selected language file, or `def`; cut to 63 bytes. The
// result lives in a per-thread buffer that the thread's next lookup overwrites.
char* GetOwnLang(unsigned index, const char* def);
inline char* GetOwnLang(const StrDef& s) { return GetOwnLang(s.id, s.text); }
// Sets *cursor's text to the looked-up text, moves the cursor to the next sibling and returns it.
HWND PrintTxt(HWND* cursor, const char* def, unsigned index);
void ZapiszJezyk(const char* name);  // selects a language: values "1" and "3"
void InitCompressLevel();            // compression mode from value "4" ("wb6" when unusable)
std::string CompLevel();             // a copy of the compression mode, "wb" + level digit
// Stores "wb" and `digit` ('0'..'9'; 0: "wb", zlib's default) as the mode and in value "4".
void SetCompLevel(char digit);
bool LzmaSetting();                  // value "9" is "1"
void SetLzmaSetting(bool on);        // stores "1" or "0" in value "9"

// Paths of the working folder and the tool folder as the registry holds them; false when unknown.
bool WorkPath(const char* value, char* out);   // a per-user value "4".."7"
bool WorkFolder(char* out);                    // the working folder itself (value "5" cut)
bool ToolFolder(char* out);                    // with a trailing backslash (value "2" cut)

// The one message box of the program: caption "Packrift", no owner, text by string index. With
// messages sent to the console (unattended builds) the text goes to standard error instead, and
// the answer is the box's default button.
int ShowMessage(const StrDef& s, UINT icon);
// The same with `name` (a path in UTF-8, of any language; null: none) after the looked-up text.
int ShowMessageAbout(const StrDef& s, const char* name, UINT icon);
void MessagesToConsole(bool on);
