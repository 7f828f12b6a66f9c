#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

#include "ui/preferences/updater_settings.h"

namespace clipmoor {

class UserDefaults;

// The application's updater. Its settings and the date of its last check live in the user
// defaults. This build has no update feed, so a check finds nothing to install; it only
// records that it ran.
class SoftwareUpdater : public UpdaterSettings {
public:
    // The updater of the user's own defaults.
    static SoftwareUpdater& sharedUpdater();

    explicit SoftwareUpdater(UserDefaults& defaults);

    bool automaticallyDownloadsUpdates() const override;
    void setAutomaticallyDownloadsUpdates(bool automatically) override;

    // Seconds between two automatic checks (one day unless changed).
    qint64 updateCheckInterval() const override;
    void setUpdateCheckInterval(qint64 seconds) override;

    // None before the first check.
    std::optional<QDateTime> lastUpdateCheckDate() const override;
    void checkForUpdates();

    static constexpr qint64 kDefaultCheckInterval = 24 * 60 * 60;

private:
    UserDefaults& defaults_;
};

}  // namespace clipmoor
