#pragma once

// Linux backend: the certificates TLS is verified against, read once for all
// the transfers of the internet port rather than again at every handshake.
//
// Implements:
//  - a store of the trusted certificates, built from PEM text, that also
//    searches a CA directory;
//  - handing it to the OpenSSL context of each handshake libcurl makes.
//
// Missing: TLS libraries other than OpenSSL under libcurl; with them each
// handshake reads the certificates from the CA blob as before.

#include <curl/curl.h>
#include <openssl/x509_vfy.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "base/unique_any.h"

namespace kx::curl_inet {

class CaStore {
public:
    // Nothing when libcurl's TLS library is not OpenSSL or no certificate in
    // `pem` could be read; an unreadable one is left out. `directory` may be
    // empty.
    static std::shared_ptr<const CaStore> Make(std::string_view pem, const std::string& directory);

    ~CaStore() = default;
    CaStore(const CaStore&) = delete;
    CaStore& operator=(const CaStore&) = delete;

    // How many certificates were read in, a repeated one each time.
    std::size_t certificates() const { return certificates_; }

    // Sets an easy handle up to verify against this store alone; it must
    // outlive the handle.
    CURLcode Apply(CURL* easy) const;

private:
    CaStore() = default;
    static CURLcode OnSslContext(CURL* easy, void* ssl_context, void* self);

    UniqueAny<X509_STORE*, &X509_STORE_free> store_;
    std::size_t certificates_ = 0;
};

}  // namespace kx::curl_inet
