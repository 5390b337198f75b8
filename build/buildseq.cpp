// The installer build's sequence and the opening of a project, shared by every build.
#include "build/buildseq.h"

#include <zlib.h>

#include <chrono>
#include <climits>
#include <vector>

#include "core/installerlayout.h"
#include "core/langpack.h"
#include "core/peimage.h"
#include "core/profile.h"

namespace {
const size_t kChunk = 1 << 20;  // bytes a read of the appending copies asks for
const short kFull = 100;  // percent of a bar

// The run of one build: its seam, places and settings, and what went wrong so far.
struct Run {
  const BuildSeam& s;
  BuildPlaces at;
  BuildSettings settings;
  BuildResult result;
  bool appendFailed = false;

  std::string In(const std::string& folder, const char* name) const { return folder + at.sep + name; }
  const GzcFileOps& Files() const { return *s.files; }
  bool Cancelled() const { return s.hooks.cancel && __atomic_load_n(s.hooks.cancel, __ATOMIC_RELAXED) == 0; }
  void Say(const StrDef& text, const char* name = nullptr, bool notice = false) const {
    if (s.message) s.message(s.ctx, text, name, notice);
  }
  void Bounds(const short b[2]) const {
    s.bounds[0] = b[0];
    s.bounds[1] = b[1];
  }
  void Show(short overall, short current) const {
    if (s.hooks.progress) s.hooks.progress(s.hooks.ctx, overall, current);
  }
};

// The pump of the packer's hooks, as the byte loops use it.
struct Pump {
  const GzcHooks& h;
  bool counts = h.pump && h.pumpQuiet && h.pumpSkip;
  void Once() const {
    if (h.pump) h.pump(h.ctx);
  }
  // Calls that would only count: without a pump, any number.
  unsigned Quiet() const { return counts ? h.pumpQuiet(h.ctx) : h.pump ? 0 : UINT_MAX; }
  void Skip(unsigned n) const {
    if (counts) h.pumpSkip(h.ctx, n);
  }
};

// Progress of an append: the values shown change only at a few byte positions, so the next such
// position is worked out and the per-byte point stays a compare.
struct AppendProgress {
  const Run& run;
  uint64_t length;
  short lo, hi;
  uint64_t next = 0;
  short shownOverall = -1;
  std::chrono::steady_clock::time_point sentAt{};
  void At(uint64_t i) {
    if (i < next) return;
    short file = (short)((double)kFull * (double)i / (double)length);
    float frac = (float)i / (float)length;
    short overall = (short)(lo + (float)(hi - lo) * frac);
    // Each report may be a message to another thread, which shows it: both bars go at most every
    // few ms (a copy passes a percent in a fraction of one), its first position and its end always.
    auto now = std::chrono::steady_clock::now();
    if (shownOverall < 0 || now - sentAt >= std::chrono::milliseconds(run.s.hooks.minIntervalMs)) {
      run.Show(overall, file);
      shownOverall = overall;
      sentAt = now;
    }
    // Smallest i whose file or overall value differs: step to the next whole percent of either.
    uint64_t nf = (uint64_t)(((double)file + 1) * (double)length / (double)kFull);
    uint64_t no = hi > lo ? (uint64_t)(((double)(overall - lo) + 1) * (double)length / (double)(hi - lo)) : length;
    next = nf < no ? nf : no;
    if (next > i + 1) next -= 1;  // float rounding: look one byte early rather than late
    else next = i + 1;
  }
};

// Copies src to dest as the build's byte loops do: cancel check (when `cancellable`), one pump,
// the byte, a progress point; `sum` (if given) takes the CRC-32 of what was written. False when a
// read or a write failed.
bool CopyBytes(const Run& run, void* src, void* dest, bool cancellable, uLong* sum = nullptr) {
  const GzcFileOps& f = run.Files();
  uint64_t length = 0;
  if (!f.size(f.ctx, src, &length)) return false;
  AppendProgress prog{run, length, run.s.bounds[0], run.s.bounds[1]};
  const Pump pump{run.s.hooks};
  // The flag is written by another thread: read afresh (atomically) at every check.
  const volatile unsigned char* cancel = cancellable ? run.s.hooks.cancel : nullptr;
  auto goOn = [cancel] { return __atomic_load_n(cancel, __ATOMIC_RELAXED) != 0; };
  std::vector<char> in(kChunk);
  uint64_t i = 0;
  for (;;) {
    size_t got = f.read(f.ctx, src, in.data(), in.size());
    if (got == 0) return i == length;  // a short file is a failed read
    // Bytes in[0 .. put) have passed their points and are written.
    size_t put = 0;
    bool stop = false;
    while (put < got) {
      // The bytes before the next point that does more than count (the next progress position or
      // the pump's next look at the queue) go as a run: their cancel checks are one look at the
      // flag (a flag that turns while the run passes is seen at the next point, as if it had
      // turned just after the run), and their pump calls are counted at once.
      size_t span = got - put;
      if (prog.next <= i) span = 0;
      else if (prog.next - i < span) span = (size_t)(prog.next - i);
      unsigned quiet = pump.Quiet();
      if (quiet < span) span = quiet;
      if (span == 0) {  // this byte's points one by one
        if (cancel && !goOn()) {
          stop = true;
          break;
        }
        pump.Once();
        prog.At(i);
        ++i;
        ++put;
        continue;
      }
      if (cancel && !goOn()) {
        stop = true;
        break;
      }
      pump.Skip((unsigned)span);
      i += span;
      put += span;
    }
    if (put && !f.write(f.ctx, dest, in.data(), put)) return false;
    if (sum) *sum = crc32(*sum, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(put));
    if (stop) return true;
  }
}

// Signs a file in place with the command of this build's settings; true when none is set.
bool Sign(const Run& run, const std::string& path) {
  if (run.settings.signBroken) return false;
  if (run.settings.signTemplate.empty()) return true;
  return run.s.sign && run.s.sign(run.s.ctx, run.settings.signTemplate, path.c_str());
}

// Packs `folder` into the archive `name` of the working "bin" folder with the step's bounds. A file
// that cannot be read, or that no installer can carry (its name or its size), is named at once.
GzcStatus Pack(Run& run, const std::string& folder, const char* name, const short bounds[2],
               const std::string& leaveOut, bool* leftOut, uint32_t kind = GZC_ARCHIVE_GZIP) {
  run.Bounds(bounds);
  const bool utf8 = run.s.packFiles != nullptr;
  auto in = [&run, utf8](const std::string& p) { return utf8 && run.s.packPath ? run.s.packPath(run.s.ctx, p) : p; };
  std::string dir = in(folder), archive = in(run.In(run.at.bin, name)), gz = in(run.In(run.at.work, "gz.tmp")),
              list = in(run.In(run.at.work, "list.txt")), leave = leaveOut.empty() ? "" : in(leaveOut);
  GzcHooks hooks = run.s.hooks;
  hooks.bounds = run.s.bounds;
  GzcPackJob job = {};
  job.folder = dir.c_str();
  job.archive = archive.c_str();
  job.gzTmp = gz.c_str();
  job.listFile = list.c_str();
  job.mode = run.settings.mode.c_str();
  job.kind = kind;
  job.files = utf8 ? run.s.packFiles : run.s.files;
  job.hooks = &hooks;
  job.utf8Names = utf8;
  job.leaveOut = leave.empty() ? nullptr : leave.c_str();
  job.same = utf8 ? run.s.packSame : run.s.same;
  GzcPackResult packed;
  GzcStatus st = run.at.bin.empty() || run.at.work.empty() ? GZC_ERR_ARCHIVE : GzcPack(job, &packed);
  if (leftOut) *leftOut = packed.leftOut;
  if (run.s.skipped)
    for (const std::string& p : packed.skipped) run.s.skipped(run.s.ctx, p);
  if (st == GZC_ERR_SOURCE) run.Say(S_READ_FAILED, packed.unreadable.c_str());
  if (const StrDef* refused = RefusedFileMessage(packed.refusedWhy)) {
    run.Say(*refused, packed.refused.c_str());
    st = GZC_ERR_NAME;  // a file of 4 GiB too: named, like a name no installer can carry
  }
  return st;
}

// Appends a file of the working "bin" folder to `dest` with the step's bounds; a part missing
// after a cancel was deleted by it, otherwise the installer would lack it.
void DoklejPlik(Run& run, const std::string& path, void* dest, uLong* sum) {
  const GzcFileOps& f = run.Files();
  void* src = f.open(f.ctx, path.c_str(), false);
  if (src ? !CopyBytes(run, src, dest, true, sum) : !run.Cancelled()) run.appendFailed = true;
  if (src) f.close(f.ctx, src);
  run.Show(run.s.bounds[1], kFull);
}

// What the build leaves when it cannot write the output: no broken file of its own making.
void OutputFailed(const Run& run, const std::string& output, bool made) {
  if (made) run.Files().remove(run.Files().ctx, output.c_str());
  run.Say(S_OUTPUT_FAILED);
}

// "rc.bin" (the marker, the archives' checksums, the language data, both archives) in the working
// folder, then the output: the engine's bytes and "rc.bin", signed. True when the output was written.
bool MakeRcBin(Run& run) {
  const GzcFileOps& f = run.Files();
  std::string rc = run.In(run.at.work, kRcMarker);
  void* out = run.at.work.empty() ? nullptr : f.open(f.ctx, rc.c_str(), true);
  // The checksums are known once the archives are copied: their place is kept, then filled. A
  // cancelled build that goes on appends nothing behind the marker, as it always has.
  unsigned char sums[kRcSumsLength] = {0};
  const bool summed = !run.Cancelled();
  if (!out || !f.write(f.ctx, out, kRcMarker, kRcMarkerLength) || (summed && !f.write(f.ctx, out, sums, sizeof sums)))
    run.appendFailed = true;
  uLong sum[2] = {crc32(0L, Z_NULL, 0), crc32(0L, Z_NULL, 0)};
  for (const RcPart& p : kRcParts) {
    if (!out) break;
    const short bounds[2] = {p.lo, p.hi};
    run.Bounds(bounds);
    const int archive = &p - kRcParts - 1;  // the language data, then the two archives
    DoklejPlik(run, run.In(run.at.bin, p.name), out, archive >= 0 ? &sum[archive] : nullptr);
  }
  for (size_t i = 0; i < sizeof sums; ++i) sums[i] = static_cast<unsigned char>(sum[i / 4] >> (8 * (i % 4)));
  if (out && summed && (!f.seek(f.ctx, out, kRcMarkerLength) || !f.write(f.ctx, out, sums, sizeof sums)))
    run.appendFailed = true;
  if (out && !f.close(f.ctx, out)) run.appendFailed = true;

  std::string output = run.s.fields(run.s.ctx).output;  // read now: the window's field may have changed
  if (run.s.cancelStops && run.Cancelled()) return false;
  if (run.appendFailed) {
    OutputFailed(run, output, false);
    return false;
  }
  bool made = false;
  std::string engine = run.In(run.at.toolBin, kEngineFile);
  void* dest = run.s.openOutput(run.s.ctx, engine.c_str(), output.c_str(), &made);
  void* src = dest ? f.open(f.ctx, rc.c_str(), false) : nullptr;
  run.Bounds(kRcCopyBounds);
  bool ok = src && CopyBytes(run, src, dest, false);
  if (src) f.close(f.ctx, src);
  if (dest && !f.close(f.ctx, dest)) ok = false;
  if (!ok) {
    OutputFailed(run, output, dest || made);
    return false;
  }
  if (run.s.cancelStops && run.Cancelled()) {
    f.remove(f.ctx, output.c_str());
    return false;
  }
  // A signing command that fails leaves no unsigned installer under the output's name.
  if (!Sign(run, output)) {
    f.remove(f.ctx, output.c_str());
    run.Say(S_SIGN_FAILED);
    return false;
  }
  run.Show(kFull, kFull);
  return true;
}

bool Exists(void* files, const char* path) {
  const GzcFileOps* f = static_cast<const GzcFileOps*>(files);
  return f->kind(f->ctx, path) != GZC_KIND_NONE;
}

// Up to `cap` bytes of a file from `offset`; "" when it cannot be opened.
std::string ReadPart(const GzcFileOps& f, const std::string& path, uint64_t offset, size_t cap) {
  std::string data;
  void* file = f.open(f.ctx, path.c_str(), false);
  if (!file) return data;
  if (f.seek(f.ctx, file, offset)) {
    data.resize(cap);
    size_t got = 0, n = 0;
    while (got < cap && (n = f.read(f.ctx, file, &data[got], cap - got)) > 0) got += n;
    data.resize(got);
  }
  f.close(f.ctx, file);
  return data;
}

// The program's main file as a list line of the program folder: the first shortcut's target (the
// desktop's, then the start menu's), else the first ".exe" by name at the top of the folder.
std::string MainFile(const Run& run, const std::string& folder) {
  const GzcFileOps& f = run.Files();
  const std::string lnk = ReadPart(f, run.In(run.at.cfg, kLnkFile), 0, kProjectUnpackedMax);
  const char* families[2][2] = {{kSectionDesktop, kSectionIndexDesktop}, {kSectionMenu, kSectionIndexMenu}};
  std::string v;
  for (const auto& fam : families) {
    int max = ProfileTextFind(lnk, fam[1], kKeyMax, &v) ? ProfileParseInt(ProfileStripQuotes(v).c_str()) : 0;
    for (int i = 1; i < max && i <= 65536; ++i)
      if (ProfileTextFind(lnk, fam[0], std::to_string(i).c_str(), &v) && !(v = ProfileStripQuotes(v)).empty()) return v;
  }
  std::string first;
  struct Walk {
    std::string* first;
  } walk{&first};
  f.listDir(f.ctx, folder.c_str(), [](void* c, const char* name, GzcKind kind) {
    std::string n = name, *first = static_cast<Walk*>(c)->first;
    for (char& ch : n) ch = (ch >= 'A' && ch <= 'Z') ? char(ch + 32) : ch;
    if (kind != GZC_KIND_DIR && n.size() > 4 && n.compare(n.size() - 4, 4, ".exe") == 0 && (first->empty() || name < *first))
      *first = name;
  }, &walk);
  return first;
}

// A UTF-8 text in code page 1250, the list files' own; false when a character has no place there.
bool ToCp1250(const std::string& utf8, std::string* out) {
  out->clear();
  unsigned cp;
  for (size_t i = 0; i < utf8.size();) {
    if (!GzcNextUtf8(utf8.data(), utf8.size(), &i, &cp)) return false;
    int b = 255;
    while (b > 0 && GzcCp1250Char((unsigned char)b) != cp) --b;
    if (b == 0) return false;
    *out += char(b);
  }
  return true;
}

// The version resource of the program's main file gives the registration's version and publisher,
// and that file is its icon; keys that do not apply go, so that an older build's stay nowhere.
bool WriteVersion(const Run& run, const BuildFields& fields) {
  const GzcFileOps& f = run.Files();
  const std::string folder = NoTrailingSlash(fields.folder), ini = run.In(run.at.cfg, kInitFile);
  std::string rel = MainFile(run, folder), path, publisher;
  PeVersion v;
  bool got = false;
  uint64_t at;
  uint32_t size, rva;
  if (!rel.empty() && dircat(&path, folder.c_str(), rel.data(), rel.size())) {
    std::string head = ReadPart(f, path, 0, PE_HEAD_MAX), rsrc;
    if (PeResourceSpan((const unsigned char*)head.data(), head.size(), &at, &size, &rva) && size <= kProjectUnpackedMax)
      rsrc = ReadPart(f, path, at, size);
    got = !rsrc.empty() && PeVersionInfo((const unsigned char*)rsrc.data(), rsrc.size(), rva, &v);
  } else {
    rel.clear();
  }
  if (rel.size() >= GZC_PATH_MAX) rel.clear();
  if (!got || !ToCp1250(v.publisher, &publisher) || publisher.size() >= kProgramNameMax) publisher.clear();
  auto put = [&](const char* key, const std::string& value) {
    return run.s.writeProfile(run.s.ctx, ini.c_str(), key, value.empty() ? nullptr : value.c_str());
  };
  return put(kCfgKeyVersion, got ? v.version : "") && put(kCfgKeyPublisher, publisher) && put(kCfgKeyIcon, rel);
}

// Writes section "cfg" of "init.cfg" and the licence's copy.
bool WriteConfig(const Run& run, const BuildFields& fields) {
  struct Target {
    const Run& run;
    std::string ini;
    const std::string& licence;
  } target{run, run.In(run.at.cfg, kInitFile), fields.licence};
  const BuildConfigIo io = {
      &target,
      [](void* c, const char* key, const char* value) {
        const Target* t = static_cast<Target*>(c);
        return t->run.s.writeProfile(t->run.s.ctx, t->ini.c_str(), key, value);
      },
      [](void* c) {
        const Target* t = static_cast<Target*>(c);
        return t->run.s.readProfile(t->run.s.ctx, t->ini.c_str(), kCfgKeyLicence, kOldLicenceReadMax);
      },
      [](void* c, const std::string& name) {
        const Target* t = static_cast<Target*>(c);
        t->run.s.copy(t->run.s.ctx, t->licence.c_str(), t->run.In(t->run.at.cfg, name.c_str()).c_str());
      },
      [](void* c, const std::string& name) {
        const Target* t = static_cast<Target*>(c);
        t->run.Files().remove(t->run.Files().ctx, t->run.In(t->run.at.cfg, name.c_str()).c_str());
      }};
  return !run.at.cfg.empty() && ApplyBuildConfig(PlanBuildConfig(fields), io) && WriteVersion(run, fields);
}

// The tool folder's language data, packed, into the working "bin" folder.
bool PackLang(const Run& run) {
  const GzcFileOps& f = run.Files();
  void* in = f.open(f.ctx, run.In(run.at.toolBin, kLangFile).c_str(), false);
  if (!in) return false;
  uint64_t length = 0;
  std::string data;
  if (f.size(f.ctx, in, &length) && length <= kLangUnpackedMax) {
    data.resize((size_t)length);
    size_t got = 0, n = 0;
    while (got < data.size() && (n = f.read(f.ctx, in, &data[got], data.size() - got)) > 0) got += n;
    if (got < data.size()) length = ~0ull;  // a short read
  }
  f.close(f.ctx, in);
  const std::string packed = length <= kLangUnpackedMax ? LangPack(data) : std::string();
  void* out = packed.empty() || run.at.bin.empty() ? nullptr : f.open(f.ctx, run.In(run.at.bin, kLangFile).c_str(), true);
  if (!out) return false;
  const bool written = f.write(f.ctx, out, packed.data(), packed.size());
  return f.close(f.ctx, out) && written;
}

// From the uninstaller's copy to the output; the build has started.
void BuildStarted(Run& run) {
  std::string uninst = run.In(run.at.cfg, kUninstFile);
  if (!run.s.copy(run.s.ctx, run.In(run.at.toolBin, kUninstFile).c_str(), uninst.c_str())) {
    run.Say(S_OUTPUT_FAILED);  // an installer without its uninstaller
    return;
  }
  // The uninstaller goes into the archive signed: it is installed as it is.
  if (!Sign(run, uninst)) {
    run.Say(S_SIGN_FAILED);
    return;
  }
  if (run.s.progressOpen) run.s.progressOpen(run.s.ctx);

  // A packing that fails stops the build (a file that cannot be read has been named already). A
  // cancel stops it or goes on, as the seam says. An installer built into its own program folder
  // is not packed into the next one.
  BuildFields fields = run.s.fields(run.s.ctx);
  auto goesOn = [&](GzcStatus st) { return st == GZC_OK || (st == GZC_CANCELLED && !run.s.cancelStops); };
  bool leftOut = false;
  GzcStatus st = Pack(run, run.at.cfg, kCfgArchive, kPackCfgBounds, "", nullptr);
  if (goesOn(st)) {
    GzcStatus bin = Pack(run, NoTrailingSlash(fields.folder), kBinArchive, kPackBinBounds, fields.output, &leftOut,
                         run.settings.lzma ? GZC_ARCHIVE_LZMA : GZC_ARCHIVE_GZIP);
    if (bin != GZC_OK) st = bin;
  }
  run.result.packed = st;
  if (goesOn(st)) {
    if (!PackLang(run)) run.appendFailed = true;
    run.result.written = MakeRcBin(run);
  } else if (st != GZC_ERR_SOURCE && st != GZC_ERR_NAME && st != GZC_CANCELLED) {
    run.Say(S_OUTPUT_FAILED);
  }
  if (run.s.progressClose) run.s.progressClose(run.s.ctx);
  if (leftOut) run.Say(S_OUTPUT_LEFT_OUT, nullptr, true);  // with the progress closed, a box holds up no step
}
}  // namespace

BuildResult RunBuild(const BuildSeam& seam) {
  Run run{seam, {}, seam.settings ? seam.settings(seam.ctx) : BuildSettings{}, {}};
  BuildFields fields = seam.fields(seam.ctx);
  BuildPathFault fault = CheckBuildPaths(fields, Exists, const_cast<GzcFileOps*>(seam.files));
  if (fault != BUILD_PATHS_OK) {
    run.Say(BuildPathMessage(fault));
    return run.result;
  }
  seam.places(seam.ctx, &run.at);
  const GzcFileOps& f = run.Files();
  for (const char* name : kToolFiles) {  // nothing is touched without the engine and its companions
    GzcKind kind = run.at.toolBin.empty() ? GZC_KIND_NONE : f.kind(f.ctx, run.In(run.at.toolBin, name).c_str());
    if (kind == GZC_KIND_NONE || kind == GZC_KIND_DIR) {
      run.Say(S_TOOL_FILES_MISSING);
      return run.result;
    }
  }
  if (!WriteConfig(run, fields)) {
    run.result.configFailed = true;
    run.Say(S_OUTPUT_FAILED);
    return run.result;
  }
  if (seam.running) seam.running(seam.ctx, true);
  BuildStarted(run);
  run.result.cancelled = run.Cancelled();
  if (run.result.cancelled) run.result.written = false;
  if (seam.running) seam.running(seam.ctx, false);
  return run.result;
}

GzcStatus UnpackProject(const GzcFileOps* files, void* file, const std::string& cfg, const std::string& gzTmp) {
  uint64_t size = 0;
  if (!files->seek(files->ctx, file, 0) || !files->size(files->ctx, file, &size)) return GZC_ERR_READ;
  GzcUnpackJob job = {};
  job.dest = cfg.c_str();
  job.gzTmp = gzTmp.c_str();
  job.createFolders = false;  // a project with folders is no project of the program's
  job.files = files;
  job.maxTotal = kProjectUnpackedMax;
  return GzcUnpack(job, GzcSource{files, file, size, 0});
}

BuildFields ProjectFields(std::string (*read)(void* ctx, const char* section, const char* key, size_t cap),
                          void* ctx) {
  BuildFields f;
  std::string* fields[5] = {&f.name, &f.folder, &f.output, &f.licence, &f.info};
  const char* const keys[5] = {"1", "2", "3", "4", "5"};
  for (int i = 0; i < 5; ++i) *fields[i] = read(ctx, kProjectFieldSection, keys[i], kProjectFieldMax);
  return f;
}
