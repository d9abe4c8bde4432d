#include "tiny_http_server.h"

#include <QTcpSocket>

namespace {

// Served as a live broadcast is: whole, from its first byte, and not seekable, so that a
// player reads it straight through instead of seeking back and forth to learn its length.
QByteArray Reply(const QByteArray& contentType, const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType +
           "\r\nAccept-Ranges: none\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

TinyHttpServer::TinyHttpServer() {
    connect(&server_, &QTcpServer::newConnection, this, &TinyHttpServer::OnConnection);
    server_.listen(QHostAddress::LocalHost, 0);
}

void TinyHttpServer::Serve(const QString& path, const QByteArray& contentType,
                           const QByteArray& body) {
    documents_[path] = {contentType, body};
}

QString TinyHttpServer::Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
}

void TinyHttpServer::OnConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            QByteArray request = socket->property("request").toByteArray() + socket->readAll();
            socket->setProperty("request", request);
            if (!request.contains("\r\n\r\n")) return;
            ++requests_;
            const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
            const QString path = words.size() >= 2 ? QString::fromLatin1(words[1]) : QString();
            const auto it = documents_.constFind(path);
            QByteArray reply;
            if (it == documents_.constEnd()) {
                reply = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            } else {
                reply = Reply(it->contentType, it->body);
            }
            socket->write(reply);
            socket->disconnectFromHost();
        });
    }
}
