// Shared Windows side of the installer and the uninstaller: texts, reports, files, registry roots.
#include "engine/enginewin.h"
#include "win/winfs.h"

#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "win/winhandles.h"
#include "engine/langdata.h"
#include "core/peimage.h"

namespace {
std::vector<std::wstring>& Texts() {
  static std::vector<std::wstring> texts;
  return texts;
}
std::string& Set() {
  static std::string set;
  return set;
}
const std::wstring& Empty() {
  static const std::wstring empty;
  return empty;
}
}  // namespace

std::string ChooseTextSet(const char* data, size_t len, const std::string& asked) {
  std::vector<std::string> sets = LangSets(data, len);
  if (!asked.empty()) return LangFind(sets, asked);
  std::string set = LangFind(sets, LangForUi(GetUserDefaultUILanguage()));
  if (set.empty()) set = LangFind(sets, "en");
  return set.empty() && !sets.empty() ? sets[0] : set;
}

std::string TextSetList(const char* data, size_t len) {
  std::string list;
  for (const std::string& s : LangSets(data, len)) list += (list.empty() ? "" : "|") + s;
  return list;
}

bool LoadTexts(const char* data, size_t len, const std::string& code) {
  std::vector<std::string> texts;
  if (!LangLoad(data, len, code.c_str(), L_COUNT, &texts)) return false;
  Texts().clear();
  for (const std::string& t : texts) Texts().push_back(Wide(t, CP_UTF8));
  Set() = code;
  return true;
}

const std::string& TextSet() { return Set(); }

const std::wstring& Tx(LangId id) {
  const std::vector<std::wstring>& t = Texts();
  return size_t(id) < t.size() ? t[id] : Empty();
}

std::wstring TxF(LangId id, const std::vector<std::wstring>& args) { return LangFormat(Tx(id), args); }

std::wstring TxF1(LangId id, const std::wstring& arg) { return TxF(id, {arg}); }

wchar_t TextDecimalPoint() {
  const std::string& s = Set();
  return s == "en" || s == "ja" || s == "zh-CN" ? L'.' : L',';
}

std::wstring Wide(const std::string& text, UINT cp) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(cp, 0, text.data(), (int)text.size(), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(cp, 0, text.data(), (int)text.size(), &out[0], n);
  return out;
}

std::wstring TextFileWide(const std::string& bytes) {
  if (bytes.size() >= 2 && (unsigned char)bytes[0] == 0xff && (unsigned char)bytes[1] == 0xfe)
    return std::wstring((const wchar_t*)(bytes.data() + 2), (bytes.size() - 2) / 2);
  if (bytes.compare(0, 3, "\xef\xbb\xbf") == 0) return Wide(bytes.substr(3), CP_UTF8);
  bool utf8 = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), (int)bytes.size(), nullptr, 0) > 0;
  return Wide(bytes, utf8 ? CP_UTF8 : kListCodePage);
}

void ReportLine(const std::wstring& text) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (!err || err == INVALID_HANDLE_VALUE) return;
  std::wstring line = text + L"\r\n";
  DWORD done, mode;
  if (GetConsoleMode(err, &mode)) {
    WriteConsoleW(err, line.data(), (DWORD)line.size(), &done, nullptr);
    return;
  }
  std::string bytes = WideToUtf8(line);
  WriteFile(err, bytes.data(), (DWORD)bytes.size(), &done, nullptr);
}

int Box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
  return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

void SetText(HWND dlg, int id, const std::wstring& text) { SetDlgItemTextW(dlg, id, text.c_str()); }

std::wstring GetText(HWND dlg, int id) {
  wchar_t buf[MAX_PATH + 1] = {0};
  GetDlgItemTextW(dlg, id, buf, MAX_PATH + 1);
  return buf;
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

bool ReadOwnLangData(HANDLE file, uint64_t fileSize, const char* after, const char* magic, uint64_t* imageEnd, std::string* data,
                     uint64_t* dataEnd, size_t extraLen, unsigned char* extra) {
  unsigned char head[PE_HEAD_MAX];
  size_t n = fileSize < sizeof head ? (size_t)fileSize : sizeof head;
  if (!ReadAt(file, 0, head, n)) return false;
  uint64_t end = PeImageEnd(head, n);
  if (end == 0 || end > fileSize) return false;
  *imageEnd = end;
  if (dataEnd && (*dataEnd = PeDataEnd(head, n, fileSize)) == 0) return false;
  size_t match = strlen(after), skip = match + extraLen;
  // The header line of the language data is short; read enough for it, then the whole block.
  char start[64] = {0};
  uint64_t left = fileSize - end;
  if (left < skip) return false;
  size_t peek = left < sizeof start ? (size_t)left : sizeof start;
  if (!ReadAt(file, end, start, peek) || memcmp(start, after, match) != 0) return false;
  if (extraLen) memcpy(extra, start + match, extraLen);
  const char* crlf = (const char*)memchr(start + skip, '\n', peek - skip);
  if (!crlf || memcmp(start + skip, magic, 7) != 0) return false;
  // Header parsed alone first: its stated length decides how much to read.
  const char* from = start + skip;
  std::string header(from, crlf + 1);
  size_t bodyLen = 0;
  for (size_t i = 7; i < header.size() && header[i] >= '0' && header[i] <= '9' && bodyLen < (1u << 24); ++i)
    bodyLen = bodyLen * 10 + (header[i] - '0');
  uint64_t total = header.size() + (uint64_t)bodyLen;
  if (total > left - skip) return false;
  data->resize((size_t)total);
  return ReadAt(file, end + skip, &(*data)[0], data->size());
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
