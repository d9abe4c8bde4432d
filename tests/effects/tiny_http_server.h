#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTcpServer>

// Serves fixed documents over HTTP on 127.0.0.1, any free port; one request per
// connection, each whole and not seekable. Unknown paths get 404.
class TinyHttpServer : public QObject {
    Q_OBJECT

public:
    TinyHttpServer();
    void Serve(const QString& path, const QByteArray& contentType, const QByteArray& body);
    QString Url(const QString& path) const;
    int Requests() const { return requests_; }

private:
    void OnConnection();

    struct Document {
        QByteArray contentType;
        QByteArray body;
    };
    QTcpServer server_;
    QHash<QString, Document> documents_;
    int requests_ = 0;
};
