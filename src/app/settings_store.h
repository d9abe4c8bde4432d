#pragma once

#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>

// The persistent settings: the per-user values and the machine-wide installation folder.
// Stored with Qt's settings in INI format: the per-user file is
// $XDG_CONFIG_HOME/Marquent/Zorvi.conf, the machine file Marquent/Zorvi.conf in the first
// folder of $XDG_CONFIG_DIRS that has one (default /etc/xdg). Values sit in group "1.1b".
class SettingsStore {
public:
    // Folders default to the XDG locations; tests pass their own.
    SettingsStore();
    SettingsStore(QString userConfigFile, QString machineConfigFile);

    const QString& userFile() const { return userFile_; }
    const QString& machineFile() const { return machineFile_; }

    // Per-user key "1.1b".
    bool UserKeyExists() const;
    // Creates the key with psave 0 and empty username and password. False when it cannot.
    bool CreateUserKey();
    // A string longer than 255 bytes counts as missing, as does a value of another kind.
    std::optional<QString> ReadString(const QString& name) const;
    std::optional<std::int32_t> ReadNumber(const QString& name) const;
    bool WriteString(const QString& name, const QString& value);
    bool WriteNumber(const QString& name, std::int32_t value);
    // Whether the per-user key holds a value of that name at all, and its removal (the
    // saved password, once it lives in the desktop's keyring).
    bool HasValue(const QString& name) const;
    bool RemoveValue(const QString& name);

    // Machine-wide "Path" (at most 255 characters), or nothing.
    std::optional<QString> ReadMachinePath() const;
    // "Path", else the current working folder.
    QString InstallFolder() const;

    // Group "endpoints" of the user file, then the machine file.
    std::optional<QString> ReadEndpoint(const QString& name) const;

    // Group "Kestrivan" of the user file: this client's own preferences.
    // Key "timestamps": arrival times in front of the conversation's lines; off when unset.
    bool ReadTimestamps() const;
    bool WriteTimestamps(bool on);
    // The program's own per-user values, in group "Kestrivan" of the user file; the group
    // "1.1b" keeps exactly the values the login and options know.
    // Where the main window last was (its normal geometry) and whether it was maximised.
    struct WindowPlacement {
        QRect geometry;
        bool maximized = false;
    };
    std::optional<WindowPlacement> ReadWindowPlacement() const;
    bool WriteWindowPlacement(const WindowPlacement& placement);
    // The chosen skin ("default", "classic"); empty when none was chosen.
    QString ReadSkin() const;
    bool WriteSkin(const QString& name);
    // "light" or "dark" to override the desktop's palette; empty follows the desktop.
    QString ReadSkinVariant() const;

private:
    QString userFile_;
    QString machineFile_;
};
