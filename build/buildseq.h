// The installer build and the opening of a project, written once: the program's build button, its
// unattended build and the native packrift-build all run this sequence, each through its own seam
// (files, progress, messages, the signing runner). No Win32 here.
#pragma once

#include <string>

#include "core/buildplan.h"
#include "core/gzcformat.h"
#include "lang/strings.h"

// The settings a build uses, copied once at its start: a change in the settings dialog meanwhile
// applies to the next build.
struct BuildSettings {
  std::string mode = "wb6";  // gzopen mode: "wb" and a level digit ("wb" alone: zlib's default)
  std::string signTemplate;  // the signing command, "%1" for the file's path; empty: no signing
  bool signBroken = false;   // a signing command was asked for but cannot be used: every signing fails
  bool lzma = false;         // the program archive as one solid LZMA stream (the configuration stays gzip)
};

// Where a build works, as paths `files` opens; folders without a trailing separator.
struct BuildPlaces {
  std::string toolBin;  // the tool folder's "bin": the engine, the uninstaller, the language data
  std::string cfg;      // the working "cfg" folder, packed as the installer configuration
  std::string bin;      // the working "bin" folder: the two archives and the language data's copy
  std::string work;     // the working folder: "rc.bin" and the packer's scratch files
  char sep = '\\';      // put between a folder and a name
};

// ---- The seam: what differs between the builds ----------------------------------------------------
// Every hook runs on the calling thread. ctx is passed to each hook; `files` and `same` get
// files->ctx.
struct BuildSeam {
  void* ctx;
  // The fields, asked for the path check and the configuration, again before the packing and again
  // before the output is written (the program's window stays editable meanwhile). Required.
  BuildFields (*fields)(void* ctx);
  // The settings, asked once at the start. Null: BuildSettings' defaults.
  BuildSettings (*settings)(void* ctx);
  // The folders of this build. Required; an unknown one stays empty and fails the step that needs it.
  void (*places)(void* ctx, BuildPlaces* out);
  // Every check, copy, removal and the packing go through these. Required.
  const GzcFileOps* files;
  // Whether two paths name one file or folder, links followed (the output left out of the walk).
  // Null: paths compared as text.
  bool (*same)(void* ctx, const char* a, const char* b);
  // Section "cfg" of the profile file `ini`: writes `key` (value null: removes it), false when it
  // could not; reads `key` cut to cap - 1 bytes, empty when missing. Required.
  bool (*writeProfile)(void* ctx, const char* ini, const char* key, const char* value);
  std::string (*readProfile)(void* ctx, const char* ini, const char* key, size_t cap);
  // Copies a whole file: the target created or replaced, never through a link and never over its
  // own source; false when nothing or not all was copied. Required.
  bool (*copy)(void* ctx, const char* from, const char* to);
  // The output begun: the engine's bytes (`engine`) at `output`, returned open for writing after
  // them as a handle of `files` (closed by the build). Null on failure, with *made saying whether
  // a file was made or replaced at `output` (the build then deletes it). Required.
  void* (*openOutput)(void* ctx, const char* engine, const char* output, bool* made);
  // The signing runner: runs the command template on `path` (signed in place) and waits for it;
  // true when it exited with 0. Null: every signing with a template fails.
  bool (*sign)(void* ctx, const std::string& tmpl, const char* path);
  // The file layer of the two packings, whose paths and names are UTF-8, so that an installer
  // carries every name as the file system holds it (flagged in the archive where one is not
  // ASCII); `packPath` turns a path of `files` into one of it and `packSame` is `same` for it.
  // Null packFiles: `files` and its paths, names as they are.
  const GzcFileOps* packFiles;
  std::string (*packPath)(void* ctx, const std::string& path);
  bool (*packSame)(void* ctx, const char* a, const char* b);
  // A message of the build: `text`, with `name` (a path in UTF-8; null: none) after it; `notice` for what the
  // build did of its own accord and went on, otherwise an error that ended it. Null: nothing said.
  void (*message)(void* ctx, const StrDef& text, const char* name, bool notice);
  // A file the packing met but left out because no archive can carry it. Null: nothing.
  void (*skipped)(void* ctx, const std::string& path);
  // The build starts (true: after the configuration is written) and ends (false: always, once
  // started, after every message). Null: nothing.
  void (*running)(void* ctx, bool on);
  // The progress shown from the packing on: opened before it, closed once the output is written
  // (or refused), before the closing notice. Null: nothing.
  void (*progressOpen)(void* ctx);
  void (*progressClose)(void* ctx);
  // Progress, cancel and pump at every packed and copied byte (the packer's hooks; `bounds` is the
  // step's, which the build writes into `bounds` below before each step). Null `cancel`: never.
  GzcHooks hooks;
  // The current step's bounds on the overall bar, [0] lo and [1] hi, written by the build. Required.
  volatile short* bounds;
  // True: a cancel ends the build at once and leaves no output. False: the remaining steps run
  // (the packings stop at once, the appends copy nothing) and the output is the engine and the
  // resource data as far as it was written, as the program's build always did.
  bool cancelStops;
};

struct BuildResult {
  bool written = false;      // a whole installer was written and signed as asked; not cancelled
  bool cancelled = false;    // the cancel flag stopped it
  bool configFailed = false; // section "cfg" could not be written
  GzcStatus packed = GZC_OK; // the packings' status: the program folder's unless the cfg folder's failed
};

// Runs the build: the path check, the configuration and the licence's copy, the uninstaller's
// copy (signed), the two packings (the output left out of the program folder's, with a notice),
// "rc.bin" with the language data and both archives, and the output (engine and "rc.bin"), signed.
// Each failure is said through `message` and ends the build with no output of its own making.
BuildResult RunBuild(const BuildSeam& seam);

// ---- Opening a project -------------------------------------------------------------------------
// A project file is a GZC archive of the working "cfg" folder with "Project.ini", which holds the
// five fields in section "dir" under keys "1".."5" and, in the program's window, the lists.
inline constexpr char kProjectIni[] = "Project.ini";
inline constexpr char kProjectFieldSection[] = "dir";
// Bytes of a field as a project gives it, terminator included.
constexpr size_t kProjectFieldMax = 260;

// Unpacks the project open in `file` (a handle of `files`, read from its start; the caller keeps
// it) into the folder `cfg`: no folders, at most kProjectUnpackedMax bytes, a damaged one refused
// before anything is written. `gzTmp` is the scratch member file.
GzcStatus UnpackProject(const GzcFileOps* files, void* file, const std::string& cfg, const std::string& gzTmp);
// The five fields of an unpacked project's "Project.ini", each read through `read` (section, key,
// cap bytes with terminator; empty when missing).
BuildFields ProjectFields(std::string (*read)(void* ctx, const char* section, const char* key, size_t cap),
                          void* ctx);
