// Registry settings, the working folder in the temporary folder, the folder walker, string lookup.
#include "app/func1.h"
#include "win/winfs.h"
#include "win/winhandles.h"
#include <stdio.h>
#include <string.h>
#include <atomic>
#include <string>

namespace {
// The compression mode: written by the settings dialog's thread, copied by a build on the main
// thread; one atomic word, so a copy is always a whole mode.
struct Mode {
  char text[4];
};
std::atomic<Mode> compressMode{Mode{"wb6"}};
bool toConsole = false;

// Writes a UTF-8 text to standard error, with a line end: to a console as characters, to a file
// or pipe as UTF-8.
bool PrintErrorUtf8(std::string text) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (!err || err == INVALID_HANDLE_VALUE) return false;
  DWORD mode, done = 0;
  text += '\n';
  if (GetConsoleMode(err, &mode)) {
    std::wstring wide = Utf8ToWide(text);
    return WriteConsoleW(err, wide.data(), (DWORD)wide.size(), &done, nullptr) != 0;
  }
  return WriteFile(err, text.data(), (DWORD)text.size(), &done, nullptr) != 0;
}

// Copies at most cap - 1 characters and terminates.
void CopyCut(char* dst, const char* src, size_t cap) { snprintf(dst, cap, "%s", src); }

// Replaces what follows the last backslash of `path` (capacity kPathMax) by `tail`.
bool ReplaceLast(char* path, const char* tail) {
  char* slash = strrchr(path, '\\');
  size_t keep = slash ? (size_t)(slash - path) + 1 : 0;
  int n = snprintf(path + keep, kPathMax - keep, "%s", tail);
  return n >= 0 && keep + n < (size_t)kPathMax;
}

// The table of the per-user working paths: suffix after "<temp>Packrift", value "4" + row.
const char kRows[4][14] = {"\\cfg\\init.cfg", "\\bin", "\\cfg\\lnk.cfg", "\\cfg\\reg.cfg"};
}  // namespace

const char* RegRegister() { return "Software\\Orvane\\Packrift"; }
const char* Packrift() { return "Packrift"; }
const char* Polski() { return "Polski"; }

LONG addregister(const char* key, const char* name, void* data, WORD op, WORD root, DWORD size, DWORD type) {
  HKEY rootKey = root == ROOT_MACHINE ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  UniqueKey opened;
  // Only the access the operation needs: a standard user may read the per-machine key but not
  // write it, and a 64-bit program gets no virtualized copy to write instead. A read or a removal
  // makes no key; a missing one answers ERROR_FILE_NOT_FOUND.
  LONG st;
  if (op == REG_WRITE)
    st = RegCreateKeyExA(rootKey, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, opened.put(),
                         nullptr);
  else
    st = RegOpenKeyExA(rootKey, key, 0, op == REG_READ ? KEY_QUERY_VALUE : KEY_SET_VALUE, opened.put());
  if (st != ERROR_SUCCESS) return st;
  HKEY h = opened.get();
  switch (op) {
    case REG_READ: {
      DWORD cap = size;
      st = RegQueryValueExA(h, name, nullptr, nullptr, (BYTE*)data, &cap);
      break;
    }
    case REG_WRITE: st = RegSetValueExA(h, name, 0, type, (const BYTE*)data, size); break;
    case REG_DELETE: st = RegDeleteValueA(h, name); break;
    default: st = ERROR_INVALID_PARAMETER;
  }
  return st;
}

bool ReadValue(WORD root, const char* name, char* buf, DWORD cap) {
  // One spare byte: a value stored without terminator still comes back terminated.
  char tmp[kPathMax + 1] = {0};
  if (cap > (DWORD)kPathMax) cap = kPathMax;
  if (addregister(RegRegister(), name, tmp, REG_READ, root, cap, REG_SZ) != ERROR_SUCCESS) return false;
  tmp[cap - 1] = 0;
  memcpy(buf, tmp, cap);
  return true;
}

LONG WriteValue(WORD root, const char* name, const char* text) {
  return addregister(RegRegister(), name, (void*)text, REG_WRITE, root, (DWORD)strlen(text) + 1, REG_SZ);
}

bool WorkPath(const char* value, char* out) {
  char buf[kPathMax] = {0};
  if (!ReadValue(ROOT_USER, value, buf, kPathMax) || !buf[0]) return false;
  memcpy(out, buf, kPathMax);
  return true;
}

bool WorkFolder(char* out) {
  if (!WorkPath(VAL_BINDIR, out)) return false;
  char* slash = strrchr(out, '\\');
  if (!slash) return false;
  *slash = 0;
  return true;
}

bool ToolFolder(char* out) {
  char buf[kPathMax] = {0};
  if (!ReadValue(ROOT_MACHINE, VAL_HELPFILE, buf, kPathMax)) return false;
  char* slash = strrchr(buf, '\\');
  if (!slash) return false;
  slash[1] = 0;
  memcpy(out, buf, kPathMax);
  return true;
}

void ZapiszJezyk(const char* name) {
  char path[kPathMax] = {0};
  ReadValue(ROOT_MACHINE, VAL_HELPFILE, path, kPathMax);
  char tail[kPathMax];
  snprintf(tail, sizeof tail, "Lang\\%s.lng", name);
  ReplaceLast(path, tail);  // a path past the limit is stored cut, never overrun
  WriteValue(ROOT_MACHINE, VAL_LANGFILE, path);
  char lang[kLangNameMax];
  CopyCut(lang, name, sizeof lang);
  addregister(RegRegister(), VAL_LANGNAME, lang, REG_WRITE, ROOT_MACHINE, (DWORD)strlen(lang), REG_SZ);
}

void GetCfg() {
  char path[kPathMax] = {0};
  DWORD n = GetModuleFileNameA(nullptr, path, kPathMax);
  if (n >= (DWORD)kPathMax) path[kPathMax - 1] = 0;
  ReplaceLast(path, "Packrift.chm");
  WriteValue(ROOT_MACHINE, VAL_HELPFILE, path);

  // A name that does not fit the 32-byte buffer cannot be read: the built-in language is taken.
  char lang[kLangNameMax] = {0};
  if (addregister(RegRegister(), VAL_LANGNAME, lang, REG_READ, ROOT_MACHINE, sizeof lang, REG_SZ) == ERROR_SUCCESS) {
    lang[kLangNameMax - 1] = 0;
    ZapiszJezyk(lang);
  } else {
    ZapiszJezyk(Polski());
  }

  char temp[kPathMax] = {0};
  GetTempPathA(kPathMax, temp);
  for (int row = 0; row < 4; ++row) {
    char work[kPathMax];
    snprintf(work, sizeof work, "%s%s", temp, Packrift());
    if (row == 0) CreateDirectoryA(work, nullptr);
    char full[kPathMax + 16];
    snprintf(full, sizeof full, "%s%s", work, kRows[row]);
    full[kPathMax - 1] = 0;
    char name[2] = {(char)('4' + row), 0};
    WriteValue(ROOT_USER, name, full);
    if (row == 0) {
      *strrchr(full, '\\') = 0;
      CreateDirectoryA(full, nullptr);
    } else if (row == 1) {
      CreateDirectoryA(full, nullptr);
    }
  }
}

int katalog(const char* name) {
  size_t n = strlen(name);
  if ((n == 1 && name[0] == '.') || (n == 2 && strstr(name, ".."))) return 1;
  return 2;
}

int wyliczpliki(const char* folder, bool del, WalkSink sink, void* ctx) {
  return ForEachEntry(folder, [=](const char* name, GzcKind kind) {
    char path[kPathMax];
    int n = snprintf(path, sizeof path, "%s\\%s", folder, name);
    if (n < 0 || n >= kPathMax) return;  // too long for any path buffer: skipped, never cut
    // A link is handled as a file: nothing behind it is walked or deleted.
    if (kind == GZC_KIND_DIR) wyliczpliki(path, del, sink, ctx);
    else if (del) DeleteFileA(path);
    else if (sink) sink(path, ctx);
  }) ? 1 : 0;
}

void WyczyscCfgReg(HWND) {
  char work[kPathMax];
  if (WorkFolder(work)) wyliczpliki(work, true);
}

char* GetOwnLang(unsigned index, const char* def) {
  thread_local char result[kLookupMax];
  char file[kPathMax] = {0};
  char key[16];
  snprintf(key, sizeof key, "%u", index);
  if (ReadValue(ROOT_MACHINE, VAL_LANGFILE, file, kPathMax) && file[0])
    GetPrivateProfileStringA("lng", key, def, result, kLookupMax, file);
  else
    CopyCut(result, def, kLookupMax);
  return result;
}

HWND PrintTxt(HWND* cursor, const char* def, unsigned index) {
  SetWindowTextA(*cursor, GetOwnLang(index, def));
  *cursor = GetWindow(*cursor, GW_HWNDNEXT);
  return *cursor;
}

void InitCompressLevel() {
  char buf[kPathMax] = {0};
  // A value of more than three characters does not fit the four-byte buffer and is replaced.
  if (addregister(RegRegister(), VAL_COMPRESS, buf, REG_READ, ROOT_MACHINE, 4, REG_SZ) == ERROR_SUCCESS) {
    buf[3] = 0;
    // Only "wb" and at most one level digit is a mode zlib reads as meant.
    bool digitOk = !buf[2] || (buf[2] >= '0' && buf[2] <= '9');
    if (buf[0] == 'w' && buf[1] == 'b' && digitOk) {
      Mode m;
      memcpy(m.text, buf, 4);
      compressMode.store(m);
      return;
    }
  }
  compressMode.store(Mode{"wb6"});
  addregister(RegRegister(), VAL_COMPRESS, (void*)"wb6", REG_WRITE, ROOT_MACHINE, 3, REG_SZ);
}

std::string CompLevel() { return compressMode.load().text; }

void SetCompLevel(char digit) {
  Mode m{"wb"};
  m.text[2] = digit;
  compressMode.store(m);
  addregister(RegRegister(), VAL_COMPRESS, m.text, REG_WRITE, ROOT_MACHINE, (DWORD)strlen(m.text), REG_SZ);
}

bool LzmaSetting() {
  char buf[2] = {0};
  return ReadValue(ROOT_MACHINE, VAL_LZMA, buf, sizeof buf) && buf[0] == '1';
}

void SetLzmaSetting(bool on) { WriteValue(ROOT_MACHINE, VAL_LZMA, on ? "1" : "0"); }

int ShowMessage(const StrDef& s, UINT icon) { return ShowMessageAbout(s, nullptr, icon); }

int ShowMessageAbout(const StrDef& s, const char* name, UINT icon) {
  char text[kLookupMax];
  CopyCut(text, GetOwnLang(s), sizeof text);
  std::string line = AnsiToUtf8(text);
  if (name) line += " " + GzcShownName(name);
  if (!toConsole)
    return MessageBoxW(nullptr, Utf8ToWide(line).c_str(), Utf8ToWide(AnsiToUtf8(Packrift())).c_str(), icon);
  PrintErrorUtf8(line);  // with nowhere to write, the text is lost rather than waiting on a person
  return (icon & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

void MessagesToConsole(bool on) {
  toConsole = on;
  // Started from a console window without redirection, the program has no standard error of its
  // own: it writes to that console.
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (!on || (err && err != INVALID_HANDLE_VALUE) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  HANDLE con = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (con != INVALID_HANDLE_VALUE) SetStdHandle(STD_ERROR_HANDLE, con);
}
