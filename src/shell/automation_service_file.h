#pragma once

#include <QString>

// The D-Bus service file through which a client's request starts the program with the
// automation switch. Refreshed on every ordinary start.
class AutomationServiceFile {
public:
    // $XDG_DATA_HOME/dbus-1/services (~/.local/share when XDG_DATA_HOME is unset).
    static QString DefaultFolder();
    static QString FileName();
    // The file's whole text for a program at `programPath` (absolute).
    static QString Contents(const QString& programPath);
    // Writes the file into `folder` (creating it) unless it already holds exactly this text.
    static bool Refresh(const QString& folder, const QString& programPath);
};
