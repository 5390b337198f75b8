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

#include "core/buildplan.h"
#include "build/buildseq.h"
#include "core/gzcformat.h"
#include "core/profile.h"
#include "lang/strings.h"
#include "prversion.h"
#include "tools/native/winpaths.h"
#include "tools/native/wineprofile.h"

namespace {

const char kUsage[] =
    "Usage: packrift-build [OPTION]... PROJECT.kpj\n";
const char kHelp[] =
    "Builds the Windows installer of a Packrift project file, byte for byte as\n"
    "\"Packrift.exe /build PROJECT.kpj\" writes it under Wine.\n"
    "\n"
    "Options:\n"
    "  -o SETUP.exe          write the installer there, not to the project's installer field\n"
    "  --tools FOLDER        the tool folder (bin/Packrift.dat, bin/UnInst.dat, bin/Lang.dat)\n"
    "  --flavour i686|x64    the installed tool folder of that flavour (default i686)\n"
    "  --lang NAME           messages in the language of the tool folder's Lang/NAME.lng\n"
    "  --drive X=/path       Windows drive X: is that folder (repeatable)\n"
    "  --level 0-9           the compression level (default 6)\n"
    "  --lzma                the program's files as one solid LZMA stream: a smaller\n"
    "                        installer, slower to build and to install\n"
    "  --gzip                each file compressed on its own (the default)\n"
    "  --sign \"COMMAND %1\"   sign the uninstaller and the installer (%1: the file's path)\n"
    "  --print               show every path the project reads and writes and the command it\n"
    "                        would run, and build nothing\n"
    "  -h, --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  a whole installer was written\n"
    "  2  no whole installer was written; the reason is on standard error\n";
const int kBuilt = 0;
const int kNotBuilt = 2;
const size_t kLookupMax = 64;   // bytes of a looked-up text, terminator included

struct Options {
  std::string project, output, tools, lang;
  std::string flavour;  // i686 or x64: picks the default tool folder; empty: i686
  std::string sign;  // the signing command template, "%1" for the file; empty: no signing
  DriveMap drives;
  char level = '6';
  bool lzma = false;   // the program archive as one solid LZMA stream
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
  const std::string& Dir() const { return dir_; }
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

// Opens the project as the program does on its command line: unpacks it into the cfg folder and
// reads the five fields from "Project.ini", which is then removed. A project that cannot be read
// shows the unpacking message and leaves the fields empty.
BuildFields OpenProject(const Options& o, const Texts& texts, const GzcFileOps& ops, const WorkFolder& work,
                        bool* read = nullptr) {
  if (read) *read = false;
  std::string project;
  void* file = UnixToWin(o.project, &project) ? ops.open(ops.ctx, project.c_str(), false) : nullptr;
  if (!file) {
    texts.Say(S_UNPACK_ERROR);
    return BuildFields();
  }
  std::string cfg = work.Cfg();
  GzcStatus st = UnpackProject(&ops, file, cfg, work.Path("gz.tmp"));
  ops.close(ops.ctx, file);
  if (st != GZC_OK) texts.Say(S_UNPACK_ERROR);
  if (read) *read = st == GZC_OK;
  std::string ini;
  WinToUnix(o.drives, cfg + "/" + kProjectIni, &ini);
  auto value = [](void* ini, const char* section, const char* key, size_t cap) {
    return Read(*static_cast<std::string*>(ini), section, key, "", cap);
  };
  BuildFields f = ProjectFields(value, &ini);
  ops.remove(ops.ctx, (cfg + "/" + kProjectIni).c_str());
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

// The build of one project: what the shared sequence reads and where it reports.
struct NativeBuild {
  const Options& o;
  const Texts& texts;
  GzcFileOps ops;
  const WorkFolder& work;
  std::string tools;  // the tool folder's Windows form
  BuildFields fields;
  Progress progress;
  volatile short bounds[2] = {0, 100};
};

NativeBuild& Of(void* ctx) { return *static_cast<NativeBuild*>(ctx); }

std::string Unix(const NativeBuild& b, const char* path) {
  std::string u;
  return WinToUnix(b.o.drives, path, &u) ? u : "";
}

BuildFields SeamFields(void* ctx) { return Of(ctx).fields; }

BuildSettings SeamSettings(void* ctx) {
  BuildSettings s;
  s.mode = std::string("wb") + Of(ctx).o.level;
  s.lzma = Of(ctx).o.lzma;
  s.signTemplate = Of(ctx).o.sign;
  return s;
}

void SeamPlaces(void* ctx, BuildPlaces* at) {
  const NativeBuild& b = Of(ctx);
  at->toolBin = b.tools + "\\bin";
  at->cfg = b.work.Cfg();
  at->bin = b.work.Bin();
  at->work = b.work.Dir();
  at->sep = '/';
}

bool SeamWriteProfile(void* ctx, const char* ini, const char* key, const char* value) {
  std::string u = Unix(Of(ctx), ini);
  return !u.empty() && WineProfileWriteFile(u, kSectionCfg, key, value);
}

std::string SeamReadProfile(void* ctx, const char* ini, const char* key, size_t cap) {
  return Read(Unix(Of(ctx), ini), kSectionCfg, key, "", cap);
}

bool SeamCopy(void* ctx, const char* from, const char* to) { return CopyFile(Of(ctx).o.drives, from, to); }

// The output created or replaced (executable, as Wine makes a file named .exe) with the engine's
// bytes in it.
void* SeamOpenOutput(void* ctx, const char* engine, const char* output, bool* made) {
  NativeBuild& b = Of(ctx);
  *made = false;
  std::string unixOut = Unix(b, output);
  if (unixOut.empty()) return nullptr;
  size_t n = unixOut.size();
  bool exe = n >= 4 && strcasecmp(unixOut.c_str() + n - 4, ".exe") == 0;
  int fd = ::open(unixOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, exe ? 0777 : 0666);
  if (fd < 0) return nullptr;
  *made = true;
  FILE* out = fdopen(fd, "wb");  // a handle of WinPathOps, whose writing is the C runtime's
  if (!out) {
    ::close(fd);
    return nullptr;
  }
  void* in = b.ops.open(b.ops.ctx, engine, false);
  std::vector<char> buf(1 << 20);
  bool ok = in != nullptr;
  for (size_t got; ok && (got = b.ops.read(b.ops.ctx, in, buf.data(), buf.size())) > 0;)
    ok = std::fwrite(buf.data(), 1, got, out) == got;
  if (in) b.ops.close(b.ops.ctx, in);
  if (!ok) {
    std::fclose(out);
    return nullptr;
  }
  return out;
}

bool SeamSign(void* ctx, const std::string& tmpl, const char* path) {
  std::string u = Unix(Of(ctx), path);
  return !u.empty() && SignFile(tmpl, u);
}

void SeamMessage(void* ctx, const StrDef& text, const char* name, bool) {
  NativeBuild& b = Of(ctx);
  b.progress.End();
  if (name) b.texts.Say(text, Shown(name));
  else b.texts.Say(text);
}

void SeamSkipped(void*, const std::string& path) {
  std::fprintf(stderr, "packrift-build: not packed (a link to a folder, a dangling link, a device, or a name "
               "no archive can carry): %s\n", GzcShownName(Shown(path)).c_str());
}

// A path of the build's file layer as the packings' UTF-8 layer takes it: a Windows path (a field,
// code page 1250) converted, a Linux path (the working folder's) as it is.
std::string SeamPackPath(void*, const std::string& path) {
  return !path.empty() && path[0] == '/' ? path : Cp1250ToUtf8(path);
}

void SeamProgressOpen(void* ctx) {
  NativeBuild& b = Of(ctx);
  if (isatty(STDERR_FILENO)) b.progress.label = b.texts.Get(S_PACK_CAPTION) + ": " + b.texts.Get(S_PACK_TOTAL);
}

void SeamProgressClose(void* ctx) { Of(ctx).progress.End(); }

int Build(const Options& o, const Texts& texts) {
  GzcFileOps ops = WinPathOps(&o.drives);
  WorkFolder work;
  if (!work.Make()) return Fail("cannot create a working folder");
  std::string tools;
  if (!UnixToWin(o.tools, &tools)) return Fail("the tool folder's path has no Windows form: " + o.tools);

  BuildFields f = OpenProject(o, texts, ops, work);
  if (!o.output.empty() && !UnixToWin(o.output, &f.output))
    return Fail("the output's path has no Windows form: " + o.output);
  NativeBuild b{o, texts, ops, work, tools, f, {}};
  BuildSeam seam = {};
  seam.ctx = &b;
  seam.fields = SeamFields;
  seam.settings = SeamSettings;
  seam.places = SeamPlaces;
  seam.files = &b.ops;
  seam.same = WinPathsSame;
  seam.writeProfile = SeamWriteProfile;
  seam.readProfile = SeamReadProfile;
  seam.copy = SeamCopy;
  seam.openOutput = SeamOpenOutput;
  seam.sign = SeamSign;
  // The packings read names as UTF-8, as the program's Unicode walk does.
  const GzcFileOps ops8 = WinPathOps(&o.drives, true);
  seam.packFiles = &ops8;
  seam.packPath = SeamPackPath;
  seam.packSame = WinPathsSameUtf8;
  seam.message = SeamMessage;
  seam.skipped = SeamSkipped;
  seam.progressOpen = SeamProgressOpen;
  seam.progressClose = SeamProgressClose;
  seam.hooks.cancel = &cancelFlag;
  seam.hooks.progress = ShowPackProgress;
  seam.hooks.ctx = &b.progress;
  seam.bounds = b.bounds;
  seam.cancelStops = true;
  BuildResult r = RunBuild(seam);
  b.progress.End();
  if (r.cancelled) return Fail("cancelled; no installer was written");
  if (r.configFailed) return Fail("cannot write the installer configuration " + work.Cfg() + "/" + kInitFile);
  if (r.packed != GZC_OK && r.packed != GZC_ERR_SOURCE && r.packed != GZC_ERR_NAME) Fail(std::string("packing failed: ") + GzcStatusText(r.packed));
  return r.written ? kBuilt : kNotBuilt;
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

// The tool folder of the flavour beside the command: its own folder, ../dist in a checkout
// (out/native/../dist), ../share/packrift/dist where the package installed it; "-x64" for x64.
std::string DefaultTools(const std::string& flavour) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  self[n] = 0;
  std::string dir(self);
  dir.erase(dir.rfind('/'));
  std::string dist = flavour == "x64" ? "dist-x64" : "dist";
  for (const std::string& c : {dir, dir + "/../" + dist, dir + "/../share/packrift/" + dist})
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
    } else if (a == "--lzma" || a == "--gzip") {
      o->lzma = a == "--lzma";
    } else if (a == "--flavour") {
      if (!value(&o->flavour)) return false;
      if (o->flavour != "i686" && o->flavour != "x64") {
        *error = "--flavour takes i686 or x64, not " + o->flavour;
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
  if (!o->tools.empty() && !o->flavour.empty()) {
    *error = "--tools and --flavour both name the tool folder: give one";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return kBuilt;
  }
  if (argc == 2 && !std::strcmp(argv[1], "--version")) {
    std::puts("packrift-build (Packrift) " PR_VERSION);
    return kBuilt;
  }
  Options o;
  std::string error;
  if (!ParseArgs(argc, argv, &o, &error)) {
    std::fputs(kUsage, stderr);
    return Fail(error);
  }
  if (const char* prefix = std::getenv("WINEPREFIX")) o.drives.FromPrefix(prefix);
  if (o.tools.empty()) o.tools = DefaultTools(o.flavour);

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
