// The installer build's plain decisions, shared by the program's build button and the native
// packrift-build: which path fields are accepted, the installer configuration keys, the tool files
// and the order and progress bounds of the output's parts. No Win32 and no file access here.
#pragma once

#include <cstddef>
#include <string>

#include "core/gzcformat.h"
#include "core/installerlayout.h"
#include "lang/strings.h"

// The tool files in the tool folder's "bin" subfolder (core/installerlayout.h names them).
constexpr const char* kToolFiles[3] = {kEngineFile, kUninstFile, kLangFile};

// The resource data behind the engine: the marker and the archives' checksums, then these parts in
// this order, each appended with its bounds on the overall bar; the copy into the output runs from
// 97 to 100.
struct RcPart {
  const char* name;  // file of the working "bin" folder
  short lo, hi;
};
constexpr RcPart kRcParts[3] = {{kLangFile, 47, 50}, {kCfgArchive, 50, 53}, {kBinArchive, 53, 97}};
constexpr short kRcCopyBounds[2] = {97, 100};
// Overall-bar bounds of the two packing steps.
constexpr short kPackCfgBounds[2] = {0, 3};
constexpr short kPackBinBounds[2] = {3, 47};

// The message that names a file the packing refused (GzcPackResult::refusedWhy); null for none.
const StrDef* RefusedFileMessage(GzcNameFault why);

// Bytes of an old key "2" the build reads back to remove the licence's old copy, terminator included.
constexpr int kOldLicenceReadMax = 64;

// The main window's five fields as the build reads them.
struct BuildFields {
  std::string name;     // 300
  std::string folder;   // 301
  std::string output;   // 302
  std::string licence;  // 303
  std::string info;     // 304
};

// Why the fields were refused; the first failing check wins.
enum BuildPathFault {
  BUILD_PATHS_OK = 0,
  BUILD_BAD_FOLDER,    // the program folder is empty or missing
  BUILD_BAD_OUTPUT,    // the output has no "\" or its folder is missing
  BUILD_BAD_LICENCE,   // a licence is named but missing
  BUILD_LICENCE_NAME,  // the licence's file name cannot name its copy in the cfg folder (PlainCfgName)
  BUILD_BAD_INFO,      // a closing-information file is named but missing
  BUILD_INFO_OUTSIDE,  // the closing-information file does not lie inside the program folder
};

// Checks the path fields in the build's order. `exists` says whether a path, as a field holds it,
// names an existing file or folder.
BuildPathFault CheckBuildPaths(const BuildFields& fields, bool (*exists)(void* ctx, const char* path), void* ctx);
// The message a refusal shows.
const StrDef& BuildPathMessage(BuildPathFault fault);

// The text without one trailing backslash.
std::string NoTrailingSlash(std::string s);

// The closing-information path relative to the program folder (which may end with "\"; letters
// compared without regard to ASCII case, as Windows paths are); false when it does not lie inside.
bool InfoRelative(const std::string& info, const std::string& folder, std::string* rel);

// Section "cfg" of "init.cfg" as a build writes it.
struct BuildConfig {
  std::string name;         // key "1": the program name, cut to kProgramNameMax - 1 bytes
  std::string licenceName;  // key "2" and the name of the licence's copy; empty: key "2" and the
                            // copy named by its old value are removed
  std::string info;         // key "3" when not empty
  bool dropInfo = false;    // the field is empty: key "3" is removed
};
BuildConfig PlanBuildConfig(const BuildFields& fields);

// The name the licence's copy takes in the cfg folder: the field's text after its last separator
// ('\\' or '/', both of which Windows reads as one).
std::string LicenceCopyName(const std::string& licence);
// Whether `name` is a plain file name of the cfg folder that a copy may take and a removal may name:
// one component (GzcSafeListLine: no drive, "..", device, control byte), no trailing dot or blank
// (which Windows drops, so "init.cfg." is "init.cfg"), and none of the folder's own files (the list
// files, the uninstaller, the project's "Project.ini"), letters compared without regard to case.
bool PlainCfgName(const std::string& name);

// Whether an old key "2" names a file of the cfg folder itself, so that its removal stays there.
bool OldLicenceRemovable(const char* name);

// What writing section "cfg" needs of the side that builds (the program through Win32, the native
// build through its own files). Names are of files in the cfg folder.
struct BuildConfigIo {
  void* ctx;
  bool (*write)(void* ctx, const char* key, const char* value);  // value null: the key goes
  std::string (*oldLicence)(void* ctx);  // key "2" as it stands, at most kOldLicenceReadMax - 1 bytes
  void (*copyLicence)(void* ctx, const std::string& name);  // the licence field's file to `name`
  void (*remove)(void* ctx, const std::string& name);
};
// Writes section "cfg" of "init.cfg" and the licence's copy, in the order both builds share, so
// that they write the same bytes. False when a key could not be written.
bool ApplyBuildConfig(const BuildConfig& plan, const BuildConfigIo& io);
