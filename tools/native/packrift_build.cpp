// packrift-build: builds an installer from a project file on Linux, without Windows or Wine, byte for
// byte as the program's unattended build ("Packrift.exe /build PROJECT") writes it under Wine.
#include <fcntl.h>
#include <ftw.h>
#include <strings.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "build/buildplan.h"
#include "build/gzcformat.h"
#include "entries/profile.h"
#include "lang/strings.h"
#include "tools/native/winpaths.h"
#include "tools/native/wineprofile.h"

namespace {

const char kUsage[] =
    "usage: packrift-build PROJECT.kpj [-o SETUP.exe] [--tools TOOLFOLDER] [--lang NAME]\n"
    "                      [--drive X=/path ...] [--level 0-9] [--sign \"COMMAND %1\"]\n";
const int kBuilt = 0;
const int kNotBuilt = 2;
const size_t kFieldMax = 260;   // bytes of a field as the program reads it, terminator included
const size_t kLookupMax = 64;   // bytes of a looked-up text, terminator included
const char* const kFieldKeys[5] = {"1", "2", "3", "4", "5"};

struct Options {
  std::string project, output, tools, lang;
  std::string sign;  // the signing command template, "%1" for the file; empty: no signing
  DriveMap drives;
  char level = '6';
};

// The cancel flag of the packing (1 = go on), set to 0 by an interrupt.
volatile unsigned char cancelFlag = 1;
void OnInterrupt(int) { cancelFlag = 0; }

// A value of a profile file as the program reads it (`size` bytes, terminator included).
std::string Read(const std::string& path, const char* section, const char* key, const char* def, size_t size) {
  std::vector<char> buf(size);
  ProfileGetString(section, key, def, buf.data(), size, path.c_str());
  return buf.data();
}

// Says why in one line on standard error.
int Fail(const std::string& why) {
  std::fprintf(stderr, "packrift-build: %s\n", why.c_str());
  return kNotBuilt;
}

// The shown texts: the language file chosen with --lang, else the built-in Polish texts; looked up
// and cut to 63 bytes in code page 1250 as the program does, printed in UTF-8.
class Texts {
 public:
  explicit Texts(std::string file) : file_(std::move(file)) {}
  std::string Get(const StrDef& s) const {
    std::string def;
    Utf8ToCp1250(s.text, &def);
    if (file_.empty()) return Cp1250ToUtf8(def.substr(0, kLookupMax - 1));
    return Cp1250ToUtf8(Read(file_, "lng", std::to_string(s.id).c_str(), def.c_str(), kLookupMax));
  }
  // A message of the program's build: its text alone on a line.
  void Say(const StrDef& s) const { std::fprintf(stderr, "%s\n", Get(s).c_str()); }
  // The same, naming `detail` (UTF-8) after the text.
  void Say(const StrDef& s, const std::string& detail) const {
    std::fprintf(stderr, "%s %s\n", Get(s).c_str(), GzcShownName(detail).c_str());
  }

 private:
  std::string file_;  // Linux path of the language file; empty: built-in texts
};

// Progress on a terminal: the overall bar's value on one line, rewritten when it changes.
struct Progress {
  std::string label;
  bool shown = false;
  int last = -1;
  void Show(int overall) {
    if (label.empty() || overall == last) return;
    last = overall;
    shown = true;
    std::fprintf(stderr, "\r%s %3d%%", label.c_str(), overall);
    std::fflush(stderr);
  }
  void End() {
    if (shown) std::fprintf(stderr, "\n");
    shown = false;
  }
};

void ShowPackProgress(void* ctx, short overall, short) { static_cast<Progress*>(ctx)->Show(overall); }

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }

// The private working folder: "cfg" (the installer configuration) and "bin" (the archives) and the
// scratch files, as the program keeps them in its own; removed with everything in it.
class WorkFolder {
 public:
  bool Make() {
    const char* base = std::getenv("TMPDIR");
    std::string ansi;
    if (!base || !*base || !Utf8ToCp1250(base, &ansi) || std::strchr(base, '\\')) base = "/tmp";
    std::string tmpl = std::string(base) + "/packrift-build.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) return false;
    dir_ = buf.data();
    return mkdir((dir_ + "/cfg").c_str(), 0700) == 0 && mkdir((dir_ + "/bin").c_str(), 0700) == 0;
  }
  ~WorkFolder() {
    if (!dir_.empty() && nftw(dir_.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS) != 0)
      std::fprintf(stderr, "packrift-build: could not remove the working folder %s\n", dir_.c_str());
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  std::string Cfg() const { return Path("cfg"); }
  std::string Bin() const { return Path("bin"); }

 private:
  std::string dir_;
};

// Copies a file as the system's file copy does: a missing or unreadable source copies nothing.
bool CopyFile(const GzcFileOps& ops, const std::string& from, const std::string& to) {
  if (ops.kind(ops.ctx, from.c_str()) != GZC_KIND_FILE) return false;
  void* in = ops.open(ops.ctx, from.c_str(), false);
  if (!in) return false;
  void* out = ops.open(ops.ctx, to.c_str(), true);
  bool ok = out != nullptr;
  std::vector<char> buf(1 << 16);
  for (size_t n; ok && (n = ops.read(ops.ctx, in, buf.data(), buf.size())) > 0;) ok = ops.write(ops.ctx, out, buf.data(), n);
  ops.close(ops.ctx, in);
  if (out && !ops.close(ops.ctx, out)) ok = false;
  return ok;
}

// Appends a whole file to `out` with the progress of its bounds. False when it cannot be read or
// written, or the build was cancelled.
bool Append(const GzcFileOps& ops, const std::string& path, FILE* out, short lo, short hi, Progress* progress) {
  void* in = ops.open(ops.ctx, path.c_str(), false);
  uint64_t size = 0;
  if (!in || !ops.size(ops.ctx, in, &size)) {
    if (in) ops.close(ops.ctx, in);
    return false;
  }
  std::vector<char> buf(1 << 20);
  uint64_t done = 0;
  bool ok = true;
  for (size_t n; ok && (n = ops.read(ops.ctx, in, buf.data(), buf.size())) > 0;) {
    if (!cancelFlag) ok = false;
    else ok = std::fwrite(buf.data(), 1, n, out) == n;
    done += n;
    progress->Show(lo + static_cast<int>((hi - lo) * (size ? static_cast<double>(done) / size : 1.0)));
  }
  ops.close(ops.ctx, in);
  return ok && done == size;
}

// Opens the project as the program does on its command line: unpacks it into the cfg folder and
// reads the five fields from "Project.ini", which is then removed. A project that cannot be read
// shows the unpacking message and leaves the fields empty.
BuildFields OpenProject(const Options& o, const Texts& texts, const GzcFileOps& ops, const WorkFolder& work) {
  BuildFields f;
  std::string project;
  void* file = UnixToWin(o.project, &project) ? ops.open(ops.ctx, project.c_str(), false) : nullptr;
  if (!file) {
    texts.Say(S_UNPACK_ERROR);
    return f;
  }
  uint64_t size = 0;
  GzcStatus st = GZC_ERR_READ;
  std::string gz = work.Path("gz.tmp"), cfg = work.Cfg();
  if (ops.size(ops.ctx, file, &size)) {
    GzcUnpackJob job = {};
    job.dest = cfg.c_str();
    job.gzTmp = gz.c_str();
    job.createFolders = false;  // as the program: a project with folders is no project of its
    job.files = &ops;
    st = GzcUnpack(job, GzcSource{&ops, file, size, 0});
  }
  ops.close(ops.ctx, file);
  if (st != GZC_OK) texts.Say(S_UNPACK_ERROR);
  std::string ini;
  WinToUnix(o.drives, cfg + "/Project.ini", &ini);
  std::string* fields[5] = {&f.name, &f.folder, &f.output, &f.licence, &f.info};
  for (int i = 0; i < 5; ++i) *fields[i] = Read(ini, "dir", kFieldKeys[i], "", kFieldMax);
  ops.remove(ops.ctx, (cfg + "/Project.ini").c_str());
  return f;
}

bool Exists(void* ops, const char* path) {
  const GzcFileOps* o = static_cast<const GzcFileOps*>(ops);
  return o->kind(o->ctx, path) != GZC_KIND_NONE;
}

// Packs a folder (a Windows path in UTF-8, or a Linux path) into an archive of the working "bin"
// folder with its progress bounds, names in UTF-8 as the program's Unicode walk sees them. A file no
// installer can carry (its name or its size) is named with its message: GZC_ERR_NAME then.
GzcStatus Pack(const GzcFileOps& ops, const Texts& texts, const WorkFolder& work, const std::string& folder,
               const char* name, const short bounds[2], char level, Progress* progress) {
  std::string archive = work.Bin() + "/" + name, gz = work.Path("gz.tmp"), list = work.Path("list.txt");
  char mode[4] = {'w', 'b', level, 0};
  volatile short bar[2] = {bounds[0], bounds[1]};
  GzcHooks hooks = {};
  hooks.cancel = &cancelFlag;
  hooks.bounds = bar;
  hooks.progress = ShowPackProgress;
  hooks.ctx = progress;
  GzcPackJob job = {folder.c_str(), archive.c_str(), gz.c_str(), list.c_str(), mode, &ops, &hooks, 0, true};
  GzcPackResult result;
  GzcStatus st = GzcPack(job, &result);
  if (const StrDef* refused = RefusedFileMessage(result.refusedWhy)) {
    progress->End();
    std::string p = result.refused;
    if (p.size() > 1 && p[1] == ':') std::replace(p.begin(), p.end(), '/', '\\');
    texts.Say(*refused, p);
    st = GZC_ERR_NAME;
  }
  for (std::string p : result.skipped) {
    if (p.size() > 1 && p[1] == ':') std::replace(p.begin(), p.end(), '/', '\\');
    std::fprintf(stderr, "packrift-build: not packed (a link to a folder, a dangling link, a device, or a name "
                 "no archive can carry): %s\n", GzcShownName(p).c_str());
  }
  return st;
}

// Signs `path` in place with the template (run by /bin/sh, "%1" replaced by the quoted path), its
// output on standard error. True when no template is set or the command exited with 0.
bool SignFile(const std::string& tmpl, const std::string& path) {
  if (tmpl.empty()) return true;
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  std::string cmd;
  for (size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == '1') {
      cmd += quoted;
      ++i;
    } else {
      cmd += tmpl[i];
    }
  }
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execl("/bin/sh", "sh", "-c", cmd.c_str(), (char*)nullptr);
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The engine's bytes, the marker, the language data and both archives into the output; a failed
// write leaves no output behind.
bool WriteOutput(const GzcFileOps& ops, const std::string& tools, const WorkFolder& work, const std::string& output,
                 Progress* progress) {
  std::string unixOut;
  if (!WinToUnix(*static_cast<const DriveMap*>(ops.ctx), output, &unixOut)) return false;
  // Executable, as Wine makes a file named .exe.
  size_t n = unixOut.size();
  bool exe = n >= 4 && strcasecmp(unixOut.c_str() + n - 4, ".exe") == 0;
  int fd = ::open(unixOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, exe ? 0777 : 0666);
  FILE* out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!out) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  bool ok = Append(ops, tools + "/bin/" + kEngineFile, out, kRcParts[0].lo, kRcParts[0].lo, progress) &&
            std::fwrite(kRcMarker, 1, kRcMarkerLength, out) == kRcMarkerLength;
  for (const RcPart& p : kRcParts) {
    std::string from = p.name == kLangFile ? tools + "/bin/" + kLangFile : work.Bin() + "/" + p.name;
    ok = ok && Append(ops, from, out, p.lo, p.hi, progress);
  }
  if (std::fclose(out) != 0) ok = false;
  if (!ok) std::remove(unixOut.c_str());
  else progress->Show(kRcCopyBounds[1]);
  return ok;
}

int Build(const Options& o, const Texts& texts) {
  GzcFileOps ops = WinPathOps(&o.drives);
  WorkFolder work;
  if (!work.Make()) return Fail("cannot create a working folder");
  std::string tools;
  if (!UnixToWin(o.tools, &tools)) return Fail("the tool folder's path has no Windows form: " + o.tools);

  BuildFields f = OpenProject(o, texts, ops, work);
  if (!o.output.empty() && !UnixToWin(o.output, &f.output))
    return Fail("the output's path has no Windows form: " + o.output);
  BuildPathFault fault = CheckBuildPaths(f, Exists, &ops);
  if (fault != BUILD_PATHS_OK) {
    texts.Say(BuildPathMessage(fault));
    return kNotBuilt;
  }
  for (const char* name : kToolFiles) {
    if (ops.kind(ops.ctx, (tools + "\\bin\\" + name).c_str()) != GZC_KIND_FILE) {
      texts.Say(S_TOOL_FILES_MISSING);
      return kNotBuilt;
    }
  }

  // Section "cfg" of "init.cfg", the licence's copy and the uninstaller in the cfg folder.
  const std::string cfg = work.Cfg();
  std::string init;
  WinToUnix(o.drives, cfg + "/" + kInitFile, &init);
  struct Target {
    const GzcFileOps& ops;
    std::string init, cfg, licence;
  } target{ops, init, cfg, f.licence};
  const BuildConfigIo io = {
      &target,
      [](void* c, const char* key, const char* value) {
        return WineProfileWriteFile(static_cast<Target*>(c)->init, kSectionCfg, key, value);
      },
      [](void* c) { return Read(static_cast<Target*>(c)->init, kSectionCfg, kCfgKeyLicence, "", kOldLicenceReadMax); },
      [](void* c, const std::string& name) {
        const Target* t = static_cast<Target*>(c);
        CopyFile(t->ops, t->licence, t->cfg + "/" + name);
      },
      [](void* c, const std::string& name) {
        const Target* t = static_cast<Target*>(c);
        t->ops.remove(t->ops.ctx, (t->cfg + "/" + name).c_str());
      }};
  bool ok = ApplyBuildConfig(PlanBuildConfig(f), io);
  if (!ok) return Fail("cannot write the installer configuration " + init);
  CopyFile(ops, tools + "\\bin\\" + kUninstFile, cfg + "/" + kUninstFile);
  // The uninstaller goes into the archive signed: it is installed as it is.
  if (!SignFile(o.sign, cfg + "/" + kUninstFile)) {
    texts.Say(S_SIGN_FAILED);
    return kNotBuilt;
  }

  Progress progress;
  if (isatty(STDERR_FILENO)) progress.label = texts.Get(S_PACK_CAPTION) + ": " + texts.Get(S_PACK_TOTAL);
  // The installer's archives carry names in UTF-8, as the program's Unicode walk reads them.
  const GzcFileOps ops8 = WinPathOps(&o.drives, true);
  GzcStatus st = Pack(ops8, texts, work, cfg, kCfgArchive, kPackCfgBounds, o.level, &progress);
  if (st == GZC_OK)
    st = Pack(ops8, texts, work, Cp1250ToUtf8(NoTrailingSlash(f.folder)), kBinArchive, kPackBinBounds, o.level,
              &progress);
  bool written = st == GZC_OK && WriteOutput(ops, tools, work, f.output, &progress);
  progress.End();
  if (!cancelFlag) return Fail("cancelled; no installer was written");
  if (st == GZC_ERR_NAME) return kNotBuilt;
  if (st != GZC_OK) Fail(std::string("packing failed: ") + GzcStatusText(st));
  if (!written) {
    texts.Say(S_OUTPUT_FAILED);
    return kNotBuilt;
  }
  // A signing command that fails leaves no unsigned installer under the output's name.
  std::string unixOut;
  if (!o.sign.empty() && (!WinToUnix(o.drives, f.output, &unixOut) || !SignFile(o.sign, unixOut))) {
    if (!unixOut.empty()) std::remove(unixOut.c_str());
    texts.Say(S_SIGN_FAILED);
    return kNotBuilt;
  }
  return kBuilt;
}

// The tool folder beside the command (out/native/../dist in a checkout) unless one is given.
std::string DefaultTools() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  self[n] = 0;
  std::string dir(self);
  dir.erase(dir.rfind('/'));
  for (const std::string& c : {dir, dir + "/../dist"})
    if (access((c + "/bin/" + kEngineFile).c_str(), R_OK) == 0) return c;
  return dir;
}

bool ParseArgs(int argc, char** argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* to) {
      if (i + 1 >= argc) {
        *error = a + " needs a value";
        return false;
      }
      *to = argv[++i];
      return true;
    };
    if (a == "-o") {
      if (!value(&o->output)) return false;
    } else if (a == "--tools") {
      if (!value(&o->tools)) return false;
    } else if (a == "--sign") {
      if (!value(&o->sign)) return false;
      if (o->sign.empty()) {
        *error = "--sign needs a command";
        return false;
      }
    } else if (a == "--lang") {
      if (!value(&o->lang)) return false;
    } else if (a == "--drive") {
      std::string d;
      if (!value(&d)) return false;
      if (!o->drives.Set(d)) {
        *error = "--drive takes X=/path, not " + d;
        return false;
      }
    } else if (a == "--level") {
      std::string l;
      if (!value(&l)) return false;
      if (l.size() != 1 || l[0] < '0' || l[0] > '9') {
        *error = "--level takes a digit 0-9, not " + l;
        return false;
      }
      o->level = l[0];
    } else if (!a.empty() && a[0] == '-') {
      *error = "unknown option " + a;
      return false;
    } else if (o->project.empty()) {
      o->project = a;
    } else {
      *error = "more than one project: " + a;
      return false;
    }
  }
  if (o->project.empty()) {
    *error = "no project file given";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
    std::fputs(kUsage, stdout);
    return kBuilt;
  }
  Options o;
  std::string error;
  if (!ParseArgs(argc, argv, &o, &error)) {
    std::fputs(kUsage, stderr);
    return Fail(error);
  }
  if (const char* prefix = std::getenv("WINEPREFIX")) o.drives.FromPrefix(prefix);
  if (o.tools.empty()) o.tools = DefaultTools();

  // Lang\NAME.lng of the tool folder, found as the program finds it.
  std::string langFile, winLang;
  if (!o.lang.empty() && o.lang != "Polski") {
    bool found = UnixToWin(o.tools + "/Lang/" + o.lang + ".lng", &winLang) &&
                 WinToUnix(o.drives, winLang, &langFile) && access(langFile.c_str(), R_OK) == 0;
    if (!found) {
      std::fprintf(stderr, "packrift-build: no language file Lang/%s.lng in %s; the built-in texts are shown\n",
                   o.lang.c_str(), o.tools.c_str());
      langFile.clear();
    }
  }
  Texts texts(langFile);
  signal(SIGINT, OnInterrupt);
  signal(SIGTERM, OnInterrupt);
  return Build(o, texts);
}
