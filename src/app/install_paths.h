#pragma once

#include <QString>

class SettingsStore;

// Files that live below the installation folder ("config/server.cfg", "Zorvi.asx").
// An installation folder owned by the system is usually read-only for the user, so files
// the program writes go to $XDG_DATA_HOME/kestrivan/ instead when the folder cannot be
// written, and the server list is read from there first when a copy exists there.

// The server list file to read.
QString ServerListReadPath(const SettingsStore& settings);

// Where to write `relative`: below the installation folder when the folder that would hold
// the file exists and can be written, else below $XDG_DATA_HOME/kestrivan (its folders
// are created). Empty when neither can be used.
QString WritablePath(const SettingsStore& settings, const QString& relative);
