#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "shell/skin_model.h"

// Reads a skin file (JSON). A file that does not describe a usable skin is refused as a whole
// with a message saying where it went wrong; nothing half-read is returned.
class SkinLoader {
public:
    static std::optional<SkinModel> FromJson(const QByteArray& json, QString* error);
    static std::optional<SkinModel> FromFile(const QString& path, QString* error);
    // The skin built into the program.
    static QString DefaultSkinPath();
};
