#pragma once

// An HTTP/1.1 server on loopback for the browser tests: it answers fixed
// pages by path and records every request exactly as it arrived.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <vector>

namespace kx::test {

struct HttpRequest {
    QByteArray method;
    QByteArray target;  // path and query
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The first header of that name (any case), or empty.
    QByteArray Header(const QByteArray& name) const;
};

class LoopbackHttpServer final : public QObject {
public:
    LoopbackHttpServer();

    // "http://127.0.0.1:port" + path.
    QByteArray Url(const QByteArray& path) const;
    // Pages are served as windows-1252 HTML; other paths answer 404.
    void Serve(const QByteArray& path, const QByteArray& html) { pages_[path] = html; }

    const std::vector<HttpRequest>& Requests() const { return requests_; }
    std::vector<HttpRequest> RequestsTo(const QByteArray& target) const;

private:
    void Accept();

    QTcpServer server_;
    QMap<QByteArray, QByteArray> pages_;
    std::vector<HttpRequest> requests_;
};

}  // namespace kx::test
