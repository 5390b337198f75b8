// The advertisement panel: offline start, the panel over the picture, the probe's exchange with a
// server of the test's own on 127.0.0.1:80, the maximised window, and the container's tables.
#include "uitest.h"
#include <winsock2.h>
#include <tlhelp32.h>
#include "adpane/adpane.h"
#include "adpane/WebBrowser.h"
#include "adhost.h"
#include "app/func.h"
#include "res/resource.h"
#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

using namespace uitest;

namespace {
const char kProbeRequest[] = "GET /robots.txt HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
const std::string kHead = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
const std::string kAdOn = kHead + "User-agent: ad-on\r\nDisallow:\r\n";
const std::string kAdOff = kHead + "User-agent: ad-off\r\nDisallow:\r\n";

// An HTTP server of the test's own on 127.0.0.1 port 80. It records every request; it answers
// robots.txt with the case's bytes and anything else with a page (kServe), the same in three
// packets, the status line, the header and the body, with a pause between them (kPieces), reads the request and never answers (kSilent), hangs up without a word once it has
// read it (kMute), or at once (kHangUp); or it is a host that swallows every connection attempt
// (kSwallow: its queue is full and it accepts nothing).
// After answering it waits for the client to hang up, so it knows when an exchange is over.
class LoopbackServer {
 public:
  enum Mode { kServe, kPieces, kSilent, kMute, kHangUp, kSwallow };
  struct Request {
    std::string bytes;
    bool clientClosed;
  };

  LoopbackServer(Mode mode, std::string robots) : mode_(mode), robots_(std::move(robots)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    BOOL on = TRUE;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, (const char*)&on, sizeof on);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(80);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Another checkout's tests may hold the port a while.
    bool bound = WaitFor([&] { return bind(listener_, (sockaddr*)&at, sizeof at) == 0; }, 60000);
    if (!bound || listen(listener_, mode == kSwallow ? 1 : 16) != 0) {
      fprintf(stderr, "the test server cannot listen on 127.0.0.1:80 (error %d)\n", WSAGetLastError());
      return;
    }
    if (mode == kSwallow) {
      listening_ = FillQueue(at);
      if (!listening_) fprintf(stderr, "the test server's queue does not fill: it cannot swallow connections\n");
      return;
    }
    listening_ = true;
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    WaitFor([this] { return live_ == 0; });
    for (SOCKET f : fillers_) closesocket(f);
    closesocket(listener_);
    WSACleanup();
  }
  bool Listening() const { return listening_; }

  std::vector<Request> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  // The first robots.txt request; `over`: only once its client has hung up.
  bool ProbeRequest(std::string* bytes, bool over) {
    for (const Request& r : Requests())
      if (r.bytes.compare(0, 16, "GET /robots.txt ") == 0 && (r.clientClosed || !over)) {
        *bytes = r.bytes;
        return true;
      }
    return false;
  }
  // Pages (anything but robots.txt) whose exchange is over.
  int PagesServed() {
    int n = 0;
    for (const Request& r : Requests())
      if (r.bytes.compare(0, 16, "GET /robots.txt ") != 0 && r.clientClosed) ++n;
    return n;
  }
  // Waits until the probe's exchange is over (the probe hung up); its request in *bytes.
  bool WaitProbeDone(std::string* bytes, DWORD ms = 15000) {
    return WaitFor([&] { return ProbeRequest(bytes, true); }, ms);
  }

 private:
  // Waits for `s` to be readable: false on stop or after `ms`.
  bool Readable(SOCKET s, DWORD ms) {
    DWORD start = GetTickCount();
    while (!stop_ && GetTickCount() - start < ms) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(s, &set);
      timeval slice = {0, 50000};
      if (select(0, &set, nullptr, nullptr, &slice) > 0) return true;
    }
    return false;
  }
  // Connects to the listener, never accepted, until a connection attempt is left unanswered: the
  // system drops further attempts as a host does that swallows packets.
  bool FillQueue(const sockaddr_in& at) {
    for (int i = 0; i < 64; ++i) {
      SOCKET f = socket(AF_INET, SOCK_STREAM, 0);
      u_long on = 1;
      ioctlsocket(f, FIONBIO, &on);
      fillers_.push_back(f);
      connect(f, (const sockaddr*)&at, sizeof at);
      fd_set set;
      FD_ZERO(&set);
      FD_SET(f, &set);
      timeval wait = {1, 0};
      if (select(0, nullptr, &set, nullptr, &wait) == 0) return true;
    }
    return false;
  }
  void AcceptLoop() {
    while (!stop_) {
      if (!Readable(listener_, 100)) continue;
      SOCKET c = accept(listener_, nullptr, nullptr);
      if (c == INVALID_SOCKET) continue;
      ++live_;
      std::thread([this, c] {
        Serve(c);
        --live_;
      }).detach();  // a handler holds no handle past its end, so the test can count the program's
    }
  }
  void Serve(SOCKET c) {
    if (mode_ == kHangUp) {
      closesocket(c);
      return;
    }
    std::string req;
    char buf[4096];
    while (req.find("\r\n\r\n") == std::string::npos && req.size() < 8192 && Readable(c, 10000)) {
      int n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      req.append(buf, n);
    }
    size_t index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = requests_.size();
      requests_.push_back({req, false});
    }
    bool serves = mode_ == kServe || mode_ == kPieces;
    if (serves) {
      std::string reply = req.compare(0, 16, "GET /robots.txt ") == 0
                              ? robots_
                              : "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>Reklama</body></html>";
      if (mode_ == kPieces) SendInPieces(c, reply);
      else send(c, reply.data(), (int)reply.size(), 0);
    }
    if (mode_ != kMute) {
      if (serves) shutdown(c, SD_SEND);
      // The client's hang-up ends the exchange (a reset after unread bytes too).
      while (Readable(c, mode_ == kSilent ? 120000 : 10000)) {
        if (recv(c, buf, sizeof buf, 0) <= 0) {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_[index].clientClosed = true;
          break;
        }
      }
    } else {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_[index].clientClosed = true;  // nobody waits for its hang-up here
    }
    closesocket(c);
  }
  // The status line, the rest of the header and the body as packets of their own: each is sent
  // alone and the next only after a pause long enough for it to be received alone.
  void SendInPieces(SOCKET c, const std::string& reply) {
    BOOL on = TRUE;
    setsockopt(c, IPPROTO_TCP, TCP_NODELAY, (const char*)&on, sizeof on);
    size_t line = reply.find("\r\n"), head = reply.find("\r\n\r\n");
    size_t cuts[] = {0, line == std::string::npos ? reply.size() : line + 2,
                     head == std::string::npos ? reply.size() : head + 4, reply.size()};
    for (int i = 0; i < 3; ++i) {
      if (i) Sleep(200);
      if (cuts[i + 1] > cuts[i]) send(c, reply.data() + cuts[i], (int)(cuts[i + 1] - cuts[i]), 0);
    }
  }

  Mode mode_;
  std::string robots_;
  SOCKET listener_ = INVALID_SOCKET;
  bool listening_ = false;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::atomic<int> live_{0};
  std::mutex mutex_;
  std::vector<Request> requests_;
  std::vector<SOCKET> fillers_;
};

HWND FindPanel(HWND main) { return FindWindowExA(main, nullptr, MAKEINTATOM(0x8002), "Advertisement"); }

DWORD ThreadOf(HWND w) { return GetWindowThreadProcessId(w, nullptr); }

// Whether the main window's thread still waits to hear if the ad server can be reached: its
// message-only window that hears it is there.
bool VerdictPending(HWND main) {
  for (HWND w = nullptr; (w = FindWindowExA(HWND_MESSAGE, w, MAKEINTATOM(0x8002), "Advertisement")) != nullptr;)
    if (ThreadOf(w) == ThreadOf(main)) return true;
  return false;
}

RECT ClientRectOf(HWND child, HWND parent) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, (POINT*)&r, 2);
  return r;
}

POINT CenterOf(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class AdPanel : public AppTest {
 protected:
  void TearDown() override {
    AppTest::TearDown();
    server_.reset();
  }
  // The server for this test, and the main window; the probe's exchange over.
  void StartWithServer(LoopbackServer::Mode mode, const std::string& robots) {
    ASSERT_STREQ("127.0.0.1", PR_AD_HOST) << "the tests reach no other host: build them with -DPR_AD_HOST=127.0.0.1";
    server_.reset(new LoopbackServer(mode, robots));
    ASSERT_TRUE(server_->Listening());
    StartApp();
  }
  // The panel once the main window has heard that the server can be reached; null without one.
  HWND Panel() {
    EXPECT_TRUE(WaitFor([&] { return !VerdictPending(Main()); })) << "no word whether the server can be reached";
    return FindPanel(Main());
  }
  std::string ProbeDone() {
    std::string req;
    EXPECT_TRUE(server_->WaitProbeDone(&req)) << "the probe did not finish its exchange";
    return req;
  }
  // The cursor over `w`, with the main window in front there (a window of a test before may linger).
  void PointAt(HWND w) {
    POINT at = CenterOf(w);
    SetCursorPos(at.x, at.y);
    EXPECT_TRUE(WaitFor([&] {
      SetWindowPos(Main(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      return GetAncestor(WindowFromPoint(at), GA_ROOT) == Main();
    })) << "the main window is not in front";
  }
  // A click on the panel as the user makes it: the cursor there, the button pressed and let go.
  void ClickPanel() {
    PointAt(Panel());
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof in[0]);
  }
  // The click's activation reaching the main window with the cursor over `w`; returns once handled.
  void ActivateOver(HWND w) {
    PointAt(w);
    SendMessageA(Main(), WM_MOUSEACTIVATE, (WPARAM)Main(), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
  }
  // Opens the maximised window with a click; closes it and waits until its thread has ended.
  HWND OpenMaximised() {
    ClickPanel();
    return FindTopWindow("#32770", "Advertisement");
  }
  void CloseMaximised(HWND ad) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, ThreadOf(ad));
    ASSERT_TRUE(thread);
    PostMessageA(ad, WM_CLOSE, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 15000)) << "the maximised window's thread did not end";
    CloseHandle(thread);
    EXPECT_FALSE(IsWindow(ad));
  }

  std::unique_ptr<LoopbackServer> server_;
};

TEST_F(AdPanel, OfflineTheWindowComesUpEnabledWithThePictureAndNoPanelAndCloses) {
  StartApp();
  EXPECT_TRUE(IsWindowEnabled(Main()));
  EXPECT_FALSE(Panel());
  EXPECT_FALSE(*C_hwnd());
  EXPECT_TRUE(IsWindowVisible(Item(IDC_PANEL_BITMAP)));
  POINT at = CenterOf(Item(IDC_PANEL_BITMAP));
  ScreenToClient(Main(), &at);
  EXPECT_EQ(Item(IDC_PANEL_BITMAP), ChildWindowFromPoint(Main(), at));
  EXPECT_EQ(0, *IsWebFullScr());
  CloseApp();
  EXPECT_FALSE(AppRunning());
}

TEST_F(AdPanel, ThePanelLiesOverThePictureAndTheProbeAsksByteForByte) {
  StartWithServer(LoopbackServer::kServe, kAdOn);
  EXPECT_STREQ("http://127.0.0.1/advertising_view.php?page=advertising/main.html", C_adv()->url);
  EXPECT_EQ(Main(), C_adv()->hwndParent);
  HWND panel = Panel();
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel, *C_hwnd());
  EXPECT_EQ((DWORD)(WS_CHILD | WS_VISIBLE), GetWindowLongA(panel, GWL_STYLE) & 0xFFFF0000);
  RECT r = ClientRectOf(panel, Main());
  EXPECT_EQ(5, r.left);
  EXPECT_EQ(283, r.top);
  EXPECT_EQ(385, r.right - r.left);
  EXPECT_EQ(160, r.bottom - r.top);
  RECT picture = ClientRectOf(Item(IDC_PANEL_BITMAP), Main()), over;
  EXPECT_TRUE(IntersectRect(&over, &r, &picture)) << "the panel is not over the picture";
  HWND browser = GetWindow(panel, GW_CHILD);
  ASSERT_TRUE(browser) << "no browser in the panel";
  RECT b;
  GetWindowRect(browser, &b);
  EXPECT_EQ(385, b.right - b.left);
  EXPECT_EQ(160, b.bottom - b.top);
  EXPECT_TRUE(IsWindowEnabled(Main()));
  EXPECT_EQ(kProbeRequest, ProbeDone());
  EXPECT_EQ(1, *IsWebFullScr());
}

TEST_F(AdPanel, AdOnAClickOpensTheMaximisedWindowOnItsOwnThreadAndAgainAfterItClosed) {
  StartWithServer(LoopbackServer::kServe, kAdOn);
  ProbeDone();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    HWND ad = OpenMaximised();
    ASSERT_TRUE(ad) << "no maximised window";
    EXPECT_TRUE(IsZoomed(ad));
    EXPECT_EQ((DWORD)(WS_CAPTION | WS_SYSMENU), GetWindowLongA(ad, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU));
    EXPECT_FALSE(GetParent(ad));
    EXPECT_NE(ThreadOf(Main()), ThreadOf(ad));
    EXPECT_EQ(ad, *C_hwnd_main());
    HWND browser = GetWindow(ad, GW_CHILD);
    ASSERT_TRUE(browser) << "no browser in the maximised window";
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(Main()) != FALSE; }));
    CloseMaximised(ad);
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_TRUE(IsWindowEnabled(Main()));
  }
}

// The threads of this process that started in the panel's library, by id. CreateThread returns
// once the thread exists: a click that started the maximised window's thread has added one.
std::set<DWORD> PanelThreads() {
  auto base = (const BYTE*)GetModuleHandleA("adpane.dll");
  auto nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
  const BYTE* end = base + nt->OptionalHeader.SizeOfImage;
  using Query = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
  auto query = (Query)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread");
  const int kStartAddress = 9;  // ThreadQuerySetWin32StartAddress
  std::set<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  EXPECT_NE(INVALID_HANDLE_VALUE, snap);
  THREADENTRY32 te = {};
  te.dwSize = sizeof te;
  for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
    if (te.th32OwnerProcessID != GetCurrentProcessId()) continue;
    HANDLE t = OpenThread(THREAD_QUERY_INFORMATION, FALSE, te.th32ThreadID);
    const BYTE* start = nullptr;
    if (t && query(t, kStartAddress, &start, sizeof start, nullptr) == 0 && start >= base && start < end)
      ids.insert(te.th32ThreadID);
    if (t) CloseHandle(t);
  }
  CloseHandle(snap);
  return ids;
}

TEST_F(AdPanel, AdOnAClickOnAWindowOfAnotherSizeOpensNothing) {
  StartWithServer(LoopbackServer::kServe, kAdOn);
  ProbeDone();
  HWND list = Item(IDL_SHORTCUTS);
  std::set<DWORD> before = PanelThreads();
  ActivateOver(list);
  EXPECT_EQ(list, *C_hwnd_main());
  RECT r;
  GetWindowRect(list, &r);
  EXPECT_TRUE(EqualRect(&r, C_rect()));
  EXPECT_EQ(before, PanelThreads()) << "a thread started for the maximised window";
}

// The probe reads the answer to its end, whatever packets it comes in, but no further than 1024
// bytes; only a success counts, and only its first marker; when it says no, a click on the panel is
// not even looked at.
TEST_F(AdPanel, TheProbeDecidesOnTheFirstMarkerOfASuccessWithinItsBound) {
  const std::string fill(1024 - kHead.size() - 17, 'x');
  const LoopbackServer::Mode kServe = LoopbackServer::kServe, kPieces = LoopbackServer::kPieces;
  const struct {
    const char* name;
    LoopbackServer::Mode mode;
    std::string reply;
    int flag;
  } cases[] = {
      {"on", kServe, kAdOn, 1},
      {"off", kServe, kAdOff, 0},
      {"o at the very end", kServe, kHead + "User-agent: ad-o", 0},
      {"lower-case marker", kServe, kHead + "user-agent: ad-on\r\n", 0},
      {"first marker off, second on", kServe, kHead + "User-agent: ad-off\r\nUser-agent: ad-on\r\n", 0},
      {"on ends at byte 1024", kServe, kHead + fill + "User-agent: ad-on", 1},
      {"on lies past byte 1024", kServe, kHead + fill + "xxUser-agent: ad-on\r\n", 0},
      {"on in pieces", kPieces, kAdOn, 1},
      {"on in pieces ends at byte 1024", kPieces, kHead + fill + "User-agent: ad-on", 1},
      {"on with a success without a reason", kServe, "HTTP/1.1 200\r\n\r\nUser-agent: ad-on\r\n", 1},
      {"error status", kServe, "HTTP/1.0 404 Not Found\r\n\r\n", 0},
      {"on in a not-found page", kServe, "HTTP/1.0 404 Not Found\r\n\r\nUser-agent: ad-on\r\n", 0},
      {"on in a server error page", kPieces, "HTTP/1.1 500 Internal Server Error\r\n\r\nUser-agent: ad-on\r\n", 0},
      {"on in a redirection", kServe, "HTTP/1.0 302 Found\r\nLocation: /\r\n\r\nUser-agent: ad-on\r\n", 0},
      {"on without a status line", kServe, "User-agent: ad-on\r\n", 0},
      {"on behind a status of 2000", kServe, "HTTP/1.0 2000 OK\r\n\r\nUser-agent: ad-on\r\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartWithServer(c.mode, c.reply);
    ProbeDone();
    EXPECT_EQ(c.flag, *IsWebFullScr());
    if (!c.flag) {
      ActivateOver(Panel());
      EXPECT_FALSE(*C_hwnd_main()) << "the click was tested although the server said no";
    }
    CloseApp();
    server_.reset();
  }
}

// Whatever the server does, start-up goes on without waiting for it, closing the program does not
// wait on the probe for long, and the probe hangs up. A host that swallows the connection attempt
// leaves the question open for good here: the window is up and usable meanwhile.
TEST_F(AdPanel, AServerThatNeverAnswersOrHangsUpHoldsNeitherTheStartNorTheClose) {
  const struct {
    const char* name;
    LoopbackServer::Mode mode;
  } cases[] = {{"never answers", LoopbackServer::kSilent},
               {"sends nothing", LoopbackServer::kMute},
               {"hangs up at once", LoopbackServer::kHangUp},
               // last: its probe may stay in the check past the case
               {"swallows the connection", LoopbackServer::kSwallow}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartWithServer(c.mode, "");
    EXPECT_TRUE(IsWindowEnabled(Main()));
    std::string req;
    if (c.mode == LoopbackServer::kSwallow) {
      EXPECT_TRUE(VerdictPending(Main())) << "start-up waited for the server";
      EXPECT_FALSE(FindPanel(Main()));
    } else if (c.mode != LoopbackServer::kHangUp) {
      // The probe first asks the system whether the host answers, which a loaded machine may take
      // long over: the bound is generous, the wait ends as soon as the request is in.
      EXPECT_TRUE(WaitFor([&] { return server_->ProbeRequest(&req, false); }, 60000)) << "no probe";
    }
    CloseApp();
    EXPECT_FALSE(AppRunning());
    EXPECT_EQ(0, *IsWebFullScr());
    if (c.mode == LoopbackServer::kSilent) {
      EXPECT_TRUE(server_->WaitProbeDone(&req, 5000)) << "the probe still waits";
    }
    server_.reset();
  }
}

TEST_F(AdPanel, ClosingTheMainWindowReleasesThePanelsBrowser) {
  StartWithServer(LoopbackServer::kServe, kAdOff);
  HWND panel = Panel();
  ASSERT_TRUE(panel);
  HostBlock* b = HostBlockOf(panel);
  ASSERT_TRUE(b);
  IOleClientSite* site = ClientSiteFace(b);
  site->AddRef();  // kept past the close: it tells what the browser still holds
  CloseApp();
  EXPECT_EQ(0u, site->Release()) << "the panel's browser was not released";
}

TEST_F(AdPanel, DestroyReleasesThePanelsBrowserAndASecondCallDoesNothing) {
  StartWithServer(LoopbackServer::kServe, kAdOff);
  HWND panel = Panel();
  ASSERT_TRUE(panel);
  ASSERT_TRUE(HostBlockOf(panel));
  HWND browser = GetWindow(panel, GW_CHILD);
  for (int call = 0; call < 2; ++call) {
    RunOnMainThread([](void*) { C_destroy(); }, nullptr);
    EXPECT_FALSE(HostBlockOf(panel)) << call;
  }
  EXPECT_FALSE(IsWindow(browser));
}

// What the process holds: its handles and its GDI and USER objects. Wine answers 0 to the handle
// and object counts, so the handle table is also probed entry by entry and the windows counted.
struct Holdings {
  DWORD handles, gdi, user, probedHandles, windows;
};

BOOL CALLBACK CountWindow(HWND w, LPARAM count) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == GetCurrentProcessId()) ++*(DWORD*)count;
  return TRUE;
}

BOOL CALLBACK CountTopWindow(HWND w, LPARAM count) {
  CountWindow(w, count);
  EnumChildWindows(w, CountWindow, count);
  return TRUE;
}

Holdings Measure() {
  Holdings h = {0, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), 0, 0};
  GetProcessHandleCount(GetCurrentProcess(), &h.handles);
  DWORD flags;
  for (ULONG_PTR v = 4; v < 0x10000; v += 4)
    if (GetHandleInformation((HANDLE)v, &flags)) ++h.probedHandles;
  EnumWindows(CountTopWindow, (LPARAM)&h.windows);
  for (HWND w = nullptr; (w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr)) != nullptr;)
    CountWindow(w, (LPARAM)&h.windows);
  return h;
}

TEST_F(AdPanel, TwentyMaximisedWindowsLeaveNoGrowingHandleOrObjectCounts) {
  StartWithServer(LoopbackServer::kServe, kAdOn);
  ProbeDone();
  Holdings before = {};
  // The first rounds load what stays loaded (in a new prefix Wine opens some of its caches only
  // after a few pages); twenty more must leave the counts where they were.
  const int kWarmUp = 5, kRounds = 20;
  for (int round = 0; round < kWarmUp + kRounds; ++round) {
    if (round == kWarmUp) before = Measure();
    int pages = server_->PagesServed();
    HWND ad = OpenMaximised();
    ASSERT_TRUE(ad) << round;
    // The user looks at the page before closing it. (Under Wine a page still loading when its
    // window closes keeps its connection.)
    EXPECT_TRUE(WaitFor([&] { return server_->PagesServed() > pages; })) << "no page in round " << round;
    CloseMaximised(ad);
  }
  // Wine keeps handles of its own past a finished page (its cache files of the page, connections),
  // taken in bursts of about five every few rounds and let go seconds later but for a few (five
  // at most seen, after twenty rounds as after forty). Those stay bounded; a handle the panel
  // leaks in each round makes kRounds over the rounds: the allowance is half that.
  const DWORD kWineKeeps = kRounds / 2;
  Holdings after = {};
  WaitFor([&] {
    after = Measure();
    return after.handles <= before.handles + kWineKeeps && after.probedHandles <= before.probedHandles + kWineKeeps;
  });
  EXPECT_LE(after.handles, before.handles + kWineKeeps) << before.handles;
  EXPECT_LE(after.probedHandles, before.probedHandles + kWineKeeps) << before.probedHandles;
  EXPECT_LE(after.gdi, before.gdi + 3) << before.gdi;
  EXPECT_LE(after.user, before.user + 3) << before.user;
  EXPECT_LE(after.windows, before.windows) << before.windows;
}

TEST(AdPane, ExportsCarryTheirPlainNames) {
  HMODULE lib = LoadLibraryA("adpane.dll");
  ASSERT_TRUE(lib);
  for (const char* name : {"C_init", "C_adv", "C_hwnd", "C_hwnd_main", "C_rect", "C_close", "C_destroy", "C_ieHwnd",
                           "C_CloseThr", "C_sleep", "IsWebFullScr", "StartBrowser", "DllMain"})
    EXPECT_TRUE(GetProcAddress(lib, name)) << name;
  FreeLibrary(lib);
}

TEST(AdPane, IeHwndDestroysEveryTopLevelWindowOfTheCallingThread) {
  std::thread([] {
    HWND a = CreateWindowA("#32770", "a", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowA("#32770", "b", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(a && b);
    C_ieHwnd();
    EXPECT_FALSE(IsWindow(a));
    EXPECT_FALSE(IsWindow(b));
  }).join();
}

// The container with the system's browser in a window of the panel's size.
class Container : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    wnd_ = CreateWindowA("#32770", "container", WS_POPUP, 0, 0, 385, 160, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(wnd_);
  }
  void TearDown() override {
    DestroyWindow(wnd_);
    OleUninitialize();
  }
  HWND wnd_ = nullptr;
};

TEST_F(Container, ABrowserIsCreatedNavigatedAndReleasedWithEveryReference) {
  // Without a browser nothing is touched.
  EXPECT_EQ(-5, OpenURL(wnd_, "about:blank"));
  EXPECT_EQ(-1, PutStr(wnd_, "<p>x</p>"));
  DestroyBrowserWindow(wnd_);
  EXPECT_FALSE(GetBrowserHandle(wnd_));

  ASSERT_EQ(0, CreateBrowserWindow(wnd_));
  HostBlock* b = HostBlockOf(wnd_);
  ASSERT_TRUE(b);
  EXPECT_TRUE(b->browser);
  HWND browser = GetBrowserHandle(wnd_);
  ASSERT_TRUE(browser);
  RECT r;
  GetWindowRect(browser, &r);
  EXPECT_EQ(385, r.right - r.left);
  EXPECT_EQ(160, r.bottom - r.top);
  EXPECT_EQ(0, OpenURL(wnd_, ""));
  EXPECT_EQ(0, OpenURL(wnd_, "about:blank"));

  IOleClientSite* site = ClientSiteFace(b);
  site->AddRef();  // kept past the release: it tells what the browser still holds
  DestroyBrowserWindow(wnd_);
  EXPECT_FALSE(HostBlockOf(wnd_));
  EXPECT_FALSE(IsWindow(browser));
  EXPECT_EQ(0u, site->Release()) << "the browser kept references to the site";
  DestroyBrowserWindow(wnd_);  // a second call does nothing
  EXPECT_EQ(-5, OpenURL(wnd_, ""));
}
}  // namespace
