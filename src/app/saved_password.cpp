#include "app/saved_password.h"

#include "app/password_keyring.h"
#include "app/settings_store.h"

namespace {
const QString kPasswordValue = QStringLiteral("password");
}

SavedPassword::SavedPassword(SettingsStore& settings, IPasswordKeyring* keyring)
    : settings_(settings), keyring_(keyring) {}

QString SavedPassword::Read(const QString& userName) const {
    QString password;
    if (keyring_ && !userName.isEmpty() &&
        keyring_->Read(userName, password) == IPasswordKeyring::Status::Ok)
        return password;
    // Saved while no keyring answered.
    return settings_.ReadString(kPasswordValue).value_or(QString());
}

void SavedPassword::Save(const QString& userName, const QString& password) {
    if (keyring_ && !userName.isEmpty() &&
        keyring_->Write(userName, password) == IPasswordKeyring::Status::Ok) {
        settings_.RemoveValue(kPasswordValue);
        return;
    }
    settings_.WriteString(kPasswordValue, password);
}

void SavedPassword::MoveIntoKeyring(const QString& userName) {
    if (!keyring_ || userName.isEmpty() || !settings_.HasValue(kPasswordValue)) return;
    const QString password = settings_.ReadString(kPasswordValue).value_or(QString());
    QString stored;
    // An empty entry has nothing to move; it goes once the keyring is known to answer.
    const IPasswordKeyring::Status status =
        password.isEmpty() ? keyring_->Read(userName, stored) : keyring_->Write(userName, password);
    if (status != IPasswordKeyring::Status::Unavailable) settings_.RemoveValue(kPasswordValue);
}
