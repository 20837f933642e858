#include "platform/win32/win_com_server.h"

#include <ole2.h>

#include <atomic>
#include <new>
#include <utility>

#include "base/unique_any.h"

namespace kx {
namespace {

template <typename Interface>
void ReleaseInterface(Interface* object) {
    object->Release();
}
using UniqueClassFactory = UniqueAny<IClassFactory*, &ReleaseInterface<IClassFactory>>;

// A COM object is destroyed by its own Release, never through a pointer to
// its interface, which has no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ClassObject final : public IClassFactory {
public:
    ClassObject(const Guid& clsid, InstanceMaker instances)
        : clsid_(clsid), instances_(std::move(instances)) {}
    ClassObject(const ClassObject&) = delete;
    ClassObject& operator=(const ClassObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                             void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        if (!instances_) return CLASS_E_CLASSNOTAVAILABLE;
        // Nothing may unwind into the caller's COM runtime.
        try {
            return instances_(clsid_, iid, object);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        locks_ += lock ? 1 : -1;
        return S_OK;
    }

private:
    ~ClassObject() = default;

    const Guid clsid_;
    const InstanceMaker instances_;
    std::atomic<ULONG> references_{1};
    std::atomic<long> locks_{0};
};
#pragma GCC diagnostic pop

}  // namespace

GUID ToWinGuid(const Guid& id) {
    GUID guid{};
    guid.Data1 = id.data1;
    guid.Data2 = id.data2;
    guid.Data3 = id.data3;
    for (std::size_t i = 0; i < id.data4.size(); ++i) guid.Data4[i] = id.data4[i];
    return guid;
}

WinComServer::WinComServer(InstanceMaker instances) : instances_(std::move(instances)) {}

WinComServer::~WinComServer() {
    for (const ClassCookie cookie : registered_) CoRevokeClassObject(cookie);
}

HResult WinComServer::Initialize() { return OleInitialize(nullptr); }

void WinComServer::Uninitialize() { OleUninitialize(); }

IClassFactory* WinComServer::MakeClassObject(const Guid& clsid) const {
    return new (std::nothrow) ClassObject(clsid, instances_);
}

HResult WinComServer::RegisterClassObject(const Guid& clsid, ClassContext context, ClassUse use,
                                          ClassCookie* cookie) {
    if (cookie == nullptr) return E_POINTER;
    const UniqueClassFactory factory(MakeClassObject(clsid));
    if (!factory) return E_OUTOFMEMORY;
    const GUID id = ToWinGuid(clsid);
    DWORD registration = 0;
    const HRESULT result = CoRegisterClassObject(id, factory.get(), static_cast<DWORD>(context),
                                                 static_cast<DWORD>(use), &registration);
    // On success COM holds its own reference; ours goes with `factory`.
    if (FAILED(result)) return result;
    {
        const std::lock_guard lock(mutex_);
        registered_.insert(registration);
    }
    *cookie = registration;
    return result;
}

HResult WinComServer::RevokeClassObject(ClassCookie cookie) {
    const HRESULT result = CoRevokeClassObject(cookie);
    if (SUCCEEDED(result)) {
        const std::lock_guard lock(mutex_);
        registered_.erase(cookie);
    }
    return result;
}

}  // namespace kx
