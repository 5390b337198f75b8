// Building an installer through the main window: path checks, configuration keys, the output's
// layout, progress, cancellation and the failures the author is told about.
#include "uitest.h"
#include "app/func.h"
#include "app/func1.h"
#include "build/gzc.h"
#include "build/kopiuj.h"
#include "core/langpack.h"
#include "lang/lang.h"
#include "win/winhandles.h"
#include "res/resource.h"
#include <commctrl.h>
#include <zlib.h>
#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <mutex>

using namespace uitest;

namespace {
const std::string kEngine = std::string("MZ\x90\0engine-fixture", 19) + std::string(1000, '\x7f');
const std::string kLang = "LANGDATA-fixture";
const std::string kLangPacked = LangPack(kLang);  // as the installer carries it
const std::string kUninst = "UNINST-fixture";
const char kBadPath[] = "Jedno z p\xf3l zawiera niepoprawn\xb9 \x9c" "cie\xbfk\xea.";

// Bar 900's positions as the progress dialog's thread receives them.
std::mutex barMutex;
std::vector<int> overall;
WNDPROC barProc;
LRESULT CALLBACK BarSpy(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == PBM_SETPOS && GetDlgCtrlID(w) == IDP_PACK_TOTAL) {
    std::lock_guard<std::mutex> lock(barMutex);
    overall.push_back((int)wp);
  }
  return CallWindowProcA(barProc, w, msg, wp, lp);
}
// Every progress bar created from now on in this process reports its positions to BarSpy.
bool SpyOnProgressBars() {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  HWND probe = CreateWindowA(PROGRESS_CLASSA, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!probe) return false;
  barProc = (WNDPROC)SetClassLongPtrA(probe, GCLP_WNDPROC, (LONG_PTR)BarSpy);
  DestroyWindow(probe);
  return barProc != nullptr;
}

// Reads a whole archive out of a file at an offset; returns its files by relative path.
std::map<std::string, std::string> Unpack(const std::string& file, uint64_t offset, const std::string& scratch) {
  std::map<std::string, std::string> out;
  HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, h);
  LARGE_INTEGER size, off;
  GetFileSizeEx(h, &size);
  off.QuadPart = (LONGLONG)offset;
  SetFilePointerEx(h, off, nullptr, FILE_BEGIN);
  std::string dest = MakeTempDir("unpack");
  GzcUnpackJob job = {};
  std::string gz = scratch + "gz.test";
  job.dest = dest.c_str();
  job.gzTmp = gz.c_str();
  job.createFolders = true;
  job.files = WinFileOps();
  GzcSource src = {WinFileOps(), h, (uint64_t)(size.QuadPart - offset), offset};
  std::vector<std::string> written;
  EXPECT_EQ(GZC_OK, GzcUnpack(job, src, &written));
  CloseHandle(h);
  for (const std::string& p : written) out[p.substr(p.find_first_not_of('\\', dest.size()))] = ReadFile(p);
  RemoveTree(dest);
  return out;
}

uint32_t Word(const std::string& s, size_t at) {
  return (uint8_t)s[at] | (uint8_t)s[at + 1] << 8 | (uint8_t)s[at + 2] << 16 | (uint32_t)(uint8_t)s[at + 3] << 24;
}

// Whether a gzip member's deflate data is stored blocks only (level 0): each block header says
// "stored", its length and complement agree, and the blocks end exactly at the 8-byte trailer.
bool AllStored(const std::string& m) {
  if (m.size() < 18 || (uint8_t)m[0] != 0x1f || (uint8_t)m[1] != 0x8b || m[3] != 0) return false;
  for (size_t at = 10;;) {
    if (at + 5 > m.size()) return false;
    uint8_t head = (uint8_t)m[at];
    unsigned len = (uint8_t)m[at + 1] | (uint8_t)m[at + 2] << 8, nlen = (uint8_t)m[at + 3] | (uint8_t)m[at + 4] << 8;
    if (((head >> 1) & 3) != 0 || (len ^ 0xFFFF) != nlen) return false;
    at += 5 + len;
    if (head & 1) return at + 8 == m.size();
  }
}

class Build : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    tool_ = ExeDir() + "bin\\";
    CreateDirectoryA(tool_.c_str(), nullptr);
    WriteFile(tool_ + "Packrift.dat", kEngine);
    WriteFile(tool_ + "Lang.dat", kLang);
    WriteFile(tool_ + "UnInst.dat", kUninst);
    prog_ = temp_ + "Program";
    CreateDirectoryA(prog_.c_str(), nullptr);
    CreateDirectoryA((prog_ + "\\data").c_str(), nullptr);
    CreateDirectoryA((prog_ + "\\data\\deep").c_str(), nullptr);
    CreateDirectoryA((prog_ + "\\doc").c_str(), nullptr);
    files_ = {{"app.exe", std::string("MZ\0\1app", 7)},
              {"data\\table.bin", std::string(300, '\xff')},
              {"data\\deep\\empty.txt", ""},
              {"doc\\end.txt", "Dzi\xea" "kujemy"},
              {"licencja.txt", "Licencja"}};
    for (auto& f : files_) WriteFile(prog_ + "\\" + f.first, f.second);
    out_ = temp_ + "out\\";
    CreateDirectoryA(out_.c_str(), nullptr);
    overall.clear();
  }
  void Fill(const std::string& name, const std::string& licence, const std::string& info) {
    SetText(IDE_NAME, name);
    SetText(IDE_FOLDER, prog_);
    SetText(IDE_SETUP, out_ + "setup.exe");
    SetText(IDE_LICENCE, licence);
    SetText(IDE_INFO, info);
  }
  // A file of `bytes` that packs slowly enough for a build to be caught while it runs.
  void WriteBigFile(size_t bytes) {
    std::string big(bytes, 0);
    for (size_t i = 0; i < big.size(); ++i) big[i] = (char)(i * 2654435761u >> 11);
    WriteFile(prog_ + "\\big.bin", big);
  }
  // Presses the build button and waits until the build has ended.
  void RunBuild() {
    Click(IDB_BUILD);
    ASSERT_TRUE(WaitFor([] { return BuildRunning(); }, 5000));
    ASSERT_TRUE(WaitFor([] { return !BuildRunning(); }, 60000));
    SendMessageA(Main(), WM_NULL, 0, 0);
  }
  std::string Ini(const char* key) {
    char buf[260];
    GetPrivateProfileStringA("cfg", key, "<none>", buf, sizeof buf, (WorkDir() + "\\cfg\\init.cfg").c_str());
    return buf;
  }
  // Expects the path message (or `message`), answers it and checks that nothing was built.
  void ExpectPathRefused(const char* message = kBadPath) {
    HWND box = FindTopWindow("#32770", "Packrift");
    ASSERT_TRUE(box);
    EXPECT_EQ(message, MessageText(box));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box); });
    EXPECT_FALSE(Exists(out_ + "setup.exe"));
    EXPECT_FALSE(Exists(WorkDir() + "\\cfg\\init.cfg"));
    EXPECT_FALSE(BuildRunning());
    EXPECT_TRUE(Enabled(IDB_BUILD));
  }
  // The gzip members of both archives of the installer written, each archive's list first.
  std::vector<std::string> ArchiveMembers() {
    std::string setup = ReadFile(out_ + "setup.exe");
    std::vector<std::string> out;
    for (size_t at = kEngine.size() + 14 + kLangPacked.size(); at + 15 <= setup.size();) {
      uint32_t n = Word(setup, at + 11);
      for (uint32_t i = 0; i < n; ++i) {
        uint32_t from = Word(setup, at + 15 + 4 * i), to = Word(setup, at + 19 + 4 * i);
        out.push_back(setup.substr(at + from, to - from));
      }
      at += Word(setup, at + 15 + 4 * n);
    }
    return out;
  }
  // The kind of each archive of the installer, in order.
  std::vector<uint32_t> ArchiveKinds() {
    std::string setup = ReadFile(out_ + "setup.exe");
    std::vector<uint32_t> out;
    for (size_t at = kEngine.size() + kRcMarkerLength + kRcSumsLength + kLangPacked.size(); at + 15 <= setup.size();
         at += Word(setup, at + 15 + 4 * Word(setup, at + 11)))
      out.push_back((Word(setup, at + 7) & GZC_ARCHIVE_KIND_MASK) >> GZC_ARCHIVE_KIND_SHIFT);
    return out;
  }
  std::string tool_, prog_, out_;
  std::map<std::string, std::string> files_;
};

// The program's main file (here the first .exe of the folder) is the registration's icon, and its
// version resource, when it has one, gives the version and the publisher.
TEST_F(Build, TheMainFilesVersionResourceGivesTheVersionAndPublisher) {
  StartApp();
  Fill("Mój program", "", "");
  RunBuild();
  EXPECT_EQ("<none>", Ini("4"));
  EXPECT_EQ("<none>", Ini("5"));
  EXPECT_EQ("app.exe", Ini("6"));
  ASSERT_TRUE(CopyFileA((ExeDir() + "engine_runprobe.exe").c_str(), (prog_ + "\\app.exe").c_str(), FALSE));
  RunBuild();
  EXPECT_EQ("1.2.3.4", Ini("4"));
  EXPECT_EQ("Orvane Próba", Ini("5"));
  EXPECT_EQ("app.exe", Ini("6"));
}

TEST_F(Build, WritesTheEngineThenRcBinWithLanguageDataAndBothArchives) {
  StartApp();
  Fill("Mój program", prog_ + "\\licencja.txt", prog_ + "\\doc\\end.txt");
  RunBuild();
  std::string setup = ReadFile(out_ + "setup.exe");
  ASSERT_GT(setup.size(), kEngine.size() + 14);
  EXPECT_EQ(kEngine, setup.substr(0, kEngine.size()));
  EXPECT_EQ("rc.bin", setup.substr(kEngine.size(), 6));
  // The language data packed: its header, then what unpacks to the tool folder's bytes.
  const size_t langAt = kEngine.size() + 14;
  const std::string lang = setup.substr(langAt, LangPackedLength(&setup[langAt], setup.size() - langAt));
  ASSERT_EQ(0u, lang.find(kLangPackedMagic));
  std::string texts;
  EXPECT_TRUE(LangUnpack(&lang[lang.find('\n') + 1], lang.size() - lang.find('\n') - 1, &texts));
  EXPECT_EQ(kLang, texts);
  size_t cfgAt = kEngine.size() + 14 + lang.size();
  ASSERT_EQ("GZC", setup.substr(cfgAt, 3));
  uint32_t cfgLen = Word(setup, cfgAt + 15 + 4 * Word(setup, cfgAt + 11));
  size_t binAt = cfgAt + cfgLen;
  ASSERT_EQ("GZC", setup.substr(binAt, 3));
  uint32_t binLen = Word(setup, binAt + 15 + 4 * Word(setup, binAt + 11));
  EXPECT_EQ(setup.size(), binAt + binLen);  // nothing after the program archive
  // Between the marker and the language data: the CRC-32 of each archive's bytes.
  auto sum = [&](size_t at, uint32_t len) { return (uint32_t)crc32(0, (const Bytef*)setup.data() + at, len); };
  EXPECT_EQ(sum(cfgAt, cfgLen), Word(setup, kEngine.size() + 6));
  EXPECT_EQ(sum(binAt, binLen), Word(setup, kEngine.size() + 10));

  // The configuration archive holds exactly the cfg folder's files.
  auto cfg = Unpack(out_ + "setup.exe", cfgAt, temp_);
  std::map<std::string, std::string> cfgWant;
  ForEachEntry((WorkDir() + "\\cfg").c_str(), [&](const char* n, GzcKind kind) {
    if (kind != GZC_KIND_DIR) cfgWant[n] = ReadFile(WorkDir() + "\\cfg\\" + n);
  });
  EXPECT_EQ(cfgWant, cfg);
  // The working folder keeps its scratch files and the resource data, and nothing else.
  std::set<std::string> scratch;
  ForEachEntry(WorkDir().c_str(), [&](const char* n, GzcKind kind) {
    if (kind != GZC_KIND_DIR) scratch.insert(n);
  });
  EXPECT_EQ((std::set<std::string>{"gz.tmp", "list.txt", "rc.bin"}), scratch);
  EXPECT_EQ(kUninst, cfg["UnInst.dat"]);
  EXPECT_EQ("Licencja", cfg["licencja.txt"]);
  EXPECT_EQ(1u, cfg.count("init.cfg"));
  // The program archive unpacks to the program folder, nested files and an empty one included.
  EXPECT_EQ(files_, Unpack(out_ + "setup.exe", binAt, temp_));

  EXPECT_EQ("Mój program", Ini("1"));
  EXPECT_EQ("licencja.txt", Ini("2"));
  EXPECT_EQ("doc\\end.txt", Ini("3"));
  EXPECT_FALSE(BuildCancelled());
  EXPECT_FALSE(IsOpen(kPackingDialog.slot));
}

TEST_F(Build, KeysFollowTheFieldsFromOneBuildToTheNext) {
  StartApp();
  std::string elsewhere = temp_ + "umowa.txt";
  WriteFile(elsewhere, "Umowa");
  Fill("", elsewhere, prog_ + "\\doc\\end.txt");
  SetText(IDE_FOLDER, prog_ + "\\");  // a trailing backslash gives the same key "3"
  RunBuild();
  EXPECT_EQ("", Ini("1"));  // an empty name is still written
  EXPECT_EQ("umowa.txt", Ini("2"));
  EXPECT_EQ("Umowa", ReadFile(WorkDir() + "\\cfg\\umowa.txt"));
  EXPECT_EQ("doc\\end.txt", Ini("3"));
  // Emptying both fields removes the licence copy, key "2" and key "3".
  SetText(IDE_LICENCE, "");
  SetText(IDE_INFO, "");
  WriteFile(out_ + "setup.exe", "an older file, longer than nothing at all");
  RunBuild();
  EXPECT_EQ("<none>", Ini("2"));
  EXPECT_EQ("<none>", Ini("3"));
  EXPECT_FALSE(Exists(WorkDir() + "\\cfg\\umowa.txt"));
  // The existing output was replaced, not appended to.
  EXPECT_EQ(kEngine, ReadFile(out_ + "setup.exe").substr(0, kEngine.size()));
}

TEST_F(Build, ProgressReaches3Then47Then100AndLocksWhileRunning) {
  StartApp();
  Fill("P", "", "");
  WriteBigFile(3 << 20);
  ASSERT_TRUE(SpyOnProgressBars());
  Click(IDB_BUILD);
  ASSERT_TRUE(WaitFor([] { return BuildRunning(); }, 5000));
  HWND d = FindTopWindow("#32770", "Pakowanie plik\xf3w");
  ASSERT_TRUE(d);
  bool lockedSeen = false;
  const int buttons[] = {400, 401, 402, 403, 405, 406, 407, 408, 409, 410, 411, 412, 413};
  WaitFor([&] {
    bool all = true;
    for (int id : buttons) all = all && !Enabled(id);
    lockedSeen = lockedSeen || (all && (MenuState(IDM_NEW) & MF_GRAYED));
    return !BuildRunning();
  }, 60000);
  EXPECT_TRUE(lockedSeen);
  SendMessageA(Main(), WM_NULL, 0, 0);
  for (int id : {IDB_BUILD, IDB_LNK_ADD, IDB_HELP, IDB_CLOSE}) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_FALSE(Enabled(IDB_LNK_REMOVE));
  EXPECT_FALSE(MenuState(IDM_NEW) & MF_GRAYED);
  std::lock_guard<std::mutex> lock(barMutex);
  ASSERT_FALSE(overall.empty());
  EXPECT_TRUE(std::is_sorted(overall.begin(), overall.end()));
  for (int v : {3, 47, 50, 53, 97, 100}) EXPECT_NE(overall.end(), std::find(overall.begin(), overall.end(), v)) << v;
  EXPECT_EQ(100, overall.back());
}

TEST_F(Build, CancelLeavesTheEngineAndTheMarkerAndTheNextBuildIsWhole) {
  StartApp();
  Fill("P", "", "");
  WriteBigFile(24 << 20);
  Click(IDB_BUILD);
  HWND d = FindTopWindow("#32770", "Pakowanie plik\xf3w");
  ASSERT_TRUE(d);
  // Abort while the program folder is packed.
  ASSERT_TRUE(WaitFor([&] { return SendMessageA(GetDlgItem(d, IDP_PACK_TOTAL), PBM_GETPOS, 0, 0) > 3; }, 30000));
  PostMessageA(GetDlgItem(d, IDB_PACK_CANCEL), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([] { return !BuildRunning(); }, 60000));
  EXPECT_EQ(kEngine + "rc.bin", ReadFile(out_ + "setup.exe"));
  EXPECT_FALSE(BuildCancelled());
  EXPECT_FALSE(Exists(WorkDir() + "\\bin\\cfg.dat"));
  SendMessageA(Main(), WM_NULL, 0, 0);
  EXPECT_TRUE(Enabled(IDB_BUILD));

  DeleteFileA((prog_ + "\\big.bin").c_str());
  RunBuild();
  std::string setup = ReadFile(out_ + "setup.exe");
  size_t cfgAt = kEngine.size() + 14 + kLangPacked.size();
  uint32_t cfgLen = Word(setup, cfgAt + 15 + 4 * Word(setup, cfgAt + 11));
  EXPECT_EQ(files_, Unpack(out_ + "setup.exe", cfgAt + cfgLen, temp_));
}

TEST_F(Build, AnEditorOpenedBeforeABuildStoresOnlyAfterIt) {
  StartApp();
  Fill("P", "", "");
  WriteBigFile(8 << 20);
  Click(IDB_LNK_ADD);
  HWND editor = FindTopWindow("#32770", "Dodawanie skr\xf3tu");
  ASSERT_TRUE(editor);
  SetDlgItemTextA(editor, IDE_LNK_PATH, (prog_ + "\\app.exe").c_str());
  Click(IDB_BUILD);
  ASSERT_TRUE(WaitFor([] { return BuildRunning(); }, 5000));
  PostMessageA(GetDlgItem(editor, IDB_LNK_APPLY), BM_CLICK, 0, 0);
  std::string lnk = WorkDir() + "\\cfg\\lnk.cfg";
  bool storedDuringBuild = false;
  ASSERT_TRUE(WaitFor([&] {
    bool stored = Exists(lnk) || SendMessageA(Item(IDL_SHORTCUTS), LB_GETCOUNT, 0, 0) > 0;
    storedDuringBuild = storedDuringBuild || (stored && BuildRunning());  // in this order
    return !BuildRunning();
  }, 60000));
  EXPECT_FALSE(storedDuringBuild);
  // The Apply went through once the build had ended.
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(editor); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  EXPECT_EQ(1, SendMessageA(Item(IDL_SHORTCUTS), LB_GETCOUNT, 0, 0));
  EXPECT_TRUE(Enabled(IDB_LNK_REMOVE));
  char value[64];
  GetPrivateProfileStringA("desktop", "1", "", value, sizeof value, lnk.c_str());
  EXPECT_STREQ("app.exe", value);
}

TEST_F(Build, EachBadPathIsRefusedWithTheMessageAndChangesNothing) {
  StartApp();
  // A closing-information file outside the program folder is named by its own message.
  const char kInfoOutside[] = "Plik informacji ko\xf1" "cowej musi le\xbf" "e\xe6 w folderze programu.";
  struct Case {
    int field;
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {IDE_FOLDER, "C:\\no\\such\\folder", kBadPath},    {IDE_SETUP, "setup.exe", kBadPath},
      {IDE_SETUP, "C:\\no\\such\\dir\\s.exe", kBadPath}, {IDE_LICENCE, "C:\\no\\licence.txt", kBadPath},
      {IDE_INFO, "C:\\no\\end.txt", kBadPath},           {IDE_INFO, temp_ + "outside.txt", kInfoOutside},
      {IDE_INFO, prog_ + "x\\app.exe", kInfoOutside},  // a folder beside it whose name begins the same
      {IDE_INFO, prog_ + "\\..\\outside.txt", kInfoOutside},
  };
  WriteFile(temp_ + "outside.txt", "x");
  CreateDirectoryA((prog_ + "x").c_str(), nullptr);
  WriteFile(prog_ + "x\\app.exe", "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Fill("P", "", "");
    SetText(c.field, c.text);
    Click(IDB_BUILD);
    ExpectPathRefused(c.message);
  }
}

TEST_F(Build, MissingToolFilesStopTheBuildBeforeItTouchesAnything) {
  DeleteFileA((tool_ + "Lang.dat").c_str());
  StartApp();
  Fill("P", "", "");
  WriteFile(out_ + "setup.exe", "keep");
  Click(IDB_BUILD);
  HWND box = FindTopWindow("#32770", "Packrift");
  ASSERT_TRUE(box);
  EXPECT_EQ("Brak plik\xf3w instalatora w folderze bin programu Packrift.", MessageText(box));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  WaitFor([&] { return !IsWindow(box); });
  EXPECT_EQ("keep", ReadFile(out_ + "setup.exe"));
  EXPECT_FALSE(Exists(WorkDir() + "\\cfg\\init.cfg"));
  EXPECT_TRUE(Enabled(IDB_BUILD));
}

TEST_F(Build, AnOutputThatCannotBeWrittenIsReportedAndUnlocks) {
  StartApp();
  Fill("P", "", "");
  CreateDirectoryA((out_ + "setup.exe").c_str(), nullptr);  // a folder stands where the file goes
  Click(IDB_BUILD);
  HWND box = FindTopWindow("#32770", "Packrift", 60000);
  ASSERT_TRUE(box);
  EXPECT_EQ("Nie mo\xbfna zapisa\xe6 pliku instalatora.", MessageText(box));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([] { return !BuildRunning(); }, 30000));
  SendMessageA(Main(), WM_NULL, 0, 0);
  EXPECT_TRUE(IsDir(out_ + "setup.exe"));
  EXPECT_TRUE(Enabled(IDB_BUILD));
  EXPECT_FALSE(IsOpen(kPackingDialog.slot));
}

// A program file that cannot be packed whole stops the build with its message: the output stays as
// it was and the window is given back.
TEST_F(Build, AProgramFileThatCannotBePackedStopsTheBuild) {
  StartApp();
  Fill("P", "", "");
  WriteFile(out_ + "setup.exe", "keep");
  const std::string app = prog_ + "\\app.exe", large = prog_ + "\\4gib.bin";
  struct Case {
    const char* what;
    std::function<UniqueHandle()> make;  // the file, held open while the build runs when it must
    std::string said;
  };
  const Case cases[] = {
      {"held open by another program",
       [&] { return UniqueHandle(CreateFileA(app.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)); },
       "Nie mo\xbfna odczyta\xe6 pliku: " + app},
      {"past what an archive holds (sparse)",
       [&] {
         UniqueHandle f(CreateFileA(large.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
         LARGE_INTEGER past;
         past.QuadPart = (4ll << 30) + 1;
         EXPECT_TRUE(f && SetFilePointerEx(f.get(), past, nullptr, FILE_BEGIN) && SetEndOfFile(f.get()));
         f.reset();
         return UniqueHandle(CreateFileA(large.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
       },
       "Plik ma 4 GiB lub wi\xea" "cej: " + large},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UniqueHandle held = c.make();
    ASSERT_TRUE(held);
    Click(IDB_BUILD);
    EXPECT_EQ(c.said, AnswerMessage(IDOK, 60000));
    ASSERT_TRUE(WaitFor([] { return !BuildRunning(); }, 30000));
    SendMessageA(Main(), WM_NULL, 0, 0);
    EXPECT_EQ("keep", ReadFile(out_ + "setup.exe"));
    EXPECT_TRUE(Enabled(IDB_BUILD));
    EXPECT_FALSE(IsOpen(kPackingDialog.slot));
  }
  DeleteFileA(large.c_str());
}

TEST_F(Build, LevelZeroFromTheSettingsStoresTheNextBuildsMembers) {
  StartApp();
  Fill("Program", "", "");
  RunBuild();
  auto members = ArchiveMembers();
  ASSERT_EQ(files_.size() + 1 + 3, members.size());  // program files, init.cfg, UnInst.dat, lists
  EXPECT_FALSE(std::all_of(members.begin(), members.end(), AllStored));  // level 6 compresses

  Command(IDM_SETTINGS);
  HWND s = FindTopWindow("#32770", "Ustawienia");
  ASSERT_TRUE(s);
  EXPECT_EQ("6", WindowText(GetDlgItem(s, IDE_SET_LEVEL)));
  SendDlgItemMessageA(s, IDE_SET_LEVEL, WM_SETTEXT, 0, (LPARAM) "0");
  PostMessageA(GetDlgItem(s, IDB_SET_APPLY), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([] { return !IsOpen(kSettingsDialog.slot); }));
  RunBuild();
  members = ArchiveMembers();
  ASSERT_EQ(files_.size() + 1 + 3, members.size());
  for (size_t i = 0; i < members.size(); ++i) EXPECT_TRUE(AllStored(members[i])) << "member " << i;
}

TEST_F(Build, TheLzmaBoxInTheSettingsMakesTheNextProgramArchiveSolid) {
  StartApp();
  Fill("Program", "", "");
  Command(IDM_SETTINGS);
  HWND s = FindTopWindow("#32770", "Ustawienia");
  ASSERT_TRUE(s);
  EXPECT_EQ(BST_UNCHECKED, (int)IsDlgButtonChecked(s, IDC_SET_LZMA));
  PostMessageA(GetDlgItem(s, IDC_SET_LZMA), BM_CLICK, 0, 0);
  PostMessageA(GetDlgItem(s, IDB_SET_APPLY), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([] { return !IsOpen(kSettingsDialog.slot); }));
  RunBuild();
  // The configuration archive stays gzip.
  EXPECT_EQ((std::vector<uint32_t>{GZC_ARCHIVE_GZIP, GZC_ARCHIVE_LZMA}), ArchiveKinds());
}
}  // namespace
