// What the build needs from the program around it, as one record of hooks: the build, its archives,
// its signing step and its progress dialog reach the main window, the messages, the settings and the
// working folder only through these (the program fills them in app/func.cpp).
#pragma once
#include <windows.h>
#include <string>
#include "core/buildplan.h"
#include "lang/strings.h"

// The paths a build asks for, each at most MAX_PATH bytes with its terminator.
enum BuildPath {
  BUILD_TOOL_FOLDER,  // the tool folder with a trailing backslash; its "bin\" holds the tool files
  BUILD_BIN_FOLDER,   // the working "bin" folder (archives, language data); its parent is the working folder
  BUILD_INIT_CFG,     // the working "cfg\init.cfg"; its folder is packed as the installer configuration
};

// Every hook runs on the calling thread; none takes a lock. A null hook does what its line says.
struct BuildHooks {
  // The fields a build reads, as a record: the main window's (each read as its control's text, the
  // name with at most kProgramNameMax bytes, the paths MAX_PATH) or the unattended build's project's.
  // Null: every field empty.
  BuildFields (*fields)();
  // True for an unattended build: no progress dialog opens. Null: false.
  bool (*unattended)();
  // Message pump (MsgLoop): called at every copied or packed byte, so it must cost nanoseconds.
  // With it, how many of the next pump calls would only count, and counting n of them at once
  // (MsgLoopQuiet, MsgLoopSkip). Null: no pump; without pumpQuiet every byte calls pump.
  void (*pump)();
  unsigned (*pumpQuiet)();
  void (*pumpSkip)(unsigned n);
  // Dispatches one waiting message at once (PumpMessage), for a loop that waits rather than works;
  // true if there was one. Null: none.
  bool (*pumpNow)();
  // The program's message box (ShowMessage): text by string index, the answer. Null: nothing
  // shown, the answer is IDOK.
  int (*message)(const StrDef& text, UINT icon);
  // One of the paths above into `out` (MAX_PATH bytes); false (out untouched) when unknown.
  // Null: every path unknown.
  bool (*path)(BuildPath which, char* out);
  // A copy of the compression mode, "wb" and a level digit (the settings dialog may change it on
  // its own thread; a build copies it once at its start). Null: "wb6".
  std::string (*compressMode)();
  // Whether the program archive is one solid LZMA stream (the setting beside the level, or this
  // run's --lzma / --gzip). Null: gzip.
  bool (*lzma)();
  // The stored signing command template into `buf` (`cap` bytes with terminator), empty when none
  // is stored. False when one is stored but cannot be read whole: every signing then fails.
  // Null: none stored.
  bool (*signTemplate)(char* buf, DWORD cap);
  // Deletes every file below `folder`; the folders stay (the author's cancel empties the working
  // "bin" folder with it). Runs on the progress dialog's thread. Null: nothing deleted.
  void (*deleteFiles)(const char* folder);
  // A build starts (true: the build flag goes to 0, the main window's buttons are locked) or ends
  // (false: the buttons are given back, then the build flag goes to 1). Null: nothing.
  void (*running)(bool on);
  // The build has ended and reset its flags: a close of the main window held back meanwhile may
  // go now (CloseIfPending). Null: nothing.
  void (*ended)();
  // The menu commands that start another operation (new to settings): grayed (false) while the
  // progress dialog is open, enabled (true) when it closes. Null: nothing.
  void (*menus)(bool enabled);
  // The message box of `message` with `name` (a path in UTF-8, of any language) after the looked-up
  // text. Null: the text alone through `message`.
  int (*messageAbout)(const StrDef& text, const char* name, UINT icon);
};

// The hooks in use: the record given last, or one with every hook null while none is given. The
// program gives its own at start-up, before any build, archive or signing runs; the record must
// live as long as the process.
const BuildHooks& BuildHooksInUse();
void SetBuildHooks(const BuildHooks* hooks);

// A file's own bar is reported at most this often while packing or copying for a build (while
// packing the overall bar's changes always go; while the archives are appended to the installer,
// whose percents pass in a fraction of a millisecond, so does the overall bar, each append's first
// and last positions always): each report is a message to the dialog's thread and a repaint.
const DWORD kFileBarIntervalMs = 50;

// One of the build's paths through the hooks in use, empty when unknown.
std::string BuildPathOf(BuildPath which);
// The program's message box with an error icon through the hooks in use; IDOK without it.
int BuildError(const StrDef& text);
// The same with an information icon: something the build did of its own accord (an unattended
// build, whose messages go to standard error, tells it in a line and goes on).
int BuildNotice(const StrDef& text);
// The same with a file's path (UTF-8) after the text.
int BuildErrorAbout(const StrDef& text, const std::string& name);
