#pragma once

/* Windows backend: what widl's proxy/stub sources expect of the system's
 * headers and mingw-w64's C headers leave out.
 *
 * Implements:
 *  - the declarations of rpcrt4's IUnknown proxies, which mingw-w64 gives
 *    only to C++; force-included into each source of the proxy/stub DLL.
 */

#include <objbase.h>

HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid,
                                                        void** ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);
