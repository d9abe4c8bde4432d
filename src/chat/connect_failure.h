#pragma once

#include <QString>

#include "chat/chat_texts.h"
#include "net/zorvi_socket.h"

// What to tell the user when `socket` could not open its connection: the reason when TLS
// refused the server's certificate, else `usual`.
inline QString ConnectFailureText(const zorvi::ZorviSocket& socket, const QString& usual) {
    if (socket.CertificateFailure().empty()) return usual;
    return QString::fromUtf8(chat_texts::kCertificateRefused) +
           QString::fromStdString(socket.CertificateFailure());
}
