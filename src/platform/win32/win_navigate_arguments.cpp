#include "platform/win32/win_navigate_arguments.h"

#include <climits>
#include <cstring>

namespace kx {

namespace {

HRESULT PutText(std::string_view ansi, VARIANT& variant) {
    std::u16string wide;
    if (!AnsiToWide(ansi, wide)) return E_INVALIDARG;
    BSTR text = NewBstr(wide);
    if (text == nullptr) return E_OUTOFMEMORY;
    V_VT(&variant) = VT_BSTR;
    V_BSTR(&variant) = text;
    return S_OK;
}

HRESULT PutBytes(std::span<const std::uint8_t> bytes, VARIANT& variant) {
    if (bytes.size() > ULONG_MAX) return E_INVALIDARG;
    UniqueSafeArray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    if (!array) return E_OUTOFMEMORY;
    void* data = nullptr;
    const HRESULT access = SafeArrayAccessData(array.get(), &data);
    if (FAILED(access)) return access;
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array.get());
    V_VT(&variant) = VT_ARRAY | VT_UI1;
    V_ARRAY(&variant) = array.release();
    return S_OK;
}

HRESULT Build(const NavigateRequest& request, NavigateArguments& arguments) {
    if (const HRESULT url = PutText(request.url, arguments.Url()); FAILED(url)) return url;
    if (request.flags) {
        V_VT(&arguments.Flags()) = VT_I4;
        V_I4(&arguments.Flags()) = *request.flags;
    }
    // An empty name is the whole window too, as no name is.
    if (request.target_frame && !request.target_frame->empty()) {
        if (const HRESULT target = PutText(*request.target_frame, arguments.TargetFrame());
            FAILED(target)) {
            return target;
        }
    }
    if (!request.post_data.empty()) {
        if (const HRESULT post = PutBytes(request.post_data, arguments.PostData()); FAILED(post)) {
            return post;
        }
    }
    if (!request.headers.empty()) {
        if (const HRESULT headers = PutText(request.headers, arguments.Headers());
            FAILED(headers)) {
            return headers;
        }
    }
    return S_OK;
}

}  // namespace

bool AnsiToWide(std::string_view ansi, std::u16string& wide) {
    wide.clear();
    if (ansi.empty()) return true;
    if (ansi.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int size = static_cast<int>(ansi.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    if (length <= 0) return false;
    wide.resize(static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, reinterpret_cast<wchar_t*>(wide.data()),
                        length);
    return true;
}

HRESULT BuildNavigateArguments(const NavigateRequest& request, NavigateArguments& arguments) {
    for (VARIANT* variant : {&arguments.Url(), &arguments.Flags(), &arguments.TargetFrame(),
                             &arguments.PostData(), &arguments.Headers()}) {
        VariantClear(variant);
    }
    const HRESULT result = Build(request, arguments);
    if (FAILED(result)) {
        for (VARIANT* variant : {&arguments.Url(), &arguments.Flags(), &arguments.TargetFrame(),
                                 &arguments.PostData(), &arguments.Headers()}) {
            VariantClear(variant);
        }
    }
    return result;
}

}  // namespace kx
