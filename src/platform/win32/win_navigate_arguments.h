#pragma once

// Windows backend: the arguments IWebBrowser2::Navigate2 takes, built from
// the port's call.
//
// Implements:
//  - the URL as a BSTR; the flags as VT_I4, or none for a plain Navigate;
//    the target frame as a BSTR, none when the whole window loads; the post
//    data as a one-dimensional VT_ARRAY|VT_UI1 holding exactly the given
//    bytes (zeros and high bytes included), none when there are none, which
//    makes the request a GET; the headers as a BSTR, none when empty;
//  - the 8-bit texts read in the ANSI code page, as the core writes them.
//
// Missing: nothing of the call itself; whether the control sends the bytes
// unchanged is for a real Windows to show.

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/win32/win_com.h"

namespace kx {

// The ANSI code page's text as UTF-16; false for a text too long for the call.
bool AnsiToWide(std::string_view ansi, std::u16string& wide);

struct NavigateRequest {
    std::string_view url;
    std::optional<std::int32_t> flags;
    std::optional<std::string_view> target_frame;
    std::span<const std::uint8_t> post_data;
    std::string_view headers;
};

class NavigateArguments {
public:
    VARIANT& Url() { return url_.get(); }
    VARIANT& Flags() { return flags_.get(); }
    VARIANT& TargetFrame() { return target_frame_.get(); }
    VARIANT& PostData() { return post_data_.get(); }
    VARIANT& Headers() { return headers_.get(); }

private:
    UniqueVariant url_;
    UniqueVariant flags_;
    UniqueVariant target_frame_;
    UniqueVariant post_data_;
    UniqueVariant headers_;
};

// Fills `arguments` from nothing: E_OUTOFMEMORY or E_INVALIDARG (a text or
// array too long for COM) leave every one of them empty.
HRESULT BuildNavigateArguments(const NavigateRequest& request, NavigateArguments& arguments);

}  // namespace kx
