#include "platform/user_defaults.h"

#include <QDir>
#include <QStandardPaths>

namespace clipmoor {

namespace {
QString standardSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Clipmoor/Clipmoor.conf");
}
}  // namespace

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults;
    return defaults;
}

UserDefaults::UserDefaults() : UserDefaults(standardSettingsPath()) {}

UserDefaults::UserDefaults(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

QVariant UserDefaults::valueForKey(const QString& key) const {
    return settings_->value(key);
}

QString UserDefaults::stringForKey(const QString& key) const {
    return settings_->value(key).toString();
}

bool UserDefaults::hasValueForKey(const QString& key) const {
    return settings_->contains(key);
}

void UserDefaults::setValue(const QVariant& value, const QString& key) {
    settings_->setValue(key, value);
}

void UserDefaults::removeValueForKey(const QString& key) {
    settings_->remove(key);
}

bool UserDefaults::synchronize() {
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

QString UserDefaults::filePath() const {
    return settings_->fileName();
}

}  // namespace clipmoor
