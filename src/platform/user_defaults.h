#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>

namespace clipmoor {

// The user's settings store, kept in $XDG_CONFIG_HOME/Clipmoor/Clipmoor.conf under the same
// key names the rest of the program uses. Main thread only.
class UserDefaults {
public:
    static UserDefaults& standard();

    // A store backed by a specific file (tests, tools).
    explicit UserDefaults(const QString& filePath);

    QVariant valueForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    bool hasValueForKey(const QString& key) const;
    void setValue(const QVariant& value, const QString& key);
    void removeValueForKey(const QString& key);
    // Writes pending changes to disk; false if the file could not be written.
    bool synchronize();

    QString filePath() const;

private:
    UserDefaults();
    std::unique_ptr<QSettings> settings_;
};

}  // namespace clipmoor
