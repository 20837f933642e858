#pragma once

// The browser's doubles: an object whose only point is its identity and
// its reference count, and the core's side of the browser's events.

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/browser.h"

namespace kx::test {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// An IDispatch that does nothing; it counts its references so that a test
// can see every AddRef matched. Lives on the test's stack: the count never
// deletes it.
class CountedDispatch : public IDispatch {
public:
    CountedDispatch() = default;
    CountedDispatch(const CountedDispatch&) = delete;
    CountedDispatch& operator=(const CountedDispatch&) = delete;

    ULONG References() const { return references_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        return S_OK;
    }

private:
    ULONG references_ = 1;
};

#pragma GCC diagnostic pop

// One event as the core heard it.
struct Heard {
    enum class Kind { BeforeNavigate2, DocumentComplete } kind;
    BrowserIdentity frame;
    std::u16string url;
    bool operator==(const Heard&) const = default;
};

// Keeps every event the core is given, in order.
struct RecordingEvents final : BrowserEvents {
    std::vector<Heard> heard;
    void BeforeNavigate2(BrowserIdentity frame, std::u16string_view url) override {
        heard.push_back({Heard::Kind::BeforeNavigate2, frame, std::u16string(url)});
    }
    void DocumentComplete(BrowserIdentity frame, std::u16string_view url) override {
        heard.push_back({Heard::Kind::DocumentComplete, frame, std::u16string(url)});
    }
};

}  // namespace kx::test
