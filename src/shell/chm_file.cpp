#include "shell/chm_file.h"

#include <chm_lib.h>

#include <QFile>

ChmFile::ChmFile(const QString& path) : path_(path) {
    const QByteArray native = QFile::encodeName(path);
    handle_ = chm_open(native.constData());
}

ChmFile::~ChmFile() {
    if (handle_) chm_close(handle_);
}

std::optional<QByteArray> ChmFile::Read(const QString& objectPath) const {
    if (!handle_) return std::nullopt;
    QString inside = objectPath;
    if (!inside.startsWith(QLatin1Char('/'))) inside.prepend(QLatin1Char('/'));
    chmUnitInfo info{};
    const QByteArray name = inside.toUtf8();
    if (chm_resolve_object(handle_, name.constData(), &info) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (info.length > static_cast<LONGUINT64>(kMaxObjectSize)) return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(info.length), Qt::Uninitialized);
    if (bytes.isEmpty()) return bytes;
    const LONGINT64 got =
        chm_retrieve_object(handle_, &info, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                            static_cast<LONGINT64>(info.length));
    if (got != static_cast<LONGINT64>(info.length)) return std::nullopt;
    return bytes;
}
