// The installer's layout and the vocabulary of its list files: one definition, shared by the builder
// (the program's build and the native packrift-build) and the engine, so a format change is one edit.
// No Win32 and nothing beyond <cstddef>: the engine, the program, the tools and the tests include it.
#pragma once

#include <cstddef>

// ---- The tool folder and the installer file -------------------------------------------------------
// The tool files in the tool folder's "bin" subfolder: the engine, the uninstaller, the language data.
inline constexpr char kEngineFile[] = "Packrift.dat";
inline constexpr char kUninstFile[] = "UnInst.dat";
inline constexpr char kLangFile[] = "Lang.dat";

// An installer is the engine's bytes, this marker, the archives' checksums, the language data, then
// the two archives: the installer configuration (the "cfg" folder, with the uninstaller under
// kUninstFile) and the program.
inline constexpr char kRcMarker[] = "rc.bin";
inline constexpr size_t kRcMarkerLength = sizeof kRcMarker - 1;
// Right behind the marker, before the language data: the CRC-32 of each archive's bytes as they
// stand in the installer, the configuration archive's then the program archive's, four bytes each,
// least significant first. The installer proves both archives whole with them before anything on
// the machine changes, without inflating anything, and then unpacks in one pass.
inline constexpr size_t kRcSumsLength = 8;
inline constexpr char kCfgArchive[] = "cfg.dat";
inline constexpr char kBinArchive[] = "bin.dat";

// What an installation leaves beside the program for its removal: the uninstaller, its log, and its
// texts when it is signed (a signed uninstaller carries none behind it).
inline constexpr char kInstalledUninstaller[] = "UnInst.exe";
inline constexpr char kUninstLog[] = "UnInst.log";
inline constexpr char kUninstTexts[] = "UnInst.lng";
// The system's key under which an installation registers for removal (of the machine or the user).
inline constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// ---- The list files of the "cfg" folder -----------------------------------------------------------
inline constexpr char kLnkFile[] = "lnk.cfg";
inline constexpr char kInitFile[] = "init.cfg";
inline constexpr char kRegFile[] = "reg.cfg";
// Most bytes a project file's members may hold unpacked together (the cfg folder: the lists, the
// licence, the project's own "Project.ini"; a few kilobytes as a rule). A larger one is refused as
// damaged before anything is written, wherever a project is opened.
inline constexpr unsigned long long kProjectUnpackedMax = 16ull << 20;

// "init.cfg", section "cfg": the program name, the licence's file name in the cfg folder, the
// closing-information file relative to the program folder.
inline constexpr char kSectionCfg[] = "cfg";
inline constexpr char kCfgKeyName[] = "1";
inline constexpr char kCfgKeyLicence[] = "2";
inline constexpr char kCfgKeyInfo[] = "3";
// Taken by the build from the version resource of the program's main file (the first shortcut's
// target, else the first ".exe" at the top of the program folder); missing when it has none: the
// version and publisher the registration shows, and that file, relative to the program folder, as
// its icon.
inline constexpr char kCfgKeyVersion[] = "4";
inline constexpr char kCfgKeyPublisher[] = "5";
inline constexpr char kCfgKeyIcon[] = "6";
// Bytes of the program name, terminator included: what a build writes and the engine reads.
constexpr int kProgramNameMax = 64;

// The numbered entries: section of the entries, section and key of their counter (entry numbers run
// from 1 to below the counter).
inline constexpr char kSectionDesktop[] = "desktop";  // "lnk.cfg"
inline constexpr char kSectionMenu[] = "menu";        // "lnk.cfg"
inline constexpr char kSectionRun[] = "Run";          // "init.cfg": run after the installation
inline constexpr char kSectionRunU[] = "RunU";        // "init.cfg": run by the uninstaller
inline constexpr char kSectionIndexDesktop[] = "index1";
inline constexpr char kSectionIndexMenu[] = "index2";
inline constexpr char kSectionIndex[] = "index";      // "init.cfg" and "reg.cfg"
inline constexpr char kKeyMax[] = "max";
inline constexpr char kKeyMaxU[] = "maxU";            // the "RunU" counter
// "init.cfg": "1" runs a "Run" entry without asking.
inline constexpr char kSectionSilent[] = "silent";

// "reg.cfg": one registry value, its six sections keyed by the entry number.
inline constexpr char kSectionRegKey[] = "key";
inline constexpr char kSectionRegName[] = "name";
inline constexpr char kSectionRegValue[] = "value";
inline constexpr char kSectionRegType[] = "type";
inline constexpr char kSectionRegDynam[] = "dynam";  // "1": REG_EXPAND_SZ
inline constexpr char kSectionRegLine[] = "line";    // "1": the value's double quotes were stripped
