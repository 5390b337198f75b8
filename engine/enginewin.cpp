// Shared Windows side of the installer and the uninstaller: texts, reports, files, registry roots.
#include "engine/enginewin.h"
#include "build/winfs.h"

#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "build/winhandles.h"
#include "engine/langdata.h"
#include "engine/peimage.h"

namespace {
std::vector<std::string>& Texts() {
  static std::vector<std::string> texts;
  return texts;
}
std::string& Set() {
  static std::string set;
  return set;
}
const std::string& Empty() {
  static const std::string empty;
  return empty;
}
}  // namespace

const char* SystemTextSet() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_ENGLISH ? "en" : "pl";
}

bool LoadTexts(const char* data, size_t len, const char* code) {
  if (!code) code = SystemTextSet();
  if (!LangLoad(data, len, code, L_COUNT, &Texts())) return false;
  std::vector<std::string> sets = LangSets(data, len);
  Set() = code;
  bool known = false;
  for (const std::string& s : sets) known = known || s == code;
  if (!known && !sets.empty()) Set() = sets[0];
  return true;
}

const std::string& TextSet() { return Set(); }

const std::string& Tx(LangId id) {
  const std::vector<std::string>& t = Texts();
  return size_t(id) < t.size() ? t[id] : Empty();
}

namespace {
// The texts are code page 1250 and shown through the ANSI functions, while names and paths are
// UTF-8: a UTF-8 argument goes into a text in the code page the windows show. Anything else (a
// text of the set itself) stays as it is.
std::string Shown(const std::string& arg) {
  bool ascii = true;
  for (char c : arg) ascii = ascii && (unsigned char)c < 0x80;
  std::wstring w;
  if (ascii || !Utf8ToWide(arg.c_str(), &w)) return arg;
  std::string out(w.size() * 2 + 1, '\0');
  int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), (int)w.size(), &out[0], (int)out.size(), nullptr, nullptr);
  out.resize(n > 0 ? n : 0);
  return out;
}
}  // namespace

std::string TxF(LangId id, const std::vector<std::string>& args) {
  std::vector<std::string> shown;
  for (const std::string& a : args) shown.push_back(Shown(a));
  return LangFormat(Tx(id), shown);
}

std::string TxF1(LangId id, const std::string& arg) { return TxF(id, {arg}); }

void ReportLine(const std::string& text) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (!err || err == INVALID_HANDLE_VALUE) return;
  std::string line = text + "\r\n";
  DWORD done;
  WriteFile(err, line.data(), (DWORD)line.size(), &done, nullptr);
}

int Box(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

std::string ModulePath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return n && n < MAX_PATH ? WideToUtf8(path, n) : std::string();
}

HANDLE OpenImageFile(const std::string& path) {
  UniqueHandle f(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return nullptr;
  // The same bytes prove nothing (every installer starts with the same engine): the system is asked
  // whether an image view of this handle's file and the running image come from one file.
  typedef LONG(NTAPI * SameFiles)(PVOID, PVOID);
  SameFiles same = reinterpret_cast<SameFiles>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtAreMappedFilesTheSame")));
  UniqueHandle map(CreateFileMappingA(f.get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
  void* view = same && map ? MapViewOfFile(map.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (!view) return nullptr;
  bool ours = same(GetModuleHandleA(nullptr), view) == 0;
  UnmapViewOfFile(view);
  return ours ? f.release() : nullptr;
}

HANDLE OpenOwnImage() { return OpenImageFile(ModulePath()); }

bool MakePrivateFolder(const wchar_t* prefix, std::string* out) {
  wchar_t base[MAX_PATH];
  UINT n;
  UniqueLocal sd;
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
  if (IsUserAnAdmin()) {
    // The user's own temporary folder would not do: its owner may rename what is in it.
    n = GetSystemWindowsDirectoryW(base, MAX_PATH - 8);
    if (!n || n >= MAX_PATH - 8) return false;
    lstrcatW(base, L"\\Temp\\");  // the system's folder is never a drive's root
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                              sd.put(), nullptr))
      return false;
    sa.lpSecurityDescriptor = sd.get();
  } else {
    n = GetTempPathW(MAX_PATH, base);
    if (!n || n >= MAX_PATH) return false;
  }
  for (unsigned i = 0; i < 1000; ++i) {
    wchar_t path[MAX_PATH + 32];
    wsprintfW(path, L"%s%s%lu_%u", base, prefix, GetCurrentProcessId(), i);
    // Made here and now, or not at all: an existing folder or link of that name is never used.
    if (CreateDirectoryW(path, &sa)) {
      *out = WideToUtf8(path, wcslen(path));
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadWhole(const std::string& path, std::string* out, size_t limit) {
  UniqueHandle f(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size;
  if (!f || !GetFileSizeEx(f.get(), &size) || (uint64_t)size.QuadPart > limit) return false;
  out->resize((size_t)size.QuadPart);
  DWORD got = 0;
  return out->empty() || (ReadFile(f.get(), &(*out)[0], (DWORD)out->size(), &got, nullptr) && got == out->size());
}

DWORD Attributes(const std::string& path) { return GetFileAttributesW(Utf8ToWide(path).c_str()); }

bool FileExists(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadAt(HANDLE file, uint64_t offset, void* buf, size_t n) {
  LARGE_INTEGER li;
  li.QuadPart = (LONGLONG)offset;
  DWORD got = 0;
  return SetFilePointerEx(file, li, nullptr, FILE_BEGIN) && ReadFile(file, buf, (DWORD)n, &got, nullptr) && got == n;
}

bool ReadOwnLangData(HANDLE file, uint64_t fileSize, const char* after, uint64_t* imageEnd, std::string* data,
                     uint64_t* dataEnd) {
  unsigned char head[PE_HEAD_MAX];
  size_t n = fileSize < sizeof head ? (size_t)fileSize : sizeof head;
  if (!ReadAt(file, 0, head, n)) return false;
  uint64_t end = PeImageEnd(head, n);
  if (end == 0 || end > fileSize) return false;
  *imageEnd = end;
  if (dataEnd && (*dataEnd = PeDataEnd(head, n, fileSize)) == 0) return false;
  size_t skip = strlen(after);
  // The header line of the language data is short; read enough for it, then the whole block.
  char start[64] = {0};
  uint64_t left = fileSize - end;
  if (left < skip) return false;
  size_t peek = left < sizeof start ? (size_t)left : sizeof start;
  if (!ReadAt(file, end, start, peek) || memcmp(start, after, skip) != 0) return false;
  const char* crlf = (const char*)memchr(start + skip, '\n', peek - skip);
  if (!crlf) return false;
  // Header parsed alone first: its stated length decides how much to read.
  const char* from = start + skip;
  std::string header(from, crlf + 1);
  size_t bodyLen = 0;
  for (size_t i = 7; i < header.size() && header[i] >= '0' && header[i] <= '9' && bodyLen < (1u << 24); ++i)
    bodyLen = bodyLen * 10 + (header[i] - '0');
  uint64_t total = header.size() + (uint64_t)bodyLen;
  if (total > left - skip) return false;
  data->resize((size_t)total);
  if (!ReadAt(file, end + skip, &(*data)[0], data->size())) return false;
  return LangDataLength(data->data(), data->size()) == data->size();
}

HKEY RootKey(RegRoot root) {
  switch (root) {
    case REG_ROOT_HKCU: return HKEY_CURRENT_USER;
    case REG_ROOT_HKLM: return HKEY_LOCAL_MACHINE;
    case REG_ROOT_HKCR: return HKEY_CLASSES_ROOT;
    case REG_ROOT_HKU: return HKEY_USERS;
    default: return nullptr;
  }
}

bool SplitKey(const std::string& full, HKEY* root, std::string* subkey) {
  RegRoot r;
  if (!RegSplitKey(full, &r, subkey)) return false;
  *root = RootKey(r);
  return *root != nullptr;
}

bool Launch(const std::string& file) {
  std::wstring path = Utf8ToWide(file), dir = Utf8ToWide(FolderOf(file));
  SHELLEXECUTEINFOW sei{};
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  sei.lpFile = path.c_str();
  sei.lpDirectory = dir.c_str();
  sei.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&sei)) return false;
  UniqueHandle process(sei.hProcess);
  if (process) WaitForSingleObject(process.get(), INFINITE);
  return true;
}

const char* ArgumentsOf(const char* p) {
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  return p;
}
