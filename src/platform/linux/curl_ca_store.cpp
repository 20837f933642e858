#include "platform/linux/curl_ca_store.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <climits>
#include <string_view>


namespace kx::curl_inet {
namespace {

using UniqueBio = UniqueAny<BIO*, &BIO_free_all>;
using UniqueX509 = UniqueAny<X509*, &X509_free>;

bool LibcurlUsesOpenSsl() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    return info != nullptr && info->ssl_version != nullptr &&
           std::string_view(info->ssl_version).substr(0, 8) == "OpenSSL/";
}

}  // namespace

std::shared_ptr<const CaStore> CaStore::Make(std::string_view pem, const std::string& directory) {
    if (pem.size() > INT_MAX || !LibcurlUsesOpenSsl()) return nullptr;
    std::shared_ptr<CaStore> made(new CaStore);
    made->store_.reset(X509_STORE_new());
    if (!made->store_) return nullptr;
    // Block by block, so that one unreadable certificate costs only itself.
    constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    for (std::size_t at = pem.find(kBegin); at != std::string_view::npos;) {
        const std::size_t next = pem.find(kBegin, at + kBegin.size());
        const std::string_view block = pem.substr(at, next == std::string_view::npos ? next : next - at);
        at = next;
        const UniqueBio text(BIO_new_mem_buf(block.data(), static_cast<int>(block.size())));
        if (!text) continue;
        const UniqueX509 certificate(PEM_read_bio_X509(text.get(), nullptr, nullptr, nullptr));
        // The same certificate twice (system bundle and CA file) is no error.
        if (certificate && X509_STORE_add_cert(made->store_.get(), certificate.get()) == 1) {
            ++made->certificates_;
        }
    }
    // What could not be read stays out of the errors the handshakes report.
    ERR_clear_error();
    if (made->certificates_ == 0) return nullptr;
    if (!directory.empty()) {
        X509_STORE_load_path(made->store_.get(), directory.c_str());
        ERR_clear_error();
    }
    return made;
}

CURLcode CaStore::Apply(CURL* easy) const {
    // libcurl would otherwise read its own bundle and directory at each handshake.
    CURLcode code = curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
    if (code == CURLE_OK) code = curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    if (code == CURLE_OK) code = curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &CaStore::OnSslContext);
    if (code == CURLE_OK) {
        code = curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, const_cast<void*>(static_cast<const void*>(this)));
    }
    return code;
}

CURLcode CaStore::OnSslContext(CURL* /*easy*/, void* ssl_context, void* self) {
    const auto* store = static_cast<const CaStore*>(self);
    // The context takes a reference of its own; the store is shared, never copied.
    SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(ssl_context), store->store_.get());
    return CURLE_OK;
}

}  // namespace kx::curl_inet
