#include "tiny_http_server.h"

#include <QTcpSocket>

namespace {

// The first byte asked for by a "Range: bytes=N-..." header; 0 without one. Players ask
// for the rest of a file when they seek, as demuxers do to find a clip's length.
qsizetype RangeStart(const QByteArray& request) {
    for (const QByteArray& line : request.split('\n')) {
        const QByteArray header = line.trimmed().toLower();
        if (!header.startsWith("range: bytes=")) continue;
        const QByteArray spec = header.mid(13);
        bool ok = false;
        const qsizetype start = spec.left(spec.indexOf('-')).toLongLong(&ok);
        return ok ? start : 0;
    }
    return 0;
}

QByteArray Reply(const QByteArray& contentType, const QByteArray& body, qsizetype start) {
    const bool partial = start > 0 && start < body.size();
    const QByteArray part = partial ? body.mid(start) : body;
    QByteArray reply = partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    reply += "Content-Type: " + contentType + "\r\nAccept-Ranges: bytes\r\n";
    if (partial) {
        reply += "Content-Range: bytes " + QByteArray::number(start) + '-' +
                 QByteArray::number(body.size() - 1) + '/' + QByteArray::number(body.size()) +
                 "\r\n";
    }
    reply += "Content-Length: " + QByteArray::number(part.size()) +
             "\r\nConnection: close\r\n\r\n" + part;
    return reply;
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
                reply = Reply(it->contentType, it->body, RangeStart(request));
            }
            socket->write(reply);
            socket->disconnectFromHost();
        });
    }
}
