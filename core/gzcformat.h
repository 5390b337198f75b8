// GZC archives: packing a folder into one, and unpacking, listing and verifying one (no Win32 here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Longest path the system handles, without its terminator (MAX_PATH - 1).
constexpr size_t GZC_PATH_MAX = 259;
// Size of the format's fixed header: magic, checksum, reserved word, entry count.
constexpr uint32_t GZC_HEADER_SIZE = 15;
// The checksum is a byte sum modulo this value (2^32 - 1, not 2^32).
constexpr uint64_t GZC_SUM_MODULUS = 4294967295u;
// The header's reserved word (bytes 7 to 10): bits 0-7 are flags, bits 8-15 the archive's kind
// (GZC_ARCHIVE_GZIP or GZC_ARCHIVE_LZMA), the rest is zero. Readers that skip the word read every
// gzip-kind archive whose names are plain ASCII; this reader refuses a kind it does not know.
constexpr uint32_t GZC_FLAG_UTF8 = 1;  // the file list is UTF-8; without it, code page 1250
constexpr uint32_t GZC_FLAGS_MASK = 0xFFu;
constexpr uint32_t GZC_ARCHIVE_KIND_SHIFT = 8;
constexpr uint32_t GZC_ARCHIVE_KIND_MASK = 0xFF00u;
// Kind 0: entry 0 is the file list as a gzip member, entry i (1 <= i < N) the gzip member of list
// line i, whose trailer ends with its stored length (ISIZE).
constexpr uint32_t GZC_ARCHIVE_GZIP = 0;
// Kind 1, solid LZMA: header, table and entry 0 (the list) as kind 0; entry i (1 <= i < N) ends
// with the CRC-32 and the stored length of list line i's file (8 bytes, little endian, as a gzip
// trailer), and is nothing else except the last one, which starts with the contents of all files
// in list order as one LZMA stream: the 5 property bytes as the LZMA SDK writes them, the 8-byte
// unpacked size (the sum of the stored lengths), the compressed data (no end mark). An archive of
// no files has no stream. So the stored lengths stay the last four bytes of every entry, and a
// reader checks table, list, lengths, properties and declared size before it decodes a byte.
constexpr uint32_t GZC_ARCHIVE_LZMA = 1;
// Property bytes and unpacked size in front of the solid stream.
constexpr uint32_t GZC_LZMA_HEAD = 13;
// Largest dictionary a reader allocates for a solid stream; a stream that asks for more is damaged.
constexpr uint32_t GZC_LZMA_DICT_MAX = 64u << 20;

enum GzcStatus {
  GZC_OK = 0,
  // packing
  GZC_ERR_LIST_FILE,      // the list file could not be created
  GZC_ERR_ARCHIVE,        // the archive could not be created
  GZC_ERR_TEMP,           // the temporary member file could not be created or read
  GZC_ERR_WRITE,          // a write to the archive failed
  GZC_ERR_TOO_LARGE,      // a file or the archive would pass 4 GiB; reading: the files pass the bound
  GZC_ERR_NO_MEMORY,      // the offset table could not be allocated
  GZC_CANCELLED,          // the cancel flag stopped the packing; the archive has a zero table
  // reading
  GZC_ERR_READ,           // the archive could not be opened or read
  GZC_ERR_MAGIC,          // the first three bytes are not "GZC"
  GZC_ERR_TRUNCATED,      // the archive ends before its offset table says it does
  GZC_ERR_COUNT,          // impossible entry count
  GZC_ERR_TABLE,          // offset table that cannot be right
  GZC_ERR_LIST,           // list entry damaged (size, line count)
  GZC_ERR_PATH,           // a list line or joined path is unsafe or too long
  GZC_ERR_TARGET,         // a target file or its folder could not be created or written
  GZC_ERR_SHORT,          // a member inflated to fewer bytes than its stored length
  GZC_ERR_CHECKSUM,       // the byte sum differs from the stored checksum
  GZC_ERR_MEMBER,         // (verify only) a member is not clean gzip data of its stored length
  GZC_ERR_CANCELLED_ARCHIVE,  // zero table and checksum: packing was cancelled; nothing to unpack
  GZC_ERR_NOT_INSTALLER,  // no marker followed by two chained archives
  GZC_ERR_LIST_SIZE,      // the file list inflates to more than GZC_LIST_MAX bytes
  GZC_ERR_SOURCE,         // (packing) a file to pack could not be opened or read whole
  GZC_ERR_NAME,           // (packing) a name no archive can carry: GzcPackResult::refused says which
  GZC_ERR_KIND,           // an archive kind this reader does not know
  GZC_ERR_STREAM,         // a solid stream that cannot be right: properties, dictionary, size, data
  GZC_ERR_FILE_CRC,       // a file of a solid archive does not match its CRC-32
};

// Why the packing refused a file (GzcPackResult::refusedWhy).
enum GzcNameFault {
  GZC_NAME_OK = 0,
  GZC_NAME_TOO_LONG,   // its path passes GZC_PATH_MAX UTF-16 units
  GZC_NAME_FORBIDDEN,  // Windows forbids the name: a device name, a trailing dot or blank, <>:"/\|?*
  GZC_NAME_NOT_UTF8,   // the file system holds a name that is no valid UTF-8 (or UTF-16)
  GZC_NAME_CASE,       // another name of its folder differs from it only in letter case
  GZC_NAME_HUGE,       // the file holds 4 GiB or more
};

// Largest file list the reader takes (inflated): it is held in memory while the files are written.
constexpr uint32_t GZC_LIST_MAX = 16u << 20;

// Short English text for a status (for the command-line tool). Static storage.
const char* GzcStatusText(GzcStatus status);

// ---- The seam: file and folder access --------------------------------------------------------
// Every file and folder access of the module goes through these functions, so that the program can
// plug in its own Win32 versions. Handles are opaque. GzcDefaultFileOps() is the C-runtime/POSIX
// implementation that the tool and the native tests use.
enum GzcKind { GZC_KIND_NONE = 0, GZC_KIND_FILE, GZC_KIND_DIR, GZC_KIND_OTHER };

struct GzcFileOps {
  void* ctx;
  // read: the file must exist; write: created or truncated. Exclusive where the platform allows.
  // Writing never follows a link at the last component. Null on failure.
  void* (*open)(void* ctx, const char* path, bool write);
  // Up to n bytes; returns the count read, 0 at the end or on an error.
  size_t (*read)(void* ctx, void* file, void* buf, size_t n);
  // All n bytes or false.
  bool (*write)(void* ctx, void* file, const void* buf, size_t n);
  // Absolute position from the start of the file.
  bool (*seek)(void* ctx, void* file, uint64_t offset);
  bool (*size)(void* ctx, void* file, uint64_t* size);
  // False when buffered data could not be written.
  bool (*close)(void* ctx, void* file);
  bool (*remove)(void* ctx, const char* path);
  // What is at the path, without following a link (a link, device or pipe is GZC_KIND_OTHER).
  GzcKind (*kind)(void* ctx, const char* path);
  // Creates one folder; false if it could not be created (also when it exists).
  bool (*makeDir)(void* ctx, const char* path);
  // Removes an empty folder.
  bool (*removeDir)(void* ctx, const char* path);
  // Directory search: calls onEntry with the name of each entry except "." and "..", in the order
  // the system returns them, and its kind as the search tells it (GZC_KIND_NONE when the search
  // does not tell; the walk then asks `kind`). False when the folder cannot be searched.
  bool (*listDir)(void* ctx, const char* folder,
                  void (*onEntry)(void* cookie, const char* name, GzcKind kind), void* cookie);

  // Folders held open. Unpacking works below its destination through these, so that no folder can
  // be swapped for a link between a check and a write. All null: the path functions above stand in
  // (without that guarantee).
  // Opens a folder: with `parent` null, `name` is the destination's own path (links in it are
  // followed); otherwise one component inside the open folder `parent`, refused when it is a link
  // or reparse point. Null when it is not a folder or cannot be opened. The folder can be neither
  // removed nor renamed while it is open (Windows: the handle does not share deletion).
  void* (*openDir)(void* ctx, void* parent, const char* name);
  // Creates folder `name` in `parent` and opens it as openDir does; null if anything is there.
  void* (*makeDirAt)(void* ctx, void* parent, const char* name);
  void (*closeDir)(void* ctx, void* dir);
  // Creates or truncates the regular file `name` in `dir` for writing (a handle for write/close);
  // refuses a link, folder or device there. *created: no file was there before. Null on failure.
  void* (*createAt)(void* ctx, void* dir, const char* name, bool* created);
  // Removes file `name` (with `folder`: the empty folder, whose own handle is closed) from `dir`,
  // never through a link.
  bool (*removeAt)(void* ctx, void* dir, const char* name, bool folder);
};

// The built-in implementation (stdio and the C runtime's directory calls). Static storage.
const GzcFileOps* GzcDefaultFileOps();

// Path separator of the file system the code runs on ('\' on Windows, '/' elsewhere).
#ifdef _WIN32
constexpr char GZC_SEP = '\\';
#else
constexpr char GZC_SEP = '/';
#endif

// ---- The seam: progress, cancel and message pump while packing ----------------------------------
// The packer keeps a cancel check, a progress point and a pump point at every byte it packs; the
// byte loop runs over buffers, so each point costs a load, a compare and (pump only) a call.
struct GzcHooks {
  // The cancel flag (CancelGzc): 1 = go on, 0 = stop. Read before each file and each byte; written
  // by another thread. Null: never stops.
  const volatile unsigned char* cancel;
  // Bounds of the current step on the overall bar (Granica): [0] = lo, [1] = hi. Null: 0 and 100.
  const volatile short* bounds;
  // Progress sink: overall bar value, then current bar value. Called only when one of the two values
  // changed (and once with hi, 100 at the end of a complete step). Null: no progress.
  void (*progress)(void* ctx, short overall, short current);
  // Message pump (MsgLoop): called once for every packed byte, so it must cost nanoseconds.
  // Null: no pump.
  void (*pump)(void* ctx);
  void* ctx;
  // 0: forward every change. Otherwise a change of the current bar alone is forwarded only when this
  // many milliseconds have passed since the last forwarded report (bounds the cross-thread messages
  // for folders of many small files). The overall bar's changes and the final report always go.
  unsigned minIntervalMs;
  // Called every few milliseconds on the calling thread while the packer waits for its compressing
  // threads (its read-ahead is full, or the last members are still being compressed), so that the
  // caller's window stays alive. Null: nothing.
  void (*idle)(void* ctx);
  // Optional, with pump: how many of the next pump calls would do nothing but count (0: the next
  // one may do more), and counting n such calls at once. Given both, the packer counts the quiet
  // stretches between its other points at once; each byte still gets its cancel check.
  unsigned (*pumpQuiet)(void* ctx);
  void (*pumpSkip)(void* ctx, unsigned n);
};

// ---- Packing ----------------------------------------------------------------------------------
// Most threads that compress at once.
constexpr unsigned GZC_PACK_MAX_THREADS = 8;
// Memory the packing holds per compressing thread, whatever the size of the files or of the folder:
// 8 pieces of 128 KiB read ahead, each with its 32 KiB dictionary and its output room, and zlib's
// deflate state (about 256 KiB at the default memory level). Besides: the list of names, and a
// 1 MiB output buffer.
constexpr size_t GZC_PACK_THREAD_MEMORY = 8 * (160u << 10) + 8 * (137u << 10) + (270u << 10);  // < 2.7 MiB
struct GzcPackJob {
  const char* folder;      // folder to pack; not changed
  const char* archive;     // archive path; an existing file is replaced
  const char* gzTmp;       // temporary member file ("gz.tmp" of the working folder)
  const char* listFile;    // list file ("list.txt" of the working folder)
  const char* mode;        // gzopen mode: "wb" followed by a level digit; null = "wb6"
  const GzcFileOps* files; // null = GzcDefaultFileOps()
  const GzcHooks* hooks;   // null = no hooks
  // Threads that compress. 0 = one per processor, at most GZC_PACK_MAX_THREADS.
  unsigned threads;
  // The file layer's names are UTF-8: the list is written in UTF-8 (flagged GZC_FLAG_UTF8 when some
  // name is not plain ASCII), and a name that cannot travel to any Windows stops the packing before
  // the archive is written (GZC_ERR_NAME). False: names are code page 1250 bytes, and such names
  // are skipped.
  bool utf8Names;
  // A file the walk leaves out though it lies below the folder (an installer built into its own
  // program folder would otherwise be packed into the next one); null = none. Its folder and, in
  // that folder, the file are found by `same` where given, else by their paths compared without
  // regard to ASCII case.
  const char* leaveOut;
  // Whether two paths name one file or one folder, links followed (`files`' ctx passed on); false
  // also when either cannot be looked at. Null: paths compared as text.
  bool (*same)(void* ctx, const char* a, const char* b);
  // GZC_ARCHIVE_LZMA: the files as one solid LZMA stream, at the level of `mode` (the list stays a
  // gzip member); GZC_ARCHIVE_GZIP: a gzip member per file.
  uint32_t kind = GZC_ARCHIVE_GZIP;
};

struct GzcPackResult {
  uint32_t entries = 0;       // N: files + 1
  uint32_t checksum = 0;      // stored checksum (0 when cancelled)
  uint32_t length = 0;        // t[N], the archive's length (0 when cancelled)
  // Files met by the walk but left out because no archive could carry them: path too long, a
  // name the unpacker would refuse, or a link/device. Full paths.
  std::vector<std::string> skipped;
  // With GZC_ERR_NAME, or GZC_ERR_TOO_LARGE for a file of 4 GiB or more: its full path as the file
  // layer names it, and why.
  std::string refused;
  GzcNameFault refusedWhy = GZC_NAME_OK;
  bool leftOut = false;       // the job's leaveOut was met by the walk and left out
  // With GZC_ERR_SOURCE: the full path of the file that could not be read.
  std::string unreadable;
  unsigned threads = 0;       // the compressing threads it ran
};

// Packs every file below job.folder into job.archive. The list is written to job.listFile, and its
// member is also left in job.gzTmp. A folder that does not exist packs like an empty folder. A listed file that cannot be opened or read to
// the length it had when opened (held by another program, no rights, a subfolder that cannot be
// searched, a read error) stops the packing with GZC_ERR_SOURCE: never an empty or short member. The calling thread reads the files in list order
// and keeps the per-byte points and the checksum; the compression runs on job.threads other
// threads, each piece of 128 KiB of a file on whichever is free, at most 8 pieces a thread behind
// the reading (GZC_PACK_THREAD_MEMORY), and the members go into the archive in list order. A
// piece that deflate cannot shrink (random or already packed data) is stored, as level 0 stores.
// The archive's bytes do not depend on the number of threads, nor on the platform: every member's
// header gives the system code that zlib writes on Windows.
GzcStatus GzcPack(const GzcPackJob& job, GzcPackResult* result);

// ---- Reading ----------------------------------------------------------------------------------
// An archive to read: an open handle of `files`, positioned at the magic, and the number of bytes
// from there to the end of the file (bytes after the archive's end are allowed and never read).
struct GzcSource {
  const GzcFileOps* files;  // null = GzcDefaultFileOps()
  void* file;
  uint64_t avail;
  uint64_t offset;  // where the magic stands in the file (GzcUnpack may read the archive twice)
  // Names go to the file layer and the caller in UTF-8: the lines of an archive without
  // GZC_FLAG_UTF8 are converted from code page 1250, and path limits count UTF-16 units. False:
  // the lines as stored.
  bool utf8Names = false;
};

struct GzcEntry {
  std::string path;  // the list line ('\' separators), in UTF-8 when the source asks for it
  uint32_t size;     // stored uncompressed length (ISIZE)
};

// ---- The seam: a second thread for unpacking ---------------------------------------------------
// GzcUnpack writes the files on a thread of its own, behind its reading; and, in builds with the
// C++ standard threads, reads the files' members on another one, ahead of the inflating (1 MiB).
// Builds with the C++ standard threads use those unless a job names others; a build without them
// (GZC_SINGLE_THREAD: the installer engine) writes inline unless its job names some, and reads inline.
struct GzcThreadOps {
  // Runs run(arg) on a new thread; null when none could be started.
  void* (*start)(void (*run)(void* arg), void* arg);
  // Waits for the thread's end and frees it.
  void (*join)(void* thread);
  // A lock with one condition, for two threads; null on failure. A wait may end early.
  void* (*create)();
  void (*destroy)(void* sync);
  void (*lock)(void* sync);
  void (*unlock)(void* sync);
  // With the lock held: releases it until a notify (or earlier), then holds it again.
  void (*wait)(void* sync);
  // With the lock held (so an implementation may wake only a thread that waits).
  void (*notify)(void* sync);
};

struct GzcUnpackJob {
  const char* dest;        // destination folder; may end with a separator
  const char* gzTmp;       // temporary member file
  bool createFolders;      // create the folders the paths need (the program's own unpacking does not)
  const GzcFileOps* files; // null = GzcDefaultFileOps(); used for the targets and gzTmp
  const GzcThreadOps* threads;  // null = the standard threads where the build has them
  // The caller has checked this archive's bytes (a checksum over them, GzcCheckBytes, and nobody
  // can change them): it is read once, and each member is checked as it is written (gzip's CRC-32
  // and exact length); a member that fails undoes what the call wrote. False: the whole archive is
  // checked first, then read again and written; except into a destination that holds no file (at
  // most empty folders) without a maxTotal, where there is nothing a damaged archive could replace:
  // it is read once and a damage found on the way undoes what the call wrote.
  bool verified;
  // Most bytes the files may hold together, by their stored lengths (GZC_ERR_TOO_LARGE before any
  // file is written, and no member is inflated past its stored length); 0 = no bound.
  uint64_t maxTotal;
};

// Unpacks the archive into job.dest. Unless job.verified (or the destination holds no file, see
// there), the whole archive is checked first, then read again from src.offset and written; a
// refusal writes nothing. Either way a refused archive leaves the destination as it was. Below the destination every
// folder is opened relative to the one above it and held open until the end, and no link is
// followed. A failure while writing (a target that cannot be created) deletes exactly the files
// this call created and the folders it made, through the same handles; a file that was there
// before is never deleted. `written`, if given, receives the target paths written (and kept, on
// success).
GzcStatus GzcUnpack(const GzcUnpackJob& job, const GzcSource& src,
                    std::vector<std::string>* written = nullptr);

// Reads the list and the stored length of every file. Reads the archive to its end.
GzcStatus GzcList(const GzcSource& src, const char* gzTmp, std::vector<GzcEntry>* entries);

// Full check: structure, list lines, every member a clean gzip member of exactly its stored length,
// and the checksum. Writes nothing but gzTmp.
GzcStatus GzcVerify(const GzcSource& src, const char* gzTmp);

// Checks the header and offset table at the source's position without allocating anything the
// file's size does not justify. On success `table` (if given) holds t[0]..t[N], `length` (if given)
// receives t[N], and the source has been read up to the start of entry 0.
// `kind` (if given) receives the archive's kind (bits 8-15 of the reserved word).
GzcStatus GzcReadTable(const GzcSource& src, uint32_t* storedChecksum, std::vector<uint32_t>* table,
                       uint32_t* length = nullptr, uint32_t* kind = nullptr);

// Reads every file of the archive into memory (path as stored, content), checking it as GzcVerify
// does. Refuses (GZC_ERR_TOO_LARGE) before allocating when the contents would pass `maxTotal`.
struct GzcMemFile {
  std::string path;
  std::string data;
};
GzcStatus GzcReadAll(const GzcSource& src, const char* gzTmp, uint64_t maxTotal, std::vector<GzcMemFile>* files);

// CRC-32 (zlib's) of `length` bytes of an open file from `offset`, compared with `stored`: GZC_OK,
// GZC_ERR_CHECKSUM, GZC_ERR_READ (the seek failed) or GZC_ERR_TRUNCATED (fewer bytes were read).
// Reads through one 64 KiB buffer; inflates nothing.
GzcStatus GzcCheckBytes(const GzcFileOps* files, void* file, uint64_t offset, uint64_t length, uint32_t stored);

// ---- Installer layout -------------------------------------------------------------------------
// An installer is the engine's bytes, the marker "rc.bin", the archives' checksums, the language
// data, "cfg.dat" and "bin.dat" (two GZC archives, the second ending the file).
struct GzcInstallerLayout {
  uint64_t marker = 0;      // offset of "rc.bin" = length of the engine
  // The CRC-32 of each archive's bytes stored behind the marker; an installer built before they
  // were stored has none (the language data follows the marker at once).
  bool sums = false;
  uint32_t cfgSum = 0, binSum = 0;
  uint64_t cfgOffset = 0;   // first byte of the configuration archive
  uint32_t cfgLength = 0;
  uint64_t binOffset = 0;   // first byte of the program archive
  uint32_t binLength = 0;   // binOffset + binLength = file size
};

// Whether an archive ending at `end` ends an installer's data: exactly at `dataEnd`, or, in a signed
// file, before the fewer than PE_CERT_ALIGN zeros that align the certificate table. Reads at most
// those zeros.
bool GzcEndsInstallerData(const GzcFileOps* files, void* file, uint64_t end, uint64_t dataEnd, bool signedFile);

// Finds the layout in an open file of the given size: the two archives must chain exactly to the
// file's end, and the marker is the last "rc.bin" before the first archive. Reads the file once.
GzcStatus GzcFindInstaller(const GzcFileOps* files, void* file, uint64_t size,
                           GzcInstallerLayout* layout);

// ---- Pieces with names of their own -------------------------------------------------------------
// The running checksum of the current pack or unpack (process-wide, like the module's state).
// query = true hands back the running value; false adds the byte first. Returns the value.
uint32_t crc32(unsigned char byte, bool query);
// Adds n bytes at once; same result as n calls of crc32(byte, false).
void crc32Block(const unsigned char* bytes, size_t n);
// Sets the running checksum to 0 (start of every pack and unpack).
void crc32Reset();

// Removes from the front of `path` the folder's text and the separator after it (C:\Prog\doc\end.txt
// with C:\Prog gives doc\end.txt; a folder ending with a separator is removed alone). A path not
// inside the folder is left unchanged. Changes `path` in place and returns it.
char* CutDirectory(char* path, const char* folder);

// Whether `line` (len bytes, may hold any byte) is a safe relative path for an archive list: not
// empty, at most GZC_PATH_MAX bytes (with `utf8`: valid UTF-8 of at most GZC_PATH_MAX UTF-16 units), no drive or ':' at all, no leading separator (so no UNC), no
// empty, "." or ".." component (nor one of dots and spaces only), no control byte, no device name
// (CON, NUL, COM0 to COM9 and LPT0 to LPT9, also with the superscript digits of code page 1252).
// '\' and '/' both count as separators.
bool GzcSafeListLine(const char* line, size_t len, bool utf8 = false);

// Joins a list line to a folder: folder, separator, line, with the line's separators turned into
// the file system's. False (out unchanged) when the line is unsafe or the result is longer than
// GZC_PATH_MAX (with `utf8`: both UTF-8, the length in UTF-16 units).
bool dircat(std::string* out, const char* folder, const char* line, size_t len, bool utf8 = false);

// ---- Names across code pages ----------------------------------------------------------------------
// Unicode of a code page 1250 byte (the five bytes the code page leaves free keep their own value,
// as the system's conversion does). A table: never the code page of the machine that runs.
unsigned GzcCp1250Char(unsigned char byte);
// A code page 1250 text in UTF-8.
std::string GzcCp1250ToUtf8(const char* text, size_t len);
// Appends code point cp in UTF-8.
void GzcPutUtf8(unsigned cp, std::string* out);
// Decodes the UTF-8 character at text[*i] (len bytes) and steps past it; false (and *i unchanged)
// when it is malformed, overlong, a surrogate or above U+10FFFF.
bool GzcNextUtf8(const char* text, size_t len, size_t* i, unsigned* cp);
bool GzcValidUtf8(const char* text, size_t len);
// A name for a message: valid UTF-8 as it is, every byte of a malformed sequence as \xNN.
std::string GzcShownName(const std::string& name);
// UTF-16 units of a valid UTF-8 text: the length Windows gives it.
size_t GzcUtf16Units(const char* text, size_t len);
// Whether Windows forbids `name` (one path component, UTF-8): empty, "." or "..", a device name
// (also with an extension), a trailing dot or blank, a control character or one of <>:"/\|?*.
bool GzcForbiddenName(const char* name, size_t len);
// Unicode's simple upper case in the Basic Multilingual Plane, as Windows compares names.
unsigned GzcUpperCase(unsigned cp);
