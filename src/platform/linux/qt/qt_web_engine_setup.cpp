#include "platform/linux/qt/qt_web_engine_setup.h"

#include <unistd.h>

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QWebEngineCertificateError>

#include <cstdlib>

#include "platform/linux/curl_inet_api.h"
#include "platform/linux/qt/qt_text.h"

namespace kx {
namespace {

constexpr const char* kEngineFlags = "QTWEBENGINE_CHROMIUM_FLAGS";

// Splits "host:port:rest" after the port; a bracketed IPv6 host keeps its colons.
bool SplitEntry(const std::string& entry, std::string& from, std::string& to) {
    std::size_t host_end = 0;
    if (!entry.empty() && entry.front() == '[') {
        host_end = entry.find(']');
        if (host_end == std::string::npos) return false;
        ++host_end;
    } else {
        host_end = entry.find(':');
    }
    if (host_end == std::string::npos || host_end >= entry.size() || entry[host_end] != ':') {
        return false;
    }
    const std::size_t port_end = entry.find(':', host_end + 1);
    if (port_end == std::string::npos) return false;
    from = entry.substr(0, port_end);
    to = entry.substr(port_end + 1);
    return !to.empty();
}

}  // namespace

std::string HostResolverRules(const std::vector<std::string>& connect_to) {
    std::string rules;
    for (const std::string& entry : connect_to) {
        std::string from;
        std::string to;
        if (!IsConnectToEntry(entry) || !SplitEntry(entry, from, to)) continue;
        if (!rules.empty()) rules += ", ";
        rules += "MAP " + from + " " + to;
    }
    return rules;
}

void PrepareWebEngine(const std::vector<std::string>& connect_to) {
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    const std::string rules = HostResolverRules(connect_to);
    if (rules.empty()) return;
    // The engine splits its switches at blanks unless they are quoted.
    std::string flags = std::getenv(kEngineFlags) ? std::getenv(kEngineFlags) : "";
    if (!flags.empty()) flags += ' ';
    flags += "--host-resolver-rules=\"" + rules + "\"";
    setenv(kEngineFlags, flags.c_str(), 1);
}

void TrustExtraCaFile(const std::string& ca_file) {
    if (ca_file.empty()) return;
    const QList<QSslCertificate> extra = QSslCertificate::fromPath(AnsiToQString(ca_file));
    if (extra.isEmpty()) return;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(extra);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

bool AcceptWhenExtraCaVouches(QWebEngineCertificateError& error) {
    const QList<QSslCertificate> chain = error.certificateChain();
    if (!chain.isEmpty() && QSslCertificate::verify(chain, error.url().host()).isEmpty()) {
        error.acceptCertificate();
        return true;
    }
    error.rejectCertificate();
    return false;
}

}  // namespace kx
