// The minimal OLE container: storage, client site, in-place site and in-place frame as tables of
// fixed answers, and creation, navigation, writing and release of a browser in a window.
#define CINTERFACE
#define COBJMACROS
#include "adpane/WebBrowser.h"
#include <exdisp.h>
#include <mshtml.h>
#include <oleauto.h>
#include <stddef.h>

namespace {
// A slot that only answers `v`, whatever the slot's arguments.
template <typename F> struct Answer;
template <typename R, typename... A> struct Answer<R(STDMETHODCALLTYPE*)(A...)> {
  template <R v> static R STDMETHODCALLTYPE Fn(A...) { return v; }
};
#define NOTIMPL(Vtbl, slot) Answer<decltype(Vtbl::slot)>::Fn<E_NOTIMPL>
#define OK(Vtbl, slot) Answer<decltype(Vtbl::slot)>::Fn<S_OK>

HostBlock* BlockAt(const void* word, size_t offset) { return (HostBlock*)((char*)word - offset); }
HostBlock* OfFrame(IOleInPlaceFrame* f) { return BlockAt(f, offsetof(HostBlock, frameTable)); }
HostBlock* OfClientSite(IOleClientSite* s) { return BlockAt(s, offsetof(HostBlock, clientSiteTable)); }
HostBlock* OfInPlaceSite(IOleInPlaceSite* s) { return BlockAt(s, offsetof(HostBlock, inPlaceSiteTable)); }

ULONG AddRefBlock(HostBlock* b) { return (ULONG)InterlockedIncrement(&b->refs); }
ULONG ReleaseBlock(HostBlock* b) {
  LONG n = InterlockedDecrement(&b->refs);
  if (n == 0) GlobalFree(b);
  return (ULONG)n;
}

// Storage: one stateless object for the whole process; its count only informs.
LONG storageRefs = 1;
HRESULT STDMETHODCALLTYPE StorageQuery(IStorage*, REFIID, void**) { return E_NOTIMPL; }
ULONG STDMETHODCALLTYPE StorageAddRef(IStorage*) { return (ULONG)InterlockedIncrement(&storageRefs); }
ULONG STDMETHODCALLTYPE StorageRelease(IStorage*) { return (ULONG)InterlockedDecrement(&storageRefs); }

// The site answers for its one object through either face.
HRESULT SiteQuery(HostBlock* b, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) *out = ClientSiteFace(b);
  else if (IsEqualIID(riid, IID_IOleInPlaceSite)) *out = InPlaceSiteFace(b);
  else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRefBlock(b);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ClientQuery(IOleClientSite* s, REFIID riid, void** out) { return SiteQuery(OfClientSite(s), riid, out); }
ULONG STDMETHODCALLTYPE ClientAddRef(IOleClientSite* s) { return AddRefBlock(OfClientSite(s)); }
ULONG STDMETHODCALLTYPE ClientRelease(IOleClientSite* s) { return ReleaseBlock(OfClientSite(s)); }
HRESULT STDMETHODCALLTYPE ClientGetContainer(IOleClientSite*, IOleContainer** out) {
  if (out) *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE SiteQueryInPlace(IOleInPlaceSite* s, REFIID riid, void** out) { return SiteQuery(OfInPlaceSite(s), riid, out); }
ULONG STDMETHODCALLTYPE SiteAddRef(IOleInPlaceSite* s) { return AddRefBlock(OfInPlaceSite(s)); }
ULONG STDMETHODCALLTYPE SiteRelease(IOleInPlaceSite* s) { return ReleaseBlock(OfInPlaceSite(s)); }
HRESULT STDMETHODCALLTYPE SiteGetWindow(IOleInPlaceSite* s, HWND* out) {
  if (!out) return E_POINTER;
  *out = ((HostBlock*)OfInPlaceSite(s))->window;
  return S_OK;
}
// The frame goes out with a reference of its own: whoever takes it releases it.
HRESULT STDMETHODCALLTYPE SiteGetWindowContext(IOleInPlaceSite* s, IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               RECT* pos, RECT* clip, OLEINPLACEFRAMEINFO* info) {
  HostBlock* b = OfInPlaceSite(s);
  if (frame) {
    *frame = (IOleInPlaceFrame*)b->frame;
    AddRefBlock(b);
  }
  if (doc) *doc = nullptr;
  if (pos) GetClientRect(b->window, pos);
  if (clip) GetClientRect(b->window, clip);
  if (info) {
    info->fMDIApp = FALSE;
    info->hwndFrame = b->window;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FrameQuery(IOleInPlaceFrame*, REFIID, void**) { return E_NOTIMPL; }
ULONG STDMETHODCALLTYPE FrameAddRef(IOleInPlaceFrame* f) { return AddRefBlock(OfFrame(f)); }
ULONG STDMETHODCALLTYPE FrameRelease(IOleInPlaceFrame* f) { return ReleaseBlock(OfFrame(f)); }
HRESULT STDMETHODCALLTYPE FrameGetWindow(IOleInPlaceFrame* f, HWND* out) {
  if (!out) return E_POINTER;
  *out = OfFrame(f)->window;
  return S_OK;
}
}  // namespace

const IStorageVtbl MyIStorageTable = {
    StorageQuery, StorageAddRef, StorageRelease,
    NOTIMPL(IStorageVtbl, CreateStream), NOTIMPL(IStorageVtbl, OpenStream),
    NOTIMPL(IStorageVtbl, CreateStorage), NOTIMPL(IStorageVtbl, OpenStorage),
    NOTIMPL(IStorageVtbl, CopyTo), NOTIMPL(IStorageVtbl, MoveElementTo),
    NOTIMPL(IStorageVtbl, Commit), NOTIMPL(IStorageVtbl, Revert),
    NOTIMPL(IStorageVtbl, EnumElements), NOTIMPL(IStorageVtbl, DestroyElement),
    NOTIMPL(IStorageVtbl, RenameElement), NOTIMPL(IStorageVtbl, SetElementTimes),
    OK(IStorageVtbl, SetClass),
    NOTIMPL(IStorageVtbl, SetStateBits), NOTIMPL(IStorageVtbl, Stat)};

const IOleClientSiteVtbl MyIOleClientSiteTable = {
    ClientQuery, ClientAddRef, ClientRelease,
    NOTIMPL(IOleClientSiteVtbl, SaveObject), NOTIMPL(IOleClientSiteVtbl, GetMoniker),
    ClientGetContainer,
    OK(IOleClientSiteVtbl, ShowObject),
    NOTIMPL(IOleClientSiteVtbl, OnShowWindow), NOTIMPL(IOleClientSiteVtbl, RequestNewObjectLayout)};

const IOleInPlaceSiteVtbl MyIOleInPlaceSiteTable = {
    SiteQueryInPlace, SiteAddRef, SiteRelease,
    SiteGetWindow,
    NOTIMPL(IOleInPlaceSiteVtbl, ContextSensitiveHelp),
    OK(IOleInPlaceSiteVtbl, CanInPlaceActivate), OK(IOleInPlaceSiteVtbl, OnInPlaceActivate),
    OK(IOleInPlaceSiteVtbl, OnUIActivate),
    SiteGetWindowContext,
    NOTIMPL(IOleInPlaceSiteVtbl, Scroll),
    OK(IOleInPlaceSiteVtbl, OnUIDeactivate), OK(IOleInPlaceSiteVtbl, OnInPlaceDeactivate),
    NOTIMPL(IOleInPlaceSiteVtbl, DiscardUndoState), NOTIMPL(IOleInPlaceSiteVtbl, DeactivateAndUndo),
    OK(IOleInPlaceSiteVtbl, OnPosRectChange)};

const IOleInPlaceFrameVtbl MyIOleInPlaceFrameTable = {
    FrameQuery, FrameAddRef, FrameRelease,
    FrameGetWindow,
    NOTIMPL(IOleInPlaceFrameVtbl, ContextSensitiveHelp), NOTIMPL(IOleInPlaceFrameVtbl, GetBorder),
    NOTIMPL(IOleInPlaceFrameVtbl, RequestBorderSpace), NOTIMPL(IOleInPlaceFrameVtbl, SetBorderSpace),
    OK(IOleInPlaceFrameVtbl, SetActiveObject),
    NOTIMPL(IOleInPlaceFrameVtbl, InsertMenus),
    OK(IOleInPlaceFrameVtbl, SetMenu),
    NOTIMPL(IOleInPlaceFrameVtbl, RemoveMenus),
    OK(IOleInPlaceFrameVtbl, SetStatusText), OK(IOleInPlaceFrameVtbl, EnableModeless),
    NOTIMPL(IOleInPlaceFrameVtbl, TranslateAccelerator)};

IStorage MyIStorage = {(IStorageVtbl*)&MyIStorageTable};

IStorage* StorageObject() { return &MyIStorage; }

HostBlock* NewHostBlock(HWND wnd) {
  HostBlock* b = (HostBlock*)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof(HostBlock));
  if (!b) return nullptr;
  b->frameTable = &MyIOleInPlaceFrameTable;
  b->window = wnd;
  b->clientSiteTable = &MyIOleClientSiteTable;
  b->inPlaceSiteTable = &MyIOleInPlaceSiteTable;
  b->frame = &b->frameTable;
  b->refs = 1;
  return b;
}

namespace {
// Text in the system code page as a new BSTR, through a buffer of the global heap; null on failure.
BSTR ToBstr(const char* text) {
  if (!text) return nullptr;
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return nullptr;
  WCHAR* wide = (WCHAR*)GlobalAlloc(GMEM_FIXED, (SIZE_T)n * sizeof(WCHAR));
  if (!wide) return nullptr;
  BSTR s = nullptr;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, n) == n) s = SysAllocString(wide);
  GlobalFree(wide);
  return s;
}

// The browser interface of the window's browser, with a reference for the caller; null without one.
IWebBrowser2* WebBrowserOf(HWND wnd) {
  HostBlock* b = HostBlockOf(wnd);
  IWebBrowser2* web = nullptr;
  if (!b || !b->browser) return nullptr;
  if (FAILED(IOleObject_QueryInterface(b->browser, IID_IWebBrowser2, (void**)&web))) return nullptr;
  return web;
}

// Navigates to `address`, without flags, target frame, post data or headers; frees the address.
void Navigate(IWebBrowser2* web, BSTR address) {
  VARIANT url, none;
  VariantInit(&url);
  VariantInit(&none);
  V_VT(&url) = VT_BSTR;
  V_BSTR(&url) = address;
  IWebBrowser2_Navigate2(web, &url, &none, &none, &none, &none);
  VariantClear(&url);
}

// Closes the block's browser and lets go of it; it gives back its hold on the site first.
void ReleaseBrowser(HostBlock* b) {
  IOleObject* browser = b->browser;
  b->browser = nullptr;
  if (!browser) return;
  IOleObject_Close(browser, OLECLOSE_NOSAVE);
  IOleObject_SetClientSite(browser, nullptr);
  IOleObject_Release(browser);
}
}  // namespace

int CreateBrowserWindow(HWND wnd) {
  HostBlock* b = NewHostBlock(wnd);
  if (!b) return -1;
  IOleObject* browser = nullptr;
  if (FAILED(OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr, ClientSiteFace(b),
                       StorageObject(), (void**)&browser)) || !browser) {
    ReleaseBlock(b);
    return -2;
  }
  b->browser = browser;
  SetWindowLongPtrA(wnd, GWLP_USERDATA, (LONG_PTR)b);
  IOleObject_SetHostNames(browser, L"My Host Name", nullptr);
  RECT rect;
  GetClientRect(wnd, &rect);
  IWebBrowser2* web = nullptr;
  if (FAILED(OleSetContainedObject((IUnknown*)browser, TRUE)) ||
      FAILED(IOleObject_DoVerb(browser, OLEIVERB_SHOW, nullptr, ClientSiteFace(b), -1, wnd, &rect)) ||
      FAILED(IOleObject_QueryInterface(browser, IID_IWebBrowser2, (void**)&web))) {
    DestroyBrowserWindow(wnd);
    return -3;
  }
  IWebBrowser2_put_Left(web, 0);
  IWebBrowser2_put_Top(web, 0);
  IWebBrowser2_put_Width(web, rect.right);
  IWebBrowser2_put_Height(web, rect.bottom);
  IWebBrowser2_Release(web);
  return 0;
}

int OpenURL(HWND wnd, const char* url) {
  IWebBrowser2* web = WebBrowserOf(wnd);
  if (!web) return -5;
  BSTR address = ToBstr(url);
  int result = address ? 0 : -6;
  if (address) Navigate(web, address);
  IWebBrowser2_Release(web);
  return result;
}

int PutStr(HWND wnd, const char* html) {
  IWebBrowser2* web = WebBrowserOf(wnd);
  if (!web) return -1;
  Navigate(web, SysAllocString(L"about:blank"));
  int result = -1;
  IDispatch* dispatch = nullptr;
  IHTMLDocument2* doc = nullptr;
  SAFEARRAY* lines = nullptr;
  VARIANT* element = nullptr;
  SAFEARRAYBOUND bound = {1, 0};
  if (SUCCEEDED(IWebBrowser2_get_Document(web, &dispatch)) && dispatch &&
      SUCCEEDED(IDispatch_QueryInterface(dispatch, IID_IHTMLDocument2, (void**)&doc)) &&
      (lines = SafeArrayCreate(VT_VARIANT, 1, &bound)) != nullptr) {
    if (SUCCEEDED(SafeArrayAccessData(lines, (void**)&element))) {
      V_VT(element) = VT_BSTR;
      V_BSTR(element) = ToBstr(html);
      if (V_BSTR(element)) {
        IHTMLDocument2_write(doc, lines);
        result = 0;
      }
      SafeArrayUnaccessData(lines);
    }
    SafeArrayDestroy(lines);  // frees the BSTR
  }
  if (doc) IHTMLDocument2_Release(doc);
  if (dispatch) IDispatch_Release(dispatch);
  IWebBrowser2_Release(web);
  return result;
}

HWND GetBrowserHandle(HWND wnd) { return GetWindow(wnd, GW_CHILD); }

void DestroyBrowserWindow(HWND wnd) {
  HostBlock* b = HostBlockOf(wnd);
  if (!b) return;
  SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
  ReleaseBrowser(b);
  ReleaseBlock(b);  // the window's reference
}
