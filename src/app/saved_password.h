#pragma once

#include <QString>

class IPasswordKeyring;
class SettingsStore;

// Where the saved password lives: in the desktop's keyring under the user name when one
// answers, else in the settings file (value "password", the file kept at mode 0600).
// The file's "psave" and "username" stay where they are either way.
class SavedPassword {
public:
    // `keyring` may be null: the file alone, as without a Secret Service.
    SavedPassword(SettingsStore& settings, IPasswordKeyring* keyring);

    QString Read(const QString& userName) const;
    void Save(const QString& userName, const QString& password);
    // A password the file still holds moves into the keyring and leaves the file; without
    // a keyring the file stays as it is.
    void MoveIntoKeyring(const QString& userName);

private:
    SettingsStore& settings_;
    IPasswordKeyring* keyring_;
};
