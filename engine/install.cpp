// The installation: program files, shortcuts, registry values, uninstaller and log, registration, runs.
#include "engine/setup.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "core/installerlayout.h"
#include "win/winhandles.h"
#include "engine/enginewin.h"
#include "engine/steps.h"
#include "core/peimage.h"
#include "core/regvalue.h"
#include "engine/unlog.h"
#include "engine/winfiles.h"
#include "core/profile.h"

namespace {
// Entry numbers fit in 16 bits; a counter beyond that is read as this.
constexpr int kMaxEntries = 65536;
// Largest uninstall log read back, and its copy in the registration.
constexpr size_t kLogMax = 16u << 20;

// Progress ranges of the steps, in percent of the bar: the check only reads, the unpacking inflates.
constexpr int kVerifyEnd = 10, kUnpackEnd = 90;

// An entry list file read once, looked up with the platform's rules.
struct Ini {
  std::string text;
  bool Get(const char* section, const char* key, std::string* out) const {
    std::string raw;
    if (!ProfileTextFind(text, section, key, &raw)) return false;
    *out = ProfileStripQuotes(raw);
    return true;
  }
  std::string Str(const char* section, const char* key) const {
    std::string v;
    Get(section, key, &v);
    return v;
  }
  // A family's counter: the next number to be given; 1 when missing.
  int Counter(const char* section, const char* key) const {
    std::string v;
    if (!Get(section, key, &v) || v.empty()) return 1;
    int n = ProfileParseInt(v.substr(0, 5).c_str());
    return n < 1 ? 1 : n > kMaxEntries ? kMaxEntries : n;
  }
};

// The entry lists are code page 1250 files, converted here by the table, never through the code
// page of the machine that installs.
Ini LoadIni(const Setup& s, const char* name) {
  Ini ini;
  if (const std::string* text = CfgFile(s, name)) ini.text = GzcCp1250ToUtf8(text->data(), text->size());
  return ini;
}

std::wstring W(const std::string& utf8) { return Utf8ToWide(utf8); }

std::string Num(int n) {
  char buf[16];
  wsprintfA(buf, "%d", n);
  return buf;
}

struct Job;
// The archive module's file operations as the installation hands them on: each read, write and
// file creation first asks the sink whether to stop, a file created in the installation folder is
// reported, and a file that was already there is set aside, so that a cancelled or failed
// installation can put it back. (The unpacking writes through folders held open, so createAt is
// the only way in.)
struct Guard {
  GzcFileOps ops;
  const GzcFileOps* inner;
  Job* job;
  bool folderExisted = false;
  volatile bool stopped = false;
  DWORD reported = 0;  // when a file was last reported (GetTickCount)
  std::vector<std::string> setAside;  // originals; each backup is named by kSetAside
  std::string held;  // a file another program would not let go of, when that ended the unpacking
};
// A set-aside original: its path with this ending.
const char kSetAside[] = ".prsave";

struct Job {
  Setup& s;
  const InstallSink& sink;
  const std::string folder;  // the installation folder in UTF-8, as the paths of the archive
  EngineFiles files;
  std::string log;           // the uninstall log being built
  std::string copy;          // its lines that reach outside the folder, for the registration
  std::vector<std::string> topDirs;  // folders made on the way to the installation folder
  uint64_t installedBytes = 0;
  int lastPercent = -1;
  int rangeLo = 0, rangeHi = kVerifyEnd;
  Guard guard;

  Job(Setup& setup, const InstallSink& k) : s(setup), sink(k), folder(WideToUtf8(setup.folder)) {}

  void Progress(int percent) {
    if (percent == lastPercent || !sink.progress) return;
    lastPercent = percent;
    sink.progress(sink.ctx, percent);
  }
  void Status(const std::wstring& text) {
    if (sink.status) sink.status(sink.ctx, text);
  }
  void Log(char tag, const std::string& a, const std::string& b = "");
  void Problem(const std::wstring& text) {
    LogStep("error", text);
    s.problems.push_back(text);
  }
  // The path of a relative entry path inside the installation folder, or false if unsafe.
  bool Inside(const std::string& rel, std::string* full) const {
    return dircat(full, folder.c_str(), rel.data(), rel.size(), true);
  }
  std::string Relative(const std::string& full) const { return full.substr(folder.size() + 1); }
};

void Job::Log(char tag, const std::string& a, const std::string& b) {
  LogLine(tag, a, b, &log);
  LogStep(StepWord(tag, false), a, b);
  if (LogReachesOut(tag)) LogLine(tag, a, b, &copy);
}

void OnRead(void* ctx, uint64_t total) {
  Job* job = static_cast<Job*>(ctx);
  uint64_t len = job->s.binLength ? job->s.binLength : 1;
  if (total > len) total = len;
  job->Progress(job->rangeLo + (int)((job->rangeHi - job->rangeLo) * total / len));
}

// Makes the installation folder and every missing folder on the way, outermost first.
bool MakeFolder(Job& job) {
  const std::string& f = job.folder;
  for (size_t i = 3; i <= f.size(); ++i) {
    if (i < f.size() && f[i] != '\\') continue;
    std::string part = f.substr(0, i);
    if (DirExists(part)) continue;
    if (!CreateDirectoryW(W(part).c_str(), nullptr)) return false;
    job.topDirs.push_back(part);
  }
  return DirExists(f);
}

void RemoveTopDirs(Job& job) {
  for (size_t i = job.topDirs.size(); i-- > 0;) RemoveDirectoryW(W(job.topDirs[i]).c_str());
}

// ---- Cancel, the file being written, what was there before ---------------------------------------
// The guard of the running installation (one a process); its operations keep the engine's own
// context and find the guard here.
Guard*& Active() {
  static Guard* active;
  return active;
}

bool Stop(Guard& g) {
  const InstallSink& k = g.job->sink;
  if (!g.stopped && k.cancelled && k.cancelled(k.ctx)) g.stopped = true;
  return g.stopped;
}

// Sets aside a file that was there. One that another program holds open is tried again while the
// user says so (the wizard), or for kHeldWait (a silent run). False: it stays where it is.
bool SetAside(Guard& g, const char* path) {
  std::wstring from = W(path), to = W(path + std::string(kSetAside));
  const InstallSink& k = g.job->sink;
  DWORD start = GetTickCount();
  while (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    if (!HeldError(GetLastError(), false)) return false;
    g.held = path;
    if (k.held && !k.held(k.ctx, path)) {
      g.stopped = true;  // the user cancelled: everything goes back
      return false;
    }
    if (!k.held && GetTickCount() - start >= kHeldWait) return false;
    if (!k.held) Sleep(100);
  }
  g.held.clear();
  return true;
}

// Before a file that is there is replaced: it is set aside to be put back. Only a folder that was
// there before can hold files of its own. False: do not write.
bool BeforeReplace(void* ctx, const char* path) {
  Guard& g = *static_cast<Guard*>(ctx);
  if (!g.folderExisted || !FileExists(path)) return true;
  if (!SetAside(g, path)) return false;
  g.setAside.push_back(path);
  return true;
}

// Before a file of the installation folder (every held folder is) is created: a cancel refuses it,
// and its name shows. The file layer asks BeforeReplace itself, only for a name that is there (a
// new name is made without a look at the folder first).
void* GuardCreateAt(void* ctx, void* dir, const char* name, bool* created) {
  Guard& g = *Active();
  if (Stop(g)) return nullptr;
  const InstallSink& k = g.job->sink;
  DWORD now = GetTickCount();
  if (k.file && now - g.reported >= 50) {
    g.reported = now;
    k.file(k.ctx, Below(dir, name).c_str() + g.job->folder.size() + 1);
  }
  return g.inner->createAt(ctx, dir, name, created);
}
size_t GuardRead(void* ctx, void* f, void* buf, size_t n) { return Stop(*Active()) ? 0 : Active()->inner->read(ctx, f, buf, n); }
// What is written counts as installed (the registration's estimated size).
bool GuardWrite(void* ctx, void* f, const void* buf, size_t n) {
  Guard& g = *Active();
  if (Stop(g) || !g.inner->write(ctx, f, buf, n)) return false;
  g.job->installedBytes += n;
  return true;
}

void InitGuard(Job& job) {
  Guard& g = job.guard;
  g.inner = &job.files.ops;
  g.job = &job;
  g.ops = job.files.ops;
  if (g.ops.createAt) g.ops.createAt = GuardCreateAt;
  g.ops.read = GuardRead;
  g.ops.write = GuardWrite;
  job.files.onReplace = BeforeReplace;
  job.files.onReplaceCtx = &g;
  Active() = &g;
}

// What was set aside goes back (after a cancel or failure), or goes for good (once installed).
void EndSetAside(Guard& g, bool restore) {
  for (const std::string& p : g.setAside) {
    std::wstring keep = W(p + kSetAside);
    if (restore) {
      MoveFileExW(keep.c_str(), W(p).c_str(), MOVEFILE_REPLACE_EXISTING);
    } else {
      SetFileAttributesW(keep.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(keep.c_str());
    }
  }
  g.setAside.clear();
}

GzcStatus Unpack(Job& job, std::vector<std::string>* written) {
  Setup& s = job.s;
  GzcSource src{&job.guard.ops, s.file.get(), s.binLength, s.binOffset, true};
  job.files.sourceRead = 0;
  if (!job.files.ops.seek(job.files.ops.ctx, s.file.get(), s.binOffset)) return GZC_ERR_READ;
  GzcUnpackJob u = {};
  u.dest = job.folder.c_str();
  u.gzTmp = s.gzTmp.c_str();
  u.createFolders = true;
  u.files = &job.guard.ops;
  u.threads = EngineThreads();
  // RunInstall has just checked its bytes, and the file is open without write sharing: one pass.
  u.verified = true;
  return GzcUnpack(u, src, written);
}

// ---- Shortcuts ---------------------------------------------------------------------------------
// The three identifiers the shell link needs, here rather than from the system's library of every
// identifier (which alone would double the engine's size).
const CLSID kShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIShellLinkW = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool MakeLink(const std::string& target, const std::string& link) {
  UniqueCom<IShellLinkW> sl;
  if (FAILED(CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER, kIShellLinkW, (void**)sl.put()))) return false;
  sl.get()->SetPath(W(target).c_str());
  sl.get()->SetWorkingDirectory(W(FolderOf(target)).c_str());
  UniqueCom<IPersistFile> pf;
  if (FAILED(sl.get()->QueryInterface(kIPersistFile, (void**)pf.put()))) return false;
  return SUCCEEDED(pf.get()->Save(W(link).c_str(), TRUE));
}

// The shortcut's file name: the target's name without its extension, unless a shortcut made
// before in the same place has taken that (Program.exe and Program.chm): then with it.
std::string LinkName(const std::string& target, const std::vector<std::string>& taken) {
  std::string name = NameOf(target);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) {
    std::string shortName = name.substr(0, dot) + ".lnk";
    bool free = true;
    for (const std::string& t : taken) free = free && lstrcmpiA(t.c_str(), shortName.c_str()) != 0;
    if (free) return shortName;
  }
  return name + ".lnk";
}

// ---- Per machine or per user -------------------------------------------------------------------
bool g_allUsers;
int DesktopFolder() { return PerMachine() ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY; }
int ProgramsFolder() { return PerMachine() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS; }
// Where the registration goes, in the order tried: the machine (the user's own when that cannot be
// written), or the user's alone.
int RegistrationRoots(HKEY* roots) {
  roots[0] = HKEY_LOCAL_MACHINE;
  roots[1] = HKEY_CURRENT_USER;
  if (PerMachine()) return 2;
  roots[0] = HKEY_CURRENT_USER;
  return 1;
}

void Shortcuts(Job& job) {
  Ini lnk = LoadIni(job.s, kLnkFile);
  struct Place {
    const char* section;
    const char* index;
    int csidl;
  } places[] = {{kSectionDesktop, kSectionIndexDesktop, DesktopFolder()},
                {kSectionMenu, kSectionIndexMenu, ProgramsFolder()}};
  for (const Place& p : places) {
    int max = lnk.Counter(p.index, kKeyMax);
    std::string folder;
    std::vector<std::string> taken;
    bool menuMade = false;
    for (int i = 1; i < max; ++i) {
      std::string rel, target;
      if (!lnk.Get(p.section, Num(i).c_str(), &rel)) continue;
      if (!job.Inside(rel, &target)) {
        job.Problem(TxF(L_BAD_ENTRY, {Wide(std::string(p.section) + " " + Num(i)), Wide(rel)}));
        continue;
      }
      if (folder.empty()) {
        wchar_t base[MAX_PATH] = {0};
        if (FAILED(SHGetFolderPathW(nullptr, p.csidl, nullptr, SHGFP_TYPE_CURRENT, base)) || !base[0]) {
          job.Problem(TxF1(L_BAD_SHORTCUT, Wide(rel)));
          continue;
        }
        folder = WideToUtf8(base, wcslen(base));
        if (p.csidl == ProgramsFolder()) folder += "\\" + SafeName(job.s.name);
      }
      if (p.csidl == ProgramsFolder() && !menuMade && !DirExists(folder)) {
        if (!CreateDirectoryW(W(folder).c_str(), nullptr)) {
          job.Problem(TxF1(L_BAD_SHORTCUT, Wide(rel)));
          continue;
        }
        job.Log('M', folder);
        menuMade = true;
      }
      taken.push_back(LinkName(target, taken));
      std::string link = folder + "\\" + taken.back();
      if (!FileExists(target) || !MakeLink(target, link)) {
        job.Problem(TxF1(L_BAD_SHORTCUT, Wide(rel)));
        continue;
      }
      job.Log('S', link);
    }
  }
}

// ---- Registry ------------------------------------------------------------------------------------
// Opens the key for writing, creating each missing part and logging it (outermost first).
bool CreateKey(Job& job, const std::string& fullKey, HKEY root, const std::string& sub, HKEY* out) {
  size_t rootLen = fullKey.size() - sub.size();
  for (size_t i = 0; i <= sub.size(); ++i) {
    if (i < sub.size() && sub[i] != '\\') continue;
    std::string part = sub.substr(0, i);
    UniqueKey found, made;
    if (RegOpenKeyExW(root, W(part).c_str(), 0, KEY_READ, found.put()) == ERROR_SUCCESS) continue;
    DWORD disp = 0;
    if (RegCreateKeyExW(root, W(part).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, made.put(), &disp) != ERROR_SUCCESS)
      return false;
    if (disp == REG_CREATED_NEW_KEY) job.Log('K', fullKey.substr(0, rootLen + i));
  }
  return RegOpenKeyExW(root, W(sub).c_str(), 0, KEY_SET_VALUE, out) == ERROR_SUCCESS;
}

void Registry(Job& job) {
  Ini reg = LoadIni(job.s, kRegFile);
  int max = reg.Counter(kSectionIndex, kKeyMax);
  for (int i = 1; i < max; ++i) {
    std::string n = Num(i), key;
    if (!reg.Get(kSectionRegKey, n.c_str(), &key)) continue;
    std::string name = reg.Str(kSectionRegName, n.c_str());
    std::string value =
        RegRestoreQuotes(reg.Str(kSectionRegValue, n.c_str()), reg.Str(kSectionRegLine, n.c_str()) == "1");
    std::string type = reg.Str(kSectionRegType, n.c_str());
    bool dynam = reg.Str(kSectionRegDynam, n.c_str()) == "1";
    auto bad = [&] { job.Problem(TxF(L_BAD_REG, {Wide(n), Wide(key + (name.empty() ? "" : "\\" + name)),
                                                 Wide(value)})); };

    HKEY root;
    std::string sub;
    if (!SplitKey(key, &root, &sub) || type.size() != 1 || type[0] < '0' || type[0] > '3' ||
        name.find_first_of("\r\n\t") != std::string::npos) {
      bad();
      continue;
    }
    static const DWORD kRegTypes[REG_T_COUNT] = {REG_BINARY, REG_DWORD, REG_EXPAND_SZ, REG_SZ};
    RegType t = static_cast<RegType>(type[0] - '0');
    std::string data;
    if (dynam) {
      // A path relative to the installation folder, written absolute: string types only.
      std::string full;
      if ((t != REG_T_EXPAND && t != REG_T_STRING) || !job.Inside(value, &full)) {
        bad();
        continue;
      }
      value = full;
    }
    if (!RegValueData(t, value, &data)) {
      bad();
      continue;
    }
    DWORD regType = kRegTypes[t];
    if (t == REG_T_EXPAND || t == REG_T_STRING) {
      // A string value in UTF-16, its terminator included.
      std::wstring wide = W(value);
      data.assign((const char*)wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    }
    UniqueKey k;
    if (!CreateKey(job, key, root, sub, k.put())) {
      bad();
      continue;
    }
    if (RegSetValueExW(k.get(), W(name).c_str(), 0, regType, (const BYTE*)data.data(), (DWORD)data.size()) !=
        ERROR_SUCCESS) {
      bad();
      continue;
    }
    job.Log('V', key, name);
  }
}

// ---- Uninstaller, log and registration ------------------------------------------------------------
void SetString(HKEY k, const wchar_t* name, const std::string& v) {
  std::wstring w = W(v);
  RegSetValueExW(k, name, 0, REG_SZ, (const BYTE*)w.c_str(), (DWORD)((w.size() + 1) * sizeof(wchar_t)));
}

void SetDword(HKEY k, const wchar_t* name, DWORD v) { RegSetValueExW(k, name, 0, REG_DWORD, (const BYTE*)&v, 4); }

// What the registration `sub` under `root` is: 0 none, 1 another tool's, 2 one this installer
// wrote (only this installer writes the copy of its log). `at` (MAX_PATH + 1) gets its folder,
// `copy` (when given) the copy.
int ReadRegistration(HKEY root, const wchar_t* sub, wchar_t* at, std::string* copy = nullptr) {
  UniqueKey k;
  DWORD size = MAX_PATH * sizeof(wchar_t), bytes = 0;
  at[0] = 0;
  if (RegOpenKeyExW(root, sub, 0, KEY_READ, k.put()) != ERROR_SUCCESS) return 0;
  RegQueryValueExW(k.get(), L"InstallLocation", nullptr, nullptr, (BYTE*)at, &size);
  at[MAX_PATH] = 0;
  if (RegQueryValueExA(k.get(), kLogCopyValue, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS || bytes > kLogMax) bytes = 0;
  if (copy && bytes) {
    copy->resize(bytes);
    RegQueryValueExA(k.get(), kLogCopyValue, nullptr, nullptr, (BYTE*)&(*copy)[0], &bytes);
  }
  return bytes ? 2 : 1;
}

// The registration key under `root` for an installation in `folder`: the program's own name, unless
// that key belongs to another installation still in place (of this program elsewhere, or written by
// another tool); then the name with " (2)", " (3)"... A key of this installer whose folder is gone
// is taken over.
std::string RegistrationKey(HKEY root, const std::string& name, const std::wstring& folder) {
  const std::wstring base = W(std::string(kUninstallKey) + SafeName(name));
  wchar_t sub[MAX_PATH + 8], at[MAX_PATH + 1];
  lstrcpynW(sub, base.c_str(), MAX_PATH);
  for (int n = 2; n < 10; ++n) {
    int kind = ReadRegistration(root, sub, at);
    if (!kind || lstrcmpiW(at, folder.c_str()) == 0 || (kind == 2 && GetFileAttributesW(at) == INVALID_FILE_ATTRIBUTES))
      break;
    wsprintfW(sub, L"%s (%d)", base.c_str(), n);
  }
  return WideToUtf8(sub, wcslen(sub));
}

bool Register(Job& job, const std::string& uninstaller) {
  const Setup& s = job.s;
  HKEY roots[2];
  for (int i = 0, n = RegistrationRoots(roots); i < n; ++i) {
    std::string sub = RegistrationKey(roots[i], s.name, s.folder);
    UniqueKey key;
    if (RegCreateKeyExW(roots[i], W(sub).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
      continue;
    HKEY k = key.get();
    std::string quoted = "\"" + uninstaller + "\"", icon;
    SetString(k, L"DisplayName", s.name.empty() ? SafeName(s.name) : s.name);
    SetString(k, L"UninstallString", quoted);
    SetString(k, L"QuietUninstallString", quoted + " /S");
    SetString(k, L"InstallLocation", job.folder);
    SetDword(k, L"EstimatedSize", (DWORD)((job.installedBytes + 1023) / 1024));
    SetDword(k, L"NoModify", 1);
    SetDword(k, L"NoRepair", 1);
    // An upgrade's values replace the older ones; a version without them leaves none behind.
    const wchar_t* names[] = {L"DisplayVersion", L"Publisher", L"DisplayIcon"};
    const std::string* values[] = {&s.version, &s.publisher, &icon};
    job.Inside(s.iconRel, &icon);  // none when empty or unsafe
    for (int v = 0; v < 3; ++v)
      if (values[v]->empty()) RegDeleteValueW(k, names[v]);
      else SetString(k, names[v], *values[v]);
    // The proof of what the log's lines outside the folder may remove (the log itself lies where
    // others may write).
    RegSetValueExA(k, kLogCopyValue, 0, REG_BINARY, (const BYTE*)job.copy.data(), (DWORD)job.copy.size());
    job.Log('U', std::string(roots[i] == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") + sub);
    return true;
  }
  return false;
}

void RunAfterUninstallEntries(Job& job, const Ini& init) {
  int max = init.Counter(kSectionIndex, kKeyMaxU);
  for (int i = 1; i < max; ++i) {
    std::string rel, full;
    if (!init.Get(kSectionRunU, Num(i).c_str(), &rel)) continue;
    if (!job.Inside(rel, &full)) {
      job.Problem(TxF(L_BAD_ENTRY, {Wide(std::string(kSectionRunU) + " " + Num(i)), Wide(rel)}));
      continue;
    }
    job.Log('X', rel);
  }
}

// A signed uninstaller stays as it was signed: its texts go into a file beside it instead of behind it.
bool IsSigned(const std::string& image) {
  const size_t n = image.size() < PE_HEAD_MAX ? image.size() : PE_HEAD_MAX;
  const uint64_t end = PeDataEnd((const unsigned char*)image.data(), n, image.size());
  return end != 0 && end < image.size();
}

// An uninstall log of this program already in the folder (an upgrade in place): its items join the
// new log's, each once, the older first, so that removal, going backwards, takes what the newer
// version added before what both share. Its lines reaching outside the folder join only where this
// scope's registration of the folder vouches for them in its copy, as the uninstaller would honour
// them. A log that does not read as this program's is merged with nothing and kept as UnInst.log.old.
void MergeOldLog(Job& job) {
  const std::string path = job.folder + "\\" + kUninstLog, &name = job.s.name;
  std::string old, copy, merged;
  wchar_t at[MAX_PATH + 1];
  if (Attributes(path) == INVALID_FILE_ATTRIBUTES) return;
  HKEY root = PerMachine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  if (ReadRegistration(root, W(RegistrationKey(root, name, job.s.folder)).c_str(), at, &copy) != 2 ||
      lstrcmpiW(at, job.s.folder.c_str()) != 0)
    copy.clear();
  // The new log's header, name and language first; then the old items, each line checked as the
  // uninstaller will read it (the lines are CR LF ended, the text NUL ended).
  const char* from = job.log.c_str();
  for (int i = 0; i < 3; ++i) from = strchr(from, '\n') + 1;
  merged.assign(job.log.c_str(), from);
  const size_t head = merged.find('\n') + 1;
  size_t proved = head;
  bool ours = ReadWhole(path, &old, kLogMax) && old.compare(0, head, merged, 0, head) == 0;
  old += '\n';
  for (const char *l = old.c_str() + head, *e; ours && *l; l = e + 1) {
    e = strchr(l, '\n');
    size_t len = e - l, tabs = 0;
    if (len && l[len - 1] == '\r') --len;
    if (!len) continue;
    for (size_t i = 2; i < len; ++i) tabs += l[i] == '\t';
    const char tag = *l;
    // A tag, a tab, a field; a second one for a value alone; the name of this program.
    ours = len > 2 && l[1] == '\t' && strchr("PGFDTSMKVXU", tag) && tabs == (tag == 'V') &&
           (tag != 'P' || (len - 2 == name.size() && !memcmp(l + 2, name.data(), len - 2)));
    if (strchr("PGU", tag)) continue;
    if (strchr("KVTX", tag)) {
      if (copy.compare(proved, len, l, len) != 0 || copy.compare(proved + len, 2, "\r\n") != 0) continue;
      proved += len + 2;
    }
    merged.append(l, len).append("\r\n");
  }
  if (!ours) {
    MoveFileExW(W(path).c_str(), W(path + ".old").c_str(), MOVEFILE_REPLACE_EXISTING);
    return;
  }
  // An item both made (a file the newer version replaced) keeps the older place.
  const size_t kept = merged.size();
  for (const char* e; *from; from = e + 1) {
    e = strchr(from, '\n');
    size_t p = merged.find(from, 0, e + 1 - from);
    while (p < kept && merged[p - 1] != '\n') p = merged.find(from, p + 1, e + 1 - from);
    if (p >= kept) merged.append(from, e + 1);
  }
  // The copy for the registration: the merged lines that reach outside the folder, in their order.
  job.copy.assign(merged, 0, head);
  for (const char *l = merged.c_str() + head, *e; *l; l = e + 1) {
    e = strchr(l, '\n');
    if (strchr("KVTX", *l)) job.copy.append(l, e + 1);
  }
  job.log = merged;
}

void WriteUninstaller(Job& job) {
  const Setup& s = job.s;
  const std::string* found = CfgFile(s, kUninstFile);
  const std::string data = found ? *found : std::string();
  std::string exe = job.folder + "\\" + kInstalledUninstaller, texts = job.folder + "\\" + kUninstTexts;
  bool ok = data.size() >= 2 && data[0] == 'M' && data[1] == 'Z';
  if (ok && IsSigned(data)) ok = WriteWhole(texts, s.langData) && WriteWhole(exe, data);
  else if (ok) ok = WriteWhole(exe, data + s.langData);
  if (!ok) {
    DeleteFileW(W(texts).c_str());
    job.Problem(Tx(L_NO_UNINST));
    return;
  }
  job.installedBytes += data.size() + s.langData.size();
  MergeOldLog(job);
  Register(job, exe);
  if (!WriteWhole(job.folder + "\\" + kUninstLog, job.log)) {
    DeleteFileW(W(exe).c_str());
    DeleteFileW(W(texts).c_str());
    job.Problem(Tx(L_NO_UNINST));
  }
}


void RunEntries(Job& job, const Ini& init) {
  int max = init.Counter(kSectionIndex, kKeyMax);
  for (int i = 1; i < max; ++i) {
    std::string rel, full;
    if (!init.Get(kSectionRun, Num(i).c_str(), &rel)) continue;
    if (!job.Inside(rel, &full)) {
      job.Problem(TxF(L_BAD_ENTRY, {Wide(std::string(kSectionRun) + " " + Num(i)), Wide(rel)}));
      continue;
    }
    if (init.Str(kSectionSilent, Num(i).c_str()) != "1") {
      if (!job.sink.ask || !job.sink.ask(job.sink.ctx, TxF1(L_RUN_ASK, Wide(NameOf(full))))) continue;
    }
    job.Status(TxF1(L_RUNNING, Wide(NameOf(full))));
    LogStep("run", full);
    if (!Launch(full)) job.Problem(TxF1(L_BAD_RUN, Wide(rel)));
  }
}

}  // namespace

bool PerMachine() { return g_allUsers; }

// What the registration of this program under one scope tells: only a registration as this
// installer writes it is taken as one.
Found FindInstallation(const Setup& s, bool allUsers) {
  Found f;
  std::string text;
  wchar_t at[MAX_PATH + 1];
  int kind = ReadRegistration(allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                              W(std::string(kUninstallKey) + SafeName(s.name)).c_str(), at);
  f.folder = at;
  f.state = !kind                                                ? FOUND_NONE
            : kind == 1                                          ? FOUND_FOREIGN
            : GetFileAttributesW(at) == INVALID_FILE_ATTRIBUTES  ? FOUND_GONE
            : !ReadWhole(WideToUtf8(f.folder) + "\\" + kUninstLog, &text, kLogMax) || text.compare(0, 9, LogHeader()) != 0
                ? FOUND_DAMAGED
            : text.find("\nP\t" + s.name + "\r\n") != std::string::npos ? FOUND_HERE
            : text.find("\nP\t") != std::string::npos                    ? FOUND_FOREIGN
                                                                     : FOUND_DAMAGED;
  return f;
}

int RunInstall(Setup& s, const InstallSink& sink, std::wstring* why) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  g_allUsers = s.allUsers;
  Job job(s, sink);
  InitEngineFiles(&job.files);
  job.files.source = s.file.get();
  job.files.onRead = OnRead;
  job.files.onReadCtx = &job;
  InitGuard(job);
  LogStep("install", job.folder);
  job.log = job.copy = LogHeader();
  job.Log('P', s.name);
  job.Log('G', TextSet());

  // Nothing is changed before the program archive's bytes have proved to be those the build made.
  job.Status(Tx(L_CHECKING));
  job.Progress(0);
  job.files.sourceRead = 0;
  GzcStatus st = GzcCheckBytes(&job.guard.ops, s.file.get(), s.binOffset, s.binLength, s.binSum);
  if (job.guard.stopped) st = GZC_CANCELLED;
  if (st != GZC_OK) {
    *why = st == GZC_CANCELLED ? Tx(L_CANCELLED) : TxF1(L_DAMAGED, DamagedReason(st));
    LogStep("error", *why);
    CoUninitialize();
    return st == GZC_CANCELLED ? EXIT_CANCELLED : st == GZC_ERR_TEMP ? EXIT_WRITE : EXIT_DAMAGED;
  }

  job.Status(Tx(L_UNPACKING));
  job.rangeLo = kVerifyEnd;
  job.rangeHi = kUnpackEnd;
  std::vector<std::string> written;
  job.guard.folderExisted = DirExists(job.folder);
  bool made = MakeFolder(job);
  if (made) st = Unpack(job, &written);
  if (made && st == GZC_OK && Stop(job.guard)) {
    // Cancelled after the last write: what this run wrote goes again.
    for (const std::string& f : written) DeleteFileW(W(f).c_str());
    for (size_t i = job.files.madeDirs.size(); i-- > 0;) RemoveDirectoryW(W(job.files.madeDirs[i]).c_str());
  }
  if (!made || st != GZC_OK || job.guard.stopped) {
    EndSetAside(job.guard, true);
    RemoveTopDirs(job);
    // Read in one pass, the archive may prove damaged only now: anything but a failed write says so.
    bool damaged = made && st != GZC_OK && st != GZC_ERR_TARGET && st != GZC_ERR_TEMP;
    *why = job.guard.stopped ? Tx(L_CANCELLED)
           : damaged        ? TxF1(L_DAMAGED, DamagedReason(st))
           : !job.guard.held.empty() ? TxF1(L_IN_USE_FAILED, Wide(job.guard.held))
                            : TxF1(L_WRITE_FAILED, s.folder);
    LogStep("error", *why);
    CoUninitialize();
    if (job.guard.stopped) return EXIT_CANCELLED;
    return st == GZC_ERR_TARGET || st == GZC_OK || st == GZC_ERR_TEMP ? EXIT_WRITE : EXIT_DAMAGED;
  }
  EndSetAside(job.guard, false);
  if (sink.committed) sink.committed(sink.ctx);
  for (const std::string& dir : job.topDirs) job.Log('T', dir);
  for (const std::string& dir : job.files.madeDirs) job.Log('D', job.Relative(dir));
  for (const std::string& file : written) job.Log('F', job.Relative(file));

  job.Status(Tx(L_SHORTCUTS));
  Shortcuts(job);
  job.Progress(93);
  job.Status(Tx(L_REGISTRY));
  Registry(job);
  job.Progress(96);

  Ini init = LoadIni(s, kInitFile);
  RunAfterUninstallEntries(job, init);
  WriteUninstaller(job);

  if (!s.infoRel.empty()) {
    std::string full;
    if (job.Inside(s.infoRel, &full) && FileExists(full))
      s.infoPath = full;
    else
      job.Problem(TxF(L_BAD_ENTRY, {L"cfg 3", Wide(s.infoRel)}));
  }
  job.Progress(100);
  RunEntries(job, init);
  CoUninitialize();
  return s.problems.empty() ? EXIT_DONE : EXIT_PARTLY;
}
