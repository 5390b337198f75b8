// The dialog helper library's exports, called as the program and other callers call them.
#include "uitest.h"
#include "dlgkit/dlgkit.h"
#include "res/resource.h"
#include <functional>
#include <vector>

using namespace uitest;

namespace {
INT_PTR CALLBACK QuitOnClose(HWND wnd, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) SetWindowTextA(wnd, "dlgkit probe");
  if (msg == WM_CLOSE) {
    PostQuitMessage(0);
    return 1;
  }
  return 0;
}

DWORD WINAPI CloseProbeLater(LPVOID) {
  HWND w = FindTopWindow("#32770", "dlgkit probe");
  if (w) PostMessageA(w, WM_CLOSE, 0, 0);
  return w != nullptr;
}

TEST(Dlgkit, StartMainReturnsAfterTheQuitAndRunsASecondDialogOnTheSameThread) {
  for (int round = 0; round < 2; ++round) {
    HANDLE closer = CreateThread(nullptr, 0, CloseProbeLater, nullptr, 0, nullptr);
    EXPECT_EQ(0, StartMain(QuitOnClose, IDD_MAIN));
    WaitForSingleObject(closer, 15000);
    DWORD found = 0;
    GetExitCodeThread(closer, &found);
    CloseHandle(closer);
    EXPECT_EQ(1u, found) << "round " << round;
    EXPECT_FALSE(FindWindowA(nullptr, "dlgkit probe"));
  }
}

// Fails its own creation, posting the quit message on the way as every procedure does on WM_DESTROY.
INT_PTR CALLBACK FailAtInit(HWND wnd, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) DestroyWindow(wnd);
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return 0;
}

DWORD WINAPI DialogsThatCannotBeMadeThenOne(LPVOID) {
  const int kNoTemplate = 32000;
  int missing = StartMain(QuitOnClose, kNoTemplate);
  int failed = StartMain(FailAtInit, IDD_MAIN);
  HANDLE closer = CreateThread(nullptr, 0, CloseProbeLater, nullptr, 0, nullptr);
  int shown = StartMain(QuitOnClose, IDD_MAIN);
  WaitForSingleObject(closer, 15000);
  DWORD found = 0;
  GetExitCodeThread(closer, &found);
  CloseHandle(closer);
  return missing == -1 && failed == -1 && shown == 0 && found == 1;
}

TEST(Dlgkit, StartMainReturnsWhenItsDialogCannotBeMadeAndTheNextOneRuns) {
  HANDLE t = CreateThread(nullptr, 0, DialogsThatCannotBeMadeThenOne, nullptr, 0, nullptr);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 30000)) << "StartMain waits for a quit message that never comes";
  DWORD ok = 0;
  GetExitCodeThread(t, &ok);
  CloseHandle(t);
  EXPECT_EQ(1u, ok) << "a dialog that cannot be made did not return -1, or the next one did not run";
}

// The start-up guard lets the NT family through without a word, and the version query agrees.
TEST(Dlgkit, TheNtFamilyPassesTheStartGuard) {
  EXPECT_EQ(0, IsNT());
  EXPECT_GE(WinWer(), 5.0f);
}

// Another instance of the same program file finds the semaphore by that file's name.
TEST(Dlgkit, SemaphoreNamedAfterTheProgramFile) {
  EXPECT_EQ(0, WinSemaphore());  // first: keeps the name
  EXPECT_EQ(1, WinSemaphore());  // any later call in any process of that file name
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  HANDLE h = OpenSemaphoreA(SYNCHRONIZE, FALSE, strrchr(path, '\\') + 1);
  EXPECT_TRUE(h);
  if (h) CloseHandle(h);
}

TEST(Dlgkit, SetIcoSetsTheClassIconAndReturnsThePrevious) {
  HWND w = CreateWindowA("#32770", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(w);
  SetIco(w, IDI_APP);
  ULONG_PTR before = GetClassLongPtrA(w, GCLP_HICON);
  EXPECT_NE(0u, before);
  EXPECT_EQ(before, SetIco(w, IDI_SETTINGS));
  EXPECT_NE(before, GetClassLongPtrA(w, GCLP_HICON));
  SetIco(w, IDI_APP);
  DestroyWindow(w);
}

TEST(Dlgkit, GetLangReadsTheLangFolderBesideTheProgram) {
  CreateDirectoryA((ExeDir() + "Lang").c_str(), nullptr);
  std::string file = ExeDir() + "Lang\\dlgkit_probe.lng";
  std::string longText(300, 'z');
  WriteFile(file, "[lng]\r\nhello=Cze\xb6\xe6\r\nlong=" + longText + "\r\n");
  EXPECT_STREQ("Cze\xb6\xe6", GetLang("hello", "def", "dlgkit_probe.lng"));
  EXPECT_STREQ("def", GetLang("missing", "def", "dlgkit_probe.lng"));
  EXPECT_STREQ("def", GetLang("hello", "def", "no_such_file.lng"));
  EXPECT_EQ(std::string(259, 'z'), GetLang("long", "def", "dlgkit_probe.lng"));
  EXPECT_STREQ("def", GetLang("hello", "def", std::string(300, 'n').c_str()));
  DeleteFileA(file.c_str());
}

DWORD WINAPI CancelPicker(LPVOID) {
  HWND d = FindTopWindow("#32770", "Select file:");
  if (d) PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
  return d != nullptr;
}

TEST(Dlgkit, FileOpenCancelReturnsZeroAndKeepsTheBuffer) {
  char path[MAX_PATH] = "start.txt";
  HANDLE canceller = CreateThread(nullptr, 0, CancelPicker, nullptr, 0, nullptr);
  EXPECT_EQ(0u, FileOpen(nullptr, "All\0*.*\0", path, 0));
  WaitForSingleObject(canceller, 15000);
  DWORD found = 0;
  GetExitCodeThread(canceller, &found);
  CloseHandle(canceller);
  EXPECT_EQ(1u, found);
  EXPECT_STREQ("start.txt", path);
}

// ---- Text painting, read back from a real window's pixels ---------------------------------------
const COLORREF kGround = RGB(0, 128, 0);  // the probe window's background
const COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kWhite = RGB(255, 255, 255);
const int kProbeW = 320, kProbeH = 200;

std::function<void(HWND)> onPaint;  // what the probe window does in its WM_PAINT
LRESULT CALLBACK ProbeProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT && onPaint) {
    onPaint(w);
    ValidateRect(w, nullptr);  // a scenario that leaves its series open must not repaint forever
    return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

// A visible top-level window with a green client area of kProbeW x kProbeH; `ownDc` gives it a
// device context of its own that keeps its settings between uses.
HWND ProbeWindow(bool ownDc) {
  const char* cls = ownDc ? "PaintProbeOwnDc" : "PaintProbe";
  WNDCLASSA wc = {};
  wc.style = ownDc ? CS_OWNDC : 0;
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = CreateSolidBrush(kGround);
  wc.lpszClassName = cls;
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(WS_EX_TOPMOST, cls, "paint probe", WS_POPUP | WS_VISIBLE, 40, 40, kProbeW, kProbeH,
                           nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(w);
  return w;
}

// The window's client pixels as the screen shows them, row by row.
std::vector<COLORREF> Capture(HWND w) {
  BITMAPINFO bi = {};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), kProbeW, -kProbeH, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(w);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, dib);
  BitBlt(mem, 0, 0, kProbeW, kProbeH, screen, 0, 0, SRCCOPY);
  GdiFlush();
  std::vector<COLORREF> out(kProbeW * kProbeH);
  const DWORD* px = (const DWORD*)bits;
  for (size_t i = 0; i < out.size(); ++i) out[i] = RGB((px[i] >> 16) & 0xFF, (px[i] >> 8) & 0xFF, px[i] & 0xFF);
  SelectObject(mem, old);
  DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(w, screen);
  return out;
}

// Pixels of colour `c` in rows [top, bottom).
int Count(const std::vector<COLORREF>& px, COLORREF c, int top = 0, int bottom = kProbeH) {
  int n = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < kProbeW; ++x) n += px[y * kProbeW + x] == c;
  return n;
}

// Paints the probe window once through `paint` and returns what it shows.
std::vector<COLORREF> PaintOnce(HWND w, std::function<void(HWND)> paint) {
  onPaint = std::move(paint);
  InvalidateRect(w, nullptr, TRUE);
  UpdateWindow(w);
  onPaint = nullptr;
  return Capture(w);
}

struct Line {
  WORD phase;
  int y;
  COLORREF colour;
  int transparent;
  bool drawn;  // whether the line is to be seen
};
struct SeriesCase {
  const char* name;
  std::vector<Line> lines;
};

TEST(DlgkitPaint, PrintOnDlgPhasesColourAndBackground) {
  const int size = 16;
  const SeriesCase cases[] = {
      {"phase 0 draws one line and closes", {{0, 10, kRed, 1, true}, {2, 60, kRed, 1, false}}},
      {"1 2 2 3 draw in one series, then it is closed",
       {{1, 10, kRed, 1, true}, {2, 50, kBlue, 1, true}, {2, 90, kRed, 1, true}, {3, 130, kBlue, 1, true},
        {2, 170, kRed, 1, false}}},
      {"the flag at the start of a series leaves out the background box", {{0, 10, kBlue, 1, true}}},
      {"without the flag the line has its background box", {{1, 10, kRed, 0, true}, {3, 60, kBlue, 0, true}}},
  };
  HWND w = ProbeWindow(false);
  for (const SeriesCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto px = PaintOnce(w, [&](HWND wnd) {
      for (const Line& l : c.lines) PrintOnDlg(wnd, "Wąż WW", l.colour, l.transparent, size, 10, l.y, l.phase);
    });
    for (const Line& l : c.lines) {
      SCOPED_TRACE(l.y);
      int ink = Count(px, l.colour, l.y, l.y + size + 4);
      if (l.drawn) EXPECT_GT(ink, 20);
      else EXPECT_EQ(0, Count(px, kRed, l.y, l.y + size + 4) + Count(px, kBlue, l.y, l.y + size + 4));
      int box = Count(px, kWhite, l.y, l.y + size + 4);  // the context's background colour
      if (l.drawn && !c.lines[0].transparent) EXPECT_GT(box, 20);
      else EXPECT_EQ(0, box);
    }
    EXPECT_EQ(0, Count(px, RGB(0, 0, 0)));  // nothing in the context's own text colour
  }
  DestroyWindow(w);
}

// The same line drawn with a font made here: size 12 is a bold East European font of height -12.
std::vector<COLORREF> Reference(HWND w, int height, int weight) {
  return PaintOnce(w, [&](HWND wnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    HFONT f = CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, EASTEUROPE_CHARSET, 0, 0, 0, 0, "");
    HGDIOBJ old = SelectObject(dc, f);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kRed);
    TextOutA(dc, 10, 10, "Żółw Ąę", 7);
    SelectObject(dc, old);
    DeleteObject(f);
    EndPaint(wnd, &ps);
  });
}

TEST(DlgkitPaint, SizeTwelveIsABoldFontTwelvePixelsHigh) {
  HWND w = ProbeWindow(false);
  auto drawn = PaintOnce(w, [](HWND wnd) { PrintOnDlg(wnd, "Żółw Ąę", kRed, 1, 12, 10, 10, 0); });
  EXPECT_GT(Count(drawn, kRed), 20);
  EXPECT_TRUE(drawn == Reference(w, -12, FW_BOLD));
  EXPECT_FALSE(drawn == Reference(w, -12, FW_NORMAL));
  EXPECT_FALSE(drawn == Reference(w, 12, FW_BOLD));
  DestroyWindow(w);
}

TEST(DlgkitPaint, PrintOnDlg2DrawsInTheRecordsColourNotTheWindows) {
  CHOOSEFONTA cf;
  memset(&cf, 0x5A, sizeof cf);
  LOGFONTA lf;
  memset(&lf, 0x5A, sizeof lf);
  HWND w = ProbeWindow(true);
  InitPaintStruct(&cf, w, &lf, -14, kBlue);
  EXPECT_EQ(sizeof(CHOOSEFONTA), cf.lStructSize);
  EXPECT_EQ(w, cf.hwndOwner);
  EXPECT_EQ(&lf, cf.lpLogFont);
  EXPECT_EQ(0x101u, cf.Flags);
  EXPECT_EQ(kBlue, cf.rgbColors);
  EXPECT_EQ(0x2000, cf.nFontType);
  EXPECT_EQ(0x5A5A5A5Au, (DWORD)cf.lCustData);  // the caller's fields stay
  EXPECT_EQ(-14, lf.lfHeight);
  EXPECT_EQ(FW_BOLD, lf.lfWeight);
  EXPECT_EQ(EASTEUROPE_CHARSET, lf.lfCharSet);
  EXPECT_EQ(0, lf.lfWidth + lf.lfEscapement + lf.lfOrientation + lf.lfItalic + lf.lfUnderline + lf.lfStrikeOut);
  EXPECT_EQ(0, lf.lfFaceName[0]);

  PaintOnce(w, [](HWND) {});
  HDC own = GetDC(w);  // the window's own context, which keeps this colour
  SetTextColor(own, kRed);
  ReleaseDC(w, own);
  PrintOnDlg2(w, "Wąż WW", 10, 10, &cf);
  auto px = Capture(w);
  EXPECT_GT(Count(px, kBlue), 20);
  EXPECT_EQ(0, Count(px, kRed) + Count(px, kWhite));  // no background box either
  DestroyWindow(w);
}

TEST(DlgkitPaint, SetFontGivesAControlANormalFontWithTwelvePixelCells) {
  HWND w = ProbeWindow(false);
  HWND label = CreateWindowA("STATIC", "Tekst", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, w, (HMENU)1234, nullptr, nullptr);
  EXPECT_EQ(0, set_font(w, 12, 1234, nullptr));
  HFONT font = (HFONT)SendMessageA(label, WM_GETFONT, 0, 0);
  ASSERT_TRUE(font);
  LOGFONTA lf;
  ASSERT_TRUE(GetObjectA(font, sizeof lf, &lf));
  EXPECT_EQ(12, lf.lfHeight);
  EXPECT_EQ(FW_NORMAL, lf.lfWeight);
  EXPECT_EQ(EASTEUROPE_CHARSET, lf.lfCharSet);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  EXPECT_EQ(12, tm.tmHeight);
  DestroyWindow(w);
}

struct KeyCase {
  const char* name;
  COLORREF key;
  std::vector<COLORREF> before, after;
};

TEST(DlgkitPaint, SetBkTransparentTurnsOnlyTheKeyColourBlack) {
  const COLORREF magenta = RGB(255, 0, 255), black = RGB(0, 0, 0), grey = RGB(90, 91, 92);
  const KeyCase cases[] = {
      {"key pixels become black", magenta, {magenta, kRed, grey, magenta}, {black, kRed, grey, black}},
      {"no key pixel: unchanged", kBlue, {magenta, kRed, grey, black}, {magenta, kRed, grey, black}},
      {"black key: unchanged", black, {black, kRed, grey, magenta}, {black, kRed, grey, magenta}},
  };
  HDC screen = GetDC(nullptr);
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.name);
    HBITMAP bmp = CreateCompatibleBitmap(screen, (int)c.before.size(), 1);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    for (size_t x = 0; x < c.before.size(); ++x) SetPixel(mem, (int)x, 0, c.before[x]);
    SelectObject(mem, old);
    SetBkTransparent(bmp, c.key);
    old = SelectObject(mem, bmp);
    std::vector<COLORREF> got;
    for (size_t x = 0; x < c.before.size(); ++x) got.push_back(GetPixel(mem, (int)x, 0));
    SelectObject(mem, old);
    EXPECT_EQ(c.after, got);
    DeleteDC(mem);
    DeleteObject(bmp);
  }
  ReleaseDC(nullptr, screen);
  SetBkTransparent(nullptr, RGB(1, 2, 3));  // an invalid bitmap: no effect, no failure
}
}  // namespace
