#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

struct chmFile;

// A compiled help file opened read-only with chmlib.
class ChmFile {
public:
    // Objects larger than this are refused rather than read into memory.
    static constexpr qint64 kMaxObjectSize = 32 * 1024 * 1024;

    ChmFile() = default;
    explicit ChmFile(const QString& path);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    bool isOpen() const { return handle_ != nullptr; }
    const QString& path() const { return path_; }
    // An object by its path inside the file ("/ZorviOverview.htm"), or nothing.
    std::optional<QByteArray> Read(const QString& objectPath) const;

private:
    QString path_;
    chmFile* handle_ = nullptr;
};
