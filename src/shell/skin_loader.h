#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QStringList>
#include <optional>

#include "shell/skin_model.h"

// Reads a skin file (JSON). A file that does not describe a usable skin is refused as a whole
// with a message saying where it went wrong; nothing half-read is returned.
class SkinLoader {
public:
    // `variant` names the palette that "@name" colours are taken from ("light", "dark"); a
    // file without it falls back to its first palette.
    static std::optional<SkinModel> FromJson(const QByteArray& json, QString* error,
                                             const QString& variant = {});
    static std::optional<SkinModel> FromFile(const QString& path, QString* error,
                                             const QString& variant = {});
    // The skin built into the program.
    static QString DefaultSkinPath();
    // The skins built into the program, by the name the settings store ("default" first).
    static QStringList BuiltInSkins();
    // The file of a built-in skin; an unknown name gives the default skin.
    static QString BuiltInSkinPath(const QString& name);
    // "dark" on a desktop whose window colour is dark, else "light".
    static QString VariantForWindowColour(const QColor& window);
};
