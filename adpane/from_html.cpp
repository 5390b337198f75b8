// Whether the ad server can be reached, and the probe that reads from its robots.txt whether a
// click may open the maximised advertisement.
#define ADPANE_BUILD
#include <winsock2.h>
#include <wininet.h>
#include "adpane/internal.h"
#include "win/winhandles.h"
#include <stdio.h>
#include <string.h>

namespace {
int fullScr;
const char kMarker[] = "User-agent: ad-";
const int kProbeBuffer = 1028;
const int kProbeReceive = 1024;  // at most this much is received: the terminator always fits
// The probe never gives up on a server by itself; it looks whether it was told to this often.
const long kStopCheckMicroseconds = 100000;

// Everything the reply brings is untrusted: the probe reads it into its buffer up to the bound.
// Each probe has a number of its own; StopProbe, which may run at any time, moves the number on,
// which tells the running probe to give up: also one held in the reachability check, which cannot
// be interrupted and may come back long after a newer probe has started.
UniqueHandle probeThread;
volatile LONG probeRun;

bool Told(LONG run) { return probeRun != run; }

enum Wait { READY, FAILED, STOPPED };

// Waits until `s` can be written (connected) or read, or has failed, or the probe is told to stop.
Wait WaitFor(SOCKET s, bool forWrite, LONG run) {
  for (;;) {
    if (Told(run)) return STOPPED;
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval slice = {0, kStopCheckMicroseconds};
    int n = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &slice);
    if (n < 0 || FD_ISSET(s, &failed)) return FAILED;
    if (n > 0 && FD_ISSET(s, &ready)) return READY;
  }
}

// Connects without blocking past a stop; the socket is blocking again afterwards.
bool Connect(SOCKET s, const sockaddr_in& server, LONG run) {
  u_long on = 1, off = 0;
  if (ioctlsocket(s, FIONBIO, &on) != 0) return false;
  if (connect(s, (const sockaddr*)&server, sizeof server) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) return false;
  if (WaitFor(s, true, run) != READY) return false;
  int error = 0, size = sizeof error;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, (char*)&error, &size) != 0 || error != 0) return false;
  return ioctlsocket(s, FIONBIO, &off) == 0;
}

// Reads the answer until the server ends it or the bound is reached, however it is cut into
// packets: the byte count, or -1 when it broke off or the probe was told to stop.
int ReadAnswer(SOCKET s, char* buffer, LONG run) {
  int got = 0;
  while (got < kProbeReceive) {
    if (WaitFor(s, false, run) != READY) return -1;
    int n = recv(s, buffer + got, kProbeReceive - got, 0);
    if (n < 0) return -1;
    if (n == 0) break;
    got += n;
  }
  return got;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `answer` opens with an HTTP status line of success ("HTTP/1.0 200 OK"): an error page
// says nothing about the file. Reads no further than the first character that does not fit.
bool Succeeded(const char* answer) {
  const char* p = answer;
  if (strncmp(p, "HTTP/", 5) != 0) return false;
  p += 5;
  if (!IsDigit(*p)) return false;
  while (IsDigit(*p)) ++p;
  if (*p++ != '.' || !IsDigit(*p)) return false;
  while (IsDigit(*p)) ++p;
  if (*p++ != ' ') return false;
  return p[0] == '2' && IsDigit(p[1]) && IsDigit(p[2]) && (p[3] == ' ' || p[3] == '\r' || p[3] == '\n');
}

// Sends the request and reads the answer; 1 if it was a success holding the marker (the flag set
// if "on" follows).
DWORD Exchange(SOCKET s, LONG run) {
  char buffer[kProbeBuffer];
  int n = snprintf(buffer, sizeof buffer, "GET /robots.txt HTTP/1.0\r\nHost: %s\r\n\r\n", PR_AD_HOST);
  if (n <= 0 || n >= kProbeBuffer) return 0;
  if (send(s, buffer, n, 0) != n) return 0;
  int got = ReadAnswer(s, buffer, run);
  if (got <= 0) return 0;
  buffer[got] = 0;
  if (!Succeeded(buffer)) return 0;
  const char* marker = strstr(buffer, kMarker);
  if (!marker) return 0;
  const char* after = marker + sizeof kMarker - 1;
  if (after[0] == 'o' && after[1] == 'n' && !Told(run)) fullScr = 1;  // after[1] is at worst the terminator
  return 1;
}
}  // namespace

int* IsWebFullScr(void) { return &fullScr; }

int IsConnected() {
  DWORD flags = 0;
  if (!InternetGetConnectedState(&flags, 0)) return 0;
  return (flags & (INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY |
                   INTERNET_CONNECTION_MODEM_BUSY)) ? 1 : 0;
}

BOOL IsReachable(const char* url) { return InternetCheckConnectionA(url, FLAG_ICC_FORCE_CONNECTION, 0); }

LONG GetInfo() {
  LONG run = InterlockedIncrement(&probeRun);
  probeThread.reset(CreateThread(nullptr, 0, WebThr, (LPVOID)(LONG_PTR)run, 0, nullptr));
  return run;
}

bool IsCurrentProbe(LONG run) { return !Told(run); }

void StopProbe(DWORD ms) {
  InterlockedIncrement(&probeRun);
  if (!probeThread) return;
  WaitForSingleObject(probeThread.get(), ms);
  probeThread.reset();
}

DWORD WINAPI WebThr(LPVOID param) {
  const LONG run = (LONG)(LONG_PTR)param;
  fullScr = 0;
  // The check may take the network long (a host that swallows packets): only this thread waits.
  BOOL reachable = IsReachable(Record()->url);
  if (Told(run)) return 0;
  ProbeVerdict(run, reachable);
  DWORD result = 0;
  WSADATA wsa;
  if (!reachable || WSAStartup(0x0101, &wsa) != 0) {
    C_CloseThr();
    return 0;
  }
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s != INVALID_SOCKET) {
    const hostent* host = gethostbyname(PR_AD_HOST);
    if (host && host->h_addrtype == AF_INET && host->h_length == 4 && host->h_addr_list[0]) {
      sockaddr_in server;
      memset(&server, 0, sizeof server);
      server.sin_family = AF_INET;
      server.sin_port = htons(80);
      memcpy(&server.sin_addr, host->h_addr_list[0], 4);
      if (Connect(s, server, run)) result = Exchange(s, run);
    }
    closesocket(s);
  }
  WSACleanup();
  C_CloseThr();
  return result;
}
