#include "platform/win32/win_browser.h"

#include <commctrl.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ole2.h>

#include <climits>
#include <new>
#include <string>
#include <utility>

#include "platform/win32/win_document.h"
#include "platform/win32/win_navigate_arguments.h"

namespace kx {

namespace {

// Names the browser's hook on its placeholder among other subclasses.
constexpr UINT_PTR kPlaceholderSubclass = 0x4B58'4252;

// BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers,
// Cancel) and DocumentComplete(pDisp, URL); DISPPARAMS hold them last first.
constexpr UINT kBeforeNavigate2Arguments = 7;
constexpr UINT kDocumentCompleteArguments = 2;

bool ArgumentObject(const VARIANT& argument, IUnknown*& object) {
    VARTYPE type = V_VT(&argument);
    if (type == VT_DISPATCH) {
        object = V_DISPATCH(&argument);
    } else if (type == VT_UNKNOWN) {
        object = V_UNKNOWN(&argument);
    } else if (type == (VT_BYREF | VT_DISPATCH) && V_DISPATCHREF(&argument) != nullptr) {
        object = *V_DISPATCHREF(&argument);
    } else {
        return false;
    }
    return object != nullptr;
}

// The URL arrives as a reference to a VARIANT holding a BSTR.
bool ArgumentText(const VARIANT& argument, std::u16string& text) {
    const VARIANT* value = &argument;
    if (V_VT(value) == (VT_BYREF | VT_VARIANT)) {
        value = V_VARIANTREF(value);
        if (value == nullptr) return false;
    }
    if (V_VT(value) == VT_BSTR) {
        text = BstrText(V_BSTR(value));
        return true;
    }
    if (V_VT(value) == (VT_BYREF | VT_BSTR) && V_BSTRREF(value) != nullptr) {
        text = BstrText(*V_BSTRREF(value));
        return true;
    }
    return false;
}

template <typename Interface>
HRESULT Hand(Interface* pointer, void** object) {
    pointer->AddRef();
    *object = pointer;
    return S_OK;
}

// The post data the core fills: a byte array of its own, as
// SafeArrayCreateVector makes it.
class WinPostData final : public PostData {
public:
    static std::unique_ptr<WinPostData> Make(std::size_t size) {
        if (size > ULONG_MAX) return nullptr;
        UniqueSafeArray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size)));
        if (!array) return nullptr;
        return std::unique_ptr<WinPostData>(new (std::nothrow) WinPostData(std::move(array), size));
    }
    ~WinPostData() override {
        // A locked array cannot be destroyed.
        while (locks_ > 0) UnaccessData();
    }
    WinPostData(const WinPostData&) = delete;
    WinPostData& operator=(const WinPostData&) = delete;

    HResult AccessData(std::span<std::uint8_t>& bytes) override {
        bytes = {};
        void* data = nullptr;
        const HRESULT result = SafeArrayAccessData(array_.get(), &data);
        if (FAILED(result)) return result;
        ++locks_;
        if (size_ > 0) bytes = {static_cast<std::uint8_t*>(data), size_};
        return result;
    }
    void UnaccessData() override {
        if (locks_ == 0) return;
        --locks_;
        SafeArrayUnaccessData(array_.get());
    }

private:
    WinPostData(UniqueSafeArray array, std::size_t size) : array_(std::move(array)), size_(size) {}

    UniqueSafeArray array_;
    std::size_t size_;
    int locks_ = 0;
};

// Holds the core's post data open for as long as Navigate2 copies it.
class PostDataAccess {
public:
    explicit PostDataAccess(PostData& data) : data_(data) { result_ = data_.AccessData(bytes_); }
    ~PostDataAccess() {
        if (SUCCEEDED(result_)) data_.UnaccessData();
    }
    PostDataAccess(const PostDataAccess&) = delete;
    PostDataAccess& operator=(const PostDataAccess&) = delete;

    HRESULT Result() const { return result_; }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

private:
    PostData& data_;
    std::span<std::uint8_t> bytes_;
    HRESULT result_ = E_FAIL;
};

}  // namespace

// --- the event sink --------------------------------------------------------

ComPtr<WinBrowserEventSink> WinBrowserEventSink::Make(BrowserEvents& events) {
    return ComPtr<WinBrowserEventSink>::Take(new WinBrowserEventSink(events));
}

HRESULT STDMETHODCALLTYPE WinBrowserEventSink::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
        return Hand(static_cast<IDispatch*>(this), object);
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE WinBrowserEventSink::Release() {
    const ULONG left = count_.Release();
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE WinBrowserEventSink::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WinBrowserEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE WinBrowserEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                                             DISPID*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE WinBrowserEventSink::Invoke(DISPID member, REFIID, LCID, WORD,
                                                      DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                                      UINT*) {
    UINT expected = 0;
    if (member == DISPID_BEFORENAVIGATE2) {
        expected = kBeforeNavigate2Arguments;
    } else if (member == DISPID_DOCUMENTCOMPLETE) {
        expected = kDocumentCompleteArguments;
    } else {
        return S_OK;
    }
    if (params == nullptr || params->cArgs != expected || params->rgvarg == nullptr) {
        return DISP_E_BADPARAMCOUNT;
    }
    IUnknown* frame = nullptr;
    std::u16string url;
    if (!ArgumentObject(params->rgvarg[expected - 1], frame) ||
        !ArgumentText(params->rgvarg[expected - 2], url)) {
        return DISP_E_TYPEMISMATCH;
    }
    BrowserEvents* events = events_;
    if (events == nullptr) return S_OK;
    const BrowserIdentity identity = ComIdentity(frame);
    if (identity == 0) return DISP_E_TYPEMISMATCH;
    // The core may stop listening, and so let the sink go, in its handler.
    const ComPtr<WinBrowserEventSink> alive = ComPtr<WinBrowserEventSink>::Share(this);
    if (member == DISPID_BEFORENAVIGATE2) {
        events->BeforeNavigate2(identity, url);
    } else {
        events->DocumentComplete(identity, url);
    }
    return S_OK;
}

BrowserIdentity ComIdentity(IUnknown* object) {
    if (object == nullptr) return 0;
    ComPtr<IUnknown> identity;
    if (FAILED(object->QueryInterface(IID_IUnknown, identity.put_void())) || !identity) return 0;
    return reinterpret_cast<BrowserIdentity>(identity.get());
}

// --- the container ----------------------------------------------------------

// COM objects go through their own Release, never a delete of an
// interface pointer, so the interfaces need no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The dialog as the control's in-place frame: it offers no menus, tools or
// status line of its own.
class WinBrowser::Frame final : public IOleInPlaceFrame {
public:
    static ComPtr<Frame> Make(HWND window) { return ComPtr<Frame>::Take(new Frame(window)); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
            IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
            return Hand(static_cast<IOleInPlaceFrame*>(this), object);
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return count_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = count_.Release();
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (window == nullptr) return E_POINTER;
        *window = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    explicit Frame(HWND window) : window_(window) {}
    ~Frame() = default;

    ComRefCount count_;
    HWND window_;
};

// The control's site in the placeholder window.
class WinBrowser::Site final : public IOleClientSite,
                               public IOleInPlaceSite,
                               public IDocHostUIHandler,
                               public IDropTarget {
public:
    static ComPtr<Site> Make(WinBrowser& owner, HWND placeholder) {
        return ComPtr<Site>::Take(new Site(owner, placeholder));
    }

    // The browser is going; calls that come later find nobody.
    void Forget() {
        owner_ = nullptr;
        frame_.reset();
    }
    void SetDrops(DropTarget drops) { drops_ = drops; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
            return Hand(static_cast<IOleClientSite*>(this), object);
        }
        if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
            return Hand(static_cast<IOleInPlaceSite*>(this), object);
        }
        if (IsEqualIID(iid, IID_IDocHostUIHandler)) {
            return Hand(static_cast<IDocHostUIHandler*>(this), object);
        }
        if (IsEqualIID(iid, IID_IDropTarget)) return Hand(static_cast<IDropTarget*>(this), object);
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return count_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = count_.Release();
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker != nullptr) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container != nullptr) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (window == nullptr) return E_POINTER;
        *window = placeholder_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override {
        return owner_ != nullptr ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        if (frame == nullptr || doc == nullptr || position == nullptr || clip == nullptr ||
            info == nullptr) {
            return E_POINTER;
        }
        *doc = nullptr;
        *frame = nullptr;
        if (!frame_) return E_UNEXPECTED;
        frame_->AddRef();
        *frame = frame_.get();
        ::GetClientRect(placeholder_, position);
        *clip = *position;
        HWND root = GetAncestor(placeholder_, GA_ROOT);
        info->fMDIApp = FALSE;
        info->hwndFrame = root != nullptr ? root : placeholder_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override {
        // The control asks; the placeholder decides.
        if (owner_ != nullptr) owner_->Fit();
        return S_OK;
    }

    // IDocHostUIHandler: the control's own behaviour throughout, but for
    // the border and the drops.
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
        if (info == nullptr) return E_POINTER;
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                     IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, WINBOOL) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key != nullptr) *key = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** replacement) override {
        if (replacement == nullptr) return E_POINTER;
        *replacement = nullptr;
        if (drops_ == DropTarget::Accepted) return E_NOTIMPL;
        // Whatever the page or the control thinks of the property, nothing
        // dropped reaches them.
        return Hand(static_cast<IDropTarget*>(this), reinterpret_cast<void**>(replacement));
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override {
        if (external != nullptr) *external = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        if (out != nullptr) *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out != nullptr) *out = nullptr;
        return S_FALSE;
    }

    // IDropTarget: takes nothing.
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        return Refuse(effect);
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        return Refuse(effect);
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        return Refuse(effect);
    }

private:
    Site(WinBrowser& owner, HWND placeholder)
        : owner_(&owner),
          placeholder_(placeholder),
          frame_(Frame::Make(GetAncestor(placeholder, GA_ROOT))) {}
    ~Site() = default;

    static HRESULT Refuse(DWORD* effect) {
        if (effect == nullptr) return E_INVALIDARG;
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }

    ComRefCount count_;
    WinBrowser* owner_;
    HWND placeholder_;
    ComPtr<Frame> frame_;
    DropTarget drops_ = DropTarget::Accepted;
};

#pragma GCC diagnostic pop

// --- the browser ------------------------------------------------------------

namespace {

LRESULT CALLBACK PlaceholderProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                 UINT_PTR, DWORD_PTR browser) {
    if (message == WM_SIZE) reinterpret_cast<WinBrowser*>(browser)->Fit();
    return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace

HRESULT WinBrowser::Create(HWND placeholder, std::unique_ptr<WinBrowser>& browser,
                           REFCLSID control) {
    browser.reset();
    if (placeholder == nullptr || !IsWindow(placeholder)) return E_INVALIDARG;
    ComPtr<IOleObject> object;
    const HRESULT made =
        CoCreateInstance(control, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.put_void());
    if (FAILED(made)) return made;
    if (!object) return E_POINTER;
    std::unique_ptr<WinBrowser> started(new (std::nothrow) WinBrowser(placeholder));
    if (!started) return E_OUTOFMEMORY;
    // What Start made is undone by the destructor on failure.
    const HRESULT result = started->Start(object);
    if (FAILED(result)) return result;
    browser = std::move(started);
    return result;
}

WinBrowser::WinBrowser(HWND placeholder) : placeholder_(placeholder) {}

HRESULT WinBrowser::Start(const ComPtr<IOleObject>& control) {
    site_ = Site::Make(*this, placeholder_);
    control_ = control;
    if (const HRESULT sited = control_->SetClientSite(site_.get()); FAILED(sited)) return sited;
    OleSetContainedObject(control_.get(), TRUE);
    if (const HRESULT query = control_.Query(IID_IWebBrowser2, browser_); FAILED(query)) {
        return query;
    }
    identity_ = ComIdentity(control_.get());

    // The placeholder paints nothing over the control it holds.
    SetWindowLongPtrA(placeholder_, GWL_STYLE,
                      GetWindowLongPtrA(placeholder_, GWL_STYLE) | WS_CLIPCHILDREN);
    RECT area{};
    ::GetClientRect(placeholder_, &area);
    IOleClientSite* site = site_.get();
    if (const HRESULT shown =
            control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, placeholder_, &area);
        FAILED(shown)) {
        return shown;
    }
    if (const HRESULT query = control_.Query(IID_IOleInPlaceObject, in_place_); FAILED(query)) {
        return query;
    }
    subclassed_ = SetWindowSubclass(placeholder_, &PlaceholderProc, kPlaceholderSubclass,
                                    reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    Fit();
    return S_OK;
}

WinBrowser::~WinBrowser() {
    UnadviseEvents();
    if (subclassed_) RemoveWindowSubclass(placeholder_, &PlaceholderProc, kPlaceholderSubclass);
    if (in_place_) in_place_->InPlaceDeactivate();
    if (control_) {
        control_->Close(OLECLOSE_NOSAVE);
        control_->SetClientSite(nullptr);
    }
    if (site_) site_->Forget();
    in_place_.reset();
    browser_.reset();
    control_.reset();
    site_.reset();
}

void WinBrowser::Fit() {
    if (!in_place_) return;
    RECT area{};
    if (!::GetClientRect(placeholder_, &area)) return;
    in_place_->SetObjectRects(&area, &area);
}

std::unique_ptr<PostData> WinBrowser::CreatePostData(std::size_t size) {
    return MakeWinPostData(size);
}

std::unique_ptr<PostData> MakeWinPostData(std::size_t size) { return WinPostData::Make(size); }

HResult WinBrowser::Navigate2(std::string_view url, std::int32_t flags,
                              std::optional<std::string_view> target_frame, PostData& post_data,
                              std::string_view headers) {
    if (!browser_) return E_UNEXPECTED;
    NavigateArguments arguments;
    {
        const PostDataAccess bytes(post_data);
        if (FAILED(bytes.Result())) return bytes.Result();
        const HRESULT built = BuildNavigateArguments(
            {url, flags, target_frame, bytes.Bytes(), headers}, arguments);
        if (FAILED(built)) return built;
    }
    return browser_->Navigate2(&arguments.Url(), &arguments.Flags(), &arguments.TargetFrame(),
                               &arguments.PostData(), &arguments.Headers());
}

HResult WinBrowser::Navigate(std::string_view url) {
    if (!browser_) return E_UNEXPECTED;
    NavigateArguments arguments;
    const HRESULT built =
        BuildNavigateArguments({url, std::nullopt, std::nullopt, {}, {}}, arguments);
    if (FAILED(built)) return built;
    return browser_->Navigate2(&arguments.Url(), &arguments.Flags(), &arguments.TargetFrame(),
                               &arguments.PostData(), &arguments.Headers());
}

HResult WinBrowser::PutRegisterAsDropTarget(DropTarget drop_target) {
    if (!browser_) return E_UNEXPECTED;
    site_->SetDrops(drop_target);
    return browser_->put_RegisterAsDropTarget(drop_target == DropTarget::Accepted ? VARIANT_TRUE
                                                                                  : VARIANT_FALSE);
}

HResult WinBrowser::GetDocument(std::shared_ptr<Document>& document) {
    document.reset();
    if (!browser_) return E_UNEXPECTED;
    ComPtr<IDispatch> current;
    const HRESULT result = browser_->get_Document(current.put());
    if (FAILED(result)) return result;
    if (current) document = std::make_shared<WinDocument>(std::move(current));
    return result;
}

HResult WinBrowser::AdviseEvents(BrowserEvents& events) {
    if (events_sink_) {
        events_sink_->SetEvents(events);
        return S_OK;
    }
    if (!browser_) return E_UNEXPECTED;
    ComPtr<IConnectionPointContainer> container;
    if (const HRESULT query = browser_.Query(IID_IConnectionPointContainer, container);
        FAILED(query)) {
        return query;
    }
    ComPtr<IConnectionPoint> point;
    const HRESULT found = container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put());
    if (FAILED(found)) return found;
    if (!point) return E_POINTER;
    const ComPtr<WinBrowserEventSink> sink = WinBrowserEventSink::Make(events);
    DWORD cookie = 0;
    const HRESULT advised = point->Advise(sink.get(), &cookie);
    if (FAILED(advised)) {
        sink->Disconnect();
        return advised;
    }
    events_point_ = point;
    events_sink_ = sink;
    events_cookie_ = cookie;
    return advised;
}

void WinBrowser::UnadviseEvents() {
    if (!events_sink_) return;
    events_sink_->Disconnect();
    events_point_->Unadvise(events_cookie_);
    events_point_.reset();
    events_sink_.reset();
    events_cookie_ = 0;
}

WinBrowserFactory MakeWinBrowserFactory(std::function<void(HRESULT)> failed) {
    return [failed = std::move(failed)](HWND placeholder) -> std::unique_ptr<Browser> {
        std::unique_ptr<WinBrowser> browser;
        const HRESULT result = WinBrowser::Create(placeholder, browser);
        if (FAILED(result) && failed) failed(result);
        return browser;
    };
}

}  // namespace kx
