// The minimal OLE container that embeds the system's web browser control in a window: the host
// block, its objects and the operations on a window that holds a browser.
#pragma once
#include <windows.h>
#include <ole2.h>

// One per window that holds a browser, from the global heap, attached as the window's user data.
// Words 2-3 are the frame object, words 4-6 the site object (client-site face, in-place-site face,
// the frame). Every face counts references on the one block; the block is freed when the last
// one is released, so a browser that lets go late never calls into freed memory.
struct HostBlock {
  IOleObject* browser;          // the browser object, set once creation has succeeded
  const void* frameTable;       // -> MyIOleInPlaceFrameTable
  HWND window;
  const void* clientSiteTable;  // -> MyIOleClientSiteTable
  const void* inPlaceSiteTable; // -> MyIOleInPlaceSiteTable
  void* frame;                  // -> frameTable above
  LONG refs;
};

// A new block for `wnd` with words 2-6 filled and one reference (the window's); null without memory.
HostBlock* NewHostBlock(HWND wnd);
inline IOleClientSite* ClientSiteFace(HostBlock* b) { return (IOleClientSite*)&b->clientSiteTable; }
inline IOleInPlaceSite* InPlaceSiteFace(HostBlock* b) { return (IOleInPlaceSite*)&b->inPlaceSiteTable; }
inline IOleInPlaceFrame* FrameObject(HostBlock* b) { return (IOleInPlaceFrame*)&b->frameTable; }
// The process's storage object, shared by every browser; never freed.
IStorage* StorageObject();
// The block attached to `wnd`, or null.
inline HostBlock* HostBlockOf(HWND wnd) { return (HostBlock*)GetWindowLongPtrA(wnd, GWLP_USERDATA); }

// The calling thread must have OLE initialised and own the window.
// Embeds a browser filling the client area: 0 done, -1 no memory, -2 the browser object could not
// be created, -3 it could not be contained, shown or asked for its browser interface.
int CreateBrowserWindow(HWND wnd);
// Starts navigating to `url` (system code page): 0, -5 no browser, -6 the address not convertible.
int OpenURL(HWND wnd, const char* url);
// Replaces the page with the HTML text `html` (system code page): 0 written, -1 any failure.
int PutStr(HWND wnd, const char* html);
// The browser's own window (the window's first child), or null.
HWND GetBrowserHandle(HWND wnd);
// Closes and releases the window's browser and drops the window's block; without one, nothing.
void DestroyBrowserWindow(HWND wnd);
