#pragma once

// Windows backend: owners of COM's references and OLE Automation's values,
// each released on every path out of its scope.
//
// Implements:
//  - ComPtr: one reference to an interface, released once; a copy takes a
//    reference of its own (AddRef), so every AddRef is matched;
//  - UniqueBstr (SysFreeString), UniqueSafeArray (SafeArrayDestroy) and
//    UniqueVariant (VariantClear);
//  - ComRefCount: the reference count the backend's own COM objects share;
//    they live on the UI thread's apartment, so it needs no atomics;
//  - BstrText and the copy of a UTF-16 text into a new BSTR.
//
// Missing: marshalling to other apartments; nothing here crosses threads.

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "base/unique_any.h"

namespace kx {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}  // NOLINT: as a null pointer converts
    ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
        if (pointer_ != nullptr) pointer_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already holds, such as a new object's.
    static ComPtr Take(T* pointer) {
        ComPtr owned;
        owned.pointer_ = pointer;
        return owned;
    }
    // Takes a reference of its own to a pointer someone else holds.
    static ComPtr Share(T* pointer) {
        if (pointer != nullptr) pointer->AddRef();
        return Take(pointer);
    }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    void reset() {
        if (T* old = std::exchange(pointer_, nullptr)) old->Release();
    }
    [[nodiscard]] T* release() { return std::exchange(pointer_, nullptr); }

    // Where a call hands a new reference back; what was held goes first.
    T** put() {
        reset();
        return &pointer_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    // QueryInterface into `other`, which holds nothing on failure.
    template <typename U>
    HRESULT Query(REFIID iid, ComPtr<U>& other) const {
        if (pointer_ == nullptr) {
            other.reset();
            return E_POINTER;
        }
        const HRESULT result = pointer_->QueryInterface(iid, other.put_void());
        if (FAILED(result)) other.reset();
        return result;
    }

private:
    T* pointer_ = nullptr;
};

using UniqueBstr = UniqueAny<BSTR, &::SysFreeString>;
using UniqueSafeArray = UniqueAny<SAFEARRAY*, &::SafeArrayDestroy>;

class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&value_); }

    VARIANT& get() { return value_; }
    const VARIANT& get() const { return value_; }
    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }
    VARTYPE type() const { return V_VT(&value_); }

private:
    VARIANT value_;
};

// A BSTR's text; a null BSTR is the empty text, as COM defines it.
inline std::u16string BstrText(BSTR text) {
    if (text == nullptr) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

// A new BSTR of the text, zeros inside it kept; null when memory is short.
inline BSTR NewBstr(std::u16string_view text) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
}

class ComRefCount {
public:
    ULONG AddRef() { return ++count_; }
    // The count after the release; the object deletes itself at zero.
    ULONG Release() { return --count_; }

private:
    ULONG count_ = 1;
};

}  // namespace kx
