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

// Everything the reply brings is untrusted: the probe reads it through one receive into its
// buffer. The probe's thread and its socket are known to StopProbe, which may run at any time.
UniqueHandle probeThread;
volatile LONG probeStop;

enum Wait { READY, FAILED, STOPPED };

// Waits until `s` can be written (connected) or read, or has failed, or the probe is told to stop.
Wait WaitFor(SOCKET s, bool forWrite) {
  for (;;) {
    if (probeStop) return STOPPED;
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
bool Connect(SOCKET s, const sockaddr_in& server) {
  u_long on = 1, off = 0;
  if (ioctlsocket(s, FIONBIO, &on) != 0) return false;
  if (connect(s, (const sockaddr*)&server, sizeof server) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) return false;
  if (WaitFor(s, true) != READY) return false;
  int error = 0, size = sizeof error;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, (char*)&error, &size) != 0 || error != 0) return false;
  return ioctlsocket(s, FIONBIO, &off) == 0;
}

// Sends the request and reads the reply once; 1 if it held the marker (the flag set if "on" follows).
DWORD Exchange(SOCKET s) {
  char buffer[kProbeBuffer];
  int n = snprintf(buffer, sizeof buffer, "GET /robots.txt HTTP/1.0\r\nHost: %s\r\n\r\n", PR_AD_HOST);
  if (n <= 0 || n >= kProbeBuffer) return 0;
  send(s, buffer, n, 0);
  if (WaitFor(s, false) != READY) return 0;
  int got = recv(s, buffer, kProbeReceive, 0);
  if (got <= 0) return 0;
  buffer[got] = 0;
  const char* marker = strstr(buffer, kMarker);
  if (!marker) return 0;
  const char* after = marker + sizeof kMarker - 1;
  if (after[0] == 'o' && after[1] == 'n') fullScr = 1;  // after[1] is at worst the terminator
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

void GetInfo() {
  probeThread.reset();  // an earlier probe goes on by itself
  probeStop = 0;
  probeThread.reset(CreateThread(nullptr, 0, WebThr, nullptr, 0, nullptr));
}

void StopProbe(DWORD ms) {
  if (!probeThread) return;
  InterlockedExchange(&probeStop, 1);
  WaitForSingleObject(probeThread.get(), ms);
  probeThread.reset();
}

DWORD WINAPI WebThr(LPVOID) {
  fullScr = 0;
  DWORD result = 0;
  WSADATA wsa;
  if (WSAStartup(0x0101, &wsa) != 0) return 0;
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s != INVALID_SOCKET) {
    const hostent* host = gethostbyname(PR_AD_HOST);
    if (host && host->h_addrtype == AF_INET && host->h_length == 4 && host->h_addr_list[0]) {
      sockaddr_in server;
      memset(&server, 0, sizeof server);
      server.sin_family = AF_INET;
      server.sin_port = htons(80);
      memcpy(&server.sin_addr, host->h_addr_list[0], 4);
      if (Connect(s, server)) result = Exchange(s);
    }
    closesocket(s);
  }
  WSACleanup();
  C_CloseThr();
  return result;
}
