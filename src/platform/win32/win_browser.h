#pragma once

// Windows backend: the browser control {8856F961-340A-11D0-A96B-00C04FD705A2}
// in a container of the backend's own.
//
// Implements:
//  - the OLE container: IOleClientSite, IOleInPlaceSite with the dialog as
//    IOleInPlaceFrame, IDocHostUIHandler (no 3D border, the control's own
//    menus and keys) and, while drops are refused, a drop target that takes
//    nothing; the control made with CoCreateInstance, given the site,
//    activated in place inside the placeholder window and kept over its
//    whole client area as the dialog moves and sizes the placeholder;
//  - kx::Browser: Navigate2 with the post data as VT_ARRAY|VT_UI1 of the
//    exact bytes and the headers as a BSTR (win_navigate_arguments.h), the
//    flags and the target frame as given, so a post into the frame
//    "maintable" carries the core's bytes; Navigate; get_Document
//    (win_document.h); put_RegisterAsDropTarget;
//  - DWebBrowserEvents2 through a connection-point sink: BeforeNavigate2
//    and DocumentComplete, each with the frame's identity (the IUnknown of
//    its pDisp) and its URL; navigation is never cancelled; every other
//    event is left alone;
//  - WinBrowserFactory for the dialog host: null when the control cannot be
//    made, so the dialog runs without it.
//
// Missing (a real Windows must confirm; Wine here has no HTML engine):
// rendering; DocumentComplete at all, and its order for frames and the top
// page (frames first, the top page last); that a post into "maintable"
// lands in that frame with the exact bytes and the Content-Type header
// (Wine sends both exactly, but has no frames and loads the whole window);
// that no page can drop files or links in; the standards mode of
// win_browser_emulation.h. Not built: the keys the control would take
// before the dialog manager (Tab inside a page, Ctrl+C), which need the
// modal loop to call the control's TranslateAccelerator; the control's own
// new windows and its status text.

#include <windows.h>
#include <exdisp.h>
#include <oaidl.h>
#include <ocidl.h>
#include <oleidl.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/browser.h"
#include "platform/win32/win_com.h"
#include "platform/win32/win_dialog_host.h"

namespace kx {

// COM objects go through their own Release, never a delete of an
// interface pointer, so the interfaces need no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// Receives DWebBrowserEvents2 and hands BeforeNavigate2 and DocumentComplete
// to the core.
class WinBrowserEventSink final : public IDispatch {
public:
    // A new sink with one reference, the caller's.
    static ComPtr<WinBrowserEventSink> Make(BrowserEvents& events);

    void SetEvents(BrowserEvents& events) { events_ = &events; }
    // From now on the core hears nothing more.
    void Disconnect() { events_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return count_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    // A call whose arguments are not the event's (their count, a frame that
    // is no object, a URL that is no text) is refused with DISP_E_* and
    // reaches nobody.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override;

private:
    explicit WinBrowserEventSink(BrowserEvents& events) : events_(&events) {}
    ~WinBrowserEventSink() = default;

    ComRefCount count_;
    BrowserEvents* events_;
};

#pragma GCC diagnostic pop

// The identity events carry for `object`: the pointer of its IUnknown,
// which COM keeps the same for every interface of one object; 0 for none.
BrowserIdentity ComIdentity(IUnknown* object);

class WinBrowser final : public Browser {
public:
    // Makes the control of class `control` inside `placeholder`; on failure
    // `browser` stays empty and the result says why (CO_E_NOTINITIALIZED
    // without OLE on the thread, REGDB_E_CLASSNOTREG without the control).
    static HRESULT Create(HWND placeholder, std::unique_ptr<WinBrowser>& browser,
                          REFCLSID control = CLSID_WebBrowser);

    ~WinBrowser() override;
    WinBrowser(const WinBrowser&) = delete;
    WinBrowser& operator=(const WinBrowser&) = delete;

    BrowserIdentity Identity() override { return identity_; }
    std::unique_ptr<PostData> CreatePostData(std::size_t size) override;
    HResult Navigate2(std::string_view url, std::int32_t flags,
                      std::optional<std::string_view> target_frame, PostData& post_data,
                      std::string_view headers) override;
    HResult Navigate(std::string_view url) override;
    HResult PutRegisterAsDropTarget(DropTarget drop_target) override;
    HResult GetDocument(std::shared_ptr<Document>& document) override;
    HResult AdviseEvents(BrowserEvents& events) override;
    void UnadviseEvents() override;

    // Keeps the control over the placeholder's whole client area.
    void Fit();

    // The control itself, for what the port does not carry; the browser
    // keeps its own reference.
    IWebBrowser2* Control() const { return browser_.get(); }

private:
    class Site;
    class Frame;

    explicit WinBrowser(HWND placeholder);
    HRESULT Start(const ComPtr<IOleObject>& control);

    HWND placeholder_;
    bool subclassed_ = false;
    ComPtr<Site> site_;
    ComPtr<IOleObject> control_;
    ComPtr<IOleInPlaceObject> in_place_;
    ComPtr<IWebBrowser2> browser_;
    BrowserIdentity identity_ = 0;
    ComPtr<IConnectionPoint> events_point_;
    ComPtr<WinBrowserEventSink> events_sink_;
    DWORD events_cookie_ = 0;
};

// A byte array for Navigate2's post data, as WinBrowser::CreatePostData
// makes it; none when it cannot be made.
std::unique_ptr<PostData> MakeWinPostData(std::size_t size);

// The factory WinWindowSystem is given: a WinBrowser in each placeholder,
// or none when it cannot be made; `failed`, when given, hears why.
WinBrowserFactory MakeWinBrowserFactory(std::function<void(HRESULT)> failed = {});

}  // namespace kx
