#include "loopback_http_server.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <memory>

namespace kx::test {

QByteArray HttpRequest::Header(const QByteArray& name) const {
    for (const auto& [header, value] : headers) {
        if (header.compare(name, Qt::CaseInsensitive) == 0) return value;
    }
    return {};
}

LoopbackHttpServer::LoopbackHttpServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] { Accept(); });
}

QByteArray LoopbackHttpServer::Url(const QByteArray& path) const {
    return "http://127.0.0.1:" + QByteArray::number(server_.serverPort()) + path;
}

std::vector<HttpRequest> LoopbackHttpServer::RequestsTo(const QByteArray& target) const {
    std::vector<HttpRequest> found;
    for (const HttpRequest& request : requests_) {
        if (request.target == target) found.push_back(request);
    }
    return found;
}

void LoopbackHttpServer::Accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            // One request per connection: the answer closes it.
            const qsizetype head_end = buffer->indexOf("\r\n\r\n");
            if (head_end < 0) return;
            HttpRequest request;
            const QList<QByteArray> lines = buffer->left(head_end).split('\n');
            const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
            request.method = start.value(0);
            request.target = start.value(1);
            qsizetype length = 0;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines[i].trimmed();
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0) continue;
                request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
                if (request.headers.back().first.compare("Content-Length", Qt::CaseInsensitive) ==
                    0) {
                    length = request.headers.back().second.toLongLong();
                }
            }
            if (buffer->size() < head_end + 4 + length) return;
            request.body = buffer->mid(head_end + 4, length);
            buffer->clear();
            const QByteArray path = request.target.split('?').value(0);
            requests_.push_back(request);

            const bool found = pages_.contains(path);
            const QByteArray body =
                found ? pages_.value(path) : QByteArray("<html><body>none</body></html>");
            socket->write((found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                          QByteArray("Content-Type: text/html; charset=windows-1252\r\n"
                                     "Cache-Control: no-store\r\nConnection: close\r\n"
                                     "Content-Length: ") +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
    }
}

}  // namespace kx::test
