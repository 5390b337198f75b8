// The installer's entry point: command line, finding and checking its data, silent or wizard run.
#include "engine/setup.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "core/installerlayout.h"
#include "core/langpack.h"
#include "engine/enginewin.h"
#include "engine/steps.h"
#include "engine/winfiles.h"
#include "core/profile.h"

namespace {
// Built in: the one text needed when the language data itself cannot be read.
const wchar_t kNoDataCaption[] = L"Instalator";
const wchar_t kNoData[] = L"Instalator jest uszkodzony i nic nie zostało zainstalowane: "
                          L"za programem instalatora brak danych instalacji.";
// Largest licence text shown; a longer one is cut.
constexpr size_t kLicenceMax = 4u << 20;
// Largest configuration archive content taken into memory (the uninstaller is most of it).
constexpr uint64_t kCfgMax = 64u << 20;

// Ends the run with a stated reason: the standard error handle when silent, a box otherwise.
int Fail(const Setup& s, int code, const std::wstring& text) {
  LogStep("error", text);
  if (s.silent)
    ReportLine(text);
  else
    Box(nullptr, text, TxF1(L_CAPTION, Wide(s.name)), MB_OK | MB_ICONERROR);
  return code;
}

bool ParseArgs(Setup* s, std::string* bad) {
  const wchar_t* line = GetCommandLineW();
  const std::string args = WideToUtf8(line, wcslen(line));
  const char* p = ArgumentsOf(args.c_str());
  for (;;) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) return true;
    if ((p[0] == '/' ) && (p[1] == 'D' || p[1] == 'd') && p[2] == '=') {
      // The folder is the rest of the line, blanks included: /D= is the last argument.
      std::string folder = p + 3;
      while (!folder.empty() && (folder.back() == ' ' || folder.back() == '\t')) folder.pop_back();
      if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') folder = folder.substr(1, folder.size() - 2);
      s->folderArg = Utf8ToWide(folder);
      return true;
    }
    const char* e = p;
    while (*e && *e != ' ' && *e != '\t') ++e;
    std::string arg(p, e);
    if (const char* end = LogArgument(p, &s->logArg)) {
      p = end;
      continue;
    }
    p = e;
    if (arg == "/S" || arg == "/s") {
      s->silent = true;
    } else if (lstrcmpiA(arg.c_str(), "/ALLUSERS") == 0 || lstrcmpiA(arg.c_str(), "/CURRENTUSER") == 0) {
      s->scopeArg = (arg[1] | 0x20) == 'a' ? 1 : -1;
    } else if (arg == "/_GO") {
      s->go = true;
    } else if (arg == "/?") {
      s->help = true;
    } else if (arg.size() > 3 && arg[0] == '/' && (arg[1] == 'L' || arg[1] == 'l') && arg[2] == '=') {
      s->langArg = arg.substr(3);
    } else {
      *bad = arg;
      return false;
    }
  }
}

// Finds the parts after the engine's image: marker, language data, two archives whose lengths
// come from their own offset tables. The archives' contents are checked later.
GzcStatus Locate(Setup* s, EngineFiles* files) {
  // A signature's certificate table follows the data: nothing is read from it.
  uint64_t imageEnd = 0, dataEnd = 0;
  unsigned char sums[kRcSumsLength];
  std::string packed;
  if (!ReadOwnLangData(s->file.get(), s->size, kRcMarker, kLangPackedMagic, &imageEnd, &packed, &dataEnd,
                       kRcSumsLength, sums))
    return GZC_ERR_NOT_INSTALLER;
  const size_t head = packed.find('\n') + 1;  // the header line, whose length was read
  // Texts that unpack whole but are no language data find no set, and the run ends as damaged.
  if (!LangUnpack(&packed[head], packed.size() - head, &s->langData)) return GZC_ERR_NOT_INSTALLER;
  memcpy(&s->cfgSum, sums, 4);  // little endian, as every Windows machine is
  memcpy(&s->binSum, sums + 4, 4);
  s->cfgOffset = imageEnd + kRcMarkerLength + kRcSumsLength + packed.size();
  for (int part = 0; part < 2; ++part) {
    uint64_t at = part == 0 ? s->cfgOffset : s->binOffset;
    if (at >= dataEnd) return GZC_ERR_TRUNCATED;
    if (!files->ops.seek(files->ops.ctx, s->file.get(), at)) return GZC_ERR_READ;
    GzcSource src{&files->ops, s->file.get(), dataEnd - at, at};
    uint32_t stored, length = 0;
    GzcStatus st = GzcReadTable(src, &stored, nullptr, &length);
    if (st != GZC_OK) return st;
    if (part == 0) {
      s->cfgLength = length;
      s->binOffset = at + length;
    } else {
      s->binLength = length;
    }
  }
  // Behind the program archive only the zeros that align a certificate table may stand.
  const uint64_t end = s->binOffset + s->binLength;
  if (!GzcEndsInstallerData(&files->ops, s->file.get(), end, dataEnd, dataEnd < s->size)) return GZC_ERR_NOT_INSTALLER;
  return GZC_OK;
}

// The member scratch file goes into a folder of this run's own: an elevated run writes nothing
// where the user's other programs could put a link in its way.
bool MakeScratch(Setup* s) {
  if (!MakePrivateFolder(L"prsetup", &s->temp)) return false;
  s->gzTmp = s->temp + "\\gz.tmp";
  return true;
}

// A value of section "cfg" of init.cfg, cut to the buffer the program gives it, in UTF-8.
std::string CfgValue(const std::string& init, const char* key, size_t limit) {
  std::string raw;
  if (!ProfileTextFind(init, kSectionCfg, key, &raw)) return "";
  std::string v = ProfileStripQuotes(raw);
  if (v.size() >= limit) v.resize(limit - 1);
  return GzcCp1250ToUtf8(v.data(), v.size());
}

// Checks the configuration archive and reads it into memory, then its settings.
GzcStatus ReadConfiguration(Setup* s, EngineFiles* files) {
  GzcSource src{&files->ops, s->file.get(), s->cfgLength, s->cfgOffset, true};
  GzcStatus st = GzcCheckBytes(&files->ops, s->file.get(), s->cfgOffset, s->cfgLength, s->cfgSum);
  if (st != GZC_OK) return st;
  if (!files->ops.seek(files->ops.ctx, s->file.get(), s->cfgOffset)) return GZC_ERR_READ;
  st = GzcReadAll(src, s->gzTmp.c_str(), kCfgMax, &s->cfg);
  if (st != GZC_OK) return st;

  const std::string* initFile = CfgFile(*s, kInitFile);
  const std::string init = initFile ? *initFile : std::string();
  s->name = CfgValue(init, kCfgKeyName, kProgramNameMax);
  std::string licence = CfgValue(init, kCfgKeyLicence, MAX_PATH);
  if (!licence.empty()) {
    // Only a plain file name of the configuration folder.
    const std::string* text = nullptr;
    if (licence.find_first_of("\\/") != std::string::npos || !GzcSafeListLine(licence.data(), licence.size(), true))
      return GZC_ERR_PATH;
    s->hasLicence = true;
    if ((text = CfgFile(*s, licence.c_str())) != nullptr) s->licenceText = text->substr(0, kLicenceMax);
  }
  s->infoRel = CfgValue(init, kCfgKeyInfo, MAX_PATH);
  s->version = CfgValue(init, kCfgKeyVersion, kProgramNameMax);
  s->publisher = CfgValue(init, kCfgKeyPublisher, kProgramNameMax);
  s->iconRel = CfgValue(init, kCfgKeyIcon, MAX_PATH);
  return GZC_OK;
}

int Run(Setup& s) {
  std::string bad;
  bool argsOk = ParseArgs(&s, &bad), badLangs = false;
  // Held open from here to the end, and proved to be the file this process was started from: after
  // the user's consent to an elevated run, another file put at the installer's path is not read.
  s.file.reset(OpenOwnImage());
  LARGE_INTEGER size = {};
  if (!s.file || !GetFileSizeEx(s.file.get(), &size)) {
    if (!s.silent) Box(nullptr, kNoData, kNoDataCaption, MB_OK | MB_ICONERROR);
    ReportLine(kNoData);
    return EXIT_DAMAGED;
  }
  s.size = (uint64_t)size.QuadPart;
  EngineFiles files;
  InitEngineFiles(&files);
  GzcStatus st = Locate(&s, &files);
  const char* lang = s.langData.data();
  const size_t langLen = s.langData.size();
  // A set /L= does not name: the texts of the user's language say so, with the codes there are.
  std::string set = ChooseTextSet(lang, langLen, s.langArg);
  if (set.empty() && !s.langArg.empty()) {
    if (argsOk) {
      argsOk = false;
      bad = "/L=" + s.langArg;
      badLangs = true;
    }
    set = ChooseTextSet(lang, langLen, "");
  }
  if (s.langData.empty() || set.empty() || !LoadTexts(lang, langLen, set)) {
    if (!s.silent) Box(nullptr, kNoData, kNoDataCaption, MB_OK | MB_ICONERROR);
    ReportLine(kNoData);
    return EXIT_DAMAGED;
  }
  if (!s.logArg.empty() && !StepLogOpen(s.logArg)) return Fail(s, EXIT_ARGS, TxF1(L_BAD_ARGS, L"/LOG=" + Wide(s.logArg)));
  if (!argsOk) {
    std::wstring why = TxF1(L_BAD_ARGS, Wide(bad));
    if (badLangs) why += L"\r\n/L=" + Wide(TextSetList(lang, langLen));
    return Fail(s, EXIT_ARGS, why);
  }
  if (st != GZC_OK) return Fail(s, EXIT_DAMAGED, TxF1(L_DAMAGED, DamagedReason(st)));
  if (!MakeScratch(&s)) return Fail(s, EXIT_WRITE, TxF1(L_WRITE_FAILED, L"%TEMP%"));
  st = ReadConfiguration(&s, &files);
  if (st != GZC_OK) return Fail(s, EXIT_DAMAGED, TxF1(L_DAMAGED, DamagedReason(st)));
  if (s.help) {
    if (s.silent) ReportLine(Tx(L_HELP));
    else Box(nullptr, Tx(L_HELP), TxF1(L_CAPTION, Wide(s.name)), MB_OK | MB_ICONINFORMATION);
    return EXIT_DONE;
  }

  // For every user when asked, or when this run could (elevated) unless asked otherwise; but an
  // installation found under one scope only is upgraded in its own.
  for (int i = 0; i < 2; ++i) s.found[i] = FindInstallation(s, i != 0);
  s.allUsers = s.scopeArg ? s.scopeArg > 0 : IsUserAnAdmin() != FALSE;
  if (!s.scopeArg && s.found[!s.allUsers].state == FOUND_HERE && s.found[s.allUsers].state != FOUND_HERE)
    s.allUsers = !s.allUsers;
  if (!s.folderArg.empty()) {
    if (!TidyFolder(s.folderArg, &s.folder)) return Fail(s, EXIT_ARGS, TxF1(L_BAD_ARGS, L"/D=" + s.folderArg));
  } else {
    s.folder = ProposedFolder(s);
  }
  if (!s.silent) return RunWizard(s);
  int elevated = RunElevated(s, s.folder, nullptr);
  if (elevated == kDeclined) return Fail(s, EXIT_CANCELLED, Tx(L_CANCELLED));
  if (elevated != kNotElevated) return elevated;
  InstallSink sink = {};
  std::wstring why;
  int code = RunInstall(s, sink, &why);
  if (code == EXIT_DAMAGED || code == EXIT_WRITE) ReportLine(why);
  for (const std::wstring& p : s.problems) ReportLine(p);
  return code;
}
}  // namespace

std::wstring DamagedReason(GzcStatus status) {
  switch (status) {
    case GZC_ERR_TRUNCATED: return Tx(L_WHY_TRUNCATED);
    case GZC_ERR_CHECKSUM:
    case GZC_ERR_MEMBER:
    case GZC_ERR_SHORT:
    case GZC_ERR_STREAM:
    case GZC_ERR_FILE_CRC: return Tx(L_WHY_CHECKSUM);
    case GZC_ERR_PATH: return Tx(L_WHY_PATH);
    case GZC_ERR_NOT_INSTALLER: return Tx(L_WHY_NODATA);
    default: return Tx(L_WHY_STRUCTURE);
  }
}

bool TidyFolder(const std::wstring& in, std::wstring* out) {
  std::wstring w = in;
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  // Checked as UTF-8, as the archive's paths are; a lone surrogate fails the check.
  std::string f = WideToUtf8(w);
  while (f.size() > 3 && f.back() == '\\') f.pop_back();
  bool drive = f.size() >= 3 && ((f[0] >= 'A' && f[0] <= 'Z') || (f[0] >= 'a' && f[0] <= 'z')) && f[1] == ':' && f[2] == '\\';
  if (!drive || GzcUtf16Units(f.data(), f.size()) > 200) return false;
  for (size_t i = 2; i < f.size(); ++i) {
    unsigned char c = (unsigned char)f[i];
    if (c < 0x20 || strchr(":*?\"<>|", c)) return false;
  }
  // Every component must be a name the archive paths could hold too (no "..", no device).
  if (f.size() > 3 && !GzcSafeListLine(f.data() + 3, f.size() - 3, true)) return false;
  if (f.size() == 3) f.pop_back();  // "C:" + "\" + path joins to C:\path
  *out = Utf8ToWide(f);
  return true;
}

const std::string* CfgFile(const Setup& s, const char* name) {
  for (const GzcMemFile& f : s.cfg)
    if (lstrcmpiA(f.path.c_str(), name) == 0) return &f.data;
  return nullptr;
}

std::wstring DefaultFolder(const Setup& s) {
  wchar_t pf[MAX_PATH] = {0};
  const int csidl = s.allUsers ? CSIDL_PROGRAM_FILES : CSIDL_LOCAL_APPDATA;
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, pf)) || !pf[0])
    lstrcpyW(pf, L"C:\\Program Files");
  std::wstring folder, name = Utf8ToWide(SafeName(s.name));
  if (!TidyFolder(pf + std::wstring(s.allUsers ? L"\\" : L"\\Programs\\") + name, &folder)) folder = L"C:\\" + name;
  return folder;
}

std::wstring ProposedFolder(const Setup& s) {
  const Found& f = s.found[s.allUsers];
  std::wstring folder;
  if ((f.state == FOUND_HERE || f.state == FOUND_DAMAGED) && TidyFolder(f.folder, &folder)) return folder;
  return DefaultFolder(s);
}

int RunElevated(const Setup& s, const std::wstring& folder, HWND hide) {
  if (!s.allUsers || s.go || IsUserAnAdmin()) return kNotElevated;
  std::wstring self = Wide(ModulePath()), args = L"/ALLUSERS /_GO /L=" + Wide(TextSet()) + (s.silent ? L" /S /D=" : L" /D=") + folder;
  SHELLEXECUTEINFOW e = {};
  e.cbSize = sizeof e;
  e.fMask = SEE_MASK_NOCLOSEPROCESS;
  e.lpVerb = L"runas";
  e.lpFile = self.c_str();
  e.lpParameters = args.c_str();
  e.nShow = SW_SHOWNORMAL;
  if (hide) ShowWindow(hide, SW_HIDE);
  DWORD code = (DWORD)kDeclined;
  if (ShellExecuteExW(&e) && e.hProcess) {
    UniqueHandle child(e.hProcess);
    WaitForSingleObject(child.get(), INFINITE);
    GetExitCodeProcess(child.get(), &code);
  }
  if (hide && code == (DWORD)kDeclined) ShowWindow(hide, SW_SHOW);
  return (int)code;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Setup s;
  int code = Run(s);
  char n[12];
  wsprintfA(n, "%d", code);
  LogStep("exit", n);
  // ExitProcess runs no destructors: it closes the installer file itself.
  if (!s.temp.empty()) RemoveTreeUtf8(s.temp);
  CoUninitialize();
  ExitProcess(code);
}
