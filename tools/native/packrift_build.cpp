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
    "                      [--drive X=/path ...] [--level 0-9] [--sign \"COMMAND %1\"] [--print]\n";
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
  bool print = false;  // only show what the build would read, write and run
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
  // The same, naming `detail` (UTF-8: a file's path) after the text.
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

// Copies a file as the program's build does: a missing or unreadable source copies nothing; the
// target is created or replaced, never through a link, and never when it is the source itself
// (which the program's exclusive opening refuses too), so a copy cannot empty its own source.
bool CopyFile(const DriveMap& drives, const std::string& from, const std::string& to) {
  std::string src, dest;
  if (!WinToUnix(drives, from, &src) || !WinToUnix(drives, to, &dest)) return false;
  int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat is, os;
  int out = -1;
  bool ok = fstat(in, &is) == 0 && S_ISREG(is.st_mode) &&
            (out = ::open(dest.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666)) >= 0 &&
            fstat(out, &os) == 0 && S_ISREG(os.st_mode) && !(os.st_dev == is.st_dev && os.st_ino == is.st_ino) &&
            ftruncate(out, 0) == 0;
  std::vector<char> buf(1 << 16);
  while (ok) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t put = 0; ok && put < n;) {
      ssize_t w = ::write(out, buf.data() + put, static_cast<size_t>(n - put));
      if (w > 0) put += w;
      else ok = w < 0 && errno == EINTR;
    }
  }
  ::close(in);
  if (out >= 0 && ::close(out) != 0) ok = false;
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
BuildFields OpenProject(const Options& o, const Texts& texts, const GzcFileOps& ops, const WorkFolder& work,
                        bool* read = nullptr) {
  BuildFields f;
  if (read) *read = false;
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
    job.maxTotal = kProjectUnpackedMax;
    st = GzcUnpack(job, GzcSource{&ops, file, size, 0});
  }
  ops.close(ops.ctx, file);
  if (st != GZC_OK) texts.Say(S_UNPACK_ERROR);
  if (read) *read = st == GZC_OK;
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

// A path of the build's file layer as the program shows it: Windows separators after a drive.
std::string Shown(std::string p) {
  if (p.size() > 1 && p[1] == ':') std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}

// Packs a folder (a Windows path in UTF-8, or a Linux path) into an archive of the working "bin"
// folder with its progress bounds, names in UTF-8 as the program's Unicode walk sees them, leaving
// the file `leaveOut` (UTF-8; empty: none) out; *leftOut says whether the walk met it. A file no
// installer can carry (its name or its size) is named with its message; the file that could not be
// read, if one stopped it, goes into `unreadable`.
GzcStatus Pack(const GzcFileOps& ops, const Texts& texts, const WorkFolder& work, const std::string& folder,
               const char* name, const short bounds[2], char level, Progress* progress, std::string* unreadable,
               const std::string& leaveOut = "", bool* leftOut = nullptr) {
  std::string archive = work.Bin() + "/" + name, gz = work.Path("gz.tmp"), list = work.Path("list.txt");
  char mode[4] = {'w', 'b', level, 0};
  volatile short bar[2] = {bounds[0], bounds[1]};
  GzcHooks hooks = {};
  hooks.cancel = &cancelFlag;
  hooks.bounds = bar;
  hooks.progress = ShowPackProgress;
  hooks.ctx = progress;
  GzcPackJob job = {folder.c_str(), archive.c_str(), gz.c_str(), list.c_str(), mode, &ops, &hooks, 0, true,
                    leaveOut.empty() ? nullptr : leaveOut.c_str(), WinPathsSameUtf8};
  GzcPackResult result;
  GzcStatus st = GzcPack(job, &result);
  if (leftOut) *leftOut = result.leftOut;
  if (const StrDef* refused = RefusedFileMessage(result.refusedWhy)) {
    progress->End();
    texts.Say(*refused, Shown(result.refused));
    st = GZC_ERR_NAME;  // a file of 4 GiB too: named, like a name no installer can carry
  }
  for (const std::string& p : result.skipped)
    std::fprintf(stderr, "packrift-build: not packed (a link to a folder, a dangling link, a device, or a name "
                 "no archive can carry): %s\n", GzcShownName(Shown(p)).c_str());
  *unreadable = Shown(result.unreadable);
  return st;
}

// The shell script of a signing template: every "%1" becomes a reference to the script's first
// argument, quoted for where it stands ("$1" outside quotes, $1 inside double quotes, and the single
// quotes closed around it), so that %1, "%1" and '%1' all give the path as one word and nothing in
// the path is read by the shell.
std::string SignScript(const std::string& tmpl) {
  std::string script;
  char quote = 0;  // the quote the template is inside of: 0, '\'' or '"'
  for (size_t i = 0; i < tmpl.size(); ++i) {
    char c = tmpl[i];
    if (c == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == '1') {
      script += quote == '"' ? "$1" : quote == '\'' ? "'\"$1\"'" : "\"$1\"";
      ++i;
      continue;
    }
    script += c;
    if (c == '\\' && quote != '\'' && i + 1 < tmpl.size()) {
      script += tmpl[++i];  // escaped: no quote begins or ends there
    } else if (quote == 0 && (c == '\'' || c == '"')) {
      quote = c;
    } else if (c == quote) {
      quote = 0;
    }
  }
  return script;
}

// Signs `path` in place: /bin/sh runs SignScript(tmpl) with the path as its first argument, its
// output on standard error. True when no template is set or the command exited with 0.
bool SignFile(const std::string& tmpl, const std::string& path) {
  if (tmpl.empty()) return true;
  std::string cmd = SignScript(tmpl);
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execl("/bin/sh", "sh", "-c", cmd.c_str(), "sh", path.c_str(), (char*)nullptr);
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
    const DriveMap& drives;
    std::string init, cfg, licence;
  } target{ops, o.drives, init, cfg, f.licence};
  const BuildConfigIo io = {
      &target,
      [](void* c, const char* key, const char* value) {
        return WineProfileWriteFile(static_cast<Target*>(c)->init, kSectionCfg, key, value);
      },
      [](void* c) { return Read(static_cast<Target*>(c)->init, kSectionCfg, kCfgKeyLicence, "", kOldLicenceReadMax); },
      [](void* c, const std::string& name) {
        const Target* t = static_cast<Target*>(c);
        CopyFile(t->drives, t->licence, t->cfg + "/" + name);
      },
      [](void* c, const std::string& name) {
        const Target* t = static_cast<Target*>(c);
        t->ops.remove(t->ops.ctx, (t->cfg + "/" + name).c_str());
      }};
  bool ok = ApplyBuildConfig(PlanBuildConfig(f), io);
  if (!ok) return Fail("cannot write the installer configuration " + init);
  if (!CopyFile(o.drives, tools + "\\bin\\" + kUninstFile, cfg + "/" + kUninstFile)) {  // no installer without it
    texts.Say(S_OUTPUT_FAILED);
    return kNotBuilt;
  }
  // The uninstaller goes into the archive signed: it is installed as it is.
  if (!SignFile(o.sign, cfg + "/" + kUninstFile)) {
    texts.Say(S_SIGN_FAILED);
    return kNotBuilt;
  }

  Progress progress;
  if (isatty(STDERR_FILENO)) progress.label = texts.Get(S_PACK_CAPTION) + ": " + texts.Get(S_PACK_TOTAL);
  // The installer's archives carry names in UTF-8, as the program's Unicode walk reads them.
  const GzcFileOps ops8 = WinPathOps(&o.drives, true);
  std::string unreadable;
  GzcStatus st = Pack(ops8, texts, work, cfg, kCfgArchive, kPackCfgBounds, o.level, &progress, &unreadable);
  bool leftOut = false;
  if (st == GZC_OK)
    st = Pack(ops8, texts, work, Cp1250ToUtf8(NoTrailingSlash(f.folder)), kBinArchive, kPackBinBounds, o.level,
              &progress, &unreadable, Cp1250ToUtf8(f.output), &leftOut);
  if (leftOut) {
    progress.End();
    texts.Say(S_OUTPUT_LEFT_OUT);
  }
  bool written = st == GZC_OK && WriteOutput(ops, tools, work, f.output, &progress);
  progress.End();
  if (!cancelFlag) return Fail("cancelled; no installer was written");
  if (st == GZC_ERR_NAME) return kNotBuilt;  // named already
  if (st == GZC_ERR_SOURCE) {  // the program's message, naming the file
    texts.Say(S_READ_FAILED, unreadable);
    return kNotBuilt;
  }
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

// A Windows path of the project and the Linux path it maps to, in UTF-8.
std::string Mapped(const DriveMap& drives, const std::string& win) {
  std::string u;
  if (win.empty()) return "(none)";
  if (!WinToUnix(drives, win, &u)) return Cp1250ToUtf8(win) + "  (no such drive, or no path)";
  return Cp1250ToUtf8(win) + "  =  " + u;
}

// --print: every path the build of this project would read and write and the command it would run,
// without building, so that a project from someone else can be checked first. 0 when the project
// could be read.
int Print(const Options& o, const Texts& texts) {
  GzcFileOps ops = WinPathOps(&o.drives);
  WorkFolder work;
  if (!work.Make()) return Fail("cannot create a working folder");
  bool read = false;
  BuildFields f = OpenProject(o, texts, ops, work, &read);
  if (!read) return kNotBuilt;
  if (!o.output.empty() && !UnixToWin(o.output, &f.output))
    return Fail("the output's path has no Windows form: " + o.output);
  auto line = [](const char* what, const std::string& value) { std::printf("%-32s%s\n", what, value.c_str()); };
  std::string rel;
  line("project file (read):", o.project);
  line("program name:", Cp1250ToUtf8(f.name));
  line("program folder (read, packed):", Mapped(o.drives, f.folder));
  line("licence (read):", Mapped(o.drives, f.licence));
  if (!f.licence.empty()) line("  copied into the installer as:", Cp1250ToUtf8(LicenceCopyName(f.licence)));
  line("closing information (read):", Mapped(o.drives, f.info));
  if (InfoRelative(f.info, f.folder, &rel))
    line("  shown after installing:", Cp1250ToUtf8(rel) + " in the installation folder");
  line("installer (written):", Mapped(o.drives, f.output));
  line("tool folder (read):", o.tools);
  if (o.sign.empty()) {
    line("signing command (run):", "none");
  } else {
    line("signing command (run):", "/bin/sh -c '" + SignScript(o.sign) + "' sh FILE");
    line("  FILE, signed in place:", "the uninstaller in the working folder, then the installer");
  }
  BuildPathFault fault = CheckBuildPaths(f, Exists, &ops);
  if (fault != BUILD_PATHS_OK) line("the build would refuse it:", texts.Get(BuildPathMessage(fault)));
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
    } else if (a == "--print") {
      o->print = true;
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
  if (o.print) return Print(o, texts);
  signal(SIGINT, OnInterrupt);
  signal(SIGTERM, OnInterrupt);
  return Build(o, texts);
}
